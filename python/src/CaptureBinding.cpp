#include <DazoZazIdoRezeraro/host/Capture.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "Bindings.h"
#include "Errors.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

// Reads a capture file record by record, for a Python iterator.
class CaptureFile {
 public:
  explicit CaptureFile(const std::string& path)
      : path_(path), in_(path, std::ios::binary), reader_(in_) {
    if (!in_) {
      Raise(host::Error(host::ErrorKind::kIo, "cannot open " + path));
    }
  }

  // The next record as (time, direction, bytes, note, fault), or None.
  py::object Next() {
    host::Result<std::optional<host::CaptureRecord>> next = reader_.Next();
    if (!next) {
      host::Error error = next.error();
      error.message = path_ + ": " + error.message;
      Raise(error);
    }
    if (!*next) return py::none();
    const host::CaptureRecord& record = **next;
    return py::make_tuple(record.time ? py::object(py::float_(*record.time))
                                      : py::object(py::none()),
                          host::DirectionName(record.direction),
                          py::bytes(record.bytes), record.note, record.fault);
  }

 private:
  std::string path_;
  std::ifstream in_;
  host::CaptureReader reader_;
};

}  // namespace

void BindCapture(py::module_& module) {
  py::class_<CaptureFile>(module, "CaptureFile")
      .def(py::init<const std::string&>(), py::arg("path"))
      .def("next", &CaptureFile::Next);
}

}  // namespace Core::GEOCOM::python
