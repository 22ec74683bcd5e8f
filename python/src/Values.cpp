#include "Values.h"

#include <cstdint>
#include <variant>

#include "Errors.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

py::object ToPython(const host::FieldValue& value) {
  return std::visit(
      [](const auto& held) -> py::object { return py::cast(held); }, value);
}

host::FieldValue FromPython(const std::string& what, py::handle value) {
  // bool before int: a Python bool is an int too.
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>();
  if (py::isinstance<py::int_>(value)) {
    int overflow = 0;
    const long long number =
        PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0) return static_cast<std::int64_t>(number);
    Raise(host::Error(host::ErrorKind::kInvalidArgument,
                      what + " is out of range"));
  }
  if (py::isinstance<py::float_>(value)) return value.cast<double>();
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  Raise(
      host::Error(host::ErrorKind::kInvalidArgument,
                  what + " must be a number, a truth value or a text, not " +
                      std::string(py::str(value.get_type().attr("__name__")))));
}

const char* TypeName(host::ValueType type) {
  switch (type) {
    case host::ValueType::kInteger:
      return "integer";
    case host::ValueType::kReal:
      return "real";
    case host::ValueType::kBoolean:
      return "boolean";
    case host::ValueType::kText:
      return "text";
    case host::ValueType::kDateTime:
      return "date-time";
    case host::ValueType::kBytes:
      return "bytes";
  }
  return "unknown";
}

}  // namespace Core::GEOCOM::python
