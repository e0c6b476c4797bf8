"""The module against the in-process virtual bus: the bytes it sends, its errors, parameter
files, firmware transfer and Ctrl-C."""
import os
import signal
import subprocess
import threading

import pytest

import servobus
from conftest import CATALOGUE, heard, port

SERVOCTL = os.environ.get("SERVOCTL")

# The same command through servoctl and through the module, each from a fresh start (the
# identification read included).
SAME_BYTES = [
    (["read", "1", "0", "9"], lambda p: p.servo(1).read(0, 9)),
    (["write", "1", "42", "0", "8"], lambda p: p.servo(1).write(42, bytes([0, 8]))),
    (["move", "1", "-100", "--acc", "10", "--speed", "500", "--time", "-20"],
     lambda p: p.servo(1).move(-100, speed=500, time=-20, acceleration=10)),
    (["move", "1", "2000", "--speed", "300", "--mode", "sync", "--last", "3"],
     lambda p: p.sync_move([1, 2, 3], 2000, speed=300)),
    (["torque", "1", "on"], lambda p: p.servo(1).torque(True)),
    (["--position-address", "51", "torque", "1", "off"],
     lambda p: p.servo(1, position_address=51).torque(False)),
]


@pytest.mark.skipif(not SERVOCTL, reason="SERVOCTL names no servoctl")
@pytest.mark.parametrize("args,command", SAME_BYTES, ids=lambda c: " ".join(c) if isinstance(c, list) else None)
def test_sends_what_servoctl_sends(vbus, args, command):
    # servoctl's trace tells how many packets it sent: the bus may hear the last of them after
    # servoctl has ended.
    done = subprocess.run([SERVOCTL, "--trace", "-p", vbus.device, "--catalogue", CATALOGUE, *args],
                          check=True, capture_output=True, text=True)
    sent = sum(1 for line in done.stderr.splitlines() if line.split()[1:2] == ["out"])
    expected = heard(vbus, sent)
    assert expected and len(expected) == sent
    vbus.clear_log()
    with port(vbus) as p:
        command(p)
    assert heard(vbus, len(expected)) == expected


def test_damaged_answer_raises_its_error(vbus):
    seen = set()
    with port(vbus, timeout=20) as p:
        servo = p.servo(1)
        vbus.corrupt_share = 0.5
        for _ in range(200):
            try:
                servo.read(0, 9)
                seen.add("answered")
            except servobus.DamagedAnswerError as e:
                assert str(e).startswith("servo 1: damaged answer (")
                assert isinstance(e, servobus.ServoError) and e.servo == 1
                seen.add("damaged")
                break
            except servobus.NoAnswerError:
                seen.add("no answer")
    assert "damaged" in seen, seen


def test_parameter_file_round_trip_and_range_check(vbus, tmp_path):
    saved = tmp_path / "servo1.dat"
    with port(vbus) as p:
        servo = p.servo(1)
        servo.save(str(saved))
        block = saved.read_bytes()
        assert block == vbus.memory(1)[:len(block)] and len(block) > 21
        vbus.set_memory(1, 21, 99)
        assert next(r for r in servo.table() if r.address == 21).value == 99
        servo.load(str(saved))
        assert vbus.memory(1)[:len(block)] == block
        with pytest.raises(servobus.RangeRefusedError, match="^最大角度限制不能大于4095$"):
            servo.set("最大角度限制", 4096)
        servo.set(11, 4000)
        assert next(r for r in servo.table() if r.address == 11).value == 4000


def test_flash_delivers_the_image_with_progress_per_block(vbus, tmp_path):
    data = bytes((i * 7) & 0xFF for i in range(64 * 2 + 10))
    image = tmp_path / "firmware.bin"
    image.write_bytes(data)
    assert servobus.image(str(image)).blocks == 3
    calls = []
    with port(vbus) as p:
        assert p.flash(2, str(image), progress=lambda block, blocks: calls.append((block, blocks))) == 3
        assert p.rate == 115200
        assert calls == [(1, 3), (2, 3), (3, 3)]
        assert vbus.loader_image()[:len(data)] == data
        # Bytes the loader doesn't take leave the servo in its loader; the way back starts
        # at the unlock step and delivers the image.
        with pytest.raises(ValueError):
            p.flash(2, str(image), unlock=b"\x01")
        with pytest.raises(servobus.FlashError):
            p.flash(2, str(image), unlock=bytes(5))
        assert p.flash(2, str(image), in_loader=True) == 3
        assert p.rate == 115200


def test_flash_names_a_port_gone_mid_transfer(vbus, tmp_path):
    image = tmp_path / "firmware.bin"
    image.write_bytes(bytes(64 * 50))
    vbus.reply_delay_ms = 5  # the transfer outlasts the first report of its progress
    with port(vbus) as p:
        # The bus goes away, as a pulled adapter does, once the first block is in.
        with pytest.raises(servobus.FlashError, match=r"at block \d+ of 50 \(port gone\)"):
            p.flash(2, str(image), progress=lambda block, blocks: block == 1 and vbus.close())


def test_monitor_back_to_back_keeps_microseconds(vbus):
    with port(vbus) as p:
        polls = list(p.servo(1).monitor(interval=0, count=40))
    times = [f.time_us for f in polls]
    assert all(f.answered for f in polls) and len(polls) == 40
    assert times == sorted(set(times))
    assert polls[5].csv().startswith(f"{times[5] // 1000}.{times[5] % 1000:03d},")


def test_ctrl_c_ends_a_long_monitor_loop(vbus):
    polls = []
    with port(vbus) as p:
        servo = p.servo(3)
        # The second poll would come an hour later: only the signal ends the wait.
        timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                for feedback in servo.monitor(interval=3600):
                    polls.append(feedback)
        finally:
            timer.cancel()
        assert [f.answered for f in polls] == [True]
        assert servo.read(5, 1) == b"\x03"
