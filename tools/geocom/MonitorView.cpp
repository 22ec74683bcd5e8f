#include "MonitorView.h"

#include <DazoZazIdoRezeraro/simulator/PageServer.h>
#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/Report.h>

#include <boost/asio/post.hpp>
#include <deque>
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

// The latest events a browser is sent when it opens the page.
constexpr std::size_t kEventsKept = 50;

simulator::PageServerOptions PageOptions(const MonitorViewOptions& options) {
  simulator::PageServerOptions page;
  page.allowRemote = options.allowRemote;
  page.remoteNames = options.remoteNames;
  page.name = "monitor page";
  page.steers = "the monitor";
  page.index = "monitor.html";
  page.files = {"monitor.html", "monitor.js", "monitor.css"};
  return page;
}

survey::ReportOptions SeriesOptions(const survey::Job& job) {
  survey::ReportOptions options;
  options.velocityWindow = job.velocityWindow;
  options.eventsShown = kEventsKept;
  return options;
}

}  // namespace

struct MonitorViewState {
  MonitorViewState(boost::asio::io_context& io, const survey::Job& givenJob,
                   const MonitorViewOptions& options)
      : job(givenJob),
        series(job.limits, SeriesOptions(job)),
        server(io, PageOptions(options),
               {[this](const simulator::PageRequest& request) {
                  return Answer(request);
                },
                [this] { return Greeting(); }}) {}

  json TargetJson(const std::string& target) const {
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

  json EventsJson() const {
    json list = json::array();
    for (const survey::Event& event : events) {
      list.push_back(json::parse(survey::EventJson(event)));
    }
    return list;
  }

  std::vector<std::string> Greeting() const {
    json targets = json::array();
    for (const survey::Target& target : job.plan.targets) {
      targets.push_back(target.id);
    }
    std::vector<std::string> messages{
        Text(json{{"type", "job"}, {"name", job.name}, {"targets", targets}})};
    for (const survey::Target& target : job.plan.targets) {
      messages.push_back(Text(TargetJson(target.id)));
    }
    messages.push_back(
        Text(json{{"type", "events"}, {"events", EventsJson()}}));
    return messages;
  }

  std::optional<simulator::PageAnswer> Answer(
      const simulator::PageRequest& request) const {
    if (request.path != "/api/monitor") return std::nullopt;
    if (request.method != "GET") {
      return simulator::PageAnswer{405, Text(json{{"error", "use GET"}}),
                                   "GET"};
    }
    json targets = json::array();
    for (const survey::Target& target : job.plan.targets) {
      json row = TargetJson(target.id);
      row.erase("type");
      targets.push_back(std::move(row));
    }
    return simulator::PageAnswer{
        200,
        Text(json{
            {"job", job.name}, {"targets", targets}, {"events", EventsJson()}}),
        {}};
  }

  void Show(const std::string& target,
            const std::optional<survey::Displacement>& last,
            const std::vector<survey::Event>& raised) {
    const std::optional<survey::Displacement> shown = series.Last(target);
    const bool added = last && (!shown || last->time > shown->time);
    if (added) series.AddDisplacement(target, *last);
    for (const survey::Event& event : raised) {
      series.AddEvent(event);
      events.push_back(event);
      if (events.size() > kEventsKept) events.pop_front();
      server.Broadcast(std::make_shared<const std::string>(
          "{\"type\":\"event\",\"event\":" + survey::EventJson(event) + "}"));
    }
    if (added || !raised.empty()) {
      server.Broadcast(
          std::make_shared<const std::string>(Text(TargetJson(target))));
    }
  }

  const survey::Job& job;
  survey::ReportBuilder series;
  std::deque<survey::Event> events;
  simulator::PageServer server;
};

MonitorView::MonitorView(boost::asio::io_context& io, const survey::Job& job,
                         survey::Store& store, MonitorViewOptions options)
    : state_(std::make_shared<MonitorViewState>(io, job, options)) {
  survey::ReportQuery history;
  history.referenceRound = job.referenceRound;
  survey::ReadIntoReport(store, history, state_->series);
  store.ReadEvents({}, [this](const survey::Event& event) {
    state_->events.push_back(event);
    if (state_->events.size() > kEventsKept) state_->events.pop_front();
    return true;
  });
}

MonitorView::~MonitorView() { state_->server.Close(); }

host::Result<std::string> MonitorView::Listen(std::string_view address) {
  return state_->server.Listen(address);
}

void MonitorView::Show(const std::string& target,
                       const std::optional<survey::Displacement>& last,
                       std::vector<survey::Event> events) {
  boost::asio::post(state_->server.Executor(),
                    [state = state_, target, last, events = std::move(events)] {
                      state->Show(target, last, events);
                    });
}

}  // namespace geocom
