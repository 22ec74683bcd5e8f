#!/usr/bin/env python3
"""The monitoring report over a large store: its time and peak memory, against
`geocom export --csv` of the same store (which reads every result once in
time order, as the report does) measured in the same run.

Usage: report_scale.py GEOCOM SAMPLE_STORE [TARGETS ROUNDS]
(defaults: 20 targets, 50,000 rounds: 10^6 results)."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time


def measured(command):
    """Wall seconds, peak resident megabytes and CPU seconds of one child."""
    started = time.monotonic()
    with open(os.devnull, "w") as sink:
        child = subprocess.Popen(command, stdout=sink)
        _, status, usage = os.wait4(child.pid, 0)
    took = time.monotonic() - started
    if status != 0:
        raise SystemExit(f"{command[1]} failed with status {status}")
    return took, usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime


def main():
    geocom, sample = sys.argv[1:3]
    targets, rounds = sys.argv[3:5] if len(sys.argv) > 4 else ("20", "50000")
    work = tempfile.mkdtemp(prefix="report-scale-")
    try:
        job = os.path.join(work, "job.json")
        with open(job, "w") as file:
            json.dump({"limits": [
                {"targets": "*", "component": "horizontal", "warning": "10 mm",
                 "alarm": "20 mm", "consecutive": 3}]}, file)
        store = os.path.join(work, "store.sqlite")
        started = time.monotonic()
        subprocess.run([sample, store, job, targets, rounds, "600"], check=True)
        print(f"store of {int(targets) * int(rounds)} results written in "
              f"{time.monotonic() - started:.0f} s")
        export = measured([geocom, "export", store, "--csv"])
        report = measured([geocom, "monitor", "report", store, "--html",
                           os.path.join(work, "report.html"), "--job", job])
        print(f"export --csv      {export[0]:7.2f} s wall {export[2]:7.2f} s CPU "
              f"peak {export[1]:.0f} MB")
        print(f"monitor report    {report[0]:7.2f} s wall {report[2]:7.2f} s CPU "
              f"peak {report[1]:.0f} MB (wall ratio {report[0] / export[0]:.2f})")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
