// Job files: every key read into the plan and the monitoring that watches
// it, and each kind of bad input refused with the file, the line and the
// key.
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <DazoZazIdoRezeraro/survey/Reduction.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Core::GEOCOM::survey;

const std::string kLimits =
    R"("limits": [{"targets": ["A"], "component": "horizontal", "warning": "5 mm",
              "alarm": "10 mm", "consecutive": 2}],)";
const std::string kAxes = R"("axes": {"A": {"bearing": 0, "elevation": -1.5},
           "B": {"bearing": 1.5, "elevation": 1.5}})";

const std::string kJob = R"({
  "name": "dam",
  "instrument": "10.0.0.5:1212",
  "station": {"easting": 100, "northing": 200, "height": 50,
              "instrument_height": 1.5, "orientation": 0.25},
  "faces": 1,
  "sets": 3,
  "order": "faces-in-turn",
  "tolerances": {"face": 0.001, "set_angle": 0.0001, "set_distance": 0.002},
  "fine_adjust_range": 0.02,
  "search": {"hz_range": 0.2, "v_range": 0.1},
  "atmosphere": {"pressure": 950, "temperature": 25},
  "distance_wait": 1.5,
  "stop_on_instrument_error": true,
  "targets": [
    {"id": "A", "easting": 110, "northing": 230, "height": 52},
    {"id": "B", "hz": 1.5, "v": 1.6, "prism_constant": -0.0344, "faces": 2,
     "tolerances": {"face": 0.005}}
  ],
  "store": "dam.sqlite",
  "interval": 600,
  )" + kLimits + R"(
  "hook": ["cat"],
  "hook_timeout": 2.5,
  "reference_round": 3,
  "velocity_window": 86400,
  )" + kAxes + R"(
})";

TEST(Job, ReadsEveryKeyIntoThePlan) {
  const Job job = ParseJob(kJob, "dam.json");
  EXPECT_EQ(job.name, "dam");
  EXPECT_EQ(job.instrument, "10.0.0.5:1212");
  EXPECT_EQ(job.store, "dam.sqlite");
  EXPECT_EQ(job.interval, 600);
  const RoundPlan& plan = job.plan;
  EXPECT_DOUBLE_EQ(plan.station.instrumentHeight, 1.5);
  EXPECT_DOUBLE_EQ(plan.station.orientation, 0.25);
  EXPECT_EQ(plan.sets, 3);
  EXPECT_EQ(plan.order, SetOrder::kFacesInTurn);
  EXPECT_DOUBLE_EQ(plan.fineAdjustRange, 0.02);
  ASSERT_TRUE(plan.search);
  EXPECT_DOUBLE_EQ(plan.search->hzRange, 0.2);
  EXPECT_DOUBLE_EQ(plan.ppm, AtmosphericPpm(950, 25));
  EXPECT_EQ(plan.distanceWait.count(), 1500);
  EXPECT_TRUE(plan.stopOnInstrumentError);
  ASSERT_EQ(plan.targets.size(), 2u);
  const Target& a = plan.targets[0];
  EXPECT_TRUE(a.coordinates);
  EXPECT_FALSE(a.direction);
  EXPECT_EQ(a.faces, 1);
  EXPECT_DOUBLE_EQ(a.tolerances.setDistance, 0.002);
  const Target& b = plan.targets[1];
  EXPECT_DOUBLE_EQ(b.direction->v, 1.6);
  EXPECT_DOUBLE_EQ(b.prismConstant, -0.0344);
  EXPECT_EQ(b.faces, 2);
  EXPECT_DOUBLE_EQ(b.tolerances.faceDifference, 0.005);
  EXPECT_DOUBLE_EQ(b.tolerances.setAngle, 0.0001);
  ASSERT_EQ(job.limits.size(), 1u);
  EXPECT_EQ(job.limits[0].targets, std::vector<std::string>{"A"});
  EXPECT_EQ(job.limits[0].consecutive, 2);
  ASSERT_TRUE(job.hook);
  EXPECT_EQ(job.hook->argv, std::vector<std::string>{"cat"});
  EXPECT_EQ(job.hookTimeout.count(), 2500);
  EXPECT_EQ(job.referenceRound, 3);
  EXPECT_EQ(job.velocityWindow, 86400);
  ASSERT_EQ(job.axes.count("B"), 1u);
  EXPECT_EQ(job.axes.at("B").bearing, 1.5);
  EXPECT_EQ(job.axes.at("B").elevation, 1.5);
  EXPECT_EQ(job.axes.at("A").elevation, -1.5);

  const Job defaults = ParseJob(
      R"({"instrument": "/dev/ttyUSB0", "store": "s",
          "station": {"easting": 0, "northing": 0, "height": 0},
          "targets": [{"id": "T", "hz": 0, "v": 1}]})",
      "/jobs/quarry.json");
  EXPECT_EQ(defaults.name, "quarry");
  EXPECT_FALSE(defaults.interval);
  EXPECT_EQ(defaults.plan.targets[0].faces, 2);
  EXPECT_EQ(defaults.plan.sets, 1);
  EXPECT_EQ(defaults.plan.order, SetOrder::kTargetByTarget);
  EXPECT_FALSE(defaults.plan.search);
  EXPECT_EQ(defaults.plan.ppm, 0);
  EXPECT_TRUE(defaults.limits.empty());
  EXPECT_FALSE(defaults.hook);
  EXPECT_EQ(defaults.hookTimeout.count(), 30000);
  EXPECT_FALSE(defaults.referenceRound);
}

TEST(Job, BadInputIsRefusedNamingTheLineAndTheKey) {
  struct Case {
    std::string replace;
    std::string with;
    const char* message;
  };
  const Case cases[] = {
      {"\"interval\": 600", "\"intervall\": 600",
       "dam.json:21: intervall is not a key of the job"},
      {"\"id\": \"B\"", "\"id\": \"A\"",
       "dam.json:17: targets[1].id \"A\" is the id of an earlier target"},
      {"\"face\": 0.005", "\"face\": 0.5",
       "dam.json:18: targets[1].tolerances.face must be a number above 0 to "
       "0.1"},
      {"\"set_distance\": 0.002", "\"set_distance\": 0",
       "dam.json:9: tolerances.set_distance must be a number above 0"},
      {"\"faces\": 1,", "\"faces\": 3,", "dam.json:6: faces must be 1 or 2"},
      {"\"sets\": 3", "\"sets\": 2.5", "sets must be a whole number"},
      {"\"order\": \"faces-in-turn\"", "\"order\": \"zigzag\"",
       "order must be \"target-by-target\" or \"faces-in-turn\""},
      {"\"instrument\": \"10.0.0.5:1212\",", "",
       "dam.json:1: instrument is required"},
      {"\"hz\": 1.5, \"v\": 1.6,", "\"hz\": 1.5, \"easting\": 1,",
       "dam.json:17: targets[1] must have either easting, northing and "
       "height, or hz and v"},
      {"\"v\": 1.6", "\"v\": 4", "targets[1].v must be a number from 0 to"},
      {"\"v\": 1.6,", "", "dam.json:17: targets[1].v is required"},
      {"\"hz_range\": 0.2", "\"hz_range\": 7",
       "dam.json:11: search.hz_range must be a number above 0 to 6.28"},
      {"\"easting\": 110", "\"easting\": \"110\"",
       "dam.json:16: targets[0].easting must be a number"},
      {"\"pressure\": 950, ", "",
       "atmosphere must hold either ppm, or pressure and temperature"},
      {"\"pressure\": 950, \"temperature\": 25", "\"ppm\": 1000.5",
       "atmosphere.ppm must be a number from -1000 to 1000"},
      {"\"pressure\": 950, \"temperature\": 25", "\"ppm\": -1000.5",
       "atmosphere.ppm must be a number from -1000 to 1000"},
      {"\"hz\": 1.5", "\"hz\": 6.3",
       "targets[1].hz must be a number from 0 to"},
      {"\"temperature\": 25", "\"temperature\": 25, \"ppm\": 3",
       "atmosphere must hold either ppm, or pressure and temperature"},
      {"\"stop_on_instrument_error\": true", "\"stop_on_instrument_error\": 1",
       "stop_on_instrument_error must be true or false"},
      {"\"store\": \"dam.sqlite\"", "\"store\": \"\"",
       "store must be a text that is not empty"},
      {kAxes + "\n}", kAxes + ",\n}", "dam.json:30: not valid JSON"},
      {"\"warning\": \"5 mm\"", "\"warning\": \"5\"",
       "dam.json:22: limits[0].warning \"5\" has no unit"},
      {"\"horizontal\"", "\"tilt\"",
       "limits[0].component \"tilt\" is not one of"},
      {"[\"A\"]", "[\"P9\"]",
       "limits[0].targets names \"P9\", which is not a target of the job"},
      {kLimits, "\"limits\": {\"targets\": \"*\"},", "limits expected a list"},
      {"[\"cat\"]", "\"/nonexistent/notify --all\"",
       "dam.json:24: hook \"/nonexistent/notify\" is not an executable"},
      {"[\"cat\"]", "3", "hook expected a command"},
      {"\"hook_timeout\": 2.5", "\"hook_timeout\": 0",
       "hook_timeout must be a number above 0"},
      {"\"reference_round\": 3", "\"reference_round\": 0",
       "reference_round must be a round number"},
      {"\"reference_round\": 3", "\"reference_round\": \"first\"",
       "reference_round must be a round number"},
      {"\"velocity_window\": 86400", "\"velocity_window\": -1",
       "velocity_window must be a number above 0"},
      {kAxes, "\"axes\": {\"P9\": {\"bearing\": 0}}",
       "axes.P9 is not a target of the job"},
      {"\"bearing\": 1.5, ", "", "axes.B.bearing is required"},
      {"\"elevation\": 1.5", "\"elevation\": 1.6",
       "axes.B.elevation must be a number from"},
      {"\"elevation\": 1.5", "\"elevation\": 1.5, \"normal\": 1",
       "axes.B.normal is not a key of the job"},
      {kAxes, "\"axes\": []", "axes must be an object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.with);
    std::string text = kJob;
    const std::size_t at = text.find(c.replace);
    ASSERT_NE(at, std::string::npos) << c.replace;
    text.replace(at, c.replace.size(), c.with);
    try {
      ParseJob(text, "dam.json");
      ADD_FAILURE() << "accepted: " << c.with;
    } catch (const JobError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
