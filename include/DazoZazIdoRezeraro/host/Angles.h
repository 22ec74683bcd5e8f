#ifndef DAZOZAZIDOREZERARO_HOST_ANGLES_H
#define DAZOZAZIDOREZERARO_HOST_ANGLES_H

#include "Export.h"

/// @file
/// Angles in radians wrapped the two ways a circle reading is compared.

namespace Core::GEOCOM::host {

/// The angle wrapped into [0, 2π).
DAZOZAZIDOREZERARO_HOST_EXPORT double NormalisedAngle(double angle);

/// The angle wrapped into (-π, π]: the shorter way round.
DAZOZAZIDOREZERARO_HOST_EXPORT double ShortestTurn(double angle);

}  // namespace Core::GEOCOM::host

#endif
