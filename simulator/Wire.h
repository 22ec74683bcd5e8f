#ifndef DAZOZAZIDOREZERARO_SIMULATOR_WIRE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_WIRE_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <string>

namespace Core::GEOCOM::simulator {

// Reads a request's parameters one after another with the core's decoders,
// which read a reply's parameter text: the request's text is framed as one.
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
  GeoComSentence text_;
  unsigned short cursor_ = 0;
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
