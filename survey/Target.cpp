#include <DazoZazIdoRezeraro/survey/Target.h>

#include <cmath>

namespace Core::GEOCOM::survey {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

Direction DirectionTo(const Station& station, const Coordinates& point) {
  const double east = point.easting - station.easting;
  const double north = point.northing - station.northing;
  const double up = point.height - (station.height + station.instrumentHeight);
  const double bearing = std::atan2(east, north);
  double hz = std::fmod(bearing - station.orientation, kTwoPi);
  if (hz < 0) hz += kTwoPi;
  const double v = std::atan2(std::hypot(east, north), up);
  return {hz, v};
}

Direction ApproximateDirection(const Station& station, const Target& target) {
  if (target.coordinates) return DirectionTo(station, *target.coordinates);
  return target.direction.value_or(Direction{});
}

}  // namespace Core::GEOCOM::survey
