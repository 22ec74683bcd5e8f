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
  if (!Check()) throw std::runtime_error(error_);
}

host::TrafficTap RelayCapture::Tap() {
  return [this, tap = writer_->Tap(host::CaptureDirection::kToInstrument)](
             const host::TrafficEvent& event) {
    if (!Ok()) return;
    tap(event);
    Check();
  };
}

bool RelayCapture::Open(unsigned connection, std::string note) {
  if (!Ok()) return false;
  writer_->Open(connection, std::move(note));
  return Check();
}

bool RelayCapture::Close(unsigned connection, std::string note) {
  if (!Ok()) return false;
  writer_->Close(connection, std::move(note));
  return Check();
}

bool RelayCapture::Note(unsigned connection, std::string note) {
  host::CaptureRecord record;
  record.connection = connection;
  record.note = std::move(note);
  if (!Ok()) return false;
  writer_->Write(std::move(record));
  return Check();
}

bool RelayCapture::Check() {
  if (!Ok()) return false;
  if (writer_->Ok()) {
    written_ = file_.tellp();
    return true;
  }
  error_ = "cannot write the capture to " + path_ + ": " + std::strerror(errno);
  file_.close();
  // A record cut off half-way would make the whole file unreadable.
  std::error_code ignored;
  std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(written_),
                               ignored);
  return false;
}

}  // namespace geocom
