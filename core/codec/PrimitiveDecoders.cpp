#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "DazoZazIdoRezeraro/GeoComSentence.h"
#include "codec/FieldReader.h"
#include "codec/NumberParser.h"

namespace Core::GEOCOM {

namespace {

// Narrow integers arrive through the int reader; the output is written only
// when the value fits.
template <typename Narrow>
bool StoreIfInRange(int number, Narrow& value) {
  if (number < std::numeric_limits<Narrow>::min() ||
      number > std::numeric_limits<Narrow>::max()) {
    return false;
  }
  value = static_cast<Narrow>(number);
  return true;
}

// long and unsigned long carry 32-bit values on the wire whatever the
// platform's width, so the field is extracted as the 32-bit type, which keeps
// its range check, and the output is written only on success.
template <typename Fixed, typename Platform>
bool ReadFixedWidth(const std::string& text, unsigned short& cursor,
                    Platform& value) {
  const auto field = codec::NextField(text, cursor);
  Fixed number = 0;
  if (!field || !codec::ParseNumber(*field, number)) {
    return false;
  }
  value = number;
  return true;
}

template <typename Number>
bool ReadNumber(const std::string& text, unsigned short& cursor,
                Number& value) {
  const auto field = codec::NextField(text, cursor);
  return field && codec::ParseNumber(*field, value);
}

// The single-argument forms read the first field with a cursor of their own.
template <typename Value>
bool ReadFirstField(const GeoComSentence& sentence, Value& value) {
  unsigned short cursor = 0;
  return sentence.unPack(value, cursor);
}

}  // namespace

bool GeoComSentence::unPack(unsigned char& value,
                            unsigned short& cursor) const {
  const auto field = codec::NextField(command, cursor);
  return field && ConvertHexToByte(std::string(*field), value);
}

bool GeoComSentence::unPack(unsigned char& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(short& value, unsigned short& cursor) const {
  int number = 0;
  return unPack(number, cursor) && StoreIfInRange(number, value);
}

bool GeoComSentence::unPack(short& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(unsigned short& value,
                            unsigned short& cursor) const {
  int number = 0;
  return unPack(number, cursor) && StoreIfInRange(number, value);
}

bool GeoComSentence::unPack(unsigned short& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(int& value, unsigned short& cursor) const {
  return ReadNumber(command, cursor, value);
}

bool GeoComSentence::unPack(int& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(unsigned int& value, unsigned short& cursor) const {
  return ReadNumber(command, cursor, value);
}

bool GeoComSentence::unPack(unsigned int& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(long& value, unsigned short& cursor) const {
  return ReadFixedWidth<std::int32_t>(command, cursor, value);
}

bool GeoComSentence::unPack(long& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(unsigned long& value,
                            unsigned short& cursor) const {
  return ReadFixedWidth<std::uint32_t>(command, cursor, value);
}

bool GeoComSentence::unPack(unsigned long& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(double& value, unsigned short& cursor) const {
  return ReadNumber(command, cursor, value);
}

bool GeoComSentence::unPack(double& value) const {
  return ReadFirstField(*this, value);
}

bool GeoComSentence::unPack(std::string& value, unsigned short& cursor) const {
  return codec::NextQuotedText(command, cursor, value);
}

bool GeoComSentence::unPack(std::string& value) const {
  return ReadFirstField(*this, value);
}

void GeoComSentence::UnPack(unsigned short& number, std::string& text) const {
  unsigned short cursor = 0;
  unPack(number, cursor);
  unPack(text, cursor);
}

bool GeoComSentence::UnPackInterfacePort(int& port) const {
  return unPack(port);
}

bool GeoComSentence::UnPackCSVAuthenticationParam(int& parameter) const {
  return unPack(parameter);
}

bool GeoComSentence::UnPack(double& value) const { return unPack(value); }

bool GeoComSentence::UnPackTMCStationID(std::string& stationId) const {
  return unPack(stationId);
}

// A byte field is a delimiter, two hex digits and a delimiter. The delimiters
// are not examined; a bad digit fails the read but the other digit still
// accumulates, so the output shows how far the field was valid.
bool GeoComSentence::ConvertHexToByte(const std::string& field,
                                      unsigned char& value) const {
  value = 0;
  if (field.size() != 4) {
    return false;
  }
  bool allDigits = true;
  for (const char digit : {field[1], field[2]}) {
    unsigned int digitValue = 0;
    if (std::from_chars(&digit, &digit + 1, digitValue, 16).ec != std::errc()) {
      allDigits = false;
      continue;
    }
    value = static_cast<unsigned char>(value * 16U + digitValue);
  }
  return allDigits;
}

}  // namespace Core::GEOCOM
