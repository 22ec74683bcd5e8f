"""Reading capture files, as ``geocom record`` and the virtual instrument's
traffic log write them."""

from __future__ import annotations

import dataclasses
import os
from typing import Iterator, Optional, Union

from . import _native


@dataclasses.dataclass(frozen=True)
class CaptureRecord:
    """One piece of traffic of a capture."""

    time: Optional[float]  #: seconds since the capture started, if known
    direction: str  #: ``"to-instrument"``, ``"to-host"`` or ``"unknown"``
    bytes: bytes  #: exactly as they passed
    note: str  #: what the writer knew of them
    fault: str  #: a fault the writer applied to them


def read_capture(path: "Union[str, os.PathLike[str]]"
                 ) -> Iterator[CaptureRecord]:
    """The records of the capture file, one by one. A malformed line raises
    :class:`~dazozazidorezeraro.errors.InvalidArgument` naming the file and
    the line."""
    reader = _native.CaptureFile(os.fspath(path))
    while True:
        record = reader.next()
        if record is None:
            return
        yield CaptureRecord(*record)
