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


# call -> the return code, its name and the message's end; the reply as
# received and the message naming the procedure.
RETURN_CODES = [
    (lambda session: session.call_raw(2107, "7"), 2, "invalid-parameter",
     "return code 2 invalid-parameter: a parameter was invalid",
     "angles (2107)"),
    (lambda session: session.simple_measurement(), 8710, "no-target",
     "return code 8710 no-target: no prism in the beam",
     "simple-measurement (2108)"),
]


@pytest.mark.parametrize("call,code,name,message,procedure", RETURN_CODES,
                         ids=[row[2] for row in RETURN_CODES])
def test_a_return_code_is_carried_and_named(virtual_instrument, call, code,
                                            name, message, procedure):
    # angles with an incline mode out of range; no prism in the beam.
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(ReturnCodeError) as raised:
            call(session)
    error = raised.value
    assert (error.return_code, error.return_code_name, error.kind) == (
        code, name, "return-code")
    assert str(error).endswith(message)
    assert procedure in str(error)
    assert error.reply.startswith(b"%R1P,0,")
    assert pickle.loads(pickle.dumps(error)).return_code_name == name


def test_a_code_the_library_does_not_name_has_no_name():
    unnamed = ReturnCodeError("x", kind="return-code", return_code=1234)
    assert unnamed.return_code_name is None
    assert GeoComError("no reply").return_code == 0  # no reply, no code


@pytest.mark.parametrize("timeout", [-1, float("nan"), float("inf"), 1e9])
def test_a_bad_timeout_is_a_value_error_and_sends_nothing(virtual_instrument,
                                                         timeout):
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(InvalidArgument, match="timeout") as raised:
            session.call_raw(2107, "1", timeout=timeout)
        assert isinstance(raised.value, ValueError)
        assert session.counts.calls == 0
    assert virtual_instrument.counts["requests"] == 0


REFUSED = free_port_address()
# how the session is opened -> its exception, the Python class it is too,
# and what its message names.
OPEN_FAILURES = [
    (lambda: Session.connect("no-port"), InvalidArgument, ValueError,
     "no-port"),
    (lambda: Session.connect("127.0.0.1:99999"), InvalidArgument, ValueError,
     "127.0.0.1:99999"),
    (lambda: Session.connect("127.0.0.1:-1"), InvalidArgument, ValueError,
     "127.0.0.1:-1"),
    (lambda: Session.connect(REFUSED, timeout=1), ConnectFailed,
     ConnectionError, REFUSED),
    (lambda: Session.serial("/dev/no-such-device", 9600), GeoComError,
     (TransportError, ConnectFailed), "/dev/no-such-device"),
]


@pytest.mark.parametrize("open_session,error,base,named", OPEN_FAILURES,
                         ids=[row[3] for row in OPEN_FAILURES])
def test_a_session_that_cannot_open_raises_its_exception(open_session, error,
                                                         base, named):
    with pytest.raises(error) as raised:
        open_session()
    assert isinstance(raised.value, base)
    assert named in str(raised.value)


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
