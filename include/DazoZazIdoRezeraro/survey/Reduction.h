#ifndef DAZOZAZIDOREZERARO_SURVEY_REDUCTION_H
#define DAZOZAZIDOREZERARO_SURVEY_REDUCTION_H

#include <vector>

#include "Export.h"
#include "Store.h"
#include "Target.h"

/// @file
/// From readings to results: two-face means, set statistics, the distance
/// corrections and coordinates. No I/O; a round and a test use the same.

namespace Core::GEOCOM::survey {

/// The angles and distance of one set, reduced to face I.
struct SetMean {
  double hz = 0;        ///< Radians, in [0, 2π).
  double v = 0;         ///< Zenith angle, radians.
  double distance = 0;  ///< Slope distance as read, metres.
  /// Collimation (hz1 − hz2 ± π) / 2 · sin v, radians; NaN with one face.
  double collimation = 0;
  /// Vertical index (v1 + v2 − 2π) / 2, radians; NaN with one face.
  double verticalIndex = 0;
  /// The larger of the two raw face differences |hz1 − hz2 ± π| and
  /// |v1 + v2 − 2π|, what the face tolerance bounds; 0 with one face.
  double faceDifference = 0;
};

/// The mean of a face I and, when given, a face II reading: hz from hz1 and
/// hz2 ± π, v from v1 and 2π − v2, the distances averaged.
DAZOZAZIDOREZERARO_SURVEY_EXPORT SetMean
MeanOfFaces(const Observation& faceOne, const Observation* faceTwo);

/// The scale correction of the slope distance for the air, parts per
/// million, for a red carrier: 286.34 − 0.29525 p / (1 + t / 273.15),
/// pressure p in hPa and dry temperature t in °C (0 at about 12 °C and
/// 1013 hPa).
DAZOZAZIDOREZERARO_SURVEY_EXPORT double AtmosphericPpm(double pressure,
                                                       double temperature);

/// The slope distance corrected: scaled by ppm, plus the prism constant.
DAZOZAZIDOREZERARO_SURVEY_EXPORT double CorrectedDistance(double measured,
                                                          double ppm,
                                                          double prismConstant);

/// The grid coordinates of the point at hz, v (face I) and the corrected
/// slope distance from the station.
DAZOZAZIDOREZERARO_SURVEY_EXPORT Coordinates PointAt(const Station& station,
                                                     double hz, double v,
                                                     double distance);

/// Fills the result's reduced values from its observations (every set's
/// face I and, with two faces, face II, each with a distance): the set
/// means and their mean, spreads, flagged sets, instrument errors, the
/// corrected distance and coordinates; the outcome becomes
/// out-of-tolerance when a face difference or a set exceeds the target's
/// tolerances, measured otherwise. A result without a complete set is left
/// as it is.
DAZOZAZIDOREZERARO_SURVEY_EXPORT void Reduce(const Station& station,
                                             const Target& target, double ppm,
                                             TargetResult& result);

}  // namespace Core::GEOCOM::survey

#endif
