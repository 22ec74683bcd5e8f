"""Every way a call can end maps to its exception, and Python's own."""

import os
import pickle
import socket
import termios
import time

import pytest

from dazozazidorezeraro import (CallTimeout, ConnectFailed, ConnectionClosed,
                                GeoComError, InvalidArgument, InvalidReply,
                                ReturnCodeError, Session, TransportError,
                                VirtualInstrument)


def free_port_address():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "127.0.0.1:%d" % probe.getsockname()[1]


# fault injected into angles -> exception, Python base class, message part,
# whether the message names the peer. Catches a kind mapped to the wrong
# class, a class losing its base, a message lost on the way.
CALL_OUTCOMES = [
    ("drop", CallTimeout, TimeoutError, "no reply to angles (2107)", True),
    ("disconnect", ConnectionClosed, ConnectionError, "angles (2107)", True),
    ("corrupt", InvalidReply, GeoComError, "reply to angles (2107)", False),
]


@pytest.mark.parametrize("fault,error,base,message,names_peer", CALL_OUTCOMES,
                         ids=[row[0] for row in CALL_OUTCOMES])
def test_a_fault_raises_its_exception(virtual_instrument, fault, error, base,
                                      message, names_peer):
    with Session.connect(virtual_instrument.address) as session:
        virtual_instrument.inject("angles", fault)
        with pytest.raises(error) as raised:
            session.call_raw(2107, "1", timeout=0.3)
    assert isinstance(raised.value, base)
    assert message in str(raised.value)
    assert (virtual_instrument.address in str(raised.value)) == names_peer


def test_a_return_code_is_carried(virtual_instrument):
    # angles with an incline mode out of range: the instrument answers
    # GRC_IVPARAM (2).
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(ReturnCodeError) as raised:
            session.call_raw(2107, "7")
    assert raised.value.return_code == 2
    assert raised.value.return_code_name == "invalid-parameter"
    assert "return code 2 invalid-parameter: a parameter was invalid" in str(
        raised.value)
    assert raised.value.kind == "return-code"
    assert raised.value.reply.startswith(b"%R1P,0,")
    assert "angles (2107)" in str(raised.value)


def test_a_return_code_is_named_where_the_library_names_it(
        virtual_instrument):
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(ReturnCodeError) as raised:
            session.simple_measurement()  # no prism in the beam
    assert (raised.value.return_code, raised.value.return_code_name) == (
        8710, "no-target")
    assert str(raised.value).endswith(
        "return code 8710 no-target: no prism in the beam")
    unnamed = ReturnCodeError("x", kind="return-code", return_code=1234)
    assert unnamed.return_code_name is None
    assert GeoComError("no reply").return_code == 0  # no reply, no code
    assert pickle.loads(pickle.dumps(raised.value)).return_code_name == (
        "no-target")


@pytest.mark.parametrize("timeout", [-1, float("nan"), float("inf"), 1e9,
                                     86400.5])
def test_a_bad_timeout_is_a_value_error_and_sends_nothing(virtual_instrument,
                                                         timeout):
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(InvalidArgument, match="timeout") as raised:
            session.call_raw(2107, "1", timeout=timeout)
        assert isinstance(raised.value, ValueError)
        assert session.counts.calls == 0
    assert virtual_instrument.counts["requests"] == 0


def test_a_day_is_the_longest_timeout_taken(virtual_instrument):
    with Session.connect(virtual_instrument.address) as session:
        session.call_raw(2107, "1", timeout=86400)
        assert session.counts.calls == 1


@pytest.mark.parametrize("address", ["no-port", "127.0.0.1:99999",
                                     "127.0.0.1:-1"])
def test_a_bad_address_is_a_value_error(address):
    with pytest.raises(InvalidArgument) as raised:
        Session.connect(address)
    assert isinstance(raised.value, ValueError)


def test_a_refused_connection_is_a_connection_error():
    address = free_port_address()
    with pytest.raises(ConnectFailed) as raised:
        Session.connect(address, timeout=1)
    assert isinstance(raised.value, ConnectionError)
    assert address in str(raised.value)


def test_a_missing_serial_device_is_an_os_error():
    with pytest.raises(GeoComError) as raised:
        Session.serial("/dev/no-such-device", 9600)
    assert isinstance(raised.value, (TransportError, ConnectFailed))
    assert "/dev/no-such-device" in str(raised.value)


@pytest.mark.parametrize("given, speed, sent", [
    ({}, termios.B115200, 1),
    ({"baud": 9600, "retries": 2}, termios.B9600, 3),
])
def test_a_serial_session_sets_the_line_and_retries_as_asked(given, speed,
                                                             sent):
    with VirtualInstrument(pty=True) as instrument:
        with Session.serial(instrument.pty_path, **given) as session:
            line = os.open(instrument.pty_path, os.O_RDWR | os.O_NOCTTY)
            try:
                attributes = termios.tcgetattr(line)
            finally:
                os.close(line)
            session.angles()
            instrument.traffic(clear=True)
            instrument.set_faults({"drop": 1})
            with pytest.raises(CallTimeout):
                session.angles(timeout=0.1)
        requests = [record for record in instrument.traffic()
                    if record.direction == "to-instrument" and record.bytes]
    assert (attributes[4], attributes[5]) == (speed, speed)
    assert len(requests) == sent


def test_a_closed_session_refuses_calls(virtual_instrument):
    session = Session.connect(virtual_instrument.address)
    session.close()
    session.close()
    with pytest.raises(ConnectionClosed):
        session.call_raw(2107, "1")


@pytest.mark.parametrize("timeout", [0.2, 0.5])
def test_a_call_waits_no_longer_than_its_timeout(virtual_instrument, timeout):
    with Session.connect(virtual_instrument.address) as session:
        virtual_instrument.inject("angles", "drop")
        started = time.monotonic()
        with pytest.raises(CallTimeout):
            session.call_raw(2107, "1", timeout=timeout)
        waited = time.monotonic() - started
    assert timeout <= waited < timeout + 0.2


def test_a_late_reply_is_passed_over(virtual_instrument):
    # The late answer to a call that timed out must not answer the next.
    with Session.connect(virtual_instrument.address) as session:
        virtual_instrument.inject("instrument-name", "drop")
        with pytest.raises(CallTimeout):
            session.call_raw(5004, "", timeout=0.1)
        reply = session.call_raw(2107, "1")
    assert reply.reply.startswith(f"%R1P,0,{reply.sequence}:0,".encode())
