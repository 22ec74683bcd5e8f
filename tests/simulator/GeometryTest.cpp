// The angles and distances the instrument measures follow from the scene's
// geometry, in every quadrant and above and below the horizon.
#include <DazoZazIdoRezeraro/host/ArgumentChecks.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <cmath>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
constexpr double kPi = 3.14159265358979323846;

struct Case {
  const char* name;
  double dE, dN, dH;  // from the tilting axis to the prism
  double hz, v, slope;
  double orientation = 0;  // the station's
};

// Horizontal distance 10√2 and |dH| 10√2: zenith angle π/4 or 3π/4, slope
// distance 20, the bearing a multiple of π/4.
const double kSide = 10.0;
const double kRise = 10.0 * std::sqrt(2.0);
const Case kCases[] = {
    {"NorthEastAbove", kSide, kSide, kRise, kPi / 4, kPi / 4, 20},
    {"NorthEastBelow", kSide, kSide, -kRise, kPi / 4, 3 * kPi / 4, 20},
    {"SouthEastAbove", kSide, -kSide, kRise, 3 * kPi / 4, kPi / 4, 20},
    {"SouthEastBelow", kSide, -kSide, -kRise, 3 * kPi / 4, 3 * kPi / 4, 20},
    {"SouthWestAbove", -kSide, -kSide, kRise, 5 * kPi / 4, kPi / 4, 20},
    {"SouthWestBelow", -kSide, -kSide, -kRise, 5 * kPi / 4, 3 * kPi / 4, 20},
    {"NorthWestAbove", -kSide, kSide, kRise, 7 * kPi / 4, kPi / 4, 20},
    {"NorthWestBelow", -kSide, kSide, -kRise, 7 * kPi / 4, 3 * kPi / 4, 20},
    // hz is the bearing minus the orientation, wrapped into [0, 2π).
    {"OrientedEast", kSide, kSide, kRise, 7 * kPi / 4, kPi / 4, 20, kPi / 2},
    {"OrientedWest", kSide, -kSide, -kRise, 5 * kPi / 4, 3 * kPi / 4, 20,
     -kPi / 2},
};

class Geometry : public testing::TestWithParam<Case> {};

// Catches a swapped atan2, a missing station offset or instrument height,
// an elevation angle instead of the zenith angle, a hz outside [0, 2π),
// an orientation added instead of subtracted, and a measurement that does
// not report the telescope's direction.
TEST_P(Geometry, SightAndMeasurementAgreeWithTheCoordinates) {
  const Case& c = GetParam();
  Scene scene;
  scene.station = {"S", 1000, 2000, 50, 1.5, c.orientation};
  const Point prism{1000 + c.dE, 2000 + c.dN, 51.5 + c.dH};
  scene.prisms = {{"P", prism, {}, {}, {}, 0}};

  const Sight sight = SightTo(scene.station, prism);
  EXPECT_NEAR(sight.direction.hz, c.hz, 1e-12);
  EXPECT_NEAR(sight.direction.v, c.v, 1e-12);
  EXPECT_NEAR(sight.slopeDistance, c.slope, 1e-12);

  const Clock::time_point start{};
  VirtualInstrument instrument(scene, 0, start);
  const ReplyPlan turn = instrument.Respond(
      Request(host::kPosition,
              host::PackArguments(*host::FindProcedure(host::kPosition),
                                  {{"hz", c.hz}, {"v", c.v}})
                  .value()),
      start);
  // A position request carries six decimals; fine adjustment then puts
  // the telescope on the prism's centre.
  const Clock::time_point arrived = start + turn.steps.at(0).delay;
  ASSERT_EQ(Ask(instrument, arrived, host::kSetAtrState, "1").GetRetCode(), 0);
  const ReplyPlan fine =
      instrument.Respond(Request(host::kFineAdjust, "0.01,0.01,0"), arrived);
  ASSERT_EQ(ReplyOf(fine).GetRetCode(), 0);
  TMC_Simple_Meas measured{};
  ASSERT_TRUE(Ask(instrument, arrived + fine.steps.at(0).delay,
                  host::kSimpleMeasurement, "0,1")
                  .UnPack(measured));
  EXPECT_NEAR(measured.hz, c.hz, 1e-9);
  EXPECT_NEAR(measured.v, c.v, 1e-9);
  EXPECT_NEAR(measured.slopeDistance, c.slope, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Quadrants, Geometry, testing::ValuesIn(kCases),
                         [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace simtest
