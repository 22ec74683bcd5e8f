"""Rounds and the results store from Python, against the virtual instrument
of the example monitoring scene: rows a csv writer and a DataFrame take."""

import csv
import io
import json
import os
import pathlib

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
    assert round.complete
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
