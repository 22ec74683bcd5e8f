#include <DazoZazIdoRezeraro/host/Version.h>

#include "Bindings.h"
#include "Errors.h"

PYBIND11_MODULE(_native, module) {
  module.doc() =
      "The compiled part of dazozazidorezeraro; use the package, not this.";
  // The libraries' version, which is the package's.
  module.attr("version") = Core::GEOCOM::host::Version();
  Core::GEOCOM::python::RegisterErrorTranslation();
  Core::GEOCOM::python::BindSession(module);
  Core::GEOCOM::python::BindCatalogue(module);
  Core::GEOCOM::python::BindSimulator(module);
  Core::GEOCOM::python::BindCapture(module);
  Core::GEOCOM::python::BindBaseline(module);
  Core::GEOCOM::python::BindSurvey(module);
}
