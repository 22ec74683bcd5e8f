#ifndef GEOCOM_TOOL_JSONKEY_H
#define GEOCOM_TOOL_JSONKEY_H

#include <algorithm>
#include <string>
#include <string_view>

namespace geocom {

// The tool's one JSON key style is snake_case: a field name of the host
// library's tables ("slope-distance") becomes "slope_distance".
inline std::string JsonKey(std::string_view name) {
  std::string key(name);
  std::replace(key.begin(), key.end(), '-', '_');
  return key;
}

}  // namespace geocom

#endif
