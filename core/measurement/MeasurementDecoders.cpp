#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <limits>

#include "codec/ReplyFields.h"

namespace Core::GEOCOM {

using codec::Flag;
using codec::ReplyFields;
using codec::Stored;

namespace {

// One unsigned 16-bit setting; the target is written in every case, with 0
// when the field is missing or out of range.
template <typename Setting>
bool ReadSetting(const GeoComSentence& reply, Setting& setting) {
  unsigned short value = 0;
  const bool read = ReplyFields(reply).Read(value);
  setting = static_cast<Setting>(read ? value : 0);
  return read;
}

}  // namespace

// Unlike the other decoders this one does not stop at a failed field: every
// record gets every field that the reply does carry. The face is a signed
// 16-bit value, which is exactly an integer within -32768 to 32767.
bool GeoComSentence::UnPack(TMC_ANGLE& angle, TMC_RAW_INCLINE& rawIncline,
                            TMC_RAW_ANGLE& rawAngle) const {
  return ReplyFields(*this).Every(
      angle.hz, angle.v, angle.angleAccuracy, angle.angleTime,
      angle.incline.crossIncline, angle.incline.lengthIncline,
      angle.incline.accuracy, angle.incline.time,
      Stored(angle.face, -32768, 32767), Flag(rawIncline.flag),
      rawIncline.value1, rawIncline.value2, rawIncline.value3,
      rawIncline.value4, rawIncline.time, Flag(rawAngle.flag), rawAngle.value1,
      rawAngle.value2, rawAngle.value3, rawAngle.time);
}

bool GeoComSentence::UnPack(TMC_Ang_Switch& switches) const {
  return ReplyFields(*this).Each(
      Stored(switches.inclineCorrection, OFF, ON),
      Stored(switches.standAxisCorrection, OFF, ON),
      Stored(switches.collimationCorrection, OFF, ON),
      Stored(switches.tiltAxisCorrection, OFF, ON));
}

bool GeoComSentence::UnPack(TMC_Atmos_Temperature& atmosphere) const {
  return ReplyFields(*this).Each(atmosphere.lambda, atmosphere.pressure,
                                 atmosphere.dryTemperature,
                                 atmosphere.wetTemperature);
}

bool GeoComSentence::UnPack(TMC_Incline& incline) const {
  return ReplyFields(*this).Each(incline.crossIncline, incline.lengthIncline,
                                 incline.accuracy, incline.time);
}

bool GeoComSentence::UnPack(TMC_Incline_Index& index) const {
  return UnPackInclinationValueResponse(index.value1, index.value2);
}

bool GeoComSentence::UnPack(TMC_Simple_Meas& measurement) const {
  return ReplyFields(*this).Each(measurement.hz, measurement.v,
                                 measurement.slopeDistance);
}

bool GeoComSentence::UnPack(TMC_Hz_V_Ang& angles) const {
  return UnPackInclinationValueResponse(angles.hz, angles.v);
}

bool GeoComSentence::UnPack(TMC_Slope_Dist_Corr& corrections) const {
  return UnPackInclinationValueResponse(corrections.ppmCorrection,
                                        corrections.prismCorrection);
}

// An unreadable station height becomes +infinity rather than failing the
// reply; the instrument height is read wherever the cursor then stands.
bool GeoComSentence::UnPack(TMC_Station& station) const {
  ReplyFields fields(*this);
  if (!fields.Each(station.stationEasting, station.stationNorthing,
                   station.stationHeight)) {
    station.stationHeight = std::numeric_limits<double>::infinity();
  }
  return fields.Read(station.instrumentHeight);
}

bool GeoComSentence::UnPackTMCStation(double& easting, double& northing,
                                      double& height,
                                      double& instrumentHeight) const {
  return ReplyFields(*this).Each(easting, northing, height, instrumentHeight);
}

// Every reply of two doubles (inclination index, angle pair, distance
// corrections) is read here.
bool GeoComSentence::UnPackInclinationValueResponse(double& first,
                                                    double& second) const {
  return ReplyFields(*this).Each(first, second);
}

bool GeoComSentence::UnPack(double& value, unsigned short& number,
                            std::string& text) const {
  return ReplyFields(*this).Each(value, number, text);
}

bool GeoComSentence::UnPackPowerSearchRange(int& minimum, int& maximum) const {
  int first = 0;
  int second = 0;
  if (!ReplyFields(*this).Each(first, second)) {
    return false;
  }
  minimum = first;
  maximum = second;
  return true;
}

bool GeoComSentence::UnPackPowerSearchWindow(AUT_SEARCH_AREA& area) const {
  unsigned short enabled = 0;
  const bool read = ReplyFields(*this).Each(area.centerHz, area.centerV,
                                            area.rangeHz, area.rangeV, enabled);
  area.enabled = read && enabled == 1;
  return read;
}

// A signed 16-bit value limited to 0..1 (or 0..2 below) accepts exactly what
// an integer limited to the same range accepts.
bool GeoComSentence::UnPack(ON_OFF_TYPE& state) const {
  return ReplyFields(*this).Read(Stored(state, OFF, ON));
}

bool GeoComSentence::UnPackLockInStatusResponse(MOT_LOCK_STATUS& status) const {
  return ReplyFields(*this).Read(
      Stored(status, MOT_LOCKED_OUT, MOT_PREDICTION));
}

bool GeoComSentence::UnPackVisibilitySetting(BAP_ATRSETTING& setting) const {
  return ReadSetting(*this, setting);
}

bool GeoComSentence::UnPackEGLIntensity(
    EDM_EGLINTENSITY_TYPE& intensity) const {
  return ReadSetting(*this, intensity);
}

bool GeoComSentence::UnPackGetATRResponse(bool& on) const {
  return ReplyFields(*this).Read(Flag(on));
}

bool GeoComSentence::UnPackGetLPSwitch(bool& on) const {
  return UnPackGetATRResponse(on);
}

// These replies carry no success flag of their own; every field is tried.
void GeoComSentence::UnPack(ATA_CALIB& calibration, ATA_ZERO_COORD& zero,
                            ATA_TEMP_GRAD& gradient) const {
  ReplyFields(*this).Every(calibration.value1, calibration.value2,
                           calibration.value3, calibration.value4,
                           calibration.value5, calibration.value6, zero.value1,
                           zero.value2, gradient.value1, gradient.value2);
}

void GeoComSentence::UnPack(AUT_CALPAR& parameters) const {
  ReplyFields(*this).Every(parameters.value1, parameters.value2,
                           parameters.value3, parameters.value4,
                           parameters.value5, parameters.value6);
}

}  // namespace Core::GEOCOM
