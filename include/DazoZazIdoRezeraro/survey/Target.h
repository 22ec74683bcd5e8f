#ifndef DAZOZAZIDOREZERARO_SURVEY_TARGET_H
#define DAZOZAZIDOREZERARO_SURVEY_TARGET_H

#include <optional>
#include <string>

#include "Export.h"

/// @file
/// What a monitoring job measures: the station the instrument stands on and
/// the targets it aims at. Metres and radians throughout.

namespace Core::GEOCOM::survey {

/// A point in grid coordinates.
struct Coordinates {
  double easting = 0;   ///< Metres east.
  double northing = 0;  ///< Metres north.
  double height = 0;    ///< Metres up.
};

/// Where the instrument stands and how its horizontal circle is oriented.
struct Station {
  double easting = 0;           ///< Metres east of the ground mark.
  double northing = 0;          ///< Metres north of the ground mark.
  double height = 0;            ///< Height of the ground mark, metres.
  double instrumentHeight = 0;  ///< Tilting axis above the mark, metres.
  /// The grid bearing of horizontal angle 0, radians clockwise from north.
  double orientation = 0;
};

/// A direction from the instrument, in face I.
struct Direction {
  double hz = 0;  ///< Horizontal angle, radians.
  double v = 0;   ///< Zenith angle, radians.
};

/// How far the two faces and the sets of one target may disagree.
struct Tolerances {
  /// The largest face difference of either angle (collimation and index
  /// error as measured), radians.
  double faceDifference = 0.002;
  /// The largest departure of one set's angle from the sets' mean, radians.
  double setAngle = 0.0002;
  /// The largest departure of one set's distance from the mean, metres.
  double setDistance = 0.005;
};

/// One prism a round measures.
struct Target {
  std::string id;  ///< Its name, unique in a job.
  /// Its approximate direction; used when it has no coordinates.
  std::optional<Direction> direction;
  /// Its approximate coordinates; the direction comes from the station.
  std::optional<Coordinates> coordinates;
  double prismConstant = 0;  ///< Added to each measured distance, metres.
  int faces = 2;             ///< 1 (face I only) or 2.
  Tolerances tolerances;     ///< Face and set tolerances.
};

/// The face-I direction from the station to the point, with the station's
/// orientation and instrument height.
DAZOZAZIDOREZERARO_SURVEY_EXPORT Direction
DirectionTo(const Station& station, const Coordinates& point);

/// The direction a round aims at for the target: its own direction, or the
/// one to its coordinates.
DAZOZAZIDOREZERARO_SURVEY_EXPORT Direction
ApproximateDirection(const Station& station, const Target& target);

}  // namespace Core::GEOCOM::survey

#endif
