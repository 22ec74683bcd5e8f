#ifndef DAZOZAZIDOREZERARO_SURVEY_JSONLINES_H
#define DAZOZAZIDOREZERARO_SURVEY_JSONLINES_H

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace Core::GEOCOM::survey {

/// The line (from 1) on which each value of a JSON text starts, by its path
/// ("targets[1].id", "" for the whole text), so that a message can name
/// where a bad value is. The text must be valid JSON.
std::map<std::string, std::size_t> LinesOfValues(std::string_view text);

}  // namespace Core::GEOCOM::survey

#endif
