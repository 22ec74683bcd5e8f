#include <DazoZazIdoRezeraro/simulator/Geometry.h>

#include <cmath>

namespace Core::GEOCOM::simulator {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullCircle = 2 * kPi;

struct Vector {
  double east;
  double north;
  double up;
};

// The unit vector along the line of sight; the orientation turns both
// directions alike, so comparing them needs none.
Vector LineOfSight(const Direction& direction) {
  return {std::sin(direction.v) * std::sin(direction.hz),
          std::sin(direction.v) * std::cos(direction.hz),
          std::cos(direction.v)};
}

}  // namespace

Sight SightTo(const Station& station, const Point& point) {
  const double dE = point.easting - station.easting;
  const double dN = point.northing - station.northing;
  const double dH = point.height - (station.height + station.instrumentHeight);
  const double horizontal = std::hypot(dE, dN);
  Sight sight;
  sight.direction.hz =
      NormalisedAngle(std::atan2(dE, dN) - station.orientation);
  sight.direction.v = std::atan2(horizontal, dH);
  sight.slopeDistance = std::hypot(horizontal, dH);
  return sight;
}

double AngleBetween(const Direction& a, const Direction& b) {
  const Vector u = LineOfSight(a);
  const Vector w = LineOfSight(b);
  const Vector cross{u.north * w.up - u.up * w.north,
                     u.up * w.east - u.east * w.up,
                     u.east * w.north - u.north * w.east};
  const double sine =
      std::sqrt(cross.east * cross.east + cross.north * cross.north +
                cross.up * cross.up);
  const double cosine = u.east * w.east + u.north * w.north + u.up * w.up;
  return std::atan2(sine, cosine);
}

Direction OtherFace(const Direction& d) {
  return {NormalisedAngle(d.hz + kPi), NormalisedAngle(kFullCircle - d.v)};
}

bool InFaceTwo(const Direction& d) { return NormalisedAngle(d.v) > kPi; }

namespace {

// The horizontal effect of the collimation error at the zenith angle; none
// straight up or down, where the horizontal angle means nothing.
double CollimationEffect(double collimation, double v) {
  const double sine = std::sin(v);
  return std::fabs(sine) < 1e-6 ? 0.0 : collimation / sine;
}

}  // namespace

Direction CircleReading(const Direction& lineOfSight,
                        const InstrumentErrors& errors) {
  return {NormalisedAngle(lineOfSight.hz +
                          CollimationEffect(errors.collimation, lineOfSight.v)),
          NormalisedAngle(lineOfSight.v + errors.verticalIndex)};
}

Direction LineOfSightAt(const Direction& reading,
                        const InstrumentErrors& errors) {
  const double v = NormalisedAngle(reading.v - errors.verticalIndex);
  return {
      NormalisedAngle(reading.hz - CollimationEffect(errors.collimation, v)),
      v};
}

}  // namespace Core::GEOCOM::simulator
