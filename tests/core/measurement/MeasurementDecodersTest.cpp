#include <gtest/gtest.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <functional>
#include <limits>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/Sentences.h"

using namespace Core::GEOCOM;
using test_support::Received;

namespace {

constexpr int U = -999;  // what every output holds before decoding
using Fields = std::vector<double>;
using Outcome = std::pair<bool, Fields>;
using Decoder = std::function<Outcome(const GeoComSentence&)>;
using S = GeoComSentence;

template <typename... Numbers>
Fields Values(Numbers... values) {
  return {static_cast<double>(values)...};
}

// Runs a decoder on outputs that start at U; hands back its result and the
// outputs in order.
template <typename... Outputs>
Decoder Call(bool (S::*decode)(Outputs&...) const) {
  return [=](const S& reply) {
    std::tuple<Outputs...> outputs{static_cast<Outputs>(U)...};
    const bool ok = std::apply(
        [&](Outputs&... out) { return (reply.*decode)(out...); }, outputs);
    return Outcome(ok, std::apply(Values<Outputs...>, outputs));
  };
}

// The same for a record: the listed fields start at U and come back in order.
template <typename Record, typename... Types>
Decoder Fill(bool (S::*decode)(Record&) const, Types Record::*... members) {
  return [=](const S& reply) {
    Record record{};
    ((record.*members = static_cast<Types>(U)), ...);
    const bool ok = (reply.*decode)(record);
    return Outcome(ok, Values(record.*members...));
  };
}

const Decoder kStationValues = Call(&S::UnPackTMCStation);

}  // namespace

TEST(MeasurementDecoders, ChainedDecodersStopAtTheFirstFailedField) {
  const Decoder decoders[] = {
      Fill(&S::UnPack, &TMC_Atmos_Temperature::lambda,
           &TMC_Atmos_Temperature::pressure,
           &TMC_Atmos_Temperature::dryTemperature,
           &TMC_Atmos_Temperature::wetTemperature),
      Fill(&S::UnPack, &TMC_Incline::crossIncline, &TMC_Incline::lengthIncline,
           &TMC_Incline::accuracy, &TMC_Incline::time),
      Fill(&S::UnPack, &TMC_Simple_Meas::hz, &TMC_Simple_Meas::v,
           &TMC_Simple_Meas::slopeDistance),
      Fill(&S::UnPack, &TMC_Incline_Index::value1, &TMC_Incline_Index::value2),
      Fill(&S::UnPack, &TMC_Hz_V_Ang::hz, &TMC_Hz_V_Ang::v),
      Fill(&S::UnPack, &TMC_Slope_Dist_Corr::ppmCorrection,
           &TMC_Slope_Dist_Corr::prismCorrection),
      Call(&S::UnPackInclinationValueResponse),
      kStationValues,
  };
  for (std::size_t d = 0; d < std::size(decoders); ++d) {
    SCOPED_TRACE("decoder " + std::to_string(d));
    const Outcome all = decoders[d](Received(",1,2,3,4,99"));  // 99 is surplus
    Fields expected(all.second.size());
    std::iota(expected.begin(), expected.end(), 1.0);
    EXPECT_EQ(all, Outcome(true, expected));

    // A missing last field fails the reply; the fields before it are stored.
    const std::string cut(",1,2,3", 2 * expected.size() - 2);
    expected.back() = U;
    EXPECT_EQ(decoders[d](Received(cut)), Outcome(false, expected));

    // A field that does not convert stops the chain.
    const Fields bad = decoders[d](Received(",1,x,3,4")).second;
    EXPECT_EQ(bad[0], 1.0);
    EXPECT_EQ(Fields(bad.begin() + 2, bad.end()), Fields(bad.size() - 2, U));
  }
}

TEST(MeasurementDecoders, StoreExactlyWhatEachReplyAllows) {
  const double inf = std::numeric_limits<double>::infinity();
  const Decoder switches = Fill(&S::UnPack, &TMC_Ang_Switch::inclineCorrection,
                                &TMC_Ang_Switch::standAxisCorrection,
                                &TMC_Ang_Switch::collimationCorrection,
                                &TMC_Ang_Switch::tiltAxisCorrection);
  const Decoder station = Fill(
      &S::UnPack, &TMC_Station::stationEasting, &TMC_Station::stationNorthing,
      &TMC_Station::stationHeight, &TMC_Station::instrumentHeight);
  const Decoder window =
      Fill(&S::UnPackPowerSearchWindow, &AUT_SEARCH_AREA::enabled);
  const Decoder range = Call(&S::UnPackPowerSearchRange);
  const Decoder onOff = Call<ON_OFF_TYPE>(&S::UnPack);
  const Decoder lock = Call(&S::UnPackLockInStatusResponse);
  const Decoder atr = Call(&S::UnPackGetATRResponse);
  const Decoder visibility = Call(&S::UnPackVisibilitySetting);
  const struct {
    Decoder decode;
    const char* parameters;
    bool result;
    Fields fields;
  } cases[] = {
      {switches, ",1,0,2,1", false, {1, 0, U, U}},
      {switches, ",-1,0,0,0", false, {U, U, U, U}},
      {switches, ",0,1,1,0", true, {0, 1, 1, 0}},
      // An unreadable station height becomes infinity; the instrument height
      // is read where the chain stopped, and alone decides the result.
      {station, ",1000,2000,,1.5", true, {1000, 2000, inf, 1.5}},
      {kStationValues, ",1000,2000,,1.5", false, {1000, 2000, U, U}},
      {station, ",1000,2000,3000", false, {1000, 2000, 3000, U}},
      {station, ",,2000,3000,1.5", true, {U, U, inf, 2000}},
      // `enabled` is written in every case, true only for the value 1.
      {window, ",1,2,3,4,1", true, {1}},
      {window, ",1,2,3,4,2", true, {0}},
      {window, ",1,2,3,4,70000", false, {0}},
      {window, ",1,2,3", false, {0}},
      {range, ",5,x", false, {U, U}},
      {range, ",5,-7", true, {5, -7}},
      {onOff, ",0", true, {0}},
      {onOff, ",1", true, {1}},
      {onOff, ",2", false, {U}},
      {onOff, ",-1", false, {U}},
      {lock, ",0", true, {0}},
      {lock, ",2", true, {2}},
      {lock, ",3", false, {U}},
      {lock, ",-1", false, {U}},
      // A truth value starts true.
      {atr, ",0", true, {0}},
      {atr, ",-32768", true, {1}},
      {atr, ",32768", false, {1}},
      // The setting is written in every case, with 0 on failure.
      {visibility, ",65535", true, {65535}},
      {visibility, "", false, {0}},
      {visibility, ",-1", false, {0}},
      {Call(&S::UnPackEGLIntensity), ",65536", false, {0}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].decode(Received(cases[i].parameters)),
              Outcome(cases[i].result, cases[i].fields))
        << "case " << i;
  }
}

TEST(MeasurementDecoders, AngleWithRawRecordsMakesEveryReadAndAndsThem) {
  const auto decode = [](const std::string& parameters) {
    TMC_ANGLE a{};
    TMC_RAW_INCLINE i{};
    TMC_RAW_ANGLE r{};
    const bool ok = Received(parameters).UnPack(a, i, r);
    return Outcome(
        ok,
        Values(a.hz, a.v, a.angleAccuracy, a.angleTime, a.incline.crossIncline,
               a.incline.lengthIncline, a.incline.accuracy, a.incline.time,
               a.face, i.flag, i.value1, i.value2, i.value3, i.value4, i.time,
               r.flag, r.value1, r.value2, r.value3, r.time));
  };
  EXPECT_EQ(decode(",1,2,3,4,5,6,7,8,-2,5,10,11,12,13,14,-1,16,17,18,19"),
            Outcome(true, {1,  2,  3,  4,  5,  6, 7,  8,  -2, 1,
                           10, 11, 12, 13, 14, 1, 16, 17, 18, 19}));

  // An out-of-range face fails the reply but not the reads after it.
  Outcome failed =
      decode(",1,2,3,4,5,6,7,8,40000,0,10,11,12,13,14,1,16,17,18,19");
  failed.second[8] = 0;  // what a failed face read leaves is not fixed
  EXPECT_EQ(failed, Outcome(false, {1,  2,  3,  4,  5,  6, 7,  8,  0,  0,
                                    10, 11, 12, 13, 14, 1, 16, 17, 18, 19}));
}

TEST(MeasurementDecoders, CalibrationDecodersReadOnPastFailures) {
  ATA_CALIB c{};
  ATA_ZERO_COORD z{};
  ATA_TEMP_GRAD g{};
  Received(",1,x,3,4,5,6,7,,9,10").UnPack(c, z, g);
  // The empty field leaves its target at 0.
  EXPECT_EQ(Values(c.value1, c.value3, c.value6, z.value1, z.value2, g.value1,
                   g.value2),
            Values(1, 3, 6, 7, 0, 9, 10));
  AUT_CALPAR p{};
  Received(",x,2,3,4,5,6").UnPack(p);
  EXPECT_EQ(Values(p.value2, p.value6), Values(2, 6));
}

TEST(MeasurementDecoders, NumberAndTextReplyStopsAtTheFirstFailure) {
  double value = 0;
  unsigned short number = 3;
  std::string text = "old";
  EXPECT_FALSE(Received(",1.5,70000,\"ab\"").UnPack(value, number, text));
  EXPECT_EQ(number, 3);
  EXPECT_EQ(text, "old");
  EXPECT_FALSE(Received(",1.5,65535").UnPack(value, number, text));
  EXPECT_EQ(number, 65535);
  EXPECT_TRUE(Received(",2.5,7,\"a,b\"").UnPack(value, number, text));
  EXPECT_EQ(text, "a,b");
}
