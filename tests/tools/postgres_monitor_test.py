#!/usr/bin/env python3
"""End-to-end tests of geocom monitor and export on a PostgreSQL store, in
one throwaway cluster for the whole program (CLUSTER names
tests/support/postgres-cluster; GEOCOM and EXAMPLES as for monitor_test.py).
Exits 77 when PostgreSQL is not installed."""

import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

from monitor_test import STEP_TIMEOUT, Simulator, Workspace, geocom

CLUSTER = os.environ.get("CLUSTER", "tests/support/postgres-cluster")
PSQL = "/usr/lib/postgresql/15/bin/psql"
SKIPPED = 77

cluster_dir = None
databases = 0


def cluster(command):
    return subprocess.run([CLUSTER, command, cluster_dir], capture_output=True,
                          text=True, timeout=STEP_TIMEOUT)


def uri_of(database):
    return f"postgresql:///{database}?host={cluster_dir}&user=postgres"


def query(database, sql):
    """The rows of the query, as tuples of text."""
    result = subprocess.run([PSQL, "-X", "-At", "-F", "\t", "-c", sql,
                             uri_of(database)],
                            capture_output=True, text=True,
                            timeout=STEP_TIMEOUT, check=True)
    return [tuple(line.split("\t")) for line in result.stdout.splitlines()]


def new_database():
    global databases
    databases += 1
    name = f"monitor_{databases}"
    query("postgres", f"CREATE DATABASE {name}")
    return name


class PostgresMonitor(Workspace):
    def setUp(self):
        super().setUp()
        self.database = new_database()
        self.job["store"] = uri_of(self.database)

    def tearDown(self):
        # A failed test must not leave the shared server stopped.
        cluster("start")
        super().tearDown()

    def results(self):
        return query(self.database,
                     "SELECT r.job, r.status, s.target FROM results s JOIN "
                     "rounds r ON r.id = s.round ORDER BY s.time")

    def test_two_monitors_write_one_database_at_once(self):
        self.run_two_jobs(3)
        rounds = query(self.database,
                       "SELECT job, status FROM rounds ORDER BY id")
        self.assertEqual(sorted(rounds), [("one", "complete")] * 3 +
                         [("two", "complete")] * 3)
        targets = len(self.job["targets"])
        per_round = query(self.database,
                          "SELECT count(*), count(DISTINCT target) FROM "
                          "results GROUP BY round")
        self.assertEqual(per_round, [(str(targets), str(targets))] * 6)
        self.assertEqual(len(self.rows(self.job["store"])), 6 * targets)
        report = geocom("monitor", "report", self.job["store"],
                        "--html", self.path("report.html"))
        self.assertEqual(report.returncode, 0, report.stderr)

    def test_server_stopped_during_a_round_loses_and_doubles_nothing(self):
        simulator, monitor = self.start_monitor(0.3, "--rounds", "1")
        with simulator:
            self.assertIn("monitoring", monitor.stdout.readline())
            self.assertIn("WALL1", monitor.stdout.readline())
            cluster("halt")
            self.assertIn("WALL2", monitor.stdout.readline())
            self.assertIn("SLOPE1", monitor.stdout.readline())
            self.assertTrue(os.path.exists(self.path("job.buffer.sqlite")))
            self.assertEqual(cluster("start").returncode, 0)
            out, err = monitor.communicate(timeout=STEP_TIMEOUT)
        self.assertEqual(monitor.returncode, 0, err)
        self.assertIn("round 1 complete", out)
        self.assertIn("buffering into " + self.path("job.buffer.sqlite"), err)
        self.assertIn("buffered results from", err)
        self.assertFalse(os.path.exists(self.path("job.buffer.sqlite")))
        name = self.job["name"]
        self.assertEqual(self.results(), [
            (name, "complete", target["id"]) for target in self.job["targets"]])

    def test_kill_while_buffering_keeps_the_buffer_whole(self):
        simulator, monitor = self.start_monitor(0.3, "--rounds", "1")
        with simulator:
            self.assertIn("monitoring", monitor.stdout.readline())
            first = monitor.stdout.readline().split()[2]
            cluster("halt")
            buffered = [monitor.stdout.readline().split()[2]
                        for _ in range(2)]
            monitor.send_signal(signal.SIGKILL)
            monitor.communicate(timeout=STEP_TIMEOUT)
        buffer = self.path("job.buffer.sqlite")
        with sqlite3.connect(buffer) as db:
            self.assertEqual(
                db.execute("PRAGMA integrity_check").fetchone()[0], "ok")
            kept = [row[0] for row in db.execute(
                "SELECT target FROM results ORDER BY time")]
        # The first target's answer may have been on its way as the server
        # stopped: then it is kept too, and written through harmlessly.
        self.assertEqual([target for target in kept if target != first],
                         buffered)
        self.assertEqual(cluster("start").returncode, 0)

        # The next monitor writes the buffer through before it measures.
        with Simulator(self.scene) as fast:
            self.job["instrument"] = fast.address
            result = geocom("monitor", self.write_job(self.job), "--rounds",
                            "1", cwd=self.folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(f"wrote {len(kept)} buffered results", result.stderr)
        self.assertFalse(os.path.exists(buffer))
        name = self.job["name"]
        every = [target["id"] for target in self.job["targets"]]
        self.assertEqual(
            self.results(),
            [(name, "incomplete", target) for target in [first, *buffered]] +
            [(name, "complete", target) for target in every])

    def test_bad_uris_are_refused_before_anything_is_measured(self):
        # Nothing listens at the instrument's address: a job that got as
        # far as connecting would end with status 7.
        self.job["instrument"] = "127.0.0.1:1"
        nowhere = os.path.join(self.folder, "nowhere")
        cases = [
            ("postgresql:///results?bogus=1", ["store", "not a PostgreSQL URI",
                                               "bogus"]),
            (f"postgres://me:secret@/results?host={nowhere}",
             ["store", "me:***@", "cannot connect to the PostgreSQL server "
              + nowhere]),
        ]
        for store, words in cases:
            with self.subTest(store=store):
                self.job["store"] = store
                result = geocom("monitor", self.write_job(self.job),
                                cwd=self.folder)
                self.assertEqual(result.returncode, 1, result.stderr)
                for word in words:
                    self.assertIn(word, result.stderr)
                self.assertNotIn("secret", result.stderr)
                self.assertEqual(result.stdout, "")
        self.assertEqual(os.listdir(self.folder), ["job.json"])


def main():
    global cluster_dir
    cluster_dir = tempfile.mkdtemp(prefix="geocom-pg-")
    try:
        started = cluster("start")
        if started.returncode == SKIPPED:
            print(started.stderr.strip() + ": skipped", file=sys.stderr)
            return SKIPPED
        if started.returncode != 0:
            print(started.stderr, file=sys.stderr)
            return 1
        program = unittest.main(exit=False)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        cluster("remove")


if __name__ == "__main__":
    sys.exit(main())
