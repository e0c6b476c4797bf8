"""Poses and motions on the virtual bus: a pose read and saved as a keyframe, a motion played
back as sync writes, Ctrl-C stopping it safely, and bad files refused."""
import os
import signal
import threading
import time

import pytest

import servobus
from conftest import heard, port

TORQUE = 40


def test_teach_save_load_and_play(vbus, tmp_path):
    with port(vbus) as p:
        first = p.pose([1, 3])
        assert first == servobus.Pose({1: 2047, 3: 2047}) and first[3] == 2047
        motion = servobus.Motion()
        motion.add(first, time_ms=200)
        motion.add({1: 2200, 3: 1900}, time_ms=300, hold_ms=100)
        with pytest.raises(ValueError):
            motion.add({1: 2200}, time_ms=300)
        path = str(tmp_path / "wave.json")
        motion.save(path)
        again = servobus.Motion.load(path)
        assert len(again) == 2 and again.keyframes[1][0].positions == {1: 2200, 3: 1900}
        p.play(again, speed=2, rate=100)
        assert any(line.startswith("FF FF FE") for line in heard(vbus))
    assert vbus.memory(1)[TORQUE] == 1


def test_refusals_and_ctrl_c(vbus, tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_text('{"version": 1, "keyframes": [{"pose": {"1": 5}, "time_ms": 0}]}')
    with pytest.raises(ValueError, match=r"keyframes\[0\]\.time_ms"):
        servobus.Motion.load(str(bad))
    motion = servobus.Motion("linear")
    motion.add({1: 1800, 2: 2300}, time_ms=200)
    motion.add({1: 2300, 2: 1800}, time_ms=200)
    with port(vbus) as p:
        with pytest.raises(ValueError):
            p.play(motion, speed=6)
        with pytest.raises(ValueError):
            p.play(motion, rate=0)
        timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                p.play(motion, loop=0, release=True)
        finally:
            timer.cancel()
    # The torque-off packet went out before the interrupt was raised; the bus may still be
    # taking it in.
    end = time.monotonic() + 5
    while any(vbus.memory(i)[TORQUE] for i in (1, 2)) and time.monotonic() < end:
        time.sleep(0.005)
    assert vbus.memory(1)[TORQUE] == 0 and vbus.memory(2)[TORQUE] == 0
