// Limits read from a job, the levels a run of rounds reaches, and the events
// a hook receives.
#include <DazoZazIdoRezeraro/survey/Limits.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using namespace Core::GEOCOM::survey;

// The events of a run of rounds, one word per round: "-" for none, else the
// levels raised in that round.
std::vector<std::string> EventsOfRounds(const Limit& limit,
                                        const std::vector<double>& values) {
  AlarmTracker tracker({limit});
  std::vector<std::string> raised;
  for (std::size_t round = 0; round < values.size(); ++round) {
    std::string word;
    for (const Event& event : tracker.Observe(
             "P1", static_cast<std::int64_t>(round), static_cast<double>(round),
             {{limit.component, values[round]}})) {
      word += (word.empty() ? "" : "+") + std::string(NameOf(event.level));
    }
    raised.push_back(word.empty() ? "-" : word);
  }
  return raised;
}

Limit WarnAt5Alarm10(int consecutive, double hysteresis = 0.001) {
  Limit limit;
  limit.component = Component::Horizontal;
  limit.warning = 0.005;
  limit.alarm = 0.010;
  limit.consecutive = consecutive;
  limit.hysteresis = hysteresis;
  return limit;
}

TEST(Limits, LevelsChangeAfterTheConsecutiveRoundsAndOnlyOnce) {
  using V = std::vector<double>;
  using W = std::vector<std::string>;
  const struct {
    const char* name;
    Limit limit;
    V values;
    W events;
  } cases[] = {
      {"under the limits", WarnAt5Alarm10(1), V{0, 0.004, 0.0049},
       W{"-", "-", "-"}},
      {"on the limit counts", WarnAt5Alarm10(1), V{0.005, 0.010},
       W{"warning", "alarm"}},
      {"straight to alarm", WarnAt5Alarm10(1), V{0.012, 0.013, 0.020},
       W{"alarm", "-", "-"}},
      {"one noisy round is no alarm", WarnAt5Alarm10(3),
       V{0, 0.012, 0, 0.012, 0.004}, W{"-", "-", "-", "-", "-"}},
      {"third round in a row raises", WarnAt5Alarm10(3),
       V{0.006, 0.006, 0.006, 0.006}, W{"-", "-", "warning", "-"}},
      {"rounds past warning count towards it whatever their level",
       WarnAt5Alarm10(3), V{0.006, 0.012, 0.012, 0.012},
       W{"-", "-", "warning", "alarm"}},
      {"a miss restarts the count", WarnAt5Alarm10(2),
       V{0.006, 0.004, 0.006, 0.006}, W{"-", "-", "-", "warning"}},
      {"negative values count by their size", WarnAt5Alarm10(1),
       V{-0.006, -0.011}, W{"warning", "alarm"}},
      {"hysteresis holds the level", WarnAt5Alarm10(1),
       V{0.006, 0.0045, 0.0041, 0.0039}, W{"warning", "-", "-", "clear"}},
      {"clearing also takes the consecutive rounds", WarnAt5Alarm10(2),
       V{0.006, 0.006, 0.001, 0.006, 0.001, 0.001},
       W{"-", "warning", "-", "-", "-", "clear"}},
      {"alarm steps down to warning", WarnAt5Alarm10(1),
       V{0.011, 0.0095, 0.0085, 0.001}, W{"alarm", "-", "warning", "clear"}},
      {"alarm falls straight to clear", WarnAt5Alarm10(2),
       V{0.011, 0.011, 0.001, 0.001}, W{"-", "alarm", "-", "clear"}},
      {"again after clearing", WarnAt5Alarm10(1), V{0.006, 0.001, 0.006},
       W{"warning", "clear", "warning"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EventsOfRounds(c.limit, c.values), c.events);
  }
}

TEST(Limits, AnAlarmOnlyLimitNeverWarns) {
  Limit limit;
  limit.component = Component::Height;
  limit.alarm = 0.01;
  limit.consecutive = 2;
  limit.hysteresis = 0.002;
  EXPECT_EQ(EventsOfRounds(limit, {0.011, 0.011, 0.0085, 0.007, 0.007}),
            (std::vector<std::string>{"-", "alarm", "-", "-", "clear"}));
}

TEST(Limits, EachTargetAndLimitHasItsOwnLevel) {
  Limit onlyP2 = WarnAt5Alarm10(1);
  onlyP2.targets = {"P2"};
  Limit height;
  height.component = Component::Height;
  height.warning = 0.002;
  height.hysteresis = 0;
  AlarmTracker tracker({onlyP2, height});
  EXPECT_TRUE(
      tracker
          .Observe("P1", 1, 1,
                   {{Component::Horizontal, 0.02}, {Component::Height, 0}})
          .empty());
  const auto events = tracker.Observe(
      "P2", 1, 2, {{Component::Horizontal, 0.02}, {Component::Height, -0.003}});
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].component, Component::Horizontal);
  EXPECT_EQ(events[0].level, Level::Alarm);
  EXPECT_EQ(events[0].limit, 0.010);
  EXPECT_EQ(events[1].component, Component::Height);
  EXPECT_EQ(events[1].value, -0.003);
  EXPECT_EQ(events[1].target, "P2");
  EXPECT_EQ(events[1].round, 1);
  EXPECT_EQ(tracker.LevelOf("P2", 0), Level::Alarm);
  EXPECT_EQ(tracker.LevelOf("P1", 0), Level::Clear);
  EXPECT_EQ(tracker.LevelOf("P1", 1), Level::Clear);
  // A component the round has no value for leaves the level alone.
  EXPECT_TRUE(
      tracker.Observe("P2", 2, 3, {{Component::Height, -0.003}}).empty());
  EXPECT_EQ(tracker.LevelOf("P2", 0), Level::Alarm);
}

TEST(Limits, AResumedLevelIsNotRaisedAgain) {
  Limit other = WarnAt5Alarm10(1);
  other.component = Component::Height;
  AlarmTracker tracker({WarnAt5Alarm10(1), other});
  tracker.Resume({"P1", Level::Alarm, Component::Horizontal, 0.02, 0.01, 1, 1});
  EXPECT_EQ(tracker.LevelOf("P1", 0), Level::Alarm);
  EXPECT_EQ(tracker.LevelOf("P1", 1), Level::Clear);
  EXPECT_EQ(tracker.LevelOf("P2", 0), Level::Clear);
  EXPECT_TRUE(
      tracker.Observe("P1", 2, 2, {{Component::Horizontal, 0.02}}).empty());
  const auto events = tracker.Observe("P1", 3, 3, {{Component::Horizontal, 0}});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].level, Level::Clear);
}

TEST(Limits, ClearingNamesTheLimitLeft) {
  AlarmTracker tracker({WarnAt5Alarm10(1)});
  tracker.Observe("P1", 1, 1, {{Component::Horizontal, 0.006}});
  const auto events = tracker.Observe("P1", 2, 2, {{Component::Horizontal, 0}});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].level, Level::Clear);
  EXPECT_EQ(events[0].limit, 0.005);
}

TEST(Limits, JobValuesAreReadWithTheirUnits) {
  const auto limits = LimitsFromJson(R"([
    {"targets": "*", "component": "3d", "warning": "5 mm", "alarm": 0.012},
    {"targets": ["P1", "P2"], "component": "height", "alarm": "1.5cm",
     "consecutive": 3, "hysteresis": "2 mm"},
    {"targets": ["P3"], "component": "velocity", "warning": "2 mm/d",
     "alarm": "0.5 cm/day"}])");
  ASSERT_EQ(limits.size(), 3u);
  EXPECT_TRUE(limits[0].targets.empty());
  EXPECT_EQ(limits[0].component, Component::Spatial);
  EXPECT_DOUBLE_EQ(*limits[0].warning, 0.005);
  EXPECT_DOUBLE_EQ(*limits[0].alarm, 0.012);
  EXPECT_EQ(limits[0].consecutive, 1);
  EXPECT_DOUBLE_EQ(limits[0].hysteresis, 0.0005);
  EXPECT_EQ(limits[1].targets, (std::vector<std::string>{"P1", "P2"}));
  EXPECT_FALSE(limits[1].warning);
  EXPECT_DOUBLE_EQ(*limits[1].alarm, 0.015);
  EXPECT_EQ(limits[1].consecutive, 3);
  EXPECT_DOUBLE_EQ(limits[1].hysteresis, 0.002);
  EXPECT_EQ(limits[2].component, Component::Velocity);
  EXPECT_DOUBLE_EQ(*limits[2].warning, 0.002);
  EXPECT_DOUBLE_EQ(*limits[2].alarm, 0.005);
  EXPECT_TRUE(limits[2].AppliesTo("P3"));
  EXPECT_FALSE(limits[2].AppliesTo("P1"));
  EXPECT_TRUE(limits[0].AppliesTo("anything"));
}

TEST(Limits, BadLimitsAreRefusedNamingTheKey) {
  const struct {
    const char* json;
    const char* message;
  } cases[] = {
      {R"({})", "limits: expected a list"},
      {R"([1])", "limits[0]: expected an object"},
      {R"([{"component": "3d", "warning": 0.01}])",
       "limits[0].targets: missing"},
      {R"([{"targets": [], "component": "3d", "warning": 0.01}])",
       "limits[0].targets"},
      {R"([{"targets": [7], "component": "3d", "warning": 0.01}])",
       "limits[0].targets"},
      {R"([{"targets": "*", "warning": 0.01}])",
       "limits[0].component: missing"},
      {R"([{"targets": "*", "component": "up", "warning": 0.01}])",
       "limits[0].component: \"up\" is not one of"},
      {R"([{"targets": "*", "component": "3d"}])",
       "limits[0]: needs a warning or an alarm"},
      {R"([{"targets": "*", "component": "3d", "warning": "5"}])",
       "limits[0].warning: \"5\" has no unit"},
      {R"([{"targets": "*", "component": "3d", "warning": "5 km"}])",
       "limits[0].warning: \"5 km\" is not a length"},
      {R"([{"targets": "*", "component": "3d", "warning": "5 mm/d"}])",
       "limits[0].warning: \"5 mm/d\" is not a length"},
      {R"([{"targets": "*", "component": "velocity", "warning": "5 mm"}])",
       "limits[0].warning: \"5 mm\" is not a speed"},
      {R"([{"targets": "*", "component": "3d", "warning": "five mm"}])",
       "limits[0].warning"},
      {R"([{"targets": "*", "component": "3d", "warning": true}])",
       "limits[0].warning"},
      {R"([{"targets": "*", "component": "3d", "alarm": -0.01}])",
       "limits[0].alarm: must be more than zero"},
      {R"([{"targets": "*", "component": "3d", "alarm": 0}])",
       "limits[0].alarm"},
      {R"([{"targets": "*", "component": "3d", "warning": 0.02, "alarm": 0.01}])",
       "limits[0].alarm: must be more than the warning"},
      {R"([{"targets": "*", "component": "3d", "warning": 0.01, "consecutive": 0}])",
       "limits[0].consecutive"},
      {R"([{"targets": "*", "component": "3d", "warning": 0.01, "consecutive": 1.5}])",
       "limits[0].consecutive"},
      {R"([{"targets": "*", "component": "3d", "warning": 0.01, "hysteresis": 0.01}])",
       "limits[0].hysteresis: must be less than the lower limit"},
      {R"([{"targets": "*", "component": "3d", "warning": 0.01, "hysteresis": 0.001},
           {"targets": "*", "component": "3d", "warning": 0.01, "limit": 1}])",
       "limits[1].limit: unknown key"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      LimitsFromJson(c.json);
      ADD_FAILURE() << "accepted";
    } catch (const LimitError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

TEST(Limits, EventJsonCarriesWhatAHookReads) {
  Event event{"P7",   Level::Warning, Component::Velocity,
              0.0031, 0.003,          1765067775.25,
              12};
  const auto json = nlohmann::json::parse(EventJson(event));
  EXPECT_EQ(json["target"], "P7");
  EXPECT_EQ(json["level"], "warning");
  EXPECT_EQ(json["component"], "velocity");
  EXPECT_EQ(json["value"], 0.0031);
  EXPECT_EQ(json["unit"], "m/d");
  EXPECT_EQ(json["limit"], 0.003);
  EXPECT_EQ(json["time"], "2025-12-07T00:36:15.250Z");
  EXPECT_EQ(json["round"], 12);
  event.component = Component::Spatial;
  event.level = Level::Clear;
  const auto cleared = nlohmann::json::parse(EventJson(event));
  EXPECT_EQ(cleared["unit"], "m");
  EXPECT_EQ(cleared["level"], "clear");
  EXPECT_EQ(cleared["component"], "3d");
}

TEST(Limits, IsoTimeIsUtcWithMilliseconds) {
  EXPECT_EQ(IsoTime(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoTime(951782400.5), "2000-02-29T00:00:00.500Z");
  EXPECT_EQ(IsoTime(1.9999), "1970-01-01T00:00:02.000Z");
  EXPECT_EQ(IsoTime(-0.25), "1969-12-31T23:59:59.750Z");
}

}  // namespace
