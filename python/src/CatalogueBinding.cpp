#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Bindings.h"
#include "Values.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

// A bound, or None where the value is bounded only by its type's range of
// doubles (a real without limits).
py::object Bound(double bound) {
  if (std::abs(bound) == std::numeric_limits<double>::max()) return py::none();
  return py::float_(bound);
}

py::list Specs(const std::vector<host::ValueSpec>& specs) {
  py::list list;
  for (const host::ValueSpec& valueSpec : specs) {
    py::dict entry;
    entry["name"] = std::string(valueSpec.name);
    entry["type"] = TypeName(valueSpec.type);
    entry["unit"] = std::string(valueSpec.unit);
    entry["description"] = std::string(valueSpec.description);
    entry["default"] = valueSpec.fallback ? ToPython(*valueSpec.fallback)
                                          : py::object(py::none());
    entry["minimum"] = Bound(valueSpec.minimum);
    entry["maximum"] = Bound(valueSpec.maximum);
    list.append(entry);
  }
  return list;
}

}  // namespace

void BindCatalogue(py::module_& module) {
  module.def("procedures", [] {
    py::list procedures;
    for (const host::Procedure& procedure : host::Procedures()) {
      py::dict entry;
      entry["id"] = static_cast<unsigned>(procedure.id);
      entry["name"] = std::string(procedure.name);
      entry["description"] = std::string(procedure.description);
      entry["timeout"] =
          std::chrono::duration<double>(procedure.timeout).count();
      entry["known"] = procedure.known;
      entry["arguments"] = Specs(procedure.arguments);
      entry["reply"] = Specs(procedure.reply);
      procedures.append(entry);
    }
    return procedures;
  });
}

}  // namespace Core::GEOCOM::python
