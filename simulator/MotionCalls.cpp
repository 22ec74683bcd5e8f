#include <cmath>

#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

namespace {

bool InWindow(const Direction& direction, const AUT_SEARCH_AREA& area) {
  return std::fabs(ShortestTurn(direction.hz - area.centerHz)) <=
             area.rangeHz / 2 &&
         std::fabs(ShortestTurn(direction.v - area.centerV)) <= area.rangeV / 2;
}

bool ValidMotorMode(std::int32_t mode) {
  return (mode >= MOT_POSIT && mode <= MOT_BREAK) || mode == MOT_TERM;
}

}  // namespace

using State = InstrumentState;

Answer State::Positioning(double hz, double v, std::int32_t atrMode,
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

Answer State::Position(RequestReader& in, Clock::time_point now) {
  double hz = 0, v = 0;
  std::int32_t posMode = AUT_NORMAL, atrMode = AUT_POSITION;
  if (!in.Double(hz) || !in.Double(v)) return Code(GRC_IVPARAM);
  in.Int(posMode);
  in.Int(atrMode);
  return Positioning(hz, v, atrMode, now);
}

// Turns to the same line of sight through the other face, whatever the
// arguments: the instrument keeps its own positioning and recognition modes.
Answer State::ChangeFace(RequestReader&, Clock::time_point now) {
  Unlock();
  const Clock::time_point arrival =
      telescope.TurnTo(OtherFace(telescope.At(now)), now);
  activity_ = AUT_EVENT_POSITIONING;
  activityUntil_ = arrival;
  Answer answer;
  answer.delay = arrival - now;
  return answer;
}

Answer State::FastPosition(RequestReader& in, Clock::time_point now) {
  double hz = 0, v = 0, accuracy = 0;
  std::int32_t atrMode = AUT_POSITION;
  if (!in.Double(hz) || !in.Double(v)) return Code(GRC_IVPARAM);
  in.Double(accuracy);
  in.Int(atrMode);
  return Positioning(hz, v, atrMode, now);
}

Answer State::Fine(RequestReader& in, Clock::time_point now, bool retry) {
  double hzRange = 0, vRange = 0;
  if (!in.Double(hzRange) || !in.Double(vRange) || hzRange < 0 || vRange < 0) {
    return Code(GRC_IVPARAM);
  }
  std::int32_t visibility = ATA_VISIBILITY_NORMAL;
  if (retry && !in.Int(visibility)) return Code(GRC_IVPARAM);
  if (!atr_) return Code(GRC_IVRESULT);
  const std::optional<std::size_t> prism = PrismNear(
      telescope.At(now), scene.atr.fieldOfView / 2, scene.atr.range, now);
  if (!prism) return Code(kNoTargetCode);
  Unlock();
  return TurnOntoPrism(*prism, now, AUT_EVENT_FINE_ADJUST);
}

Answer State::FineAdjust(RequestReader& in, Clock::time_point now) {
  return Fine(in, now, false);
}

Answer State::FineAdjustRetry(RequestReader& in, Clock::time_point now) {
  return Fine(in, now, true);
}

Answer State::LockIn(RequestReader&, Clock::time_point now) {
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

Answer State::LockStatus(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Int(locked_ ? MOT_LOCKED_IN : MOT_LOCKED_OUT));
}

Answer State::PowerSearch(RequestReader& in, Clock::time_point now) {
  std::int32_t direction = 0, swing = 0;
  if (!in.Int(direction) || !in.Int(swing)) return Code(GRC_IVPARAM);
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

Answer State::SetPowerSearchRange(RequestReader& in, Clock::time_point) {
  std::int32_t minimum = 0, maximum = 0;
  if (!in.Int(minimum) || !in.Int(maximum) || minimum < 0 ||
      maximum < minimum) {
    return Code(GRC_IVPARAM);
  }
  searchRangeMin_ = minimum;
  searchRangeMax_ = maximum;
  return Answer{};
}

Answer State::SearchArea(RequestReader&, Clock::time_point) {
  return Reply(ReplyText()
                   .Double(searchArea_.centerHz)
                   .Double(searchArea_.centerV)
                   .Double(searchArea_.rangeHz)
                   .Double(searchArea_.rangeV)
                   .Int(searchArea_.enabled ? 1 : 0));
}

Answer State::SetSearchArea(RequestReader& in, Clock::time_point) {
  AUT_SEARCH_AREA area{};
  std::int32_t enabled = 0;
  if (!in.Double(area.centerHz) || !in.Double(area.centerV) ||
      !in.Double(area.rangeHz) || !in.Double(area.rangeV) || !in.Int(enabled) ||
      area.rangeHz < 0 || area.rangeV < 0) {
    return Code(GRC_IVPARAM);
  }
  area.centerHz = NormalisedAngle(area.centerHz);
  area.centerV = NormalisedAngle(area.centerV);
  area.enabled = enabled == 1;
  searchArea_ = area;
  return Answer{};
}

Answer State::MotorStart(RequestReader& in, Clock::time_point now) {
  std::int32_t mode = 0;
  if (!in.Int(mode) || !ValidMotorMode(mode)) return Code(GRC_IVPARAM);
  Unlock();
  telescope.Stop(now);
  motorMode_ = mode;
  return Answer{};
}

Answer State::MotorStop(RequestReader& in, Clock::time_point now) {
  std::int32_t mode = 0;
  if (!in.Int(mode)) return Code(GRC_IVPARAM);
  if (motorMode_ == MOT_OCONST) telescope.Stop(now);
  motorMode_.reset();
  return Answer{};
}

Answer State::MotorVelocity(RequestReader& in, Clock::time_point now) {
  double hzSpeed = 0, vSpeed = 0;
  if (!in.Double(hzSpeed) || !in.Double(vSpeed) ||
      std::fabs(hzSpeed) > scene.telescope.maxSpeed ||
      std::fabs(vSpeed) > scene.telescope.maxSpeed) {
    return Code(GRC_IVPARAM);
  }
  if (motorMode_ != MOT_OCONST) return Code(GRC_IVRESULT);
  telescope.Spin(hzSpeed, vSpeed, now);
  return Answer{};
}

Answer State::AutomationActivity(RequestReader&, Clock::time_point now) {
  return Reply(
      ReplyText().Int(now < activityUntil_ ? activity_ : AUT_EVENT_NONE));
}

Answer State::AtrState(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Int(atr_ ? 1 : 0));
}

Answer State::SetAtrState(RequestReader& in, Clock::time_point) {
  std::int32_t on = 0;
  if (!in.Int(on)) return Code(GRC_IVPARAM);
  atr_ = on != 0;
  if (!atr_) Unlock();
  return Answer{};
}

Answer State::LockState(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Int(lockSwitch_ ? 1 : 0));
}

Answer State::SetLockState(RequestReader& in, Clock::time_point) {
  std::int32_t on = 0;
  if (!in.Int(on)) return Code(GRC_IVPARAM);
  lockSwitch_ = on != 0;
  if (!lockSwitch_) Unlock();
  return Answer{};
}

Answer State::AtrSetting(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Int(atrSetting_));
}

Answer State::SetAtrSetting(RequestReader& in, Clock::time_point) {
  std::int32_t setting = 0;
  if (!in.Int(setting) || setting < BAP_ATRSET_NORMAL ||
      setting > BAP_ATRSET_SRANGE_AON) {
    return Code(GRC_IVPARAM);
  }
  atrSetting_ = setting;
  return Answer{};
}

}  // namespace Core::GEOCOM::simulator
