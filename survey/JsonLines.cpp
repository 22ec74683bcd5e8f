#include "JsonLines.h"

#include <vector>

namespace Core::GEOCOM::survey {

// A scanner that follows objects, arrays and strings only: JSON's scalars
// other than strings hold no character that matters here.
std::map<std::string, std::size_t> LinesOfValues(std::string_view text) {
  struct Level {
    std::string path;
    bool array;
    std::size_t index;
  };
  std::map<std::string, std::size_t> lines;
  std::vector<Level> levels;
  std::string key;
  bool expectKey = false;
  std::size_t line = 1;
  const auto valuePath = [&]() {
    if (levels.empty()) return std::string();
    const Level& level = levels.back();
    if (level.array) {
      return level.path + "[" + std::to_string(level.index) + "]";
    }
    return level.path.empty() ? key : level.path + "." + key;
  };
  const auto startValue = [&]() {
    const std::string path = valuePath();
    lines.emplace(path, line);
    return path;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
    } else if (c == '"') {
      std::string read;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        read += text[i];
      }
      if (expectKey) {
        key = read;
        expectKey = false;
      } else {
        startValue();
      }
    } else if (c == '{' || c == '[') {
      const std::string path = startValue();
      levels.push_back({path, c == '[', 0});
      expectKey = c == '{';
    } else if (c == '}' || c == ']') {
      if (!levels.empty()) levels.pop_back();
    } else if (c == ',') {
      if (!levels.empty()) {
        ++levels.back().index;
        expectKey = !levels.back().array;
      }
    } else if (c != ' ' && c != '\t' && c != '\r' && c != ':' &&
               !levels.empty()) {
      // A number, true, false or null: the start of a value.
      startValue();
      while (i + 1 < text.size() && text[i + 1] != ',' && text[i + 1] != '}' &&
             text[i + 1] != ']' && text[i + 1] != '\n') {
        ++i;
      }
    }
  }
  return lines;
}

}  // namespace Core::GEOCOM::survey
