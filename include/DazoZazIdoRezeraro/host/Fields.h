#ifndef DAZOZAZIDOREZERARO_HOST_FIELDS_H
#define DAZOZAZIDOREZERARO_HOST_FIELDS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <optional>

#include "Catalogue.h"
#include "Export.h"
#include "Records.h"

/// @file
/// Named values of requests and replies, for printing, JSON and captures:
/// the catalogue's reading of a sentence, and the names of the values of
/// the records the typed calls return.

namespace Core::GEOCOM::host {

/// The values of a successful reply to the procedure, read by the catalogue
/// (see DecodeReply); nullopt when the procedure is not catalogued or the
/// reply does not decode.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<Fields> ReplyFields(
    unsigned short procedure, const GeoComSentence& reply);

/// The arguments of a request recognised in received bytes (its text is the
/// parameter text), read by the catalogue (see ReadArguments); nullopt when
/// the procedure is not catalogued or the parameters do not read.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<Fields> RequestFields(
    const GeoComSentence& request);

/// The named values of the records the typed calls return: names, order and
/// units are those of the reply values of the catalogue row that decodes the
/// record.
/// @{
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const SoftwareVersion& version);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const TPS_Device& device);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const CSV_PowerStatus& power);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const DATIME& dateTime);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const TMC_Hz_V_Ang& angles);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields
Describe(const TMC_Simple_Meas& measurement);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields
Describe(const TMC_Atmos_Temperature& atmosphere);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const TMC_Station& station);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const TMC_Ang_Switch& switches);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields
Describe(const TMC_Slope_Dist_Corr& corrections);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const AUT_SEARCH_AREA& area);
DAZOZAZIDOREZERARO_HOST_EXPORT Fields Describe(const FileEntry& entry);
/// @}

}  // namespace Core::GEOCOM::host

#endif
