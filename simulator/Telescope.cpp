#include "Telescope.h"

#include <algorithm>
#include <cmath>

namespace Core::GEOCOM::simulator {

namespace {

// How far an axis has come along a turn of the signed angle.
double Along(double turn, double covered) {
  return std::copysign(std::min(std::fabs(turn), covered), turn);
}

}  // namespace

// Rounded up, so that a turn has ended at the time it is said to end.
Clock::duration Seconds(double seconds) {
  return std::chrono::ceil<Clock::duration>(
      std::chrono::duration<double>(seconds));
}

double InSeconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

Telescope::Telescope(const Direction& start, double maxSpeed)
    : from_{NormalisedAngle(start.hz), NormalisedAngle(start.v)},
      maxSpeed_(maxSpeed) {}

double Telescope::Elapsed(Clock::time_point t) const {
  return t > since_ ? InSeconds(t - since_) : 0.0;
}

Direction Telescope::At(Clock::time_point t) const {
  switch (mode_) {
    case Mode::kStill:
      return from_;
    case Mode::kTurning: {
      const double covered = maxSpeed_ * Elapsed(t);
      if (covered >= std::max(std::fabs(hzTurn_), std::fabs(vTurn_))) {
        return target_;
      }
      return {NormalisedAngle(from_.hz + Along(hzTurn_, covered)),
              NormalisedAngle(from_.v + Along(vTurn_, covered))};
    }
    case Mode::kSpinning: {
      const double seconds = Elapsed(t);
      return {NormalisedAngle(from_.hz + hzTurn_ * seconds),
              NormalisedAngle(from_.v + vTurn_ * seconds)};
    }
  }
  return from_;
}

bool Telescope::Moving(Clock::time_point t) const {
  switch (mode_) {
    case Mode::kStill:
      return false;
    case Mode::kTurning:
      return maxSpeed_ * Elapsed(t) <
             std::max(std::fabs(hzTurn_), std::fabs(vTurn_));
    case Mode::kSpinning:
      return hzTurn_ != 0 || vTurn_ != 0;
  }
  return false;
}

Clock::duration Telescope::TurnTime(const Direction& from,
                                    const Direction& to) const {
  const double widest = std::max(std::fabs(ShortestTurn(to.hz - from.hz)),
                                 std::fabs(ShortestTurn(to.v - from.v)));
  return Seconds(widest / maxSpeed_);
}

Clock::time_point Telescope::TurnTo(const Direction& target,
                                    Clock::time_point t) {
  const Direction here = At(t);
  from_ = here;
  since_ = t;
  hzTurn_ = ShortestTurn(target.hz - here.hz);
  vTurn_ = ShortestTurn(target.v - here.v);
  target_ = {NormalisedAngle(target.hz), NormalisedAngle(target.v)};
  mode_ = Mode::kTurning;
  return t + TurnTime(here, target);
}

void Telescope::Spin(double hzSpeed, double vSpeed, Clock::time_point t) {
  from_ = At(t);
  since_ = t;
  hzTurn_ = hzSpeed;
  vTurn_ = vSpeed;
  mode_ = Mode::kSpinning;
}

void Telescope::Hold(const Direction& direction, Clock::time_point t) {
  from_ = {NormalisedAngle(direction.hz), NormalisedAngle(direction.v)};
  since_ = t;
  mode_ = Mode::kStill;
}

}  // namespace Core::GEOCOM::simulator
