#ifndef DAZOZAZIDOREZERARO_SURVEY_RESULTFILES_H
#define DAZOZAZIDOREZERARO_SURVEY_RESULTFILES_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Export.h"
#include "Store.h"

/// @file
/// Results as the files other tools read: CSV with a header row and
/// GeoJSON, one row or feature per target per round, written as they are
/// read from the store (memory stays bounded).

namespace Core::GEOCOM::survey {

/// The columns of a result row, in order: round, target, time, outcome,
/// easting, northing, height, faces, sets, hz, v, distance, collimation,
/// vertical_index, hz_spread, v_spread, distance_spread, flagged_sets,
/// return_code, message, d_east, d_north, d_height (metres from the
/// target's reference epoch: its result in the first complete round).
DAZOZAZIDOREZERARO_SURVEY_EXPORT const std::vector<std::string>&
ResultColumns();

/// The row's values as text, in ResultColumns' order: numbers in their
/// shortest exact form, empty for a value not measured, the time in ISO
/// 8601 UTC with microseconds ("2026-03-15T10:30:00.250000Z").
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::vector<std::string> ResultRow(
    const TargetResult& result,
    const std::optional<Coordinates>& reference = std::nullopt);

/// The time as ISO 8601 UTC with microseconds.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::string FormatTime(TimePoint time);

/// The time of "YYYY-MM-DDTHH:MM:SS[.ffffff][Z]" or "YYYY-MM-DD", read as
/// UTC; nullopt for any other text.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<TimePoint> ParseTime(
    const std::string& text);

/// Writes the header row and a row per matching result, RFC 4180 quoting;
/// returns the rows written.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::size_t WriteCsv(Store& store,
                                                      const ResultQuery& query,
                                                      std::ostream& out);

/// Writes a FeatureCollection with a Point feature per matching result
/// (coordinates [easting, northing, height], null geometry when not
/// measured) whose properties are the row's columns; returns the features.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::size_t WriteGeoJson(
    Store& store, const ResultQuery& query, std::ostream& out);

}  // namespace Core::GEOCOM::survey

#endif
