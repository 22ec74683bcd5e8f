// The monitoring keys of a job: limits, hook, reference round, velocity
// window and axes, each refused with its key when wrong.
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <gtest/gtest.h>

namespace {

using namespace Core::GEOCOM::survey;

std::string JobWith(const std::string& keys) {
  return R"({"instrument": "127.0.0.1:5000", "store": "slope.db",
  "station": {"easting": 0, "northing": 0, "height": 0,
              "instrument_height": 1.5, "orientation": 0},
  "targets": [{"id": "P1", "easting": 10, "northing": 20, "height": 1},
              {"id": "P2", "easting": 30, "northing": 20, "height": 1}])" +
         (keys.empty() ? "" : ",\n  " + keys) + "}";
}

TEST(MonitoringJob, KeysAreRead) {
  const Job job = ParseJob(JobWith(R"("limits": [
    {"targets": ["P1"], "component": "horizontal", "warning": "5 mm",
     "alarm": "10 mm", "consecutive": 2}],
  "hook": ["cat"], "hook_timeout": 2.5, "reference_round": 3,
  "velocity_window": 86400,
  "axes": {"P2": {"bearing": 1.5, "elevation": -0.2}})"),
                           "job.json");
  ASSERT_EQ(job.limits.size(), 1u);
  EXPECT_EQ(job.limits[0].targets, std::vector<std::string>{"P1"});
  EXPECT_EQ(job.limits[0].consecutive, 2);
  ASSERT_TRUE(job.hook);
  EXPECT_EQ(job.hook->argv, std::vector<std::string>{"cat"});
  EXPECT_EQ(job.hookTimeout.count(), 2500);
  EXPECT_EQ(job.referenceRound, 3);
  EXPECT_EQ(job.velocityWindow, 86400);
  ASSERT_EQ(job.axes.count("P2"), 1u);
  EXPECT_EQ(job.axes.at("P2").bearing, 1.5);
  EXPECT_EQ(job.axes.at("P2").elevation, -0.2);

  const Job plain = ParseJob(JobWith(""), "job.json");
  EXPECT_TRUE(plain.limits.empty());
  EXPECT_FALSE(plain.hook);
  EXPECT_EQ(plain.hookTimeout.count(), 30000);
  EXPECT_FALSE(plain.referenceRound);
}

TEST(MonitoringJob, BadKeysAreRefusedByLineAndName) {
  const struct {
    const char* keys;
    const char* message;
  } cases[] = {
      {R"("limits": [{"targets": "*", "component": "3d", "warning": "5"}])",
       "job.json:6: limits[0].warning \"5\" has no unit"},
      {R"("limits": [{"targets": "*", "component": "tilt", "warning": 0.005}])",
       "limits[0].component \"tilt\" is not one of"},
      {R"("limits": [{"targets": ["P9"], "component": "3d", "warning": 0.005}])",
       "limits[0].targets names \"P9\", which is not a target of the job"},
      {R"("limits": {"targets": "*"})", "limits expected a list"},
      {R"("hook": "/nonexistent/notify --all")",
       "job.json:6: hook \"/nonexistent/notify\" is not an executable"},
      {R"("hook": 3)", "hook expected a command"},
      {R"("hook_timeout": 0)", "hook_timeout must be a number above 0"},
      {R"("reference_round": 0)", "reference_round must be a round number"},
      {R"("reference_round": "first")",
       "reference_round must be a round number"},
      {R"("velocity_window": -1)", "velocity_window must be a number above 0"},
      {R"("axes": {"P9": {"bearing": 0}})",
       "axes.P9 is not a target of the job"},
      {R"("axes": {"P1": {"elevation": 0}})", "axes.P1.bearing is required"},
      {R"("axes": {"P1": {"bearing": 0, "elevation": 2}})",
       "axes.P1.elevation must be a number from"},
      {R"("axes": {"P1": {"bearing": 0, "normal": 1}})",
       "axes.P1.normal is not a key of the job"},
      {R"("axes": [])", "axes must be an object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    try {
      ParseJob(JobWith(c.keys), "job.json");
      ADD_FAILURE() << "accepted";
    } catch (const JobError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
