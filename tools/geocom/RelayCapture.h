#ifndef GEOCOM_TOOL_RELAYCAPTURE_H
#define GEOCOM_TOOL_RELAYCAPTURE_H

#include <DazoZazIdoRezeraro/host/Capture.h>

#include <fstream>
#include <optional>
#include <string>
#include <string_view>

// The file a relay records into. Every record is flushed as it is written;
// when a write fails (a full disk), the file is cut back to the last whole
// record, so that what it holds stays a readable capture.
namespace geocom {

class RelayCapture {
 public:
  // Creates or empties the file and writes the capture header; throws
  // std::runtime_error naming the file when that fails.
  explicit RelayCapture(std::string path);

  // Writes one record stamped with the time since construction; false once
  // a write has failed, which Error() then explains.
  bool Write(Core::GEOCOM::host::Direction direction, std::string_view bytes,
             std::string note = {});

  // Why the last write failed, naming the file; empty while none has.
  const std::string& Error() const { return error_; }

  const std::string& Path() const { return path_; }

 private:
  bool Failed();

  std::string path_;
  std::ofstream file_;
  std::optional<Core::GEOCOM::host::CaptureWriter> writer_;
  std::streamoff written_ = 0;  // size of the file up to its last whole record
  std::string error_;
};

}  // namespace geocom

#endif
