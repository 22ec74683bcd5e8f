#ifndef DAZOZAZIDOREZERARO_TESTS_SUPPORT_EXERCISE_H
#define DAZOZAZIDOREZERARO_TESTS_SUPPORT_EXERCISE_H

// Calls every decoder and every packer of the public interface and turns
// what they give back into bytes, so that two runs compare with ==. Shared by
// the concurrency test and the decoding fuzzer; free of GoogleTest.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace test_support {

using namespace Core::GEOCOM;

// Results and outputs serialised byte for byte (doubles bit for bit), so that
// a difference in any bit of any output shows.
class Digest {
 public:
  template <typename... Values>
  void Add(const Values&... values) {
    (Append(values), ...);
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  template <typename Value>
  void Append(const Value& value) {
    static_assert(std::is_arithmetic_v<Value> || std::is_enum_v<Value>,
                  "give the record an Append overload");
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes_.append(raw, sizeof value);
  }
  template <typename Value, std::size_t count>
  void Append(const Value (&values)[count]) {
    for (const Value& value : values) Append(value);
  }
  void Append(const std::string& text) {
    Append(text.size());
    bytes_ += text;
  }
  // Binding every member means a member added to a record and left out here
  // does not compile.
#define DIGEST_MEMBERS(Record, ...)     \
  void Append(const Record& record) {   \
    const auto& [__VA_ARGS__] = record; \
    Add(__VA_ARGS__);                   \
  }
  DIGEST_MEMBERS(TMC_RAW_ANGLE, flag, value1, value2, value3, time)
  DIGEST_MEMBERS(TMC_RAW_INCLINE, flag, value1, value2, value3, value4, time)
  DIGEST_MEMBERS(TMC_Incline, crossIncline, lengthIncline, accuracy, time)
  DIGEST_MEMBERS(TMC_ANGLE, hz, v, angleAccuracy, angleTime, incline, face)
  DIGEST_MEMBERS(TMC_Ang_Switch, inclineCorrection, standAxisCorrection,
                 collimationCorrection, tiltAxisCorrection)
  DIGEST_MEMBERS(TMC_Atmos_Temperature, lambda, pressure, dryTemperature,
                 wetTemperature)
  DIGEST_MEMBERS(TMC_Incline_Index, value1, value2)
  DIGEST_MEMBERS(TMC_Simple_Meas, hz, v, slopeDistance)
  DIGEST_MEMBERS(TMC_Hz_V_Ang, hz, v)
  DIGEST_MEMBERS(TMC_Slope_Dist_Corr, ppmCorrection, prismCorrection)
  DIGEST_MEMBERS(TMC_Station, stationEasting, stationNorthing, stationHeight,
                 instrumentHeight)
  DIGEST_MEMBERS(AUT_SEARCH_AREA, centerHz, centerV, rangeHz, rangeV, enabled)
  DIGEST_MEMBERS(ATA_CALIB, value1, value2, value3, value4, value5, value6)
  DIGEST_MEMBERS(ATA_ZERO_COORD, value1, value2)
  DIGEST_MEMBERS(ATA_TEMP_GRAD, value1, value2)
  DIGEST_MEMBERS(AUT_CALPAR, value1, value2, value3, value4, value5, value6)
  DIGEST_MEMBERS(CSV_PowerStatus, level, firstPath, secondPath)
  DIGEST_MEMBERS(DATE_TYPE, year, month, day)
  DIGEST_MEMBERS(TPS_Device, deviceClass, deviceType)
  DIGEST_MEMBERS(FTR_MODDATE, parts)
  DIGEST_MEMBERS(FTR_DIRINFO, name, size, modTime, modDate)
#undef DIGEST_MEMBERS

  std::string bytes_;
};

// What every output holds before a decoder runs, so that an output the
// decoder leaves untouched can be told from one it writes.
template <typename Value>
Value Sentinel() {
  if constexpr (std::is_same_v<Value, std::string>) {
    return "sentinel";
  } else if constexpr (std::is_class_v<Value>) {
    return Value{};
  } else {
    return static_cast<Value>(90);
  }
}

// Reads the text field after field from cursor 0 with one positional
// primitive, handing every read to `visit` (result, output, cursor before and
// after), until a read finds no field. It returns false if it stops at its
// bound of length + 2 reads instead: only a text too long for the cursor can.
template <typename Value, typename Visit>
bool WalkFields(const GeoComSentence& sentence, Visit&& visit) {
  const std::size_t length = sentence.GetStringCommand().size();
  unsigned short cursor = 0;
  for (std::size_t step = 0; step <= length + 1; ++step) {
    Value value = Sentinel<Value>();
    const unsigned short before = cursor;
    const bool read = sentence.unPack(value, cursor);
    visit(read, value, before, cursor);
    if (!read && cursor == before) {
      return true;
    }
  }
  return false;
}

using Decoder = std::function<void(const GeoComSentence&, Digest&)>;

template <typename Value>
void Walk(const GeoComSentence& s, Digest& d) {
  WalkFields<Value>(
      s, [&d](bool read, const Value& value, unsigned short,
              unsigned short cursor) { d.Add(read, value, cursor); });
}

template <typename Value>
void FirstField(const GeoComSentence& s, Digest& d) {
  Value value = Sentinel<Value>();
  unsigned short cursor = 0;
  d.Add(s.unPack(value, cursor), value);
}

template <typename Value>
void SingleArgument(const GeoComSentence& s, Digest& d) {
  Value value = Sentinel<Value>();
  d.Add(s.unPack(value), value);
}

// A decoder that takes its outputs by reference: they start as sentinels,
// and the digest gets its result (unless it has none), then every output.
template <typename Result, typename... Outputs>
Decoder Call(Result (GeoComSentence::*decoder)(Outputs&...) const) {
  return [decoder](const GeoComSentence& s, Digest& d) {
    std::tuple<Outputs...> outputs{Sentinel<Outputs>()...};
    std::apply(
        [&](Outputs&... values) {
          if constexpr (std::is_void_v<Result>) {
            (s.*decoder)(values...);
          } else {
            d.Add((s.*decoder)(values...));
          }
          d.Add(values...);
        },
        outputs);
  };
}

// The overload of UnPack that takes exactly these outputs.
template <typename... Outputs>
Decoder UnPackInto() {
  using Result = decltype(std::declval<const GeoComSentence&>().UnPack(
      std::declval<Outputs&>()...));
  return Call(static_cast<Result (GeoComSentence::*)(Outputs & ...) const>(
      &GeoComSentence::UnPack));
}

// Each primitive walked over the whole text, and its single-argument form
// with its positional form from cursor 0.
template <typename... Values>
void AddPrimitiveGroups(std::vector<std::vector<Decoder>>& groups) {
  (groups.push_back({Walk<Values>}), ...);
  (groups.push_back({SingleArgument<Values>, FirstField<Values>}), ...);
}

// Every decoder and primitive read of the interface, in groups whose members
// must leave the same digest: a single-argument form with its positional
// form from cursor 0, or one operation published under several names.
inline const std::vector<std::vector<Decoder>>& DecoderGroups() {
  using S = GeoComSentence;
  static const std::vector<std::vector<Decoder>> groups = [] {
    std::vector<std::vector<Decoder>> all = {
        {SingleArgument<int>, Call(&S::UnPackInterfacePort),
         Call(&S::UnPackCSVAuthenticationParam)},
        {SingleArgument<double>, UnPackInto<double>()},
        {SingleArgument<std::string>, Call(&S::UnPackTMCStationID)},
        {UnPackInto<unsigned short, std::string>()},
        {UnPackInto<TMC_ANGLE, TMC_RAW_INCLINE, TMC_RAW_ANGLE>()},
        {UnPackInto<TMC_Ang_Switch>()},
        {UnPackInto<TMC_Atmos_Temperature>()},
        {UnPackInto<TMC_Incline>()},
        {UnPackInto<TMC_Incline_Index>()},
        {UnPackInto<TMC_Simple_Meas>()},
        {UnPackInto<TMC_Hz_V_Ang>(), UnPackInto<TMC_Slope_Dist_Corr>()},
        {UnPackInto<TMC_Station>()},
        {Call(&S::UnPackTMCStation)},
        {Call(&S::UnPackInclinationValueResponse)},
        {UnPackInto<double, unsigned short, std::string>()},
        {Call(&S::UnPackPowerSearchRange)},
        {Call(&S::UnPackPowerSearchWindow)},
        {UnPackInto<ON_OFF_TYPE>()},
        {Call(&S::UnPackVisibilitySetting), Call(&S::UnPackEGLIntensity)},
        {Call(&S::UnPackGetATRResponse), Call(&S::UnPackGetLPSwitch)},
        {Call(&S::UnPackLockInStatusResponse)},
        {UnPackInto<ATA_CALIB, ATA_ZERO_COORD, ATA_TEMP_GRAD>()},
        {UnPackInto<AUT_CALPAR>()},
        {UnPackInto<CSV_PowerStatus>()},
        {UnPackInto<DATE_TYPE>()},
        {UnPackInto<TPS_Device>()},
        {Call(&S::UnPackCsvDeviceType)},
        {Call(&S::UnPackCsvListResponse)},
        {Call(&S::UnPackFtrListResponse)},
        {Call(&S::UnPackGetBatteryStatusResponse)},
        {Call(&S::UnPackGetInstrumentNo),
         Call(&S::UnPackGetAutomationActivity)},
        {Call(&S::UnPackGetSWVersionResponse)},
    };
    AddPrimitiveGroups<unsigned char, short, unsigned short, int, unsigned int,
                       long, unsigned long, double, std::string>(all);
    return all;
  }();
  return groups;
}

inline std::string DigestOf(const Decoder& decoder,
                            const GeoComSentence& sentence) {
  Digest digest;
  decoder(sentence, digest);
  return digest.Bytes();
}

// Every decoder once, from sentinel outputs: results and outputs in order.
inline std::string DecodeEverything(const GeoComSentence& sentence) {
  std::string digests;
  for (const std::vector<Decoder>& group : DecoderGroups()) {
    for (const Decoder& decoder : group) digests += DigestOf(decoder, sentence);
  }
  return digests;
}

// One or two packers of each family (scalar, fixed-decimal, record, hex-byte,
// quoted text), with arguments at the edges of their ranges; the texts one
// per line.
inline std::string PackEverything(const GeoComSentence& s) {
  const TMC_RAW_ANGLE rawAngle{true, 1.23456789, -2.5, 1e-7, 123456};
  const std::string texts[] = {
      s.Pack(static_cast<short>(-32768)),
      s.Pack(-1L, 1234567.0, true),
      s.Pack(ON),
      s.Pack(3.14159265),
      s.PackDevicePositionRequest(0.5, 1.25, AUT_FAST, AUT_TARGET, true),
      s.Pack(rawAngle, rawAngle),
      s.PackRequestSetDateTime(DATIME{2024, 3, 15, 10, 30, 0}),
      s.PackFtrDelete(FTR_DEVICE_CARD, FTR_FILE_IMAGES,
                      FTR_MODDATE{{12, 5, 24}}, "a,\"b"),
      s.PackRequestCSVAuthenticateEx("secret", 1, 4294967295U),
  };
  std::string joined;
  for (const std::string& text : texts) {
    joined += text + '\n';
  }
  return joined;
}

}  // namespace test_support

#endif
