"""The pytest plugin's fixture, as a host's test suite uses it, and the
virtual instrument's scene and traffic."""

import math
import os
import socket
import time

import pytest

from dazozazidorezeraro import InvalidArgument, Session, VirtualInstrument

pytest_plugins = ["pytester"]

HOST_SUITE = '''
import os, socket
import pytest
from dazozazidorezeraro import Session

THREADS = len(os.listdir("/proc/self/task"))
ADDRESSES = []

def test_serves(virtual_instrument):
    ADDRESSES.append(virtual_instrument.address)
    with Session.connect(virtual_instrument.address) as session:
        assert session.station().instrument_height == 1.6

@pytest.mark.virtual_instrument(faults="drop=1")
def test_takes_arguments(virtual_instrument):
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(TimeoutError):
            session.angles(timeout=0.1)

def test_leaves_nothing_behind():
    assert len(os.listdir("/proc/self/task")) == THREADS
    host, port = ADDRESSES[0].split(":")
    with pytest.raises(ConnectionRefusedError):
        socket.create_connection((host, int(port)), timeout=1)
'''


# The entry point loads the plugin; a suite written for a source tree, which
# names the plugin itself, runs the same with the package installed.
@pytest.mark.parametrize("named", [
    None, "option", "conftest"])
def test_a_host_suite_gets_the_fixture(pytester, named):
    pytester.makepyfile(test_host=HOST_SUITE)
    options = ["-p", "no:cacheprovider"]
    if named == "option":
        options += ["-p", "dazozazidorezeraro.pytest_plugin"]
    elif named == "conftest":
        pytester.makeconftest(
            'pytest_plugins = ["dazozazidorezeraro.pytest_plugin"]')
    result = pytester.runpytest_subprocess(*options)
    result.assert_outcomes(passed=3)


def test_the_scene_and_the_timed_traffic_are_readable(virtual_instrument):
    assert virtual_instrument.station["instrument_height"] == 1.6
    assert [prism.id for prism in virtual_instrument.prisms] == [
        "P1", "P2", "P3"]
    started = time.monotonic()
    with Session.connect(virtual_instrument.address) as session:
        session.position(0.5, 1.5)
    elapsed = time.monotonic() - started
    assert virtual_instrument.telescope == pytest.approx((0.5, 1.5))
    records = virtual_instrument.traffic()
    assert [record.direction for record in records] == [
        "to-instrument", "to-host"]
    times = [record.time for record in records]
    assert times == sorted(times)
    assert 0 < times[0] <= times[-1] < elapsed + 60
    assert virtual_instrument.traffic(clear=True)
    assert virtual_instrument.traffic() == []


@pytest.mark.parametrize("arguments,error,message", [
    ({"faults": "drop=2"}, ValueError, "drop"),
    ({"faults": {"no-such-fault": 0.1}}, ValueError, "no-such-fault"),
    ({"scene": {"station": {"easting": "east"}}}, ValueError, "easting"),
    ({"scene": "/no/such/scene.json"}, OSError, "/no/such/scene.json"),
])
def test_a_bad_instrument_argument_names_itself(arguments, error, message):
    with pytest.raises(error, match=message):
        VirtualInstrument(**arguments)


def test_a_stopped_instrument_frees_its_port():
    instrument = VirtualInstrument()
    host, port = instrument.address.split(":")
    instrument.stop()
    instrument.stop()
    with pytest.raises(ConnectionRefusedError):
        socket.create_connection((host, int(port)), timeout=1)
    assert not instrument.running


def test_the_example_surveys_every_prism():
    import subprocess
    import sys
    example = os.path.join(os.path.dirname(__file__), "..", "..", "examples",
                           "python", "survey.py")
    output = subprocess.run([sys.executable, example], check=True,
                            capture_output=True, text=True).stdout
    assert [line.split(":")[0] for line in output.splitlines()
            if line.startswith("P")] == ["P1", "P2", "P3"]
    assert "no reply to angles" in output


def _direction_to(station, easting, northing, height):
    east = easting - station["easting"]
    north = northing - station["northing"]
    up = height - station["height"] - station["instrument_height"]
    hz = (math.atan2(east, north) - station["orientation"]) % (2 * math.pi)
    return hz, math.atan2(math.hypot(east, north), up)


def test_a_moved_prism_changes_the_measured_angles():
    with VirtualInstrument(seed=3) as instrument, \
            Session.connect(instrument.address) as session:
        prism = instrument.prisms[0]
        station = instrument.station
        session.set_atr_state(True)
        session.set_lock_state(True)
        session.position(*_direction_to(station, prism.easting,
                                        prism.northing, prism.height))
        session.fine_adjust(0.01, 0.01)
        session.lock_in()
        before = session.angles()
        moved = (prism.easting + 3.0, prism.northing - 2.0, prism.height)
        instrument.move_prism(prism.id, *moved)
        time.sleep(0.5)
        after = session.angles()
        expected, _ = _direction_to(station, *moved)
        assert abs(after.hz - before.hz) > 0.01
        assert abs(after.hz - expected) < 0.01
        with pytest.raises(ValueError):
            instrument.move_prism("no-such-prism", 0.0, 0.0, 0.0)
        with pytest.raises(ValueError):
            instrument.move_prism(prism.id, float("nan"), 0.0, 0.0)


def test_a_bad_call_leaves_no_traffic_every_time(virtual_instrument):
    for _ in range(100):
        with Session.connect(virtual_instrument.address) as session:
            virtual_instrument.traffic(clear=True)
            with pytest.raises(InvalidArgument):
                session.call_raw(2107, "1", timeout=-1)
            assert virtual_instrument.traffic() == []


def test_traffic_keeps_the_latest_records_up_to_its_limit():
    with VirtualInstrument(traffic_limit=6) as instrument:
        assert instrument.traffic_limit == 6
        with Session.connect(instrument.address) as session:
            for call in (session.power, session.angles, session.power,
                         session.angles, session.power):
                call()
            notes = [record.note for record in instrument.traffic()]
            assert notes == ["power", "power", "angles", "angles", "power",
                             "power"]
            instrument.traffic_limit = 2
            assert [record.note for record in instrument.traffic()] == [
                "power", "power"]


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_a_long_run_of_calls_stays_small():
    # 2 * 10^4 calls, a fifth of 10^5, with a fifth of the 5 MB allowed: an
    # unbounded log holds some 300 bytes a call, 6 MB here.
    with VirtualInstrument(traffic_limit=1000) as instrument:
        with Session.connect(instrument.address) as session:
            for _ in range(2000):
                session.power()
            before = resident_bytes()
            for _ in range(20000):
                session.power()
            grown = resident_bytes() - before
        assert len(instrument.traffic()) == 1000
    assert grown < 1 << 20
