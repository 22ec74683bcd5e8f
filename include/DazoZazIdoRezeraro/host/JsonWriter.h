#ifndef DAZOZAZIDOREZERARO_HOST_JSONWRITER_H
#define DAZOZAZIDOREZERARO_HOST_JSONWRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "Catalogue.h"
#include "Export.h"

/// @file
/// The one way this library and its tools write records as JSON text:
/// straight into a string, without building a document first. What it
/// writes is what nlohmann-json's dump writes for the same values: doubles
/// in its shortest form ("0.004", "4.0", "1e-07"), NaN and infinities as
/// null, bytes that are not UTF-8 replaced by U+FFFD, nothing escaped that
/// need not be.

namespace Core::GEOCOM::host {

/// The text as a JSON string, quotes included, appended to out.
DAZOZAZIDOREZERARO_HOST_EXPORT void AppendJsonString(std::string& out,
                                                     std::string_view text);

/// The number as JSON appended to out; null when it is not finite.
DAZOZAZIDOREZERARO_HOST_EXPORT void AppendJsonNumber(std::string& out,
                                                     double value);

/// A large buffer that writers fill in place, for a long run of lines: the
/// text goes to Drain whole each time the buffer fills and at Flush, with
/// no copy staged on the way.
class DAZOZAZIDOREZERARO_HOST_EXPORT JsonOutput {
 public:
  /// A buffer of capacity bytes, or of the least a writer needs.
  explicit JsonOutput(std::size_t capacity);
  /// What was written and not flushed is lost.
  virtual ~JsonOutput();
  JsonOutput(const JsonOutput&) = delete;
  JsonOutput& operator=(const JsonOutput&) = delete;

  /// Hands what was written to Drain. Only between writers: a writer into
  /// the buffer takes its place when made and gives it back when destroyed.
  void Flush();

 protected:
  /// Takes the text, in the order written; what it throws reaches the
  /// writer, the text counting as handed on.
  virtual void Drain(std::string_view text) = 0;

 private:
  friend class JsonWriter;
  std::unique_ptr<char[]> storage_;
  char* const begin_;
  char* at_;
  char* const end_;
};

/// Writes JSON objects into a string, keys in the order given, on one line:
/// Begin, then Key and a value for each member (a nested object is Begin
/// after Key, End after its members), End. Objects begun after an End at
/// the outermost level follow it without a separator. The text reaches the
/// string at each outermost End and when the writer is destroyed; an
/// output's buffer, when the writer is destroyed.
class DAZOZAZIDOREZERARO_HOST_EXPORT JsonWriter {
 public:
  /// Appends to out, which must outlive the writer.
  explicit JsonWriter(std::string& out)
      : out_(&out), at_(staged_), end_(staged_ + kStaged) {}
  /// Writes into the output's buffer where the last writer left it.
  explicit JsonWriter(JsonOutput& output)
      : output_(&output), at_(output.at_), end_(output.end_) {}
  ~JsonWriter();
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  /// Opens an object.
  JsonWriter& Begin();
  /// Closes the innermost open object.
  JsonWriter& End();
  /// Closes the outermost object and ends its line.
  JsonWriter& EndLine();
  /// The name of the next member.
  JsonWriter& Key(std::string_view name);
  /// The same for a name written in the source, which a record's writer
  /// gives for nearly every member: copied whole when it needs no escape.
  template <std::size_t Size>
  JsonWriter& Key(const char (&name)[Size]) {
    constexpr std::size_t kLength = Size - 1;
    static_assert(kLength + 4 <= kStaged, "a name longer than the stage");
    // Unrolled, the test of a literal's bytes is folded away.
#pragma GCC unroll 64
    for (std::size_t i = 0; i < kLength; ++i) {
      const auto byte = static_cast<unsigned char>(name[i]);
      if (byte < 0x20 || byte > 0x7e || byte == '"' || byte == '\\') {
        return Key(std::string_view(name, kLength));
      }
    }
    return PlainKey(name, kLength);
  }

  /// Members written beforehand by a writer (text that starts with a key
  /// and ends with the next key), put as they are, as if each had been
  /// written in turn: for the members that many lines start with alike.
  JsonWriter& Composed(std::string_view members);
  /// The text as a string.
  JsonWriter& String(std::string_view text);
  /// The bytes as EscapeBytes writes them, as a string.
  JsonWriter& EscapedBytes(std::string_view bytes);
  /// A whole number.
  JsonWriter& Integer(std::int64_t value);
  /// A whole number that is never negative.
  JsonWriter& Unsigned(std::uint64_t value);
  /// A number; null when it is not finite.
  JsonWriter& Number(double value);
  /// true or false.
  JsonWriter& Bool(bool value);
  /// null.
  JsonWriter& Null();
  /// The value by its type.
  JsonWriter& Value(const FieldValue& value);
  /// Each field as a member named after it, in the order given.
  JsonWriter& Members(const Fields& fields);

  /// The value, or null when there is none.
  template <typename Held>
  JsonWriter& Optional(const std::optional<Held>& value) {
    if (!value) return Null();
    if constexpr (std::is_floating_point_v<Held>) {
      return Number(*value);
    } else if constexpr (std::is_signed_v<Held>) {
      return Integer(*value);
    } else {
      return Unsigned(*value);
    }
  }

 private:
  // A name that needs no escape, no longer than the stage less four:
  // the comma, the quoted name and the colon written at once.
  JsonWriter& PlainKey(const char* name, std::size_t size) {
    if (Left() < size + 4) Flush();
    char* into = at_;
    if (afterValue_) *into++ = ',';
    *into++ = '"';
    std::memcpy(into, name, size);
    into += size;
    *into++ = '"';
    *into++ = ':';
    at_ = into;
    afterValue_ = false;
    return *this;
  }
  std::size_t Left() const { return static_cast<std::size_t>(end_ - at_); }
  void Put(const char* text, std::size_t size);
  void Put(char byte);
  void PutString(std::string_view text);
  void Flush();
  // Where the next size bytes go, flushing first if they would not fit.
  char* Room(std::size_t size);
  // Ends a value written into Room at end.
  void Took(char* end);

  friend class JsonOutput;
  // The text is gathered here and appended to out_ in pieces: appending
  // each brace, quote and key on its own would cost more than writing them.
  // An output's buffer is never smaller.
  static constexpr std::size_t kStaged = 256;
  // Enough for any number: a 64-bit integer takes 20 characters, a double
  // in the shortest form 24, and its routine wants 23 to work in.
  static constexpr std::size_t kNumberRoom = 32;
  // Where the text goes: a string (through staged_) or an output.
  std::string* const out_ = nullptr;
  JsonOutput* const output_ = nullptr;
  char staged_[kStaged];
  // The next byte's place and the end of the room for it, in staged_ or in
  // the output's buffer.
  char* at_;
  char* const end_;
  int depth_ = 0;
  bool afterValue_ = false;  // a member before this one needs a comma
};

}  // namespace Core::GEOCOM::host

#endif
