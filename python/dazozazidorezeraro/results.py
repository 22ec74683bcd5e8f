"""The result classes of the session methods, one per catalogued procedure
whose reply carries values (``Angles``, ``SimpleMeasurement``, ...): frozen
dataclasses whose fields are the reply's values in wire order, each class's
docstring giving their types and units. Made from the catalogue at import;
results.pyi lists them for editors."""

from .catalogue import RESULTS

globals().update({cls.__name__: cls for cls in RESULTS.values()})
__all__ = sorted(cls.__name__ for cls in RESULTS.values())
