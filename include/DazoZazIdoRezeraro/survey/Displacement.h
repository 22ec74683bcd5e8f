#ifndef DAZOZAZIDOREZERARO_SURVEY_DISPLACEMENT_H
#define DAZOZAZIDOREZERARO_SURVEY_DISPLACEMENT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"

/// @file
/// How far and how fast a target has moved since its reference epoch.
/// Metres, radians and seconds since the Unix epoch; velocities in metres
/// per day, the unit limits on them are written in.

namespace Core::GEOCOM::survey {

/// One target's reduced coordinates from one round.
struct Epoch {
  std::int64_t round = 0;     ///< The round's id.
  double time = 0;            ///< When the target was measured.
  double easting = 0;         ///< Metres east.
  double northing = 0;        ///< Metres north.
  double height = 0;          ///< Metres up.
  bool roundComplete = true;  ///< Whether its round measured every target.
};

/// A direction displacements are projected on: a wall's normal, a slope's
/// fall line.
struct Axis {
  double bearing = 0;    ///< Grid bearing, radians clockwise from north.
  double elevation = 0;  ///< Radians above the horizontal (below: negative).
};

/// One epoch's displacement from the reference epoch, in metres.
struct Displacement {
  std::int64_t round = 0;       ///< The epoch's round.
  double time = 0;              ///< When it was measured.
  double east = 0;              ///< dE, metres.
  double north = 0;             ///< dN, metres.
  double height = 0;            ///< dH, metres.
  double horizontal = 0;        ///< Length of (east, north).
  double spatial = 0;           ///< Length of (east, north, height).
  std::optional<double> along;  ///< Projection on the target's axis, if any.
};

/// The quantities limits are set on.
enum class Component {
  East,
  North,
  Height,
  Horizontal,
  Spatial,
  Along,
  Velocity
};

/// The component a job names ("east", "north", "height", "horizontal",
/// "3d", "along", "velocity"), or none for any other word.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<Component> ComponentNamed(
    std::string_view name);

/// The job's name of the component.
DAZOZAZIDOREZERARO_SURVEY_EXPORT const char* NameOf(Component component);

/// The epoch displacements of the series are measured from: the one of the
/// named round, or else the first of a complete round; none when the series
/// has no such epoch. The series is in time order.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<Epoch> ReferenceEpoch(
    const std::vector<Epoch>& series,
    const std::optional<std::int64_t>& round = std::nullopt);

/// The displacement of the epoch from the reference, projected on the axis
/// when one is given.
DAZOZAZIDOREZERARO_SURVEY_EXPORT Displacement
DisplacementBetween(const Epoch& reference, const Epoch& epoch,
                    const std::optional<Axis>& axis = std::nullopt);

/// A closed range of times; either end may be open.
struct TimeRange {
  std::optional<double> from;  ///< Earliest time included.
  std::optional<double> to;    ///< Latest time included.
  /// Whether the time falls in the range.
  bool Contains(double time) const {
    return (!from || time >= *from) && (!to || time <= *to);
  }
};

/// The displacements of the series' epochs within the range.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::vector<Displacement> Displacements(
    const std::vector<Epoch>& series, const Epoch& reference,
    const std::optional<Axis>& axis = std::nullopt,
    const TimeRange& range = {});

/// A target's velocity, metres per day, fitted by least squares.
struct Velocity {
  double east = 0;              ///< Towards the east.
  double north = 0;             ///< Towards the north.
  double height = 0;            ///< Upwards.
  double horizontal = 0;        ///< Speed in the horizontal plane.
  double spatial = 0;           ///< Speed in space.
  std::optional<double> along;  ///< Along the target's axis, if any.
  std::size_t epochs = 0;       ///< How many epochs the fit used.
};

/// The velocity over the displacements whose times lie in the window of
/// the given length ending at the last of them; none with fewer than two
/// epochs at distinct times in it. The displacements are in time order.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<Velocity> VelocityOver(
    const std::vector<Displacement>& displacements, double windowSeconds);

/// The component's value in the displacement; none for the velocity, and
/// for the axis when the target has none.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<double> ValueOf(
    const Displacement& displacement, Component component);

}  // namespace Core::GEOCOM::survey

#endif
