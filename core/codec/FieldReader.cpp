#include "codec/FieldReader.h"

namespace Core::GEOCOM::codec {

namespace {

constexpr char kSeparator = ',';
constexpr char kQuote = '"';

unsigned short CursorAt(std::string::size_type position) {
  return static_cast<unsigned short>(position);
}

}  // namespace

std::optional<std::string_view> NextField(const std::string& text,
                                          unsigned short& cursor) {
  // find() answers npos for a start at or beyond the end, so no position
  // outside the text is ever read.
  const auto separator = text.find(kSeparator, cursor);
  if (separator == std::string::npos) {
    return std::nullopt;
  }
  const auto fieldStart = separator + 1;
  cursor = CursorAt(fieldStart);
  auto fieldEnd = text.find(kSeparator, fieldStart);
  if (fieldEnd == std::string::npos) {
    fieldEnd = text.size();
  }
  if (fieldEnd == fieldStart) {
    return std::nullopt;
  }
  cursor = CursorAt(fieldEnd);
  return std::string_view(text).substr(fieldStart, fieldEnd - fieldStart);
}

bool NextQuotedText(const std::string& text, unsigned short& cursor,
                    std::string& value) {
  const auto opening = text.find(kQuote, cursor);
  if (opening == std::string::npos) {
    return false;
  }
  const auto closing = text.find(kQuote, opening + 1);
  if (closing == std::string::npos) {
    return false;
  }
  value.assign(text, opening + 1, closing - opening - 1);
  cursor = CursorAt(closing + 1);
  return true;
}

}  // namespace Core::GEOCOM::codec
