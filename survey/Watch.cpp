#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/Watch.h>

#include <chrono>

namespace Core::GEOCOM::survey {

namespace {

// The most recent displacements a target keeps for its velocity, whatever
// the window: a bound on memory when rounds follow each other quickly.
constexpr std::size_t kMostRecent = 4096;

std::optional<Epoch> EpochOf(const TargetResult& result) {
  if (result.outcome != Outcome::kMeasured || !result.coordinates) {
    return std::nullopt;
  }
  return Epoch{result.round,
               SecondsSinceEpoch(result.time),
               result.coordinates->easting,
               result.coordinates->northing,
               result.coordinates->height,
               false};
}

}  // namespace

Watch::Watch(const Job& job, Store& store)
    : job_(job), store_(store), tracker_(job.limits) {
  const std::set<std::int64_t> complete = CompleteRounds(store);
  for (const Target& target : job.plan.targets) {
    targets_[target.id].reference =
        ReferenceInStore(store, target.id, complete, job.referenceRound);
  }
  ResultQuery recent;
  recent.since = std::chrono::system_clock::now() -
                 std::chrono::duration_cast<TimePoint::duration>(
                     std::chrono::duration<double>(job.velocityWindow));
  ReadEpochs(store, recent, complete,
             [this](const std::string& target, const Epoch& epoch) {
               const auto followed = targets_.find(target);
               if (followed != targets_.end() && followed->second.reference) {
                 followed->second.recent.push_back(
                     DisplacementBetween(*followed->second.reference, epoch));
                 if (followed->second.recent.size() > kMostRecent) {
                   followed->second.recent.pop_front();
                 }
               }
               return true;
             });
  // Levels already reached stay reached: a restarted monitor does not raise
  // them again.
  store.ReadEvents({}, [this](const Event& event) {
    tracker_.Resume(event);
    return true;
  });
}

std::vector<Event> Watch::Observe(const TargetResult& result) {
  const std::optional<Epoch> epoch = EpochOf(result);
  if (!epoch) return {};
  Followed& followed = targets_[result.target];
  if (!followed.reference) {
    if (job_.referenceRound && result.round == *job_.referenceRound) {
      followed.reference = epoch;
    } else {
      followed.candidate = epoch;
      return {};
    }
  }
  const auto axis = job_.axes.find(result.target);
  return Check(result.target, followed,
               DisplacementBetween(*followed.reference, *epoch,
                                   axis == job_.axes.end()
                                       ? std::nullopt
                                       : std::optional<Axis>(axis->second)));
}

std::vector<Event> Watch::Check(const std::string& target, Followed& followed,
                                const Displacement& displacement) {
  followed.recent.push_back(displacement);
  while (followed.recent.size() > kMostRecent ||
         followed.recent.front().time <
             displacement.time - job_.velocityWindow) {
    followed.recent.pop_front();
  }
  std::map<Component, double> values;
  for (Component component :
       {Component::East, Component::North, Component::Height,
        Component::Horizontal, Component::Spatial, Component::Along}) {
    if (const auto value = ValueOf(displacement, component)) {
      values[component] = *value;
    }
  }
  const std::vector<Displacement> window(followed.recent.begin(),
                                         followed.recent.end());
  if (const auto velocity = VelocityOver(window, job_.velocityWindow)) {
    values[Component::Velocity] = velocity->spatial;
  }
  std::vector<Event> events =
      tracker_.Observe(target, displacement.round, displacement.time, values);
  for (const Event& event : events) store_.RecordEvent(event);
  return events;
}

void Watch::FinishRound(std::int64_t round, RoundStatus status) {
  for (auto& [target, followed] : targets_) {
    if (!followed.candidate || followed.candidate->round != round) continue;
    if (status == RoundStatus::kComplete && !job_.referenceRound) {
      followed.reference = followed.candidate;
      followed.reference->roundComplete = true;
      // The reference epoch is the first of the series its velocity fits.
      followed.recent.push_back(
          DisplacementBetween(*followed.reference, *followed.reference));
    }
    followed.candidate.reset();
  }
}

std::optional<Displacement> Watch::Last(const std::string& target) const {
  const auto followed = targets_.find(target);
  if (followed == targets_.end() || followed->second.recent.empty()) {
    return std::nullopt;
  }
  return followed->second.recent.back();
}

}  // namespace Core::GEOCOM::survey
