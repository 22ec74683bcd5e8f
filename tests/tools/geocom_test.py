#!/usr/bin/env python3
"""End-to-end tests of the geocom tool: they run the real executable (path in
the GEOCOM environment variable) on loopback addresses and pseudo-terminals.
Run one case as: geocom_test.py Class.test_name."""

import atexit
import json
import math
import os
import pty
import select
import shutil
import random
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

GEOCOM = os.environ.get("GEOCOM", "geocom")
STEP_TIMEOUT = 30  # seconds any single process may take
# Every file a test makes, in one folder removed at exit.
FOLDER = tempfile.mkdtemp(prefix="geocom-test-")
atexit.register(shutil.rmtree, FOLDER, True)


def temporary_path(name):
    return os.path.join(FOLDER, name)


def geocom(*args, stdin=None):
    """The tool run to its end; stdin is bytes or an open file."""
    given = {"stdin": stdin} if hasattr(stdin, "fileno") else {"input": stdin}
    return subprocess.run([GEOCOM, *args], capture_output=True,
                          timeout=STEP_TIMEOUT, **given)


class Background:
    """A geocom subcommand in the background, stopped with SIGTERM."""

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=STEP_TIMEOUT)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.kill()
        self.process.communicate(timeout=STEP_TIMEOUT)


class Simulator(Background):
    """`geocom simulate` in the background."""

    def __init__(self, *args):
        self.process = subprocess.Popen(
            [GEOCOM, "simulate", *args], stdout=subprocess.PIPE, text=True)
        self.address = self.pty = None
        for _ in range(2 if "--listen" in args and "--pty" in args else 1):
            line = self.process.stdout.readline().split()
            if line[:2] == ["listening", "on"]:
                self.address = line[2]
            elif line[:1] == ["pty"]:
                self.pty = line[1]

    def port(self):
        return int(self.address.rsplit(":", 1)[1])


class FakeInstrument:
    """A loopback listener that answers each connection with `behaviour`."""

    def __init__(self, behaviour):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(STEP_TIMEOUT)
        self.address = "127.0.0.1:%d" % self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, args=(behaviour,))
        self.thread.start()

    def _serve(self, behaviour):
        connection, _ = self.listener.accept()
        with connection:
            behaviour(connection)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.thread.join(STEP_TIMEOUT)
        self.listener.close()


def fields(stdout):
    return dict(line.split(" = ", 1) for line in stdout.decode().splitlines())


class Demo(unittest.TestCase):
    def test_demo_prints_every_exchange(self):
        result = geocom("demo")
        self.assertEqual(result.returncode, 0, result.stdout.decode())
        out = result.stdout.decode()
        exchanges = int(out.splitlines()[-1].split()[0])
        self.assertIn("%d exchanges, all as expected" % exchanges, out)
        self.assertGreaterEqual(exchanges, 15)
        self.assertEqual(out.count("  request  %R1Q,"), exchanges)
        self.assertEqual(out.count("  reply    %R1P,0,"), exchanges)
        self.assertEqual(out.count("round trip"), exchanges)
        self.assertNotIn("FAILED", out)


class Call(unittest.TestCase):
    def test_call_over_tcp(self):
        """Each call exits 0 and prints these values."""
        station = {"easting": "-12.5", "northing": "7", "height": "350.25",
                   "instrument_height": "1.55"}
        with Simulator("--listen", "127.0.0.1:0") as simulator:
            for command, shown in (
                    (("instrument-number",), {"serial_number": "412237"}),
                    (("set-station", *station.values()), {}),
                    (("station",), station),
                    # "--" before negative arguments, or before the command.
                    (("position", "--", "-0.5", "1.25"), {}),
                    (("--", "position", "-0.5", "1.25"), {}),
                    # The first of two defaulted arguments given, the other
                    # left out.
                    (("position", "0.5", "1.25", "1"), {}),
                    # --raw: a one-digit number; a catalogued one is decoded.
                    (("--raw", "0"), {}),
                    (("--raw", "5003"), {"serial_number": "412237"}),
                    (("angles",), {"hz": "0.5", "v": "1.25"})):
                with self.subTest(command=command):
                    result = geocom("call", "--connect", simulator.address,
                                    *command)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    printed = fields(result.stdout)
                    self.assertEqual({key: printed.get(key) for key in shown},
                                     shown)
            self.assertEqual(simulator.stop(), 0)

    def test_call_over_pseudo_terminal(self):
        with Simulator("--pty") as simulator:
            serial = ("call", "--serial", simulator.pty, "--baud", "9600")
            result = geocom(*serial, "software-version")
            self.assertEqual(result.returncode, 0)
            self.assertEqual(fields(result.stdout)["release"], "3")
            self.assertEqual(geocom(*serial, "set-date-time",
                                    "2031-12-31T23:59:58").returncode, 0)
            clock = fields(geocom(*serial, "date-time").stdout)
            self.assertIn(clock["date_time"][:10], ("2031-12-31", "2032-01-01"))
            self.assertEqual(simulator.stop(), 0)

    def test_each_outcome_has_its_exit_status(self):
        def answer(reply):
            def behaviour(connection):
                request = connection.recv(4096).decode()
                sequence = request.split(",")[2].split(":")[0]
                connection.sendall(reply.replace("SEQ", sequence).encode())
                connection.settimeout(STEP_TIMEOUT)
                connection.recv(4096)
            return behaviour

        def silent(connection):
            connection.settimeout(STEP_TIMEOUT)
            while connection.recv(4096):
                pass

        def call(behaviour, *flags):
            with FakeInstrument(behaviour) as instrument:
                return geocom("call", "--timeout", "500", "--connect",
                              instrument.address, *flags, "instrument-number")

        # The error's kind and message; the return code and its name when
        # the instrument answered one; the values when it succeeded.
        outcomes = [
            (answer("%R1P,0,9999:0,7\r\n%R1Q,5003,1:\r\n%R1P,0,SEQ:0,42\r\n"),
             0, None, b"", (0, "ok"), {"serial_number": 42}),
            (silent, 3, "timeout", b"within 500 ms", (None, None), None),
            (lambda connection: connection.recv(4096), 4, "closed",
             b"closed", (None, None), None),
            (answer("%R1P,2,SEQ:0\r\n"), 5, "invalid_reply", b"invalid reply",
             (None, None), None),
            (answer("%R1P,0,SEQ:3\r\n"), 6, "return_code",
             b"return code 3 invalid-result: the result is invalid",
             (3, "invalid-result"), None),
            (answer("%R1P,0,SEQ:8710\r\n"), 6, "return_code",
             b"return code 8710 no-target: no prism in the beam",
             (8710, "no-target"), None),
            (answer("%R1P,0,SEQ:1234\r\n"), 6, "return_code",
             b"return code 1234\n", (1234, None), None),
        ]
        for behaviour, status, kind, message, code, values in outcomes:
            with self.subTest(status=status, code=code):
                text, printed = call(behaviour), call(behaviour, "--json")
                # Whatever the outcome, one JSON object on stdout.
                outcome = json.loads(printed.stdout)
                self.assertEqual((text.returncode, printed.returncode,
                                  outcome.get("exit_status", 0)),
                                 (status,) * 3, text.stderr)
                self.assertIn(message, text.stderr)
                self.assertEqual(
                    (fields(text.stdout).get("return_code", "").split(":")[0],
                     outcome["command"], outcome.get("return_code"),
                     outcome.get("return_code_name"),
                     outcome.get("error", {}).get("kind")),
                    (" ".join(str(part) for part in code if part is not None),
                     "instrument-number", *code, kind))
                if values:
                    self.assertEqual(outcome["values"], values)
                    self.assertEqual(fields(text.stdout)["serial_number"],
                                     str(values["serial_number"]))
                else:
                    self.assertIn(message.decode().strip(),
                                  outcome["error"]["message"])

    def test_connection_failure_has_its_own_status(self):
        """Also: an hour, the longest time-out, is accepted."""
        # A listener whose backlog is full leaves the next connect hanging.
        listener = socket.create_server(("127.0.0.1", 0), backlog=0)
        address = "127.0.0.1:%d" % listener.getsockname()[1]
        held = [socket.create_connection(listener.getsockname(),
                                         timeout=STEP_TIMEOUT)]
        refused = socket.create_server(("127.0.0.1", 0))
        closed_port = "127.0.0.1:%d" % refused.getsockname()[1]
        refused.close()
        try:
            for args, message in (
                    (("--connect-timeout", "300", "--connect", address),
                     "within 300 ms"),
                    (("--connect", closed_port), "refused"),
                    (("--connect", closed_port, "--timeout", "3600000",
                      "--connect-timeout", "3600000"), "refused")):
                with self.subTest(args=args):
                    started = time.monotonic()
                    result = geocom("call", *args, "--json", "null")
                    self.assertLess(time.monotonic() - started, 5)
                    self.assertEqual(result.returncode, 7, result.stderr)
                    self.assertIn(message.encode(), result.stderr)
                    self.assertEqual(json.loads(result.stdout)["error"],
                                     {"kind": "connect",
                                      "message": result.stderr.decode()
                                      [len("geocom: "):].strip()})
        finally:
            for connection in held:
                connection.close()
            listener.close()


class Shell(unittest.TestCase):
    def test_script_of_calls_over_one_session(self):
        """Every line is a call on the one connection, numbered in one run;
        the status is that of the last command that failed."""
        sequences = []

        def answer_all(connection):
            connection.settimeout(STEP_TIMEOUT)
            pending = b""
            while True:
                piece = connection.recv(4096)
                if not piece:
                    return
                pending += piece
                while b"\r\n" in pending:
                    line, pending = pending.split(b"\r\n", 1)
                    procedure, rest = line.decode()[5:].split(",", 1)
                    sequence = int(rest.split(":")[0])
                    sequences.append(sequence)
                    code = 3 if procedure == "9013" else 0
                    connection.sendall(b"%%R1P,0,%d:%d,42\r\n"
                                       % (sequence, code))

        script = temporary_path("script")
        with open(script, "w") as out:
            out.write("instrument-number\n# a comment\n\n"
                      "lock-in\nno-such-command\n"
                      "set-atr-state maybe\ninstrument-number\r\n")
        with FakeInstrument(answer_all) as instrument:
            result = geocom("shell", "--connect", instrument.address,
                            "--json", script)
        outcomes = [json.loads(line) for line in result.stdout.splitlines()]
        self.assertEqual([o["command"] for o in outcomes],
                         ["instrument-number", "lock-in", "no-such-command",
                          "set-atr-state", "instrument-number"])
        self.assertEqual([o.get("exit_status", 0) for o in outcomes],
                         [0, 6, 2, 2, 0])
        self.assertEqual(len(sequences), 3)
        self.assertEqual(sequences, [sequences[0] + i for i in range(3)])
        self.assertEqual([o.get("sequence") for o in outcomes if
                          "sequence" in o], [sequences[0], sequences[2]])
        self.assertEqual(result.returncode, 2, result.stderr)

        # From a pipe, as text or JSON: the status of the last failure, the
        # failing line named.
        with open("/dev/zero", "rb") as zero, \
                Simulator("--listen", "127.0.0.1:0") as simulator:
            cases = [
                ((), b"position 0.5 1.25  # turn first\n"
                     b"lock-in#not a comment\n  # a line of comment\n"
                     b"angles # a comment\n",
                 2, b"unknown command 'lock-in#not'", None),
                # A quoted '#' is a text, not a comment.
                (("--json",), b'set-station 1 2 3 "#1" # comment\n', 2,
                 b"#1", "usage"),
                ((), b'angles\nset-search-area 0 0 1 1 "on\n', 2, b"quote",
                 None),
                # Hostile input: no line end ever, an empty word, no file.
                ((), zero, 2, b"line 1 is longer than 4096 bytes", None),
                ((), b'""\n', 2, b"a command is required", None),
                # Nothing after 'exit' runs.
                ((), b"angles\nexit\nno-such-command\n", 0, b"", None),
                (("--json", "/nonexistent/script"), b"", 1,
                 b"/nonexistent/script", "failure"),
            ]
            for args, given, status, message, kind in cases:
                with self.subTest(args=args, stdin=given):
                    result = geocom("shell", "--connect", simulator.address,
                                    *args, stdin=given)
                    self.assertEqual(result.returncode, status, result.stderr)
                    self.assertIn(message, result.stderr)
                    if kind:
                        outcome = json.loads(result.stdout.splitlines()[-1])
                        self.assertEqual((outcome["exit_status"],
                                          outcome["error"]["kind"]),
                                         (status, kind))
            result = geocom("shell", "--connect", simulator.address,
                            stdin=b"lock-in\nangles #\n")
            self.assertEqual(result.returncode, 6, result.stderr)
            self.assertEqual(result.stdout.decode().splitlines(), [
                "return_code = 3 invalid-result: the result is invalid "
                "(e.g. the instrument is in the wrong state)",
                "return_code = 0 ok: the procedure succeeded",
                "hz = 0.5", "v = 1.25"])
            self.assertEqual(simulator.stop(), 0)


class Terminal:
    """A geocom subcommand on a pseudo-terminal of its own."""

    def __init__(self, *args):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execv(GEOCOM, [GEOCOM, *args])

    def type(self, keys, until):
        """Types the keys; returns the output up to and with `until`."""
        os.write(self.fd, keys)
        out, deadline = b"", time.monotonic() + STEP_TIMEOUT
        while not out.endswith(until) and time.monotonic() < deadline:
            if select.select([self.fd], [], [], 0.1)[0]:
                out += os.read(self.fd, 4096)
        return out

    def wait(self):
        return os.waitstatus_to_exitcode(os.waitpid(self.pid, 0)[1])


class ShellOnTerminal(unittest.TestCase):
    def test_completion_and_history(self):
        state = temporary_path("state")
        os.environ["XDG_STATE_HOME"] = state
        prompt = b"geocom> "
        try:
            with Simulator("--listen", "127.0.0.1:0") as simulator:
                terminal = Terminal("shell", "--connect", simulator.address)
                terminal.type(b"", prompt)
                # Tab completes the command name.
                out = terminal.type(b"instrument-num\t\r", prompt)
                self.assertIn(b"serial_number = 412237", out)
                # A failed command does not end the session; nor its status.
                out = terminal.type(b"lock-in\r", prompt)
                self.assertIn(b"return code 3 invalid-result", out)
                # Up twice recalls the first command.
                out = terminal.type(b"\x1b[A\x1b[A\r", prompt)
                self.assertIn(b"serial_number = 412237", out)
                # Several names complete only as far as a real command; a
                # procedure the shell cannot call is no candidate.
                out = terminal.type(b"ang\t\r", prompt)
                self.assertIn(b"unknown command 'ang'", out)
                out = terminal.type(b"sea\t\r", prompt)
                self.assertIn(b"center_hz = ", out)
                # Arguments: truth values complete, others show their name.
                out = terminal.type(b"set-atr-state of\t\r", prompt)
                self.assertIn(b"return_code = 0", out)
                out = terminal.type(b"position \t\t", b"> position ")
                self.assertIn(b"<HZ:angle>", out)
                terminal.type(b"0.5 1.25\r", prompt)
                os.write(terminal.fd, b"quit\r")
                self.assertEqual(terminal.wait(), 0)
                # The history is kept for the next run.
                with open(os.path.join(state, "geocom", "history"),
                          "rb") as kept:
                    self.assertIn(b"instrument-number", kept.read())
                terminal = Terminal("shell", "--connect", simulator.address)
                terminal.type(b"", prompt)
                # quit, position, set-atr-state, search-area, ang,
                # instrument-number, lock-in
                out = terminal.type(b"\x1b[A" * 7 + b"\r", prompt)
                self.assertIn(b"return code 3 invalid-result", out)
                os.write(terminal.fd, b"quit\r")
                self.assertEqual(terminal.wait(), 0)
                self.assertEqual(simulator.stop(), 0)
        finally:
            del os.environ["XDG_STATE_HOME"]


class Units(unittest.TestCase):
    def test_angles_round_trip_in_every_unit(self):
        """Angles typed in one unit come back in another as the same
        direction, to the 1e-6 rad the request carries; non-angles stay."""
        half_turn = {"rad": math.pi, "deg": 180.0, "gon": 200.0}
        with Simulator("--listen", "127.0.0.1:0") as simulator:
            connect = ("call", "--connect", simulator.address)
            for typed, read in (("rad", "rad"), ("deg", "gon"),
                                ("gon", "deg"), ("gon", "rad")):
                with self.subTest(typed=typed, read=read):
                    hz, v = 0.3, 0.45  # of a half turn
                    self.assertEqual(geocom(*connect, "--units", typed,
                                            "position",
                                            str(hz * half_turn[typed]),
                                            str(v * half_turn[typed]))
                                     .returncode, 0)
                    result = geocom(*connect, "--units", read, "--json",
                                    "angles")
                    values = json.loads(result.stdout)["values"]
                    tolerance = 2e-6 * half_turn[read] / math.pi
                    self.assertAlmostEqual(values["hz"], hz * half_turn[read],
                                           delta=tolerance)
                    self.assertAlmostEqual(values["v"], v * half_turn[read],
                                           delta=tolerance)
            # Degrees and gon to the instrument's resolution, not float
            # noise: the same in text, JSON and the shell.
            self.assertEqual(geocom(*connect, "position", "0.6435", "1.4706")
                             .returncode, 0)
            shown = [fields(geocom(*connect, "--units", "deg", "angles")
                            .stdout)["hz"],
                     json.loads(geocom(*connect, "--units", "deg", "--json",
                                       "angles").stdout)["values"]["hz"],
                     fields(geocom("shell", "--connect", simulator.address,
                                   "--units", "deg", stdin=b"angles\n")
                            .stdout)["hz"]]
            self.assertEqual([str(hz) for hz in shown], ["36.869834"] * 3)
            gon = fields(geocom(*connect, "--units", "gon", "angles").stdout)
            self.assertEqual(gon["v"], "93.621304")
            area = json.loads(geocom(*connect, "--units", "gon", "--json",
                                     "search-area").stdout)["values"]
            self.assertAlmostEqual(area["center_v"], 100, delta=1e-9)
            station = fields(geocom(*connect, "--units", "deg",
                                    "station").stdout)
            self.assertEqual(station["instrument_height"], "1.6")
            self.assertEqual(simulator.stop(), 0)


class Usage(unittest.TestCase):
    def test_usage_errors_name_the_bad_word(self):
        """Exit status 2 and one line naming what is wrong; nothing sent."""
        connect = ("call", "--connect", "127.0.0.1:1")
        relay = ("record", "--listen", "127.0.0.1:0")
        cases = [
            (("--bogus",), "unknown option '--bogus' for 'geocom'"),
            (("frobnicate",), "unknown subcommand 'frobnicate'"),
            ((), "a subcommand is required"),
            (("demo", "--bogus"),
             "unknown option '--bogus' for 'geocom demo'"),
            (("call", "--bogus", "null"),
             "unknown option '--bogus' for 'geocom call'"),
            (connect + ("--bogus=3", "null"), "unknown option '--bogus'"),
            (("decode", "--bogus"), "unknown option '--bogus' for 'geocom "
             "decode'"),
            (("decode", "one", "two"), "not expected: two"),
            (("call", "null"), "Exactly 1 option from [--connect,--serial]"),
            (connect + ("--serial", "/dev/null", "null"), "2 were given"),
            (connect + ("--timeout", "abc", "null"),
             "--timeout: 'abc' is not a number"),
            (connect + ("--timeout", "0", "null"), "--timeout: '0' is not"),
            (connect + ("--timeout", "3600001", "null"),
             "--timeout: '3600001' is not"),
            (connect + ("--connect-timeout", "3600001", "null"),
             "--connect-timeout: '3600001' is not"),
            (connect + ("--timeout", "99999999999999999999", "null"),
             "--timeout: '99999999999999999999' is not between"),
            (connect + ("--timeout", "-5", "null"), "--timeout: '-5' is not"),
            (connect + ("--connect-timeout", "1.5", "null"),
             "--connect-timeout: '1.5' is not a number"),
            (("call", "--serial", "/dev/null", "--connect-timeout", "9",
              "null"), "--connect-timeout requires --connect"),
            (("call", "--serial", "/dev/null", "--baud", "0", "null"),
             "--baud: '0' is not a positive whole number"),
            (("call", "--connect", "127.0.0.1:99999", "null"),
             "'127.0.0.1:99999': the port must be a number from 1 to 65535"),
            (connect + ("no-such-command",),
             "unknown command 'no-such-command'"),
            # A procedure whose arguments are not known is called with --raw.
            (connect + ("change-face",), "unknown command 'change-face'"),
            (connect + ("position", "1"), "missing argument <V>"),
            (connect + ("position", "x", "1"),
             "<HZ> must be a finite number, not 'x'"),
            (connect + ("position", "nan", "1"),
             "<HZ> must be a finite number, not 'nan'"),
            (connect + ("set-atr-state", "maybe"),
             "<ON> must be 1/0, on/off or true/false, not 'maybe'"),
            (connect + ("null", "extra"), "unexpected argument 'extra'"),
            (connect + ("set-date-time", "tomorrow"),
             "must look like 2024-03-15T10:30:00"),
            (connect + ("set-date-time", "2024-13-45T99:99:99"),
             "the date 2024-13-45 does not exist"),
            (connect + ("file-delete", "0", "0", "24.5.12", 'a"b'),
             "must not hold a double quote"),
            (connect, "a command is required"),
            # An empty word is no command, and its arguments are not one.
            (connect + ("", "1"), "a command is required"),
            (connect + ("--raw", ""), "a command is required"),
            (connect + ("--raw", "0", "a", "b"),
             "--raw takes one parameter text, not 2"),
            (("shell", "--connect", "127.0.0.1:1", "--timeout", "x"),
             "--timeout: 'x' is not a number"),
            (connect + ("--units", "grad", "angles"),
             "--units: 'grad' is not rad, deg or gon"),
            # Angles in another unit are converted only where given.
            (connect + ("--units", "deg", "position", "10"),
             "missing argument <V>"),
            (connect + ("--units", "gon", "position", "10", "20", "0", "0",
                        "30"), "unexpected argument '30'"),
            (("simulate", "--listen", "no-port"),
             "invalid address 'no-port': expected HOST:PORT"),
            (("simulate", "--listen", "0.0.0.0:0"),
             "0.0.0.0 is not a loopback address"),
            (("simulate", "--http", "0.0.0.0:0"),
             "0.0.0.0 is not a loopback address"),
            (("simulate", "--http-name", "survey.local", "--http",
              "127.0.0.1:0"), "--http-name requires --http-remote"),
            (relay + ("--out", "capture"),
             "Exactly 1 option from [--connect,--serial]"),
            (("record", "--connect", "127.0.0.1:1", "--out", "capture"),
             "--listen is required"),
            (relay + ("--connect", "127.0.0.1:1"), "--out is required"),
            (relay + ("--connect", "127.0.0.1:0", "--out", "capture"),
             "--connect: invalid address '127.0.0.1:0'"),
            (("record", "--listen", "127.0.0.1:65536", "--connect",
              "127.0.0.1:1", "--out", "capture"),
             "--listen: invalid address '127.0.0.1:65536'"),
            (relay + ("--connect", "127.0.0.1:1", "--baud", "9600", "--out",
                      "capture"), "--baud requires --serial"),
            (relay + ("--serial", "/dev/null", "--baud", "0", "--out",
                      "capture"),
             "--baud: '0' is not a positive whole number"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = geocom(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(message.encode(), result.stderr)
                self.assertEqual(result.stderr.count(b"\n"), 1)
                result = geocom(*args, "--json")
                if args[:1] in (("call",), ("shell",)):
                    self.assertEqual(json.loads(result.stdout)["error"]
                                     ["kind"], "usage")

    def test_help_everywhere(self):
        for subcommand in ((), ("demo",), ("simulate",), ("call",),
                           ("shell",), ("decode",), ("record",)):
            with self.subTest(subcommand=subcommand):
                result = geocom(*subcommand, "--help")
                self.assertEqual(result.returncode, 0)
                self.assertIn(b"Usage:", result.stdout)
        self.assertIn(b"Exit statuses", geocom("--help").stdout)
        # Every command, its arguments and units, the values of settings
        # and modes; --raw only where it exists.
        listing = geocom("call", "--help").stdout
        for shown in (b"instrument-number", b"set-search-area",
                      b"file-delete", b"<HZ:angle>", b"--units rad|deg|gon",
                      b"<DATE-TIME>", b"on/off",
                      b"with --raw, PROCEDURE [TEXT] instead",
                      b"POS-MODE: 0 normal, 1 precise",
                      b"SETTING: 0 normal, 1 low visibility on"):
            self.assertIn(shown, listing)
        # Descriptions in one column, after the longest usual usage.
        self.assertIn(b"\n  null" + b" " * 41 + b"checks that the instrument "
                      b"answers (0)\n", listing)
        self.assertNotIn(b"--raw", geocom("shell", "--help").stdout)


class Relay(Background):
    """`geocom record` in the background."""

    def __init__(self, instrument, out, **options):
        self.process = subprocess.Popen(
            [GEOCOM, "record", "--listen", "127.0.0.1:0", "--connect",
             instrument, "--out", out], stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, **options)
        line = self.process.stdout.readline().split()
        self.address = line[2].decode() if line[:2] == [b"listening",
                                                        b"on"] else None

    def connect(self):
        """A host's connection to the relay."""
        return socket.create_connection(
            ("127.0.0.1", int(self.address.rsplit(":", 1)[1])),
            timeout=STEP_TIMEOUT)



def unescape(text):
    """The bytes that the capture's escaping turned into text."""
    out, position = bytearray(), 0
    simple = {"r": 13, "n": 10, "t": 9, "\\": 92}
    while position < len(text):
        if text[position] != "\\":
            out.append(ord(text[position]))
            position += 1
        elif text[position + 1] == "x":
            out.append(int(text[position + 2:position + 4], 16))
            position += 4
        else:
            out.append(simple[text[position + 1]])
            position += 2
    return bytes(out)


def captured(path):
    """The bytes a capture holds, by direction."""
    by_direction = {}
    with open(path) as capture:
        header = json.loads(capture.readline())
        assert header == {"format": "geocom-capture", "version": 2}, header
        for line in capture:
            record = json.loads(line)
            if "event" in record:
                continue
            by_direction.setdefault(record["direction"], bytearray()).extend(
                unescape(record["bytes"]))
    return by_direction


def record_session(capture):
    """Calls through the relay to the virtual instrument; returns what each
    call printed with --json, by command, and the exit status of each."""
    printed = {}
    with Simulator("--listen", "127.0.0.1:0") as simulator, \
            Relay(simulator.address, capture) as relay:
        for command in (("instrument-number",),
                        ("set-station", "-12.5", "7", "350.25", "1.55"),
                        ("station",), ("position", "0.5", "1.25"),
                        ("angles",), ("lock-in",)):
            result = geocom("call", "--connect", relay.address, "--json",
                            *command)
            printed[command[0]] = (result.returncode,
                                   json.loads(result.stdout or b"null"))
        assert relay.stop() == 0
    return printed


def decode_json(*args):
    result = geocom("decode", "--json", *args)
    assert result.returncode == 0, result.stderr
    return [json.loads(line) for line in result.stdout.splitlines()]


class Record(unittest.TestCase):
    def setUp(self):
        self.capture = temporary_path("capture")

    def test_session_decodes_to_the_values_call_printed(self):
        printed = record_session(self.capture)
        self.assertEqual(printed["lock-in"][0], 6)
        records = decode_json(self.capture)
        self.assertEqual({record["kind"] for record in records},
                         {"request", "reply"})
        replies = {record["name"]: record for record in records
                   if record["kind"] == "reply"}
        for command, (status, call) in printed.items():
            if status != 0:
                continue
            reply = replies[command]
            self.assertEqual(
                (reply["direction"], reply["sequence"], reply["values"]),
                ("to-host", call["sequence"], call["values"]), command)
            self.assertGreaterEqual(reply["round_trip_ms"], 0)
        self.assertEqual(replies["lock-in"]["return_code"], 3)
        station = [record for record in records
                   if record["name"] == "set-station"][0]
        self.assertEqual((station["direction"], station["arguments"]),
                         ("to-instrument",
                          {"easting": -12.5, "northing": 7, "height": 350.25,
                           "instrument_height": 1.55}))
        summary = decode_json("--summary", self.capture)
        self.assertEqual(sorted(row["name"] for row in summary[:-1]),
                         sorted(printed))
        self.assertTrue(all(row["calls"] == 1 and row["timeouts"] == 0
                            for row in summary[:-1]))
        self.assertEqual(summary[-1]["kind"], "totals")

    def test_relay_is_transparent_and_bounded(self):
        rng = random.Random(3)
        up, down = rng.randbytes(1 << 20), rng.randbytes(1 << 20)
        received, flooded = bytearray(), [0]

        def exchange(connection):
            connection.settimeout(STEP_TIMEOUT)
            while len(received) < len(up):
                piece = connection.recv(65536)
                if not piece:
                    break
                received.extend(piece)
            connection.sendall(down)

        def flood(connection):
            connection.settimeout(STEP_TIMEOUT)
            chunk = b"A" * 65536
            try:
                while flooded[0] < 1 << 28:
                    connection.sendall(chunk)
                    flooded[0] += len(chunk)
            except OSError:
                pass  # the host went away

        with FakeInstrument(exchange) as instrument, \
                Relay(instrument.address, self.capture) as relay:
            host = relay.connect()
            host.sendall(up)
            got = bytearray()
            while len(got) < len(down):
                got.extend(host.recv(65536))
            instrument.thread.join(STEP_TIMEOUT)
            host.close()
            self.assertEqual(relay.stop(), 0)
        self.assertEqual((bytes(received), bytes(got)), (up, down))

        # A host that stops reading holds the instrument up: the relay
        # keeps one buffer per direction, not the flood.
        with FakeInstrument(flood) as instrument, \
                Relay(instrument.address, temporary_path("flood")) as relay:
            host = relay.connect()
            last, deadline = -1, time.monotonic() + STEP_TIMEOUT
            while flooded[0] != last and time.monotonic() < deadline:
                last = flooded[0]
                time.sleep(1)
            host.close()
            self.assertEqual(relay.stop(), 0)
        self.assertLess(last, 1 << 26)

        by_direction = captured(self.capture)
        self.assertEqual((by_direction["to-instrument"],
                          by_direction["to-host"]), (up, down))

    def test_full_disk_leaves_a_readable_capture(self):
        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 16, 1 << 16))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

        def swallow(connection):
            connection.settimeout(STEP_TIMEOUT)
            while connection.recv(65536):
                pass

        with FakeInstrument(swallow) as instrument, \
                Relay(instrument.address, self.capture,
                      preexec_fn=limit_file_size) as relay:
            host = relay.connect()
            try:
                for _ in range(64):
                    host.sendall(b"%R1Q,x\r\n" * 512)
                    time.sleep(0.01)
            except OSError:
                pass  # the relay stopped, as it should
            host.close()
            status = relay.process.wait(timeout=STEP_TIMEOUT)
            stderr = relay.process.stderr.read()
        self.assertEqual(status, 1)
        self.assertIn(b"cannot write the capture to " +
                      self.capture.encode(), stderr)
        self.assertLessEqual(os.path.getsize(self.capture), 1 << 16)
        self.assertTrue(decode_json(self.capture))


class Decode(unittest.TestCase):
    def write(self, name, data):
        path = temporary_path(name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def test_loads_no_database_client(self):
        # Decoding is what a shell loop runs on many captures: the
        # PostgreSQL client and the twenty libraries it needs cost more to
        # map than a small capture costs to decode.
        capture = self.write("empty", b"")
        result = subprocess.run(
            [GEOCOM, "decode", "--json", capture], capture_output=True,
            timeout=STEP_TIMEOUT, env={**os.environ, "LD_DEBUG": "libs"})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"libsqlite3", result.stderr)
        self.assertNotIn(b"libpq", result.stderr)

    def test_a_client_library_that_does_not_load_is_named(self):
        # The PostgreSQL client is looked for only when a store needs it: a
        # library that is not one, or one too old, is a store error.
        folder = tempfile.mkdtemp(dir=FOLDER)
        with open("/proc/self/maps") as maps:
            maths = next(line.split()[-1] for line in maps
                         if line.rstrip().endswith("/libm.so.6"))
        libraries = [
            (b"", b"cannot be loaded (is libpq installed?): " +
             os.path.join(folder, "libpq.so.5").encode() + b": file too short"),
            (open(maths, "rb").read(),
             b"has no PQclear (PostgreSQL 14 or later is needed)"),
        ]
        uri = "postgresql:///results?host=/nowhere"
        report = os.path.join(folder, "report.html")
        for library, message in libraries:
            with self.subTest(message=message):
                with open(os.path.join(folder, "libpq.so.5"), "wb") as out:
                    out.write(library)
                result = subprocess.run(
                    [GEOCOM, "monitor", "report", uri, "--html", report],
                    capture_output=True, timeout=STEP_TIMEOUT,
                    env={**os.environ, "LD_LIBRARY_PATH": ":".join(
                        [folder, os.environ.get("LD_LIBRARY_PATH", "")])})
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(b"store " + uri.encode() +
                              b": the PostgreSQL client library libpq.so.5 " +
                              message, result.stderr)
                self.assertFalse(os.path.exists(report))

    def test_failures_exit_1(self):
        many_lines = self.write("noise", b"noise\r\n" * 200000)
        cases = [
            (("decode", "/nonexistent/capture"), b"/nonexistent/capture"),
            (("decode", os.path.dirname(many_lines)), b"directory"),
            (("decode", self.write("bad", b'{"format":"geocom-capture",'
                                          b'"version":1}\nnot json\n')),
             b"line 2"),
            (("record", "--listen", "127.0.0.1:0", "--connect",
              "127.0.0.1:1", "--out", "/dev/full"), b"/dev/full"),
            (("record", "--listen", "127.0.0.1:0", "--connect",
              "127.0.0.1:1", "--out", "/nonexistent/capture"),
             b"/nonexistent/capture"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = geocom(*args)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(message, result.stderr)
        with open("/dev/full", "wb") as full:
            status = subprocess.run([GEOCOM, "decode", many_lines],
                                    stdout=full, stderr=subprocess.DEVNULL,
                                    timeout=STEP_TIMEOUT).returncode
        self.assertEqual(status, 1)

    def test_long_line_is_a_record_and_decoding_goes_on(self):
        """A 2 MiB line in the middle of a capture: every exchange before and
        after it decodes, paired, and no false time-out is reported."""
        def exchange(sequence, time):
            return ('{"time":%.3f,"direction":"to-instrument","bytes":'
                    '"%%R1Q,5003,%d:\\r\\n"}\n'
                    '{"time":%.3f,"direction":"to-host","bytes":'
                    '"%%R1P,0,%d:0,412237\\r\\n"}\n'
                    % (time, sequence, time + 0.01, sequence)).encode()
        long_line = b'{"time":2,"bytes":"' + b"a" * (2 << 20) + b'"}\n'
        path = self.write("long", b'{"format":"geocom-capture",'
                                  b'"version":2}\n' + exchange(1, 1.0) +
                          long_line + exchange(2, 3.0))
        records = decode_json(path)
        self.assertEqual([(r["kind"], r.get("sequence")) for r in records],
                         [("request", 1), ("reply", 1), ("long-line", None),
                          ("request", 2), ("reply", 2)])
        self.assertEqual((records[2]["line"], records[2]["size"],
                          records[2]["bytes"]),
                         (4, len(long_line) - 1, '{"time":2,"bytes":"' +
                          "a" * 45))
        self.assertEqual(records[4]["values"], {"serial_number": 412237})
        result = geocom("decode", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.decode().splitlines()
        self.assertEqual([line.split()[2] for line in lines[:2] + lines[3:]],
                         ["request", "reply", "request", "reply"])
        self.assertEqual(lines[2].split()[:3],
                         ["long-line", "line=4", "size=%d" % (2 << 20 | 21)])

    @unittest.skipIf("ASAN_OPTIONS" in os.environ or
                     "TSAN_OPTIONS" in os.environ,
                     "a sanitizer's shadow memory swells the peak")
    def test_memory_stays_bounded_on_huge_lines(self):
        """A 64 MiB line is passed over in pieces, not held."""
        path = self.write("huge", b'{"format":"geocom-capture",'
                                  b'"version":2}\n{"bytes":"' +
                          b"x" * (64 << 20) + b'"}\n')
        # A process of its own, so that no other child's peak counts.
        peak = subprocess.run(
            [sys.executable, "-c",
             "import resource, subprocess, sys\n"
             "subprocess.run([sys.argv[1], 'decode', '--json', sys.argv[2]],"
             " stdout=subprocess.DEVNULL, check=True)\n"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)",
             GEOCOM, path], capture_output=True, check=True,
            timeout=STEP_TIMEOUT)
        self.assertLess(int(peak.stdout), 32 << 10)  # KiB

    def test_closed_pipe_ends_quietly(self):
        """`geocom decode FILE | head -1`: no message, ended by SIGPIPE as
        the shell's own tools are."""
        many_lines = self.write("noise", b"noise\r\n" * 200000)
        for args in (("decode", many_lines), ("decode", "--json", many_lines),
                     ("demo",)):
            with self.subTest(args=args):
                process = subprocess.Popen([GEOCOM, *args],
                                           stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE)
                process.stdout.readline()
                process.stdout.close()
                self.assertEqual(process.wait(timeout=STEP_TIMEOUT),
                                 -signal.SIGPIPE)
                self.assertEqual(process.stderr.read(), b"")
                process.stderr.close()


class Simulate(unittest.TestCase):
    def test_idle_timeout_is_in_milliseconds(self):
        with Simulator("--listen", "127.0.0.1:0",
                       "--idle-timeout", "200") as simulator:
            silent = socket.create_connection(("127.0.0.1", simulator.port()))
            silent.settimeout(STEP_TIMEOUT)
            start = time.monotonic()
            self.assertEqual(silent.recv(16), b"")  # closed by the simulator
            self.assertLess(time.monotonic() - start, 10)
            silent.close()
            self.assertEqual(simulator.stop(), 0)
        for bad in ("1.5", "-1", "1000000001"):
            result = geocom("simulate", "--idle-timeout", bad)
            self.assertEqual(result.returncode, 2, bad)
            self.assertIn(b"milliseconds", result.stderr)

    def test_survives_noise_and_broken_clients(self):
        request = b"%R1Q,5003,42:\r\n"
        with Simulator() as simulator:
            idle = socket.create_connection(("127.0.0.1", simulator.port()),
                                            timeout=STEP_TIMEOUT)
            noisy = socket.create_connection(("127.0.0.1", simulator.port()),
                                             timeout=STEP_TIMEOUT)
            noisy.sendall(random.Random(1).randbytes(1 << 20))
            noisy.sendall(b"%R1Q,5003,1:abc")  # cut off mid-sentence
            noisy.close()
            idle.sendall(b"\x00garbage\r\n" + request[:7])
            time.sleep(0.2)
            idle.sendall(request[7:])
            reply = b""
            while not reply.endswith(b"\r\n"):
                reply += idle.recv(4096)
            self.assertEqual(reply, b"%R1P,0,42:0,412237\r\n")
            idle.close()
            result = geocom("call", "--connect", simulator.address, "power")
            self.assertEqual(result.returncode, 0)
            self.assertEqual(simulator.stop(), 0)


if __name__ == "__main__":
    unittest.main()
