#include "Samples.h"

#include <cstdlib>

namespace samples {

const std::string kAngleParameters =
    ",0.785398163,1.570796327,0.000003,123456789,0.000123,-0.000245,"
    "0.00001,123456790,0,1,0.000124,-0.000246,0.999,1.001,123456791,1,"
    "0.785398164,1.570796328,42.0,123456792";
const std::string kFileEntryParameters =
    ",0,\"2024_survey_north.gsi\",104857,'0a','1e','00','00','18','05',"
    "'0c'";
const std::string kStationParameters =
    ",2611234.5678,1267890.1234,432.1098,1.5500";

std::string Reply(unsigned short sequence, const std::string& parameters) {
  return "%R1P,0," + std::to_string(sequence) + ":0" + parameters + "\r\n";
}

Core::GEOCOM::GeoComSentence Recognise(const std::string& bytes) {
  Core::GEOCOM::GeoComSentence sentence;
  int lastByte = 0;
  if (!sentence.CreateMessageFromBuffer(
          Bytes(bytes), static_cast<int>(bytes.size()), lastByte)) {
    std::abort();
  }
  return sentence;
}

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace samples
