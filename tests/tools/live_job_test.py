#!/usr/bin/env python3
"""End-to-end tests of `geocom simulate --http --job`: the live view of the
virtual instrument follows the job's store as `geocom monitor` measures
into it, and pushes each target's series over its feed. GEOCOM names the
tool. Run one case as: live_job_test.py Class.test_name."""

import base64
import json
import os
import re
import socket
import struct
import subprocess
import tempfile
import time
import unittest

from monitoring_test import (GEOCOM, STEP_TIMEOUT, Simulator, Workspace,
                             fetch)

GEOCOM = os.path.abspath(GEOCOM) if os.sep in GEOCOM else GEOCOM

LIMITS = [{"targets": ["MOVING"], "component": "north", "warning": "3 mm",
           "alarm": "6 mm", "consecutive": 2}]


class Feed:
    """The live view's WebSocket feed, read as a program reads it."""

    def __init__(self, page):
        host, port = page.split("//", 1)[1].rsplit(":", 1)
        self.socket = socket.create_connection((host, int(port)),
                                               timeout=STEP_TIMEOUT)
        key = base64.b64encode(os.urandom(16)).decode()
        self.socket.sendall((
            "GET /feed HTTP/1.1\r\nHost: %s:%s\r\nUpgrade: websocket\r\n"
            "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
            "Sec-WebSocket-Version: 13\r\n\r\n" % (host, port, key)).encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self.receive()
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        assert b" 101 " in head.split(b"\r\n")[0], head

    def receive(self):
        chunk = self.socket.recv(65536)
        if not chunk:
            raise ConnectionError("the live view closed the feed")
        return chunk

    def take(self, count):
        while len(self.buffer) < count:
            self.buffer += self.receive()
        taken, self.buffer = self.buffer[:count], self.buffer[count:]
        return taken

    def message(self):
        """The next text message, its fragments joined."""
        payload = b""
        while True:
            first, second = self.take(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self.take(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self.take(8))[0]
            data = self.take(length)
            opcode = first & 0x0F
            if opcode == 8:
                raise ConnectionError("the live view closed the feed")
            if opcode in (0, 1):
                payload += data
                if first & 0x80:
                    return json.loads(payload)

    def until(self, condition, what):
        """Messages up to the first the condition holds for."""
        deadline = time.monotonic() + STEP_TIMEOUT
        seen = []
        while time.monotonic() < deadline:
            seen.append(self.message())
            if condition(seen[-1]):
                return seen
        raise AssertionError("timed out waiting for " + what)

    def close(self):
        self.socket.close()


def points(svg):
    """The points of a series' first line: one per epoch drawn."""
    line = re.search(r'<polyline points="([^"]*)"', svg)
    return len(line.group(1).split()) if line else 0


class LiveViewOfAJob(Workspace):
    """A simulator following the job's store; the job the monitor runs names
    the simulator's own address, which is known only once it runs."""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="live-job-test-")
        self.store = os.path.join(self.directory, "store.sqlite")
        self.simulator = None
        shown = self.job("shown.json", limits=LIMITS, interval=0.3)
        self.simulator = Simulator(self.directory, ("--job", shown))

    def test_the_series_pushed_grows_as_targets_are_measured(self):
        feed = Feed(self.simulator.page)
        try:
            greeting = feed.until(
                lambda m: m["type"] == "store" and
                "store.sqlite" in m["message"], "the store's absence")
            kinds = [m["type"] for m in greeting if m["type"] != "state"]
            self.assertEqual(kinds[:5], ["job", "target", "target", "events",
                                         "store"])
            self.assertEqual(greeting[-1]["state"], "waiting")

            monitor = self.start_monitor(
                self.job("job.json", limits=LIMITS, interval=0.3))
            try:
                seen = feed.until(
                    lambda m: m["type"] == "target" and
                    m["target"] == "MOVING" and m.get("round", 0) >= 6,
                    "six rounds of MOVING")
                seen += feed.until(lambda m: m["type"] == "target" and
                                   m["target"] == "STILL" and
                                   m.get("round", 0) >= 6, "STILL")
                # An event follows the row whose level it raised.
                if not any(m["type"] == "event" for m in seen):
                    seen += feed.until(lambda m: m["type"] == "event",
                                       "MOVING's warning")
            finally:
                out = self.interrupt(monitor)
            _, api = fetch(self.simulator.page + "/api/monitor")
        finally:
            feed.close()

        # The monitor making the store is waited for, never a failure.
        states = [m["state"] for m in seen if m["type"] == "store"]
        self.assertEqual(states[-1], "following")
        self.assertNotIn("failing", states)
        for target in ("MOVING", "STILL"):
            shown = [m for m in seen if m["type"] == "target" and
                     m["target"] == target and "round" in m]
            # A point per round measured, each once, as the rounds go (a
            # reading of the store may bring several).
            rounds = [m["round"] for m in shown]
            self.assertEqual(rounds, sorted(set(rounds)), target)
            self.assertGreaterEqual(len(rounds), 3, target)
            for message in shown:
                self.assertEqual(points(message["svg"]), message["round"])
            # The north limits are drawn on MOVING's series only.
            self.assertEqual(shown[-1]["svg"].count('stroke-dasharray="6 4"'),
                             4 if target == "MOVING" else 0)
        # Each event the monitor raised, once, in order.
        raised = [(m["event"]["target"], m["event"]["level"])
                  for m in seen if m["type"] == "event"]
        printed = re.findall(r"event (\S+) (\S+) north", out)
        self.assertEqual(raised, printed[:len(raised)])
        self.assertIn(("MOVING", "warning"), raised)
        # A page showing an event already shows the level it raised: the
        # target's row comes first.
        for at, message in enumerate(seen):
            if message["type"] == "event":
                rows = [m for m in seen[:at] if m["type"] == "target" and
                        m["target"] == message["event"]["target"]]
                self.assertEqual(rows[-1]["level"], message["event"]["level"])
        # The API answers the same series, read on since.
        targets = json.loads(api)["targets"]
        self.assertEqual([t["target"] for t in targets], ["MOVING", "STILL"])
        self.assertGreaterEqual(targets[0]["round"], 6)
        self.assertEqual(points(targets[0]["svg"]), targets[0]["round"])

    def test_a_store_that_cannot_be_read_is_said_and_read_again(self):
        feed = Feed(self.simulator.page)
        try:
            feed.until(lambda m: m["type"] == "store", "the store")
            with open(self.store, "w") as file:
                file.write("not a store")
            failing = feed.until(lambda m: m["type"] == "store" and
                                 m["state"] == "failing", "a failure")
            self.assertIn("not a results store", failing[-1]["message"])
            os.remove(self.store)
            ran = subprocess.run(
                [GEOCOM, "monitor", self.job("job.json"), "--rounds",
                 "2"], capture_output=True, text=True, timeout=STEP_TIMEOUT)
            self.assertEqual(ran.returncode, 0, ran.stderr)
            seen = feed.until(lambda m: m["type"] == "target" and
                              m["target"] == "STILL" and
                              m.get("round") == 2, "round 2 of STILL")
            self.assertIn("following",
                          [m.get("state") for m in seen])
        finally:
            feed.close()

    def test_bad_input_is_refused_naming_it(self):
        missing_folder = self.job(
            "far.json", store=os.path.join(self.directory, "no", "s.sqlite"))
        not_a_store = os.path.join(self.directory, "text.sqlite")
        with open(not_a_store, "w") as file:
            file.write("some text")
        cases = [
            (["--job", "absent.json"], 2, "absent.json"),
            (["--job", self.job("bad.json", faces=7)], 2, "faces"),
            (["--job", missing_folder], 1, "cannot reach the store"),
            (["--job", self.job("text.json", store=not_a_store)], 1,
             "not a results store"),
            (["--job", self.job("pg.json",
                                     store="postgresql:///x?host=" +
                                     self.directory)], 1,
             "cannot connect to the PostgreSQL server"),
        ]
        for options, status, text in cases:
            with self.subTest(options=options):
                ran = subprocess.run(
                    [GEOCOM, "simulate", "--http", "127.0.0.1:0", *options],
                    capture_output=True, text=True, timeout=STEP_TIMEOUT,
                    cwd=self.directory)
                self.assertEqual(ran.returncode, status, ran.stderr)
                self.assertIn("--job", ran.stderr)
                self.assertIn(text, ran.stderr)
                self.assertEqual(ran.stdout, "")
        ran = subprocess.run([GEOCOM, "simulate", "--job", missing_folder],
                             capture_output=True, text=True,
                             timeout=STEP_TIMEOUT)
        self.assertEqual(ran.returncode, 2)
        self.assertIn("--job requires --http", ran.stderr)


if __name__ == "__main__":
    unittest.main()
