"""Link statistics and what is found on the bus, against the virtual bus's own tally."""
import warnings

import pytest

import servobus
from conftest import CATALOGUE, port


def test_counts_match_the_virtual_bus_tally():
    with servobus.VirtualBus(["1:Kestrel-12", "2:Kestrel-12", "3:Osprey-40H"], CATALOGUE,
                             faults=["2:drop=0.3", "3:corrupt=0.4"]) as bus:
        with port(bus, timeout=30) as p:
            for _ in range(40):
                for i in (1, 2, 3):
                    try:
                        p.servo(i, byte_order=0, status_level=1).read(56, 4)
                    except servobus.ServoError:
                        pass
            stats = p.link_stats()
            assert p.bus_stats()["since_open"]["exchanges"] == 120
        for t in bus.tally():
            s = stats[t["id"]]
            assert (s["requests"], s["answered"], s["timeouts"], s["checksum_errors"] + s["malformed"]) == \
                (t["heard"], t["answered"], t["dropped"], t["corrupted"])
        assert stats[2]["timeouts"] > 0 and stats[3]["checksum_errors"] + stats[3]["malformed"] > 0


def test_an_echo_and_a_doubled_id_are_warned_of():
    with servobus.VirtualBus(["1:Kestrel-12", "3:Kestrel-12", "3:Osprey-40H"], CATALOGUE, echo=True) as bus:
        with port(bus, timeout=30) as p, warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            assert [s.id for s in p.scan(0, 5)] == [1]
            texts = [str(w.message) for w in caught]
            assert "the adapter echoes what is sent; the echo is skipped" in texts
            assert "ID 3: two servos may answer to this ID" in texts
            assert p.bus_stats()["echo"]
            p.reset_stats()
            assert p.link_stats() == {}


def test_bad_faults_are_refused():
    with pytest.raises(ValueError):
        servobus.VirtualBus(["1:Kestrel-12"], CATALOGUE, faults=["1:drop=2"])


def test_health_rows_with_alarms():
    with servobus.VirtualBus(["1:Kestrel-12", "3:Osprey-40H"], CATALOGUE) as bus:
        bus.set_fault_bits(3, 0x20)
        with port(bus, timeout=20) as p:
            rows = {r["id"]: r for r in p.health([1, 3, 9], duration=0.3, interval=20)}
    assert rows[1]["alarms"] == [] and rows[1]["model"] == "Kestrel-12"
    assert rows[1]["answered"] == rows[1]["requests"] > 1
    assert rows[3]["alarms"] == ["fault"] and rows[3]["status"] == 0x20
    assert rows[9]["answered"] == 0 and rows[9]["timeouts"] == rows[9]["requests"]
    assert rows[9]["position"] is None
