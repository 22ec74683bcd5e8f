#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/TrafficDecoder.h>

#include <deque>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "Bindings.h"
#include "Errors.h"
#include "Values.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

py::object Optional(const std::optional<double>& value) {
  return value ? py::object(py::float_(*value)) : py::object(py::none());
}

py::dict FieldsDict(const host::Fields& fields) {
  py::dict values;
  for (const host::Field& field : fields) {
    values[py::str(field.name)] = ToPython(field.value);
  }
  return values;
}

// A decoded record as a dict of the Python record's fields.
py::dict RecordDict(const host::TrafficRecord& record) {
  py::dict values;
  values["kind"] = host::TrafficKindName(record.kind);
  values["connection"] = record.connection;
  values["direction"] = host::DirectionName(record.direction);
  values["time"] = Optional(record.time);
  values["bytes"] = py::bytes(record.bytes);
  values["sequence"] = record.sequence;
  values["procedure"] = record.procedure
                            ? py::object(py::int_(*record.procedure))
                            : py::object(py::none());
  values["exchange"] = record.exchange;
  values["return_code"] = record.returnCode;
  values["round_trip_ms"] = Optional(record.roundTripMs);
  values["late"] = record.late;
  values["fields"] = record.fields ? py::object(FieldsDict(*record.fields))
                                   : py::object(py::none());
  values["parameters"] = record.parameters;
  values["size"] = record.size;
  values["line"] = record.line;
  return values;
}

// Reads a capture file and decodes it record by record, for a Python
// iterator: requests, replies paired with them, time-outs and the rest.
class CaptureFile {
 public:
  explicit CaptureFile(const std::string& path)
      : path_(path),
        in_(path, std::ios::binary),
        reader_(in_),
        decoder_([this](host::TrafficRecord&& record) {
          decoded_.push_back(std::move(record));
        }) {
    if (!in_) {
      // Python's own exception for the cause: FileNotFoundError, ...
      PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
      throw py::error_already_set();
    }
  }

  // The next decoded record as a dict, or None at the end.
  py::object Next() {
    while (decoded_.empty() && !finished_) {
      host::Result<std::optional<host::CaptureRecord>> next = reader_.Next();
      if (!next) {
        host::Error error = next.error();
        error.message = path_ + ": " + error.message;
        Raise(error);
      }
      if (*next) {
        decoder_.Add(**next);
      } else {
        decoder_.Finish();
        finished_ = true;
      }
    }
    if (decoded_.empty()) return py::none();
    py::dict record = RecordDict(decoded_.front());
    decoded_.pop_front();
    return record;
  }

 private:
  std::string path_;
  std::ifstream in_;
  host::CaptureReader reader_;
  std::deque<host::TrafficRecord> decoded_;
  host::TrafficDecoder decoder_;
  bool finished_ = false;
};

}  // namespace

void BindCapture(py::module_& module) {
  py::class_<CaptureFile>(module, "CaptureFile")
      .def(py::init<const std::string&>(), py::arg("path"))
      .def("next", &CaptureFile::Next);
}

}  // namespace Core::GEOCOM::python
