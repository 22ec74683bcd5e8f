#include "Wire.h"

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/simulator/Responder.h>

#include <climits>
#include <cstdio>

namespace Core::GEOCOM::simulator {

Responder::~Responder() = default;

RequestReader::RequestReader(const GeoComSentence& request)
    : fields_(host::SplitParameters(host::SentenceBytes(request))
                  .value_or(std::vector<std::string>())) {}

std::optional<host::FieldValue> RequestReader::Next(host::ValueType type) {
  if (next_ >= fields_.size()) return std::nullopt;
  std::optional<host::FieldValue> value = host::ReadField(type, fields_[next_]);
  ++next_;
  return value;
}

bool RequestReader::Int(std::int32_t& value) {
  const auto read = Next(host::ValueType::kInteger);
  if (!read) return false;
  const std::int64_t whole = std::get<std::int64_t>(*read);
  if (whole < INT32_MIN || whole > INT32_MAX) return false;
  value = static_cast<std::int32_t>(whole);
  return true;
}

bool RequestReader::Double(double& value) {
  const auto read = Next(host::ValueType::kReal);
  if (!read) return false;
  value = std::get<double>(*read);
  return true;
}

bool RequestReader::Text(std::string& value) {
  const auto read = Next(host::ValueType::kText);
  if (!read) return false;
  value = std::get<std::string>(*read);
  return true;
}

bool RequestReader::Byte(unsigned char& value) {
  const auto read = Next(host::ValueType::kBytes);
  if (!read) return false;
  value = static_cast<unsigned char>(std::stoi(std::get<std::string>(*read)));
  return true;
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
