#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <limits>

#include "measurement/FieldReads.h"

namespace Core::GEOCOM {

using measurement::FaceField;
using measurement::FlagField;
using measurement::ReadEach;
using measurement::ReadEvery;
using measurement::SwitchField;

namespace {

// One unsigned 16-bit setting; the target is written in every case, with 0
// when the field is missing or out of range.
template <typename Setting>
bool ReadSetting(const GeoComSentence& reply, Setting& setting) {
  unsigned short cursor = 0;
  unsigned short value = 0;
  const bool read = reply.unPack(value, cursor);
  setting = static_cast<Setting>(read ? value : 0);
  return read;
}

// One signed 16-bit value written only when it lies in 0 to highest.
template <typename State>
bool ReadState(const GeoComSentence& reply, State& state, short highest) {
  unsigned short cursor = 0;
  short value = 0;
  if (!reply.unPack(value, cursor) || value < 0 || value > highest) {
    return false;
  }
  state = static_cast<State>(value);
  return true;
}

}  // namespace

// Unlike the other decoders this one does not stop at a failed field: every
// record gets every field that the reply does carry.
bool GeoComSentence::UnPack(TMC_ANGLE& angle, TMC_RAW_INCLINE& rawIncline,
                            TMC_RAW_ANGLE& rawAngle) const {
  unsigned short cursor = 0;
  return ReadEvery(*this, cursor, angle.hz, angle.v, angle.angleAccuracy,
                   angle.angleTime, angle.incline.crossIncline,
                   angle.incline.lengthIncline, angle.incline.accuracy,
                   angle.incline.time, FaceField{angle.face},
                   FlagField{rawIncline.flag}, rawIncline.value1,
                   rawIncline.value2, rawIncline.value3, rawIncline.value4,
                   rawIncline.time, FlagField{rawAngle.flag}, rawAngle.value1,
                   rawAngle.value2, rawAngle.value3, rawAngle.time);
}

bool GeoComSentence::UnPack(TMC_Ang_Switch& switches) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, SwitchField{switches.inclineCorrection},
                  SwitchField{switches.standAxisCorrection},
                  SwitchField{switches.collimationCorrection},
                  SwitchField{switches.tiltAxisCorrection});
}

bool GeoComSentence::UnPack(TMC_Atmos_Temperature& atmosphere) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, atmosphere.lambda, atmosphere.pressure,
                  atmosphere.dryTemperature, atmosphere.wetTemperature);
}

bool GeoComSentence::UnPack(TMC_Incline& incline) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, incline.crossIncline, incline.lengthIncline,
                  incline.accuracy, incline.time);
}

bool GeoComSentence::UnPack(TMC_Incline_Index& index) const {
  return UnPackInclinationValueResponse(index.value1, index.value2);
}

bool GeoComSentence::UnPack(TMC_Simple_Meas& measurement) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, measurement.hz, measurement.v,
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
  unsigned short cursor = 0;
  if (!ReadEach(*this, cursor, station.stationEasting, station.stationNorthing,
                station.stationHeight)) {
    station.stationHeight = std::numeric_limits<double>::infinity();
  }
  return unPack(station.instrumentHeight, cursor);
}

bool GeoComSentence::UnPackTMCStation(double& easting, double& northing,
                                      double& height,
                                      double& instrumentHeight) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, easting, northing, height, instrumentHeight);
}

// Every reply of two doubles (inclination index, angle pair, distance
// corrections) is read here.
bool GeoComSentence::UnPackInclinationValueResponse(double& first,
                                                    double& second) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, first, second);
}

bool GeoComSentence::UnPack(double& value, unsigned short& number,
                            std::string& text) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, value, number, text);
}

bool GeoComSentence::UnPackPowerSearchRange(int& minimum, int& maximum) const {
  unsigned short cursor = 0;
  int first = 0;
  int second = 0;
  if (!ReadEach(*this, cursor, first, second)) {
    return false;
  }
  minimum = first;
  maximum = second;
  return true;
}

bool GeoComSentence::UnPackPowerSearchWindow(AUT_SEARCH_AREA& area) const {
  unsigned short cursor = 0;
  unsigned short enabled = 0;
  const bool read = ReadEach(*this, cursor, area.centerHz, area.centerV,
                             area.rangeHz, area.rangeV, enabled);
  area.enabled = read && enabled == 1;
  return read;
}

bool GeoComSentence::UnPack(ON_OFF_TYPE& state) const {
  return ReadState(*this, state, 1);
}

bool GeoComSentence::UnPackVisibilitySetting(BAP_ATRSETTING& setting) const {
  return ReadSetting(*this, setting);
}

bool GeoComSentence::UnPackEGLIntensity(
    EDM_EGLINTENSITY_TYPE& intensity) const {
  return ReadSetting(*this, intensity);
}

bool GeoComSentence::UnPackGetATRResponse(bool& on) const {
  unsigned short cursor = 0;
  return ReadEach(*this, cursor, FlagField{on});
}

bool GeoComSentence::UnPackGetLPSwitch(bool& on) const {
  return UnPackGetATRResponse(on);
}

bool GeoComSentence::UnPackLockInStatusResponse(MOT_LOCK_STATUS& status) const {
  return ReadState(*this, status, 2);
}

// These replies carry no success flag of their own; every field is tried.
void GeoComSentence::UnPack(ATA_CALIB& calibration, ATA_ZERO_COORD& zero,
                            ATA_TEMP_GRAD& gradient) const {
  unsigned short cursor = 0;
  ReadEvery(*this, cursor, calibration.value1, calibration.value2,
            calibration.value3, calibration.value4, calibration.value5,
            calibration.value6, zero.value1, zero.value2, gradient.value1,
            gradient.value2);
}

void GeoComSentence::UnPack(AUT_CALPAR& parameters) const {
  unsigned short cursor = 0;
  ReadEvery(*this, cursor, parameters.value1, parameters.value2,
            parameters.value3, parameters.value4, parameters.value5,
            parameters.value6);
}

}  // namespace Core::GEOCOM
