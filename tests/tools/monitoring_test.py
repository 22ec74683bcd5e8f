#!/usr/bin/env python3
"""End-to-end tests of monitoring against the virtual instrument: a prism
drifting at a set rate, the displacement and velocity read back, the events
its limits raise, and a hook that hangs. GEOCOM names the tool.
Run one case as: monitoring_test.py Class.test_name."""

import csv
import io
import json
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

GEOCOM = os.environ.get("GEOCOM", "geocom")
STEP_TIMEOUT = 60  # seconds any single process may take

STATION = {"easting": 1000.0, "northing": 2000.0, "height": 100.0,
           "instrument_height": 0.0, "orientation": 0.0}
DRIFT_NORTH = 0.003    # metres per scene day
TIME_SCALE = 86400.0   # a scene day per second


class Simulator:
    """`geocom simulate` of a scene with one drifting prism and one still,
    steered through its live view's API."""

    def __init__(self, directory, options=()):
        scene = {
            "station": dict(STATION, id="PILLAR"),
            "prisms": [
                {"id": "MOVING", "easting": 1030.0, "northing": 2040.0,
                 "height": 104.0,
                 "drift": {"easting": 0.0, "northing": DRIFT_NORTH,
                           "height": 0.0}},
                {"id": "STILL", "easting": 970.0, "northing": 2045.0,
                 "height": 101.0},
            ],
            "noise": {"angle": 0.0, "distance": 0.0},
            "telescope": {"max_speed": 50.0},
            "edm": {"measure_time": 0.01},
            "time_scale": TIME_SCALE,
        }
        path = os.path.join(directory, "scene.json")
        with open(path, "w") as file:
            json.dump(scene, file)
        self.process = subprocess.Popen(
            [GEOCOM, "simulate", "--listen", "127.0.0.1:0", "--scene", path,
             "--seed", "1", "--http", "127.0.0.1:0", *options],
            stdout=subprocess.PIPE, text=True)
        words = self.process.stdout.readline().split()
        assert words[:2] == ["listening", "on"], words
        self.address = words[2]
        words = self.process.stdout.readline().split()
        assert words[:3] == ["live", "view", "on"], words
        self.page = words[3].rstrip("/")

    def move(self, prism, easting, northing, height):
        """Puts the prism there, standing still from now on."""
        body = json.dumps({"easting": easting, "northing": northing,
                           "height": height}).encode()
        request = urllib.request.Request(
            "%s/api/prisms/%s" % (self.page, prism), data=body, method="PUT",
            headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=STEP_TIMEOUT) as answer:
            assert answer.status == 200

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.communicate(timeout=STEP_TIMEOUT)


def geocom(*args):
    return subprocess.run([GEOCOM, *args], capture_output=True, text=True,
                          timeout=STEP_TIMEOUT)


def first_run(values, length, start=0):
    """The index ending the first run of `length` true values from start."""
    run = 0
    for i in range(start, len(values)):
        run = run + 1 if values[i] else 0
        if run == length:
            return i
    return None


def wait_for(condition, what):
    deadline = time.monotonic() + STEP_TIMEOUT
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


class Workspace(unittest.TestCase):
    """A simulator, a folder for the job and the store, and the tool."""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="monitoring-test-")
        self.simulator = Simulator(self.directory)
        self.store = os.path.join(self.directory, "store.sqlite")

    def tearDown(self):
        self.simulator.stop()
        shutil.rmtree(self.directory, ignore_errors=True)

    job_targets = [
        {"id": "MOVING", "easting": 1030.0, "northing": 2040.0,
         "height": 104.0},
        {"id": "STILL", "easting": 970.0, "northing": 2045.0, "height": 101.0},
    ]

    def job(self, file="job.json", **keys):
        """A job file of the two targets, measured by the simulator once it
        runs, into the store."""
        job = {"instrument": (self.simulator.address if self.simulator
                              else "127.0.0.1:1"),
               "station": STATION, "faces": 1, "targets": self.job_targets,
               "store": self.store}
        job.update(keys)
        path = os.path.join(self.directory, file)
        with open(path, "w") as file:
            json.dump(job, file)
        return path

    def monitor(self, job, rounds, *options):
        return geocom("monitor", job, "--rounds", str(rounds), *options)

    def rows(self):
        exported = geocom("export", self.store, "--csv")
        self.assertEqual(exported.returncode, 0, exported.stderr)
        return list(csv.DictReader(io.StringIO(exported.stdout)))

    def events(self):
        with sqlite3.connect(self.store) as db:
            return db.execute(
                "SELECT round, target, level, component, value, limit_value "
                "FROM events ORDER BY time, id").fetchall()

    def raised(self, level):
        """Whether the monitor under way has raised the level yet."""
        try:
            return any(event[2] == level for event in self.events())
        except sqlite3.OperationalError:  # the store is being made
            return False

    def start_monitor(self, job, *options):
        return subprocess.Popen([GEOCOM, "monitor", job, *options],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)

    def interrupt(self, monitor):
        monitor.send_signal(signal.SIGINT)
        out, err = monitor.communicate(timeout=STEP_TIMEOUT)
        self.assertEqual(monitor.returncode, 0, err)
        return out



class Monitoring(Workspace):
    def test_displacement_and_velocity_follow_the_drift(self):
        limits = [{"targets": ["MOVING"], "component": "north",
                   "warning": "1000 mm"}]
        ran = self.monitor(self.job(limits=limits), 6)
        self.assertEqual(ran.returncode, 0, ran.stderr)
        moving = [row for row in self.rows() if row["target"] == "MOVING"]
        self.assertEqual(len(moving), 6)
        first = moving[0]
        last = moving[-1]
        # Scene days between the two measurements, from the store's times.
        def seconds(row):
            return time.mktime(time.strptime(row["time"][:19],
                                             "%Y-%m-%dT%H:%M:%S")) + \
                float("0" + row["time"][19:-1])
        days = (seconds(last) - seconds(first)) * TIME_SCALE / 86400
        moved = float(last["northing"]) - float(first["northing"])
        self.assertGreater(days, 0)
        # Within a millimetre plus the drift over the time one
        # measurement takes.
        self.assertAlmostEqual(moved, DRIFT_NORTH * days,
                               delta=0.001 + DRIFT_NORTH * 0.2 * TIME_SCALE / 86400)
        self.assertAlmostEqual(float(last["easting"]) - float(first["easting"]),
                               0, delta=0.001)
        # The export counts from the first complete round.
        self.assertEqual(float(first["d_north"]), 0)
        self.assertAlmostEqual(float(last["d_north"]), moved, delta=1e-9)
        self.assertAlmostEqual(float(last["d_height"]),
                               float(last["height"]) - float(first["height"]),
                               delta=1e-9)
        still = [row for row in self.rows() if row["target"] == "STILL"]
        self.assertLess(abs(float(still[-1]["northing"]) -
                            float(still[0]["northing"])), 0.001)

    def test_an_alarm_fires_once_after_the_consecutive_rounds(self):
        # A warning at 3 mm north: the prism passes it within a few rounds.
        consecutive = 2
        limits = [{"targets": "*", "component": "north", "warning": "3 mm",
                   "alarm": "1 m", "consecutive": consecutive}]
        hooked = os.path.join(self.directory, "hooked.jsonl")
        # A round every 0.3 s: 0.9 mm of drift between rounds.
        ran = self.monitor(self.job(limits=limits, interval=0.3,
                                    hook="cat >> '%s'" % hooked), 10)
        self.assertEqual(ran.returncode, 0, ran.stderr)
        rows = [row for row in self.rows() if row["target"] == "MOVING"]
        reference = float(rows[0]["northing"])
        past = [abs(float(row["northing"]) - reference) >= 0.003 for row in rows]
        self.assertTrue(any(past), "the prism never passed the limit")
        # The first round after `consecutive` rounds in a row past the limit.
        expected = next(int(rows[i]["round"]) for i in range(len(rows))
                        if all(past[max(0, i - consecutive + 1):i + 1]) and
                        i >= consecutive - 1)
        events = self.events()
        self.assertEqual(events, [(expected, "MOVING", "warning", "north",
                                   events[0][4], 0.003)])
        self.assertGreaterEqual(events[0][4], 0.003)
        self.assertIn("event MOVING warning north", ran.stdout)
        with open(hooked) as file:
            received = [json.loads(line) for line in file]
        self.assertEqual([(r["target"], r["level"], r["component"], r["round"])
                          for r in received],
                         [("MOVING", "warning", "north", expected)])
        self.assertRegex(received[0]["time"], r"^\d{4}-\d\d-\d\dT")

        # A monitor started again does not raise the warning again.
        again = self.monitor(self.job(limits=limits,
                                      hook="cat >> '%s'" % hooked), 2)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(len(self.events()), 1)

    def test_a_prism_back_in_place_clears_its_alarm_once(self):
        consecutive = 2
        warning, alarm = 0.003, 0.006
        hysteresis = warning / 10
        limits = [{"targets": ["MOVING"], "component": "north",
                   "warning": "3 mm", "alarm": "6 mm",
                   "consecutive": consecutive}]
        hooked = os.path.join(self.directory, "hooked.jsonl")
        monitor = self.start_monitor(
            self.job(limits=limits, interval=0.3,
                     hook="cat >> '%s'" % hooked))
        try:
            wait_for(lambda: self.raised("alarm"), "the alarm")
            self.simulator.move("MOVING", 1030.0, 2040.0, 104.0)
            wait_for(lambda: self.raised("clear"), "the clear")
        finally:
            out = self.interrupt(monitor)

        rows = [row for row in self.rows()
                if row["target"] == "MOVING" and row["d_north"]]
        rounds = [int(row["round"]) for row in rows]
        north = [abs(float(row["d_north"])) for row in rows]
        warned = first_run([n >= warning for n in north], consecutive)
        alarmed = first_run([n >= alarm for n in north], consecutive)
        cleared = first_run([n < warning - hysteresis for n in north],
                            consecutive, alarmed + 1)
        self.assertLess(warned, alarmed)
        events = self.events()
        self.assertEqual([(e[0], e[1], e[2], e[3]) for e in events], [
            (rounds[warned], "MOVING", "warning", "north"),
            (rounds[alarmed], "MOVING", "alarm", "north"),
            (rounds[cleared], "MOVING", "clear", "north"),
        ])
        self.assertEqual([e[5] for e in events], [warning, alarm, alarm])
        self.assertLess(events[2][4], warning - hysteresis)
        for level in ("warning", "alarm", "clear"):
            self.assertEqual(out.count("event MOVING %s north" % level), 1)
        with open(hooked) as file:
            received = [json.loads(line) for line in file]
        self.assertEqual([(r["round"], r["level"]) for r in received],
                         [(e[0], e[2]) for e in events])

    def test_a_hook_that_hangs_is_killed_and_monitoring_goes_on(self):
        limits = [{"targets": ["STILL"], "component": "3d",
                   "warning": "0.001 mm"}]
        # Any reading departs from the first by more than a micrometre
        # sooner or later; the prism on the move certainly does.
        limits.append({"targets": ["MOVING"], "component": "3d",
                       "warning": "0.5 mm"})
        started = time.monotonic()
        ran = self.monitor(self.job(limits=limits,
                                    hook=["sh", "-c", "sleep 60"],
                                    hook_timeout=0.5), 4)
        took = time.monotonic() - started
        self.assertEqual(ran.returncode, 0, ran.stderr)
        self.assertLess(took, 20)
        self.assertIn("killed at its bound", ran.stderr)
        self.assertEqual(ran.stdout.count("round 4 complete"), 1)

    def test_a_bad_limit_or_hook_is_refused_before_measuring(self):
        cases = [
            ({"limits": [{"targets": "*", "component": "3d", "warning": "5"}]},
             "limits[0].warning"),
            ({"hook": "/nonexistent/notify"}, "hook"),
        ]
        for keys, key in cases:
            with self.subTest(key=key):
                ran = self.monitor(self.job(**keys), 1)
                self.assertEqual(ran.returncode, 2)
                self.assertIn(key, ran.stderr)
                self.assertFalse(os.path.exists(self.store))


def fetch(url, host=None, method="GET", headers=None):
    """The status and body of the answer, refusals included."""
    request = urllib.request.Request(url, method=method,
                                     headers=dict(headers or {}))
    if host:
        request.add_header("Host", host)
    try:
        with urllib.request.urlopen(request, timeout=STEP_TIMEOUT) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as refused:
        return refused.code, refused.read().decode()


class MonitorPage(Workspace):
    """`geocom monitor --http`: the page of a running job."""

    def start_page(self, job):
        monitor = self.start_monitor(job, "--http", "127.0.0.1:0")
        words = monitor.stdout.readline().split()
        self.assertEqual(words[:3], ["monitor", "page", "on"])
        return monitor, words[3].rstrip("/")

    def test_page_shows_each_target_with_its_limits(self):
        limits = [{"targets": ["MOVING"], "component": "north",
                   "warning": "3 mm", "alarm": "6 mm", "consecutive": 2},
                  {"targets": "*", "component": "horizontal",
                   "alarm": "1 m"}]
        # GHOST has no prism: never measured, it has no displacement, and
        # the first round is the reference though none is complete.
        ghost = {"id": "GHOST", "easting": 1000.0, "northing": 2050.0,
                 "height": 100.0}
        job = self.job(limits=limits, interval=0.3, reference_round=1,
                       targets=self.job_targets + [ghost])
        monitor, page = self.start_page(job)
        try:
            wait_for(lambda: self.raised("alarm"), "the alarm")
            status, body = fetch(page + "/api/monitor")
        finally:
            self.interrupt(monitor)
        self.assertEqual(status, 200, body)
        shown = json.loads(body)
        self.assertEqual([t["target"] for t in shown["targets"]],
                         ["MOVING", "STILL", "GHOST"])
        moving, still, ghost = shown["targets"]
        self.assertEqual(ghost, {"target": "GHOST", "level": "clear",
                                 "svg": ""})
        self.assertEqual(moving["level"], "alarm")
        self.assertEqual(still["level"], "clear")
        self.assertGreaterEqual(moving["north"], 0.006)
        self.assertAlmostEqual(moving["horizontal"], abs(moving["north"]),
                               delta=0.0002)
        self.assertEqual([(e["target"], e["level"]) for e in shown["events"]],
                         [("MOVING", "warning"), ("MOVING", "alarm")])
        # The series the report draws: dE, dN, dH and the horizontal a limit
        # is on, with the warning and alarm drawn above and below zero.
        for target, dashed in ((moving, 2 * 2 + 1), (still, 1)):
            svg = target["svg"]
            self.assertTrue(svg.startswith('<svg class="series"'), svg[:40])
            self.assertEqual(svg.count("<polyline"), 4)
            # A point per round measured, each once.
            line = re.search(r'<polyline points="([^"]*)"', svg).group(1)
            self.assertEqual(len(line.split()), target["round"])
            self.assertEqual(svg.count('stroke-dasharray="6 4"'), dashed)

        # The page shows what the store holds when a monitor starts again.
        monitor, page = self.start_page(job)
        try:
            status, body = fetch(page + "/api/monitor")
        finally:
            self.interrupt(monitor)
        again = json.loads(body)
        self.assertEqual(again["targets"][0]["round"], moving["round"])
        self.assertEqual(again["events"], shown["events"])

    def test_page_opens_with_the_latest_fifty_events(self):
        self.monitor(self.job(), 1)
        with sqlite3.connect(self.store) as db:
            for i in range(60):
                db.execute("INSERT INTO events (round, target, time, level, "
                           "component, value, limit_value) VALUES "
                           "(1, 'STILL', ?, ?, 'north', ?, 0.5)",
                           (1_000_000 * (i + 1),
                            "warning" if i % 2 == 0 else "clear", i / 100))
        monitor, page = self.start_page(self.job())
        try:
            status, body = fetch(page + "/api/monitor")
        finally:
            self.interrupt(monitor)
        self.assertEqual(status, 200, body)
        events = json.loads(body)["events"]
        self.assertEqual([e["value"] for e in events],
                         [i / 100 for i in range(10, 60)])

    def test_page_is_served_to_its_own_names_only(self):
        monitor, page = self.start_page(self.job(interval=0.3))
        port = page.rsplit(":", 1)[1]
        try:
            cases = [
                ("/", None, "GET", {}, 200, "monitor.js"),
                ("/page.css", "localhost:" + port, "GET", {}, 200, "svg"),
                ("/series.js", None, "GET", {}, 200, "showJobMessage"),
                ("/live-view.js", None, "GET", {}, 404, "no such page"),
                ("/api/state", None, "GET", {}, 404, "no such page"),
                ("/", "evil.example:" + port, "GET", {}, 403,
                 "not served as 'evil.example:%s'" % port),
                ("/api/monitor", None, "POST",
                 {"Content-Type": "application/json"}, 405, "use GET"),
                ("/api/monitor", None, "POST",
                 {"Content-Type": "application/json",
                  "Origin": "http://evil.example"}, 403,
                 "steered from its own page only"),
                ("/api/monitor", None, "POST", {"Content-Type": "text/plain"},
                 403, "must be sent as application/json"),
            ]
            for path, host, method, headers, status, text in cases:
                with self.subTest(path=path, host=host, method=method,
                                  headers=headers):
                    got, body = fetch(page + path, host, method, headers)
                    self.assertEqual(got, status, body)
                    self.assertIn(text, body)
        finally:
            self.interrupt(monitor)

    def test_a_page_beyond_loopback_needs_leave(self):
        ran = self.monitor(self.job(), 1, "--http", "0.0.0.0:0")
        self.assertEqual(ran.returncode, 2)
        self.assertIn("monitor page", ran.stderr)
        self.assertNotIn("round 1", ran.stdout)


class Report(Workspace):
    def test_report_of_a_monitored_store(self):
        job = self.job(targets=self.job_targets[:1], limits=[
            {"targets": "*", "component": "north", "warning": "2 mm"}])
        ran = self.monitor(job, 3)
        self.assertEqual(ran.returncode, 0, ran.stderr)
        html = os.path.join(self.directory, "report.html")
        made = geocom("monitor", "report", self.store, "--html", html, "--job",
                      job)
        self.assertEqual(made.returncode, 0, made.stderr)
        with open(html) as file:
            text = file.read()
        self.assertIn("<td>MOVING</td>", text)
        self.assertIn('class="series"', text)
        bad = geocom("monitor", "report", self.store, "--html", html,
                     "--since", "yesterday")
        self.assertEqual(bad.returncode, 2)
        self.assertIn("--since", bad.stderr)
        missing = geocom("monitor", "report",
                         os.path.join(self.directory, "none"), "--html", html)
        self.assertEqual(missing.returncode, 1)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], *sys.argv[1:]])
