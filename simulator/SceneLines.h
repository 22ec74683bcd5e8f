#ifndef DAZOZAZIDOREZERARO_SIMULATOR_SCENELINES_H
#define DAZOZAZIDOREZERARO_SIMULATOR_SCENELINES_H

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace Core::GEOCOM::simulator {

// The line on which each value of a JSON text starts, by its path
// ("prisms[1].height", "" for the root). nlohmann's DOM keeps no
// positions, so a SAX pass over the same text records them. Empty when
// the text is not valid JSON.
std::map<std::string, std::size_t> JsonLines(std::string_view text);

// The line of the byte at offset.
std::size_t LineAt(std::string_view text, std::size_t offset);

}  // namespace Core::GEOCOM::simulator

#endif
