#ifndef DAZOZAZIDOREZERARO_CODEC_COMPOSE_H
#define DAZOZAZIDOREZERARO_CODEC_COMPOSE_H

#include <boost/format.hpp>
#include <cstring>
#include <locale>
#include <ostream>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "codec/PerThread.h"

namespace Core::GEOCOM::codec {

namespace detail {

// A number that reaches the wire in the classic locale (decimal point ".", no
// digit grouping) whatever the host's global locale. Boost.Format sets up a
// fresh stream in the global locale for every argument; a format object that
// carried the classic locale would imbue that stream twice per argument, the
// largest cost of composing. So the format objects carry no locale, and the
// stream is switched here, just before the number is written, only when its
// locale is not the classic one already: in the usual case of a classic
// global locale that costs one comparison.
template <typename Number>
struct ClassicNumber {
  Number value;
};

// A stream swallows an exception thrown while it writes and only sets its
// bad bit; the value would then be missing from the text, which must fail
// instead.
inline std::ostream& ThrowIfBad(std::ostream& stream) {
  if (stream.bad()) {
    throw std::ios_base::failure("composition lost a value");
  }
  return stream;
}

template <typename Number>
std::ostream& operator<<(std::ostream& stream,
                         const ClassicNumber<Number>& number) {
  const std::locale classic = std::locale::classic();
  if (stream.getloc() != classic) {
    stream.imbue(classic);
  }
  return ThrowIfBad(stream << number.value);
}

template <typename Text>
struct CheckedText {
  const Text& value;
};

template <typename Text>
std::ostream& operator<<(std::ostream& stream, const CheckedText<Text>& text) {
  return ThrowIfBad(stream << text.value);
}

// Truth values go out as the integers 1 and 0 and enumerations as their
// integer values; other numbers are fed as they are and texts by reference,
// without a copy. Each checks that the stream kept it.
template <typename Value>
decltype(auto) AsFormatArgument(const Value& value) {
  if constexpr (std::is_same_v<Value, bool>) {
    return ClassicNumber<int>{value ? 1 : 0};
  } else if constexpr (std::is_enum_v<Value>) {
    return ClassicNumber<int>{static_cast<int>(value)};
  } else if constexpr (std::is_arithmetic_v<Value>) {
    return ClassicNumber<Value>{value};
  } else {
    return CheckedText<Value>{value};
  }
}

// The format strings never change, so each thread parses each of them once
// and reuses the parsed format object. The text is kept beside it so that a
// pointer that once named another format string is never mistaken for it.
// Parsing looks only at the ASCII directives, which every locale reads alike.
struct ParsedFormat {
  explicit ParsedFormat(const char* formatString)
      : text(formatString), format(formatString) {}

  std::string text;
  boost::format format;
};

using ParsedFormats = std::unordered_map<const char*, ParsedFormat>;

inline boost::format& ParsedFormatFor(ParsedFormats& formats,
                                      const char* formatString) {
  const auto found = formats.find(formatString);
  if (found != formats.end()) {
    if (std::strcmp(found->second.text.c_str(), formatString) == 0) {
      found->second.format.clear();
      return found->second.format;
    }
    formats.erase(found);
  }
  return formats.try_emplace(formatString, formatString).first->second.format;
}

template <typename... Values>
std::string Feed(boost::format& format, const Values&... values) {
  (format % ... % AsFormatArgument(values));
  return format.str();
}

}  // namespace detail

// The one way the library composes text: a positional format string fed with
// the values in argument-number order. Any exception (a malformed format,
// too many or too few arguments, exhausted memory) yields the empty string,
// so no packer ever throws; a format object that threw is dropped rather
// than reused.
template <typename... Values>
std::string Compose(const char* formatString,
                    const Values&... values) noexcept {
  detail::ParsedFormats* formats = nullptr;
  try {
    formats = ThisThreads<detail::ParsedFormats>();
    if (formats == nullptr) {
      boost::format format(formatString);
      return detail::Feed(format, values...);
    }
    return detail::Feed(detail::ParsedFormatFor(*formats, formatString),
                        values...);
  } catch (...) {
    if (formats != nullptr) {
      formats->erase(formatString);
    }
    return std::string();
  }
}

}  // namespace Core::GEOCOM::codec

#endif
