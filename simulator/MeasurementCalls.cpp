#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

using State = InstrumentState;
using namespace host;

// The circles' reading of the telescope's direction, and the distance to a
// prism in the beam, each with the scene's noise. Without a prism the reply
// carries the angles, a distance of 0 and the no-target code.
Answer State::Measure(Clock::time_point now, bool distance) {
  const Direction line = telescope.At(now);
  const Direction aim = CircleReading(line, scene.instrumentErrors);
  Answer answer = Reply(
      {{"hz", NormalisedAngle(aim.hz + random_.Gaussian(scene.noise.angle))},
       {"v", NormalisedAngle(aim.v + random_.Gaussian(scene.noise.angle))}});
  if (!distance) return answer;
  answer.delay = Seconds(scene.edm.measureTime);
  const std::optional<std::size_t> prism =
      PrismNear(line, scene.edm.beamDivergence, scene.edm.range, now);
  if (!prism) {
    answer.code = kNoTargetCode;
    answer.values.push_back({"slope_distance", 0.0});
    return answer;
  }
  const double slope = SightOfPrism(*prism, now).slopeDistance;
  answer.values.push_back(
      {"slope_distance", slope + random_.Gaussian(scene.noise.distance)});
  return answer;
}

Answer State::Angles(const Arguments&, Clock::time_point now) {
  return Measure(now, false);
}

Answer State::SimpleMeasurement(const Arguments&, Clock::time_point now) {
  return Measure(now, true);
}

Answer State::QuickDistance(const Arguments&, Clock::time_point now) {
  return Measure(now, true);
}

Answer State::InclineIndex(const Arguments&, Clock::time_point) {
  // The instrument stands level.
  return Reply({{"cross_index", 0.0}, {"length_index", 0.0}});
}

Answer State::AngleSwitches(const Arguments&, Clock::time_point) {
  return Reply({{"incline_correction", compensator_},
                {"stand_axis_correction", true},
                {"collimation_correction", true},
                {"tilt_axis_correction", true}});
}

Answer State::StartCompensator(const Arguments&, Clock::time_point) {
  compensator_ = true;
  return Answer{};
}

Answer State::StopCompensator(const Arguments&, Clock::time_point) {
  compensator_ = false;
  return Answer{};
}

Answer State::AtmosphereValues(const Arguments&, Clock::time_point) {
  const Atmosphere& air = scene.atmosphere;
  return Reply({{"lambda", air.lambda},
                {"pressure", air.pressure},
                {"dry_temperature", air.dryTemperature},
                {"wet_temperature", air.wetTemperature}});
}

Answer State::SlopeDistanceCorrections(const Arguments&, Clock::time_point) {
  return Reply({{"ppm_correction", scene.edm.ppm},
                {"prism_correction", scene.edm.prismConstant}});
}

Answer State::StationValues(const Arguments&, Clock::time_point) {
  return Reply({{"easting", station_.easting},
                {"northing", station_.northing},
                {"height", station_.height},
                {"instrument_height", station_.instrumentHeight}});
}

Answer State::SetStation(const Arguments& in, Clock::time_point) {
  station_.easting = in.Real("easting");
  station_.northing = in.Real("northing");
  station_.height = in.Real("height");
  station_.instrumentHeight = in.Real("instrument_height");
  return Answer{};
}

Answer State::StationId(const Arguments&, Clock::time_point) {
  return Reply({{"id", station_.id}});
}

Answer State::Calibration(const Arguments&, Clock::time_point) {
  // The calibration of a well-adjusted instrument.
  return Reply({{"scale_hz", 1.0},
                {"scale_v", 1.0},
                {"rotation", 0.0},
                {"zero_hz", 0.0},
                {"zero_v", 0.0},
                {"zero_x", 0.0},
                {"zero_y", 0.0},
                {"gradient_hz", 0.0},
                {"gradient_v", 0.0},
                {"temperature", 0.0}});
}

Answer State::CalibrationParameters(const Arguments&, Clock::time_point) {
  return Reply({{"offset_hz", 0.0},
                {"offset_v", 0.0},
                {"collimation", 0.0},
                {"tilt_axis", 0.0},
                {"index", 0.0},
                {"temperature", 0.0}});
}

Answer State::GuideLight(const Arguments&, Clock::time_point) {
  return Reply({{"intensity", Whole(guideLight_)}});
}

Answer State::SetGuideLight(const Arguments& in, Clock::time_point) {
  guideLight_ = static_cast<std::int32_t>(in.Integer("intensity"));
  return Answer{};
}

void AddMeasurementHandlers(Handlers& handlers) {
  handlers.insert({
      {kAngles, &State::Angles},
      {kSimpleMeasurement, &State::SimpleMeasurement},
      {kQuickDistance, &State::QuickDistance},
      {kInclineIndex, &State::InclineIndex},
      {kAngleSwitches, &State::AngleSwitches},
      {kStartCompensator, &State::StartCompensator},
      {kStopCompensator, &State::StopCompensator},
      {kAtmosphere, &State::AtmosphereValues},
      {kSlopeDistanceCorrections, &State::SlopeDistanceCorrections},
      {kStation, &State::StationValues},
      {kSetStation, &State::SetStation},
      {kStationId, &State::StationId},
      {kCalibration, &State::Calibration},
      {kCalibrationParameters, &State::CalibrationParameters},
      {kGuideLight, &State::GuideLight},
      {kSetGuideLight, &State::SetGuideLight},
  });
}

}  // namespace Core::GEOCOM::simulator
