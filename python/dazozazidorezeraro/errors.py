"""The exceptions a session raises, each fitting one of Python's own.

Every exception is a :class:`GeoComError` with the message the C++ library
gives (it names the procedure, the peer and the cause) and:

* ``kind``: what happened, as the C++ ``host::ErrorKind`` says it
  (``"timeout"``, ``"closed"``, ``"io"``, ``"invalid-reply"``,
  ``"return-code"``, ``"invalid-argument"``, ``"connect"``, ``"cancelled"``);
* ``return_code``: the instrument's return code (for :class:`ReturnCodeError`);
* ``return_code_name``: its name (``"no-target"``) for the codes the library
  names, else ``None`` (the message shows it too:
  ``answered return code 8710 no-target: no prism in the beam``);
* ``reply``: the reply's bytes as received (invalid replies, return codes).

So ``except TimeoutError`` catches a call that got no reply in time and
``except ConnectionError`` a connection that closed or could not be made.
"""

from __future__ import annotations

from typing import Optional


class GeoComError(Exception):
    """A call, a connection or an argument failed."""

    def __init__(self, message: str, *, kind: str = "io", return_code: int = 0,
                 reply: bytes = b"",
                 return_code_name: Optional[str] = None) -> None:
        super().__init__(message)
        self.message = message
        self.kind = kind
        self.return_code = return_code
        self.return_code_name = return_code_name
        self.reply = reply

    def __str__(self) -> str:
        return self.message

    def __reduce__(self):
        return (_rebuild, (type(self), self.message, self.kind,
                           self.return_code, self.reply,
                           self.return_code_name))


def _rebuild(cls, message, kind, return_code, reply, return_code_name=None):
    return cls(message, kind=kind, return_code=return_code, reply=reply,
               return_code_name=return_code_name)


class CallTimeout(GeoComError, TimeoutError):
    """No reply came within the call's time-out."""


class ConnectionClosed(GeoComError, ConnectionError):
    """The peer closed the connection, or the session was closed."""


class ConnectFailed(GeoComError, ConnectionError):
    """The connection could not be made within the connect time-out."""


class TransportError(GeoComError, OSError):
    """The system reported an I/O error on the connection."""


class InvalidReply(GeoComError):
    """A reply the protocol does not accept, or that does not decode."""


class ReturnCodeError(GeoComError):
    """The instrument answered with a non-zero return code (``return_code``)."""


class InvalidArgument(GeoComError, ValueError):
    """An argument that must not reach the wire; nothing was sent."""


class CallCancelled(GeoComError):
    """The call was cancelled before its reply came."""


__all__ = [
    "GeoComError", "CallTimeout", "ConnectionClosed", "ConnectFailed",
    "TransportError", "InvalidReply", "ReturnCodeError", "InvalidArgument",
    "CallCancelled",
]
