#ifndef DAZOZAZIDOREZERARO_HOST_DECIMAL_H
#define DAZOZAZIDOREZERARO_HOST_DECIMAL_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Core::GEOCOM::host {

// Reads -?[0-9]+(.[0-9]+)? of at most 15 digits from at on, such as every
// time a capture writer gives and nearly every value an instrument sends,
// with one division: both its digits as a whole number and the power of ten
// are exact doubles then, and the quotient is rounded once, as a correct
// reading of the decimal itself (strtod, from_chars) rounds it. Leaves at
// after the number, where a digit or a point cannot follow it but anything
// else may. False when no such number starts at at.
inline bool ReadShortDecimalAt(const char*& at, const char* end,
                               double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3, 1e4,  1e5,
                                       1e6,  1e7,  1e8,  1e9, 1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15};
  const bool negative = at != end && *at == '-';
  if (negative) ++at;
  std::uint64_t digits = 0;  // may wrap on a long run, refused below
  const auto digitRun = [&at, end, &digits] {
    const char* const from = at;
    for (; at != end && static_cast<unsigned>(*at - '0') < 10; ++at) {
      digits = digits * 10 + static_cast<unsigned>(*at - '0');
    }
    return at - from;
  };
  const auto whole = digitRun();
  if (whole == 0) return false;
  std::ptrdiff_t decimals = 0;
  if (at != end && *at == '.') {
    ++at;
    decimals = digitRun();
    if (decimals == 0 || (at != end && *at == '.')) return false;
  }
  if (whole + decimals > 15) return false;
  // Converted as signed, which the machine does in one instruction.
  value = static_cast<double>(static_cast<std::int64_t>(digits)) /
          kPowers[decimals];
  if (negative) value = -value;
  return true;
}

// The same for the whole of the text: false for any other text, which the
// caller reads the general way.
inline bool ReadShortDecimal(std::string_view text, double& value) {
  const char* at = text.data();
  const char* const end = at + text.size();
  return ReadShortDecimalAt(at, end, value) && at == end;
}

}  // namespace Core::GEOCOM::host

#endif
