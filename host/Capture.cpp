#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <array>
#include <nlohmann/json.hpp>

namespace Core::GEOCOM::host {

namespace {

constexpr const char* kFormatName = "geocom-capture";
constexpr std::size_t kRawChunk = 65536;

Direction ParseDirection(const std::string& name) {
  if (name == "to-instrument") return Direction::kToInstrument;
  if (name == "to-host") return Direction::kToHost;
  return Direction::kUnknown;
}

}  // namespace

const char* DirectionName(Direction direction) {
  switch (direction) {
    case Direction::kToInstrument:
      return "to-instrument";
    case Direction::kToHost:
      return "to-host";
    case Direction::kUnknown:
      break;
  }
  return "unknown";
}

CaptureWriter::CaptureWriter(std::ostream& out)
    : out_(out), start_(std::chrono::steady_clock::now()) {
  out_ << nlohmann::json{{"format", kFormatName}, {"version", kCaptureVersion}}
              .dump()
       << '\n'
       << std::flush;
}

bool CaptureWriter::Write(CaptureRecord record) {
  if (!record.time) {
    record.time =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_)
            .count();
  }
  nlohmann::json line{{"time", *record.time},
                      {"direction", DirectionName(record.direction)},
                      {"bytes", EscapeBytes(record.bytes)}};
  if (!record.note.empty()) line["note"] = EscapeBytes(record.note);
  if (!record.fault.empty()) line["fault"] = EscapeBytes(record.fault);
  out_ << line.dump() << '\n' << std::flush;
  return static_cast<bool>(out_);
}

CaptureReader::CaptureReader(std::istream& in) : in_(in) {}

Result<std::optional<CaptureRecord>> CaptureReader::Next() {
  if (!started_) {
    started_ = true;
    const int first = in_.peek();
    raw_ = first != '{';
    if (!raw_) {
      std::string header;
      std::getline(in_, header);
      ++line_;
      const nlohmann::json parsed =
          nlohmann::json::parse(header, nullptr, false);
      const auto field = [&parsed](const char* key) {
        return parsed.is_object() && parsed.contains(key) ? parsed[key]
                                                          : nlohmann::json();
      };
      if (field("format") != kFormatName) {
        // Not a capture header: the bytes are a raw capture after all, the
        // line just read being its first bytes.
        raw_ = true;
        CaptureRecord record;
        record.bytes = std::move(header);
        if (!in_.eof()) record.bytes += '\n';
        return std::optional<CaptureRecord>(std::move(record));
      }
      if (field("version") != kCaptureVersion) {
        return Error(ErrorKind::kInvalidArgument,
                     "capture version " + field("version").dump() +
                         " is not supported (this reads version " +
                         std::to_string(kCaptureVersion) + ")");
      }
    }
  }
  if (raw_) {
    std::array<char, kRawChunk> chunk{};
    in_.read(chunk.data(), chunk.size());
    const auto count = static_cast<std::size_t>(in_.gcount());
    if (count == 0) {
      if (in_.bad()) return Error(ErrorKind::kIo, "cannot read the capture");
      return std::optional<CaptureRecord>();
    }
    CaptureRecord record;
    record.bytes.assign(chunk.data(), count);
    return std::optional<CaptureRecord>(std::move(record));
  }
  std::string text;
  while (std::getline(in_, text)) {
    ++line_;
    if (text.empty()) continue;
    const auto invalid = [&](const std::string& why) {
      return Error(ErrorKind::kInvalidArgument,
                   "line " + std::to_string(line_) + ": " + why);
    };
    const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (!parsed.is_object()) return invalid("not a JSON object");
    const auto bytes = parsed.find("bytes");
    if (bytes == parsed.end() || !bytes->is_string()) {
      return invalid("\"bytes\" is missing or not a string");
    }
    std::optional<std::string> unescaped =
        UnescapeBytes(bytes->get<std::string>());
    if (!unescaped) return invalid("\"bytes\" holds a malformed escape");
    CaptureRecord record;
    record.bytes = std::move(*unescaped);
    const auto time = parsed.find("time");
    if (time != parsed.end() && time->is_number()) {
      record.time = time->get<double>();
    }
    const auto direction = parsed.find("direction");
    if (direction != parsed.end() && direction->is_string()) {
      record.direction = ParseDirection(direction->get<std::string>());
    }
    for (const auto& [key, target] :
         {std::pair{"note", &record.note}, std::pair{"fault", &record.fault}}) {
      const auto found = parsed.find(key);
      if (found != parsed.end() && found->is_string()) {
        *target = UnescapeBytes(found->get<std::string>()).value_or("");
      }
    }
    return std::optional<CaptureRecord>(std::move(record));
  }
  if (in_.bad()) return Error(ErrorKind::kIo, "cannot read the capture");
  return std::optional<CaptureRecord>();
}

}  // namespace Core::GEOCOM::host
