// What makes two faces and rounds worth testing: instrument errors that
// bias each face and cancel in the mean, face changes, hidden prisms and
// drift over scene days, and the scene keys that set them.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <chrono>
#include <cmath>
#include <sstream>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using std::chrono::seconds;
constexpr double kPi = 3.14159265358979323846;
const Clock::time_point kStart{};

Scene OnePrism() {
  Scene scene;
  scene.station = {"S", 0, 0, 0, 1.5, 0.2};
  scene.prisms = {{"P", {30, 40, 6.5}, {}, {}, {}, 0}};
  scene.telescope.maxSpeed = 100;
  return scene;
}

TMC_Hz_V_Ang AnglesAt(VirtualInstrument& instrument, Clock::time_point at) {
  TMC_Hz_V_Ang angles{};
  EXPECT_TRUE(Ask(instrument, at, host::kAngles, "1").UnPack(angles));
  return angles;
}

std::string Numbers(double a, double b) {
  std::ostringstream text;
  text.precision(17);
  text << a << "," << b;
  return text.str();
}

TEST(InstrumentErrors, CircleReadingAndLineOfSightAreInverses) {
  const InstrumentErrors errors{3e-4, -2e-4};
  for (const Direction line :
       {Direction{0.1, 1.2}, Direction{6.2, 1.9}, Direction{3.0, 4.5},
        Direction{2 * kPi - 1e-5, 5.0}}) {
    const Direction reading = CircleReading(line, errors);
    EXPECT_NEAR(ShortestTurn(reading.hz - line.hz), 3e-4 / std::sin(line.v),
                1e-12);
    EXPECT_NEAR(reading.v - line.v, -2e-4, 1e-12);
    const Direction back = LineOfSightAt(reading, errors);
    EXPECT_NEAR(ShortestTurn(back.hz - line.hz), 0, 1e-12);
    EXPECT_NEAR(back.v, line.v, 1e-12);
    const Direction other = OtherFace(line);
    EXPECT_NE(InFaceTwo(other), InFaceTwo(line));
    EXPECT_NEAR(AngleBetween(other, line), 0, 1e-9);
  }
}

// Catches errors added in one face only, or the same sign in both, and a
// face change that does not keep the line of sight.
TEST(InstrumentErrors,
     FacesReadTheErrorsOppositeWaysAndChangeFaceKeepsTheSight) {
  Scene scene = OnePrism();
  scene.instrumentErrors = {2e-4, 1e-4};
  VirtualInstrument instrument(scene, 1, kStart);
  const Sight sight = SightTo(scene.station, scene.prisms[0].position);
  const Direction truth = sight.direction;
  Ask(instrument, kStart, host::kSetAtrState, "1");
  Ask(instrument, kStart, host::kPosition, Numbers(truth.hz, truth.v) + ",0,0");
  ASSERT_EQ(Ask(instrument, kStart + seconds(1), host::kFineAdjust, "0.01,0.01")
                .GetRetCode(),
            0);
  const TMC_Hz_V_Ang one = AnglesAt(instrument, kStart + seconds(2));
  ASSERT_EQ(
      Ask(instrument, kStart + seconds(2), host::kChangeFace, "").GetRetCode(),
      0);
  const TMC_Hz_V_Ang two = AnglesAt(instrument, kStart + seconds(3));
  const double effect = 2e-4 / std::sin(truth.v);
  EXPECT_NEAR(ShortestTurn(one.hz - truth.hz), effect, 1e-9);
  EXPECT_NEAR(one.v - truth.v, 1e-4, 1e-9);
  EXPECT_NEAR(ShortestTurn(two.hz - (truth.hz + kPi)), -effect, 1e-9);
  EXPECT_NEAR(two.v - (2 * kPi - truth.v), 1e-4, 1e-9);
  // Fine adjustment in face II stays in face II, and the distance is there.
  ASSERT_EQ(Ask(instrument, kStart + seconds(3), host::kFineAdjust, "0.01,0.01")
                .GetRetCode(),
            0);
  EXPECT_GT(AnglesAt(instrument, kStart + seconds(4)).v, kPi);
  TMC_Simple_Meas measured{};
  EXPECT_TRUE(
      Ask(instrument, kStart + seconds(4), host::kSimpleMeasurement, "100,1")
          .UnPack(measured));
  EXPECT_NEAR(measured.slopeDistance, sight.slopeDistance, 1e-9);
}

TEST(HiddenPrisms, AreNotSeenInTheirWindowsOrByTheirDraw) {
  struct Case {
    const char* name;
    std::vector<HiddenWindow> windows;
    double probability;
    int at;  // seconds since the start
    bool seen;
  };
  const Case cases[] = {
      {"before the window", {{10, 20}}, 0, 9, true},
      {"in the window", {{10, 20}}, 0, 10, false},
      {"after the window", {{10, 20}}, 0, 20, true},
      {"in the second window", {{1, 2}, {30, 40}}, 0, 35, false},
      {"always hidden", {}, 1, 7, false},
      {"never hidden", {}, 0, 7, true},
  };
  for (const Case& c : cases) {
    Scene scene = OnePrism();
    scene.prisms[0].hidden = c.windows;
    scene.prisms[0].hiddenProbability = c.probability;
    VirtualInstrument instrument(scene, 1, kStart);
    const Direction truth =
        SightTo(scene.station, scene.prisms[0].position).direction;
    const Clock::time_point at = kStart + seconds(c.at);
    Ask(instrument, at, host::kSetAtrState, "1");
    Ask(instrument, at, host::kPosition, Numbers(truth.hz, truth.v) + ",0,0");
    const Clock::time_point there = at + std::chrono::milliseconds(100);
    EXPECT_EQ(
        Ask(instrument, there, host::kFineAdjust, "0.01,0.01").GetRetCode() ==
            0,
        c.seen)
        << c.name;
    EXPECT_EQ(Ask(instrument, there, host::kSimpleMeasurement, "100,1")
                      .GetRetCode() == 0,
              c.seen)
        << c.name;
  }
  // A probability of one half hides the prism in some draws, not in all,
  // and the same seed hides it in the same ones.
  Scene scene = OnePrism();
  scene.prisms[0].hiddenProbability = 0.5;
  int hidden = 0;
  for (std::uint64_t seed : {1u, 1u}) {
    VirtualInstrument instrument(scene, seed, kStart);
    for (int draw = 0; draw < 40; ++draw) {
      const Clock::time_point at =
          kStart + seconds(static_cast<int>(kHiddenDrawSeconds) * draw);
      const Direction truth =
          SightTo(scene.station, scene.prisms[0].position).direction;
      Ask(instrument, at, host::kPosition, Numbers(truth.hz, truth.v) + ",0,0");
      hidden += Ask(instrument, at + std::chrono::milliseconds(100),
                    host::kSimpleMeasurement, "100,1")
                    .GetRetCode() != 0;
    }
  }
  EXPECT_GT(hidden, 2 * 8);
  EXPECT_LT(hidden, 2 * 32);
  EXPECT_EQ(hidden % 2, 0);
}

TEST(Drift, MovesAPrismAtItsRatePerSceneDay) {
  Scene scene = OnePrism();
  scene.prisms[0].drift = {0.002, -0.001, 0.0005};
  scene.timeScale = 86400;  // a scene day every second
  VirtualInstrument instrument(scene, 1, kStart);
  const Point at = *instrument.PrismAt("P", kStart + seconds(3));
  EXPECT_NEAR(at.easting - 30, 0.006, 1e-12);
  EXPECT_NEAR(at.northing - 40, -0.003, 1e-12);
  EXPECT_NEAR(at.height - 6.5, 0.0015, 1e-12);
}

TEST(Drift, StopsWhereAPrismIsPut) {
  Scene scene = OnePrism();
  scene.prisms[0].drift = {0.002, -0.001, 0.0005};
  scene.timeScale = 86400;
  VirtualInstrument instrument(scene, 1, kStart);
  ASSERT_TRUE(instrument.MovePrism("P", {30, 40, 6.5}, kStart + seconds(3)));
  const Point at = *instrument.PrismAt("P", kStart + seconds(6));
  EXPECT_DOUBLE_EQ(at.easting, 30);
  EXPECT_DOUBLE_EQ(at.northing, 40);
  EXPECT_DOUBLE_EQ(at.height, 6.5);
}

TEST(MonitoringScene, KeysReadAndBadValuesNameThemselves) {
  const std::string good = R"({
    "station": {"easting": 0, "northing": 0, "height": 0},
    "prisms": [{"id": "P", "easting": 1, "northing": 2, "height": 3,
                "drift": {"easting": 0.001, "northing": 0, "height": -0.002},
                "hidden": [{"from": 5, "to": 9}],
                "hidden_probability": 0.25}],
    "instrument_errors": {"collimation": 0.0001, "vertical_index": -0.0002},
    "time_scale": 604800
  })";
  const Scene scene = ParseScene(good, "good.json").value();
  EXPECT_DOUBLE_EQ(scene.prisms[0].drift.height, -0.002);
  ASSERT_EQ(scene.prisms[0].hidden.size(), 1u);
  EXPECT_DOUBLE_EQ(scene.prisms[0].hidden[0].to, 9);
  EXPECT_DOUBLE_EQ(scene.prisms[0].hiddenProbability, 0.25);
  EXPECT_DOUBLE_EQ(scene.instrumentErrors.collimation, 0.0001);
  EXPECT_DOUBLE_EQ(scene.instrumentErrors.verticalIndex, -0.0002);
  EXPECT_DOUBLE_EQ(scene.timeScale, 604800);

  struct Case {
    const char* replace;
    const char* with;
    const char* message;
  };
  const Case cases[] = {
      {"\"collimation\": 0.0001", "\"collimation\": 0.5",
       "instrument_errors.collimation must be a number from -0.01 to 0.01"},
      {"\"vertical_index\": -0.0002", "\"vertical_idx\": 0",
       "instrument_errors.vertical_idx is not a field"},
      {"\"to\": 9", "\"to\": 5", "prisms[0].hidden[0].to must be after from"},
      {"{\"from\": 5, \"to\": 9}", "{\"to\": 9}",
       "prisms[0].hidden[0].from is required"},
      {"\"hidden_probability\": 0.25", "\"hidden_probability\": 2",
       "prisms[0].hidden_probability must be a number from 0 to 1"},
      {"\"easting\": 0.001", "\"easting\": 5",
       "prisms[0].drift.easting must be a number from -1 to 1"},
      {"\"time_scale\": 604800", "\"time_scale\": 0",
       "time_scale must be a number above 0"},
  };
  for (const Case& c : cases) {
    std::string text = good;
    text.replace(text.find(c.replace), std::string(c.replace).size(), c.with);
    const host::Result<Scene> parsed = ParseScene(text, "bad.json");
    ASSERT_FALSE(parsed) << c.with;
    EXPECT_NE(parsed.error().message.find(c.message), std::string::npos)
        << parsed.error().message;
  }
}

}  // namespace
}  // namespace simtest
