#ifndef DAZOZAZIDOREZERARO_HOST_JSON_JSONTEXTPOSITIONS_H
#define DAZOZAZIDOREZERARO_HOST_JSON_JSONTEXTPOSITIONS_H

#include <cstddef>
#include <optional>
#include <string_view>

namespace Core::GEOCOM::host::json_text {

// nlohmann's DOM keeps no positions, so these read the text again with its
// SAX parser. Each pass is linear in the text and keeps no more than the
// open containers.

// The line of the first value nested deeper than maxDepth; nullopt when
// none is (or the text is not valid JSON, which the DOM parse reports).
std::optional<std::size_t> FirstTooDeep(std::string_view text,
                                        std::size_t maxDepth);

// The line on which the value at path ("prisms[1].height", "" for the
// root) starts or, when there is none, its nearest enclosing value.
std::size_t LineOfPath(std::string_view text, std::string_view path);

// The line of the byte at offset.
std::size_t LineAt(std::string_view text, std::size_t offset);

}  // namespace Core::GEOCOM::host::json_text

#endif
