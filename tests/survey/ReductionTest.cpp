// Two-face means, set statistics, distance corrections and coordinates, as
// tables of readings and what they reduce to.
#include <DazoZazIdoRezeraro/survey/Reduction.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace Core::GEOCOM::survey;

constexpr double kPi = 3.14159265358979323846;

Observation Reading(int set, int face, double hz, double v, double distance) {
  Observation observation;
  observation.set = set;
  observation.face = face;
  observation.hz = hz;
  observation.v = v;
  observation.distance = distance;
  return observation;
}

// The face II reading of the direction: hz + π, 2π − v.
Observation FaceTwo(int set, double hz, double v, double distance) {
  return Reading(set, 2, hz + kPi, 2 * kPi - v, distance);
}

TEST(MeanOfFaces, RemovesCollimationAndIndexWhereverTheCircleReads) {
  struct Case {
    const char* name;
    double hz;  // the true direction
    double v;
    double c;  // collimation and index error the readings carry
    double i;
  };
  const Case cases[] = {
      {"level", 1.0, kPi / 2, 2e-4, -3e-4},
      {"steep", 4.0, 0.6, -1e-4, 2e-4},
      {"face I near 2π", 2 * kPi - 1e-5, 1.4, 1e-4, 0},
      {"face II near 2π", kPi - 1e-5, 1.7, 3e-4, 1e-4},
      {"no errors", 3.0, 1.2, 0, 0},
  };
  for (const Case& c : cases) {
    const double effect = c.c / std::sin(c.v);
    const Observation one = Reading(
        1, 1, std::fmod(c.hz + effect + 2 * kPi, 2 * kPi), c.v + c.i, 50.0);
    const Observation two =
        Reading(1, 2, std::fmod(c.hz + kPi - effect + 2 * kPi, 2 * kPi),
                2 * kPi - c.v + c.i, 50.002);
    const SetMean mean = MeanOfFaces(one, &two);
    EXPECT_NEAR(std::remainder(mean.hz - c.hz, 2 * kPi), 0, 1e-12) << c.name;
    EXPECT_GE(mean.hz, 0) << c.name;
    EXPECT_LT(mean.hz, 2 * kPi) << c.name;
    EXPECT_NEAR(mean.v, c.v, 1e-12) << c.name;
    EXPECT_NEAR(mean.collimation, c.c, 1e-12) << c.name;
    EXPECT_NEAR(mean.verticalIndex, c.i, 1e-12) << c.name;
    EXPECT_NEAR(mean.faceDifference,
                std::max(std::fabs(2 * effect), std::fabs(2 * c.i)), 1e-12)
        << c.name;
    EXPECT_DOUBLE_EQ(mean.distance, 50.001) << c.name;

    const SetMean single = MeanOfFaces(one, nullptr);
    EXPECT_DOUBLE_EQ(single.hz, one.hz) << c.name;
    EXPECT_DOUBLE_EQ(single.v, one.v) << c.name;
    EXPECT_TRUE(std::isnan(single.collimation)) << c.name;
    EXPECT_EQ(single.faceDifference, 0) << c.name;
  }
}

TEST(Corrections, ScaleByPpmAndAddThePrismConstant) {
  EXPECT_NEAR(AtmosphericPpm(1013.25, 12), 0, 0.5);
  EXPECT_GT(AtmosphericPpm(900, 30), 30);     // thin warm air: longer
  EXPECT_LT(AtmosphericPpm(1050, -10), -20);  // dense cold air: shorter
  EXPECT_DOUBLE_EQ(CorrectedDistance(100, 10, 0), 100.001);
  EXPECT_DOUBLE_EQ(CorrectedDistance(100, 0, -0.0344), 99.9656);
  EXPECT_DOUBLE_EQ(CorrectedDistance(200, -5, 0.01), 200 - 0.001 + 0.01);
}

TEST(PointAt, FollowsOrientationAndInstrumentHeight) {
  const Station station{100, 200, 50, 1.5, kPi / 2};
  struct Case {
    double hz, v, distance;
    Coordinates expected;
  };
  // hz 0 points east with orientation π/2.
  const Case cases[] = {
      {0, kPi / 2, 10, {110, 200, 51.5}},
      {kPi / 2, kPi / 2, 10, {100, 190, 51.5}},
      {kPi, kPi / 2, 10, {90, 200, 51.5}},
      {3 * kPi / 2, kPi / 4, std::sqrt(2.0) * 10, {100, 210, 61.5}},
      {0, 0, 5, {100, 200, 56.5}},
  };
  for (const Case& c : cases) {
    const Coordinates at = PointAt(station, c.hz, c.v, c.distance);
    EXPECT_NEAR(at.easting, c.expected.easting, 1e-9) << c.hz;
    EXPECT_NEAR(at.northing, c.expected.northing, 1e-9) << c.hz;
    EXPECT_NEAR(at.height, c.expected.height, 1e-9) << c.hz;
  }
  const Direction back = DirectionTo(station, {90, 200, 51.5});
  EXPECT_NEAR(back.hz, kPi, 1e-12);
  EXPECT_NEAR(back.v, kPi / 2, 1e-12);
}

TEST(Reduce, MeansSetsFlagsTheOneThatDepartsAndJudgesTolerances) {
  struct Case {
    const char* name;
    std::vector<Observation> readings;
    Target target;
    Outcome outcome;
    std::vector<int> flagged;
    double hz;
    double distance;
  };
  Target twoFaces;
  twoFaces.id = "T";
  twoFaces.faces = 2;
  twoFaces.tolerances = {1e-3, 3e-4, 4e-3};
  Target oneFace = twoFaces;
  oneFace.faces = 1;
  Target exactTolerance = oneFace;
  exactTolerance.tolerances.setDistance = 0.125;
  Target withConstant = oneFace;
  withConstant.prismConstant = 0.01;
  const double v = kPi / 2;
  const Case cases[] = {
      {"three agreeing sets",
       {Reading(1, 1, 1.0, v, 20), FaceTwo(1, 1.0, v, 20),
        Reading(2, 1, 1.00002, v, 20.001), FaceTwo(2, 1.00002, v, 20.001),
        Reading(3, 1, 0.99998, v, 19.999), FaceTwo(3, 0.99998, v, 19.999)},
       twoFaces,
       Outcome::kMeasured,
       {},
       1.0,
       20.0},
      {"a set whose angle departs",
       {Reading(1, 1, 1.0, v, 20), FaceTwo(1, 1.0, v, 20),
        Reading(2, 1, 1.0, v, 20), FaceTwo(2, 1.0, v, 20),
        Reading(3, 1, 1.0006, v, 20), FaceTwo(3, 1.0006, v, 20)},
       twoFaces,
       Outcome::kOutOfTolerance,
       {3},
       1.0002,
       20.0},
      {"a set whose distance departs",
       {Reading(1, 1, 1.0, v, 20), Reading(2, 1, 1.0, v, 20),
        Reading(3, 1, 1.0, v, 20.009)},
       oneFace,
       Outcome::kOutOfTolerance,
       {3},
       1.0,
       20.003},
      {"faces too far apart",
       {Reading(1, 1, 1.0, v, 20), FaceTwo(1, 1.0 + 2e-3, v, 20)},
       twoFaces,
       Outcome::kOutOfTolerance,
       {},
       1.0 + 1e-3,
       20.0},
      {"sets across 0",
       {Reading(1, 1, 2 * kPi - 1e-5, v, 20), Reading(2, 1, 1e-5, v, 20)},
       oneFace,
       Outcome::kMeasured,
       {},
       0.0,
       20.0},
      {"a departure of exactly the tolerance",
       {Reading(1, 1, 1.0, v, 20), Reading(2, 1, 1.0, v, 20.25)},
       exactTolerance,
       Outcome::kMeasured,
       {},
       1.0,
       20.125},
      {"the prism constant",
       {Reading(1, 1, 1.0, v, 20)},
       withConstant,
       Outcome::kMeasured,
       {},
       1.0,
       20.01},
      {"a second set with only face I is not a set",
       {Reading(1, 1, 1.0, v, 20), FaceTwo(1, 1.0, v, 20),
        Reading(2, 1, 2.0, v, 30)},
       twoFaces,
       Outcome::kMeasured,
       {},
       1.0,
       20.0},
  };
  const Station station{};
  for (const Case& c : cases) {
    TargetResult result;
    result.observations = c.readings;
    Reduce(station, c.target, 0, result);
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.flaggedSets, c.flagged) << c.name;
    EXPECT_NEAR(std::remainder(result.hz - c.hz, 2 * kPi), 0, 1e-9) << c.name;
    EXPECT_NEAR(result.distance, c.distance, 1e-9) << c.name;
    EXPECT_EQ(result.faces, c.target.faces) << c.name;
    ASSERT_TRUE(result.coordinates) << c.name;
    EXPECT_NEAR(
        std::hypot(result.coordinates->easting, result.coordinates->northing),
        c.distance, 1e-9)
        << c.name;
  }
}

TEST(Reduce, SpreadIsTheLargestDepartureFromTheMean) {
  Target target;
  target.faces = 1;
  TargetResult result;
  result.observations = {Reading(1, 1, 1.0, 1.5, 10.0),
                         Reading(2, 1, 1.0003, 1.5001, 10.004),
                         Reading(3, 1, 1.0, 1.5, 10.002)};
  Reduce(Station{}, target, 0, result);
  EXPECT_EQ(result.sets, 3);
  EXPECT_NEAR(result.hzSpread, 0.0002, 1e-12);
  EXPECT_NEAR(result.vSpread, 0.0001 * 2 / 3, 1e-12);
  EXPECT_NEAR(result.distanceSpread, 0.002, 1e-12);
}

TEST(Reduce, LeavesAResultWithoutACompleteSet) {
  Target target;
  target.faces = 2;
  TargetResult result;
  result.outcome = Outcome::kNotFound;
  result.observations = {Reading(1, 1, 1.0, 1.5, 10.0)};
  Observation failed = Reading(1, 2, 1.0, 1.5, 0);
  failed.returnCode = 8710;
  result.observations.push_back(failed);
  Reduce(Station{}, target, 0, result);
  EXPECT_EQ(result.outcome, Outcome::kNotFound);
  EXPECT_FALSE(result.coordinates);
  EXPECT_EQ(result.sets, 0);
}

}  // namespace
