#include "codec/NumberParser.h"

#include <locale.h>
#include <clocale>
#include <cstdlib>
#include <limits>

namespace Core::GEOCOM::codec {

namespace {

// Fields longer than this go through a stream: no instrument sends one, and
// the gathered characters then fit on the stack.
constexpr std::size_t kGatherLimit = 63;

bool IsClassicSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The characters the classic locale's floating-point extraction takes from
// the field, in its order of rules: an optional sign; digits, one decimal
// point before any exponent, and one exponent marker after some mantissa
// digit, with an optional sign right after it. Stops at the first character
// that fits none. Returns the gathered length. (The extraction also folds
// leading zeros into one, which changes no value strtod reads.)
std::size_t Gather(const char* begin, const char* end, char* out) {
  std::size_t length = 0;
  const char* at = begin;
  if (at != end && (*at == '+' || *at == '-')) out[length++] = *at++;
  bool foundMantissa = false;
  bool foundDecimal = false;
  bool foundExponent = false;
  while (at != end) {
    const char c = *at;
    if (IsDigit(c)) {
      out[length++] = c;
      foundMantissa = true;
    } else if (c == '.' && !foundDecimal && !foundExponent) {
      out[length++] = '.';
      foundDecimal = true;
    } else if ((c == 'e' || c == 'E') && !foundExponent && foundMantissa) {
      out[length++] = 'e';
      foundExponent = true;
      if (++at == end) break;
      if (*at == '+' || *at == '-') {
        out[length++] = *at;
      } else {
        continue;
      }
    } else {
      break;
    }
    ++at;
  }
  return length;
}

// The C locale the extraction converts with, whatever the program's own.
locale_t ClassicCLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
  return c;
}

}  // namespace

template <>
bool ParseNumber<double>(std::string_view field, double& value) {
  const char* begin = field.data();
  const char* const end = begin + field.size();
  while (begin != end && IsClassicSpace(*begin)) ++begin;
  // Only white space: the stream's sentry fails before anything is stored.
  if (begin == end) return false;
  const locale_t c = ClassicCLocale();
  if (static_cast<std::size_t>(end - begin) > kGatherLimit || c == nullptr) {
    if (detail::FieldStream* const stream =
            ThisThreads<detail::FieldStream>()) {
      return stream->Extract(field, value);
    }
    detail::FieldStream stream;
    return stream.Extract(field, value);
  }
  char gathered[kGatherLimit + 1];
  gathered[Gather(begin, end, gathered)] = '\0';
  char* converted = nullptr;
  value = strtod_l(gathered, &converted, c);
  // What the extraction stores when the characters do not make a number or
  // the number is beyond a double.
  if (converted == gathered || *converted != '\0') {
    value = 0.0;
    return false;
  }
  if (value == std::numeric_limits<double>::infinity()) {
    value = std::numeric_limits<double>::max();
    return false;
  }
  if (value == -std::numeric_limits<double>::infinity()) {
    value = -std::numeric_limits<double>::max();
    return false;
  }
  return true;
}

}  // namespace Core::GEOCOM::codec
