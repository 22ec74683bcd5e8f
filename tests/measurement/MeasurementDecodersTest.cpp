#include <gtest/gtest.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace Core::GEOCOM;

namespace {

constexpr double kUntouched = -999.0;

// The reply as the instrument sends it, recognised by a second sentence;
// `parameters` is what follows the return code, leading comma included.
GeoComSentence Reply(const std::string& parameters) {
  GeoComSentence composed;
  EXPECT_TRUE(composed.CreateReply(1, GRC_OK, parameters));
  const unsigned char* bytes = nullptr;
  int length = 0;
  composed.GetBuffer(bytes, length);
  GeoComSentence reply;
  int lastByte = 0;
  EXPECT_TRUE(reply.CreateMessageFromBuffer(bytes, length, lastByte));
  return reply;
}

using Fields = std::vector<double>;
using Decoder = std::function<bool(const GeoComSentence&, Fields&)>;

// Decodes into a record whose listed fields start at kUntouched and hands
// those fields back in wire order.
template <typename Record, typename... Members>
Decoder Fill(bool (GeoComSentence::*decode)(Record&) const,
             Members... members) {
  return [=](const GeoComSentence& reply, Fields& fields) {
    Record record{};
    ((record.*members =
          static_cast<std::remove_reference_t<decltype(record.*members)>>(
              kUntouched)),
     ...);
    const bool ok = (reply.*decode)(record);
    fields = {static_cast<double>(record.*members)...};
    return ok;
  };
}

template <typename Out>
std::pair<bool, int> Single(bool (GeoComSentence::*decode)(Out&) const,
                            const std::string& parameters) {
  Out out = static_cast<Out>(77);
  const bool ok = (Reply(parameters).*decode)(out);
  return {ok, static_cast<int>(out)};
}

}  // namespace

TEST(MeasurementDecoders, ChainedDecodersStopAtTheFirstFailedField) {
  using S = GeoComSentence;
  const Decoder decoders[] = {
      Fill<TMC_Atmos_Temperature>(&S::UnPack, &TMC_Atmos_Temperature::lambda,
                                  &TMC_Atmos_Temperature::pressure,
                                  &TMC_Atmos_Temperature::dryTemperature,
                                  &TMC_Atmos_Temperature::wetTemperature),
      Fill<TMC_Incline>(&S::UnPack, &TMC_Incline::crossIncline,
                        &TMC_Incline::lengthIncline, &TMC_Incline::accuracy,
                        &TMC_Incline::time),
      Fill<TMC_Simple_Meas>(&S::UnPack, &TMC_Simple_Meas::hz,
                            &TMC_Simple_Meas::v,
                            &TMC_Simple_Meas::slopeDistance),
      Fill<TMC_Incline_Index>(&S::UnPack, &TMC_Incline_Index::value1,
                              &TMC_Incline_Index::value2),
      Fill<TMC_Hz_V_Ang>(&S::UnPack, &TMC_Hz_V_Ang::hz, &TMC_Hz_V_Ang::v),
      Fill<TMC_Slope_Dist_Corr>(&S::UnPack, &TMC_Slope_Dist_Corr::ppmCorrection,
                                &TMC_Slope_Dist_Corr::prismCorrection),
      [](const S& reply, Fields& f) {
        f = {kUntouched, kUntouched};
        return reply.UnPackInclinationValueResponse(f[0], f[1]);
      },
      [](const S& reply, Fields& f) {
        f = {kUntouched, kUntouched, kUntouched, kUntouched};
        return reply.UnPackTMCStation(f[0], f[1], f[2], f[3]);
      },
  };
  for (const Decoder& decode : decoders) {
    Fields all;
    ASSERT_TRUE(decode(Reply(",1,2,3,4,99"), all));  // 99 is surplus
    const std::size_t count = all.size();
    SCOPED_TRACE(count);
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(all[i], static_cast<double>(i + 1));
    }
    Fields again;
    EXPECT_TRUE(decode(Reply(",1,2,3,4,99"), again));
    EXPECT_EQ(again, all);

    // Replies cut short after `present` fields leave the rest untouched.
    std::string parameters;
    for (std::size_t present = 0; present < count; ++present) {
      Fields some;
      EXPECT_FALSE(decode(Reply(parameters), some));
      for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(some[i],
                  i < present ? static_cast<double>(i + 1) : kUntouched);
      }
      parameters += "," + std::to_string(present + 1);
    }
    Fields bad;
    EXPECT_FALSE(decode(Reply(",1,x,3,4"), bad));
    EXPECT_EQ(bad[0], 1.0);
    EXPECT_EQ(Fields(bad.begin() + 2, bad.end()),
              Fields(count - 2, kUntouched));
  }
}

TEST(MeasurementDecoders, AngleWithRawRecordsMakesEveryReadAndAndsThem) {
  TMC_ANGLE angle{};
  TMC_RAW_INCLINE incline{};
  TMC_RAW_ANGLE raw{};
  EXPECT_TRUE(Reply(",1,2,3,4,5,6,7,8,-2,5,10,11,12,13,14,-1,16,17,18,19")
                  .UnPack(angle, incline, raw));
  EXPECT_EQ(angle.face, -2);
  EXPECT_TRUE(incline.flag);
  EXPECT_TRUE(raw.flag);

  // A bad angle and an out-of-range face do not stop the later reads.
  angle = TMC_ANGLE{};
  incline = TMC_RAW_INCLINE{};
  raw = TMC_RAW_ANGLE{};
  EXPECT_FALSE(Reply(",1,x,3,4,5,6,7,8,40000,0,10,11,12,13,14,1,16,17,18,19")
                   .UnPack(angle, incline, raw));
  EXPECT_EQ(angle.hz, 1);
  EXPECT_EQ(angle.angleTime, 4);
  EXPECT_EQ(angle.incline.time, 8);
  EXPECT_FALSE(incline.flag);
  EXPECT_EQ(incline.value4, 13);
  EXPECT_EQ(incline.time, 14);
  EXPECT_TRUE(raw.flag);
  EXPECT_EQ(raw.value3, 18);
  EXPECT_EQ(raw.time, 19);
}

TEST(MeasurementDecoders, CalibrationDecodersReadOnPastFailures) {
  ATA_CALIB calibration{};
  ATA_ZERO_COORD zero{};
  ATA_TEMP_GRAD gradient{};
  Reply(",1,x,3,4,5,6,7,,9,10").UnPack(calibration, zero, gradient);
  EXPECT_EQ(calibration.value1, 1);
  EXPECT_EQ(calibration.value6, 6);
  EXPECT_EQ(zero.value1, 7);
  EXPECT_EQ(zero.value2, 0);  // its field is empty
  EXPECT_EQ(gradient.value2, 10);

  AUT_CALPAR parameters{};
  Reply(",x,2,3,4,5,6").UnPack(parameters);
  EXPECT_EQ(parameters.value2, 2);
  EXPECT_EQ(parameters.value6, 6);
}

TEST(MeasurementDecoders, StationHeightBecomesInfinityWhenUnreadable) {
  const double infinity = std::numeric_limits<double>::infinity();
  const GeoComSentence emptyHeight = Reply(",1000,2000,,1.5");
  TMC_Station station{0, 0, 0, 0};
  EXPECT_TRUE(emptyHeight.UnPack(station));
  EXPECT_EQ(station.stationHeight, infinity);
  EXPECT_EQ(station.instrumentHeight, 1.5);
  double e = 0, n = 0, h = 0, i = 0;
  EXPECT_FALSE(emptyHeight.UnPackTMCStation(e, n, h, i));

  station = {0, 0, 0, 7};
  EXPECT_FALSE(Reply(",1000,2000,3000").UnPack(station));
  EXPECT_EQ(station.stationHeight, 3000);
  EXPECT_EQ(station.instrumentHeight, 7);

  // The instrument height is read where the failed chain left the cursor.
  station = {0, 5, 0, 0};
  EXPECT_TRUE(Reply(",x,2000,3000,1.5").UnPack(station));
  EXPECT_EQ(station.stationNorthing, 5);
  EXPECT_EQ(station.stationHeight, infinity);
  EXPECT_EQ(station.instrumentHeight, 2000);
}

TEST(MeasurementDecoders, SearchWindowAlwaysWritesEnabled) {
  const struct {
    const char* parameters;
    bool result;
    bool enabled;
  } cases[] = {
      {",1,2,3,4,1", true, true},       {",1,2,3,4,2", true, false},
      {",1,2,3,4,0", true, false},      {",1,2,3,4,65535", true, false},
      {",1,2,3,4,70000", false, false}, {",1,2,3,4,-1", false, false},
      {",1,2,3", false, false},         {",1,2,3,4,1,9", true, true},
  };
  for (const auto& c : cases) {
    AUT_SEARCH_AREA area{0, 0, 0, 0, !c.enabled};
    EXPECT_EQ(Reply(c.parameters).UnPackPowerSearchWindow(area), c.result)
        << c.parameters;
    EXPECT_EQ(area.enabled, c.enabled) << c.parameters;
  }
}

TEST(MeasurementDecoders, SwitchesAndMixedRepliesStopAtTheFirstFailure) {
  const ON_OFF_TYPE unset = static_cast<ON_OFF_TYPE>(9);
  TMC_Ang_Switch switches{unset, unset, unset, unset};
  EXPECT_FALSE(Reply(",1,0,2,1").UnPack(switches));
  EXPECT_EQ(switches.inclineCorrection, 1);
  EXPECT_EQ(switches.standAxisCorrection, 0);
  EXPECT_EQ(switches.collimationCorrection, unset);
  EXPECT_EQ(switches.tiltAxisCorrection, unset);
  EXPECT_FALSE(Reply(",-1,0,0,0").UnPack(switches));
  EXPECT_TRUE(Reply(",0,1,1,0").UnPack(switches));

  double value = 0;
  unsigned short number = 3;
  std::string text = "old";
  EXPECT_FALSE(Reply(",1.5,70000,\"ab\"").UnPack(value, number, text));
  EXPECT_EQ(number, 3);
  EXPECT_EQ(text, "old");
  EXPECT_FALSE(Reply(",1.5,65535").UnPack(value, number, text));
  EXPECT_EQ(number, 65535);
  EXPECT_TRUE(Reply(",2.5,7,\"a,b\"").UnPack(value, number, text));
  EXPECT_EQ(text, "a,b");

  int minimum = -9, maximum = -9;
  EXPECT_FALSE(Reply(",5").UnPackPowerSearchRange(minimum, maximum));
  EXPECT_FALSE(Reply(",5,x").UnPackPowerSearchRange(minimum, maximum));
  EXPECT_EQ(minimum, -9);
  EXPECT_EQ(maximum, -9);
  EXPECT_TRUE(Reply(",5,-7").UnPackPowerSearchRange(minimum, maximum));
  EXPECT_EQ(maximum, -7);
}

// Every output starts at 77, which a truth value holds as true.
TEST(MeasurementDecoders, SingleValueDecodersCheckTheirRanges) {
  using S = GeoComSentence;
  const struct {
    std::pair<bool, int> decoded;
    bool result;
    int value;
  } cases[] = {
      {Single<ON_OFF_TYPE>(&S::UnPack, ",1"), true, 1},
      {Single<ON_OFF_TYPE>(&S::UnPack, ",0,5"), true, 0},
      {Single<ON_OFF_TYPE>(&S::UnPack, ",2"), false, 77},
      {Single<ON_OFF_TYPE>(&S::UnPack, ",-1"), false, 77},
      {Single(&S::UnPackLockInStatusResponse, ",2"), true, 2},
      {Single(&S::UnPackLockInStatusResponse, ",3"), false, 77},
      {Single(&S::UnPackLockInStatusResponse, ",-1"), false, 77},
      {Single(&S::UnPackGetATRResponse, ",0"), true, 0},
      {Single(&S::UnPackGetATRResponse, ",-32768"), true, 1},
      {Single(&S::UnPackGetATRResponse, ",40000"), false, 1},
      {Single(&S::UnPackGetLPSwitch, ",0"), true, 0},
      {Single(&S::UnPackGetLPSwitch, ",32768"), false, 1},
      {Single(&S::UnPackVisibilitySetting, ",65535"), true, 65535},
      {Single(&S::UnPackVisibilitySetting, ",70000"), false, 0},
      {Single(&S::UnPackVisibilitySetting, ""), false, 0},
      {Single(&S::UnPackVisibilitySetting, ",-1"), false, 0},
      {Single(&S::UnPackEGLIntensity, ",3"), true, 3},
      {Single(&S::UnPackEGLIntensity, ",65536"), false, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].decoded, std::make_pair(cases[i].result, cases[i].value))
        << "case " << i;
  }
}
