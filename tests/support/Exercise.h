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
  void Append(const TMC_RAW_ANGLE& v) {
    Add(v.flag, v.value1, v.value2, v.value3, v.time);
  }
  void Append(const TMC_RAW_INCLINE& v) {
    Add(v.flag, v.value1, v.value2, v.value3, v.value4, v.time);
  }
  void Append(const TMC_Incline& v) {
    Add(v.crossIncline, v.lengthIncline, v.accuracy, v.time);
  }
  void Append(const TMC_ANGLE& v) {
    Add(v.hz, v.v, v.angleAccuracy, v.angleTime, v.incline, v.face);
  }
  void Append(const TMC_Ang_Switch& v) {
    Add(v.inclineCorrection, v.standAxisCorrection, v.collimationCorrection,
        v.tiltAxisCorrection);
  }
  void Append(const TMC_Atmos_Temperature& v) {
    Add(v.lambda, v.pressure, v.dryTemperature, v.wetTemperature);
  }
  void Append(const TMC_Incline_Index& v) { Add(v.value1, v.value2); }
  void Append(const TMC_Simple_Meas& v) { Add(v.hz, v.v, v.slopeDistance); }
  void Append(const TMC_Hz_V_Ang& v) { Add(v.hz, v.v); }
  void Append(const TMC_Slope_Dist_Corr& v) {
    Add(v.ppmCorrection, v.prismCorrection);
  }
  void Append(const TMC_Station& v) {
    Add(v.stationEasting, v.stationNorthing, v.stationHeight,
        v.instrumentHeight);
  }
  void Append(const AUT_SEARCH_AREA& v) {
    Add(v.centerHz, v.centerV, v.rangeHz, v.rangeV, v.enabled);
  }
  void Append(const ATA_CALIB& v) {
    Add(v.value1, v.value2, v.value3, v.value4, v.value5, v.value6);
  }
  void Append(const ATA_ZERO_COORD& v) { Add(v.value1, v.value2); }
  void Append(const ATA_TEMP_GRAD& v) { Add(v.value1, v.value2); }
  void Append(const AUT_CALPAR& v) {
    Add(v.value1, v.value2, v.value3, v.value4, v.value5, v.value6);
  }
  void Append(const CSV_PowerStatus& v) {
    Add(v.level, v.firstPath, v.secondPath);
  }
  void Append(const DATE_TYPE& v) { Add(v.year, v.month, v.day); }
  void Append(const TPS_Device& v) { Add(v.deviceClass, v.deviceType); }
  void Append(const FTR_DIRINFO& v) {
    Add(v.name, v.size, v.modTime, v.modDate.parts);
  }

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

// Reads the text from cursor 0 with one positional primitive, field after
// field, and hands every read to `visit` (result, output, cursor before and
// after). It stops after the first read that finds no field, since every
// later read would find none again; it returns false when it stops at its
// bound of length + 2 reads instead, which only a text too long for the
// 16-bit cursor can reach.
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

// Every decoder and primitive read of the interface, in groups whose members
// must leave the same digest: a single-argument form with its positional
// form from cursor 0, or one operation published under several names.
inline const std::vector<std::vector<Decoder>>& DecoderGroups() {
  using S = GeoComSentence;
  static const std::vector<std::vector<Decoder>> groups = {
      {Walk<unsigned char>},
      {Walk<short>},
      {Walk<unsigned short>},
      {Walk<int>},
      {Walk<unsigned int>},
      {Walk<long>},
      {Walk<unsigned long>},
      {Walk<double>},
      {Walk<std::string>},
      {SingleArgument<unsigned char>, FirstField<unsigned char>},
      {SingleArgument<short>, FirstField<short>},
      {SingleArgument<unsigned short>, FirstField<unsigned short>},
      {SingleArgument<int>, FirstField<int>, Call(&S::UnPackInterfacePort),
       Call(&S::UnPackCSVAuthenticationParam)},
      {SingleArgument<unsigned int>, FirstField<unsigned int>},
      {SingleArgument<long>, FirstField<long>},
      {SingleArgument<unsigned long>, FirstField<unsigned long>},
      {SingleArgument<double>, FirstField<double>, UnPackInto<double>()},
      {SingleArgument<std::string>, FirstField<std::string>,
       Call(&S::UnPackTMCStationID)},
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
      {Call(&S::UnPackGetInstrumentNo), Call(&S::UnPackGetAutomationActivity)},
      {Call(&S::UnPackGetSWVersionResponse)},
  };
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
  Digest digest;
  for (const std::vector<Decoder>& group : DecoderGroups()) {
    for (const Decoder& decoder : group) {
      decoder(sentence, digest);
    }
  }
  return digest.Bytes();
}

// Every packer once, with arguments at the edges of their ranges; the texts
// one per line.
inline std::string PackEverything(const GeoComSentence& s) {
  const TMC_RAW_ANGLE rawAngle{true, 1.23456789, -2.5, 1e-7, 123456};
  const TMC_RAW_INCLINE rawIncline{false, 0.1, 0.2, 0.3, 1234567.0, -9};
  const TMC_ANGLE angle{0.785398,  1.570796, 3e-6, 42, {1e-4, -2e-4, 1e-5, 43},
                        TMC_FACE_2};
  const std::string texts[] = {
      s.Pack(static_cast<short>(-32768)),
      s.Pack(static_cast<unsigned short>(65535)),
      s.Pack(-1),
      s.Pack(4294967295U),
      s.Pack(12L, 0.5, true),
      s.Pack(3.14159265),
      s.Pack(std::string("a,\"b")),
      s.Pack("abc"),
      s.Pack(BAP_ATRSET_LOWVIS_ON),
      s.Pack(COM_TPS_STARTUP_REMOTE),
      s.Pack(COM_TPS_STOP_SLEEP),
      s.Pack(MOT_MANUPOS),
      s.Pack(MOT_SHUTDOWN),
      s.Pack(ON),
      s.Pack(false),
      s.PackDeviceFastPositionRequest(0.1, 0.2, 0.3, AUT_TARGET),
      s.PackDevicePositionRequest(0.5, 1.25, AUT_FAST, AUT_TARGET, true),
      s.PackFineAdjustRequest(0.01, 0.02, false),
      s.PackFineAdjustRetryRequest(0.01, 0.02, ATA_VISIBILITY_LOW),
      s.PackMotorSetVelocityRequest(0.1, -0.2),
      s.PackSetSearchAreaRequest(1, -0.25, 0.1, 0.2, false),
      s.PackSetPowerSearchRangeRequest(5, 100),
      s.PackStartPowerSearchRequest(1, true),
      s.PackSetATRRequest(true),
      s.PackSetUserLockInRequest(false),
      s.PackGuideLightRequest(EDM_EGLINTEN_HIGH),
      s.PackStartCompensatorRequest(),
      s.PackStopCompenstorRequest(),
      s.PackGetATRRequest(),
      s.PackGetBatteryStatusRequest(),
      s.PackGetInstrumentNo(),
      s.PackStartLockInRequest(),
      s.Pack(1.0, 2.0, 3.0, 4.0, 5.0, 6.0, std::string("station")),
      s.Pack(rawAngle, rawAngle),
      s.Pack(rawIncline, rawIncline),
      s.Pack(rawAngle, angle, rawAngle, angle),
      s.PackCsvSetupList(CSV_DEVICE_CARD, CSV_OBJECT_FILE),
      s.PackCsvDelete2(CSV_DEVICE_USB, CSV_OBJECT_DIRECTORY, "dir"),
      s.PackFtrSetupList(FTR_DEVICE_CARD, FTR_FILE_IMAGES, "/img"),
      s.PackFtrDelete(FTR_DEVICE_CARD, FTR_FILE_IMAGES,
                      FTR_MODDATE{{12, 5, 24}}, "a.txt"),
      s.PackUploadObject(LOD_OBJECT_APPLICATION, "x", LOD_DEVICE_NONE),
      s.PackUploadObject(LOD_OBJECT_APPLICATION, "x", LOD_DEVICE_CARD),
      s.PackRequestSetDateTime(DATIME{2024, 3, 15, 10, 30, 0}),
      s.PackRequestGetInterfacePort(CSV_INTERFACE_RADIO),
      s.PackRequestConfigurePort(1, 2),
      s.PackRequestPowerOnPort(2, true),
      s.PackRequestSetDeviceOnPort(1, 2, 3, 4),
      s.PackRequestSetDeviceOnPort(1, "device"),
      s.PackRequestSetupPortForwarding(1, 2),
      s.PackRequestRemovePortForwarding(1, 2),
      s.PackRequestSetRadio("radio", 3, 4),
      s.PackRequestEnableRCS(5, 7),
      s.PackRequestDisableRCS(5),
      s.PackRequestCSVAuthenticate("secret", 0),
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
