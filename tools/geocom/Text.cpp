#include "Text.h"

#include <cstdio>
#include <locale>
#include <sstream>

namespace geocom {

namespace {

// The two escaping styles differ only in whether a double quote is escaped
// and in how an unprintable byte is written.
struct EscapeStyle {
  bool escapeQuote;
  const char* hexPrefix;
  int hexDigits;
};

std::string Escape(std::string_view bytes, const EscapeStyle& style) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' && style.escapeQuote) {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte > 0x7e) {
      char text[16];
      std::snprintf(text, sizeof text, "%s%0*x", style.hexPrefix,
                    style.hexDigits, static_cast<unsigned>(byte));
      out += text;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  return Escape(bytes, {false, "\\x", 2});
}

std::string JsonString(std::string_view bytes) {
  return "\"" + Escape(bytes, {true, "\\u", 4}) + "\"";
}

std::string FormatDouble(double value) {
  std::ostringstream stream;
  stream.imbue(std::locale::classic());
  stream.precision(10);
  stream << value;
  return stream.str();
}

}  // namespace geocom
