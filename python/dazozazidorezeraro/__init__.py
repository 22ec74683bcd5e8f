"""GeoCOM sessions with total-station survey instruments, and a virtual
instrument to test against, over the DazoZazIdoRezeraro C++ libraries.

>>> from dazozazidorezeraro import Session, VirtualInstrument
>>> with VirtualInstrument() as instrument, \\
...         Session.connect(instrument.address) as session:
...     angles = session.angles()
"""

from . import _native, errors
from .capture import CaptureRecord, read_capture
from .catalogue import PROCEDURES, Procedure, Value, find
from .errors import (CallTimeout, ConnectFailed, ConnectionClosed,
                     GeoComError, InvalidArgument, InvalidReply,
                     ReturnCodeError, TransportError)
from .session import AsyncSession, RawReply, Session, SessionCounts
from .simulator import Prism, TrafficRecord, VirtualInstrument, fault_names
from .survey import RESULT_COLUMNS, JobError, Round, Store, StoreError

#: The package's version, which is that of the libraries it wraps.
__version__: str = _native.version

__all__ = [
    "AsyncSession", "CallTimeout", "CaptureRecord", "ConnectFailed",
    "ConnectionClosed", "GeoComError", "InvalidArgument", "InvalidReply",
    "JobError", "RESULT_COLUMNS", "Round", "Store", "StoreError",
    "PROCEDURES", "Prism", "Procedure", "RawReply", "ReturnCodeError",
    "Session", "SessionCounts", "TrafficRecord", "TransportError", "Value",
    "VirtualInstrument", "errors", "fault_names", "find", "read_capture",
]
