// Replies of the power, date, device, battery, instrument-number and
// software-version commands.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "services/ReplyFields.h"

namespace Core::GEOCOM {

namespace {

bool IsKnownDeviceClass(unsigned short deviceClass) {
  return deviceClass <= 301 || (deviceClass >= 500 && deviceClass <= 509);
}

}  // namespace

// Fields the decoder does not reach are left at 0.
bool GeoComSentence::UnPack(CSV_PowerStatus& status) const {
  status = CSV_PowerStatus{};
  services::ReplyFields fields(*this);
  return fields.Stored(status.level, -32768, 32767) &&
         fields.Stored(status.firstPath, CSV_POWER_NONE, CSV_POWER_EXTERNAL) &&
         fields.Stored(status.secondPath, CSV_POWER_NONE, CSV_POWER_EXTERNAL);
}

// The record is not cleared: fields the decoder does not reach keep their
// values.
bool GeoComSentence::UnPack(DATE_TYPE& date) const {
  services::ReplyFields fields(*this);
  return fields.Stored(date.year, 0, 65535) && fields.Stored(date.month) &&
         fields.Stored(date.day);
}

// A value that fits 16 bits but lies outside the known codes is stored
// before the decoder fails, so the caller can see what was rejected.
bool GeoComSentence::UnPack(TPS_Device& device) const {
  device = TPS_Device{};
  services::ReplyFields fields(*this);
  if (!fields.Stored(device.deviceClass, 0, 65535) ||
      !IsKnownDeviceClass(device.deviceClass)) {
    return false;
  }
  return fields.Stored(device.deviceType, 0, 65535) &&
         device.deviceType <= 32767;
}

bool GeoComSentence::UnPackCsvDeviceType(std::int32_t& deviceClass,
                                         std::int32_t& deviceType) const {
  services::ReplyFields fields(*this);
  return fields.Direct(deviceClass) && fields.Direct(deviceType);
}

// The instrument reports power path 1 as exactly 1.0; any other number
// means path 2.
bool GeoComSentence::UnPackGetBatteryStatusResponse(
    double& capacity, CSV_POWER_PATH& path) const {
  services::ReplyFields fields(*this);
  double pathValue = 0.0;
  if (!fields.Direct(capacity) || !fields.Direct(pathValue)) {
    return false;
  }
  path = pathValue == 1.0 ? CSV_POWER_INTERNAL : CSV_POWER_EXTERNAL;
  return true;
}

bool GeoComSentence::UnPackGetInstrumentNo(std::int32_t& serialNumber) const {
  return services::ReplyFields(*this).Stored(serialNumber);
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
  services::ReplyFields fields(*this);
  return fields.Stored(release, 0, 65535) && fields.Stored(version, 0, 65535) &&
         fields.Stored(subversion, 0, 65535);
}

}  // namespace Core::GEOCOM
