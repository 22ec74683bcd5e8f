#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "PlainText.h"

namespace Core::GEOCOM::host {

std::string EscapeBytes(std::string_view bytes) {
  std::string out;
  AppendEscapedBytes(out, bytes);
  return out;
}

void AppendEscapedBytes(std::string& out, std::string_view bytes) {
  out.reserve(out.size() + bytes.size());
  const char* run = bytes.data();
  const char* const end = run + bytes.size();
  for (const char* at = run; at != end; ++at) {
    at += PlainRun(at, end);
    if (at == end) break;
    char escape[4];
    const std::size_t length =
        ByteEscape(static_cast<unsigned char>(*at), escape);
    if (length == 0) continue;
    out.append(run, static_cast<std::size_t>(at - run));
    run = at + 1;
    out.append(escape, length);
  }
  out.append(run, static_cast<std::size_t>(end - run));
}

std::optional<std::string> UnescapeBytes(std::string_view text) {
  std::string out;
  if (!AppendUnescapedBytes(out, text)) return std::nullopt;
  return out;
}

bool AppendUnescapedBytes(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      const std::size_t escape = std::min(text.find('\\', i), text.size());
      out.append(text, i, escape - i);
      i = escape - 1;
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        if (text.size() - i < 3) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

std::string FormatDouble(double value) {
  std::array<char, 32> text{};
  const auto result =
      std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

std::string FormatFixed(double value, int decimals) {
  // Room for the largest double's 309 digits, a sign, a point and the
  // decimals.
  std::array<char, 330> text{};
  const auto result =
      std::to_chars(text.data(), text.data() + text.size(), value,
                    std::chars_format::fixed, std::clamp(decimals, 0, 17));
  const std::string_view written(
      text.data(), static_cast<std::size_t>(result.ptr - text.data()));
  if (written.front() == '-' &&
      written.find_first_not_of("-0.") == std::string_view::npos) {
    return std::string(written.substr(1));
  }
  return std::string(written);
}

std::string FormatDateTime(const DATIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u",
                static_cast<unsigned>(t.year), t.month % 100u, t.day % 100u,
                t.hour % 100u, t.minute % 100u, t.second % 100u);
  return text;
}

std::optional<DATIME> ParseDateTime(std::string_view text) {
  const std::string whole(text);
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int consumed = 0;
  if (std::sscanf(whole.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%n", &year, &month,
                  &day, &hour, &minute, &second, &consumed) != 6 ||
      static_cast<std::size_t>(consumed) != whole.size()) {
    return std::nullopt;
  }
  return DATIME{
      static_cast<std::uint16_t>(year),   static_cast<unsigned char>(month),
      static_cast<unsigned char>(day),    static_cast<unsigned char>(hour),
      static_cast<unsigned char>(minute), static_cast<unsigned char>(second)};
}

}  // namespace Core::GEOCOM::host
