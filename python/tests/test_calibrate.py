"""Calibration from Python on the virtual bus: a travel recorded across the seam while another
thread turns the joint, a middle, limits, and undo back to the byte."""
import threading

import pytest

import servobus
from conftest import port


def word(memory, address):
    return memory[address] | memory[address + 1] << 8


def test_travel_middle_limits_and_undo(vbus, tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_DATA_HOME", str(tmp_path))
    factory = vbus.memory(1)[:40]
    with port(vbus) as p:
        servo = p.servo(1)
        recorded = threading.Event()

        def turn():  # back and forth over the seam until the recording is over
            while not recorded.is_set():
                for m in list(range(3900, 4400, 10)) + list(range(4400, 3900, -10)):
                    vbus.turn_by_hand(1, m % 4096)

        vbus.turn_by_hand(1, 3900)
        turning = threading.Thread(target=turn)
        turning.start()
        try:
            low, high, crosses = servo.record_travel(0.3)
        finally:
            recorded.set()
            turning.join()
        assert crosses and 3900 <= low < 4096 <= high <= 4400

        vbus.turn_by_hand(1, 1000)
        done = servo.calibrate_middle()
        assert done["new_correction"] == -1048 and abs(done["position"] - 2048) <= 2
        assert done["backup"].startswith(str(tmp_path))
        servo.set_limits(100, 3000)
        assert (word(vbus.memory(1), 9), word(vbus.memory(1), 11)) == (100, 3000)
        with pytest.raises(servobus.RangeRefusedError):
            servo.set_limits(3000, 100)
        servo.undo_calibration()
        servo.undo_calibration()
        with pytest.raises(servobus.ServoError, match="no calibration backup"):
            servo.undo_calibration()
    assert vbus.memory(1)[:40] == factory
