#include "Wire.h"

#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/simulator/Responder.h>

#include <cmath>
#include <cstdio>

namespace Core::GEOCOM::simulator {

Responder::~Responder() = default;

std::string ComposeReply(unsigned short sequence, unsigned short returnCode,
                         const std::string& parameters) {
  GeoComSentence reply;
  reply.CreateReply(sequence, static_cast<GRC_TYPE>(returnCode), parameters);
  const unsigned char* data = nullptr;
  int length = 0;
  reply.GetBuffer(data, length);
  return std::string(reinterpret_cast<const char*>(data),
                     static_cast<std::size_t>(length));
}

RequestReader::RequestReader(const GeoComSentence& request) {
  const std::string framed = "%R1P,0,0:0," + request.GetStringCommand() + "\r";
  int last = 0;
  text_.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(framed.data()),
      static_cast<int>(framed.size()), last);
}

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
