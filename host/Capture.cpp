#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "Decimal.h"
#include "PlainText.h"

namespace Core::GEOCOM::host {

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

// A record as a default one, keeping its strings' storage for the next.
void Clear(CaptureRecord& record) {
  record.time.reset();
  record.connection = 0;
  record.event = CaptureEvent::kBytes;
  record.direction = CaptureDirection::kUnknown;
  record.bytes.clear();
  record.note.clear();
  record.fault.clear();
  record.line = record.length = 0;
}

const char* EventName(CaptureEvent event) {
  return event == CaptureEvent::kOpen ? "open" : "close";
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
  // A reader's mark of a line it passed over holds no traffic.
  if (record.event == CaptureEvent::kLongLine) return true;
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
    AppendJsonString(line, EscapeBytes(record.bytes));
  }
  if (!record.note.empty()) {
    line += ",\"note\":";
    AppendJsonString(line, EscapeBytes(record.note));
  }
  if (!record.fault.empty()) {
    line += ",\"fault\":";
    AppendJsonString(line, EscapeBytes(record.fault));
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

// Reads one capture line at a time without building a document: only the
// values of the keys a capture uses are kept, in strings reused line after
// line.
struct CaptureReader::Parser final : nlohmann::json_sax<nlohmann::json> {
  struct Text {
    bool present = false;
    std::string value;
  };
  enum class Key {
    kOther,
    kFormat,
    kVersion,
    kTime,
    kConnection,
    kEvent,
    kDirection,
    kBytes,
    kNote,
    kFault
  };

  // What the line holds; valid until the next call.
  Text format, event, direction, bytes, note, fault;
  std::optional<double> time;
  // The direction of a line read in a writer's shape, which names it
  // without the text.
  std::optional<CaptureDirection> scannedDirection;
  // The bytes of a line read in a writer's shape, their escapes undone,
  // where the reader keeps them; bytes is not set then.
  std::optional<std::string_view> scannedBytes;
  bool hasConnection = false;
  std::optional<unsigned> connection;  // nullopt: not a connection number
  bool hasVersion = false;
  std::optional<std::int64_t> version;  // nullopt: not an integer
  std::string versionText;              // the version as the line has it

  // False when the line is not one JSON object.
  bool Parse(std::string_view line) {
    Reset();
    if (ScanWritten(line)) return true;
    Reset();
    if (ScanFlat(line)) return true;
    Reset();
    return nlohmann::json::sax_parse(line.data(), line.data() + line.size(),
                                     this) &&
           object_;
  }

  bool null() override { return Other("null"); }
  bool boolean(bool value) override { return Other(value ? "true" : "false"); }
  bool number_integer(number_integer_t value) override {
    if (!Scalar()) return true;
    if (key_ == Key::kTime) time = static_cast<double>(value);
    if (key_ == Key::kVersion) {
      version = value;
      versionText = std::to_string(value);
    }
    if (key_ == Key::kConnection && value >= 0 &&
        static_cast<std::uint64_t>(value) <=
            std::numeric_limits<unsigned>::max()) {
      connection = static_cast<unsigned>(value);
    }
    return true;
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (!Scalar()) return true;
    if (key_ == Key::kTime) time = static_cast<double>(value);
    if (key_ == Key::kVersion) {
      versionText = std::to_string(value);
      if (value <= static_cast<std::uint64_t>(
                       std::numeric_limits<std::int64_t>::max())) {
        version = static_cast<std::int64_t>(value);
      }
    }
    if (key_ == Key::kConnection &&
        value <= std::numeric_limits<unsigned>::max()) {
      connection = static_cast<unsigned>(value);
    }
    return true;
  }
  bool number_float(number_float_t value, const string_t& text) override {
    if (!Scalar()) return true;
    if (key_ == Key::kTime) time = value;
    if (key_ == Key::kVersion) versionText = text;
    // A whole number written with a fraction or an exponent still names a
    // connection, as it is the same number.
    if (key_ == Key::kConnection && value >= 0 &&
        value <= std::numeric_limits<unsigned>::max() &&
        std::trunc(value) == value) {
      connection = static_cast<unsigned>(value);
    }
    return true;
  }
  bool string(string_t& value) override {
    if (!Scalar()) return true;
    if (Text* target = TextOf(key_)) {
      target->present = true;
      target->value.assign(value);
    }
    if (key_ == Key::kVersion) versionText = nlohmann::json(value).dump();
    return true;
  }
  bool binary(binary_t& /*value*/) override { return Other("binary"); }
  bool start_object(std::size_t /*elements*/) override {
    if (depth_ == 0) object_ = true;
    Other("{...}");
    ++depth_;
    return true;
  }
  bool key(string_t& name) override {
    if (depth_ == 1) key_ = KeyOf(name);
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t /*elements*/) override {
    Other("[...]");
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  // In the order a writer puts them on a line, so that the scanner, which
  // tries the key after the last one it found first, mostly hits at once.
  static constexpr std::pair<std::string_view, Key> kKeys[] = {
      {"time", Key::kTime},           {"connection", Key::kConnection},
      {"direction", Key::kDirection}, {"bytes", Key::kBytes},
      {"event", Key::kEvent},         {"note", Key::kNote},
      {"fault", Key::kFault},         {"format", Key::kFormat},
      {"version", Key::kVersion}};
  static constexpr std::size_t kKeyCount = std::size(kKeys);

  static Key KeyOf(std::string_view name) {
    for (const auto& [known, key] : kKeys) {
      if (known == name) return key;
    }
    return Key::kOther;
  }

  Text* TextOf(Key key) {
    switch (key) {
      case Key::kFormat:
        return &format;
      case Key::kEvent:
        return &event;
      case Key::kDirection:
        return &direction;
      case Key::kBytes:
        return &bytes;
      case Key::kNote:
        return &note;
      case Key::kFault:
        return &fault;
      default:
        return nullptr;
    }
  }

  // A value of a key of the line itself (not one inside a value) forgets
  // what an earlier value of that key left; false for values deeper in.
  bool Scalar() {
    if (depth_ != 1) return false;
    if (Text* target = TextOf(key_)) target->present = false;
    if (key_ == Key::kTime) time.reset();
    if (key_ == Key::kConnection) {
      hasConnection = true;
      connection.reset();
    }
    if (key_ == Key::kVersion) {
      hasVersion = true;
      version.reset();
    }
    return true;
  }

  // A value none of the keys takes: it only says what the version was.
  bool Other(std::string_view text) {
    if (Scalar() && key_ == Key::kVersion) versionText = text;
    return true;
  }

  void Reset() {
    for (Text* text : {&format, &event, &direction, &bytes, &note, &fault}) {
      text->present = false;
    }
    time.reset();
    scannedDirection.reset();
    scannedBytes.reset();
    hasConnection = hasVersion = object_ = false;
    depth_ = 0;
    key_ = Key::kOther;
    nextKey_ = 0;
  }

  // Reads a line of the shape a writer gives it (one object of strings and
  // plain numbers, no white space, no escapes but \" and \\, ASCII only)
  // without the general parser, handing each member to the same callbacks.
  // False, with the callbacks' results to be discarded, for any other line:
  // the general parser then reads it, and is the one to say what is wrong.
  bool ScanFlat(std::string_view line) {
    const char* at = line.data();
    const char* const end = at + line.size();
    if (at == end || *at++ != '{') return false;
    start_object(0);
    if (at != end && *at == '}') return ++at == end && end_object();
    for (;;) {
      if (!ScanKnownKey(at, end)) {
        if (!ScanString(at, end, name_)) return false;
        key(name_);
      }
      if (at == end || *at++ != ':' || at == end) return false;
      if (Text* target = TextOf(key_); target != nullptr && *at == '"') {
        // Straight into the member's reused string, not through a copy.
        if (!ScanString(at, end, target->value)) return false;
        target->present = true;
      } else if (*at == '"') {
        if (!ScanString(at, end, value_)) return false;
        string(value_);
      } else if (!ScanNumber(at, end)) {
        return false;
      }
      if (at == end) return false;
      const char next = *at++;
      if (next == '}') return at == end && end_object();
      if (next != ',') return false;
    }
  }

  // Takes the text if the line goes on with it.
  static bool Literal(const char*& at, const char* end, std::string_view text) {
    if (static_cast<std::size_t>(end - at) < text.size() ||
        std::memcmp(at, text.data(), text.size()) != 0) {
      return false;
    }
    at += text.size();
    return true;
  }

  // Reads a line of traffic exactly as a writer writes it, the members in
  // its order: {"time":T,"connection":N,"direction":"D","bytes":"B"}, a
  // time of at most 15 digits, a connection of at most 9. False for any
  // other line, with what it read to be discarded: the scanner above reads
  // it then.
  bool ScanWritten(std::string_view line) {
    const char* at = line.data();
    const char* const end = at + line.size();
    if (!Literal(at, end, R"({"time":)")) return false;
    // A time as the writer gives it: a short decimal, not negative, without
    // a leading zero.
    const char* const timeStart = at;
    double seconds = 0;
    if (at == end || *at == '-' || !ReadShortDecimalAt(at, end, seconds) ||
        (at - timeStart > 1 && timeStart[0] == '0' && timeStart[1] != '.') ||
        !Literal(at, end, R"(,"connection":)")) {
      return false;
    }
    const char* const digits = at;
    unsigned number = 0;
    for (; at != end && *at >= '0' && *at <= '9' && at - digits < 10; ++at) {
      number = number * 10 + static_cast<unsigned>(*at - '0');
    }
    if (at == digits || at - digits > 9 ||
        (*digits == '0' && at - digits > 1) ||
        !Literal(at, end, R"(,"direction":")")) {
      return false;
    }
    std::size_t named = 0;
    for (const auto& [name, way] :
         {std::pair{std::string_view("to-host"), CaptureDirection::kToHost},
          std::pair{std::string_view("to-instrument"),
                    CaptureDirection::kToInstrument}}) {
      if (static_cast<std::size_t>(end - at) > name.size() &&
          at[name.size()] == '"' &&
          std::memcmp(at, name.data(), name.size()) == 0) {
        named = name.size();
        scannedDirection = way;
      }
    }
    at += named;
    if (named == 0 || !Literal(at, end, R"(","bytes":)") ||
        !ScanRawBytes(at, end) || end - at != 1 || *at != '}') {
      return false;
    }
    object_ = true;
    time = seconds;
    hasConnection = true;
    connection = number;
    return true;
  }

  // The bytes' string of a writer's line read into the bytes themselves in
  // one pass: the string's escapes (\" and \\) and the bytes' own inside
  // it (\r, \n, \t, \xNN and \\, each with its backslash escaped for the
  // string) undone together. False for any other escape: the readers after
  // this one judge it.
  bool ScanRawBytes(const char*& at, const char* end) {
    if (at == end || *at++ != '"') return false;
    // The bytes are no longer than their text: written in place into
    // storage kept from line to line, without a call for each piece, and
    // copied out once at their length.
    const auto room = static_cast<std::size_t>(end - at);
    if (rawBytes_.size() < room) rawBytes_.resize(room);
    char* const start = rawBytes_.data();
    char* into = start;
    for (;;) {
      const std::size_t plain = PlainRun(at, end);
      std::memcpy(into, at, plain);
      into += plain;
      at += plain;
      // A line that ends here lacks the closing quote and brace.
      if (end - at < 2) return false;
      const char byte = *at++;
      if (byte == '"') {
        scannedBytes = {start, static_cast<std::size_t>(into - start)};
        return true;
      }
      if (byte != '\\') return false;
      if (*at == '"') {
        *into++ = '"';
        ++at;
        continue;
      }
      // Only the bytes' own backslash may follow: the escape is behind it.
      if (*at++ != '\\' || at == end) return false;
      switch (*at++) {
        case 'r':
          *into++ = '\r';
          break;
        case 'n':
          *into++ = '\n';
          break;
        case 't':
          *into++ = '\t';
          break;
        case '\\':
          if (at == end || *at++ != '\\') return false;
          *into++ = '\\';
          break;
        case 'x': {
          if (end - at < 2) return false;
          const int high = HexValue(at[0]);
          const int low = HexValue(at[1]);
          if (high < 0 || low < 0) return false;
          *into++ = static_cast<char>(high * 16 + low);
          at += 2;
          break;
        }
        default:
          return false;
      }
    }
  }

  // One of the keys a capture uses, quoted without escapes, matched where
  // it stands instead of copied out first.
  bool ScanKnownKey(const char*& at, const char* end) {
    const auto left = static_cast<std::size_t>(end - at);
    for (std::size_t tried = 0; tried < kKeyCount; ++tried) {
      const std::size_t index = (nextKey_ + tried) % kKeyCount;
      const auto& [known, found] = kKeys[index];
      const std::size_t size = known.size();
      if (left >= size + 2 && at[0] == '"' && at[size + 1] == '"' &&
          std::memcmp(at + 1, known.data(), size) == 0) {
        key_ = found;
        nextKey_ = index + 1;
        at += size + 2;
        return true;
      }
    }
    return false;
  }

  // A string of printable ASCII whose only escapes are \" and \\.
  static bool ScanString(const char*& at, const char* end, std::string& out) {
    if (at == end || *at++ != '"') return false;
    out.clear();
    const char* run = at;
    for (; at != end; ++at) {
      at += PlainRun(at, end);
      if (at == end) break;
      const auto byte = static_cast<unsigned char>(*at);
      if (byte == '"') {
        out.append(run, static_cast<std::size_t>(at - run));
        ++at;
        return true;
      }
      if (byte < 0x20 || byte > 0x7e) return false;
      if (byte == '\\') {
        if (end - at < 2 || (at[1] != '"' && at[1] != '\\')) return false;
        out.append(run, static_cast<std::size_t>(at - run));
        run = ++at;
      }
    }
    return false;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?, typed as the general parser types it.
  bool ScanNumber(const char*& at, const char* end) {
    const char* const start = at;
    const bool negative = at != end && *at == '-';
    if (negative) ++at;
    const char* const digits = at;
    while (at != end && *at >= '0' && *at <= '9') ++at;
    if (at == digits || (*digits == '0' && at - digits > 1)) return false;
    bool fraction = false;
    if (at != end && *at == '.') {
      fraction = true;
      const char* const decimals = ++at;
      while (at != end && *at >= '0' && *at <= '9') ++at;
      if (at == decimals) return false;
    }
    if (at != end && (*at == 'e' || *at == 'E')) return false;
    if (fraction) {
      double value = 0;
      if (!ReadShortDecimal(
              std::string_view(start, static_cast<std::size_t>(at - start)),
              value)) {
        const auto read = std::from_chars(start, at, value);
        if (read.ec != std::errc() || read.ptr != at) return false;
      }
      // Only a version is kept as the line has it.
      if (key_ == Key::kVersion) number_text_.assign(start, at);
      return number_float(value, number_text_);
    }
    if (negative) {
      std::int64_t value = 0;
      const auto read = std::from_chars(start, at, value);
      return read.ec == std::errc() && read.ptr == at && number_integer(value);
    }
    std::uint64_t value = 0;
    const auto read = std::from_chars(start, at, value);
    return read.ec == std::errc() && read.ptr == at && number_unsigned(value);
  }

  bool object_ = false;  // the line's value is an object
  int depth_ = 0;
  Key key_ = Key::kOther;
  std::size_t nextKey_ = 0;  // where the search for the next known key starts
  std::string name_, value_, number_text_;  // reused line after line
  std::string rawBytes_;  // as long as the longest bytes' text read so far
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
  CaptureRecord record;
  Result<bool> read = Read(record);
  if (!read) return read.error();
  if (!*read) return std::optional<CaptureRecord>();
  return std::optional<CaptureRecord>(std::move(record));
}

Result<bool> CaptureReader::Read(CaptureRecord& record) {
  if (ended_) return false;
  if (!started_) {
    started_ = true;
    Fill();
    raw_ = head_ == tail_ || buffer_[head_] != '{';
    if (!raw_) {
      const Line read = ReadLine();
      Parser& header = *parser_;
      if (read != Line::kWhole || !header.Parse(line_) ||
          !header.format.present || header.format.value != kFormatName) {
        // Not a capture header: the bytes are a raw capture after all, from
        // the first one on.
        raw_ = true;
        head_ = 0;
        lineNumber_ = 0;
      } else {
        if (!header.version || *header.version < 1 ||
            *header.version > kCaptureVersion) {
          ended_ = true;
          return Error(ErrorKind::kInvalidArgument,
                       "capture version " +
                           (header.hasVersion ? header.versionText
                                              : std::string("(none)")) +
                           " is not supported (this reads versions 1 to " +
                           std::to_string(kCaptureVersion) + ")");
        }
        version_ = static_cast<int>(*header.version);
      }
    }
  }
  if (raw_) {
    if (head_ == tail_ && !Fill()) {
      ended_ = true;
      if (in_.bad()) return Error(ErrorKind::kIo, "cannot read the capture");
      return false;
    }
    const std::size_t count = std::min(kRawChunk, tail_ - head_);
    Clear(record);
    record.bytes.assign(buffer_.data() + head_, count);
    head_ += count;
    return true;
  }
  return Parse(record);
}

Result<bool> CaptureReader::Parse(CaptureRecord& record) {
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
      return false;
    }
    if (read == Line::kTooLong) {
      PassOverLongLine(record);
      return true;
    }
    if (line_.empty() || line_ == "\r") continue;
    Parser& line = *parser_;
    if (!line.Parse(line_)) {
      return invalid(read == Line::kLast ? "the last line is cut short"
                                         : "not a JSON object");
    }
    Clear(record);
    if (line.event.present) {
      if (line.event.value == "open") {
        record.event = CaptureEvent::kOpen;
      } else if (line.event.value == "close") {
        record.event = CaptureEvent::kClose;
      } else {
        return invalid("unknown event " +
                       nlohmann::json(line.event.value).dump());
      }
    } else if (line.scannedBytes) {
      record.bytes.assign(*line.scannedBytes);
    } else {
      if (!line.bytes.present) {
        return invalid("\"bytes\" is missing or not a string");
      }
      if (!AppendUnescapedBytes(record.bytes, line.bytes.value)) {
        return invalid("\"bytes\" holds a malformed escape");
      }
    }
    record.time = line.time;
    if (line.scannedDirection) {
      record.direction = *line.scannedDirection;
    } else if (line.direction.present) {
      record.direction = ParseDirection(line.direction.value);
    }
    if (line.hasConnection) {
      if (!line.connection) {
        return invalid("\"connection\" is not a connection number");
      }
      record.connection = *line.connection;
    }
    for (const auto& [found, target] :
         {std::pair{&line.note, &record.note},
          std::pair{&line.fault, &record.fault}}) {
      if (found->present && !AppendUnescapedBytes(*target, found->value)) {
        target->clear();
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
    return true;
  }
}

void CaptureReader::PassOverLongLine(CaptureRecord& record) {
  Clear(record);
  record.event = CaptureEvent::kLongLine;
  record.line = lineNumber_;
  record.bytes.assign(buffer_.data() + head_,
                      std::min(kLongLineStart, tail_ - head_));
  // Read on in pieces, keeping none, up to the line's end.
  for (;;) {
    const void* found =
        std::memchr(buffer_.data() + head_, '\n', tail_ - head_);
    if (found != nullptr) {
      const auto end = static_cast<std::size_t>(
          static_cast<const char*>(found) - buffer_.data());
      record.length += end - head_;
      head_ = end + 1;
      return;
    }
    record.length += tail_ - head_;
    head_ = tail_;
    if (!Fill()) return;
  }
}

}  // namespace Core::GEOCOM::host
