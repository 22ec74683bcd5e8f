#ifndef DAZOZAZIDOREZERARO_SURVEY_LEARN_H
#define DAZOZAZIDOREZERARO_SURVEY_LEARN_H

#include <DazoZazIdoRezeraro/host/BlockingSession.h>

#include <functional>
#include <vector>

#include "Export.h"
#include "Target.h"

/// @file
/// Making a target list: sweeping a window with target recognition and
/// keeping each prism found.

namespace Core::GEOCOM::survey {

/// The window a sweep covers, face I readings, radians.
struct LearnWindow {
  double centerHz = 0;                  ///< Horizontal centre.
  double centerV = 1.5707963267948966;  ///< Zenith angle of the centre.
  double hzRange = 6.283185307179586;   ///< Full width.
  double vRange = 0.3;                  ///< Full height.
  /// Between aims, radians: at most the field of view of target
  /// recognition divided by √2, so that no prism falls between aims.
  double step = 0.018;
};

/// Sweeps the window row by row: aims, lets target recognition
/// fine-adjust, and measures each prism found that is not one already
/// found (within a step). Returns the prisms as targets named L1, L2, ... in
/// the order found, with their coordinates from the station. found is told
/// of each. Throws host::SessionError when the instrument fails otherwise
/// than by finding nothing.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::vector<Target> LearnTargets(
    host::BlockingSession& session, const Station& station,
    const LearnWindow& window,
    const std::function<void(const Target&)>& found = {});

}  // namespace Core::GEOCOM::survey

#endif
