#include "Values.h"

#include <variant>

namespace Core::GEOCOM::python {

namespace py = pybind11;

py::object ToPython(const host::FieldValue& value) {
  return std::visit(
      [](const auto& held) -> py::object { return py::cast(held); }, value);
}

py::tuple ToPython(const host::Fields& fields) {
  py::tuple pairs(fields.size());
  for (std::size_t index = 0; index < fields.size(); ++index) {
    pairs[index] =
        py::make_tuple(fields[index].name, ToPython(fields[index].value));
  }
  return pairs;
}

}  // namespace Core::GEOCOM::python
