// Decoding a recognised reply: the 20-field angle reply, a file-list entry
// and the station, against a hand-written strtod/strtol walk over the same
// parameter text that fills the same records. Each baseline is checked to
// give the library's values.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Samples.h"

namespace {

using namespace Core::GEOCOM;

// Reads the fields of a parameter text one after another with the C
// library's converters, with the range checks the records need.
class Scanner {
 public:
  explicit Scanner(const std::string& text) : position(text.c_str()) {}

  bool Double(double& out) {
    const char* field = NextField();
    if (field == nullptr) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(field, &end);
    position = end;
    if (end == field || errno == ERANGE) return false;
    out = value;
    return true;
  }

  bool Integer(long minimum, long maximum, long& out) {
    const char* field = NextField();
    if (field == nullptr) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(field, &end, 10);
    position = end;
    if (end == field || errno == ERANGE || value < minimum || value > maximum) {
      return false;
    }
    out = value;
    return true;
  }

  bool Unsigned32(std::uint32_t& out) {
    const char* field = NextField();
    if (field == nullptr) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(field, &end, 10);
    position = end;
    if (end == field || errno == ERANGE || value > 0xFFFFFFFFUL) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
  }

  // A field of a delimiter, two hexadecimal digits and a delimiter.
  bool Byte(unsigned char& out) {
    const char* field = NextField();
    if (field == nullptr) return false;
    const char* end = std::strchr(field, ',');
    const std::size_t length = end != nullptr
                                   ? static_cast<std::size_t>(end - field)
                                   : std::strlen(field);
    position = field + length;
    const int high = HexDigit(field[1]);
    const int low = length == 4 ? HexDigit(field[2]) : -1;
    if (high < 0 || low < 0) return false;
    out = static_cast<unsigned char>(high * 16 + low);
    return true;
  }

  bool Text(std::string& out) {
    const char* open = std::strchr(position, '"');
    if (open == nullptr) return false;
    const char* close = std::strchr(open + 1, '"');
    if (close == nullptr) return false;
    out.assign(open + 1, close);
    position = close + 1;
    return true;
  }

 private:
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The start of the non-empty field after the next comma, or null.
  const char* NextField() {
    const char* comma = std::strchr(position, ',');
    if (comma == nullptr) return nullptr;
    position = comma + 1;
    if (*position == ',' || *position == '\0') return nullptr;
    return position;
  }

  const char* position;
};

constexpr long kInt32Min = -2147483647L - 1;
constexpr long kInt32Max = 2147483647L;

struct Angles {
  TMC_ANGLE angle{};
  TMC_RAW_INCLINE rawIncline{};
  TMC_RAW_ANGLE rawAngle{};

  bool operator==(const Angles& o) const {
    const TMC_Incline& i = angle.incline;
    const TMC_Incline& j = o.angle.incline;
    return angle.hz == o.angle.hz && angle.v == o.angle.v &&
           angle.angleAccuracy == o.angle.angleAccuracy &&
           angle.angleTime == o.angle.angleTime &&
           i.crossIncline == j.crossIncline &&
           i.lengthIncline == j.lengthIncline && i.accuracy == j.accuracy &&
           i.time == j.time && angle.face == o.angle.face &&
           rawIncline.flag == o.rawIncline.flag &&
           rawIncline.value1 == o.rawIncline.value1 &&
           rawIncline.value2 == o.rawIncline.value2 &&
           rawIncline.value3 == o.rawIncline.value3 &&
           rawIncline.value4 == o.rawIncline.value4 &&
           rawIncline.time == o.rawIncline.time &&
           rawAngle.flag == o.rawAngle.flag &&
           rawAngle.value1 == o.rawAngle.value1 &&
           rawAngle.value2 == o.rawAngle.value2 &&
           rawAngle.value3 == o.rawAngle.value3 &&
           rawAngle.time == o.rawAngle.time;
  }
};

bool LibraryAngles(const GeoComSentence& sentence, Angles& out) {
  return sentence.UnPack(out.angle, out.rawIncline, out.rawAngle);
}

bool BaselineAngles(const std::string& text, Angles& out) {
  Scanner scan(text);
  // Every field is read whatever the earlier ones gave, as the library does.
  bool ok = true;
  const auto read = [&ok](bool result) { ok = ok && result; };
  long angleTime = 0, inclineTime = 0, face = 0;
  long rawInclineFlag = 0, rawInclineTime = 0;
  long rawAngleFlag = 0, rawAngleTime = 0;
  TMC_ANGLE& a = out.angle;
  read(scan.Double(a.hz));
  read(scan.Double(a.v));
  read(scan.Double(a.angleAccuracy));
  read(scan.Integer(kInt32Min, kInt32Max, angleTime));
  read(scan.Double(a.incline.crossIncline));
  read(scan.Double(a.incline.lengthIncline));
  read(scan.Double(a.incline.accuracy));
  read(scan.Integer(kInt32Min, kInt32Max, inclineTime));
  read(scan.Integer(-32768, 32767, face));
  a.angleTime = static_cast<std::int32_t>(angleTime);
  a.incline.time = static_cast<std::int32_t>(inclineTime);
  a.face = static_cast<TMC_FACE_TYPE>(face);

  TMC_RAW_INCLINE& ri = out.rawIncline;
  read(scan.Integer(-32768, 32767, rawInclineFlag));
  read(scan.Double(ri.value1));
  read(scan.Double(ri.value2));
  read(scan.Double(ri.value3));
  read(scan.Double(ri.value4));
  read(scan.Integer(kInt32Min, kInt32Max, rawInclineTime));
  ri.flag = rawInclineFlag != 0;
  ri.time = static_cast<std::int32_t>(rawInclineTime);

  TMC_RAW_ANGLE& ra = out.rawAngle;
  read(scan.Integer(-32768, 32767, rawAngleFlag));
  read(scan.Double(ra.value1));
  read(scan.Double(ra.value2));
  read(scan.Double(ra.value3));
  read(scan.Integer(kInt32Min, kInt32Max, rawAngleTime));
  ra.flag = rawAngleFlag != 0;
  ra.time = static_cast<std::int32_t>(rawAngleTime);
  return ok;
}

struct FileEntry {
  bool last = true;
  FTR_DIRINFO entry{};

  bool operator==(const FileEntry& o) const {
    return last == o.last && entry.name == o.entry.name &&
           entry.size == o.entry.size &&
           std::memcmp(entry.modTime, o.entry.modTime, 4) == 0 &&
           std::memcmp(entry.modDate.parts, o.entry.modDate.parts, 3) == 0;
  }
};

bool LibraryFileEntry(const GeoComSentence& sentence, FileEntry& out) {
  return sentence.UnPackFtrListResponse(out.last, out.entry);
}

bool BaselineFileEntry(const std::string& text, FileEntry& out) {
  Scanner scan(text);
  long last = 0;
  if (!scan.Integer(kInt32Min, kInt32Max, last)) return false;
  out.last = last != 0;
  if (!scan.Text(out.entry.name) || !scan.Unsigned32(out.entry.size)) {
    return false;
  }
  for (unsigned char& byte : out.entry.modTime) {
    if (!scan.Byte(byte)) return false;
  }
  for (unsigned char& byte : out.entry.modDate.parts) {
    if (!scan.Byte(byte)) return false;
  }
  return true;
}

struct Station {
  TMC_Station station{};

  bool operator==(const Station& o) const {
    return station.stationEasting == o.station.stationEasting &&
           station.stationNorthing == o.station.stationNorthing &&
           station.stationHeight == o.station.stationHeight &&
           station.instrumentHeight == o.station.instrumentHeight;
  }
};

bool LibraryStation(const GeoComSentence& sentence, Station& out) {
  return sentence.UnPack(out.station);
}

bool BaselineStation(const std::string& text, Station& out) {
  Scanner scan(text);
  TMC_Station& s = out.station;
  return scan.Double(s.stationEasting) && scan.Double(s.stationNorthing) &&
         scan.Double(s.stationHeight) && scan.Double(s.instrumentHeight);
}

template <typename Record>
void DecodeWithLibrary(benchmark::State& state, const std::string& parameters,
                       bool (*decode)(const GeoComSentence&, Record&)) {
  const GeoComSentence sentence =
      samples::Recognise(samples::Reply(41, parameters));
  for (auto _ : state) {
    Record record;
    const bool decoded = decode(sentence, record);
    benchmark::DoNotOptimize(decoded);
    benchmark::DoNotOptimize(record);
  }
}

template <typename Record>
void DecodeWithBaseline(benchmark::State& state, const std::string& parameters,
                        bool (*library)(const GeoComSentence&, Record&),
                        bool (*baseline)(const std::string&, Record&)) {
  Record expected;
  Record actual;
  const bool libraryResult =
      library(samples::Recognise(samples::Reply(41, parameters)), expected);
  if (!libraryResult || !baseline(parameters, actual) ||
      !(actual == expected)) {
    state.SkipWithError("the baseline decodes different values");
    return;
  }
  for (auto _ : state) {
    Record record;
    const bool decoded = baseline(parameters, record);
    benchmark::DoNotOptimize(decoded);
    benchmark::DoNotOptimize(record);
  }
}

void Decode_Angles20_Library(benchmark::State& state) {
  DecodeWithLibrary(state, samples::kAngleParameters, LibraryAngles);
}
void Decode_Angles20_Baseline(benchmark::State& state) {
  DecodeWithBaseline(state, samples::kAngleParameters, LibraryAngles,
                     BaselineAngles);
}
void Decode_FileEntry_Library(benchmark::State& state) {
  DecodeWithLibrary(state, samples::kFileEntryParameters, LibraryFileEntry);
}
void Decode_FileEntry_Baseline(benchmark::State& state) {
  DecodeWithBaseline(state, samples::kFileEntryParameters, LibraryFileEntry,
                     BaselineFileEntry);
}
void Decode_Station_Library(benchmark::State& state) {
  DecodeWithLibrary(state, samples::kStationParameters, LibraryStation);
}
void Decode_Station_Baseline(benchmark::State& state) {
  DecodeWithBaseline(state, samples::kStationParameters, LibraryStation,
                     BaselineStation);
}

}  // namespace

BENCHMARK(Decode_Angles20_Library);
BENCHMARK(Decode_Angles20_Baseline);
BENCHMARK(Decode_FileEntry_Library);
BENCHMARK(Decode_FileEntry_Baseline);
BENCHMARK(Decode_Station_Library);
BENCHMARK(Decode_Station_Baseline);
