#ifndef DAZOZAZIDOREZERARO_SURVEY_STORESCHEMA_H
#define DAZOZAZIDOREZERARO_SURVEY_STORESCHEMA_H

#include <DazoZazIdoRezeraro/survey/Displacement.h>
#include <DazoZazIdoRezeraro/survey/Limits.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Core::GEOCOM::survey {

/// Marks a SQLite file as a results store (PRAGMA application_id).
inline constexpr int kStoreApplicationId = 0x475a4d31;

/// One step of the schema in each backend's dialect: the same tables and
/// columns, so that a reader of either store sees one layout.
struct Migration {
  std::string_view sqlite;
  std::string_view postgres;
};

/// The steps that take the store from schema version i to i + 1, for each
/// i from 0: a new version appends one, never edits one already released.
const std::vector<Migration>& Migrations();

/// A new random key for a round: it names the round in every store it is
/// written to, so that writing it again finds the round already there.
std::string NewRoundKey();

/// Times in the tables are microseconds since 1970-01-01 UTC.
std::int64_t Microseconds(TimePoint time);
TimePoint FromMicroseconds(std::int64_t value);

/// The round status and flagged sets as their columns hold them.
std::string_view StatusName(RoundStatus status);
RoundStatus ParseStatus(std::string_view text);
std::string JoinSets(const std::vector<int>& sets);
std::vector<int> SplitSets(const std::string& text);

/// A result as both stores select it, from column first on: round, target,
/// started, time, outcome, return_code, message, faces, sets, hz, v,
/// distance, collimation, vertical_index, hz_spread, v_spread,
/// distance_spread, flagged_sets, easting, northing, height. Row reads a
/// column with Integer, Real, Text and IsNull.
template <typename Row>
TargetResult ResultOfRow(const Row& row, int first) {
  const auto at = [first](int column) { return first + column; };
  TargetResult result;
  result.round = row.Integer(at(0));
  result.target = row.Text(at(1));
  result.started = FromMicroseconds(row.Integer(at(2)));
  result.time = FromMicroseconds(row.Integer(at(3)));
  result.outcome =
      ParseOutcome(row.Text(at(4))).value_or(Outcome::kInstrumentError);
  result.returnCode = static_cast<unsigned short>(row.Integer(at(5)));
  result.message = row.Text(at(6));
  result.faces = static_cast<int>(row.Integer(at(7)));
  result.sets = static_cast<int>(row.Integer(at(8)));
  result.hz = row.Real(at(9));
  result.v = row.Real(at(10));
  result.distance = row.Real(at(11));
  result.collimation = row.Real(at(12));
  result.verticalIndex = row.Real(at(13));
  result.hzSpread = row.Real(at(14));
  result.vSpread = row.Real(at(15));
  result.distanceSpread = row.Real(at(16));
  result.flaggedSets = SplitSets(row.Text(at(17)));
  if (!row.IsNull(at(18))) {
    result.coordinates =
        Coordinates{row.Real(at(18)), row.Real(at(19)), row.Real(at(20))};
  }
  return result;
}

/// An event as both stores select it, from column first on: round, target,
/// time, level, component, value, limit_value.
template <typename Row>
Event EventOfRow(const Row& row, int first) {
  const auto at = [first](int column) { return first + column; };
  Event event;
  event.round = row.Integer(at(0));
  event.target = row.Text(at(1));
  event.time = static_cast<double>(row.Integer(at(2))) / 1e6;
  event.level = LevelNamed(row.Text(at(3))).value_or(Level::Alarm);
  event.component =
      ComponentNamed(row.Text(at(4))).value_or(Component::Spatial);
  event.value = row.Real(at(5));
  event.limit = row.Real(at(6));
  return event;
}

}  // namespace Core::GEOCOM::survey

#endif
