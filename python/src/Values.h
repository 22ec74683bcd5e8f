#ifndef DAZOZAZIDOREZERARO_PYTHON_VALUES_H
#define DAZOZAZIDOREZERARO_PYTHON_VALUES_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <pybind11/pybind11.h>

#include <string>

namespace Core::GEOCOM::python {

/// The value as a Python int, float, bool or str.
pybind11::object ToPython(const host::FieldValue& value);

/// A Python bool, int, float or str as a value; raises InvalidArgument
/// naming what for anything else, or an int beyond 64 bits.
host::FieldValue FromPython(const std::string& what, pybind11::handle value);

/// The type's name in the catalogue as Python sees it: "integer", "real",
/// "boolean", "text", "date-time" or "bytes".
const char* TypeName(host::ValueType type);

}  // namespace Core::GEOCOM::python

#endif
