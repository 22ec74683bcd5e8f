#ifndef DAZOZAZIDOREZERARO_HOST_REPLYDECODERS_H
#define DAZOZAZIDOREZERARO_HOST_REPLYDECODERS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Records.h>

#include <cstdint>
#include <optional>
#include <string>

// The reply decoders that the typed calls and the catalogue share: each
// reads a reply's parameter text into what the typed call returns, with the
// core's decoders, and answers whether it could.
namespace Core::GEOCOM::host::decode {

// Single values, told apart by the procedure rather than by their type.
bool InstrumentNumber(const GeoComSentence& reply, std::int32_t& number);
bool InstrumentName(const GeoComSentence& reply, std::string& name);
bool Switch(const GeoComSentence& reply, bool& on);
bool Count(const GeoComSentence& reply, std::int32_t& count);

// Records, chosen by their type: the one place where each record's decoder
// is picked.
bool Record(const GeoComSentence& reply, SoftwareVersion& version);
bool Record(const GeoComSentence& reply, DATIME& dateTime);
bool Record(const GeoComSentence& reply, FileEntry& entry);
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

// A catalogue row's decoder for the record its reply carries: the record
// read by the core, named by the row (see Describe). The row that holds
// DescribedRecord<R> is the one whose reply values name R's members.
template <typename R>
std::optional<Fields> DescribedRecord(const GeoComSentence& reply) {
  R record{};
  if (!Record(reply, record)) return std::nullopt;
  return Describe(record);
}

}  // namespace Core::GEOCOM::host::decode

#endif
