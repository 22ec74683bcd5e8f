#include "Wire.h"

#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/simulator/Responder.h>

#include <cmath>
#include <cstdio>

namespace Core::GEOCOM::simulator {

Responder::~Responder() = default;

RequestReader::RequestReader(const GeoComSentence& request)
    : text_(host::ArgumentsAsReply(request)) {}

bool RequestReader::Int(std::int32_t& value) {
  int read = 0;
  if (!text_.unPack(read, cursor_)) return false;
  value = read;
  return true;
}

bool RequestReader::Double(double& value) {
  double read = 0;
  if (!text_.unPack(read, cursor_) || !std::isfinite(read)) return false;
  value = read;
  return true;
}

bool RequestReader::Text(std::string& value) {
  return text_.unPack(value, cursor_);
}

bool RequestReader::Byte(unsigned char& value) {
  return text_.unPack(value, cursor_);
}

ReplyText& ReplyText::Int(std::int64_t value) {
  text_ += "," + std::to_string(value);
  return *this;
}

ReplyText& ReplyText::Double(double value) {
  text_ += "," + host::FormatDouble(value);
  return *this;
}

ReplyText& ReplyText::Text(const std::string& value) {
  text_ += ",\"" + value + "\"";
  return *this;
}

ReplyText& ReplyText::Byte(unsigned value) {
  char field[8];
  std::snprintf(field, sizeof field, ",'%02x'", value & 0xffu);
  text_ += field;
  return *this;
}

}  // namespace Core::GEOCOM::simulator
