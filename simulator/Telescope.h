#ifndef DAZOZAZIDOREZERARO_SIMULATOR_TELESCOPE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_TELESCOPE_H

#include <DazoZazIdoRezeraro/simulator/Geometry.h>
#include <DazoZazIdoRezeraro/simulator/Responder.h>

namespace Core::GEOCOM::simulator {

// A duration of the clock from seconds.
Clock::duration Seconds(double seconds);
// Seconds from a duration of the clock.
double InSeconds(Clock::duration duration);

// The telescope's two axes in time: standing still, turning to a direction
// with each axis at the maximum speed the shorter way round, or turning at
// constant speeds.
class Telescope {
 public:
  Telescope(const Direction& start, double maxSpeed);

  Direction At(Clock::time_point t) const;
  // Starts turning from where it is at t; returns when it arrives.
  Clock::time_point TurnTo(const Direction& target, Clock::time_point t);
  // How long turning from one direction to the other takes.
  Clock::duration TurnTime(const Direction& from, const Direction& to) const;
  void Spin(double hzSpeed, double vSpeed, Clock::time_point t);
  void Hold(const Direction& direction, Clock::time_point t);
  void Stop(Clock::time_point t) { Hold(At(t), t); }
  double maxSpeed() const { return maxSpeed_; }
  // The motors are turning it at t.
  bool Moving(Clock::time_point t) const;

 private:
  enum class Mode { kStill, kTurning, kSpinning };

  double Elapsed(Clock::time_point t) const;

  Mode mode_ = Mode::kStill;
  Direction from_;
  Direction target_;  // where a turn ends, exactly
  Clock::time_point since_{};
  double hzTurn_ = 0;  // signed angles of a turn, or speeds of a spin
  double vTurn_ = 0;
  double maxSpeed_;
};

}  // namespace Core::GEOCOM::simulator

#endif
