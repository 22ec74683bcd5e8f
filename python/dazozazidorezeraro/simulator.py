"""The virtual instrument, served on 127.0.0.1 for a host's tests."""

from __future__ import annotations

import atexit
import dataclasses
import json
import os
import weakref
from typing import Any, Dict, List, Mapping, Optional, Tuple, Union

from . import _native
from .catalogue import find


@dataclasses.dataclass(frozen=True)
class Prism:
    """A prism of the scene where it is now (metres)."""

    id: str
    easting: float
    northing: float
    height: float


@dataclasses.dataclass(frozen=True)
class TrafficRecord:
    """One piece of traffic the instrument's server saw."""

    time: float  #: seconds since the instrument started
    direction: str  #: ``"to-instrument"`` or ``"to-host"``
    bytes: bytes  #: exactly as they passed
    note: str  #: e.g. the procedure's name
    fault: str  #: the fault applied to a reply, or empty


#: How many traffic records a VirtualInstrument keeps unless told.
DEFAULT_TRAFFIC_LIMIT = 10_000

_running: "weakref.WeakSet[VirtualInstrument]" = weakref.WeakSet()


@atexit.register
def _stop_all() -> None:
    for instrument in list(_running):
        instrument.stop()


SceneArgument = Union[None, str, "os.PathLike[str]", Mapping[str, Any]]


class VirtualInstrument:
    """A virtual instrument on a thread of its own, listening on
    ``127.0.0.1`` at a port the system chooses (:attr:`address`).

    ``scene`` is a scene file's path, a scene as a dict (the JSON form that
    docs/scene.md describes), or ``None`` for the built-in scene. ``faults``
    gives random fault rates, ``{"drop": 0.05, "late": 0.05}`` or
    ``"drop=0.05,late=0.05"``; ``seed`` seeds noise and faults.
    ``fault_timeout`` (seconds) is the time-out the host waits, after which
    a late reply comes ``late_by`` seconds (0.25 by default); by default
    each procedure's own. ``split_pause``
    (seconds, 0.02 by default) is the pause between the pieces of a split
    reply. :meth:`traffic` keeps the latest ``traffic_limit`` records
    (10 000 by default; settable later through the attribute).

    Use it as a context manager, or call :meth:`stop`::

        with VirtualInstrument(faults={"drop": 0.05}, seed=7) as instrument:
            with Session.connect(instrument.address) as session:
                session.angles()
    """

    def __init__(self, scene: SceneArgument = None, *,
                 faults: "Union[str, Mapping[str, float], None]" = None,
                 seed: int = 0, fault_timeout: Optional[float] = None,
                 late_by: Optional[float] = None,
                 split_pause: Optional[float] = None,
                 pty: bool = False,
                 traffic_limit: int = DEFAULT_TRAFFIC_LIMIT) -> None:
        scene_json: Optional[str] = None
        scene_path: Optional[str] = None
        if isinstance(scene, Mapping):
            scene_json = json.dumps(scene)
        elif scene is not None:
            scene_path = os.fspath(scene)
        self._native = _native.Instrument(scene_json, scene_path,
                                          _fault_text(faults), seed,
                                          fault_timeout, late_by, split_pause,
                                          pty, traffic_limit)
        _running.add(self)

    @property
    def address(self) -> str:
        """The TCP address, e.g. ``"127.0.0.1:41234"``."""
        return self._native.address

    @property
    def pty_path(self) -> str:
        """The pseudo-terminal's path; empty unless ``pty=True``."""
        return self._native.pty_path

    @property
    def running(self) -> bool:
        return self._native.running

    @property
    def station(self) -> Dict[str, Any]:
        """Where the instrument stands: id, easting, northing, height,
        instrument_height (metres) and orientation (radians)."""
        return self._native.station()

    @property
    def prisms(self) -> List[Prism]:
        """Every prism of the scene where it is now."""
        return [Prism(**values) for values in self._native.prisms()]

    @property
    def telescope(self) -> Tuple[float, float]:
        """Where the telescope points now: (hz, v) in radians."""
        return self._native.telescope()

    @property
    def counts(self) -> Dict[str, int]:
        """What the server has done: connections, refused, requests,
        idle_closed, dropped_replies."""
        return self._native.counts()

    def inject(self, procedure: "str | int", fault: str,
               count: int = 1) -> None:
        """Applies the fault (``"drop"``, ``"late"``, ...) to the next
        ``count`` replies to the procedure (name or number)."""
        self._native.inject(find(procedure).number if isinstance(
            procedure, str) else procedure, fault, count)

    def move_prism(self, prism_id: str, easting: float, northing: float,
                   height: float) -> None:
        """Puts the prism at the position (metres), standing still from now
        on: a measurement afterwards sees it there, and a telescope locked
        onto it turns after it. Raises InvalidArgument, changing nothing,
        for an unknown prism or a coordinate that is not finite or too
        large."""
        self._native.move_prism(prism_id, easting, northing, height)

    def set_faults(self,
                   faults: "Union[str, Mapping[str, float], None]") -> None:
        """Replaces the random fault rates."""
        self._native.set_faults(_fault_text(faults))

    @property
    def traffic_limit(self) -> int:
        """How many of the latest traffic records are kept; older ones are
        forgotten, so that a long-running instrument stays small."""
        return self._native.traffic_limit

    @traffic_limit.setter
    def traffic_limit(self, limit: int) -> None:
        self._native.traffic_limit = limit

    def traffic(self, *, clear: bool = False) -> List[TrafficRecord]:
        """The bytes that passed, oldest first: each request and other bytes
        received, and each write of a reply, at most :attr:`traffic_limit`
        of the latest (and forgets them when ``clear``). Opening and closing
        a connection are not traffic."""
        return [TrafficRecord(*record)
                for record in self._native.traffic(clear)]

    def stop(self) -> None:
        """Stops serving, closes every connection and joins the thread."""
        self._native.stop()
        _running.discard(self)

    def __enter__(self) -> "VirtualInstrument":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()

    def __repr__(self) -> str:
        state = self.address if self.running else "stopped"
        return f"<VirtualInstrument {state}>"


def fault_names() -> List[str]:
    """The names of the faults, e.g. ``"drop"``, ``"wrong-sequence"``."""
    return list(_native.fault_names())


def _fault_text(faults: "Union[str, Mapping[str, float], None]") -> str:
    if faults is None:
        return ""
    if isinstance(faults, str):
        return faults
    return ",".join(f"{kind.replace('_', '-')}={rate!r}"
                    for kind, rate in faults.items())
