#!/usr/bin/env python3
"""Runs the commands of a Markdown file's ```console blocks in order, as a
reader would type them, in one empty directory with the tool's directory
first on PATH, and checks that each prints what the file shows under it.

What differs from run to run is masked on both sides: times, sequence
numbers and round trips (and so the widths of the columns that hold them).
A command ending in `&` runs in the background, on a port of its own in
place of the one printed (later commands and outputs are mapped), and is
compared once it has printed as many lines as the file shows; `kill -SIG %N`
signals the N-th background command and waits for it to end.

Usage: run_console.py FILE.md TOOL-DIR"""

import os
import re
import select
import shlex
import signal
import subprocess
import sys
import tempfile
import time

STEP_TIMEOUT = 30  # seconds any one command may take
ADDRESS = re.compile(r"\b(\d+\.\d+\.\d+\.\d+):(\d+)\b")
KILL_JOB = re.compile(r"^kill -(\w+) %(\d+)$")

# What changes from one run to the next, each with what stands for it.
VOLATILE = [
    (re.compile(r"^\d+\.\d+(?= to-)"), "TIME"),  # decode's leading time
    (re.compile(r'"time":[\d.]+'), '"time":TIME'),
    (re.compile(r"\bseq=\d+"), "seq=SEQ"),
    (re.compile(r'"sequence":\d+'), '"sequence":SEQ'),
    (re.compile(r"(%R1[QP],\d+,)\d+:"), r"\1SEQ:"),
    (re.compile(r'"size":\d+'), '"size":SIZE'),  # the sequence's digits
    (re.compile(r'\bround_trip_ms([=":]+)[\d.]+'), r"round_trip_ms\1MS"),
    (re.compile(r"\b[\d.]+/[\d.]+/[\d.]+/[\d.]+\b"), "MS/MS/MS/MS"),
]


def masked(line):
    for pattern, replacement in VOLATILE:
        line = pattern.sub(replacement, line)
    return " ".join(line.split())


def unclosed_fences(text):
    """The lines that open a code block which no fence closes: a fence with
    text after it closes nothing, and the rest of the file reads as code."""
    opened = None
    for number, line in enumerate(text.splitlines(), 1):
        if line.startswith("```"):
            if opened is None:
                opened = (number, line)
            elif line.strip() == "```":
                opened = None
            else:
                return ["line %d: %s (still open at line %d: %s)" % (
                    opened + (number, line))]
    return [] if opened is None else ["line %d: %s" % opened]


def console_steps(text):
    """(command, expected output lines) for each $ line of the console
    blocks, in order."""
    blocks = re.findall(r"^```console\n(.*?)^```$", text,
                        re.MULTILINE | re.DOTALL)
    if not blocks:
        sys.exit("no ```console blocks")
    steps = []
    for block in blocks:
        for line in block.splitlines():
            if line.startswith("$ "):
                steps.append((line[2:], []))
            elif steps:
                steps[-1][1].append(line)
            else:
                sys.exit("a console block starts with output: %r" % line)
    return steps


class Console:
    def __init__(self, directory, tool_dir):
        self.directory = directory
        self.environment = dict(os.environ,
                                PATH=tool_dir + os.pathsep + os.environ["PATH"])
        self.jobs = []
        self.ports = {}  # the file's port: the one in use

    def to_run(self, command):
        def replace(match):
            host, port = match.groups()
            if port in self.ports:
                return "%s:%s" % (host, self.ports[port])
            return "%s:0" % host  # a port of its own for a listener
        return ADDRESS.sub(replace, command)

    def as_printed(self, line):
        in_use = {actual: printed for printed, actual in self.ports.items()}
        return ADDRESS.sub(lambda match: "%s:%s" % (
            match.group(1), in_use.get(match.group(2), match.group(2))), line)

    def run(self, command, expected):
        """The lines the command prints, its addresses as the file has them."""
        kill = KILL_JOB.match(command)
        if kill:
            job = self.jobs[int(kill.group(2)) - 1]
            job.send_signal(getattr(signal, "SIG" + kill.group(1)))
            job.wait(timeout=STEP_TIMEOUT)
            return []
        if command.endswith("&"):
            return self.start(command[:-1].strip(), expected)
        finished = subprocess.run(
            ["bash", "-c", self.to_run(command)], cwd=self.directory,
            env=self.environment, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True, timeout=STEP_TIMEOUT)
        return [self.as_printed(line)
                for line in finished.stdout.splitlines()]

    def start(self, command, expected):
        job = subprocess.Popen(
            shlex.split(self.to_run(command)), cwd=self.directory,
            env=self.environment, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True)
        self.jobs.append(job)
        printed = []
        deadline = time.monotonic() + STEP_TIMEOUT
        while len(printed) < len(expected):
            ready, _, _ = select.select([job.stdout], [], [],
                                        max(0, deadline - time.monotonic()))
            line = job.stdout.readline() if ready else ""
            if not line:
                break  # ended or silent: the comparison shows what is missing
            printed.append(line.rstrip("\n"))
        for want, got in zip(expected, printed):
            for (_, port), (_, actual) in zip(ADDRESS.findall(want),
                                              ADDRESS.findall(got)):
                self.ports.setdefault(port, actual)
        return [self.as_printed(line) for line in printed]

    def stop(self):
        for job in self.jobs:
            if job.poll() is None:
                job.send_signal(signal.SIGINT)
                try:
                    job.wait(timeout=STEP_TIMEOUT)
                except subprocess.TimeoutExpired:
                    job.kill()
                    job.wait()
            job.stdout.close()


def main(markdown, tool_dir):
    with open(markdown, encoding="utf-8") as source:
        text = source.read()
    failures = ["a code block is never closed, from " + line
                for line in unclosed_fences(text)]
    with tempfile.TemporaryDirectory() as directory:
        console = Console(directory, os.path.abspath(tool_dir))
        try:
            for command, expected in console_steps(text):
                printed = console.run(command, expected)
                if [masked(line) for line in printed] != [
                        masked(line) for line in expected]:
                    failures.append("$ %s\n  the README shows:\n%s\n"
                                    "  the command printed:\n%s" % (
                                        command,
                                        "\n".join("    " + line
                                                  for line in expected),
                                        "\n".join("    " + line
                                                  for line in printed)))
        finally:
            console.stop()
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
