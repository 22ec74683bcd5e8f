#ifndef DAZOZAZIDOREZERARO_CODEC_NUMBERPARSER_H
#define DAZOZAZIDOREZERARO_CODEC_NUMBERPARSER_H

#include <locale>
#include <sstream>
#include <string>

namespace Core::GEOCOM::codec {

// Formatted stream extraction of one number straight into the output: leading
// white space is skipped, whatever follows the number is ignored, and a value
// beyond the type's range fails. The classic locale is pinned so that a
// host's global locale cannot change the decimal point or add grouping.
template <typename Number>
bool ParseNumber(const std::string& field, Number& value) {
  std::istringstream stream(field);
  stream.imbue(std::locale::classic());
  stream >> value;
  return !stream.fail();
}

}  // namespace Core::GEOCOM::codec

#endif
