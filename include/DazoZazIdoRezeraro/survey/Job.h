#ifndef DAZOZAZIDOREZERARO_SURVEY_JOB_H
#define DAZOZAZIDOREZERARO_SURVEY_JOB_H

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "Displacement.h"
#include "Export.h"
#include "Hook.h"
#include "Limits.h"
#include "Round.h"

/// @file
/// A monitoring job as a JSON file: which instrument, from which station,
/// which targets, how, how often, and where the results go.
/// docs/monitoring.md describes its keys.

namespace Core::GEOCOM::survey {

/// A monitoring job.
struct Job {
  std::string name;        ///< "name", or the file's name without folder.
  std::string instrument;  ///< "HOST:PORT" or a serial device's path.
  unsigned baud = 19200;   ///< A serial device's baud rate.
  std::string store;       ///< The results store's path.
  /// Seconds from the start of one round to the next; none: one after the
  /// other.
  std::optional<double> interval;
  RoundPlan plan;  ///< Station, targets, faces, sets and how to measure.
  /// Warning and alarm limits on targets' displacements.
  std::vector<Limit> limits;
  /// The command each event is given to, if any.
  std::optional<HookCommand> hook;
  /// How long a hook may run before it is killed.
  std::chrono::milliseconds hookTimeout{30000};
  /// The round displacements are measured from; else the first complete.
  std::optional<std::int64_t> referenceRound;
  /// The window velocities are fitted over, seconds.
  double velocityWindow = 7 * 86400.0;
  /// Directions some targets' displacements are also projected on.
  std::map<std::string, Axis> axes;
};

/// A job file that cannot be used; what() reads "FILE:LINE: KEY why".
class DAZOZAZIDOREZERARO_SURVEY_EXPORT JobError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads a job from its JSON text; name is what messages call the text.
/// Refuses, naming the line and the key, an unknown key, a missing or
/// mistyped one, a duplicate target id, a target with both or neither of
/// coordinates and direction, and a number out of its range. Throws
/// JobError.
DAZOZAZIDOREZERARO_SURVEY_EXPORT Job ParseJob(std::string_view json,
                                              const std::string& name);

/// Reads a job from a file; throws JobError.
DAZOZAZIDOREZERARO_SURVEY_EXPORT Job LoadJob(const std::string& path);

}  // namespace Core::GEOCOM::survey

#endif
