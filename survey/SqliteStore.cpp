#include <sqlite3.h>
#include <unistd.h>

#include <DazoZazIdoRezeraro/survey/Store.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "StoreSchema.h"

namespace Core::GEOCOM::survey {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql, const std::string& where);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(statement_); }

  Statement& Bind(int index, double value) {
    if (std::isnan(value)) {
      sqlite3_bind_null(statement_, index);
    } else {
      sqlite3_bind_double(statement_, index, value);
    }
    return *this;
  }
  Statement& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement& Bind(int index, int value) {
    sqlite3_bind_int(statement_, index, value);
    return *this;
  }
  Statement& Bind(int index, std::string_view value) {
    sqlite3_bind_text(statement_, index, value.data(),
                      static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindOptional(int index, const std::optional<double>& value) {
    return Bind(index, value.value_or(kNaN));
  }
  /// Steps once; true while there is a row.
  bool Step();
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

  double Real(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL
               ? kNaN
               : sqlite3_column_double(statement_, column);
  }
  std::int64_t Integer(int column) const {
    return sqlite3_column_int64(statement_, column);
  }
  bool IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
  }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text));
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  std::string where_;
};

[[noreturn]] void Fail(sqlite3* db, int code, const std::string& where) {
  const std::string message = where + ": " + sqlite3_errmsg(db);
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw StoreError(StoreErrorKind::kBusy,
                       message + " (another program holds the store)");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      throw StoreError(StoreErrorKind::kReadOnly, message);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      throw StoreError(
          StoreErrorKind::kNotAStore,
          where + ": not a results store (" + sqlite3_errmsg(db) + ")");
    default:
      throw StoreError(StoreErrorKind::kIo, message);
  }
}

Statement::Statement(sqlite3* db, std::string_view sql,
                     const std::string& where)
    : db_(db), where_(where) {
  const int code = sqlite3_prepare_v2(
      db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
  if (code != SQLITE_OK) Fail(db, code, where);
}

bool Statement::Step() {
  const int code = sqlite3_step(statement_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  Fail(db_, code, where_);
}

class SqliteStore final : public Store {
 public:
  SqliteStore(const std::string& path, StoreMode mode,
              std::chrono::milliseconds busyTimeout);
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;
  ~SqliteStore() override { sqlite3_close_v2(db_); }

  int SchemaVersion() override;
  void RegisterTargets(const std::vector<Target>& targets) override;
  std::int64_t BeginRound(const RoundStart& start) override;
  void RecordTarget(const TargetResult& result) override;
  void FinishRound(std::int64_t round, RoundStatus status,
                   TimePoint finished) override;
  void ReadResults(
      const ResultQuery& query,
      const std::function<bool(const TargetResult&)>& each) override;
  void ReadRounds(const std::function<bool(const RoundRecord&)>& each) override;
  std::vector<Target> Targets() override;
  void RecordEvent(const Event& event) override;
  void ReadEvents(const EventQuery& query,
                  const std::function<bool(const Event&)>& each) override;

 private:
  void Execute(std::string_view sql);
  int PragmaInteger(std::string_view pragma);
  void Migrate();
  void MigrateWhileOthersOpen(std::chrono::milliseconds busyTimeout);
  void CheckReadable();

  // The statement of the text, prepared once and reset for each use: a
  // monitor writes the same few statements for years.
  Statement& Cached(const char* sql) {
    std::unique_ptr<Statement>& statement = cache_[sql];
    if (!statement) statement = std::make_unique<Statement>(db_, sql, path_);
    statement->Reset();
    return *statement;
  }

  void Run(const char* sql) {
    Statement& statement = Cached(sql);
    statement.Step();
    statement.Reset();
  }

  /// Runs work inside BEGIN IMMEDIATE ... COMMIT, rolled back on a throw.
  template <typename Work>
  void Transaction(Work&& work) {
    Run("BEGIN IMMEDIATE");
    try {
      work();
      Run("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  // One connection, used by the rounds of several instruments at once.
  std::recursive_mutex mutex_;
  std::map<std::string, std::unique_ptr<Statement>> cache_;
};

// Whether a reader may open the store for writing, though it writes
// nothing: the last connection to close a store in write-ahead mode folds
// the log back into it and removes the log and the shared memory file, which
// a read-only connection cannot do, and would leave both beside the store.
bool MayWriteBeside(const std::string& path) {
  const std::filesystem::path directory =
      std::filesystem::path(path).parent_path();
  return ::access(path.c_str(), W_OK) == 0 &&
         ::access(directory.empty() ? "." : directory.c_str(), W_OK) == 0;
}

SqliteStore::SqliteStore(const std::string& path, StoreMode mode,
                         std::chrono::milliseconds busyTimeout)
    : path_(path) {
  const int flags = mode == StoreMode::kReadWrite
                        ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                    : MayWriteBeside(path) ? SQLITE_OPEN_READWRITE
                                           : SQLITE_OPEN_READONLY;
  const int code =
      sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    const std::string message =
        path + ": cannot open the store (" +
        (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code)) + ")";
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw StoreError(mode == StoreMode::kReadOnly ? StoreErrorKind::kIo
                                                  : StoreErrorKind::kReadOnly,
                     message);
  }
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
    if (mode == StoreMode::kReadWrite) {
      if (sqlite3_db_readonly(db_, "main") == 1) {
        throw StoreError(StoreErrorKind::kReadOnly,
                         path + ": the store is read-only");
      }
      MigrateWhileOthersOpen(busyTimeout);
    } else {
      CheckReadable();
    }
  } catch (...) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
}

void SqliteStore::Execute(std::string_view sql) {
  char* error = nullptr;
  const int code =
      sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &error);
  sqlite3_free(error);
  if (code != SQLITE_OK) Fail(db_, code, path_);
}

int SqliteStore::PragmaInteger(std::string_view pragma) {
  Statement statement(db_, "PRAGMA " + std::string(pragma), path_);
  return statement.Step() ? static_cast<int>(statement.Integer(0)) : 0;
}

void SqliteStore::CheckReadable() {
  const int application = PragmaInteger("application_id");
  const int version = PragmaInteger("user_version");
  if (application != kStoreApplicationId) {
    throw StoreError(StoreErrorKind::kNotAStore,
                     path_ + ": not a results store");
  }
  if (version > CurrentSchemaVersion()) {
    throw StoreError(StoreErrorKind::kNewer,
                     path_ + ": a store of schema version " +
                         std::to_string(version) +
                         ", newer than this program's " +
                         std::to_string(CurrentSchemaVersion()));
  }
}

void SqliteStore::MigrateWhileOthersOpen(
    std::chrono::milliseconds busyTimeout) {
  // Switching the journal mode and the first schema read upgrade a shared
  // lock, which SQLite refuses at once, without its busy handler, when
  // another program opens the same new file at that moment: try again
  // until the busy time-out.
  const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
  for (auto pause = std::chrono::milliseconds(1);;
       pause = std::min(pause * 2, std::chrono::milliseconds(100))) {
    try {
      Migrate();
      return;
    } catch (const StoreError& error) {
      if (error.kind() != StoreErrorKind::kBusy ||
          std::chrono::steady_clock::now() + pause > deadline) {
        throw;
      }
    }
    cache_.clear();
    std::this_thread::sleep_for(pause);
  }
}

void SqliteStore::Migrate() {
  // WAL lets readers go on while a monitor writes; it is a property of the
  // file, so switching needs no transaction.
  {
    Statement wal(db_, "PRAGMA journal_mode=WAL", path_);
    wal.Step();
  }
  Execute("PRAGMA synchronous=NORMAL");
  Execute("PRAGMA foreign_keys=ON");
  Transaction([&] {
    const int application = PragmaInteger("application_id");
    const int tables = [&] {
      Statement count(db_, "SELECT count(*) FROM sqlite_schema", path_);
      return count.Step() ? static_cast<int>(count.Integer(0)) : 0;
    }();
    if (application != kStoreApplicationId &&
        (application != 0 || tables != 0)) {
      throw StoreError(StoreErrorKind::kNotAStore,
                       path_ + ": not a results store");
    }
    const int version = PragmaInteger("user_version");
    const auto& migrations = Migrations();
    if (version > static_cast<int>(migrations.size())) {
      throw StoreError(StoreErrorKind::kNewer,
                       path_ + ": a store of schema version " +
                           std::to_string(version) +
                           ", newer than this program's " +
                           std::to_string(migrations.size()));
    }
    for (std::size_t step = static_cast<std::size_t>(version);
         step < migrations.size(); ++step) {
      Execute(migrations[step].sqlite);
    }
    if (version != static_cast<int>(migrations.size())) {
      Execute("PRAGMA user_version=" + std::to_string(migrations.size()));
      Execute("PRAGMA application_id=" + std::to_string(kStoreApplicationId));
    }
  });
}

int SqliteStore::SchemaVersion() {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  return PragmaInteger("user_version");
}

void SqliteStore::RegisterTargets(const std::vector<Target>& targets) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Transaction([&] {
    Statement insert(db_,
                     "INSERT INTO targets (id, hz, v, easting, northing, "
                     "height, prism_constant, faces, face_tolerance, "
                     "set_angle_tolerance, set_distance_tolerance) VALUES "
                     "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11) "
                     "ON CONFLICT (id) DO UPDATE SET hz = ?2, v = ?3, "
                     "easting = ?4, northing = ?5, height = ?6, "
                     "prism_constant = ?7, faces = ?8, face_tolerance = ?9, "
                     "set_angle_tolerance = ?10, set_distance_tolerance = ?11",
                     path_);
    for (const Target& target : targets) {
      insert.Bind(1, target.id)
          .Bind(2, target.direction ? target.direction->hz : kNaN)
          .Bind(3, target.direction ? target.direction->v : kNaN)
          .Bind(4, target.coordinates ? target.coordinates->easting : kNaN)
          .Bind(5, target.coordinates ? target.coordinates->northing : kNaN)
          .Bind(6, target.coordinates ? target.coordinates->height : kNaN)
          .Bind(7, target.prismConstant)
          .Bind(8, target.faces)
          .Bind(9, target.tolerances.faceDifference)
          .Bind(10, target.tolerances.setAngle)
          .Bind(11, target.tolerances.setDistance);
      insert.Step();
      insert.Reset();
    }
  });
}

std::int64_t SqliteStore::BeginRound(const RoundStart& start) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::int64_t id = 0;
  const std::string key = start.key.empty() ? NewRoundKey() : start.key;
  Transaction([&] {
    Statement insert(db_,
                     "INSERT INTO rounds (job, instrument, started, status, "
                     "key) VALUES (?1, ?2, ?3, 'incomplete', ?4) "
                     "ON CONFLICT (key) DO NOTHING",
                     path_);
    insert.Bind(1, start.job)
        .Bind(2, start.instrument)
        .Bind(3, Microseconds(start.started))
        .Bind(4, key);
    insert.Step();
    Statement find(db_, "SELECT id FROM rounds WHERE key = ?1", path_);
    find.Bind(1, key);
    if (find.Step()) id = find.Integer(0);
  });
  return id;
}

void SqliteStore::RecordTarget(const TargetResult& result) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Transaction([&] {
    Statement& insert = Cached(
        "INSERT INTO results (round, target, started, time, outcome, "
        "return_code, message, faces, sets, hz, v, distance, collimation, "
        "vertical_index, hz_spread, v_spread, distance_spread, flagged_sets, "
        "easting, northing, height) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, "
        "?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21) "
        "ON CONFLICT (round, target) DO NOTHING");
    const auto& at = result.coordinates;
    insert.Bind(1, result.round)
        .Bind(2, result.target)
        .Bind(3, Microseconds(result.started))
        .Bind(4, Microseconds(result.time))
        .Bind(5, OutcomeName(result.outcome))
        .Bind(6, static_cast<int>(result.returnCode))
        .Bind(7, result.message)
        .Bind(8, result.faces)
        .Bind(9, result.sets)
        .Bind(10, result.hz)
        .Bind(11, result.v)
        .Bind(12, result.distance)
        .Bind(13, result.collimation)
        .Bind(14, result.verticalIndex)
        .Bind(15, result.hzSpread)
        .Bind(16, result.vSpread)
        .Bind(17, result.distanceSpread)
        .Bind(18, JoinSets(result.flaggedSets))
        .Bind(19, at ? at->easting : kNaN)
        .Bind(20, at ? at->northing : kNaN)
        .Bind(21, at ? at->height : kNaN);
    insert.Step();
    insert.Reset();
    // A result already kept keeps its observations.
    if (sqlite3_changes(db_) == 0) return;
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    Statement& observe = Cached(
        "INSERT INTO observations (result, seq, set_number, face, "
        "time, hz, v, distance, return_code) VALUES "
        "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    int sequence = 0;
    for (const Observation& observation : result.observations) {
      observe.Bind(1, id)
          .Bind(2, ++sequence)
          .Bind(3, observation.set)
          .Bind(4, observation.face)
          .Bind(5, Microseconds(observation.time))
          .Bind(6, observation.hz)
          .Bind(7, observation.v)
          .Bind(8, observation.distance)
          .Bind(9, static_cast<int>(observation.returnCode));
      observe.Step();
      observe.Reset();
    }
  });
}

void SqliteStore::FinishRound(std::int64_t round, RoundStatus status,
                              TimePoint finished) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Transaction([&] {
    Statement update(db_,
                     "UPDATE rounds SET status = ?2, finished = ?3 "
                     "WHERE id = ?1",
                     path_);
    update.Bind(1, round)
        .Bind(2, StatusName(status))
        .Bind(3, Microseconds(finished));
    update.Step();
  });
}

void SqliteStore::ReadResults(
    const ResultQuery& query,
    const std::function<bool(const TargetResult&)>& each) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::string sql =
      "SELECT id, round, target, started, time, outcome, return_code, "
      "message, faces, sets, hz, v, distance, collimation, vertical_index, "
      "hz_spread, v_spread, distance_spread, flagged_sets, easting, "
      "northing, height FROM results WHERE 1";
  if (query.target) sql += " AND target = ?1";
  if (query.since) sql += " AND time >= ?2";
  if (query.until) sql += " AND time < ?3";
  sql += " ORDER BY time, round, id";
  Statement select(db_, sql, path_);
  if (query.target) select.Bind(1, *query.target);
  if (query.since) select.Bind(2, Microseconds(*query.since));
  if (query.until) select.Bind(3, Microseconds(*query.until));
  Statement observations(db_,
                         "SELECT set_number, face, time, hz, v, distance, "
                         "return_code FROM observations WHERE result = ?1 "
                         "ORDER BY seq",
                         path_);
  while (select.Step()) {
    TargetResult result = ResultOfRow(select, 1);
    if (query.observations) {
      observations.Bind(1, select.Integer(0));
      while (observations.Step()) {
        Observation observation;
        observation.set = static_cast<int>(observations.Integer(0));
        observation.face = static_cast<int>(observations.Integer(1));
        observation.time = FromMicroseconds(observations.Integer(2));
        observation.hz = observations.Real(3);
        observation.v = observations.Real(4);
        observation.distance = observations.Real(5);
        observation.returnCode =
            static_cast<unsigned short>(observations.Integer(6));
        result.observations.push_back(observation);
      }
      observations.Reset();
    }
    if (!each(result)) return;
  }
}

void SqliteStore::ReadRounds(
    const std::function<bool(const RoundRecord&)>& each) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement select(db_,
                   "SELECT id, job, instrument, started, finished, status, "
                   "key FROM rounds ORDER BY id",
                   path_);
  while (select.Step()) {
    RoundRecord round;
    round.id = select.Integer(0);
    round.start.job = select.Text(1);
    round.start.instrument = select.Text(2);
    round.start.started = FromMicroseconds(select.Integer(3));
    if (!select.IsNull(4)) round.finished = FromMicroseconds(select.Integer(4));
    round.status = ParseStatus(select.Text(5));
    round.start.key = select.Text(6);
    if (!each(round)) return;
  }
}

std::vector<Target> SqliteStore::Targets() {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Statement select(db_,
                   "SELECT id, hz, v, easting, northing, height, "
                   "prism_constant, faces, face_tolerance, "
                   "set_angle_tolerance, set_distance_tolerance FROM targets "
                   "ORDER BY id",
                   path_);
  std::vector<Target> targets;
  while (select.Step()) {
    Target target;
    target.id = select.Text(0);
    if (!select.IsNull(1))
      target.direction = Direction{select.Real(1), select.Real(2)};
    if (!select.IsNull(3)) {
      target.coordinates =
          Coordinates{select.Real(3), select.Real(4), select.Real(5)};
    }
    target.prismConstant = select.Real(6);
    target.faces = static_cast<int>(select.Integer(7));
    target.tolerances = {select.Real(8), select.Real(9), select.Real(10)};
    targets.push_back(std::move(target));
  }
  return targets;
}

void SqliteStore::RecordEvent(const Event& event) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Transaction([&] {
    Statement insert(db_,
                     "INSERT INTO events (round, target, time, level, "
                     "component, value, limit_value) "
                     "SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7 WHERE NOT EXISTS "
                     "(SELECT 1 FROM events WHERE round = ?1 AND target = ?2 "
                     "AND time = ?3 AND level = ?4 AND component = ?5)",
                     path_);
    insert.Bind(1, event.round)
        .Bind(2, event.target)
        .Bind(3, static_cast<std::int64_t>(std::llround(event.time * 1e6)))
        .Bind(4, std::string_view(NameOf(event.level)))
        .Bind(5, std::string_view(NameOf(event.component)))
        .Bind(6, event.value)
        .Bind(7, event.limit);
    insert.Step();
  });
}

void SqliteStore::ReadEvents(const EventQuery& query,
                             const std::function<bool(const Event&)>& each) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::string sql =
      "SELECT round, target, time, level, component, value, limit_value "
      "FROM events WHERE 1";
  if (query.target) sql += " AND target = ?1";
  if (query.since) sql += " AND time >= ?2";
  sql += " ORDER BY time, id";
  Statement select(db_, sql, path_);
  if (query.target) select.Bind(1, *query.target);
  if (query.since) select.Bind(2, Microseconds(*query.since));
  while (select.Step()) {
    const Event event = EventOfRow(select, 0);
    if (!each(event)) return;
  }
}

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, StoreMode mode,
                                       std::chrono::milliseconds busyTimeout) {
  return std::make_unique<SqliteStore>(path, mode, busyTimeout);
}

int CurrentSchemaVersion() { return static_cast<int>(Migrations().size()); }

}  // namespace Core::GEOCOM::survey
