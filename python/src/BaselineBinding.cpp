#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>

#include <chrono>
#include <string>

#include "Bindings.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

// The baseline of the Python benchmark (bench/python_calls.py): the same
// calls through the C++ BlockingSession, in the same process, against the
// same instrument, so that the ratio of the two is measured in one run.
void BindBaseline(py::module_& module) {
  module.def(
      "time_blocking_calls",
      [](const std::string& address, unsigned short procedure,
         const std::string& parameters, unsigned count) {
        py::gil_scoped_release release;
        host::BlockingSession session = host::BlockingSession::Connect(address);
        const auto start = std::chrono::steady_clock::now();
        for (unsigned call = 0; call < count; ++call) {
          session.Call(procedure, parameters);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                             start)
            .count();
      },
      py::arg("address"), py::arg("procedure"), py::arg("parameters"),
      py::arg("count"));
  module.def(
      "time_named_calls",
      [](const std::string& address, const std::string& procedure,
         unsigned count) {
        py::gil_scoped_release release;
        host::BlockingSession session = host::BlockingSession::Connect(address);
        const auto start = std::chrono::steady_clock::now();
        for (unsigned call = 0; call < count; ++call) {
          host::CallNamed(session, procedure, {}).value();
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                             start)
            .count();
      },
      py::arg("address"), py::arg("procedure"), py::arg("count"));
}

}  // namespace Core::GEOCOM::python
