"""Sharing a session between threads, waiting without the GIL, Ctrl-C, and
the asyncio face."""

import asyncio
import os
import re
import signal
import threading
import time

import pytest

from dazozazidorezeraro import (AsyncSession, CallTimeout, ConnectionClosed,
                                GeoComError, Session, VirtualInstrument,
                                fault_names)

SEQUENCE = re.compile(rb"^%R1[QP],\d+,(\d+):")

# procedure, parameters, the reply's parameter count: a reply handed to the
# wrong call shows as a reply of another shape or another sequence number.
CALLS = [
    (2107, "1", 2),      # angles
    (5004, "", 1),       # instrument name
    (2009, "", 4),       # station
    (5003, "", 1),       # instrument number
]


def sequence_of(sentence):
    return int(SEQUENCE.match(sentence).group(1))


class SharedSession:
    """One session for every thread, replaced when a fault closes it."""

    def __init__(self, address):
        self.address = address
        self.lock = threading.Lock()
        self.session = Session.connect(address)

    def current(self):
        with self.lock:
            return self.session

    def replace(self, closed):
        with self.lock:
            if self.session is closed:
                closed.close()
                self.session = Session.connect(self.address)

    def close(self):
        self.session.close()


def test_threads_sharing_a_session_under_every_fault_get_their_own_replies():
    faults = {name: 0.05 for name in fault_names()}
    with VirtualInstrument(faults=faults, seed=11, fault_timeout=0.03,
                           late_by=0.005, split_pause=0.002) as instrument:
        shared = SharedSession(instrument.address)
        mispaired, answered, failed = [], [], []

        def work(index):
            procedure, parameters, count = CALLS[index % len(CALLS)]
            for _ in range(500):
                session = shared.current()
                try:
                    reply = session.call_raw(procedure, parameters,
                                             timeout=0.03)
                except ConnectionClosed:
                    shared.replace(session)
                    failed.append(1)
                    continue
                except GeoComError:
                    failed.append(1)
                    continue
                fields = reply.parameters.split(",") if reply.parameters else []
                if (sequence_of(reply.request) != sequence_of(reply.reply)
                        or sequence_of(reply.reply) != reply.sequence
                        or len(fields) != count):
                    mispaired.append(reply)
                answered.append(1)

        threads = [threading.Thread(target=work, args=(index,), daemon=True)
                   for index in range(8)]
        for thread in threads:
            thread.start()
        # Every call ends within 30 ms: 4000 of them, one after the other,
        # within 120 s, or a call outlived its bound.
        deadline = time.monotonic() + 120
        for thread in threads:
            thread.join(max(0.0, deadline - time.monotonic()))
        stuck = sum(thread.is_alive() for thread in threads)
        shared.close()
        assert stuck == 0, f"{stuck} threads wait for calls past their bound"
    assert mispaired == []
    assert len(answered) + len(failed) == 8 * 500
    # 8 faults at 5 % each: drop, late, corrupt and disconnect fail a call.
    assert len(answered) > 8 * 500 * 0.6


def test_another_thread_runs_while_a_call_waits(virtual_instrument):
    gaps = []
    waiting = threading.Event()

    def count():
        last = time.monotonic()
        while not waiting.is_set():
            now = time.monotonic()
            gaps.append(now - last)
            last = now

    with Session.connect(virtual_instrument.address) as session:
        virtual_instrument.inject("angles", "drop")
        counter = threading.Thread(target=count)
        counter.start()
        try:
            with pytest.raises(CallTimeout):
                session.call_raw(2107, "1", timeout=0.5)
        finally:
            waiting.set()
            counter.join()
    # Holding the GIL through the wait would stall the counter for 0.5 s.
    assert len(gaps) > 1000
    assert max(gaps) < 0.2


def test_ctrl_c_interrupts_a_waiting_call_and_the_session_goes_on(
        virtual_instrument):
    with Session.connect(virtual_instrument.address) as session:
        virtual_instrument.inject("angles", "drop")
        timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
        started = time.monotonic()
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            session.call_raw(2107, "1", timeout=5)
        interrupted = time.monotonic() - started
        timer.join()
        reply = session.call_raw(2107, "1")
    assert interrupted < 0.2 + 0.2
    assert sequence_of(reply.request) == sequence_of(reply.reply)


def test_four_async_sessions_wait_at_once(virtual_instrument):
    async def main():
        sessions = [await AsyncSession.connect(virtual_instrument.address)
                    for _ in range(4)]
        virtual_instrument.inject("angles", "drop", count=4)
        started = time.monotonic()
        outcomes = await asyncio.gather(
            *(session.call_raw(2107, "1", timeout=0.4)
              for session in sessions), return_exceptions=True)
        waited = time.monotonic() - started
        replies = await asyncio.gather(
            *(session.call_raw(2107, "1") for session in sessions
              for _ in range(25)))
        for session in sessions:
            session.close()
        return outcomes, waited, replies

    outcomes, waited, replies = asyncio.run(main())
    assert all(isinstance(outcome, CallTimeout) for outcome in outcomes)
    # One after the other they would take 1.6 s.
    assert waited < 0.8
    assert all(sequence_of(reply.request) == sequence_of(reply.reply)
               for reply in replies)


def test_an_async_call_raises_what_a_blocking_one_does(virtual_instrument):
    async def main():
        async with await AsyncSession.connect(
                virtual_instrument.address) as session:
            virtual_instrument.inject("angles", "corrupt")
            with pytest.raises(GeoComError, match="angles"):
                await session.call_raw(2107, "1")
            return await session.station()

    assert asyncio.run(main()).instrument_height == pytest.approx(1.6)


def test_cancelling_an_async_call_cancels_the_call(virtual_instrument):
    """A task given up (wait_for running out) must not leave its call to
    block the session until the call's own 18 s time-out."""
    async def main():
        async with await AsyncSession.connect(
                virtual_instrument.address) as session:
            virtual_instrument.inject("simple-measurement", "drop")
            with pytest.raises(asyncio.TimeoutError):
                await asyncio.wait_for(session.simple_measurement(), 0.1)
            started = time.monotonic()
            angles = await session.angles()
            return angles, time.monotonic() - started

    angles, waited = asyncio.run(main())
    assert type(angles).__name__ == "Angles"
    # Answered at once (well under a second on a busy machine), not after
    # the abandoned measurement's time-out.
    assert waited < 1.0
