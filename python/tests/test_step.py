"""The step test and the sweep on the virtual bus: figures that follow the gains and the load,
and the swept value and the torque put back however the sweep ends."""
import os
import signal
import threading

import pytest

import servobus
from conftest import CATALOGUE, port

D, I, TORQUE = 22, 23, 40


def test_sweep_of_d_damps_and_restores(vbus):
    with port(vbus) as p:
        servo = p.servo(1)
        runs = servo.sweep({D: [8, 64]}, to=2247, from_=2047, duration=0.5)
        assert [r.values for r in runs] == [{D: 8}, {D: 64}]
        assert runs[0].overshoot_pct > runs[1].overshoot_pct
        assert all(r.rise_ms > 0 and r.reached for r in runs)
        assert runs[0].samples[0].time_ms < runs[0].samples[-1].time_ms <= 500
    memory = vbus.memory(1)
    assert (memory[D], memory[TORQUE]) == (32, 0)


def test_a_load_leaves_an_error_that_i_removes():
    with servobus.VirtualBus([(1, "Kestrel-12")], catalogue=CATALOGUE, load=60) as bus:
        with port(bus) as p:
            servo = p.servo(1)
            held = servo.step(2247, 2047, duration=0.5)
            assert held.steady_error < -20 and held.settling_ms is None
            assert held.peak_load >= 60
            fixed = servo.sweep({I: [16]}, to=2247, from_=2047, duration=1.2)[0]
            assert abs(fixed.steady_error) <= 4
        assert bus.memory(1)[I] == 0


def test_refusals_and_ctrl_c_leave_the_servo_as_it_was(vbus):
    with port(vbus) as p:
        servo = p.servo(1)
        with pytest.raises(ValueError):
            servo.sweep({5: [2]}, to=2247)
        with pytest.raises(servobus.RangeRefusedError):
            servo.sweep({D: [8, 255]}, to=2247)
        timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                servo.sweep({D: [8, 16]}, to=2247, duration=5)
        finally:
            timer.cancel()
    memory = vbus.memory(1)
    assert (memory[D], memory[TORQUE]) == (32, 0)
