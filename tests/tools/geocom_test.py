#!/usr/bin/env python3
"""End-to-end tests of the geocom tool: they run the real executable (path in
the GEOCOM environment variable) on loopback addresses and pseudo-terminals.
Run one case as: geocom_test.py Class.test_name."""

import json
import os
import random
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest

GEOCOM = os.environ.get("GEOCOM", "geocom")
STEP_TIMEOUT = 30  # seconds any single process may take


def geocom(*args, stdin=None):
    return subprocess.run([GEOCOM, *args], input=stdin, capture_output=True,
                          timeout=STEP_TIMEOUT)


class Simulator:
    """`geocom simulate` in the background, stopped with SIGTERM."""

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

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=STEP_TIMEOUT)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


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
        with Simulator("--listen", "127.0.0.1:0") as simulator:
            connect = ("call", "--connect", simulator.address)
            result = geocom(*connect, "instrument-number")
            self.assertEqual(result.returncode, 0)
            self.assertEqual(fields(result.stdout)["serial-number"], "412237")
            self.assertEqual(geocom(*connect, "set-station", "-12.5", "7",
                                    "350.25", "1.55").returncode, 0)
            station = fields(geocom(*connect, "station").stdout)
            self.assertEqual((station["easting"], station["northing"],
                              station["height"], station["instrument-height"]),
                             ("-12.5", "7", "350.25", "1.55"))
            self.assertEqual(geocom(*connect, "position", "0.5", "1.25")
                             .returncode, 0)
            angles = fields(geocom(*connect, "angles").stdout)
            self.assertEqual((angles["hz"], angles["v"]), ("0.5", "1.25"))
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
            self.assertIn(clock["date"], ("2031-12-31", "2032-01-01"))
            listing = fields(geocom(*serial, "file-list").stdout)
            self.assertEqual(listing["return-code"], "3")  # not set up yet
            self.assertEqual(geocom(*serial, "file-list-setup").returncode, 0)
            listing = fields(geocom(*serial, "file-list", "0").stdout)
            self.assertEqual(listing["name"], "survey.gsi")
            self.assertEqual(simulator.stop(), 0)

    def test_non_zero_return_code(self):
        with Simulator() as simulator:
            result = geocom("call", "--connect", simulator.address, "lock-in")
            self.assertEqual(result.returncode, 6)
            self.assertEqual(fields(result.stdout)["return-code"], "3")
            self.assertIn(b"return code 3", result.stderr)

    def test_time_out(self):
        def silent(connection):
            connection.settimeout(STEP_TIMEOUT)
            while connection.recv(4096):
                pass

        with FakeInstrument(silent) as instrument:
            started = time.monotonic()
            result = geocom("call", "--connect", instrument.address, "null")
            elapsed = time.monotonic() - started
        self.assertEqual(result.returncode, 3)
        self.assertIn(b"within 500 ms", result.stderr)
        self.assertGreaterEqual(elapsed, 0.5)
        self.assertLess(elapsed, 2.0)

    def test_connection_closed(self):
        with FakeInstrument(lambda connection: connection.recv(4096)) as fake:
            result = geocom("call", "--connect", fake.address, "power")
        self.assertEqual(result.returncode, 4)

    def test_sequence_mismatch(self):
        def wrong_reply(connection):
            connection.recv(4096)
            connection.sendall(b"junk%R1Q,5003,0:\r\n%R1P,0,99:0,1\r\n")
            connection.recv(4096)

        with FakeInstrument(wrong_reply) as instrument:
            result = geocom("call", "--connect", instrument.address,
                            "instrument-number")
        self.assertEqual(result.returncode, 5)
        self.assertIn(b"99", result.stderr)


class Usage(unittest.TestCase):
    def test_usage_errors_exit_2(self):
        cases = [
            (),
            ("frobnicate",),
            ("demo", "--bogus"),
            ("simulate", "--listen", "no-port"),
            ("call", "null"),
            ("call", "--connect", "127.0.0.1:1", "--serial", "/dev/null",
             "null"),
            ("call", "--connect", "127.0.0.1:1", "no-such-command"),
            ("call", "--connect", "127.0.0.1:1", "position", "1"),
            ("call", "--connect", "127.0.0.1:1", "position", "x", "1"),
            ("call", "--connect", "127.0.0.1:1", "set-atr-state", "maybe"),
            ("call", "--connect", "127.0.0.1:1", "null", "extra"),
            ("call", "--connect", "127.0.0.1:1", "set-date-time", "tomorrow"),
            ("call", "--serial", "/dev/null", "--baud", "1234", "null"),
            ("decode", "--bogus"),
        ]
        for args in cases:
            with self.subTest(args=args):
                result = geocom(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertTrue(result.stderr)

    def test_help_everywhere(self):
        for subcommand in ((), ("demo",), ("simulate",), ("call",),
                           ("decode",)):
            with self.subTest(subcommand=subcommand):
                result = geocom(*subcommand, "--help")
                self.assertEqual(result.returncode, 0)
                self.assertIn(b"Usage:", result.stdout)
        listing = geocom("call", "--help").stdout
        for name in (b"instrument-number", b"set-search-area", b"file-delete"):
            self.assertIn(name, listing)
        self.assertIn(b"Exit statuses", geocom("--help").stdout)


def make_capture(rng, count):
    """Interleaved requests and replies with noise and cut-off sentences
    between them; returns the bytes and the sentences they hold, in order."""
    procedures = [0, 5003, 2107, 9027, 23307, 4711, 65535]
    noise_bytes = bytes(b for b in range(256) if b not in b"\r%")
    expected = []
    out = bytearray()

    def parameters():
        # Any byte but CR and the percent sign, LF and non-ASCII included.
        return bytes(rng.choice(noise_bytes) for _ in range(rng.randrange(12)))

    for index in range(count):
        sequence = index % 40000
        if rng.random() < 0.6:
            procedure = rng.choice(procedures)
            params = parameters()
            out += b"%%R1Q,%d,%d:" % (procedure, sequence) + params
            expected.append(("request", sequence, procedure, params))
        else:
            code = rng.choice([0, 0, 0, 1283, 5])
            params = b"," + parameters() if rng.random() < 0.7 else b""
            out += b"%%R1P,0,%d:%d" % (sequence, code) + params
            expected.append(("reply", sequence, code, params))
        out += b"\r\n" if rng.random() < 0.9 else b"\r"
        noise = bytes(rng.choice(noise_bytes) for _ in range(rng.randrange(40)))
        if rng.random() < 0.2:
            # A sentence cut off before its colon, broken by a plain byte.
            head = b"%R1Q,5003,17" if rng.random() < 0.5 else b"%R1P,0,17"
            noise += head[:rng.randrange(1, len(head) + 1)] + b"z"
        out += noise
    return bytes(out), expected


def write_in_random_chunks(pipe, data, rng):
    position = 0
    while position < len(data):
        size = rng.choice([1, 2, 3, 7, 64, 511, 4095, 4096, 4097, 20000])
        position += pipe.write(data[position:position + size])
    pipe.close()


class Decode(unittest.TestCase):
    def decode_through_pipe(self, data, seed, *options):
        process = subprocess.Popen([GEOCOM, "decode", "-", *options],
                                   stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, bufsize=0)
        writer = threading.Thread(
            target=write_in_random_chunks,
            args=(process.stdin, data, random.Random(seed)))
        writer.start()
        stdout = process.stdout.read()  # CTest's time-out bounds a hang
        writer.join()
        process.stdout.close()
        process.wait(timeout=STEP_TIMEOUT)
        self.assertEqual(process.returncode, 0)
        return stdout

    def test_every_sentence_once_in_order(self):
        data, expected = make_capture(random.Random(6), 5000)
        for seed in range(3):
            with self.subTest(seed=seed):
                lines = self.decode_through_pipe(data, seed, "--json")
                decoded = [json.loads(line) for line in lines.splitlines()]
                self.assertEqual(len(decoded), len(expected))
                for got, (kind, sequence, number, params) in zip(decoded,
                                                                 expected):
                    self.assertEqual(
                        (got["kind"], got["sequence"],
                         got["procedure" if kind == "request"
                             else "return_code"],
                         got["parameters"].encode("latin-1")),
                        (kind, sequence, number, params))

    def test_text_output(self):
        capture = (b"%R1Q,5003,7:\r\n~~%R1P,0,7:0,412237\r\n"
                   b"%R1P,0,8:5\r\n%R1Q,2107,9:1\r")
        path = os.path.join(os.environ.get("TMPDIR", "/tmp"),
                            "geocom-capture-%d" % os.getpid())
        with open(path, "wb") as capture_file:
            capture_file.write(capture)
        try:
            result = geocom("decode", path)
        finally:
            os.remove(path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout.decode().splitlines(), [
            "request seq=7 procedure=5003 name=instrument-number "
            "timeout=1500 params=",
            "reply seq=7 return-code=0 name=instrument-number timeout=1500 "
            "params=,412237",
            "reply seq=8 return-code=5 name=- timeout=- params=",
            "request seq=9 procedure=2107 name=angles timeout=1500 params=1",
        ])
        self.assertEqual(geocom("decode", "/nonexistent/capture").returncode, 1)


class Simulate(unittest.TestCase):
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
