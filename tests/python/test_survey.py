"""Rounds and the results store from Python, against the virtual instrument
of the example monitoring scene: rows a csv writer and a DataFrame take."""

import csv
import datetime
import io
import json
import os
import pathlib
import socket
import sqlite3

import pytest

from dazozazidorezeraro import (RESULT_COLUMNS, JobError, Round, Store,
                                StoreError, VirtualInstrument)

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture
def job(tmp_path):
    job = json.loads((EXAMPLES / "monitoring" / "job.json").read_text())
    job["store"] = str(tmp_path / "results.sqlite")
    del job["targets"][3]  # hidden for the instrument's first seconds
    return job


@pytest.fixture
def instrument():
    with VirtualInstrument(
            scene=str(EXAMPLES / "monitoring" / "scene.json")) as running:
        yield running


def test_round_rows_go_to_the_store_and_to_csv(job, instrument):
    round = Round(job, instrument=instrument.address)
    store = Store(round.store)
    rows = round.measure(store)
    assert round.complete and round.message == ""
    assert [row["target"] for row in rows] == ["WALL1", "WALL2", "SLOPE1"]
    assert {row["outcome"] for row in rows} == {"measured"}
    assert rows[0]["easting"] == pytest.approx(2541.2, abs=0.002)
    assert rows[0]["faces"] == 2
    assert abs(rows[0]["collimation"] - 0.00012) < 2e-5
    assert list(rows[0]) == RESULT_COLUMNS

    stored = Store(round.store, read_only=True)
    assert stored.results() == rows
    assert [r["status"] for r in stored.rounds()] == ["complete"]
    assert stored.results(target="WALL2") == [rows[1]]
    assert stored.results(since=rows[2]["time"]) == [rows[2]]

    out = io.StringIO()
    writer = csv.DictWriter(out, fieldnames=RESULT_COLUMNS)
    writer.writeheader()
    writer.writerows(rows)
    back = list(csv.DictReader(io.StringIO(out.getvalue())))
    assert [row["target"] for row in back] == ["WALL1", "WALL2", "SLOPE1"]


def test_bad_jobs_and_stores_raise_what_python_expects(job, tmp_path):
    job["targets"].append(dict(job["targets"][0]))
    with pytest.raises(JobError, match=r"targets\[3\]\.id"):
        Round(job)
    with pytest.raises(ValueError):
        Round({"instrument": "x:1"})
    not_a_store = tmp_path / "notes.txt"
    not_a_store.write_text("not a store\n" * 100)
    with pytest.raises(StoreError, match="not a results store"):
        Store(not_a_store)
    with pytest.raises(OSError):
        Store(tmp_path / "missing.sqlite", read_only=True)
    with pytest.raises(ValueError, match="since"):
        Store(tmp_path / "new.sqlite").results(since="yesterday")


def test_a_silent_instrument_ends_the_round_saying_why(job):
    with socket.create_server(("127.0.0.1", 0)) as silent:
        round = Round(job, instrument="127.0.0.1:%d" % silent.getsockname()[1])
        assert round.measure() == []
    assert not round.complete
    assert "no reply to set-atr-state" in round.message


# A store written as a monitor leaves it: rounds 1 and 4 incomplete, so that
# each target's reference is its epoch of round 2, the first complete one.
START = 1_800_000_000_000_000  # microseconds since 1970
MINUTE = 60_000_000
ROUNDS = {1: "incomplete", 2: "complete", 3: "complete", 4: "incomplete"}
EPOCHS = [  # round, target, easting, northing, height (None: not found)
    (1, "A", 9.999, 20.0, 5.0),
    (1, "C", 1.0, 1.0, 1.0),  # C is never measured in a complete round
    (2, "A", 10.0, 20.0, 5.0),
    (2, "B", 0.0, 0.0, 0.0),
    (3, "A", 10.003, 20.004, 4.998),
    (3, "B", 0.0, 0.0, 0.001),
    (4, "A", 10.006, 20.008, 5.0),
    (4, "B", None, None, None),
]
EVENTS = [  # round, target, level, component, value, limit
    (3, "A", "warning", "horizontal", 0.005, 0.004),
    (3, "B", "alarm", "height", 0.001, 0.0005),
    (4, "A", "clear", "horizontal", 0.0, 0.004),
]


def at(round, offset=0):
    return START + round * MINUTE + offset


@pytest.fixture
def written(tmp_path):
    path = tmp_path / "written.sqlite"
    Store(path)  # creates the schema
    with sqlite3.connect(path) as db:
        for id in ("A", "B"):
            db.execute("INSERT INTO targets (id, prism_constant, faces, "
                       "face_tolerance, set_angle_tolerance, "
                       "set_distance_tolerance) VALUES (?, 0, 2, 0, 0, 0)",
                       (id,))
        for round, status in ROUNDS.items():
            db.execute("INSERT INTO rounds (id, job, instrument, started, "
                       "finished, status) VALUES (?, 'job', 'x:1', ?, ?, ?)",
                       (round, at(round), at(round, 50), status))
        for i, (round, target, e, n, h) in enumerate(EPOCHS):
            db.execute(
                "INSERT INTO results (round, target, started, time, outcome, "
                "return_code, message, faces, sets, flagged_sets, easting, "
                "northing, height) VALUES (?, ?, ?, ?, ?, 0, '', 2, 1, '', "
                "?, ?, ?)",
                (round, target, at(round), at(round, i + 1),
                 "measured" if e is not None else "not-found", e, n, h))
        for i, (round, target, level, component, value, limit) in \
                enumerate(EVENTS):
            db.execute("INSERT INTO events (round, target, time, level, "
                       "component, value, limit_value) VALUES "
                       "(?, ?, ?, ?, ?, ?, ?)",
                       (round, target, at(round, 20 + i), level, component,
                        value, limit))
    return Store(path, read_only=True)


def iso(round, offset=0):
    seconds = at(round, offset) / 1e6
    return datetime.datetime.fromtimestamp(
        seconds, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%fZ")


@pytest.mark.parametrize("query, expected", [
    # (round, target, reference round, dE, dN, dH) in time order
    ({}, [(1, "A", 2, -0.001, 0, 0), (2, "A", 2, 0, 0, 0),
          (2, "B", 2, 0, 0, 0), (3, "A", 2, 0.003, 0.004, -0.002),
          (3, "B", 2, 0, 0, 0.001), (4, "A", 2, 0.006, 0.008, 0)]),
    ({"target": "B"}, [(2, "B", 2, 0, 0, 0), (3, "B", 2, 0, 0, 0.001)]),
    ({"target": "C"}, []),
    ({"reference": 3, "target": "A"},
     [(1, "A", 3, -0.004, -0.004, 0.002), (2, "A", 3, -0.003, -0.004, 0.002),
      (3, "A", 3, 0, 0, 0), (4, "A", 3, 0.003, 0.004, 0.002)]),
    # The reference stays the first complete round's, outside the range.
    ({"since": iso(3), "until": iso(4)},
     [(3, "A", 2, 0.003, 0.004, -0.002), (3, "B", 2, 0, 0, 0.001)]),
    ({"until": iso(2, 4)}, [(1, "A", 2, -0.001, 0, 0), (2, "A", 2, 0, 0, 0)]),
])
def test_displacements_from_each_targets_reference(written, query, expected):
    rows = written.displacements(**query)
    got = [(r["round"], r["target"], r["reference_round"], r["east"],
            r["north"], r["height"]) for r in rows]
    assert [g[:3] for g in got] == [e[:3] for e in expected]
    for row, want in zip(got, expected):
        assert row[3:] == pytest.approx(want[3:], abs=1e-9)


def test_displacement_rows_carry_the_lengths_and_the_results_time(written):
    rows = written.displacements(target="A")
    third = next(row for row in rows if row["round"] == 3)
    assert third["horizontal"] == pytest.approx(0.005, abs=1e-9)
    assert third["3d"] == pytest.approx(29 ** 0.5 / 1000, abs=1e-9)
    assert list(third) == ["round", "target", "time", "east", "north",
                           "height", "horizontal", "3d", "reference_round"]
    results = {row["round"]: row["time"]
               for row in written.results(target="A")}
    assert [row["time"] for row in rows] == [results[r] for r in (1, 2, 3, 4)]


@pytest.mark.parametrize("query, expected", [
    ({}, [(3, "A", "warning"), (3, "B", "alarm"), (4, "A", "clear")]),
    ({"target": "A"}, [(3, "A", "warning"), (4, "A", "clear")]),
    ({"since": iso(3, 21)}, [(3, "B", "alarm"), (4, "A", "clear")]),
    ({"until": iso(3, 21)}, [(3, "A", "warning")]),
    ({"target": "B", "until": iso(3, 21)}, []),
])
def test_events_in_time_order(written, query, expected):
    rows = written.events(**query)
    assert [(r["round"], r["target"], r["level"]) for r in rows] == expected


def test_event_rows_are_the_hooks_keys(written):
    first = written.events()[0]
    assert first == {"round": 3, "target": "A", "time": iso(3, 20),
                     "level": "warning", "component": "horizontal",
                     "value": 0.005, "limit": 0.004, "unit": "m"}


def test_bad_times_name_the_argument(written):
    with pytest.raises(ValueError, match="until"):
        written.displacements(until="tomorrow")
    with pytest.raises(ValueError, match="since"):
        written.events(since="noon")
