// Every decoder and primitive read on arbitrary parameter text. The first
// input byte chooses how the text is loaded (low bit clear: as the
// parameters of a composed and recognised reply; set: as the parameter text
// of a recognised request, which has no leading comma); the rest is the
// text, with CR dropped since a recognised text never holds one.
//
// Each decoder runs twice on the sentence and once on a copy, from the same
// starting outputs; results and outputs (doubles bit for bit) must agree.
// Decoders published under two names must agree with each other, and no
// decoder may change the sentence.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "FuzzCheck.h"

namespace {

using namespace Core::GEOCOM;

// Results and outputs of one decoder call, serialised byte for byte.
class Record {
 public:
  template <typename... Values>
  void Add(const Values&... values) {
    (Append(values), ...);
  }

  bool operator==(const Record& other) const { return bytes == other.bytes; }

 private:
  template <typename Value>
  void Append(const Value& value) {
    static_assert(std::is_arithmetic_v<Value> || std::is_enum_v<Value>);
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.append(raw, sizeof value);
  }

  void Append(const std::string& text) {
    Append(text.size());
    bytes += text;
  }

  std::string bytes;
};

using Decoder = std::function<void(const GeoComSentence&, Record&)>;

std::size_t TextLength(const GeoComSentence& sentence) {
  const unsigned char* data = nullptr;
  int length = 0;
  sentence.GetBuffer(data, length);
  return static_cast<std::size_t>(length);
}

template <typename Value>
Value Sentinel() {
  if constexpr (std::is_same_v<Value, std::string>) {
    return "sentinel";
  } else {
    return static_cast<Value>(90);
  }
}

// A cursor only moves forward and never past the end of the text (texts
// longer than the 16-bit cursor are walked modulo 65536 and not checked).
void CheckCursor(unsigned short before, unsigned short after,
                 std::size_t length) {
  if (length <= 65535) {
    FUZZ_CHECK(after >= before && after <= length);
  }
}

// Reads the whole text with one positional primitive until no field is left.
template <typename Value>
void Walk(const GeoComSentence& sentence, Record& record) {
  const std::size_t length = TextLength(sentence);
  unsigned short cursor = 0;
  for (std::size_t step = 0; step <= length + 1; ++step) {
    Value value = Sentinel<Value>();
    const unsigned short before = cursor;
    const bool read = sentence.unPack(value, cursor);
    CheckCursor(before, cursor, length);
    record.Add(read, value, cursor);
    if (!read && cursor == before) {
      // Nothing found: the output is untouched.
      FUZZ_CHECK(value == Sentinel<Value>());
      return;
    }
    if constexpr (std::is_same_v<Value, short> ||
                  std::is_same_v<Value, unsigned short> ||
                  std::is_same_v<Value, std::string>) {
      FUZZ_CHECK(read || value == Sentinel<Value>());
    }
    if constexpr (std::is_same_v<Value, std::string>) {
      FUZZ_CHECK(!read || value.find('"') == std::string::npos);
    }
  }
  // Only a text too long for the 16-bit cursor may keep a walk going.
  FUZZ_CHECK(length > 65535);
}

template <typename Value>
void FirstPositional(const GeoComSentence& sentence, Record& record) {
  Value value = Sentinel<Value>();
  unsigned short cursor = 0;
  const bool read = sentence.unPack(value, cursor);
  record.Add(read, value);
}

template <typename Value>
void Single(const GeoComSentence& sentence, Record& record) {
  Value value = Sentinel<Value>();
  const bool read = sentence.unPack(value);
  record.Add(read, value);
}

void Add(Record& r, const TMC_Incline& v) {
  r.Add(v.crossIncline, v.lengthIncline, v.accuracy, v.time);
}
void Add(Record& r, const TMC_ANGLE& v) {
  r.Add(v.hz, v.v, v.angleAccuracy, v.angleTime);
  Add(r, v.incline);
  r.Add(v.face);
}
void Add(Record& r, const TMC_RAW_INCLINE& v) {
  r.Add(v.flag, v.value1, v.value2, v.value3, v.value4, v.time);
}
void Add(Record& r, const TMC_RAW_ANGLE& v) {
  r.Add(v.flag, v.value1, v.value2, v.value3, v.time);
}
void Add(Record& r, const FTR_DIRINFO& v) {
  r.Add(v.name, v.size);
  for (const unsigned char byte : v.modTime) r.Add(byte);
  for (const unsigned char byte : v.modDate.parts) r.Add(byte);
}

// Decoders whose records must agree with each other: a single-argument form
// and the positional form from cursor 0, or one operation under two names.
struct Twins {
  Decoder first;
  Decoder second;
};

std::vector<Decoder> Decoders() {
  return {
      Walk<unsigned char>,
      Walk<short>,
      Walk<unsigned short>,
      Walk<int>,
      Walk<unsigned int>,
      Walk<long>,
      Walk<unsigned long>,
      Walk<double>,
      Walk<std::string>,
      [](const GeoComSentence& s, Record& r) {
        unsigned short number = 90;
        std::string text = "sentinel";
        s.UnPack(number, text);
        r.Add(number, text);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_ANGLE angle{};
        TMC_RAW_INCLINE rawIncline{};
        TMC_RAW_ANGLE rawAngle{};
        r.Add(s.UnPack(angle, rawIncline, rawAngle));
        Add(r, angle);
        Add(r, rawIncline);
        Add(r, rawAngle);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_Ang_Switch v{};
        r.Add(s.UnPack(v), v.inclineCorrection, v.standAxisCorrection,
              v.collimationCorrection, v.tiltAxisCorrection);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_Atmos_Temperature v{};
        r.Add(s.UnPack(v), v.lambda, v.pressure, v.dryTemperature,
              v.wetTemperature);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_Incline v{};
        r.Add(s.UnPack(v));
        Add(r, v);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_Incline_Index v{};
        r.Add(s.UnPack(v), v.value1, v.value2);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_Simple_Meas v{};
        r.Add(s.UnPack(v), v.hz, v.v, v.slopeDistance);
      },
      [](const GeoComSentence& s, Record& r) {
        TMC_Station v{};
        r.Add(s.UnPack(v), v.stationEasting, v.stationNorthing, v.stationHeight,
              v.instrumentHeight);
      },
      [](const GeoComSentence& s, Record& r) {
        double a = 0, b = 0, c = 0, d = 0;
        r.Add(s.UnPackTMCStation(a, b, c, d), a, b, c, d);
      },
      [](const GeoComSentence& s, Record& r) {
        double a = 0, b = 0;
        r.Add(s.UnPackInclinationValueResponse(a, b), a, b);
      },
      [](const GeoComSentence& s, Record& r) {
        double value = 0;
        unsigned short number = 90;
        std::string text = "sentinel";
        r.Add(s.UnPack(value, number, text), value, number, text);
      },
      [](const GeoComSentence& s, Record& r) {
        int minimum = 90, maximum = 90;
        r.Add(s.UnPackPowerSearchRange(minimum, maximum), minimum, maximum);
      },
      [](const GeoComSentence& s, Record& r) {
        AUT_SEARCH_AREA v{};
        r.Add(s.UnPackPowerSearchWindow(v), v.centerHz, v.centerV, v.rangeHz,
              v.rangeV, v.enabled);
      },
      [](const GeoComSentence& s, Record& r) {
        ON_OFF_TYPE v = static_cast<ON_OFF_TYPE>(90);
        r.Add(s.UnPack(v), v);
      },
      [](const GeoComSentence& s, Record& r) {
        MOT_LOCK_STATUS v = static_cast<MOT_LOCK_STATUS>(90);
        r.Add(s.UnPackLockInStatusResponse(v), v);
      },
      [](const GeoComSentence& s, Record& r) {
        ATA_CALIB calibration{};
        ATA_ZERO_COORD zero{};
        ATA_TEMP_GRAD gradient{};
        s.UnPack(calibration, zero, gradient);
        r.Add(calibration.value1, calibration.value2, calibration.value3,
              calibration.value4, calibration.value5, calibration.value6,
              zero.value1, zero.value2, gradient.value1, gradient.value2);
      },
      [](const GeoComSentence& s, Record& r) {
        AUT_CALPAR v{};
        s.UnPack(v);
        r.Add(v.value1, v.value2, v.value3, v.value4, v.value5, v.value6);
      },
      [](const GeoComSentence& s, Record& r) {
        CSV_PowerStatus v{};
        r.Add(s.UnPack(v), v.level, v.firstPath, v.secondPath);
      },
      [](const GeoComSentence& s, Record& r) {
        DATE_TYPE v{9, 9, 9};
        r.Add(s.UnPack(v), v.year, v.month, v.day);
      },
      [](const GeoComSentence& s, Record& r) {
        TPS_Device v{};
        r.Add(s.UnPack(v), v.deviceClass, v.deviceType);
      },
      [](const GeoComSentence& s, Record& r) {
        std::int32_t deviceClass = 90, deviceType = 90;
        r.Add(s.UnPackCsvDeviceType(deviceClass, deviceType), deviceClass,
              deviceType);
      },
      [](const GeoComSentence& s, Record& r) {
        std::string first = "a", second = "b", third = "c";
        unsigned short firstNumber = 90, secondNumber = 90;
        r.Add(s.UnPackCsvListResponse(first, second, firstNumber, secondNumber,
                                      third),
              first, second, firstNumber, secondNumber, third);
      },
      [](const GeoComSentence& s, Record& r) {
        bool last = false;
        FTR_DIRINFO entry{};
        r.Add(s.UnPackFtrListResponse(last, entry), last);
        Add(r, entry);
      },
      [](const GeoComSentence& s, Record& r) {
        double capacity = 0;
        CSV_POWER_PATH path = static_cast<CSV_POWER_PATH>(90);
        r.Add(s.UnPackGetBatteryStatusResponse(capacity, path), capacity, path);
      },
      [](const GeoComSentence& s, Record& r) {
        unsigned short release = 90, version = 90, subversion = 90;
        r.Add(s.UnPackGetSWVersionResponse(release, version, subversion),
              release, version, subversion);
      },
  };
}

template <typename Output, typename Method>
Decoder ReadOne(Method method, Output initial) {
  return [method, initial](const GeoComSentence& s, Record& r) {
    Output value = initial;
    const bool read = (s.*method)(value);
    r.Add(read, value);
  };
}

std::vector<Twins> TwinDecoders() {
  using S = GeoComSentence;
  return {
      {Single<unsigned char>, FirstPositional<unsigned char>},
      {Single<short>, FirstPositional<short>},
      {Single<unsigned short>, FirstPositional<unsigned short>},
      {Single<int>, FirstPositional<int>},
      {Single<unsigned int>, FirstPositional<unsigned int>},
      {Single<long>, FirstPositional<long>},
      {Single<unsigned long>, FirstPositional<unsigned long>},
      {Single<double>, FirstPositional<double>},
      {Single<std::string>, FirstPositional<std::string>},
      {Single<int>, ReadOne<int>(&S::UnPackInterfacePort, 90)},
      {Single<int>, ReadOne<int>(&S::UnPackCSVAuthenticationParam, 90)},
      {Single<double>,
       ReadOne<double>(static_cast<bool (S::*)(double&) const>(&S::UnPack),
                       90.0)},
      {Single<std::string>,
       ReadOne<std::string>(&S::UnPackTMCStationID, "sentinel")},
      {ReadOne<BAP_ATRSETTING>(&S::UnPackVisibilitySetting,
                               static_cast<BAP_ATRSETTING>(90)),
       ReadOne<EDM_EGLINTENSITY_TYPE>(&S::UnPackEGLIntensity,
                                      static_cast<EDM_EGLINTENSITY_TYPE>(90))},
      {ReadOne<bool>(&S::UnPackGetATRResponse, false),
       ReadOne<bool>(&S::UnPackGetLPSwitch, false)},
      {ReadOne<std::int32_t>(&S::UnPackGetInstrumentNo, 90),
       ReadOne<AUT_AUTEVENT>(&S::UnPackGetAutomationActivity,
                             static_cast<AUT_AUTEVENT>(90))},
      {[](const GeoComSentence& s, Record& r) {
         TMC_Hz_V_Ang v{};
         r.Add(s.UnPack(v), v.hz, v.v);
       },
       [](const GeoComSentence& s, Record& r) {
         TMC_Slope_Dist_Corr v{};
         r.Add(s.UnPack(v), v.ppmCorrection, v.prismCorrection);
       }},
  };
}

const std::vector<Decoder>& AllDecoders() {
  static const std::vector<Decoder> decoders = Decoders();
  return decoders;
}

const std::vector<Twins>& AllTwins() {
  static const std::vector<Twins> twins = TwinDecoders();
  return twins;
}

Record Run(const Decoder& decoder, const GeoComSentence& sentence) {
  Record record;
  decoder(sentence, record);
  return record;
}

void CheckStable(const Decoder& decoder, const GeoComSentence& sentence,
                 const GeoComSentence& copy) {
  const Record first = Run(decoder, sentence);
  FUZZ_CHECK(Run(decoder, sentence) == first);
  FUZZ_CHECK(Run(decoder, copy) == first);
}

GeoComSentence Load(bool asRequest, const std::string& text) {
  GeoComSentence composed;
  if (asRequest) {
    FUZZ_CHECK(composed.CreateRequest(1, text));
  } else {
    FUZZ_CHECK(composed.CreateReply(1, GRC_OK, "," + text));
  }
  const unsigned char* data = nullptr;
  int length = 0;
  composed.GetBuffer(data, length);
  const auto size = static_cast<std::size_t>(length);
  auto bytes = std::make_unique<unsigned char[]>(size);
  std::memcpy(bytes.get(), data, size);

  GeoComSentence received;
  int lastByte = 0;
  FUZZ_CHECK(received.CreateMessageFromBuffer(bytes.get(), length, lastByte));
  if (!asRequest) {
    FUZZ_CHECK(received.GetStringCommand() == "," + text);
  }
  return received;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool asRequest = (data[0] & 1U) != 0;
  std::string text;
  text.reserve(size - 1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] != '\r') {
      text.push_back(static_cast<char>(data[i]));
    }
  }

  const GeoComSentence sentence = Load(asRequest, text);
  const GeoComSentence copy(sentence);
  const std::string before = sentence.GetStringCommand();

  for (const Decoder& decoder : AllDecoders()) {
    CheckStable(decoder, sentence, copy);
  }
  for (const Twins& twins : AllTwins()) {
    CheckStable(twins.first, sentence, copy);
    FUZZ_CHECK(Run(twins.first, sentence) == Run(twins.second, sentence));
  }

  FUZZ_CHECK(sentence.GetStringCommand() == before);
  FUZZ_CHECK(sentence.GetType() == copy.GetType());
  FUZZ_CHECK(sentence.GetGeocomID() == copy.GetGeocomID());
  FUZZ_CHECK(sentence.GetSequenceID() == copy.GetSequenceID());
  return 0;
}
