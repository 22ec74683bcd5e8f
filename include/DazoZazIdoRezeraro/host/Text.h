#ifndef DAZOZAZIDOREZERARO_HOST_TEXT_H
#define DAZOZAZIDOREZERARO_HOST_TEXT_H

#include <optional>
#include <string>
#include <string_view>

#include "Export.h"

/// @file
/// Bytes as printable text and back, and numbers in their shortest exact
/// form.

namespace Core::GEOCOM::host {

/// Bytes as printable ASCII: printable characters stay, CR, LF, tab and
/// backslash become \\r, \\n, \\t and \\\\, every other byte \\xNN.
/// UnescapeBytes reverses it exactly.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string EscapeBytes(std::string_view bytes);

/// The bytes that EscapeBytes turned into text; nullopt for text that
/// EscapeBytes cannot have written.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<std::string> UnescapeBytes(
    std::string_view text);

/// The shortest decimal form that reads back to the same double, in the
/// classic locale ("1.5", "100", "6.58e-07", "0.7853981633974483").
DAZOZAZIDOREZERARO_HOST_EXPORT std::string FormatDouble(double value);

}  // namespace Core::GEOCOM::host

#endif
