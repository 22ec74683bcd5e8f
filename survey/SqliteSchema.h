#ifndef DAZOZAZIDOREZERARO_SURVEY_SQLITESCHEMA_H
#define DAZOZAZIDOREZERARO_SURVEY_SQLITESCHEMA_H

#include <string_view>
#include <vector>

namespace Core::GEOCOM::survey {

/// Marks a SQLite file as a results store (PRAGMA application_id).
inline constexpr int kStoreApplicationId = 0x475a4d31;

/// The SQL that takes the store from schema version i to i + 1, for each i
/// from 0: a new version appends one, never edits one already released.
const std::vector<std::string_view>& SqliteMigrations();

}  // namespace Core::GEOCOM::survey

#endif
