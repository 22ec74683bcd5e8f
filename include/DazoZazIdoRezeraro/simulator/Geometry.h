#ifndef DAZOZAZIDOREZERARO_SIMULATOR_GEOMETRY_H
#define DAZOZAZIDOREZERARO_SIMULATOR_GEOMETRY_H

#include <DazoZazIdoRezeraro/host/Angles.h>

#include "Export.h"
#include "Scene.h"

/// @file
/// The angles and distances an instrument on a station measures to a
/// point: what the virtual instrument answers and what a test compares with.

namespace Core::GEOCOM::simulator {

/// A direction of the telescope.
struct Direction {
  double hz = 0;  ///< Horizontal angle, radians, in [0, 2π).
  double v = 0;  ///< Zenith angle, radians, in [0, 2π); beyond π is face two.
};

/// What the instrument measures to a point.
struct Sight {
  Direction direction;       ///< Where the telescope points to see it.
  double slopeDistance = 0;  ///< Metres from the tilting axis.
};

// The host's angle wrapping, which the geometry and its tests use.
using host::NormalisedAngle;
using host::ShortestTurn;

/// The sight from the station to the point: hz = atan2(dE, dN) minus the
/// orientation, v = atan2(horizontal distance, dH) with dH = point height −
/// (station height + instrument height), slope distance = their hypotenuse.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Sight SightTo(const Station& station,
                                                  const Point& point);

/// The angle between two directions of the telescope, radians in [0, π].
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT double AngleBetween(const Direction& a,
                                                        const Direction& b);

/// The same line of sight through the other face: hz + π, 2π − v.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Direction OtherFace(const Direction& d);

/// Whether the telescope looks through face II (v beyond π).
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT bool InFaceTwo(const Direction& d);

/// What the circles read with the telescope along the line of sight: hz +
/// collimation / sin(v), v + vertical index. Either face.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Direction
CircleReading(const Direction& lineOfSight, const InstrumentErrors& errors);

/// The line of sight at which the circles read the direction: the inverse
/// of CircleReading, where a positioning turns the telescope.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Direction
LineOfSightAt(const Direction& reading, const InstrumentErrors& errors);

}  // namespace Core::GEOCOM::simulator

#endif
