#include <DazoZazIdoRezeraro/host/Fields.h>
#include <pybind11/functional.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Bindings.h"
#include "Connection.h"
#include "Errors.h"
#include "Values.h"
#include "Waiting.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

// Seconds from Python as milliseconds; refuses what no wait can be.
std::chrono::milliseconds Milliseconds(const char* what, double seconds) {
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
    Raise(host::Error(
        host::ErrorKind::kInvalidArgument,
        std::string(what) + " must be a number of seconds from 0 to 86400"));
  }
  return std::chrono::milliseconds(std::llround(seconds * 1000));
}

host::SessionOptions MakeSessionOptions(double connectTimeout,
                                        unsigned retries) {
  host::SessionOptions options;
  options.connectTimeout = Milliseconds("connect_timeout", connectTimeout);
  options.retries = retries;
  return options;
}

host::CallOptions MakeCallOptions(std::optional<double> timeout,
                                  std::optional<unsigned> retries) {
  host::CallOptions options;
  if (timeout) options.timeout = Milliseconds("timeout", *timeout);
  options.retries = retries;
  return options;
}

// The parameters of a reply: what follows its return code.
std::string ReplyParameters(const std::string& bytes) {
  const auto colon = bytes.find(':');
  if (colon == std::string::npos) return {};
  const auto comma = bytes.find(',', colon);
  if (comma == std::string::npos) return {};
  auto end = bytes.find_first_of("\r\n", comma);
  if (end == std::string::npos) end = bytes.size();
  return bytes.substr(comma + 1, end - comma - 1);
}

// A reply for Python: (sequence, parameters, round trip in seconds,
// request bytes, reply bytes, named fields or None).
py::tuple ReplyTuple(unsigned short procedure, const host::Reply& reply) {
  const std::optional<host::Fields> fields =
      host::ReplyFields(procedure, reply.sentence);
  return py::make_tuple(
      reply.sequence, ReplyParameters(reply.bytes),
      std::chrono::duration<double>(reply.roundTrip).count(),
      py::bytes(reply.request), py::bytes(reply.bytes),
      fields ? py::object(ToPython(*fields)) : py::object(py::none()));
}

// Owns a Connection; never holds the GIL while the connection's loop may
// wait for it (a completion that runs Python code).
class SessionHandle {
 public:
  explicit SessionHandle(std::unique_ptr<Connection> connection)
      : connection_(std::move(connection)) {}
  ~SessionHandle() {
    if (PyGILState_Check()) {
      py::gil_scoped_release release;
      connection_.reset();
    } else {
      connection_.reset();
    }
  }
  SessionHandle(const SessionHandle&) = delete;
  SessionHandle& operator=(const SessionHandle&) = delete;

  py::tuple Call(unsigned short procedure, const std::string& parameters,
                 std::optional<double> timeout,
                 std::optional<unsigned> retries) {
    const host::CallOptions options = MakeCallOptions(timeout, retries);
    host::Result<host::Reply> result =
        StartAndWait<host::Reply>([&](auto complete) {
          connection_->AsyncCall(procedure, parameters, std::move(complete),
                                 options);
        });
    if (!result) Raise(result.error());
    return ReplyTuple(procedure, *result);
  }

  // callback(error, reply) runs on the connection's thread with the GIL:
  // error None and the reply tuple, or the exception and None.
  void CallAsync(unsigned short procedure, const std::string& parameters,
                 std::optional<double> timeout, std::optional<unsigned> retries,
                 py::function callback) {
    const host::CallOptions options = MakeCallOptions(timeout, retries);
    std::shared_ptr<py::function> shared(new py::function(std::move(callback)),
                                         [](py::function* function) {
                                           py::gil_scoped_acquire acquire;
                                           delete function;
                                         });
    py::gil_scoped_release release;
    connection_->AsyncCall(
        procedure, parameters,
        [shared, procedure](host::Result<host::Reply> result) {
          if (_Py_IsFinalizing()) return;
          py::gil_scoped_acquire acquire;
          try {
            if (result) {
              (*shared)(py::none(), ReplyTuple(procedure, *result));
            } else {
              (*shared)(ErrorObject(result.error()), py::none());
            }
          } catch (py::error_already_set& error) {
            error.discard_as_unraisable("dazozazidorezeraro completion");
          }
        },
        options);
  }

  py::dict Counts() const {
    const host::SessionCounts counts = connection_->Counts();
    py::dict values;
    values["calls"] = counts.calls;
    values["timeouts"] = counts.timeouts;
    values["stale_replies"] = counts.staleReplies;
    values["echoes"] = counts.echoes;
    values["noise_bytes"] = counts.noiseBytes;
    values["unrecognised"] = counts.unrecognised;
    values["dropped_bytes"] = counts.droppedBytes;
    return values;
  }

  std::string Name() const { return connection_->Name(); }

  void Close() {
    py::gil_scoped_release release;
    connection_->Close();
  }

 private:
  std::unique_ptr<Connection> connection_;
};

}  // namespace

void BindSession(py::module_& module) {
  py::class_<SessionHandle>(module, "Session")
      .def_static(
          "connect",
          [](const std::string& address, double connectTimeout,
             unsigned retries) {
            const host::SessionOptions options =
                MakeSessionOptions(connectTimeout, retries);
            py::gil_scoped_release release;
            return std::make_unique<SessionHandle>(
                Connection::Connect(address, options));
          },
          py::arg("address"), py::arg("connect_timeout"), py::arg("retries"))
      .def_static(
          "open_serial",
          [](const std::string& device, unsigned baud, double connectTimeout,
             unsigned retries) {
            host::SessionOptions options =
                MakeSessionOptions(connectTimeout, retries);
            options.discardBeforeRequest = true;
            py::gil_scoped_release release;
            return std::make_unique<SessionHandle>(
                Connection::OpenSerial(device, baud, options));
          },
          py::arg("device"), py::arg("baud"), py::arg("connect_timeout"),
          py::arg("retries"))
      .def("call", &SessionHandle::Call, py::arg("procedure"),
           py::arg("parameters"), py::arg("timeout"), py::arg("retries"))
      .def("call_async", &SessionHandle::CallAsync, py::arg("procedure"),
           py::arg("parameters"), py::arg("timeout"), py::arg("retries"),
           py::arg("callback"))
      .def("counts", &SessionHandle::Counts)
      .def_property_readonly("name", &SessionHandle::Name)
      .def("close", &SessionHandle::Close);
}

}  // namespace Core::GEOCOM::python
