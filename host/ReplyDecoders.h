#ifndef DAZOZAZIDOREZERARO_HOST_REPLYDECODERS_H
#define DAZOZAZIDOREZERARO_HOST_REPLYDECODERS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Records.h>

#include <cstdint>
#include <string>

// The reply decoders that the typed calls and the named fields share: each
// reads a reply's parameter text into what the typed call returns, with the
// core's decoders, and answers whether it could.
namespace Core::GEOCOM::host::decode {

bool InstrumentNumber(const GeoComSentence& reply, std::int32_t& number);
bool InstrumentName(const GeoComSentence& reply, std::string& name);
bool Software(const GeoComSentence& reply, SoftwareVersion& version);
bool DateTime(const GeoComSentence& reply, DATIME& dateTime);
bool Switch(const GeoComSentence& reply, bool& on);
bool Count(const GeoComSentence& reply, std::int32_t& count);
bool File(const GeoComSentence& reply, FileEntry& entry);

// The records the core decodes with UnPack or a named decoder.
bool Record(const GeoComSentence& reply, TPS_Device& device);
bool Record(const GeoComSentence& reply, CSV_PowerStatus& power);
bool Record(const GeoComSentence& reply, TMC_Hz_V_Ang& angles);
bool Record(const GeoComSentence& reply, TMC_Simple_Meas& measurement);
bool Record(const GeoComSentence& reply, TMC_Atmos_Temperature& atmosphere);
bool Record(const GeoComSentence& reply, TMC_Station& station);
bool Record(const GeoComSentence& reply, TMC_Ang_Switch& switches);
bool Record(const GeoComSentence& reply, TMC_Slope_Dist_Corr& corrections);
bool Record(const GeoComSentence& reply, AUT_SEARCH_AREA& area);
bool Record(const GeoComSentence& reply, MOT_LOCK_STATUS& status);
bool Record(const GeoComSentence& reply, EDM_EGLINTENSITY_TYPE& intensity);

// The records above, chosen by the value's type, as one callable.
inline const auto kRecord = [](const GeoComSentence& reply, auto& value) {
  return Record(reply, value);
};

}  // namespace Core::GEOCOM::host::decode

#endif
