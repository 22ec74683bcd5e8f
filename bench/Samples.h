#ifndef DAZOZAZIDOREZERARO_BENCH_SAMPLES_H
#define DAZOZAZIDOREZERARO_BENCH_SAMPLES_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <string>

// Sentences shared by the benchmarks, as an instrument sends them.
namespace samples {

// The 20 fields of an angle with its inclination, a raw inclination and a
// raw angle, behind the comma that follows the return code.
extern const std::string kAngleParameters;
// One entry of a file listing: last-entry flag, name, size, seven bytes.
extern const std::string kFileEntryParameters;
// Station easting, northing, height and instrument height.
extern const std::string kStationParameters;

// The reply sentence "%R1P,0,<sequence>:0<parameters>\r\n".
std::string Reply(unsigned short sequence, const std::string& parameters);

// The sentence recognised from the bytes; aborts if they hold none.
Core::GEOCOM::GeoComSentence Recognise(const std::string& bytes);

const unsigned char* Bytes(const std::string& text);

}  // namespace samples

#endif
