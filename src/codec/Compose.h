#ifndef DAZOZAZIDOREZERARO_CODEC_COMPOSE_H
#define DAZOZAZIDOREZERARO_CODEC_COMPOSE_H

#include <boost/format.hpp>
#include <locale>
#include <string>
#include <type_traits>

namespace Core::GEOCOM::codec {

// Truth values go out as the integers 1 and 0 and enumerations as their
// integer values; everything else is fed as it is.
template <typename Value>
auto AsFormatArgument(const Value& value) {
  if constexpr (std::is_same_v<Value, bool>) {
    return value ? 1 : 0;
  } else if constexpr (std::is_enum_v<Value>) {
    return static_cast<int>(value);
  } else {
    return value;
  }
}

// The one way the library composes text: a positional format string fed with
// the values in argument-number order. Any exception (a malformed format,
// too many or too few arguments, exhausted memory) yields the empty string,
// so no packer ever throws. The classic locale is pinned so that a host's
// global locale cannot change the decimal point or add digit grouping.
template <typename... Values>
std::string Compose(const char* formatString,
                    const Values&... values) noexcept {
  try {
    boost::format format(formatString, std::locale::classic());
    (format % ... % AsFormatArgument(values));
    return format.str();
  } catch (...) {
    return std::string();
  }
}

}  // namespace Core::GEOCOM::codec

#endif
