// A running job's watch: references, which results count, the components
// its limits see, and events kept in the store and taken up again.
#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/Watch.h>
#include <gtest/gtest.h>

#include <optional>

#include "ScratchDatabase.h"

namespace {

using namespace Core::GEOCOM::survey;

constexpr double kDay = 86400;
constexpr double kStart = 1.7e9;

Limit LimitOn(Component component, double warning, double alarm = 1) {
  Limit limit;
  limit.component = component;
  limit.warning = warning;
  limit.alarm = alarm;
  limit.hysteresis = warning / 10;
  return limit;
}

class WatchTest : public testing::Test {
 protected:
  void SetUp() override {
    database_.emplace(
        "watch-test-" +
        std::string(
            ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    store_ = OpenSqliteStore(database_->path());
    Target p1;
    p1.id = "P1";
    job_.plan.targets = {p1};
  }
  void TearDown() override {
    store_.reset();
    database_.reset();
  }

  // One round measuring P1 at north (metres over 100) on the day; returns
  // the events of the watch.
  std::vector<std::string> Round(Watch& watch, double day, double north,
                                 RoundStatus status = RoundStatus::kComplete,
                                 Outcome outcome = Outcome::kMeasured) {
    const double time = kStart + day * kDay;
    const std::int64_t round =
        store_->BeginRound({"job", "sim", TimeOfSeconds(time)});
    TargetResult result;
    result.round = round;
    result.target = "P1";
    result.started = result.time = TimeOfSeconds(time);
    result.outcome = outcome;
    result.coordinates = Coordinates{50, 100 + north, 10};
    store_->RecordTarget(result);
    std::vector<std::string> raised;
    for (const Event& event : watch.Observe(result)) {
      raised.push_back(std::string(NameOf(event.level)) + " " +
                       NameOf(event.component));
    }
    store_->FinishRound(round, status, TimeOfSeconds(time + 1));
    watch.FinishRound(round, status);
    return raised;
  }

  std::size_t StoredEvents() {
    std::size_t count = 0;
    store_->ReadEvents({}, [&count](const Event&) { return ++count, true; });
    return count;
  }

  std::optional<surveytest::ScratchDatabase> database_;
  std::unique_ptr<Store> store_;
  Job job_;
};

using Raised = std::vector<std::string>;

TEST_F(WatchTest, TheFirstCompleteRoundIsTheReference) {
  job_.limits = {LimitOn(Component::North, 0.005)};
  Watch watch(job_, *store_);
  EXPECT_EQ(Round(watch, 0, -0.5, RoundStatus::kIncomplete), Raised{});
  EXPECT_EQ(Round(watch, 1, 0), Raised{});
  EXPECT_EQ(Round(watch, 2, 0.004), Raised{});
  ASSERT_TRUE(watch.Last("P1"));
  EXPECT_NEAR(watch.Last("P1")->north, 0.004, 1e-9);
  EXPECT_EQ(Round(watch, 3, 0.006), Raised{"warning north"});
  EXPECT_EQ(StoredEvents(), 1u);
  EXPECT_FALSE(watch.Last("P9"));
}

TEST_F(WatchTest, ANamedRoundIsTheReferenceWhateverItsStatus) {
  job_.limits = {LimitOn(Component::North, 0.005)};
  job_.referenceRound = 2;
  Watch watch(job_, *store_);
  EXPECT_EQ(Round(watch, 0, 0), Raised{});
  EXPECT_EQ(Round(watch, 1, 0.010, RoundStatus::kIncomplete), Raised{});
  EXPECT_EQ(Round(watch, 2, 0.012), Raised{});
  EXPECT_EQ(Round(watch, 3, 0.016), Raised{"warning north"});
}

TEST_F(WatchTest, OnlyMeasuredResultsCount) {
  job_.limits = {LimitOn(Component::North, 0.005)};
  Watch watch(job_, *store_);
  Round(watch, 0, 0);
  EXPECT_EQ(
      Round(watch, 1, 0.5, RoundStatus::kComplete, Outcome::kOutOfTolerance),
      Raised{});
  ASSERT_TRUE(watch.Last("P1"));
  EXPECT_EQ(watch.Last("P1")->round, 1);
}

TEST_F(WatchTest, LimitsSeeTheAxisAndTheVelocity) {
  job_.limits = {LimitOn(Component::Along, 0.003),
                 LimitOn(Component::Velocity, 0.0011)};
  job_.axes["P1"] = Axis{3.14159265358979, 0};  // Facing south.
  job_.velocityWindow = 3 * kDay;
  Watch watch(job_, *store_);
  EXPECT_EQ(Round(watch, 0, 0), Raised{});
  EXPECT_EQ(Round(watch, 1, -0.001), Raised{});
  EXPECT_EQ(Round(watch, 2, -0.002), Raised{});
  EXPECT_EQ(Round(watch, 3, -0.0035),
            (Raised{"warning along", "warning velocity"}));
}

TEST_F(WatchTest, ARestartedWatchTakesUpTheLevelsAndReferences) {
  job_.limits = {LimitOn(Component::North, 0.005)};
  {
    Watch watch(job_, *store_);
    Round(watch, 0, 0);
    EXPECT_EQ(Round(watch, 1, 0.006), Raised{"warning north"});
  }
  Watch again(job_, *store_);
  EXPECT_EQ(Round(again, 2, 0.007), Raised{});
  EXPECT_EQ(Round(again, 3, 0.0001), Raised{"clear north"});
  EXPECT_EQ(StoredEvents(), 2u);
}

}  // namespace
