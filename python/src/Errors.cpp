#include "Errors.h"

#include <DazoZazIdoRezeraro/host/ReturnCodes.h>

#include <string>

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

// The names of dazozazidorezeraro.errors' classes, one per kind; the Python
// module is the one place that says how they fit Python's own exceptions.
const char* ClassName(host::ErrorKind kind) {
  switch (kind) {
    case host::ErrorKind::kTimeout:
      return "CallTimeout";
    case host::ErrorKind::kClosed:
      return "ConnectionClosed";
    case host::ErrorKind::kIo:
      return "TransportError";
    case host::ErrorKind::kInvalidReply:
      return "InvalidReply";
    case host::ErrorKind::kReturnCode:
      return "ReturnCodeError";
    case host::ErrorKind::kInvalidArgument:
      return "InvalidArgument";
    case host::ErrorKind::kConnect:
      return "ConnectFailed";
    case host::ErrorKind::kCancelled:
      return "CallCancelled";
  }
  return "GeoComError";
}

const char* KindName(host::ErrorKind kind) {
  switch (kind) {
    case host::ErrorKind::kTimeout:
      return "timeout";
    case host::ErrorKind::kClosed:
      return "closed";
    case host::ErrorKind::kIo:
      return "io";
    case host::ErrorKind::kInvalidReply:
      return "invalid-reply";
    case host::ErrorKind::kReturnCode:
      return "return-code";
    case host::ErrorKind::kInvalidArgument:
      return "invalid-argument";
    case host::ErrorKind::kConnect:
      return "connect";
    case host::ErrorKind::kCancelled:
      return "cancelled";
  }
  return "unknown";
}

}  // namespace

py::object ErrorObject(const host::Error& error) {
  py::object errors = py::module_::import("dazozazidorezeraro.errors");
  py::object type = errors.attr(ClassName(error.kind));
  const host::ReturnCodeName* named =
      error.kind == host::ErrorKind::kReturnCode
          ? host::FindReturnCode(error.returnCode)
          : nullptr;
  return type(error.message, py::arg("kind") = KindName(error.kind),
              py::arg("return_code") = error.returnCode,
              py::arg("reply") = py::bytes(error.bytes),
              py::arg("return_code_name") =
                  named != nullptr
                      ? py::object(py::str(std::string(named->name)))
                      : py::object(py::none()));
}

void Raise(const host::Error& error) {
  py::object exception = ErrorObject(error);
  PyErr_SetObject(exception.get_type().ptr(), exception.ptr());
  throw py::error_already_set();
}

void RegisterErrorTranslation() {
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const host::SessionError& error) {
      py::object exception = ErrorObject(error.error());
      PyErr_SetObject(exception.get_type().ptr(), exception.ptr());
    }
  });
}

}  // namespace Core::GEOCOM::python
