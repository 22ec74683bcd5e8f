#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

using State = InstrumentState;

// The circles' reading of the telescope's direction, and the distance to a
// prism in the beam, each with the scene's noise. Without a prism the reply
// carries the angles, a distance of 0 and the no-target code.
Answer State::Measure(Clock::time_point now, bool distance) {
  const Direction line = telescope.At(now);
  const Direction aim = CircleReading(line, scene.instrumentErrors);
  ReplyText text;
  text.Double(NormalisedAngle(aim.hz + random_.Gaussian(scene.noise.angle)))
      .Double(NormalisedAngle(aim.v + random_.Gaussian(scene.noise.angle)));
  if (!distance) return Reply(text);
  Answer answer;
  answer.delay = Seconds(scene.edm.measureTime);
  const std::optional<std::size_t> prism =
      PrismNear(line, scene.edm.beamDivergence, scene.edm.range, now);
  if (!prism) {
    answer.code = kNoTargetCode;
    answer.text = text.Double(0).str();
    return answer;
  }
  const double slope = SightOfPrism(*prism, now).slopeDistance;
  answer.text =
      text.Double(slope + random_.Gaussian(scene.noise.distance)).str();
  return answer;
}

Answer State::Angles(RequestReader& in, Clock::time_point now) {
  std::int32_t inclineMode = 0;
  if (!in.Int(inclineMode)) return Code(GRC_IVPARAM);
  return Measure(now, false);
}

Answer State::SimpleMeasurement(RequestReader& in, Clock::time_point now) {
  std::int32_t waitMs = 0, inclineMode = 0;
  if (!in.Int(waitMs) || !in.Int(inclineMode) || waitMs < 0) {
    return Code(GRC_IVPARAM);
  }
  return Measure(now, true);
}

Answer State::QuickDistance(RequestReader&, Clock::time_point now) {
  return Measure(now, true);
}

Answer State::InclineIndex(RequestReader&, Clock::time_point) {
  // The instrument stands level.
  return Reply(ReplyText().Double(0).Double(0));
}

Answer State::AngleSwitches(RequestReader&, Clock::time_point) {
  return Reply(
      ReplyText().Int(compensator_ ? ON : OFF).Int(ON).Int(ON).Int(ON));
}

Answer State::StartCompensator(RequestReader&, Clock::time_point) {
  compensator_ = true;
  return Answer{};
}

Answer State::StopCompensator(RequestReader&, Clock::time_point) {
  compensator_ = false;
  return Answer{};
}

Answer State::AtmosphereValues(RequestReader&, Clock::time_point) {
  const Atmosphere& air = scene.atmosphere;
  return Reply(ReplyText()
                   .Double(air.lambda)
                   .Double(air.pressure)
                   .Double(air.dryTemperature)
                   .Double(air.wetTemperature));
}

Answer State::SlopeDistanceCorrections(RequestReader&, Clock::time_point) {
  return Reply(
      ReplyText().Double(scene.edm.ppm).Double(scene.edm.prismConstant));
}

Answer State::StationValues(RequestReader&, Clock::time_point) {
  return Reply(ReplyText()
                   .Double(station_.easting)
                   .Double(station_.northing)
                   .Double(station_.height)
                   .Double(station_.instrumentHeight));
}

Answer State::SetStation(RequestReader& in, Clock::time_point) {
  Station station = station_;
  if (!in.Double(station.easting) || !in.Double(station.northing) ||
      !in.Double(station.height) || !in.Double(station.instrumentHeight)) {
    return Code(GRC_IVPARAM);
  }
  station_ = station;
  return Answer{};
}

Answer State::StationId(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Text(station_.id));
}

Answer State::Calibration(RequestReader&, Clock::time_point) {
  // Six calibration values, the zero point and the temperature gradients
  // of a well-adjusted instrument.
  ReplyText text;
  for (const double value :
       {1.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}) {
    text.Double(value);
  }
  return Reply(text);
}

Answer State::CalibrationParameters(RequestReader&, Clock::time_point) {
  ReplyText text;
  for (int i = 0; i < 6; ++i) text.Double(0);
  return Reply(text);
}

Answer State::GuideLight(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Int(guideLight_));
}

Answer State::SetGuideLight(RequestReader& in, Clock::time_point) {
  std::int32_t intensity = 0;
  if (!in.Int(intensity) || intensity < EDM_EGLINTEN_OFF ||
      intensity > EDM_EGLINTEN_HIGH) {
    return Code(GRC_IVPARAM);
  }
  guideLight_ = intensity;
  return Answer{};
}

}  // namespace Core::GEOCOM::simulator
