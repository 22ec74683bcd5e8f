"""Monitoring from Python: a job's round measured against an instrument,
and the results store, each result a row (a dict keyed by RESULT_COLUMNS)
that csv.DictWriter or a DataFrame constructor takes as it is.

>>> round = Round("job.json")
>>> rows = round.measure(Store(round.store))
"""

import json
import os

from . import _native

JobError = _native.JobError
StoreError = _native.StoreError
RESULT_COLUMNS = list(_native.RESULT_COLUMNS)


class Store:
    """A results store (an SQLite file, created when missing unless
    read_only); raises StoreError for a file that is no store, of a newer
    schema, or read-only."""

    def __init__(self, path, read_only=False):
        self._store = _native.Store(os.fspath(path), read_only)

    def results(self, target=None, since=None, until=None):
        """The results in time order as rows; since and until are UTC times
        ("2026-03-15T10:30:00Z")."""
        return self._store.results(target, since, until)

    def displacements(self, target=None, since=None, until=None,
                      reference=None):
        """Each measured result's displacement from its target's reference
        epoch, in time order, as dicts: round, target, time, east, north,
        height, horizontal, 3d (metres) and reference_round. The reference
        is the target's result in round `reference`, else in the first
        round that measured every target; a target without one has no rows.
        since and until select as in results()."""
        return self._store.displacements(target, since, until, reference)

    def events(self, target=None, since=None, until=None):
        """Each level change a limit raised, in time order, as dicts: round,
        target, time, level ("warning", "alarm" or "clear"), component,
        value, limit and unit ("m", or "m/d" for a velocity)."""
        return self._store.events(target, since, until)

    def rounds(self):
        """Every round as a dict: round, job, instrument, started, finished
        (None for a round whose program died), status."""
        return self._store.rounds()

    @property
    def schema_version(self):
        return self._store.schema_version


class Round:
    """A monitoring job's round: job is a job file's path or the job as a
    dict (the keys of docs/monitoring.md); instrument replaces the job's."""

    def __init__(self, job, instrument=None):
        if isinstance(job, dict):
            text, name = json.dumps(job, indent=1), "job"
        else:
            with open(job, encoding="utf-8") as f:
                text, name = f.read(), os.fspath(job)
        self._round = _native.Round(text, name, instrument)

    def measure(self, store=None):
        """Measures one round and returns its targets' rows; with a Store,
        each target is written to it as soon as it ends. Raises the
        session's errors when the instrument cannot be reached."""
        return self._round.measure(store._store if store is not None
                                   else None)

    @property
    def complete(self):
        """Whether the last round measured every target."""
        return self._round.complete

    @property
    def message(self):
        """Why the last round ended early (an instrument that did not
        answer, a connection closed); empty when it did not."""
        return self._round.message

    @property
    def targets(self):
        return self._round.targets

    @property
    def instrument(self):
        return self._round.instrument

    @property
    def store(self):
        """The store path the job names."""
        return self._round.store
