"""The procedures the library knows, read from the C++ catalogue at import.

Each :class:`Procedure` has its number, its name (kebab case, as the
``geocom`` tool uses it), what it does, its reply time-out, and the
:class:`Value` specs of its arguments and of its reply. The methods of
:class:`~dazozazidorezeraro.Session`, their signatures and their result
classes are all made from this list; nothing here names a procedure.
"""

from __future__ import annotations

import dataclasses
import keyword
from typing import Any, Dict, Optional, Tuple

from . import _native

#: The Python type of each catalogue value type.
PYTHON_TYPES: Dict[str, type] = {
    "integer": int,
    "real": float,
    "boolean": bool,
    "text": str,
    "date-time": str,
    "bytes": str,
}


@dataclasses.dataclass(frozen=True)
class Value:
    """One argument or reply field of a procedure."""

    name: str  #: snake case, e.g. ``"slope_distance"``
    type: str  #: ``"integer"``, ``"real"``, ``"boolean"``, ``"text"``, ...
    unit: str  #: ``"rad"``, ``"m"``, ``"ms"``, ... or empty
    description: str
    default: Any = None  #: ``None`` when the argument must be given
    minimum: Optional[float] = None  #: ``None`` when unbounded
    maximum: Optional[float] = None  #: ``None`` when unbounded

    @property
    def python_name(self) -> str:
        """The name as a Python identifier (a keyword gets a trailing ``_``)."""
        name = self.name.replace("-", "_")
        return name + "_" if keyword.iskeyword(name) else name

    @property
    def python_type(self) -> type:
        return PYTHON_TYPES.get(self.type, object)


@dataclasses.dataclass(frozen=True)
class Procedure:
    """One remote procedure of the instrument."""

    number: int
    name: str  #: kebab case, e.g. ``"simple-measurement"``
    description: str
    timeout: float  #: seconds the instrument may take to answer
    known: bool  #: whether its arguments and reply values are catalogued
    arguments: Tuple[Value, ...]
    reply: Tuple[Value, ...]

    @property
    def method_name(self) -> str:
        """The session method's name, e.g. ``simple_measurement``."""
        return self.name.replace("-", "_")

    @property
    def result_name(self) -> str:
        """The result class's name, e.g. ``SimpleMeasurement``."""
        return "".join(part.capitalize() for part in self.name.split("-"))


def _value(described: Dict[str, Any]) -> Value:
    return Value(**{field.name: described.get(field.name)
                    for field in dataclasses.fields(Value)
                    if field.name in described})


def _load() -> Tuple[Procedure, ...]:
    return tuple(
        Procedure(number=entry["id"], name=entry["name"],
                  description=entry["description"], timeout=entry["timeout"],
                  known=entry["known"],
                  arguments=tuple(_value(value) for value in entry["arguments"]),
                  reply=tuple(_value(value) for value in entry["reply"]))
        for entry in _native.procedures())


#: Every procedure, in ascending number order.
PROCEDURES: Tuple[Procedure, ...] = _load()
_BY_NAME = {procedure.name: procedure for procedure in PROCEDURES}
_BY_NAME.update({procedure.method_name: procedure for procedure in PROCEDURES})
_BY_NUMBER = {procedure.number: procedure for procedure in PROCEDURES}


def find(key: "int | str") -> Procedure:
    """The procedure with the number or the name (``"simple-measurement"`` or
    ``"simple_measurement"``); raises :class:`KeyError` naming the key."""
    table = _BY_NUMBER if isinstance(key, int) else _BY_NAME
    try:
        return table[key]
    except KeyError:
        raise KeyError(f"no procedure is named or numbered {key!r}") from None


def _result_doc(procedure: Procedure) -> str:
    lines = [f"The reply to {procedure.name} ({procedure.number}): "
             f"{procedure.description}", "", "Fields:"]
    for value in procedure.reply:
        unit = f" [{value.unit}]" if value.unit else ""
        lines.append(f"    {value.python_name} ({value.type}{unit}): "
                     f"{value.description}")
    return "\n".join(lines)


def _result_class(procedure: Procedure) -> type:
    cls = dataclasses.make_dataclass(
        procedure.result_name,
        [(value.python_name, value.python_type) for value in procedure.reply],
        frozen=True)
    cls.__doc__ = _result_doc(procedure)
    cls.__module__ = "dazozazidorezeraro.results"
    return cls


#: The result class of each procedure whose reply carries values, by name.
RESULTS: Dict[str, type] = {procedure.name: _result_class(procedure)
                            for procedure in PROCEDURES if procedure.reply}


def make_result(procedure: Procedure, values: Tuple[Any, ...]) -> Any:
    """The reply's values (in the catalogue's order) as the procedure's
    result class; ``None`` for a reply that carries nothing."""
    cls = RESULTS.get(procedure.name)
    return cls(*values) if cls is not None else None
