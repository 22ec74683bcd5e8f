#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
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

// What a byte below 0x80 becomes inside a JSON string: 0 for itself, a
// letter for its short escape, 'u' for \u00NN.
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
  return table;
}();

// What a byte that is not plain becomes in the JSON text of its escaped
// form: its escape with the backslash doubled (or the quote escaped), padded
// to a fixed length so that it is copied in one piece.
struct EscapedByte {
  char text[7];
  unsigned char length;
};

constexpr std::array<EscapedByte, 256> kEscapedBytes = [] {
  std::array<EscapedByte, 256> table{};
  for (std::size_t byte = 0; byte < table.size(); ++byte) {
    char escape[4] = {static_cast<char>(byte)};
    std::size_t length = ByteEscape(static_cast<unsigned char>(byte), escape);
    if (length == 0) length = 1;  // the byte itself
    std::size_t written = 0;
    char* const text = table[byte].text;
    for (std::size_t i = 0; i < length; ++i) {
      if (escape[i] == '\\' || escape[i] == '"') text[written++] = '\\';
      text[written++] = escape[i];
    }
    table[byte].length = static_cast<unsigned char>(written);
  }
  return table;
}();

// "00" to "99", each pair of digits at twice its value.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

// 10^n, the least number of n + 1 digits, for each count of digits up to
// a short decimal's fifteen.
constexpr auto kWholePowers = [] {
  std::array<std::uint64_t, 16> powers{1};
  for (std::size_t n = 1; n < powers.size(); ++n) {
    powers[n] = powers[n - 1] * 10;
  }
  return powers;
}();

// Writes a double as the decimal of at most 15 significant digits, between
// 1e-3 and 1e14, that lies within 0.96 of half its spacing from it, in plain
// notation, the way the JSON library's shortest-form routine does; returns
// nullptr for any other double, which goes to that routine. Such a decimal
// is the routine's answer: every other decimal of as few digits lies more
// than four spacings away, so none is in the interval the routine searches,
// and that interval, narrower than the true one by under a hundredth of it,
// still holds this one. Every time and round trip of a record, and nearly
// every value, was read from such a decimal.
char* ShortDecimal(char* into, double value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3, 1e4,  1e5,
                                       1e6,  1e7,  1e8,  1e9, 1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15};
  if (!(value >= 1e-3 && value < 1e14)) return nullptr;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  constexpr std::uint64_t kFraction = (std::uint64_t{1} << 52) - 1;
  // The spacing to the double above; the one below is half of it at a
  // power of two.
  const std::uint64_t spacingBits =
      (bits & ~kFraction) - (std::uint64_t{52} << 52);
  double spacing = 0;
  std::memcpy(&spacing, &spacingBits, sizeof spacing);
  if ((bits & kFraction) == 0) spacing /= 2;
  const double reach = 0.96 * spacing / 2;
  // The finest grid of decimals that keeps fifteen digits: a decimal of
  // fewer decimals within reach lies on it too, and, the grid's step being
  // more than four spacings, it is then the grid point nearest the double.
  // The power of ten below the double, from its power of two, is low by at
  // most one.
  const int binaryExponent = static_cast<int>(bits >> 52) - 1023;
  const int decimalExponent = (binaryExponent * 78913) >> 18;
  std::size_t decimals =
      static_cast<std::size_t>(std::min(15, 14 - decimalExponent));
  double scaled = value * kPowers[decimals];
  if (scaled >= 1e15) scaled = value * kPowers[--decimals];
  // Converted as signed, which the machine does in one instruction; the
  // digits are under 1e15.
  const auto nearest = static_cast<std::int64_t>(scaled + 0.5);
  // Exactly how far the grid point lies from the double, rounded once.
  const double off =
      std::fma(value, kPowers[decimals], -static_cast<double>(nearest));
  if (std::fabs(off) > reach * kPowers[decimals]) return nullptr;
  auto digits = static_cast<std::uint64_t>(nearest);
  // Its trailing zeros dropped, at most the decimals' count of them.
  const auto dropZeros = [&digits, &decimals](std::size_t zeros,
                                              std::uint64_t power) {
    if (decimals >= zeros && digits % power == 0) {
      digits /= power;
      decimals -= zeros;
    }
  };
  dropZeros(8, 100000000);
  dropZeros(4, 10000);
  dropZeros(2, 100);
  dropZeros(1, 10);
  // Written in place from the last digit back, two at a time, the point
  // after the decimals (or ".0" for a whole number), at least one digit
  // before it. Its length known first: text gathered elsewhere and copied
  // in one piece would be read back before its bytes were all stored.
  // The count of digits from the count of bits (never none: the double is
  // at least 1e-3), low by at most one.
  const auto bitLength = static_cast<std::size_t>(64 - __builtin_clzll(digits));
  std::size_t length = (bitLength * 1233) >> 12;
  if (digits >= kWholePowers[length]) ++length;
  const std::size_t wholeLength = length > decimals ? length - decimals : 1;
  char* const end = into + wholeLength + 1 + (decimals == 0 ? 1 : decimals);
  char* at = end;
  const auto putPair = [&at](std::uint64_t pair) {
    at -= 2;
    std::memcpy(at, kDigitPairs + 2 * pair, 2);
  };
  if (decimals == 0) *--at = '0';
  for (; decimals >= 2; decimals -= 2) {
    putPair(digits % 100);
    digits /= 100;
  }
  if (decimals == 1) {
    *--at = static_cast<char>('0' + digits % 10);
    digits /= 10;
  }
  *--at = '.';
  for (; digits >= 100; digits /= 100) putPair(digits % 100);
  if (digits >= 10) {
    putPair(digits);
  } else {
    *--at = static_cast<char>('0' + digits);
  }
  return end;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  JsonWriter(out).String(text);
}

void AppendJsonNumber(std::string& out, double value) {
  JsonWriter(out).Number(value);
}

JsonOutput::JsonOutput(std::size_t capacity)
    : storage_(new char[std::max(capacity, JsonWriter::kStaged)]),
      begin_(storage_.get()),
      at_(begin_),
      end_(begin_ + std::max(capacity, JsonWriter::kStaged)) {}

JsonOutput::~JsonOutput() = default;

void JsonOutput::Flush() {
  const std::string_view text(begin_, static_cast<std::size_t>(at_ - begin_));
  at_ = begin_;
  if (!text.empty()) Drain(text);
}

inline void JsonWriter::Put(const char* text, std::size_t size) {
  if (Left() < size) {
    Flush();
    if (Left() < size) {
      // Longer than the room when empty: straight to where the text goes.
      output_ != nullptr ? output_->Drain({text, size})
                         : static_cast<void>(out_->append(text, size));
      return;
    }
  }
  std::memcpy(at_, text, size);
  at_ += size;
}

inline void JsonWriter::Put(char byte) {
  if (at_ == end_) Flush();
  *at_++ = byte;
}

inline void JsonWriter::PutString(std::string_view text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  // Keys and most values are short plain text: one check and one copy.
  if (text.size() + 2 <= Left() && PlainRun(at, end) == text.size()) {
    char* const into = at_;
    into[0] = '"';
    std::memcpy(into + 1, at, text.size());
    into[text.size() + 1] = '"';
    at_ += text.size() + 2;
    return;
  }
  // Whether bytes above 0x7f are UTF-8, and what replaces them where they
  // are not, is the library's to decide; such text is rare in a record.
  if (std::any_of(at, end, [](char byte) {
        return static_cast<unsigned char>(byte) >= 0x80;
      })) {
    const std::string dumped = nlohmann::json(text).dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    return Put(dumped.data(), dumped.size());
  }
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
    } else {
      const char pair[] = {'\\', escape};
      Put(pair, sizeof pair);
    }
  }
  Put('"');
}

void JsonWriter::Flush() {
  if (output_ != nullptr) {
    // The writer's place first: should the output throw, nothing is handed
    // on twice.
    output_->at_ = at_;
    at_ = output_->begin_;
    output_->Flush();
    return;
  }
  out_->append(staged_, static_cast<std::size_t>(at_ - staged_));
  at_ = staged_;
}

JsonWriter::~JsonWriter() {
  if (output_ != nullptr) {
    output_->at_ = at_;
  } else if (at_ != staged_) {
    Flush();
  }
}

JsonWriter& JsonWriter::Begin() {
  Put('{');
  ++depth_;
  afterValue_ = false;
  return *this;
}

JsonWriter& JsonWriter::End() {
  Put('}');
  afterValue_ = true;
  // An output's text goes on when its buffer is full.
  if (--depth_ <= 0 && output_ == nullptr) Flush();
  return *this;
}

JsonWriter& JsonWriter::EndLine() {
  const char end[] = {'}', '\n'};
  Put(end, sizeof end);
  afterValue_ = true;
  if (--depth_ <= 0 && output_ == nullptr) Flush();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  // A field's name is short plain text: written as a literal name is.
  if (PlainRun(name.data(), name.data() + name.size()) == name.size() &&
      name.size() + 4 <= kStaged) {
    return PlainKey(name.data(), name.size());
  }
  if (afterValue_) Put(',');
  afterValue_ = false;
  PutString(name);
  Put(':');
  return *this;
}

JsonWriter& JsonWriter::Composed(std::string_view members) {
  if (afterValue_) Put(',');
  Put(members.data(), members.size());
  afterValue_ = false;
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
    const EscapedByte& escaped =
        kEscapedBytes[static_cast<unsigned char>(*at++)];
    std::memcpy(Room(sizeof escaped.text), escaped.text, sizeof escaped.text);
    at_ += escaped.length;
  }
  Put('"');
  afterValue_ = true;
  return *this;
}

inline char* JsonWriter::Room(std::size_t size) {
  if (Left() < size) Flush();
  return at_;
}

inline void JsonWriter::Took(char* end) {
  at_ = end;
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
  // A record's connection and size are nearly always under a hundred: their
  // digits straight from the table of pairs.
  if (value < 100) {
    std::memcpy(into, kDigitPairs + 2 * value + (value < 10 ? 1 : 0), 2);
    Took(into + (value < 10 ? 1 : 2));
    return *this;
  }
  Took(std::to_chars(into, into + kNumberRoom, value).ptr);
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  if (!std::isfinite(value)) return Null();
  // The library's own shortest form, so that a number reads the same
  // whichever of the two wrote it.
  char* const room = Room(kNumberRoom);
  char* into = room;
  if (std::signbit(value)) {
    *into++ = '-';
    value = -value;
  }
  char* const end = ShortDecimal(into, value);
  Took(end != nullptr
           ? end
           : nlohmann::detail::to_chars(into, room + kNumberRoom, value));
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
