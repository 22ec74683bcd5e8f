// Several threads run every decoder on one shared recognised reply while
// others run every packer; each must see exactly what a single thread sees.
// Built with ThreadSanitizer (the "tsan" preset) this also proves that no
// decoder or packer touches shared state.
#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using namespace Core::GEOCOM;

// Everything a set of calls returned, byte for byte (doubles bitwise).
class Digest {
 public:
  template <typename... Values>
  void Add(const Values&... values) {
    (Append(values), ...);
  }
  const std::string& Bytes() const { return bytes; }

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

template <typename Value>
void Walk(const GeoComSentence& s, Digest& d) {
  unsigned short cursor = 0;
  for (int field = 0; field < 32; ++field) {
    Value value{};
    d.Add(s.unPack(value, cursor), value, cursor);
  }
  Value first{};
  d.Add(s.unPack(first), first);
}

std::string DecodeEverything(const GeoComSentence& s) {
  Digest d;
  Walk<unsigned char>(s, d);
  Walk<short>(s, d);
  Walk<unsigned short>(s, d);
  Walk<int>(s, d);
  Walk<unsigned int>(s, d);
  Walk<long>(s, d);
  Walk<unsigned long>(s, d);
  Walk<double>(s, d);
  Walk<std::string>(s, d);

  unsigned short number = 0;
  std::string text;
  s.UnPack(number, text);
  int port = 0, parameter = 0;
  double value = 0;
  std::string station;
  d.Add(number, text, s.UnPackInterfacePort(port), port,
        s.UnPackCSVAuthenticationParam(parameter), parameter, s.UnPack(value),
        value, s.UnPackTMCStationID(station), station);

  TMC_ANGLE angle{};
  TMC_RAW_INCLINE rawIncline{};
  TMC_RAW_ANGLE rawAngle{};
  d.Add(s.UnPack(angle, rawIncline, rawAngle), angle.hz, angle.v,
        angle.angleAccuracy, angle.angleTime, angle.incline.crossIncline,
        angle.incline.lengthIncline, angle.incline.accuracy, angle.incline.time,
        angle.face, rawIncline.flag, rawIncline.value1, rawIncline.value2,
        rawIncline.value3, rawIncline.value4, rawIncline.time, rawAngle.flag,
        rawAngle.value1, rawAngle.value2, rawAngle.value3, rawAngle.time);
  TMC_Ang_Switch switches{};
  d.Add(s.UnPack(switches), switches.inclineCorrection,
        switches.standAxisCorrection, switches.collimationCorrection,
        switches.tiltAxisCorrection);
  TMC_Atmos_Temperature atmosphere{};
  d.Add(s.UnPack(atmosphere), atmosphere.lambda, atmosphere.pressure,
        atmosphere.dryTemperature, atmosphere.wetTemperature);
  TMC_Incline incline{};
  d.Add(s.UnPack(incline), incline.crossIncline, incline.lengthIncline,
        incline.accuracy, incline.time);
  TMC_Incline_Index index{};
  d.Add(s.UnPack(index), index.value1, index.value2);
  TMC_Simple_Meas measurement{};
  d.Add(s.UnPack(measurement), measurement.hz, measurement.v,
        measurement.slopeDistance);
  TMC_Hz_V_Ang angles{};
  d.Add(s.UnPack(angles), angles.hz, angles.v);
  TMC_Slope_Dist_Corr corrections{};
  d.Add(s.UnPack(corrections), corrections.ppmCorrection,
        corrections.prismCorrection);
  TMC_Station place{};
  d.Add(s.UnPack(place), place.stationEasting, place.stationNorthing,
        place.stationHeight, place.instrumentHeight);
  double e = 0, n = 0, h = 0, i = 0;
  d.Add(s.UnPackTMCStation(e, n, h, i), e, n, h, i);
  double first = 0, second = 0;
  d.Add(s.UnPackInclinationValueResponse(first, second), first, second);
  double reading = 0;
  unsigned short code = 0;
  std::string name;
  d.Add(s.UnPack(reading, code, name), reading, code, name);
  int minimum = 0, maximum = 0;
  d.Add(s.UnPackPowerSearchRange(minimum, maximum), minimum, maximum);
  AUT_SEARCH_AREA area{};
  d.Add(s.UnPackPowerSearchWindow(area), area.centerHz, area.centerV,
        area.rangeHz, area.rangeV, area.enabled);
  ON_OFF_TYPE onOff{};
  BAP_ATRSETTING setting{};
  EDM_EGLINTENSITY_TYPE intensity{};
  bool atr = false, lpSwitch = false;
  MOT_LOCK_STATUS lock{};
  d.Add(s.UnPack(onOff), onOff, s.UnPackVisibilitySetting(setting), setting,
        s.UnPackEGLIntensity(intensity), intensity, s.UnPackGetATRResponse(atr),
        atr, s.UnPackGetLPSwitch(lpSwitch), lpSwitch,
        s.UnPackLockInStatusResponse(lock), lock);
  ATA_CALIB calibration{};
  ATA_ZERO_COORD zero{};
  ATA_TEMP_GRAD gradient{};
  s.UnPack(calibration, zero, gradient);
  AUT_CALPAR calpar{};
  s.UnPack(calpar);
  d.Add(calibration.value1, calibration.value6, zero.value2, gradient.value2,
        calpar.value1, calpar.value6);

  CSV_PowerStatus power{};
  d.Add(s.UnPack(power), power.level, power.firstPath, power.secondPath);
  DATE_TYPE date{};
  d.Add(s.UnPack(date), date.year, date.month, date.day);
  TPS_Device device{};
  d.Add(s.UnPack(device), device.deviceClass, device.deviceType);
  std::int32_t deviceClass = 0, deviceType = 0;
  d.Add(s.UnPackCsvDeviceType(deviceClass, deviceType), deviceClass,
        deviceType);
  std::string a, b, c;
  unsigned short x = 0, y = 0;
  d.Add(s.UnPackCsvListResponse(a, b, x, y, c), a, b, x, y, c);
  bool last = false;
  FTR_DIRINFO entry{};
  d.Add(s.UnPackFtrListResponse(last, entry), last, entry.name, entry.size,
        entry.modTime[0], entry.modTime[3], entry.modDate.parts[0],
        entry.modDate.parts[2]);
  double capacity = 0;
  CSV_POWER_PATH path{};
  d.Add(s.UnPackGetBatteryStatusResponse(capacity, path), capacity, path);
  std::int32_t serial = 0;
  AUT_AUTEVENT event{};
  d.Add(s.UnPackGetInstrumentNo(serial), serial,
        s.UnPackGetAutomationActivity(event), event);
  unsigned short release = 0, version = 0, subversion = 0;
  d.Add(s.UnPackGetSWVersionResponse(release, version, subversion), release,
        version, subversion);
  return d.Bytes();
}

std::string PackEverything(const GeoComSentence& s) {
  const TMC_RAW_ANGLE rawAngle{true, 1.23456789, -2.5, 1e-7, 123456};
  const TMC_RAW_INCLINE rawIncline{false, 0.1, 0.2, 0.3, 1234567.0, -9};
  const TMC_ANGLE angle{0.785398,  1.570796, 3e-6, 42, {1e-4, -2e-4, 1e-5, 43},
                        TMC_FACE_2};
  const std::vector<std::string> texts = {
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
    joined += text;
    joined += '\n';
  }
  return joined;
}

GeoComSentence Recognised(const std::string& bytes) {
  GeoComSentence sentence;
  int lastByte = 0;
  sentence.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()), lastByte);
  return sentence;
}

struct SharedReply {
  const char* name;
  const char* bytes;
};

class ConcurrentUse : public ::testing::TestWithParam<SharedReply> {};

TEST_P(ConcurrentUse, EveryThreadSeesWhatOneThreadSees) {
  const GeoComSentence sentence = Recognised(GetParam().bytes);
  ASSERT_TRUE(sentence.isResponseMessageValid());
  const std::string decoded = DecodeEverything(sentence);
  const std::string packed = PackEverything(sentence);

  constexpr int kDecoderThreads = 4;
  constexpr int kPackerThreads = 2;
  constexpr int kRounds = 40;
  std::vector<int> mismatches(kDecoderThreads + kPackerThreads, 0);
  std::promise<void> start;
  const std::shared_future<void> started = start.get_future().share();

  std::vector<std::thread> threads;
  for (int t = 0; t < kDecoderThreads + kPackerThreads; ++t) {
    const bool decoder = t < kDecoderThreads;
    threads.emplace_back([&, t, decoder] {
      started.wait();
      for (int round = 0; round < kRounds; ++round) {
        const bool same = decoder ? DecodeEverything(sentence) == decoded
                                  : PackEverything(sentence) == packed;
        mismatches[static_cast<std::size_t>(t)] += same ? 0 : 1;
      }
    });
  }
  start.set_value();
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  }
}

// An angle reply, a file-list entry, a station and texts that make most
// decoders fail part-way, so that success and failure paths both run.
INSTANTIATE_TEST_SUITE_P(
    Replies, ConcurrentUse,
    ::testing::Values(
        SharedReply{"Angles",
                    "%R1P,0,41:0,0.785398,1.570796,0.000003,12345,0.0001,"
                    "-0.0002,0.00001,12346,0,1,0.1,0.2,0.3,0.4,777,0,1.1,1.2,"
                    "1.3,778\r\n"},
        SharedReply{"FileEntry",
                    "%R1P,0,42:0,0,\"a.txt\",120,'0a','1e','00','00','18',"
                    "'05','0c'\r\n"},
        SharedReply{"Station", "%R1P,0,43:0,1000.123,2000.456,,1.55\r\n"},
        SharedReply{"Malformed",
                    "%R1P,0,44:0,1,70000,'zz',\"x,y\",-1,abc,1e999,\r\n"}),
    [](const ::testing::TestParamInfo<SharedReply>& reply) {
      return std::string(reply.param.name);
    });

}  // namespace
