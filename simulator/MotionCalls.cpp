#include <cmath>

#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

namespace {

bool InWindow(const Direction& direction, const AUT_SEARCH_AREA& area) {
  return std::fabs(ShortestTurn(direction.hz - area.centerHz)) <=
             area.rangeHz / 2 &&
         std::fabs(ShortestTurn(direction.v - area.centerV)) <= area.rangeV / 2;
}

}  // namespace

using State = InstrumentState;
using namespace host;

Answer State::Positioning(double hz, double v, std::int64_t atrMode,
                          Clock::time_point now) {
  if (atrMode == AUT_TARGET && !atr_) return Code(GRC_IVRESULT);
  Unlock();
  // The host names circle readings; the telescope turns to the line of
  // sight at which the circles read them.
  const Direction target = LineOfSightAt(
      {NormalisedAngle(hz), NormalisedAngle(v)}, scene.instrumentErrors);
  const Clock::time_point arrival = telescope.TurnTo(target, now);
  activity_ = AUT_EVENT_POSITIONING;
  activityUntil_ = arrival;
  Answer answer;
  answer.delay = arrival - now;
  if (atrMode == AUT_TARGET) {
    // The last stretch of the turn ends on the centre of the prism seen at
    // the destination.
    const std::optional<std::size_t> prism =
        PrismNear(target, scene.atr.fieldOfView / 2, scene.atr.range, arrival);
    if (!prism) {
      answer.code = kNoTargetCode;
      return answer;
    }
    return TurnOntoPrism(*prism, now, AUT_EVENT_POSITIONING);
  }
  return answer;
}

Answer State::Position(const Arguments& in, Clock::time_point now) {
  return Positioning(in.Real("hz"), in.Real("v"), in.Integer("atr_mode"), now);
}

// Turns to the same line of sight through the other face, whatever the
// arguments: the instrument keeps its own positioning and recognition modes.
Answer State::ChangeFace(const Arguments&, Clock::time_point now) {
  Unlock();
  const Clock::time_point arrival =
      telescope.TurnTo(OtherFace(telescope.At(now)), now);
  activity_ = AUT_EVENT_POSITIONING;
  activityUntil_ = arrival;
  Answer answer;
  answer.delay = arrival - now;
  return answer;
}

Answer State::FastPosition(const Arguments& in, Clock::time_point now) {
  return Positioning(in.Real("hz"), in.Real("v"), in.Integer("atr_mode"), now);
}

// The search ranges and the visibility hint change nothing here: the prism
// nearest the line of sight within the field of view is taken.
Answer State::Fine(Clock::time_point now) {
  if (!atr_) return Code(GRC_IVRESULT);
  const std::optional<std::size_t> prism = PrismNear(
      telescope.At(now), scene.atr.fieldOfView / 2, scene.atr.range, now);
  if (!prism) return Code(kNoTargetCode);
  Unlock();
  return TurnOntoPrism(*prism, now, AUT_EVENT_FINE_ADJUST);
}

Answer State::FineAdjust(const Arguments&, Clock::time_point now) {
  return Fine(now);
}

Answer State::FineAdjustRetry(const Arguments&, Clock::time_point now) {
  return Fine(now);
}

Answer State::LockIn(const Arguments&, Clock::time_point now) {
  if (!lockSwitch_ || !atr_) return Code(GRC_IVRESULT);
  const std::optional<std::size_t> prism = PrismNear(
      telescope.At(now), scene.atr.fieldOfView / 2, scene.atr.range, now);
  if (!prism) return Code(kNoTargetCode);
  locked_ = prism;
  lockCheckedAt_ = now;
  telescope.Hold(
      SameFace(telescope.At(now), SightOfPrism(*prism, now).direction), now);
  return Answer{};
}

Answer State::LockStatus(const Arguments&, Clock::time_point) {
  return Reply({{"status", Whole(locked_ ? MOT_LOCKED_IN : MOT_LOCKED_OUT)}});
}

// The direction and the swing change nothing here: the nearest prism in
// the window is found.
Answer State::PowerSearch(const Arguments&, Clock::time_point now) {
  if (!atr_) return Code(GRC_IVRESULT);
  const Direction here = telescope.At(now);
  std::optional<std::size_t> found;
  double nearest = 0;
  for (std::size_t i = 0; i < scene.prisms.size(); ++i) {
    const Sight sight = SightOfPrism(i, now);
    if (Hidden(i, now)) continue;
    const bool inRange =
        sight.slopeDistance <= scene.atr.range &&
        (searchRangeMax_ == 0 || (sight.slopeDistance >= searchRangeMin_ &&
                                  sight.slopeDistance <= searchRangeMax_));
    const bool inWindow =
        !searchArea_.enabled || InWindow(sight.direction, searchArea_);
    const double off = AngleBetween(here, sight.direction);
    if (inRange && inWindow && (!found || off < nearest)) {
      found = i;
      nearest = off;
    }
  }
  if (!found) {
    // The whole window was swept in vain.
    Answer answer = Code(kNoTargetCode);
    const double swept =
        searchArea_.enabled ? searchArea_.rangeHz : 2 * 3.14159265358979323846;
    answer.delay = Seconds(swept / scene.telescope.maxSpeed);
    activity_ = AUT_EVENT_SEARCH;
    activityUntil_ = now + answer.delay;
    return answer;
  }
  Unlock();
  return TurnOntoPrism(*found, now, AUT_EVENT_SEARCH);
}

Answer State::SetPowerSearchRange(const Arguments& in, Clock::time_point) {
  const std::int64_t minimum = in.Integer("minimum");
  const std::int64_t maximum = in.Integer("maximum");
  if (maximum < minimum) return Code(GRC_IVPARAM);
  searchRangeMin_ = static_cast<std::int32_t>(minimum);
  searchRangeMax_ = static_cast<std::int32_t>(maximum);
  return Answer{};
}

Answer State::SearchArea(const Arguments&, Clock::time_point) {
  return Reply({{"center_hz", searchArea_.centerHz},
                {"center_v", searchArea_.centerV},
                {"range_hz", searchArea_.rangeHz},
                {"range_v", searchArea_.rangeV},
                {"enabled", searchArea_.enabled}});
}

Answer State::SetSearchArea(const Arguments& in, Clock::time_point) {
  searchArea_.centerHz = NormalisedAngle(in.Real("center_hz"));
  searchArea_.centerV = NormalisedAngle(in.Real("center_v"));
  searchArea_.rangeHz = in.Real("range_hz");
  searchArea_.rangeV = in.Real("range_v");
  searchArea_.enabled = in.Flag("enabled");
  return Answer{};
}

Answer State::MotorStart(const Arguments& in, Clock::time_point now) {
  Unlock();
  telescope.Stop(now);
  motorMode_ = static_cast<std::int32_t>(in.Integer("mode"));
  return Answer{};
}

Answer State::MotorStop(const Arguments&, Clock::time_point now) {
  if (motorMode_ == MOT_OCONST) telescope.Stop(now);
  motorMode_.reset();
  return Answer{};
}

Answer State::MotorVelocity(const Arguments& in, Clock::time_point now) {
  const double hzSpeed = in.Real("hz_speed");
  const double vSpeed = in.Real("v_speed");
  if (std::fabs(hzSpeed) > scene.telescope.maxSpeed ||
      std::fabs(vSpeed) > scene.telescope.maxSpeed) {
    return Code(GRC_IVPARAM);
  }
  if (motorMode_ != MOT_OCONST) return Code(GRC_IVRESULT);
  telescope.Spin(hzSpeed, vSpeed, now);
  return Answer{};
}

Answer State::AutomationActivity(const Arguments&, Clock::time_point now) {
  return Reply(
      {{"activity", Whole(now < activityUntil_ ? activity_ : AUT_EVENT_NONE)}});
}

Answer State::AtrState(const Arguments&, Clock::time_point) {
  return Reply({{"atr", atr_}});
}

Answer State::SetAtrState(const Arguments& in, Clock::time_point) {
  atr_ = in.Flag("on");
  if (!atr_) Unlock();
  return Answer{};
}

Answer State::LockState(const Arguments&, Clock::time_point) {
  return Reply({{"lock", lockSwitch_}});
}

Answer State::SetLockState(const Arguments& in, Clock::time_point) {
  lockSwitch_ = in.Flag("on");
  if (!lockSwitch_) Unlock();
  return Answer{};
}

Answer State::AtrSetting(const Arguments&, Clock::time_point) {
  return Reply({{"setting", Whole(atrSetting_)}});
}

Answer State::SetAtrSetting(const Arguments& in, Clock::time_point) {
  atrSetting_ = static_cast<std::int32_t>(in.Integer("setting"));
  return Answer{};
}

void AddMotionHandlers(Handlers& handlers) {
  handlers.insert({
      {kPosition, &State::Position},
      {kChangeFace, &State::ChangeFace},
      {kFastPosition, &State::FastPosition},
      {kFineAdjust, &State::FineAdjust},
      {kFineAdjustRetry, &State::FineAdjustRetry},
      {kLockIn, &State::LockIn},
      {kLockStatus, &State::LockStatus},
      {kPowerSearch, &State::PowerSearch},
      {kSetPowerSearchRange, &State::SetPowerSearchRange},
      {kSearchArea, &State::SearchArea},
      {kSetSearchArea, &State::SetSearchArea},
      {kMotorStart, &State::MotorStart},
      {kMotorStop, &State::MotorStop},
      {kMotorVelocity, &State::MotorVelocity},
      {kAutomationActivity, &State::AutomationActivity},
      {kAtrState, &State::AtrState},
      {kSetAtrState, &State::SetAtrState},
      {kLockState, &State::LockState},
      {kSetLockState, &State::SetLockState},
      {kAtrSetting, &State::AtrSetting},
      {kSetAtrSetting, &State::SetAtrSetting},
  });
}

}  // namespace Core::GEOCOM::simulator
