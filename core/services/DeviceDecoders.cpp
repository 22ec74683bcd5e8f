// Replies of the power, date, device, battery, instrument-number and
// software-version commands.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "codec/ReplyFields.h"

namespace Core::GEOCOM {

using codec::ReplyFields;
using codec::Stored;

namespace {

bool IsKnownDeviceClass(unsigned short deviceClass) {
  return deviceClass <= 301 || (deviceClass >= 500 && deviceClass <= 509);
}

}  // namespace

// Fields the decoder does not reach are left at 0.
bool GeoComSentence::UnPack(CSV_PowerStatus& status) const {
  status = CSV_PowerStatus{};
  return ReplyFields(*this).Each(
      Stored(status.level, -32768, 32767),
      Stored(status.firstPath, CSV_POWER_NONE, CSV_POWER_EXTERNAL),
      Stored(status.secondPath, CSV_POWER_NONE, CSV_POWER_EXTERNAL));
}

// The record is not cleared: fields the decoder does not reach keep their
// values.
bool GeoComSentence::UnPack(DATE_TYPE& date) const {
  return ReplyFields(*this).Each(Stored(date.year, 0, 65535),
                                 Stored(date.month), Stored(date.day));
}

// A value that fits 16 bits but lies outside the known codes is stored
// before the decoder fails, so the caller can see what was rejected.
bool GeoComSentence::UnPack(TPS_Device& device) const {
  device = TPS_Device{};
  ReplyFields fields(*this);
  if (!fields.Read(Stored(device.deviceClass, 0, 65535)) ||
      !IsKnownDeviceClass(device.deviceClass)) {
    return false;
  }
  return fields.Read(Stored(device.deviceType, 0, 65535)) &&
         device.deviceType <= 32767;
}

bool GeoComSentence::UnPackCsvDeviceType(std::int32_t& deviceClass,
                                         std::int32_t& deviceType) const {
  return ReplyFields(*this).Each(deviceClass, deviceType);
}

// The instrument reports power path 1 as exactly 1.0; any other number
// means path 2.
bool GeoComSentence::UnPackGetBatteryStatusResponse(
    double& capacity, CSV_POWER_PATH& path) const {
  double pathValue = 0.0;
  if (!ReplyFields(*this).Each(capacity, pathValue)) {
    return false;
  }
  path = pathValue == 1.0 ? CSV_POWER_INTERNAL : CSV_POWER_EXTERNAL;
  return true;
}

bool GeoComSentence::UnPackGetInstrumentNo(std::int32_t& serialNumber) const {
  return ReplyFields(*this).Read(Stored(serialNumber));
}

// The same reply shape as the instrument number: one 32-bit integer.
bool GeoComSentence::UnPackGetAutomationActivity(AUT_AUTEVENT& event) const {
  std::int32_t value = 0;
  if (!UnPackGetInstrumentNo(value)) {
    return false;
  }
  event = static_cast<AUT_AUTEVENT>(value);
  return true;
}

bool GeoComSentence::UnPackGetSWVersionResponse(
    unsigned short& release, unsigned short& version,
    unsigned short& subversion) const {
  return ReplyFields(*this).Each(Stored(release, 0, 65535),
                                 Stored(version, 0, 65535),
                                 Stored(subversion, 0, 65535));
}

}  // namespace Core::GEOCOM
