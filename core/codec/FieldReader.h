#ifndef DAZOZAZIDOREZERARO_CODEC_FIELDREADER_H
#define DAZOZAZIDOREZERARO_CODEC_FIELDREADER_H

#include <optional>
#include <string>
#include <string_view>

namespace Core::GEOCOM::codec {

// Finds the comma-separated field that follows the first comma at or after
// the cursor. The cursor moves past that comma at once, then on to the end of
// the field, so that a field that fails to convert is still skipped. Returns
// nothing, with the cursor unchanged, when no comma remains, and nothing,
// with the cursor just past the comma, when the field is empty. The cursor is
// 16 bits wide: positions are kept modulo 65536 and always checked against
// the text's size before use. The field is a view into the text, valid while
// the text is unchanged.
std::optional<std::string_view> NextField(const std::string& text,
                                          unsigned short& cursor);

// Reads the characters between the next two double quotes at or after the
// cursor, commas included, and leaves the cursor just after the closing
// quote. Without both quotes, cursor and value stay as they were.
bool NextQuotedText(const std::string& text, unsigned short& cursor,
                    std::string& value);

}  // namespace Core::GEOCOM::codec

#endif
