// Writes a results store of a monitored slope for the report's browser test,
// its picture and its benchmark: targets on a grid, a round every interval,
// some targets drifting down the slope, noise, and the events the job's
// limits raise.
//
// Usage: dazo_sample_store STORE JOB.json TARGETS ROUNDS INTERVAL_SECONDS
#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/Limits.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

namespace survey = Core::GEOCOM::survey;

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: dazo_sample_store STORE JOB.json TARGETS ROUNDS "
                 "INTERVAL_SECONDS\n";
    return 2;
  }
  std::ifstream jobFile(argv[2]);
  const nlohmann::json job = nlohmann::json::parse(jobFile);
  const int targets = std::stoi(argv[3]);
  const int rounds = std::stoi(argv[4]);
  const double interval = std::stod(argv[5]);
  const double start = 1.7645e9;

  auto store = survey::OpenSqliteStore(argv[1]);
  std::vector<survey::Target> list;
  for (int i = 0; i < targets; ++i) {
    survey::Target target;
    target.id = "P" + std::to_string(i + 1);
    target.coordinates = survey::Coordinates{
        2000 + 15.0 * (i % 5), 5000 + 12.0 * (i / 5), 320 - 2.0 * (i / 5)};
    list.push_back(target);
  }
  store->RegisterTargets(list);
  survey::AlarmTracker tracker(survey::LimitsFromJson(
      job.value("limits", nlohmann::json::array()).dump()));

  std::mt19937 generator(11);
  std::normal_distribution<double> noise(0, 0.0004);
  for (int r = 0; r < rounds; ++r) {
    const double time = start + r * interval;
    const std::int64_t round =
        store->BeginRound({"slope", "sample", survey::TimeOfSeconds(time)});
    for (int i = 0; i < targets; ++i) {
      const double days = r * interval / 86400;
      // Every third target creeps down the slope (south, and down), faster
      // the further up it stands; one of them speeds up after ten days.
      double creep = 0;
      if (i % 3 == 1) creep = 0.0004 * (1 + i / 5) * days;
      if (i == 4 && days > 10) creep += 0.0015 * (days - 10);
      const survey::Coordinates& at =
          *list[static_cast<std::size_t>(i)].coordinates;
      survey::TargetResult result;
      result.round = round;
      result.target = list[static_cast<std::size_t>(i)].id;
      result.started = result.time = survey::TimeOfSeconds(time + 20.0 * i);
      result.faces = 2;
      result.sets = 1;
      result.coordinates =
          survey::Coordinates{at.easting + 0.2 * creep + noise(generator),
                              at.northing - creep + noise(generator),
                              at.height - 0.5 * creep + noise(generator)};
      store->RecordTarget(result);
      const survey::Epoch epoch{round,
                                survey::SecondsSinceEpoch(result.time),
                                result.coordinates->easting,
                                result.coordinates->northing,
                                result.coordinates->height,
                                true};
      const survey::Displacement d = survey::DisplacementBetween(
          survey::Epoch{0, 0, at.easting, at.northing, at.height, true}, epoch);
      std::map<survey::Component, double> values;
      for (survey::Component component :
           {survey::Component::East, survey::Component::North,
            survey::Component::Height, survey::Component::Horizontal,
            survey::Component::Spatial}) {
        values[component] = *survey::ValueOf(d, component);
      }
      for (const survey::Event& event :
           tracker.Observe(result.target, round, epoch.time, values)) {
        store->RecordEvent(event);
      }
    }
    store->FinishRound(round, survey::RoundStatus::kComplete,
                       survey::TimeOfSeconds(time + 20.0 * targets));
  }
  return 0;
}
