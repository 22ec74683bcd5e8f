#include "ReplyDecoders.h"

namespace Core::GEOCOM::host::decode {

bool InstrumentNumber(const GeoComSentence& reply, std::int32_t& number) {
  return reply.UnPackGetInstrumentNo(number);
}

bool InstrumentName(const GeoComSentence& reply, std::string& name) {
  return reply.unPack(name);
}

bool Record(const GeoComSentence& reply, SoftwareVersion& version) {
  return reply.UnPackGetSWVersionResponse(version.release, version.version,
                                          version.subversion);
}

// The date comes as one record; the time of day follows its three fields.
bool Record(const GeoComSentence& reply, DATIME& dateTime) {
  DATE_TYPE date{};
  if (!reply.UnPack(date)) return false;
  unsigned short cursor = 0;
  int year = 0;
  unsigned char skipped = 0;
  DATIME read{date.year, date.month, date.day, 0, 0, 0};
  if (!reply.unPack(year, cursor) || !reply.unPack(skipped, cursor) ||
      !reply.unPack(skipped, cursor) || !reply.unPack(read.hour, cursor) ||
      !reply.unPack(read.minute, cursor) ||
      !reply.unPack(read.second, cursor)) {
    return false;
  }
  dateTime = read;
  return true;
}

bool Switch(const GeoComSentence& reply, bool& on) {
  return reply.UnPackGetATRResponse(on);
}

bool Count(const GeoComSentence& reply, std::int32_t& count) {
  int read = 0;
  if (!reply.unPack(read)) return false;
  count = read;
  return true;
}

bool Record(const GeoComSentence& reply, FileEntry& entry) {
  return reply.UnPackFtrListResponse(entry.last, entry.info);
}

bool Record(const GeoComSentence& reply, TPS_Device& device) {
  return reply.UnPack(device);
}
bool Record(const GeoComSentence& reply, CSV_PowerStatus& power) {
  return reply.UnPack(power);
}
bool Record(const GeoComSentence& reply, TMC_Hz_V_Ang& angles) {
  return reply.UnPack(angles);
}
bool Record(const GeoComSentence& reply, TMC_Simple_Meas& measurement) {
  return reply.UnPack(measurement);
}
bool Record(const GeoComSentence& reply, TMC_Atmos_Temperature& atmosphere) {
  return reply.UnPack(atmosphere);
}
bool Record(const GeoComSentence& reply, TMC_Station& station) {
  return reply.UnPack(station);
}
bool Record(const GeoComSentence& reply, TMC_Ang_Switch& switches) {
  return reply.UnPack(switches);
}
bool Record(const GeoComSentence& reply, TMC_Slope_Dist_Corr& corrections) {
  return reply.UnPack(corrections);
}
bool Record(const GeoComSentence& reply, AUT_SEARCH_AREA& area) {
  return reply.UnPackPowerSearchWindow(area);
}
bool Record(const GeoComSentence& reply, MOT_LOCK_STATUS& status) {
  return reply.UnPackLockInStatusResponse(status);
}
bool Record(const GeoComSentence& reply, EDM_EGLINTENSITY_TYPE& intensity) {
  return reply.UnPackEGLIntensity(intensity);
}

}  // namespace Core::GEOCOM::host::decode
