#ifndef DAZOZAZIDOREZERARO_SIMULATOR_WIRE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_WIRE_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Core::GEOCOM::simulator {

// Reads a request's parameters one after another, each field strictly of
// the type asked for, as the catalogue reads them.
class RequestReader {
 public:
  explicit RequestReader(const GeoComSentence& request);

  bool Int(std::int32_t& value);
  // A finite number.
  bool Double(double& value);
  bool Text(std::string& value);
  // A byte field, 'hh'.
  bool Byte(unsigned char& value);

 private:
  std::optional<host::FieldValue> Next(host::ValueType type);

  std::vector<std::string> fields_;
  std::size_t next_ = 0;
};

// The parameter text of a reply, each value behind its comma.
class ReplyText {
 public:
  ReplyText& Int(std::int64_t value);
  // Shortest exact form, so that a host reads back the very same double.
  ReplyText& Double(double value);
  ReplyText& Text(const std::string& value);
  ReplyText& Byte(unsigned value);
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

}  // namespace Core::GEOCOM::simulator

#endif
