// What the pages of a job show (the monitor's page, the live view given a
// job): each target's last displacement, its level and its time series as
// the report draws it, and the latest events, as the feed's messages and
// the API's answer. Not thread-safe: each page keeps it on its strand.
#ifndef GEOCOM_JOBSERIES_H
#define GEOCOM_JOBSERIES_H

#include <DazoZazIdoRezeraro/simulator/PageServer.h>
#include <DazoZazIdoRezeraro/survey/Displacement.h>
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <DazoZazIdoRezeraro/survey/Limits.h>
#include <DazoZazIdoRezeraro/survey/Report.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace geocom {

class JobSeries {
 public:
  // The latest events a browser is sent when it opens the page.
  static constexpr std::size_t kEventsKept = 50;

  explicit JobSeries(const Core::GEOCOM::survey::Job& job);

  // An empty series drawn as the job's pages draw it.
  static Core::GEOCOM::survey::ReportBuilder EmptySeries(
      const Core::GEOCOM::survey::Job& job);

  // Starts over from the store's history: references, epochs and the
  // latest events. Throws StoreError.
  void ReadHistory(Core::GEOCOM::survey::Store& store);

  // Starts over from series and events read elsewhere.
  void Replace(Core::GEOCOM::survey::ReportBuilder series,
               std::deque<Core::GEOCOM::survey::Event> events);

  // Adds the target's displacement unless one as recent is shown already;
  // returns whether it was added.
  bool AddDisplacement(const std::string& target,
                       const Core::GEOCOM::survey::Displacement& displacement);

  // Adds an epoch of a target whose reference is known.
  void AddEpoch(const std::string& target,
                const Core::GEOCOM::survey::Epoch& epoch);

  // Adds the events and returns the feed's messages: the row of each
  // target changed (those given and those the events name), then the
  // events, so that a page showing an event already shows the level it
  // raised.
  std::vector<std::string> AddEvents(
      std::set<std::string> changedTargets,
      const std::vector<Core::GEOCOM::survey::Event>& events);

  // The feed's message of the target: its last values, level and series.
  std::string TargetMessage(const std::string& target) const;

  // What a browser opening the feed is sent: the job, each target, the
  // latest events.
  std::vector<std::string> Greeting() const;

  // The answer to GET /api/monitor; nullopt for any other path.
  std::optional<Core::GEOCOM::simulator::PageAnswer> Answer(
      const Core::GEOCOM::simulator::PageRequest& request) const;

  // Whether the target has a displacement shown.
  bool HasDisplacement(const std::string& target) const;

 private:
  const Core::GEOCOM::survey::Job& job_;
  Core::GEOCOM::survey::ReportBuilder series_;
  std::deque<Core::GEOCOM::survey::Event> events_;
};

}  // namespace geocom

#endif
