"""A port that `servoctl serve` holds: Port attaches and names the owner, exclusive=True refuses,
a rate other than the owner's is refused, and the owner's end is seen as a closed port."""
import os
import subprocess

import pytest

import servobus
from conftest import port


@pytest.fixture
def owner(vbus):  # servoctl serving the virtual bus at 115200, once its endpoint is up
    serve = subprocess.Popen([os.environ["SERVOCTL"], "-p", vbus.device, "-b", "115200", "serve"],
                             stdout=subprocess.PIPE, text=True)
    assert serve.stdout.readline().startswith("serving ")
    yield serve
    serve.terminate()
    serve.wait(10)


def test_attaches_to_the_owner_and_names_it(vbus, owner):
    with port(vbus) as p:
        assert p.shared_by == ("servoctl", owner.pid)
        assert p.rate == 115200
        assert p[1].feedback().answered
        with pytest.raises(servobus.PortError, match=rf"shared at 115200 by servoctl \(pid {owner.pid}\)"):
            p.rate = 1000000
        owner.terminate()
        owner.wait(10)
        with pytest.raises(servobus.PortClosedError):
            p[1].read(3, 2)


@pytest.mark.parametrize("options, error", [
    ({"exclusive": True}, servobus.PortBusyError),
    ({"rate": 1000000}, servobus.PortError),
])
def test_refusals(vbus, owner, options, error):
    with pytest.raises(error):
        port(vbus, **options)
