#include <DazoZazIdoRezeraro/survey/History.h>

#include <chrono>
#include <cmath>

namespace Core::GEOCOM::survey {

double SecondsSinceEpoch(TimePoint time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

TimePoint TimeOfSeconds(double seconds) {
  // Stores keep microseconds, which a double of seconds since 1970 holds to
  // within a fraction: rounding gives the time kept back.
  return TimePoint(std::chrono::round<std::chrono::microseconds>(
      std::chrono::duration<double>(seconds)));
}

std::set<std::int64_t> CompleteRounds(Store& store) {
  std::set<std::int64_t> complete;
  store.ReadRounds([&complete](const RoundRecord& round) {
    if (round.status == RoundStatus::kComplete) complete.insert(round.id);
    return true;
  });
  return complete;
}

void ReadEpochs(
    Store& store, const ResultQuery& query,
    const std::set<std::int64_t>& completeRounds,
    const std::function<bool(const std::string&, const Epoch&)>& each) {
  store.ReadResults(query, [&](const TargetResult& result) {
    // Only a target measured within its tolerances says where it is.
    if (result.outcome != Outcome::kMeasured || !result.coordinates)
      return true;
    Epoch epoch;
    epoch.round = result.round;
    epoch.time = SecondsSinceEpoch(result.time);
    epoch.easting = result.coordinates->easting;
    epoch.northing = result.coordinates->northing;
    epoch.height = result.coordinates->height;
    epoch.roundComplete = completeRounds.count(result.round) > 0;
    return each(result.target, epoch);
  });
}

std::optional<Epoch> ReferenceInStore(
    Store& store, const std::string& target,
    const std::set<std::int64_t>& completeRounds,
    const std::optional<std::int64_t>& round) {
  std::optional<Epoch> reference;
  ResultQuery query;
  query.target = target;
  ReadEpochs(store, query, completeRounds,
             [&](const std::string&, const Epoch& epoch) {
               if (round ? epoch.round == *round : epoch.roundComplete)
                 reference = epoch;
               return !reference;
             });
  return reference;
}

std::vector<Displacement> DisplacementsInStore(
    Store& store, const std::string& target, const TimeRange& range,
    const std::optional<std::int64_t>& referenceRound,
    const std::optional<Axis>& axis) {
  const std::set<std::int64_t> complete = CompleteRounds(store);
  const std::optional<Epoch> reference =
      ReferenceInStore(store, target, complete, referenceRound);
  std::vector<Displacement> displacements;
  if (!reference) return displacements;
  ResultQuery query;
  query.target = target;
  if (range.from) query.since = TimeOfSeconds(*range.from);
  ReadEpochs(
      store, query, complete, [&](const std::string&, const Epoch& epoch) {
        if (range.to && epoch.time > *range.to) return false;
        if (range.Contains(epoch.time)) {
          displacements.push_back(DisplacementBetween(*reference, epoch, axis));
        }
        return true;
      });
  return displacements;
}

void ReadIntoReport(Store& store, const ReportQuery& query,
                    ReportBuilder& report) {
  const std::set<std::int64_t> complete = CompleteRounds(store);
  for (const Target& target : store.Targets()) {
    if (query.target && target.id != *query.target) continue;
    if (const auto reference = ReferenceInStore(store, target.id, complete,
                                                query.referenceRound)) {
      report.SetReference(target.id, *reference);
    }
  }
  ResultQuery results;
  results.target = query.target;
  results.since = query.since;
  ReadEpochs(store, results, complete,
             [&report](const std::string& target, const Epoch& epoch) {
               report.Add(target, epoch);
               return true;
             });
  EventQuery events;
  events.target = query.target;
  events.since = query.since;
  store.ReadEvents(events, [&report](const Event& event) {
    report.AddEvent(event);
    return true;
  });
}

std::string ReportOfStore(Store& store, const ReportQuery& query,
                          std::vector<Limit> limits, ReportOptions options) {
  ReportBuilder report(std::move(limits), std::move(options));
  ReadIntoReport(store, query, report);
  return report.Html();
}

}  // namespace Core::GEOCOM::survey
