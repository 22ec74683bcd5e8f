#ifndef DAZOZAZIDOREZERARO_SURVEY_STORESCHEMA_H
#define DAZOZAZIDOREZERARO_SURVEY_STORESCHEMA_H

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

}  // namespace Core::GEOCOM::survey

#endif
