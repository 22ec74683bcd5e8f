"""Sessions with an instrument: blocking (:class:`Session`) and asyncio
(:class:`AsyncSession`), both with one method per catalogued procedure."""

from __future__ import annotations

import asyncio
import atexit
import dataclasses
import threading
import weakref
from typing import Any, Callable, Dict, Optional, Tuple

from . import _native
from .catalogue import PROCEDURES, RESULTS, Procedure, find, make_result


@dataclasses.dataclass(frozen=True)
class RawReply:
    """A reply paired with its request, undecoded."""

    sequence: int  #: the sequence number request and reply carry
    parameters: str  #: the reply's text after its return code
    round_trip: float  #: seconds from the request's first byte to the reply's last
    request: bytes  #: the request as written
    reply: bytes  #: the reply as received


@dataclasses.dataclass(frozen=True)
class SessionCounts:
    """What a session met while it waited for its replies."""

    calls: int  #: calls completed, successful or not
    timeouts: int  #: waits that ran out, retries included
    stale_replies: int  #: replies to other sequence numbers, passed over
    echoes: int  #: requests met among the received bytes
    noise_bytes: int  #: bytes outside any sentence
    unrecognised: int  #: lines the protocol does not accept
    dropped_bytes: int  #: bytes of over-long lines dropped


# Sessions still open when the interpreter exits are closed first, so that
# no connection thread runs Python code while the interpreter finalizes.
_open: "weakref.WeakSet[_Connection]" = weakref.WeakSet()


@atexit.register
def _close_all() -> None:
    for connection in list(_open):
        connection.close()


class _Connection:
    """The native session, shared by a Session and its AsyncSession view."""

    def __init__(self, native: Any) -> None:
        self.native = native
        self.closed = False
        self.lock = threading.Lock()
        _open.add(self)

    def close(self) -> None:
        with self.lock:
            if self.closed:
                return
            self.closed = True
        self.native.close()


class _Calls:
    """What Session and AsyncSession share: the connection and the options."""

    def __init__(self, connection: _Connection) -> None:
        self._connection = connection
        self._native = connection.native

    @property
    def name(self) -> str:
        """What the session is connected to, e.g. ``"127.0.0.1:4000"``."""
        return self._native.name

    @property
    def counts(self) -> SessionCounts:
        """Totals so far."""
        return SessionCounts(**self._native.counts())

    @property
    def closed(self) -> bool:
        return self._connection.closed

    def close(self) -> None:
        """Closes the connection; calls still waiting raise
        :class:`~dazozazidorezeraro.errors.ConnectionClosed`. Idempotent."""
        self._connection.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<{type(self).__name__} {self.name} {state}>"


def _raw(reply: tuple) -> RawReply:
    return RawReply(*reply)


class Session(_Calls):
    """A blocking session with one instrument.

    Every call waits at most its procedure's time-out (or ``timeout=`` in
    seconds), without holding the GIL, and only the reply that carries its
    request's sequence number answers it. Threads may share a session; their
    calls are served one after the other. Ctrl-C interrupts a waiting call
    within 50 ms with :class:`KeyboardInterrupt`; the session stays usable.

    Use :meth:`connect` or :meth:`serial`, and ``with`` to close it.
    """

    @classmethod
    def connect(cls, address: str, *, timeout: float = 5.0,
                retries: int = 0) -> "Session":
        """Connects to ``"HOST:PORT"`` within ``timeout`` seconds; a call that
        times out is sent again ``retries`` times. Raises
        :class:`~dazozazidorezeraro.errors.ConnectFailed` or
        :class:`~dazozazidorezeraro.errors.InvalidArgument`."""
        return cls(_Connection(_native.Session.connect(address, timeout,
                                                       retries)))

    @classmethod
    def serial(cls, device: str, baud: int = 115200, *, timeout: float = 5.0,
               retries: int = 0) -> "Session":
        """Opens the serial device raw (8N1, no flow control) at ``baud``."""
        return cls(_Connection(_native.Session.open_serial(device, baud,
                                                           timeout, retries)))

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    @property
    def aio(self) -> "AsyncSession":
        """An asyncio view of this session, sharing its connection."""
        return AsyncSession(self._connection)

    def call_raw(self, procedure: int, parameters: str = "", *,
                 timeout: Optional[float] = None,
                 retries: Optional[int] = None) -> RawReply:
        """Calls the procedure by number with the parameter text as is."""
        return _raw(self._native.call_raw(procedure, parameters, timeout,
                                          retries))

    def call(self, procedure: "str | int", *, timeout: Optional[float] = None,
             retries: Optional[int] = None, **arguments: Any) -> Any:
        """Calls the procedure by name (or number) with named arguments, as
        its method does: ``session.call("angles", incline_mode=1)``."""
        target = find(procedure)
        return getattr(self, target.method_name)(
            timeout=timeout, retries=retries, **arguments)

    def _named(self, procedure: Procedure, arguments: Dict[str, Any],
               timeout: Optional[float], retries: Optional[int]) -> Any:
        return make_result(procedure, self._native.call_named(
            procedure.name, arguments, timeout, retries))


class AsyncSession(_Calls):
    """The asyncio face of a session: ``await session.angles()``.

    Each call is waited for without the GIL on a thread of the loop's
    default executor. Cancelling the awaiting task (``asyncio.wait_for``
    running out, ``task.cancel()``) cancels the call: the session serves the
    next call at once, and a late reply is passed over.
    """

    @classmethod
    async def connect(cls, address: str, *, timeout: float = 5.0,
                      retries: int = 0) -> "AsyncSession":
        """Connects as :meth:`Session.connect` does, without blocking the
        event loop."""
        loop = asyncio.get_running_loop()
        native = await loop.run_in_executor(
            None, _native.Session.connect, address, timeout, retries)
        return cls(_Connection(native))

    async def __aenter__(self) -> "AsyncSession":
        return self

    async def __aexit__(self, *exc_info: object) -> None:
        self.close()

    @staticmethod
    async def _await(started: Any, finish: Callable[[tuple], Any]) -> Any:
        try:
            await asyncio.get_running_loop().run_in_executor(None,
                                                             started.wait)
        except asyncio.CancelledError:
            started.cancel()  # the session goes on with the next call at once
            raise
        return finish(started.result())

    async def call_raw(self, procedure: int, parameters: str = "", *,
                       timeout: Optional[float] = None,
                       retries: Optional[int] = None) -> RawReply:
        """Calls the procedure by number with the parameter text as is."""
        return await self._await(
            self._native.start_raw(procedure, parameters, timeout, retries),
            _raw)

    async def call(self, procedure: "str | int", *,
                   timeout: Optional[float] = None,
                   retries: Optional[int] = None, **arguments: Any) -> Any:
        """Calls the procedure by name (or number) with named arguments."""
        target = find(procedure)
        return await getattr(self, target.method_name)(
            timeout=timeout, retries=retries, **arguments)

    async def _named(self, procedure: Procedure, arguments: Dict[str, Any],
                     timeout: Optional[float], retries: Optional[int]) -> Any:
        return await self._await(
            self._native.start_named(procedure.name, arguments, timeout,
                                     retries),
            lambda values: make_result(procedure, values))


def _signature(procedure: Procedure) -> Tuple[str, str, Dict[str, Any]]:
    """The parameter list, the arguments expression and the defaults of the
    procedure's method; an uncatalogued procedure takes a parameter text."""
    if not procedure.known:
        return ('self, parameters="", *, timeout=None, retries=None',
                "", {})
    parameters = ["self"]
    defaults: Dict[str, Any] = {}
    for value in procedure.arguments:
        name = value.python_name
        if value.default is None:
            parameters.append(name)
        else:
            defaults[f"_default_{name}"] = value.default
            parameters.append(f"{name}=_default_{name}")
    parameters += ["*", "timeout=None", "retries=None"]
    arguments = "{" + "".join(f"{value.name!r}: {value.python_name}, "
                              for value in procedure.arguments) + "}"
    return ", ".join(parameters), arguments, defaults


def _method_doc(procedure: Procedure, asynchronous: bool) -> str:
    lines = [f"{procedure.description} ({procedure.name}, procedure "
             f"{procedure.number}; time-out {procedure.timeout:g} s).", ""]
    if not procedure.known:
        lines.append("Sends the parameter text as it is and returns the "
                     "RawReply.")
    if procedure.arguments:
        lines.append("Arguments:")
        for value in procedure.arguments:
            unit = f" [{value.unit}]" if value.unit else ""
            default = ("" if value.default is None
                       else f", default {value.default!r}")
            lines.append(f"    {value.python_name} ({value.type}{unit}"
                         f"{default}): {value.description}")
        lines.append("")
    if procedure.reply:
        verb = "Awaits" if asynchronous else "Returns"
        article = "an" if procedure.result_name[0] in "AEIOU" else "a"
        lines.append(f"{verb} {article} {procedure.result_name} with "
                     + ", ".join(value.python_name for value in procedure.reply)
                     + ".")
    elif procedure.known:
        lines.append("Returns None once the instrument has answered.")
    lines.append("timeout (seconds) replaces the procedure's own time-out; "
                 "retries, the session's.")
    return "\n".join(lines)


def _annotations(procedure: Procedure) -> Dict[str, Any]:
    """The method's types, as help() and inspect.signature show them."""
    if not procedure.known:
        types: Dict[str, Any] = {"parameters": str, "return": RawReply}
    else:
        types = {value.python_name: value.python_type
                 for value in procedure.arguments}
        types["return"] = RESULTS.get(procedure.name)
    types.update(timeout=Optional[float], retries=Optional[int])
    return types


def _make_method(procedure: Procedure, asynchronous: bool) -> Callable:
    parameters, arguments, defaults = _signature(procedure)
    if procedure.known:
        body = f"self._named(_procedure, {arguments}, timeout, retries)"
    else:
        body = ("self.call_raw(_procedure.number, parameters, "
                "timeout=timeout, retries=retries)")
    if asynchronous:
        source = (f"async def {procedure.method_name}({parameters}):\n"
                  f"    return await {body}\n")
    else:
        source = (f"def {procedure.method_name}({parameters}):\n"
                  f"    return {body}\n")
    namespace: Dict[str, Any] = dict(defaults, _procedure=procedure)
    exec(source, namespace)
    method = namespace[procedure.method_name]
    method.__annotations__ = _annotations(procedure)
    method.__doc__ = _method_doc(procedure, asynchronous)
    method.__qualname__ = (("AsyncSession." if asynchronous else "Session.")
                           + procedure.method_name)
    return method


for _procedure in PROCEDURES:
    setattr(Session, _procedure.method_name, _make_method(_procedure, False))
    setattr(AsyncSession, _procedure.method_name,
            _make_method(_procedure, True))
del _procedure
