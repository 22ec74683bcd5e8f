"""Blocking calls per second from Python against the same calls in C++,
on the same virtual instrument, in the same process and the same run.

    PYTHONPATH=build/bench/python python3 bench/python_calls.py [calls] [rounds]

Prints a Markdown table: each face's calls per second and its ratio to the
C++ call it stands for: Python's named, decoded angles() against C++'s
host::CallNamed through the same path, call_raw against
BlockingSession::Call. The rounds alternate between the faces, so that a load that
comes and goes on the machine falls on all of them; each face's rate is its
best round's, the one least disturbed. The goal is a ratio of at least 0.8.
"""

import statistics
import sys
import time

from dazozazidorezeraro import Session, VirtualInstrument, _native

ANGLES = 2107


def rate(calls, seconds):
    return calls / seconds


def timed(function, calls):
    start = time.perf_counter()
    for _ in range(calls):
        function()
    return time.perf_counter() - start


def main():
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 500
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    rates = {"C++ BlockingSession::Call": [], "Python call_raw": [],
             "C++ host::CallNamed (named, decoded)": [],
             "Python angles() (named, decoded)": []}
    baselines = {"C++ BlockingSession::Call": "C++ BlockingSession::Call",
                 "Python call_raw": "C++ BlockingSession::Call",
                 "C++ host::CallNamed (named, decoded)":
                     "C++ host::CallNamed (named, decoded)",
                 "Python angles() (named, decoded)":
                     "C++ host::CallNamed (named, decoded)"}
    with VirtualInstrument() as instrument, \
            Session.connect(instrument.address) as session:
        for _ in range(rounds):
            rates["C++ BlockingSession::Call"].append(rate(
                calls, _native.time_blocking_calls(
                    instrument.address, ANGLES, "1", calls)))
            rates["Python call_raw"].append(rate(calls, timed(
                lambda: session.call_raw(ANGLES, "1"), calls)))
            rates["C++ host::CallNamed (named, decoded)"].append(rate(
                calls, _native.time_named_calls(
                    instrument.address, "angles", calls)))
            rates["Python angles() (named, decoded)"].append(rate(
                calls, timed(session.angles, calls)))
    best = {face: max(values) for face, values in rates.items()}
    print("| Face | Calls per second (best round) | Median round | "
          "Ratio to its C++ face (best) |")
    print("|---|---|---|---|")
    for face, values in rates.items():
        print(f"| {face} | {best[face]:,.0f} | "
              f"{statistics.median(values):,.0f} | "
              f"{best[face] / best[baselines[face]]:.2f} |")


if __name__ == "__main__":
    main()
