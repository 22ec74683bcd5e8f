#ifndef DAZOZAZIDOREZERARO_HOST_CAPTURE_H
#define DAZOZAZIDOREZERARO_HOST_CAPTURE_H

#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "Export.h"
#include "Result.h"

/// @file
/// The capture format: one JSON object per line, the first a header, then a
/// record for every piece of traffic with its direction, its time and its
/// bytes exactly as they passed (escaped as EscapeBytes writes them).

namespace Core::GEOCOM::host {

/// The version of the capture format this library writes and reads.
inline constexpr int kCaptureVersion = 1;

/// Which way bytes went.
enum class Direction {
  kUnknown,       ///< A raw capture, which does not say.
  kToInstrument,  ///< From the host to the instrument.
  kToHost,        ///< From the instrument to the host.
};

/// The name a capture uses for the direction: "to-instrument", "to-host" or
/// "unknown".
DAZOZAZIDOREZERARO_HOST_EXPORT const char* DirectionName(Direction direction);

/// One piece of traffic.
struct CaptureRecord {
  /// Seconds since the capture started; nullopt when unknown.
  std::optional<double> time;
  Direction direction = Direction::kUnknown;  ///< Which way the bytes went.
  std::string bytes;  ///< The bytes exactly as they passed.
  /// What the writer knew of them, e.g. the procedure's name; may be empty.
  std::string note;
  /// A fault the writer applied to them (a virtual instrument's log); may be
  /// empty.
  std::string fault;
};

/// Writes a capture: the header at construction, then one line per record.
class DAZOZAZIDOREZERARO_HOST_EXPORT CaptureWriter {
 public:
  /// Writes the header to out, which must outlive the writer.
  explicit CaptureWriter(std::ostream& out);
  /// Writes the record now, stamped with the time since construction when
  /// it carries none; flushes, so that a stopped program leaves every record
  /// whole. False when the stream failed (a full disk).
  bool Write(CaptureRecord record);

 private:
  std::ostream& out_;
  std::chrono::steady_clock::time_point start_;
};

/// Reads a capture written by CaptureWriter, or a raw byte capture, which
/// becomes records of unknown direction and time.
class DAZOZAZIDOREZERARO_HOST_EXPORT CaptureReader {
 public:
  /// Reads from in, which must outlive the reader.
  explicit CaptureReader(std::istream& in);
  /// The next record; nullopt at the end. A malformed line of a capture
  /// fails with kInvalidArgument naming its line number.
  Result<std::optional<CaptureRecord>> Next();
  /// Whether the input is a raw byte capture.
  bool raw() const { return raw_; }

 private:
  std::istream& in_;
  bool started_ = false;
  bool raw_ = false;
  std::uint64_t line_ = 0;
};

}  // namespace Core::GEOCOM::host

#endif
