#!/usr/bin/env python3
"""End-to-end tests of geocom monitor and geocom export against geocom
simulate (GEOCOM names the executable, EXAMPLES the examples folder). Run
one case as: monitor_test.py Class.test_name."""

import csv
import io
import json
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import unittest

GEOCOM = os.environ.get("GEOCOM", "geocom")
EXAMPLES = os.environ.get("EXAMPLES", "examples")
STEP_TIMEOUT = 60
CONTRACT_COLUMNS = ["round", "target", "time", "outcome", "easting",
                    "northing", "height", "faces"]


def geocom(*args, cwd=None):
    return subprocess.run([GEOCOM, *args], capture_output=True, text=True,
                          timeout=STEP_TIMEOUT, cwd=cwd)


class Simulator:
    """`geocom simulate` on a port the system chooses."""

    def __init__(self, scene):
        self.process = subprocess.Popen(
            [GEOCOM, "simulate", "--scene", scene, "--listen", "127.0.0.1:0"],
            stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline().split()
        assert line[:2] == ["listening", "on"], line
        self.address = line[2]

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.communicate(timeout=STEP_TIMEOUT)


class Workspace(unittest.TestCase):
    """Each test in a folder of its own, with the example job and scene."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="geocom-monitor-")
        self.scene = os.path.join(EXAMPLES, "monitoring", "scene.json")
        with open(os.path.join(EXAMPLES, "monitoring", "job.json")) as f:
            self.job = json.load(f)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write_job(self, job, name="job.json"):
        with open(self.path(name), "w") as f:
            json.dump(job, f, indent=2)
        return self.path(name)

    def slow_scene(self, measure_time):
        with open(self.scene) as f:
            scene = json.load(f)
        scene["edm"]["measure_time"] = measure_time
        with open(self.path("slow.json"), "w") as f:
            json.dump(scene, f)
        return self.path("slow.json")

    def rows(self, store):
        result = geocom("export", store, "--csv")
        self.assertEqual(result.returncode, 0, result.stderr)
        return list(csv.DictReader(io.StringIO(result.stdout)))


class Monitor(Workspace):
    def test_example_job_runs_two_rounds_and_exports_parse(self):
        with Simulator(self.scene) as simulator:
            self.job["instrument"] = simulator.address
            job = self.write_job(self.job)
            result = geocom("monitor", job, "--rounds", "2", "--every", "0",
                            cwd=self.folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("round 1 complete", result.stdout)
        self.assertIn("round 2 complete", result.stdout)
        store = self.path(self.job["store"])

        rows = self.rows(store)
        self.assertEqual(len(rows), 2 * len(self.job["targets"]))
        for column in CONTRACT_COLUMNS:
            self.assertIn(column, rows[0])
        outcomes = {(row["round"], row["target"]): row["outcome"]
                    for row in rows}
        # SLOPE2 is hidden for the instrument's first four seconds.
        self.assertEqual(outcomes[("1", "SLOPE2")], "not-found")
        self.assertEqual(outcomes[("2", "WALL1")], "measured")
        wall = [row for row in rows if row["target"] == "WALL1"]
        self.assertAlmostEqual(float(wall[0]["easting"]), 2541.2, delta=0.002)
        self.assertEqual(wall[0]["faces"], "2")

        exported = geocom("export", store, "--geojson")
        self.assertEqual(exported.returncode, 0, exported.stderr)
        collection = json.loads(exported.stdout)
        self.assertEqual(collection["type"], "FeatureCollection")
        self.assertEqual(len(collection["features"]), len(rows))
        for feature in collection["features"]:
            properties = feature["properties"]
            for column in CONTRACT_COLUMNS:
                self.assertIn(column, properties)
            if properties["outcome"] == "measured":
                self.assertEqual(feature["geometry"]["type"], "Point")
                self.assertEqual(feature["geometry"]["coordinates"],
                                 [properties["easting"],
                                  properties["northing"],
                                  properties["height"]])
            else:
                self.assertIsNone(feature["geometry"])

        only = self.rows_of("--target", "WALL2", store=store)
        self.assertEqual({row["target"] for row in only}, {"WALL2"})
        later = self.rows_of("--since", rows[-1]["time"], store=store)
        self.assertEqual(len(later), 1)

    def rows_of(self, *args, store):
        result = geocom("export", store, "--csv", *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return list(csv.DictReader(io.StringIO(result.stdout)))

    def start_monitor(self, scene_measure_time):
        simulator = Simulator(self.slow_scene(scene_measure_time))
        self.job["instrument"] = simulator.address
        job = self.write_job(self.job)
        monitor = subprocess.Popen([GEOCOM, "monitor", job], cwd=self.folder,
                                   stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        return simulator, monitor

    def test_kill_during_a_round_keeps_every_measured_target(self):
        simulator, monitor = self.start_monitor(0.4)
        with simulator:
            printed = [monitor.stdout.readline() for _ in range(3)]
            monitor.send_signal(signal.SIGKILL)
            monitor.communicate(timeout=STEP_TIMEOUT)
        measured = [line.split()[2] for line in printed[1:]]
        store = self.path(self.job["store"])
        with sqlite3.connect(store) as db:
            rounds = db.execute(
                "SELECT status, finished FROM rounds").fetchall()
            kept = [row[0] for row in db.execute(
                "SELECT target FROM results ORDER BY time")]
            integrity = db.execute("PRAGMA integrity_check").fetchone()[0]
        self.assertEqual(integrity, "ok")
        self.assertEqual(rounds, [("incomplete", None)])
        self.assertEqual(kept[:len(measured)], measured)
        self.assertEqual(len(self.rows(store)), len(kept))

    def test_interrupt_finishes_the_target_and_exits_0(self):
        simulator, monitor = self.start_monitor(0.3)
        with simulator:
            self.assertIn("monitoring", monitor.stdout.readline())
            self.assertIn("WALL1 measured", monitor.stdout.readline())
            # WALL2 is under way: it finishes, SLOPE1 does not start.
            monitor.send_signal(signal.SIGINT)
            out, err = monitor.communicate(timeout=STEP_TIMEOUT)
        self.assertEqual(monitor.returncode, 0, err)
        self.assertIn("round 1 incomplete", out)
        rows = self.rows(self.path(self.job["store"]))
        self.assertIn(len(rows), (1, 2))
        self.assertLess(len(rows), len(self.job["targets"]))
        self.assertEqual({row["outcome"] for row in rows}, {"measured"})

    def test_two_monitors_on_one_store_lose_nothing(self):
        with Simulator(self.scene) as one, Simulator(self.scene) as two:
            jobs = []
            for name, simulator in (("one", one), ("two", two)):
                self.job["instrument"] = simulator.address
                self.job["name"] = name
                jobs.append(self.write_job(self.job, name + ".json"))
            monitors = [subprocess.Popen(
                [GEOCOM, "monitor", job, "--rounds", "2", "--every", "0"],
                cwd=self.folder, stdout=subprocess.PIPE,
                stderr=subprocess.PIPE, text=True) for job in jobs]
            for monitor in monitors:
                _, err = monitor.communicate(timeout=STEP_TIMEOUT)
                self.assertEqual(monitor.returncode, 0, err)
        store = self.path(self.job["store"])
        with sqlite3.connect(store) as db:
            rounds = db.execute(
                "SELECT job, status FROM rounds ORDER BY id").fetchall()
        self.assertEqual(sorted(rounds), [("one", "complete")] * 2 +
                         [("two", "complete")] * 2)
        self.assertEqual(len(self.rows(store)),
                         4 * len(self.job["targets"]))

    def test_an_instrument_gone_mid_round_is_retried_a_bounded_time(self):
        simulator, monitor = self.start_monitor(0.3)
        with simulator:
            self.assertIn("monitoring", monitor.stdout.readline())
            self.assertIn("WALL1 measured", monitor.stdout.readline())
        out, err = monitor.communicate(timeout=STEP_TIMEOUT)
        self.assertEqual(monitor.returncode, 4, err)
        self.assertIn("reconnecting (3 of 3)", err)
        self.assertNotIn("reconnecting (4", err)
        self.assertRegex(out, r"round 1 incomplete: 1 of 4 measured in "
                         r"[0-9.]+ s: .*closed the connection")
        outcomes = [row["outcome"] for row in
                    self.rows(self.path(self.job["store"]))]
        self.assertEqual(outcomes[0], "measured")
        self.assertEqual(outcomes[-1], "instrument-error")

    def test_a_silent_instrument_ends_the_round_saying_why(self):
        with socket.create_server(("127.0.0.1", 0)) as silent:
            self.job["instrument"] = "127.0.0.1:%d" % silent.getsockname()[1]
            result = geocom("monitor", self.write_job(self.job), "--rounds",
                            "1", cwd=self.folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout,
                         r"round 1 incomplete: 0 of 4 measured in [0-9.]+ s:"
                         r" no reply to set-atr-state .* within 1500 ms")

    def test_bad_job_files_are_refused_before_anything_is_measured(self):
        # Nothing listens at the instrument's address: a job that got as
        # far as connecting would end with status 7, not these.
        self.job["instrument"] = "127.0.0.1:1"
        duplicate = json.loads(json.dumps(self.job))
        duplicate["targets"][2]["id"] = "WALL1"
        unknown = json.loads(json.dumps(self.job))
        unknown["station"]["instrument_hieght"] = 1.5
        tolerance = json.loads(json.dumps(self.job))
        tolerance["targets"][1]["tolerances"] = {"face": 2.5}
        faces = json.loads(json.dumps(self.job))
        faces["faces"] = 3
        neither = json.loads(json.dumps(self.job))
        del neither["targets"][3]["hz"]
        del neither["targets"][3]["v"]
        unreachable = json.loads(json.dumps(self.job))
        unreachable["store"] = "/nonexistent/folder/results.sqlite"
        cases = [
            (duplicate, 2, ["targets[2].id", "WALL1", "job.json:"]),
            (unknown, 2, ["station.instrument_hieght", "job.json:10:"]),
            (tolerance, 2, ["targets[1].tolerances.face", "0.1"]),
            (faces, 2, ["faces must be 1 or 2"]),
            (neither, 2, ["targets[3]", "hz and v"]),
            (unreachable, 1, ["/nonexistent/folder/results.sqlite"]),
        ]
        for job, status, words in cases:
            with self.subTest(words=words):
                path = self.write_job(job)
                result = geocom("monitor", path, cwd=self.folder)
                self.assertEqual(result.returncode, status, result.stderr)
                for word in words:
                    self.assertIn(word, result.stderr)
        with open(self.path("broken.json"), "w") as f:
            f.write('{\n  "instrument": "127.0.0.1:1",\n  "store": \n}\n')
        result = geocom("monitor", self.path("broken.json"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("broken.json:4:", result.stderr)
        self.assertFalse(os.path.exists(self.path(self.job["store"])))


class Learn(Workspace):
    def test_finds_each_prism_in_the_window_once(self):
        with open(self.scene) as f:
            scene = json.load(f)
        del scene["instrument_errors"]
        del scene["noise"]
        with open(self.path("clear.json"), "w") as f:
            json.dump(scene, f)
        with Simulator(self.path("clear.json")) as simulator:
            # WALL1 and WALL2 lie in the window, the slope's prisms not.
            result = geocom("monitor", "learn", "--instrument",
                            simulator.address, "--station",
                            "2500,7300,412,0.25", "--center-hz", "0.9",
                            "--hz-range", "0.6", "--center-v", "1.48",
                            "--v-range", "0.1")
        self.assertEqual(result.returncode, 0, result.stderr)
        targets = json.loads(result.stdout)["targets"]
        self.assertEqual([t["id"] for t in targets], ["L1", "L2"])
        walls = {p["id"]: p for p in scene["prisms"]}
        for found, wall in zip(targets, ("WALL1", "WALL2")):
            for axis in ("easting", "northing", "height"):
                self.assertAlmostEqual(found[axis], walls[wall][axis],
                                       delta=0.001)
        # The list goes into a job as it is.
        self.job["targets"] = targets
        self.write_job(self.job)


class Export(Workspace):
    def test_files_that_are_no_store_are_refused(self):
        text = self.path("notes.txt")
        with open(text, "w") as f:
            f.write("not a store\n" * 100)
        cases = [
            (("export", text, "--csv"), 1, "not a results store"),
            (("export", self.path("missing.sqlite"), "--csv"), 1,
             "missing.sqlite"),
            (("export", text), 2, "--csv"),
            (("export", text, "--csv", "--geojson"), 2, "--csv"),
            (("export", text, "--csv", "--since", "yesterday"), 2,
             "--since"),
        ]
        for args, status, word in cases:
            with self.subTest(args=args):
                result = geocom(*args)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(word, result.stderr)


if __name__ == "__main__":
    unittest.main()
