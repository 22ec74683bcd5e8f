#ifndef DAZOZAZIDOREZERARO_SURVEY_LIMITS_H
#define DAZOZAZIDOREZERARO_SURVEY_LIMITS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "Displacement.h"
#include "Export.h"

/// @file
/// Warning and alarm limits on targets' displacements, and the events
/// raised when they are crossed and cleared.

namespace Core::GEOCOM::survey {

/// How far past its limits a target is.
enum class Level { Clear, Warning, Alarm };

/// "clear", "warning" or "alarm".
DAZOZAZIDOREZERARO_SURVEY_EXPORT const char* NameOf(Level level);

/// The level of the name; none for any other word.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<Level> LevelNamed(
    std::string_view name);

/// A warning and an alarm limit on one component of some targets. Limits
/// bound the component's magnitude: metres, or metres per day for the
/// velocity.
struct Limit {
  std::vector<std::string> targets;  ///< Targets it applies to; empty: all.
  Component component = Component::Spatial;  ///< What the limit is on.
  std::optional<double> warning;             ///< Warning limit, if any.
  std::optional<double> alarm;               ///< Alarm limit, if any.
  /// How many rounds in a row must cross a limit, or fall back under it,
  /// before the level changes: one noisy round is not an alarm.
  int consecutive = 1;
  /// How far under a limit the value must fall for its level to clear.
  double hysteresis = 0;

  /// Whether the limit applies to the target.
  DAZOZAZIDOREZERARO_SURVEY_EXPORT bool AppliesTo(
      const std::string& target) const;
};

/// A bad `limits` value of a job: what() names the key, as in
/// "limits[1].warning: ...".
class DAZOZAZIDOREZERARO_SURVEY_EXPORT LimitError
    : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// Reads a job's `limits`, given as JSON text: a list of objects with
/// `targets` (a list of ids or "*"), `component`, `warning` and `alarm` (a
/// number of metres, or a string with its unit: "5 mm", "0.5 cm", "2 mm/d"),
/// `consecutive` (rounds, default 1) and `hysteresis` (default a tenth of
/// the lower limit). Throws LimitError naming the key of the first fault.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::vector<Limit> LimitsFromJson(
    std::string_view json);

/// A level change of one target against one limit.
struct Event {
  std::string target;          ///< The target whose level changed.
  Level level = Level::Clear;  ///< The level the target is at now.
  Component component = Component::Spatial;  ///< What the limit is on.
  double value = 0;        ///< The component's value in the round that decided.
  double limit = 0;        ///< The limit crossed, or the one cleared.
  double time = 0;         ///< Seconds since the Unix epoch.
  std::int64_t round = 0;  ///< The round that decided.
};

/// The event as one line of JSON: target, level, component, value, unit,
/// limit, time (ISO 8601, UTC) and round; what a hook reads.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::string EventJson(const Event& event);

/// The time as ISO 8601 in UTC with milliseconds: 2026-12-07T00:36:15.250Z.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::string IsoTime(double secondsSinceEpoch);

/// Each target's level against each limit, round after round.
class DAZOZAZIDOREZERARO_SURVEY_EXPORT AlarmTracker {
 public:
  /// Tracks every target against the limits, each at its clear level.
  explicit AlarmTracker(std::vector<Limit> limits);

  /// The values of one target's components in one round (the velocity
  /// included when known); returns the events it raises. A round in which
  /// the target was not measured is not observed: it neither breaks nor
  /// extends a run of rounds.
  std::vector<Event> Observe(const std::string& target, std::int64_t round,
                             double time,
                             const std::map<Component, double>& values);

  /// Takes up the level an earlier event left the target at, against each
  /// of its limits on the event's component.
  void Resume(const Event& event);

  /// The target's current level against the limit of that index.
  Level LevelOf(const std::string& target, std::size_t limit) const;

  /// The limits, as given.
  const std::vector<Limit>& Limits() const { return limits_; }

 private:
  struct State {
    Level level = Level::Clear;
    // Rounds in a row at or beyond each level, counted from the current
    // level towards it (upwards: at or above; downwards: at or below).
    int runs[3] = {0, 0, 0};
  };

  std::vector<Limit> limits_;
  std::map<std::pair<std::string, std::size_t>, State> states_;
};

}  // namespace Core::GEOCOM::survey

#endif
