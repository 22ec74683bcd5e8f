#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <boost/json.hpp>
#include <charconv>
#include <cstring>

namespace Core::GEOCOM::host {

namespace json = boost::json;

namespace {

constexpr std::string_view kFormatName = "geocom-capture";
constexpr std::size_t kRawChunk = 65536;
constexpr std::size_t kReadChunk = 65536;
// Notes by which a version 1 relay capture marked its connections.
constexpr std::string_view kV1Opened = "host connected from";
constexpr std::string_view kV1Closed = "host disconnected";

CaptureDirection ParseDirection(std::string_view name) {
  if (name == "to-instrument") return CaptureDirection::kToInstrument;
  if (name == "to-host") return CaptureDirection::kToHost;
  return CaptureDirection::kUnknown;
}

CaptureDirection Opposite(CaptureDirection direction) {
  return direction == CaptureDirection::kToInstrument
             ? CaptureDirection::kToHost
             : CaptureDirection::kToInstrument;
}

const char* EventName(CaptureEvent event) {
  return event == CaptureEvent::kOpen ? "open" : "close";
}

void AppendString(std::string& line, std::string_view text) {
  line += json::serialize(json::string_view(text.data(), text.size()));
}

}  // namespace

const char* DirectionName(CaptureDirection direction) {
  switch (direction) {
    case CaptureDirection::kToInstrument:
      return "to-instrument";
    case CaptureDirection::kToHost:
      return "to-host";
    case CaptureDirection::kUnknown:
      break;
  }
  return "unknown";
}

CaptureWriter::CaptureWriter(std::ostream& out)
    : out_(out),
      start_(std::chrono::steady_clock::now()),
      wallStart_(std::chrono::system_clock::now()) {
  out_ << "{\"format\":\"" << kFormatName
       << "\",\"version\":" << kCaptureVersion << "}\n"
       << std::flush;
  failed_ = !out_;
}

bool CaptureWriter::Write(CaptureRecord record) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return WriteLocked(record);
}

bool CaptureWriter::WriteLocked(CaptureRecord& record) {
  if (failed_) return false;
  double time = record.time ? *record.time
                            : std::chrono::duration<double>(
                                  std::chrono::steady_clock::now() - start_)
                                  .count();
  last_ = time = std::max(time, last_);
  std::string line = "{\"time\":";
  char number[64];
  const auto printed = std::to_chars(number, number + sizeof number, time,
                                     std::chars_format::fixed, 6);
  line.append(number, printed.ptr);
  line += ",\"connection\":" + std::to_string(record.connection);
  if (record.event != CaptureEvent::kBytes) {
    line += ",\"event\":\"";
    line += EventName(record.event);
    line += '"';
  } else {
    line += ",\"direction\":\"";
    line += DirectionName(record.direction);
    line += "\",\"bytes\":";
    AppendString(line, EscapeBytes(record.bytes));
  }
  if (!record.note.empty()) {
    line += ",\"note\":";
    AppendString(line, EscapeBytes(record.note));
  }
  if (!record.fault.empty()) {
    line += ",\"fault\":";
    AppendString(line, EscapeBytes(record.fault));
  }
  line += "}\n";
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
  failed_ = !out_;
  return !failed_;
}

TrafficTap CaptureWriter::Tap(CaptureDirection sent) {
  return [this, sent](const TrafficEvent& event) {
    CaptureRecord record;
    record.time =
        std::chrono::duration<double>(event.time - wallStart_).count();
    record.connection = event.connection;
    record.direction =
        event.direction == TrafficDirection::kSent ? sent : Opposite(sent);
    record.bytes = event.bytes;
    Write(std::move(record));
  };
}

bool CaptureWriter::Open(unsigned connection, std::string note) {
  CaptureRecord record;
  record.connection = connection;
  record.event = CaptureEvent::kOpen;
  record.note = std::move(note);
  return Write(std::move(record));
}

bool CaptureWriter::Close(unsigned connection, std::string note) {
  CaptureRecord record;
  record.connection = connection;
  record.event = CaptureEvent::kClose;
  record.note = std::move(note);
  return Write(std::move(record));
}

bool CaptureWriter::Ok() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return !failed_;
}

// A parser kept across lines, with memory for one line's values that is
// reused line after line.
struct CaptureReader::Parser {
  unsigned char scratch[4096];
  unsigned char values[16384];
  json::monotonic_resource memory{values, sizeof values};
  json::parser parser{json::storage_ptr(), json::parse_options(), scratch,
                      sizeof scratch};
  json::value held;

  // The line as a JSON object, valid until the next call; nullptr when it
  // is not one.
  const json::object* Parse(std::string_view line) {
    held = nullptr;
    memory.release();
    parser.reset(json::storage_ptr(&memory));
    boost::system::error_code error;
    parser.write(line.data(), line.size(), error);
    if (error) return nullptr;
    held = parser.release();
    return held.if_object();
  }
};

CaptureReader::CaptureReader(std::istream& in)
    : in_(in), parser_(std::make_unique<Parser>()) {}

CaptureReader::~CaptureReader() = default;

bool CaptureReader::Fill() {
  if (head_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + head_, tail_ - head_);
    tail_ -= head_;
    head_ = 0;
  }
  if (buffer_.size() < tail_ + kReadChunk) buffer_.resize(tail_ + kReadChunk);
  in_.read(buffer_.data() + tail_, static_cast<std::streamsize>(kReadChunk));
  const auto count = static_cast<std::size_t>(in_.gcount());
  tail_ += count;
  return count > 0;
}

CaptureReader::Line CaptureReader::ReadLine() {
  std::size_t searched = head_;
  for (;;) {
    const void* found =
        std::memchr(buffer_.data() + searched, '\n', tail_ - searched);
    if (found != nullptr) {
      const auto end = static_cast<std::size_t>(
          static_cast<const char*>(found) - buffer_.data());
      ++lineNumber_;
      if (end - head_ > kMaxCaptureLine) return Line::kTooLong;
      line_ = std::string_view(buffer_.data() + head_, end - head_);
      head_ = end + 1;
      return Line::kWhole;
    }
    if (tail_ - head_ > kMaxCaptureLine) {
      ++lineNumber_;
      return Line::kTooLong;
    }
    searched = tail_ - head_;
    if (!Fill()) {
      if (head_ == tail_) return Line::kEnd;
      line_ = std::string_view(buffer_.data() + head_, tail_ - head_);
      head_ = tail_;
      ++lineNumber_;
      return Line::kLast;
    }
  }
}

Result<std::optional<CaptureRecord>> CaptureReader::Next() {
  if (ended_) return std::optional<CaptureRecord>();
  if (!started_) {
    started_ = true;
    Fill();
    raw_ = head_ == tail_ || buffer_[head_] != '{';
    if (!raw_) {
      const Line read = ReadLine();
      const json::object* header =
          read == Line::kWhole ? parser_->Parse(line_) : nullptr;
      const json::value* format =
          header != nullptr ? header->if_contains("format") : nullptr;
      if (format == nullptr || !format->is_string() ||
          format->get_string() != kFormatName) {
        // Not a capture header: the bytes are a raw capture after all, from
        // the first one on.
        raw_ = true;
        head_ = 0;
        lineNumber_ = 0;
      } else {
        const json::value* version = header->if_contains("version");
        const std::int64_t* number =
            version != nullptr ? version->if_int64() : nullptr;
        if (number == nullptr || *number < 1 || *number > kCaptureVersion) {
          ended_ = true;
          return Error(ErrorKind::kInvalidArgument,
                       "capture version " +
                           (version != nullptr ? json::serialize(*version)
                                               : std::string("(none)")) +
                           " is not supported (this reads versions 1 to " +
                           std::to_string(kCaptureVersion) + ")");
        }
        version_ = static_cast<int>(*number);
      }
    }
  }
  if (raw_) {
    if (head_ == tail_ && !Fill()) {
      ended_ = true;
      if (in_.bad()) return Error(ErrorKind::kIo, "cannot read the capture");
      return std::optional<CaptureRecord>();
    }
    const std::size_t count = std::min(kRawChunk, tail_ - head_);
    CaptureRecord record;
    record.bytes.assign(buffer_.data() + head_, count);
    head_ += count;
    return std::optional<CaptureRecord>(std::move(record));
  }
  return Parse();
}

Result<std::optional<CaptureRecord>> CaptureReader::Parse() {
  for (;;) {
    const Line read = ReadLine();
    const auto invalid = [&](const std::string& why) {
      ended_ = true;
      return Error(ErrorKind::kInvalidArgument,
                   "line " + std::to_string(lineNumber_) + ": " + why);
    };
    if (read == Line::kEnd) {
      ended_ = true;
      if (in_.bad()) return Error(ErrorKind::kIo, "cannot read the capture");
      return std::optional<CaptureRecord>();
    }
    if (read == Line::kTooLong) {
      return invalid("longer than " + std::to_string(kMaxCaptureLine) +
                     " bytes");
    }
    if (line_.empty() || line_ == "\r") continue;
    const json::object* object = parser_->Parse(line_);
    if (object == nullptr) {
      return invalid(read == Line::kLast ? "the last line is cut short"
                                         : "not a JSON object");
    }
    CaptureRecord record;
    const auto text = [&](const char* key) -> const json::string* {
      const json::value* found = object->if_contains(key);
      return found != nullptr ? found->if_string() : nullptr;
    };
    if (const json::string* event = text("event"); event != nullptr) {
      if (*event == "open") {
        record.event = CaptureEvent::kOpen;
      } else if (*event == "close") {
        record.event = CaptureEvent::kClose;
      } else {
        return invalid("unknown event " + json::serialize(*event));
      }
    } else {
      const json::string* bytes = text("bytes");
      if (bytes == nullptr) {
        return invalid("\"bytes\" is missing or not a string");
      }
      std::optional<std::string> unescaped =
          UnescapeBytes(std::string_view(bytes->data(), bytes->size()));
      if (!unescaped) return invalid("\"bytes\" holds a malformed escape");
      record.bytes = std::move(*unescaped);
    }
    if (const json::value* time = object->if_contains("time");
        time != nullptr && time->is_number()) {
      record.time = time->to_number<double>();
    }
    if (const json::string* direction = text("direction")) {
      record.direction = ParseDirection(
          std::string_view(direction->data(), direction->size()));
    }
    if (const json::value* connection = object->if_contains("connection")) {
      boost::system::error_code error;
      const auto number = connection->to_number<unsigned>(error);
      if (error) return invalid("\"connection\" is not a connection number");
      record.connection = number;
    }
    for (const auto& [key, target] :
         {std::pair{"note", &record.note}, std::pair{"fault", &record.fault}}) {
      if (const json::string* found = text(key)) {
        *target = UnescapeBytes(std::string_view(found->data(), found->size()))
                      .value_or("");
      }
    }
    if (version_ == 1 && record.bytes.empty()) {
      const std::string_view note = record.note;
      if (note.substr(0, kV1Opened.size()) == kV1Opened) {
        record.event = CaptureEvent::kOpen;
      } else if (note == kV1Closed) {
        record.event = CaptureEvent::kClose;
      }
    }
    return std::optional<CaptureRecord>(std::move(record));
  }
}

}  // namespace Core::GEOCOM::host
