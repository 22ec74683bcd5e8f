#ifndef DAZOZAZIDOREZERARO_HOST_TEXT_H
#define DAZOZAZIDOREZERARO_HOST_TEXT_H

#include <DazoZazIdoRezeraro/ServiceTypes.h>

#include <optional>
#include <string>
#include <string_view>

#include "Export.h"

/// @file
/// Bytes as printable text and back, numbers in their shortest exact form,
/// and dates and times as text.

namespace Core::GEOCOM::host {

/// Bytes as printable ASCII: printable characters stay, CR, LF, tab and
/// backslash become \\r, \\n, \\t and \\\\, every other byte \\xNN.
/// UnescapeBytes reverses it exactly.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string EscapeBytes(std::string_view bytes);

/// EscapeBytes appending to out.
DAZOZAZIDOREZERARO_HOST_EXPORT void AppendEscapedBytes(std::string& out,
                                                       std::string_view bytes);

/// The bytes that EscapeBytes turned into text; nullopt for text that
/// EscapeBytes cannot have written.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<std::string> UnescapeBytes(
    std::string_view text);

/// UnescapeBytes appending to out, whose storage a reader reuses line after
/// line; false for text that EscapeBytes cannot have written (out then holds
/// the bytes before the fault).
DAZOZAZIDOREZERARO_HOST_EXPORT bool AppendUnescapedBytes(std::string& out,
                                                         std::string_view text);

/// The shortest decimal form that reads back to the same double, in the
/// classic locale ("1.5", "100", "6.58e-07", "0.7853981633974483").
DAZOZAZIDOREZERARO_HOST_EXPORT std::string FormatDouble(double value);

/// The value rounded to the decimals (0 to 17) after the point, in the
/// classic locale whatever the program's ("2.50", "-0.1"); a value that
/// rounds to zero reads 0 whatever its sign ("0.0", not "-0.0").
DAZOZAZIDOREZERARO_HOST_EXPORT std::string FormatFixed(double value,
                                                       int decimals);

/// The date and time as "2024-03-15T10:30:00"; each part after the year is
/// taken modulo 100, so that the text always has two digits there.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string FormatDateTime(const DATIME& t);

/// The date and time FormatDateTime writes, read back; nullopt for any other
/// text. Whether the date exists is not checked.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<DATIME> ParseDateTime(
    std::string_view text);

}  // namespace Core::GEOCOM::host

#endif
