#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Bindings.h"
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
// request bytes, reply bytes).
py::tuple RawTuple(const host::Reply& reply) {
  return py::make_tuple(reply.sequence, ReplyParameters(reply.bytes),
                        std::chrono::duration<double>(reply.roundTrip).count(),
                        py::bytes(reply.request), py::bytes(reply.bytes));
}

const host::Procedure& Catalogued(const std::string& name) {
  const host::Procedure* procedure = host::FindProcedure(name);
  if (procedure == nullptr || !procedure->known) {
    Raise(host::Error(host::ErrorKind::kInvalidArgument,
                      "no catalogued procedure is named '" + name + "'"));
  }
  return *procedure;
}

// The named arguments, packed by the catalogue; nothing is sent when one is
// refused.
std::string PackNamed(const host::Procedure& procedure,
                      const py::dict& arguments) {
  host::Fields fields;
  fields.reserve(arguments.size());
  for (const auto& [name, value] : arguments) {
    const std::string key = py::str(name);
    fields.push_back(
        {key, FromPython(std::string(procedure.name) + ": " + key, value)});
  }
  host::Result<std::string> packed = host::PackArguments(procedure, fields);
  if (!packed) Raise(packed.error());
  return std::move(*packed);
}

// The reply's values in the catalogue's order, decoded strictly.
host::Result<host::Fields> DecodeNamed(const host::Procedure& procedure,
                                       const host::Reply& reply) {
  host::Result<host::Fields> fields =
      host::DecodeReply(procedure, reply.sentence);
  if (!fields) {
    host::Error error = fields.error();
    error.bytes = reply.bytes;
    return error;
  }
  return fields;
}

py::tuple ValuesTuple(const host::Fields& fields) {
  py::tuple values(fields.size());
  for (std::size_t index = 0; index < fields.size(); ++index) {
    values[index] = ToPython(fields[index].value);
  }
  return values;
}

// A call started for asyncio: an executor's thread waits for it without
// the GIL, and the awaiting task cancels it when it is cancelled, so that
// the session serves the next call at once. finish makes the value of its
// reply, or raises.
class StartedCall {
 public:
  using Finish = std::function<py::object(const host::Reply&)>;

  StartedCall(host::PendingCall call, Finish finish)
      : call_(std::move(call)), finish_(std::move(finish)) {}

  void Wait() {
    py::gil_scoped_release release;
    call_.Wait();
  }

  void Cancel() {
    py::gil_scoped_release release;
    call_.Cancel();
  }

  py::object Result() {
    boost::system::error_code code;
    host::Reply reply;
    {
      py::gil_scoped_release release;
      reply = call_.Take(code);
    }
    if (code) Raise(CallError(code, reply));
    return finish_(reply);
  }

 private:
  host::PendingCall call_;
  Finish finish_;
};

// Owns a BlockingSession; never holds the GIL while the session's thread may
// wait for it (a completion that runs Python code).
class SessionHandle {
 public:
  explicit SessionHandle(host::BlockingSession session)
      : session_(std::move(session)) {}
  ~SessionHandle() {
    if (PyGILState_Check()) {
      py::gil_scoped_release release;
      session_.reset();
    } else {
      session_.reset();
    }
  }
  SessionHandle(const SessionHandle&) = delete;
  SessionHandle& operator=(const SessionHandle&) = delete;

  py::tuple CallRaw(unsigned short procedure, const std::string& parameters,
                    std::optional<double> timeout,
                    std::optional<unsigned> retries) {
    const host::CallOptions options = MakeCallOptions(timeout, retries);
    return RawTuple(
        WaitWithSignals(session_->Start(procedure, parameters, options)));
  }

  py::tuple CallNamed(const std::string& name, const py::dict& arguments,
                      std::optional<double> timeout,
                      std::optional<unsigned> retries) {
    const host::Procedure& procedure = Catalogued(name);
    const std::string parameters = PackNamed(procedure, arguments);
    const host::CallOptions options = MakeCallOptions(timeout, retries);
    const host::Reply reply =
        WaitWithSignals(session_->Start(procedure.id, parameters, options));
    host::Result<host::Fields> fields = DecodeNamed(procedure, reply);
    if (!fields) Raise(fields.error());
    return ValuesTuple(*fields);
  }

  // As CallRaw, started for asyncio.
  std::unique_ptr<StartedCall> StartRaw(unsigned short procedure,
                                        const std::string& parameters,
                                        std::optional<double> timeout,
                                        std::optional<unsigned> retries) {
    const host::CallOptions options = MakeCallOptions(timeout, retries);
    py::gil_scoped_release release;
    return std::make_unique<StartedCall>(
        session_->Start(procedure, parameters, options),
        [](const host::Reply& reply) -> py::object { return RawTuple(reply); });
  }

  // As CallNamed, started for asyncio: the value is the tuple of the
  // reply's values.
  std::unique_ptr<StartedCall> StartNamed(const std::string& name,
                                          const py::dict& arguments,
                                          std::optional<double> timeout,
                                          std::optional<unsigned> retries) {
    const host::Procedure& procedure = Catalogued(name);
    const std::string parameters = PackNamed(procedure, arguments);
    const host::CallOptions options = MakeCallOptions(timeout, retries);
    py::gil_scoped_release release;
    return std::make_unique<StartedCall>(
        session_->Start(procedure.id, parameters, options),
        [&procedure](const host::Reply& reply) -> py::object {
          host::Result<host::Fields> fields = DecodeNamed(procedure, reply);
          if (!fields) Raise(fields.error());
          return ValuesTuple(*fields);
        });
  }

  py::dict Counts() const {
    const host::SessionCounts counts = session_->Counts();
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

  std::string Name() const { return session_->Name(); }

  void Close() {
    py::gil_scoped_release release;
    session_->Close();
  }

 private:
  std::optional<host::BlockingSession> session_;
};

}  // namespace

void BindSession(py::module_& module) {
  py::class_<StartedCall>(module, "StartedCall")
      .def("wait", &StartedCall::Wait)
      .def("cancel", &StartedCall::Cancel)
      .def("result", &StartedCall::Result);
  py::class_<SessionHandle>(module, "Session")
      .def_static(
          "connect",
          [](const std::string& address, double connectTimeout,
             unsigned retries) {
            const host::SessionOptions options =
                MakeSessionOptions(connectTimeout, retries);
            py::gil_scoped_release release;
            return std::make_unique<SessionHandle>(
                host::BlockingSession::Connect(address, options));
          },
          py::arg("address"), py::arg("connect_timeout"), py::arg("retries"))
      .def_static(
          "open_serial",
          [](const std::string& device, unsigned baud, double connectTimeout,
             unsigned retries) {
            const host::SessionOptions options =
                MakeSessionOptions(connectTimeout, retries);
            py::gil_scoped_release release;
            return std::make_unique<SessionHandle>(
                host::BlockingSession::OpenSerial(device, baud, options));
          },
          py::arg("device"), py::arg("baud"), py::arg("connect_timeout"),
          py::arg("retries"))
      .def("call_raw", &SessionHandle::CallRaw, py::arg("procedure"),
           py::arg("parameters"), py::arg("timeout"), py::arg("retries"))
      .def("call_named", &SessionHandle::CallNamed, py::arg("name"),
           py::arg("arguments"), py::arg("timeout"), py::arg("retries"))
      .def("start_raw", &SessionHandle::StartRaw, py::arg("procedure"),
           py::arg("parameters"), py::arg("timeout"), py::arg("retries"))
      .def("start_named", &SessionHandle::StartNamed, py::arg("name"),
           py::arg("arguments"), py::arg("timeout"), py::arg("retries"))
      .def("counts", &SessionHandle::Counts)
      .def_property_readonly("name", &SessionHandle::Name)
      .def("close", &SessionHandle::Close);
}

}  // namespace Core::GEOCOM::python
