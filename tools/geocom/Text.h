#ifndef GEOCOM_TOOL_TEXT_H
#define GEOCOM_TOOL_TEXT_H

#include <string>
#include <string_view>

// How the tool writes bytes and numbers for people and for JSON readers.
namespace geocom {

// Printable ASCII stays as it is; CR, LF, tab and backslash become \r, \n,
// \t and \\, every other byte \xNN.
std::string EscapeBytes(std::string_view bytes);

// A JSON string literal, quotes included. Bytes above 127 are written as
// \u00NN so that the output stays valid UTF-8 whatever the capture holds.
std::string JsonString(std::string_view bytes);

// Shortest round-trip-safe decimal form up to 10 significant digits, in the
// classic locale ("1.5", "100", "6.58e-07").
std::string FormatDouble(double value);

}  // namespace geocom

#endif
