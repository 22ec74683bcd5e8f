#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>

#include "PlainText.h"

namespace Core::GEOCOM::host {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// What a byte becomes inside a JSON string: 0 for itself, a letter for its
// short escape, 'u' for \u00NN, '8' for a byte above 0x7f.
constexpr std::array<char, 256> kEscapes = [] {
  std::array<char, 256> table{};
  for (std::size_t byte = 0; byte < 0x20; ++byte) table[byte] = 'u';
  for (const auto& [byte, escape] : {std::pair{'\b', 'b'},
                                     {'\f', 'f'},
                                     {'\n', 'n'},
                                     {'\r', 'r'},
                                     {'\t', 't'},
                                     {'"', '"'},
                                     {'\\', '\\'}}) {
    table[static_cast<unsigned char>(byte)] = escape;
  }
  for (std::size_t byte = 0x80; byte < 0x100; ++byte) table[byte] = '8';
  return table;
}();

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  JsonWriter(out).String(text);
}

void AppendJsonNumber(std::string& out, double value) {
  JsonWriter(out).Number(value);
}

inline void JsonWriter::Put(const char* text, std::size_t size) {
  if (stagedSize_ + size > sizeof staged_) {
    Flush();
    if (size > sizeof staged_) {
      out_.append(text, size);
      return;
    }
  }
  std::memcpy(staged_ + stagedSize_, text, size);
  stagedSize_ += size;
}

inline void JsonWriter::Put(char byte) {
  if (stagedSize_ == sizeof staged_) Flush();
  staged_[stagedSize_++] = byte;
}

inline void JsonWriter::PutString(std::string_view text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  // Keys and most values are short plain text: one check and one copy.
  if (stagedSize_ + text.size() + 2 <= sizeof staged_ &&
      PlainRun(at, end) == text.size()) {
    char* const into = staged_ + stagedSize_;
    into[0] = '"';
    std::memcpy(into + 1, at, text.size());
    into[text.size() + 1] = '"';
    stagedSize_ += text.size() + 2;
    return;
  }
  const std::size_t start = out_.size() + stagedSize_;
  Put('"');
  while (at != end) {
    const std::size_t plain = PlainRun(at, end);
    Put(at, plain);
    at += plain;
    if (at == end) break;
    const auto byte = static_cast<unsigned char>(*at++);
    const char escape = kEscapes[byte];
    if (escape == 0) {
      Put(static_cast<char>(byte));
    } else if (escape == 'u') {
      const char code[] = {
          '\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0x0f]};
      Put(code, sizeof code);
    } else if (escape != '8') {
      const char pair[] = {'\\', escape};
      Put(pair, sizeof pair);
    } else {
      // Whether the bytes are UTF-8, and what replaces them where they are
      // not, is the library's to decide; such text is rare in a record.
      Flush();
      out_.resize(start);
      out_ += nlohmann::json(text).dump(
          -1, ' ', false, nlohmann::json::error_handler_t::replace);
      return;
    }
  }
  Put('"');
}

void JsonWriter::Flush() {
  out_.append(staged_, stagedSize_);
  stagedSize_ = 0;
}

JsonWriter::~JsonWriter() { Flush(); }

JsonWriter& JsonWriter::Begin() {
  Put('{');
  ++depth_;
  afterValue_ = false;
  return *this;
}

JsonWriter& JsonWriter::End() {
  Put('}');
  afterValue_ = true;
  if (--depth_ <= 0) Flush();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  if (afterValue_) Put(',');
  afterValue_ = false;
  PutString(name);
  Put(':');
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  PutString(text);
  afterValue_ = true;
  return *this;
}

JsonWriter& JsonWriter::EscapedBytes(std::string_view bytes) {
  // The escaped form is printable ASCII, so its JSON text is written in one
  // pass: each escape with its backslash doubled, a quote escaped.
  Put('"');
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  while (at != end) {
    const std::size_t plain = PlainRun(at, end);
    Put(at, plain);
    at += plain;
    if (at == end) break;
    const auto byte = static_cast<unsigned char>(*at++);
    char escape[4];
    const std::size_t length = ByteEscape(byte, escape);
    if (length == 0) {
      byte == '"' ? Put(R"(\")", 2) : Put(static_cast<char>(byte));
      continue;
    }
    for (std::size_t i = 0; i < length; ++i) {
      escape[i] == '\\' ? Put(R"(\\)", 2) : Put(escape[i]);
    }
  }
  Put('"');
  afterValue_ = true;
  return *this;
}

inline char* JsonWriter::Room(std::size_t size) {
  if (stagedSize_ + size > sizeof staged_) Flush();
  return staged_ + stagedSize_;
}

inline void JsonWriter::Took(const char* end) {
  stagedSize_ = static_cast<std::size_t>(end - staged_);
  afterValue_ = true;
}

// Numbers are written straight into the stage, which always has room for
// the longest.
JsonWriter& JsonWriter::Integer(std::int64_t value) {
  char* const into = Room(kNumberRoom);
  Took(std::to_chars(into, into + kNumberRoom, value).ptr);
  return *this;
}

JsonWriter& JsonWriter::Unsigned(std::uint64_t value) {
  char* const into = Room(kNumberRoom);
  Took(std::to_chars(into, into + kNumberRoom, value).ptr);
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  if (!std::isfinite(value)) return Null();
  // The library's own shortest form, so that a number reads the same
  // whichever of the two wrote it.
  char* const into = Room(kNumberRoom);
  Took(nlohmann::detail::to_chars(into, into + kNumberRoom, value));
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  value ? Put("true", 4) : Put("false", 5);
  afterValue_ = true;
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Put("null", 4);
  afterValue_ = true;
  return *this;
}

JsonWriter& JsonWriter::Value(const FieldValue& value) {
  struct Visitor {
    JsonWriter& writer;
    void operator()(std::int64_t held) const { writer.Integer(held); }
    void operator()(double held) const { writer.Number(held); }
    void operator()(bool held) const { writer.Bool(held); }
    void operator()(const std::string& held) const { writer.String(held); }
  };
  std::visit(Visitor{*this}, value);
  return *this;
}

JsonWriter& JsonWriter::Members(const Fields& fields) {
  for (const Field& field : fields) Key(field.name).Value(field.value);
  return *this;
}

}  // namespace Core::GEOCOM::host
