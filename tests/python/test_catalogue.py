"""The session methods, their signatures and results are the catalogue's."""

import inspect
import os
import pydoc
import subprocess
import sys

import pytest

import dazozazidorezeraro
from dazozazidorezeraro import (PROCEDURES, AsyncSession, InvalidArgument,
                                RawReply, Session, find, results)

SOURCES = os.path.join(os.path.dirname(__file__), "..", "..", "python")


def test_every_procedure_is_a_method_with_the_catalogue_signature():
    for procedure in PROCEDURES:
        for cls in (Session, AsyncSession):
            method = getattr(cls, procedure.method_name)
            parameters = list(inspect.signature(method).parameters.values())
            if procedure.known:
                named = parameters[1:1 + len(procedure.arguments)]
                assert [p.name for p in named] == [
                    value.python_name for value in procedure.arguments]
                assert [p.default for p in named] == [
                    inspect.Parameter.empty if value.default is None
                    else value.default for value in procedure.arguments]
            assert parameters[-2].name == "timeout"
            assert procedure.description in method.__doc__


def test_help_shows_types_and_asyncio_methods_are_coroutines():
    position = inspect.signature(Session.position)
    assert position.parameters["hz"].annotation is float
    assert position.parameters["pos_mode"].annotation is int
    assert inspect.signature(Session.angles).return_annotation is results.Angles
    assert inspect.signature(Session.position).return_annotation is None
    unknown = next(procedure for procedure in PROCEDURES
                   if not procedure.known)
    assert inspect.signature(getattr(
        Session, unknown.method_name)).return_annotation is RawReply
    text = pydoc.render_doc(Session.angles, renderer=pydoc.plaintext)
    assert "incline_mode: int" in text and "-> dazozazidorezeraro" in text
    assert "Returns an Angles with hz, v." in Session.angles.__doc__
    assert "Returns a Station with" in Session.station.__doc__
    for procedure in PROCEDURES:
        assert inspect.iscoroutinefunction(
            getattr(AsyncSession, procedure.method_name)), procedure.name
        assert not inspect.iscoroutinefunction(
            getattr(Session, procedure.method_name)), procedure.name


def test_the_version_and_bounds_are_shown_as_they_are():
    assert dazozazidorezeraro.__version__.count(".") == 2
    values = {value.name: value for value in find("position").arguments}
    assert (values["hz"].minimum, values["hz"].maximum) == (None, None)
    assert (values["pos_mode"].minimum, values["pos_mode"].maximum) == (0, 1)


def test_the_checked_in_stubs_are_what_the_catalogue_makes(tmp_path):
    subprocess.run([sys.executable, os.path.join(SOURCES, "generate_stubs.py"),
                    str(tmp_path)], check=True)
    for name in ("session.pyi", "results.pyi"):
        with open(os.path.join(SOURCES, "dazozazidorezeraro", name)) as stub:
            checked_in = stub.read()
        assert (tmp_path / name).read_text() == checked_in, (
            f"{name} is stale: run python/generate_stubs.py")


def test_named_calls_return_the_result_classes(virtual_instrument):
    with Session.connect(virtual_instrument.address) as session:
        assert session.position(0.6435, 1.4706) is None
        angles = session.angles(incline_mode=0)
        station = session.call("station")
    assert isinstance(angles, results.Angles)
    assert (angles.hz, angles.v) == pytest.approx((0.6435, 1.4706))
    assert station == results.Station(0.0, 0.0, 0.0, 1.6)


# arguments -> the argument the message names. Nothing reaches the wire.
BAD_ARGUMENTS = [
    ("angles", {"incline_mode": 7}, "incline_mode"),
    ("angles", {"incline_mode": 1.5}, "incline_mode"),
    ("angles", {"incline_mode": 2 ** 70}, "incline_mode"),
    ("position", {"hz": float("nan"), "v": 1.0}, "hz"),
    ("position", {"hz": "north", "v": 1.0}, "hz"),
    ("position", {"hz": [], "v": 1.0}, "hz"),
]


@pytest.mark.parametrize("name,arguments,named", BAD_ARGUMENTS,
                         ids=[f"{row[0]}-{row[2]}-{i}"
                              for i, row in enumerate(BAD_ARGUMENTS)])
def test_a_bad_argument_is_refused_before_anything_is_sent(
        virtual_instrument, name, arguments, named):
    with Session.connect(virtual_instrument.address) as session:
        with pytest.raises(InvalidArgument, match=named) as raised:
            session.call(name, **arguments)
    assert name in str(raised.value)
    assert virtual_instrument.counts["requests"] == 0


def test_an_unknown_name_is_a_key_error():
    with pytest.raises(KeyError, match="no-such"):
        find("no-such")
