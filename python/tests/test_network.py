"""The module through a real ser2net: rfc2217:// sets the rate through the server, tcp://
runs at the server's rate and refuses another."""
import os
import shutil
import socket
import subprocess
import time

import pytest

import servobus
from conftest import CATALOGUE

pytestmark = pytest.mark.skipif(not shutil.which("ser2net"), reason="ser2net is not installed")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    """Read from the kernel's table: a probe connection would take the device."""
    local = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        return any(f[1] == local and f[3] == "0A" for f in (line.split() for line in table))


@pytest.fixture
def served(tmp_path):
    """Servo 1 at 1000000 baud and 3 at 115200, served raw at 115200 and with RFC 2217."""
    with servobus.VirtualBus([(1, "Kestrel-12", 0), (3, "Osprey-40H", 4)], catalogue=CATALOGUE) as bus:
        rfc, raw = free_port(), free_port()
        config = tmp_path / "ser2net.yaml"
        config.write_text(f"connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1,{rfc}\n"
                          f"  connector: serialdev,{bus.device},115200n81,local\n"
                          f"connection: &raw\n  accepter: tcp,127.0.0.1,{raw}\n"
                          f"  connector: serialdev,{bus.device},115200n81,local\n")
        # The server runs as installed: not with a sanitizer runtime this test's Python may
        # have been given.
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
        server = subprocess.Popen(["ser2net", "-n", "-d", "-c", str(config), "-P", str(tmp_path / "pid")],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        try:
            end = time.monotonic() + 10
            while not (listening(rfc) and listening(raw)):
                assert time.monotonic() < end, "ser2net did not listen"
                time.sleep(0.005)
            yield f"rfc2217://127.0.0.1:{rfc}", f"tcp://127.0.0.1:{raw}"
        finally:
            server.kill()
            server.wait()


def opened(name, **options):
    """The port, once the server has let the device go from the last connection."""
    end = time.monotonic() + 10
    while True:
        p = servobus.Port(name, catalogue=CATALOGUE, **options)
        try:
            p.servo(3).read(0, 1)
            return p
        except servobus.ServoError:
            p.close()
            if time.monotonic() > end:
                raise


def test_both_kinds_scan_read_and_write(served):
    rfc, raw = served
    with opened(rfc, timeout="auto") as p:
        assert [(s.id, s.rate) for s in p.scan(0, 4, rates="all")] == [(1, 1000000), (3, 115200)]
        p.rate = 115200
        p.servo(3).write(13, bytes([0xFF, 0xFF]))
        assert p.servo(3).read(13, 2) == bytes([0xFF, 0xFF])
    with opened(raw, timeout="auto") as p:
        assert [s.id for s in p.scan(0, 4)] == [3]
        assert p.servo(3).read(13, 2) == bytes([0xFF, 0xFF])
        with pytest.raises(servobus.PortError, match="raw TCP port.*1000000 baud cannot be set"):
            p.rate = 1000000


def test_each_kind_opens_right_after_the_other(served):
    """The server still holds the device for the connection that just closed and turns the
    next one away at first: the port asks again."""
    rfc, raw = served
    for name in (rfc, raw, rfc, raw):
        with servobus.Port(name, catalogue=CATALOGUE) as p:
            assert len(p.servo(3).read(0, 9)) == 9


def test_failures_name_their_reason():
    nobody = f"tcp://127.0.0.1:{free_port()}"
    with pytest.raises(servobus.PortError, match="connection refused"):
        servobus.Port(nobody, catalogue=CATALOGUE)
    with pytest.raises(servobus.PortError, match="not a network port"):
        servobus.Port("rfc2217://127.0.0.1", catalogue=CATALOGUE)
