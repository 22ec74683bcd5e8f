#include "JobSeries.h"

#include <DazoZazIdoRezeraro/survey/History.h>

#include <nlohmann/json.hpp>

namespace geocom {

using namespace Core::GEOCOM;
using json = nlohmann::ordered_json;

namespace {

// Text from a store another program wrote may hold bytes that are not
// UTF-8; they are sent replaced rather than refused.
std::string Text(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

JobSeries::JobSeries(const survey::Job& job)
    : job_(job), series_(EmptySeries(job)) {}

survey::ReportBuilder JobSeries::EmptySeries(const survey::Job& job) {
  survey::ReportOptions options;
  options.velocityWindow = job.velocityWindow;
  options.eventsShown = kEventsKept;
  return survey::ReportBuilder(job.limits, options);
}

void JobSeries::ReadHistory(survey::Store& store) {
  survey::ReportBuilder series = EmptySeries(job_);
  survey::ReportQuery history;
  history.referenceRound = job_.referenceRound;
  survey::ReadIntoReport(store, history, series);
  std::deque<survey::Event> events;
  store.ReadEvents({}, [&events](const survey::Event& event) {
    events.push_back(event);
    if (events.size() > kEventsKept) events.pop_front();
    return true;
  });
  Replace(std::move(series), std::move(events));
}

void JobSeries::Replace(survey::ReportBuilder series,
                        std::deque<survey::Event> events) {
  series_ = std::move(series);
  events_ = std::move(events);
}

bool JobSeries::AddDisplacement(const std::string& target,
                                const survey::Displacement& displacement) {
  const std::optional<survey::Displacement> shown = series_.Last(target);
  if (shown && displacement.time <= shown->time) return false;
  series_.AddDisplacement(target, displacement);
  return true;
}

void JobSeries::AddEpoch(const std::string& target,
                         const survey::Epoch& epoch) {
  series_.Add(target, epoch);
}

std::vector<std::string> JobSeries::AddEvents(
    std::set<std::string> changedTargets,
    const std::vector<survey::Event>& events) {
  for (const survey::Event& event : events) {
    series_.AddEvent(event);
    events_.push_back(event);
    if (events_.size() > kEventsKept) events_.pop_front();
    changedTargets.insert(event.target);
  }
  std::vector<std::string> messages;
  for (const std::string& target : changedTargets) {
    messages.push_back(TargetMessage(target));
  }
  for (const survey::Event& event : events) {
    messages.push_back(
        "{\"type\":\"event\",\"event\":" + survey::EventJson(event) + "}");
  }
  return messages;
}

bool JobSeries::HasDisplacement(const std::string& target) const {
  return series_.Last(target).has_value();
}

namespace {

json TargetJson(const survey::ReportBuilder& series,
                const std::string& target) {
  json row{{"type", "target"},
           {"target", target},
           {"level", survey::NameOf(series.LevelOf(target))}};
  if (const auto last = series.Last(target)) {
    row["time"] = survey::IsoTime(last->time);
    row["round"] = last->round;
    row["east"] = last->east;
    row["north"] = last->north;
    row["height"] = last->height;
    row["horizontal"] = last->horizontal;
    row["3d"] = last->spatial;
  }
  row["svg"] = series.SeriesSvg(target);
  return row;
}

json EventsJson(const std::deque<survey::Event>& events) {
  json list = json::array();
  for (const survey::Event& event : events) {
    list.push_back(json::parse(survey::EventJson(event)));
  }
  return list;
}

}  // namespace

std::string JobSeries::TargetMessage(const std::string& target) const {
  return Text(TargetJson(series_, target));
}

std::vector<std::string> JobSeries::Greeting() const {
  json targets = json::array();
  for (const survey::Target& target : job_.plan.targets) {
    targets.push_back(target.id);
  }
  std::vector<std::string> messages{
      Text(json{{"type", "job"}, {"name", job_.name}, {"targets", targets}})};
  for (const survey::Target& target : job_.plan.targets) {
    messages.push_back(TargetMessage(target.id));
  }
  messages.push_back(
      Text(json{{"type", "events"}, {"events", EventsJson(events_)}}));
  return messages;
}

std::optional<simulator::PageAnswer> JobSeries::Answer(
    const simulator::PageRequest& request) const {
  if (request.path != "/api/monitor") return std::nullopt;
  if (request.method != "GET") {
    return simulator::PageAnswer{405, Text(json{{"error", "use GET"}}), "GET"};
  }
  json targets = json::array();
  for (const survey::Target& target : job_.plan.targets) {
    json row = TargetJson(series_, target.id);
    row.erase("type");
    targets.push_back(std::move(row));
  }
  return simulator::PageAnswer{200,
                               Text(json{{"job", job_.name},
                                         {"targets", targets},
                                         {"events", EventsJson(events_)}}),
                               {}};
}

}  // namespace geocom
