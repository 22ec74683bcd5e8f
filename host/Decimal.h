#ifndef DAZOZAZIDOREZERARO_HOST_DECIMAL_H
#define DAZOZAZIDOREZERARO_HOST_DECIMAL_H

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace Core::GEOCOM::host {

// Reads -?[0-9]+(.[0-9]+)? of at most 15 digits, such as every time a
// capture writer gives and nearly every value an instrument sends, with one
// division: both its digits as a whole number and the power of ten are
// exact doubles then, and the quotient is rounded once, as a correct reading
// of the decimal itself (strtod, from_chars) rounds it. False for any other
// text, which the caller reads the general way.
inline bool ReadShortDecimal(std::string_view text, double& value) {
  constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* at = text.data();
  const char* const end = at + text.size();
  const bool negative = at != end && *at == '-';
  if (negative) ++at;
  std::uint64_t digits = 0;
  int count = 0;
  int decimals = -1;
  for (; at != end; ++at) {
    if (*at == '.' && decimals < 0 && count > 0) {
      decimals = 0;
      continue;
    }
    if (*at < '0' || *at > '9' || ++count > 15) return false;
    digits = digits * 10 + static_cast<unsigned>(*at - '0');
    if (decimals >= 0) ++decimals;
  }
  if (count == 0 || decimals == 0) return false;
  value = static_cast<double>(digits) / kPowers[std::max(decimals, 0)];
  if (negative) value = -value;
  return true;
}

}  // namespace Core::GEOCOM::host

#endif
