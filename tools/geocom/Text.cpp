#include "Text.h"

#include <cstdio>
#include <locale>
#include <sstream>

namespace geocom {

namespace {

std::string HexEscape(const char* prefix, unsigned char byte, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%s%0*x", prefix, digits,
                static_cast<unsigned>(byte));
  return text;
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte > 0x7e) {
      out += HexEscape("\\x", byte, 2);
    } else {
      out += c;
    }
  }
  return out;
}

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"') {
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
      out += HexEscape("\\u", byte, 4);
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string FormatDouble(double value) {
  std::ostringstream stream;
  stream.imbue(std::locale::classic());
  stream.precision(10);
  stream << value;
  return stream.str();
}

}  // namespace geocom
