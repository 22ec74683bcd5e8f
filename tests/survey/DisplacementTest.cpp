// Displacements from a reference epoch, projections on an axis, and
// velocities fitted over a window.
#include <DazoZazIdoRezeraro/survey/Displacement.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using namespace Core::GEOCOM::survey;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDay = 86400;

Epoch At(std::int64_t round, double time, double e, double n, double h,
         bool complete = true) {
  return Epoch{round, time, e, n, h, complete};
}

struct DisplacementCase {
  const char* name;
  Epoch epoch;
  std::optional<Axis> axis;
  double east, north, height, horizontal, spatial;
  std::optional<double> along;
};

TEST(Displacement, ComponentsAndProjectionFollowTheGrid) {
  const Epoch reference = At(1, 0, 100, 200, 50);
  const DisplacementCase cases[] = {
      {"none", At(2, 1, 100, 200, 50), std::nullopt, 0, 0, 0, 0, 0, {}},
      {"east 3 north 4",
       At(2, 1, 100.003, 200.004, 50),
       std::nullopt,
       0.003,
       0.004,
       0,
       0.005,
       0.005,
       {}},
      {"down 12 with 3-4",
       At(2, 1, 99.997, 199.996, 49.988),
       std::nullopt,
       -0.003,
       -0.004,
       -0.012,
       0.005,
       0.013,
       {}},
      {"along a wall facing east", At(2, 1, 100.002, 200.007, 50),
       Axis{kPi / 2, 0}, 0.002, 0.007, 0, std::hypot(0.002, 0.007),
       std::hypot(0.002, 0.007), 0.002},
      {"along a wall facing north", At(2, 1, 100.002, 200.007, 50.001),
       Axis{0, 0}, 0.002, 0.007, 0.001, std::hypot(0.002, 0.007),
       std::sqrt(0.000054), 0.007},
      {"down a slope falling south at 30 degrees",
       At(2, 1, 100, 199.996, 50 - 0.004 * std::tan(kPi / 6)),
       Axis{kPi, -kPi / 6}, 0, -0.004, -0.004 * std::tan(kPi / 6), 0.004,
       0.004 / std::cos(kPi / 6), 0.004 / std::cos(kPi / 6)},
      {"against the axis is negative", At(2, 1, 99.995, 200, 50),
       Axis{kPi / 2, 0}, -0.005, 0, 0, 0.005, 0.005, -0.005},
  };
  for (const DisplacementCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Displacement d = DisplacementBetween(reference, c.epoch, c.axis);
    EXPECT_EQ(d.round, 2);
    EXPECT_NEAR(d.east, c.east, 1e-9);
    EXPECT_NEAR(d.north, c.north, 1e-9);
    EXPECT_NEAR(d.height, c.height, 1e-9);
    EXPECT_NEAR(d.horizontal, c.horizontal, 1e-9);
    EXPECT_NEAR(d.spatial, c.spatial, 1e-9);
    ASSERT_EQ(d.along.has_value(), c.along.has_value());
    if (c.along) {
      EXPECT_NEAR(*d.along, *c.along, 1e-9);
    }
  }
}

TEST(Displacement, ReferenceIsTheNamedRoundOrTheFirstCompleteOne) {
  const std::vector<Epoch> series = {At(1, 10, 1, 1, 1, false),
                                     At(2, 20, 2, 2, 2), At(3, 30, 3, 3, 3)};
  EXPECT_EQ(ReferenceEpoch(series)->round, 2);
  EXPECT_EQ(ReferenceEpoch(series, std::int64_t{3})->round, 3);
  EXPECT_EQ(ReferenceEpoch(series, std::int64_t{1})->round, 1);
  EXPECT_FALSE(ReferenceEpoch(series, std::int64_t{9}));
  EXPECT_FALSE(ReferenceEpoch({At(1, 10, 1, 1, 1, false)}));
  EXPECT_FALSE(ReferenceEpoch({}));
}

TEST(Displacement, RangeIncludesBothEnds) {
  const std::vector<Epoch> series = {At(1, 10, 0, 0, 0), At(2, 20, 0, 0, 1),
                                     At(3, 30, 0, 0, 2), At(4, 40, 0, 0, 3)};
  const struct {
    TimeRange range;
    std::vector<std::int64_t> rounds;
  } cases[] = {
      {{}, {1, 2, 3, 4}},
      {{20.0, std::nullopt}, {2, 3, 4}},
      {{std::nullopt, 30.0}, {1, 2, 3}},
      {{20.0, 30.0}, {2, 3}},
      {{21.0, 29.0}, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::int64_t> rounds;
    for (const Displacement& d :
         Displacements(series, series[0], {}, c.range)) {
      rounds.push_back(d.round);
      EXPECT_EQ(d.height, d.time / 10 - 1);
    }
    EXPECT_EQ(rounds, c.rounds);
  }
}

TEST(Displacement, VelocityFitsADriftWithinItsNoise) {
  // 2 mm/day east, 1 mm/day down, 0.3 mm noise, a round an hour for 10 days.
  std::mt19937 generator(7);
  std::normal_distribution<double> noise(0, 0.0003);
  std::vector<Epoch> series;
  for (int hour = 0; hour <= 240; ++hour) {
    const double days = hour / 24.0;
    series.push_back(
        At(hour, 1.7e9 + hour * 3600.0, 500 + 0.002 * days + noise(generator),
           800 + noise(generator), 20 - 0.001 * days + noise(generator)));
  }
  const auto displacements =
      Displacements(series, series.front(), Axis{kPi / 2, 0});
  const std::optional<Velocity> v = VelocityOver(displacements, 10 * kDay);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->epochs, series.size());
  EXPECT_NEAR(v->east, 0.002, 0.00005);
  EXPECT_NEAR(v->north, 0, 0.00005);
  EXPECT_NEAR(v->height, -0.001, 0.00005);
  EXPECT_NEAR(v->horizontal, 0.002, 0.00005);
  EXPECT_NEAR(v->spatial, std::hypot(0.002, 0.001), 0.00005);
  ASSERT_TRUE(v->along);
  EXPECT_NEAR(*v->along, 0.002, 0.00005);
}

TEST(Displacement, VelocityLooksOnlyAtItsWindow) {
  // Still for five days, then 4 mm/day north for two.
  std::vector<Epoch> series;
  for (int day = 0; day <= 7; ++day) {
    const double north = day <= 5 ? 0 : 0.004 * (day - 5);
    series.push_back(At(day, day * kDay, 0, north, 0));
  }
  const auto displacements = Displacements(series, series.front());
  EXPECT_NEAR(VelocityOver(displacements, 2 * kDay)->north, 0.004, 1e-12);
  EXPECT_EQ(VelocityOver(displacements, 2 * kDay)->epochs, 3u);
  EXPECT_LT(VelocityOver(displacements, 7 * kDay)->north, 0.002);
}

TEST(Displacement, VelocityNeedsTwoDistinctTimes) {
  const Epoch a = At(1, 100, 0, 0, 0);
  const Epoch b = At(2, 100, 0, 0, 1);
  const Epoch c = At(3, 200, 0, 0, 1);
  EXPECT_FALSE(VelocityOver({}, kDay));
  EXPECT_FALSE(VelocityOver(Displacements({a}, a), kDay));
  EXPECT_FALSE(VelocityOver(Displacements({a, b}, a), kDay));
  EXPECT_FALSE(VelocityOver(Displacements({a, c}, a), 50));
  EXPECT_TRUE(VelocityOver(Displacements({a, c}, a), 100));
}

TEST(Displacement, ComponentNamesRoundTripAndPickTheirValue) {
  Displacement d;
  d.east = 1;
  d.north = 2;
  d.height = 3;
  d.horizontal = 4;
  d.spatial = 5;
  d.along = 6;
  const struct {
    const char* name;
    Component component;
    std::optional<double> value;
  } cases[] = {
      {"east", Component::East, 1},
      {"north", Component::North, 2},
      {"height", Component::Height, 3},
      {"horizontal", Component::Horizontal, 4},
      {"3d", Component::Spatial, 5},
      {"along", Component::Along, 6},
      {"velocity", Component::Velocity, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ComponentNamed(c.name), c.component);
    EXPECT_STREQ(NameOf(c.component), c.name);
    EXPECT_EQ(ValueOf(d, c.component), c.value);
  }
  EXPECT_FALSE(ComponentNamed("East"));
  EXPECT_FALSE(ComponentNamed("3D"));
  EXPECT_FALSE(ComponentNamed(""));
}

}  // namespace
