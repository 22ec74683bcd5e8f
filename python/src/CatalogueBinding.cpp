#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <chrono>
#include <string>
#include <vector>

#include "Bindings.h"
#include "Values.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

py::list Specs(const std::vector<host::ValueSpec>& specs) {
  py::list list;
  for (const host::ValueSpec& spec : specs) {
    py::dict entry;
    entry["name"] = std::string(spec.name);
    entry["type"] = TypeName(spec.type);
    entry["unit"] = std::string(spec.unit);
    entry["description"] = std::string(spec.description);
    entry["default"] =
        spec.fallback ? ToPython(*spec.fallback) : py::object(py::none());
    entry["minimum"] = spec.minimum;
    entry["maximum"] = spec.maximum;
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
