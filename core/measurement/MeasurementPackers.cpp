#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "codec/Compose.h"

namespace Core::GEOCOM {

using codec::Compose;

namespace {

std::string PackRawAngle(const char* formatString, const TMC_RAW_ANGLE& raw) {
  return Compose(formatString, raw.flag, raw.value1, raw.value2, raw.value3,
                 raw.time);
}

std::string PackAngle(const char* formatString, const TMC_ANGLE& angle) {
  return Compose(formatString, angle.hz, angle.v, angle.angleAccuracy,
                 angle.angleTime, angle.incline.crossIncline,
                 angle.incline.lengthIncline, angle.incline.accuracy,
                 angle.incline.time, angle.face);
}

}  // namespace

std::string GeoComSentence::PackDeviceFastPositionRequest(
    double hz, double v, double accuracy, AUT_ATRMODE atrMode) const {
  return Compose("%1$.6f,%2$.6f,%3$.6f,%4%", hz, v, accuracy, atrMode);
}

std::string GeoComSentence::PackDevicePositionRequest(double hz, double v,
                                                      AUT_POSMODE posMode,
                                                      AUT_ATRMODE atrMode,
                                                      bool dummy) const {
  return Compose("%1$.6f,%2$.6f,%3%,%4%,%5%", hz, v, posMode, atrMode, dummy);
}

std::string GeoComSentence::PackFineAdjustRequest(double hzRange, double vRange,
                                                  bool dummy) const {
  return Compose("%1$.6f,%2$.6f,%3%", hzRange, vRange, dummy);
}

std::string GeoComSentence::PackFineAdjustRetryRequest(
    double hzRange, double vRange, ATA_VISIBILITY visibility) const {
  return Compose("%1$.6f,%2$.6f,%3%", hzRange, vRange, visibility);
}

std::string GeoComSentence::PackMotorSetVelocityRequest(double hzSpeed,
                                                        double vSpeed) const {
  return Compose("%1$.6f,%2$.6f", hzSpeed, vSpeed);
}

std::string GeoComSentence::PackSetSearchAreaRequest(double centerHz,
                                                     double centerV,
                                                     double rangeHz,
                                                     double rangeV,
                                                     bool enabled) const {
  return Compose("%1$.6f,%2$.6f,%3$.6f,%4$.6f,%5%", centerHz, centerV, rangeHz,
                 rangeV, enabled);
}

std::string GeoComSentence::PackSetPowerSearchRangeRequest(int minimum,
                                                           int maximum) const {
  return Compose("%1%,%2%", minimum, maximum);
}

std::string GeoComSentence::PackStartPowerSearchRequest(int direction,
                                                        bool swing) const {
  return Compose("%1%,%2%", direction, swing);
}

std::string GeoComSentence::PackSetATRRequest(bool on) const {
  return Compose("%1%", on);
}

std::string GeoComSentence::PackSetUserLockInRequest(bool on) const {
  return Compose("%1%", on);
}

std::string GeoComSentence::PackGuideLightRequest(
    EDM_EGLINTENSITY_TYPE intensity) const {
  return Compose("%1%", intensity);
}

std::string GeoComSentence::PackStartCompensatorRequest() const {
  return Compose("%1%", 1);
}

std::string GeoComSentence::PackStopCompenstorRequest() const {
  return Compose("%1%", 0);
}

// The queries below carry no parameters.
std::string GeoComSentence::PackGetATRRequest() const { return std::string(); }

std::string GeoComSentence::PackGetBatteryStatusRequest() const {
  return std::string();
}

std::string GeoComSentence::PackGetInstrumentNo() const {
  return std::string();
}

std::string GeoComSentence::PackStartLockInRequest() const {
  return std::string();
}

std::string GeoComSentence::Pack(double value1, double value2, double value3,
                                 double value4, double value5, double value6,
                                 std::string text) const {
  return Compose("%1%,%2%,%3%,%4%,%5%,%6%,\"%7%\"", value1, value2, value3,
                 value4, value5, value6, text);
}

std::string GeoComSentence::Pack(TMC_RAW_ANGLE first,
                                 TMC_RAW_ANGLE second) const {
  return Compose("%1%,%2%,%3%,%4%,%5%,%6%,%7%,%8%,%9%,%10%", first.flag,
                 first.value1, first.value2, first.value3, first.time,
                 second.flag, second.value1, second.value2, second.value3,
                 second.time);
}

std::string GeoComSentence::Pack(TMC_RAW_INCLINE first,
                                 TMC_RAW_INCLINE second) const {
  return Compose("%1%,%2%,%3%,%4%,%5%,%6%,%7%,%8%,%9%,%10%,%11%,%12%",
                 first.flag, first.value1, first.value2, first.value3,
                 first.value4, first.time, second.flag, second.value1,
                 second.value2, second.value3, second.value4, second.time);
}

std::string GeoComSentence::Pack(TMC_RAW_ANGLE firstRaw, TMC_ANGLE firstAngle,
                                 TMC_RAW_ANGLE secondRaw,
                                 TMC_ANGLE secondAngle) const {
  // Every piece is non-empty when it composes, so an empty piece is a failed
  // one; the joined text is then dropped rather than sent incomplete.
  const std::string pieces[] = {
      PackRawAngle("%1%,%2%,%3%,%4%,%5%,", firstRaw),
      PackAngle("%1%,%2%,%3%,%4%,%5%,%6%,%7%,%8%,%9%,", firstAngle),
      PackRawAngle("%1%,%2%,%3%,%4%,%5%,", secondRaw),
      PackAngle("%1%,%2%,%3%,%4%,%5%,%6%,%7%,%8%,%9%", secondAngle)};
  try {
    std::string joined;
    for (const std::string& piece : pieces) {
      if (piece.empty()) {
        return std::string();
      }
      joined += piece;
    }
    return joined;
  } catch (...) {
    return std::string();
  }
}

}  // namespace Core::GEOCOM
