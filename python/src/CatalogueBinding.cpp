#include <DazoZazIdoRezeraro/host/Procedures.h>

#include <chrono>
#include <string>

#include "Bindings.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

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
      entry["arguments"] = py::list();
      entry["reply"] = py::list();
      procedures.append(entry);
    }
    return procedures;
  });
}

}  // namespace Core::GEOCOM::python
