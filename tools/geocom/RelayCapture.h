#ifndef GEOCOM_TOOL_RELAYCAPTURE_H
#define GEOCOM_TOOL_RELAYCAPTURE_H

#include <DazoZazIdoRezeraro/host/Capture.h>

#include <fstream>
#include <optional>
#include <string>

// The file a relay records into. Every record is flushed as it is written;
// when a write fails (a full disk), the file is cut back to the last whole
// record, so that what it holds stays a readable capture.
namespace geocom {

class RelayCapture {
 public:
  // Creates or empties the file and writes the capture header; throws
  // std::runtime_error naming the file when that fails.
  explicit RelayCapture(std::string path);

  // Records what a host's connection carries, seen from the host (its sent
  // bytes go to the instrument). After each call, Ok() says whether the
  // bytes were written.
  Core::GEOCOM::host::TrafficTap Tap();
  // Marks a host's connection opening or closing, or notes what happened
  // to it; false once a write has failed.
  bool Open(unsigned connection, std::string note);
  bool Close(unsigned connection, std::string note);
  bool Note(unsigned connection, std::string note);

  // Whether every write so far succeeded; Error() explains when not.
  bool Ok() const { return error_.empty(); }
  // Why the last write failed, naming the file; empty while none has.
  const std::string& Error() const { return error_; }

  const std::string& Path() const { return path_; }

 private:
  bool Check();

  std::string path_;
  std::ofstream file_;
  std::optional<Core::GEOCOM::host::CaptureWriter> writer_;
  std::streamoff written_ = 0;  // size of the file up to its last whole record
  std::string error_;
};

}  // namespace geocom

#endif
