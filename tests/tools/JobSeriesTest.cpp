// The feed of a job's pages: the order of its messages and the window of
// events a page opening later is sent.
#include "JobSeries.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using namespace Core::GEOCOM;
using json = nlohmann::json;

survey::Job TwoTargets() {
  return survey::ParseJob(R"({"instrument": "127.0.0.1:1", "store": "s",
      "station": {"easting": 0, "northing": 0, "height": 0},
      "targets": [{"id": "A", "hz": 1, "v": 1.5}, {"id": "B", "hz": 2, "v": 1.5}]})",
                          "job");
}

survey::Event EventOf(const std::string& target, std::int64_t round) {
  survey::Event event;
  event.target = target;
  event.level = survey::Level::Warning;
  event.round = round;
  event.time = 1.8e9 + static_cast<double>(round);
  return event;
}

// "row A" for a target's row, "event A" for an event of A.
std::vector<std::string> Kinds(const std::vector<std::string>& messages) {
  std::vector<std::string> kinds;
  for (const std::string& message : messages) {
    const json parsed = json::parse(message);
    kinds.push_back(parsed["type"] == "target"
                        ? "row " + parsed["target"].get<std::string>()
                        : "event " +
                              parsed["event"]["target"].get<std::string>());
  }
  return kinds;
}

TEST(JobSeries, SendsEachChangedTargetsRowOnceBeforeTheEvents) {
  struct Case {
    std::set<std::string> changed;
    std::vector<std::string> eventTargets;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{}, {}, {}},
      {{"A"}, {}, {"row A"}},
      {{}, {"B"}, {"row B", "event B"}},
      {{"A"},
       {"B", "A", "B"},
       {"row A", "row B", "event B", "event A", "event B"}},
  };
  const survey::Job job = TwoTargets();
  for (const Case& test : cases) {
    geocom::JobSeries series(job);
    std::vector<survey::Event> events;
    for (const std::string& target : test.eventTargets) {
      events.push_back(
          EventOf(target, static_cast<std::int64_t>(events.size())));
    }
    EXPECT_EQ(Kinds(series.AddEvents(test.changed, events)), test.expected)
        << test.eventTargets.size() << " events";
  }
}

// A displacement no more recent than the one shown changes no row.
TEST(JobSeries, ShowsADisplacementOnlyWhenItIsNewer) {
  const survey::Job job = TwoTargets();
  geocom::JobSeries series(job);
  const double times[] = {10, 10, 9, 11};
  const bool added[] = {true, false, false, true};
  for (std::size_t i = 0; i < std::size(times); ++i) {
    survey::Displacement displacement;
    displacement.round = static_cast<std::int64_t>(i);
    displacement.time = times[i];
    EXPECT_EQ(series.AddDisplacement("A", displacement), added[i]) << i;
  }
  EXPECT_FALSE(series.HasDisplacement("B"));
}

TEST(JobSeries, APageOpeningLaterIsSentTheLatestEventsOnly) {
  const survey::Job job = TwoTargets();
  geocom::JobSeries series(job);
  const std::int64_t added = geocom::JobSeries::kEventsKept + 3;
  for (std::int64_t round = 0; round < added; ++round) {
    series.AddEvents({}, {EventOf("A", round)});
  }
  const json greeting = json::parse(series.Greeting().back());
  ASSERT_EQ(greeting["type"], "events");
  const json& events = greeting["events"];
  ASSERT_EQ(events.size(), geocom::JobSeries::kEventsKept);
  EXPECT_EQ(events.front()["round"], added - geocom::JobSeries::kEventsKept);
  EXPECT_EQ(events.back()["round"], added - 1);

  simulator::PageRequest request;
  request.method = "GET";
  request.path = "/api/monitor";
  const json answer = json::parse(series.Answer(request)->json);
  EXPECT_EQ(answer["events"], events);
}

}  // namespace
