#include <DazoZazIdoRezeraro/host/Angles.h>

#include <cmath>

namespace Core::GEOCOM::host {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullCircle = 2 * kPi;

}  // namespace

double NormalisedAngle(double angle) {
  const double wrapped = std::fmod(angle, kFullCircle);
  const double positive = wrapped < 0 ? wrapped + kFullCircle : wrapped;
  // fmod of a tiny negative angle plus 2π rounds to 2π itself.
  return positive >= kFullCircle ? 0.0 : positive;
}

double ShortestTurn(double angle) {
  const double wrapped = NormalisedAngle(angle);
  return wrapped > kPi ? wrapped - kFullCircle : wrapped;
}

}  // namespace Core::GEOCOM::host
