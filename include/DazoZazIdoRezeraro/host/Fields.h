#ifndef DAZOZAZIDOREZERARO_HOST_FIELDS_H
#define DAZOZAZIDOREZERARO_HOST_FIELDS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Calls.h"
#include "Export.h"

/// @file
/// Named values of requests and replies, for printing, JSON and captures:
/// the same decoding the typed calls use, with a name for every value.

namespace Core::GEOCOM::host {

/// One value: an integer, a double, a truth value or a text.
using FieldValue = std::variant<std::int64_t, double, bool, std::string>;

/// A named value, named in kebab case ("slope-distance").
struct Field {
  std::string name;  ///< The value's name.
  FieldValue value;  ///< The value.
};

/// The values of one sentence, in wire order.
using Fields = std::vector<Field>;

/// The value as text: doubles in their shortest exact form, truth values as
/// true and false, texts as they are.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string FormatValue(const FieldValue& value);

/// The values of a successful reply to the procedure, decoded with the
/// decoder its typed call uses; an empty list for a procedure whose reply
/// carries nothing; nullopt when the procedure has no decoder here or the
/// reply does not decode.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<Fields> ReplyFields(
    unsigned short procedure, const GeoComSentence& reply);

/// The arguments of a request recognised in received bytes (a composed
/// request holds its whole sentence, not its parameters), named as its typed
/// call names them; an empty
/// list for a request without arguments; nullopt when the procedure has no
/// decoder here or the parameters do not read.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<Fields> RequestFields(
    const GeoComSentence& request);

/// The named values of the records the typed calls return.
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
