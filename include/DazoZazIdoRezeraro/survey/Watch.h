#ifndef DAZOZAZIDOREZERARO_SURVEY_WATCH_H
#define DAZOZAZIDOREZERARO_SURVEY_WATCH_H

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Displacement.h"
#include "Export.h"
#include "Job.h"
#include "Limits.h"
#include "Store.h"

/// @file
/// A running job's watch over its targets: each measured target's
/// displacement and velocity, checked against the job's limits as it is
/// measured, with each level change kept in the store as an event.

namespace Core::GEOCOM::survey {

/// Follows each target of a job from its reference epoch, round after round.
class DAZOZAZIDOREZERARO_SURVEY_EXPORT Watch {
 public:
  /// Picks up where the store left off: each target's reference epoch, its
  /// recent epochs for the velocity, and the levels its last events left.
  Watch(const Job& job, Store& store);

  /// The target's result, just recorded: returns the events it raises,
  /// already recorded in the store.
  std::vector<Event> Observe(const TargetResult& result);

  /// The round has ended: when it is the reference round, or the first
  /// complete one, its epochs become the references of targets without one.
  void FinishRound(std::int64_t round, RoundStatus status);

  /// The target's last displacement, if it has one.
  std::optional<Displacement> Last(const std::string& target) const;

 private:
  struct Followed {
    std::optional<Epoch> reference;
    std::optional<Epoch> candidate;  // Its epoch in a round not yet ended.
    std::deque<Displacement> recent;
  };

  std::vector<Event> Check(const std::string& target, Followed& followed,
                           const Displacement& displacement);

  const Job& job_;
  Store& store_;
  AlarmTracker tracker_;
  std::map<std::string, Followed> targets_;
};

}  // namespace Core::GEOCOM::survey

#endif
