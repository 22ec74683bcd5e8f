#ifndef DAZOZAZIDOREZERARO_SURVEY_HISTORY_H
#define DAZOZAZIDOREZERARO_SURVEY_HISTORY_H

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Displacement.h"
#include "Export.h"
#include "Report.h"
#include "Store.h"

/// @file
/// Displacements and the report read from a store, for any time range: the
/// measured results of each target as epochs, in time order.

namespace Core::GEOCOM::survey {

/// The time as seconds since the Unix epoch, as epochs and events keep it.
DAZOZAZIDOREZERARO_SURVEY_EXPORT double SecondsSinceEpoch(TimePoint time);

/// The time point of seconds since the Unix epoch.
DAZOZAZIDOREZERARO_SURVEY_EXPORT TimePoint TimeOfSeconds(double seconds);

/// The ids of the rounds that measured every target.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::set<std::int64_t> CompleteRounds(
    Store& store);

/// Calls each with the target and epoch of every measured result that
/// matches the query, in time order; stops when each returns false.
DAZOZAZIDOREZERARO_SURVEY_EXPORT void ReadEpochs(
    Store& store, const ResultQuery& query,
    const std::set<std::int64_t>& completeRounds,
    const std::function<bool(const std::string&, const Epoch&)>& each);

/// The target's reference epoch in the store: the named round's, else the
/// first of a complete round; none before the target has one.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<Epoch> ReferenceInStore(
    Store& store, const std::string& target,
    const std::set<std::int64_t>& completeRounds,
    const std::optional<std::int64_t>& round = std::nullopt);

/// The target's displacements measured in the range, from its reference
/// epoch; empty when it has none.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::vector<Displacement> DisplacementsInStore(
    Store& store, const std::string& target, const TimeRange& range = {},
    const std::optional<std::int64_t>& referenceRound = std::nullopt,
    const std::optional<Axis>& axis = std::nullopt);

/// Which part of a store a report shows.
struct ReportQuery {
  std::optional<TimePoint> since;     ///< Epochs and events from then on.
  std::optional<std::string> target;  ///< One target; every one when empty.
  std::optional<std::int64_t> referenceRound;  ///< Else the first complete.
};

/// Adds the store's part the query names to the report: references,
/// epochs and events, read in one pass in time order.
DAZOZAZIDOREZERARO_SURVEY_EXPORT void ReadIntoReport(Store& store,
                                                     const ReportQuery& query,
                                                     ReportBuilder& report);

/// The report over the store, read in one pass in time order.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::string ReportOfStore(
    Store& store, const ReportQuery& query, std::vector<Limit> limits,
    ReportOptions options = {});

}  // namespace Core::GEOCOM::survey

#endif
