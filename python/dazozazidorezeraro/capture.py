"""Reading capture files, as ``geocom record`` and the virtual instrument's
traffic log write them: every request and reply with its named values, each
reply paired with its request, and time-outs, unmatched replies and noise as
records of their own."""

from __future__ import annotations

import dataclasses
import os
from typing import Any, Dict, Iterator, Optional, Union

from . import _native


@dataclasses.dataclass(frozen=True)
class CaptureRecord:
    """One decoded record of a capture."""

    #: ``"request"``, ``"reply"``, ``"unmatched-reply"``, ``"timeout"``,
    #: ``"unrecognised"``, ``"noise"``, ``"dropped"`` or ``"long-line"``
    kind: str
    connection: int  #: the capture's connection number
    direction: str  #: ``"to-instrument"``, ``"to-host"`` or ``"unknown"``
    time: Optional[float]  #: seconds since the capture started, if known
    bytes: bytes  #: exactly as they passed
    sequence: int  #: requests, replies and time-outs
    procedure: Optional[int]  #: the procedure number, when known
    #: the same number for a request, its reply and its time-out
    exchange: int
    return_code: int  #: replies
    round_trip_ms: Optional[float]  #: replies, when both times are known
    late: bool  #: a reply that came after its request's time-out
    fields: Optional[Dict[str, Any]]  #: named arguments or values
    parameters: str  #: the parameter text as it passed
    #: how many bytes the record stands for; for a ``"long-line"``, the
    #: length of the capture line passed over (``bytes`` holds its start)
    size: int
    line: int  #: ``"long-line"``: the line's number in the capture file


def read_capture(path: "Union[str, os.PathLike[str]]"
                 ) -> Iterator[CaptureRecord]:
    """The decoded records of the capture file, one by one, in constant
    memory. A file that cannot be opened raises Python's own
    :class:`OSError` (:class:`FileNotFoundError`, :class:`PermissionError`,
    ...) with its ``errno`` and file name; a malformed line raises
    :class:`~dazozazidorezeraro.errors.InvalidArgument` naming the file and
    the line; the records before it come first."""
    reader = _native.CaptureFile(os.fspath(path))
    while True:
        record = reader.next()
        if record is None:
            return
        yield CaptureRecord(**record)
