#include "RelayCapture.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace geocom {

using namespace Core::GEOCOM;

RelayCapture::RelayCapture(std::string path)
    : path_(std::move(path)), file_(path_, std::ios::binary | std::ios::trunc) {
  if (!file_) {
    throw std::runtime_error("cannot create " + path_ + ": " +
                             std::strerror(errno));
  }
  writer_.emplace(file_);
  if (!file_) {
    Failed();
    throw std::runtime_error(error_);
  }
  written_ = file_.tellp();
}

bool RelayCapture::Write(host::Direction direction, std::string_view bytes,
                         std::string note) {
  if (!error_.empty()) return false;
  host::CaptureRecord record;
  record.direction = direction;
  record.bytes = bytes;
  record.note = std::move(note);
  if (!writer_->Write(std::move(record))) return Failed();
  written_ = file_.tellp();
  return true;
}

bool RelayCapture::Failed() {
  error_ = "cannot write the capture to " + path_ + ": " + std::strerror(errno);
  file_.close();
  // A record cut off half-way would make the whole file unreadable.
  std::error_code ignored;
  std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(written_),
                               ignored);
  return false;
}

}  // namespace geocom
