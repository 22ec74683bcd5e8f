#ifndef DAZOZAZIDOREZERARO_HOST_CAPTURE_H
#define DAZOZAZIDOREZERARO_HOST_CAPTURE_H

#include <chrono>
#include <cstdint>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Export.h"
#include "Result.h"
#include "Traffic.h"

/// @file
/// The capture format: one JSON object per line, the first a header, then a
/// record for every piece of traffic with its connection, direction, time
/// and bytes exactly as they passed (escaped as EscapeBytes writes them),
/// and a mark where each connection opens and closes.

namespace Core::GEOCOM::host {

/// The version of the capture format this library writes; it reads this
/// one and every earlier one.
inline constexpr int kCaptureVersion = 2;

/// The longest capture line a reader takes; a longer one is passed over,
/// keeping no more than this much of it in memory, and becomes a kLongLine
/// record.
inline constexpr std::size_t kMaxCaptureLine = std::size_t{1} << 20;

/// How many of an over-long line's first bytes its kLongLine record keeps.
inline constexpr std::size_t kLongLineStart = 64;

/// Which way bytes went.
enum class CaptureDirection {
  kUnknown,       ///< A raw capture, which does not say.
  kToInstrument,  ///< From the host to the instrument.
  kToHost,        ///< From the instrument to the host.
};

/// The name a capture uses for the direction: "to-instrument", "to-host" or
/// "unknown".
DAZOZAZIDOREZERARO_HOST_EXPORT const char* DirectionName(
    CaptureDirection direction);

/// What a record marks.
enum class CaptureEvent {
  kBytes,  ///< Bytes that passed (possibly none, with a note).
  kOpen,   ///< The connection opened: its framing starts afresh.
  kClose,  ///< The connection closed: what it left unfinished ends here.
  /// A capture line longer than kMaxCaptureLine, which the reader passed
  /// over: bytes holds its first kLongLineStart bytes as they stand in the
  /// file. Only a reader makes these; a writer leaves them out.
  kLongLine,
};

/// One piece of traffic, or a connection's mark.
struct CaptureRecord {
  /// Seconds since the capture started; nullopt when unknown.
  std::optional<double> time;
  /// Which connection: 0 in a capture of one connection, in version 1
  /// captures and in raw ones.
  unsigned connection = 0;
  CaptureEvent event = CaptureEvent::kBytes;  ///< What the record marks.
  /// Which way the bytes went.
  CaptureDirection direction = CaptureDirection::kUnknown;
  std::string bytes;  ///< The bytes exactly as they passed.
  /// What the writer knew of them, e.g. the procedure's name; may be empty.
  std::string note;
  /// A fault the writer applied to them (a virtual instrument's log); may be
  /// empty.
  std::string fault;
  /// kLongLine: the line's number in the file and its length in bytes,
  /// newline left out.
  std::uint64_t line = 0;
  std::uint64_t length = 0;  ///< kLongLine: the line's length in bytes.
};

/// Writes a capture: the header at construction, then one line per record.
/// Safe to use from several threads.
class DAZOZAZIDOREZERARO_HOST_EXPORT CaptureWriter {
 public:
  /// Writes the header to out, which must outlive the writer.
  explicit CaptureWriter(std::ostream& out);
  /// Writes the record now, stamped with the time since construction when
  /// it carries none; flushes, so that a stopped program leaves every record
  /// whole. Times never run backwards: a record stamped before the last one
  /// written gets the last one's time. False when the stream failed (a full
  /// disk), then and for every later record.
  bool Write(CaptureRecord record);
  /// A tap that writes every event it sees as a record of its connection;
  /// sent says which way the reporter's sent bytes go (kToInstrument for a
  /// host, kToHost for an instrument). The writer must outlive the tap.
  TrafficTap Tap(CaptureDirection sent);
  /// Marks where a connection opens; note says what it is.
  bool Open(unsigned connection, std::string note = {});
  /// Marks where a connection closes; note may say why.
  bool Close(unsigned connection, std::string note = {});
  /// Whether every record so far was written.
  bool Ok() const;

 private:
  bool WriteLocked(CaptureRecord& record);

  std::ostream& out_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::system_clock::time_point wallStart_;
  mutable std::mutex mutex_;
  double last_ = 0;
  bool failed_ = false;
};

/// Reads a capture written by CaptureWriter (any version up to
/// kCaptureVersion), or a raw byte capture, which becomes records of unknown
/// direction and time.
class DAZOZAZIDOREZERARO_HOST_EXPORT CaptureReader {
 public:
  /// Reads from in, which must outlive the reader.
  explicit CaptureReader(std::istream& in);
  ~CaptureReader();
  CaptureReader(const CaptureReader&) = delete;
  CaptureReader& operator=(const CaptureReader&) = delete;

  /// The next record; nullopt at the end. A line longer than
  /// kMaxCaptureLine is a kLongLine record, and reading goes on after it.
  /// Fails with kInvalidArgument naming the line for a malformed line, a
  /// last line cut short and an unknown version, and with kIo when the
  /// input cannot be read; the records before the failure are all handed
  /// out first, and the reader ends after it.
  Result<std::optional<CaptureRecord>> Next();
  /// Next into record, reusing the storage of its strings (every member is
  /// set afresh): true with a record, false at the end, the same failures.
  Result<bool> Read(CaptureRecord& record);
  /// Whether the input is a raw byte capture.
  bool raw() const { return raw_; }
  /// The format version read (0 for a raw capture, once Next was called).
  int version() const { return version_; }

 private:
  enum class Line { kWhole, kLast, kTooLong, kEnd };
  Line ReadLine();
  bool Fill();
  Result<bool> Parse(CaptureRecord& record);
  void PassOverLongLine(CaptureRecord& record);

  std::istream& in_;
  std::vector<char> buffer_;
  std::size_t head_ = 0;  // first byte not yet handed out
  std::size_t tail_ = 0;  // end of the bytes read
  std::string_view line_;
  bool started_ = false;
  bool raw_ = false;
  bool ended_ = false;
  int version_ = 0;
  std::uint64_t lineNumber_ = 0;
  struct Parser;
  std::unique_ptr<Parser> parser_;
};

}  // namespace Core::GEOCOM::host

#endif
