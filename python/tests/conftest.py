"""Fixtures: a virtual bus in this process with three servos, and the catalogue it uses."""
import os
import pathlib
import time

import pytest

import servobus

SOURCE = pathlib.Path(__file__).resolve().parents[2]
CATALOGUE = os.environ.get("SERVO_CATALOGUE", str(SOURCE / "data" / "setup.log"))


@pytest.fixture
def vbus():
    """Servos 1 and 2 (Kestrel-12) and 3 (Osprey-40H) at 115200 baud."""
    with servobus.VirtualBus([(1, "Kestrel-12"), (2, "Kestrel-12"), (3, "Osprey-40H")],
                             catalogue=CATALOGUE) as bus:
        yield bus


def port(bus, **options):
    """A Port on the virtual bus, coded by the tests' catalogue."""
    return servobus.Port(bus.device, catalogue=CATALOGUE, **options)


def heard(bus, at_least=1, deadline=5.0):
    """The packets the bus has heard so far, once it has heard `at_least` of them."""
    end = time.monotonic() + deadline
    while True:
        lines = [line[2:] for line in bus.log() if line.startswith(">")]
        if len(lines) >= at_least or time.monotonic() > end:
            return lines
        time.sleep(0.005)
