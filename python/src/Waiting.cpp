#include "Waiting.h"

#include <DazoZazIdoRezeraro/host/Errors.h>

#include "Errors.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

host::Reply WaitWithSignals(host::PendingCall call) {
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    while (!call.WaitFor(kSignalPollInterval)) {
      py::gil_scoped_acquire acquire;
      if (PyErr_CheckSignals() != 0) {
        interrupted = true;
        break;
      }
    }
    if (interrupted) {
      call.Cancel();
      call.Wait();
    }
  }
  if (interrupted) throw py::error_already_set();
  boost::system::error_code code;
  host::Reply reply = call.Take(code);
  if (code) Raise(CallError(code, reply));
  return reply;
}

host::Error CallError(const boost::system::error_code& code,
                      const host::Reply& reply) {
  host::Error error = host::ToError(code, reply.diagnostics);
  error.returnCode = reply.returnCode;
  error.bytes = reply.bytes;
  return error;
}

}  // namespace Core::GEOCOM::python
