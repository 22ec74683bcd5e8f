#include "PostgresStore.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "PostgresClient.h"
#include "StoreSchema.h"

namespace Core::GEOCOM::survey {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Rows read per query: readers of years of results hold one page at a time.
constexpr int kPage = 500;
// Held while migrating, so that programs starting together migrate once.
constexpr long long kMigrationLock = kStoreApplicationId;
// Pipelined targets whose answers have not been read, at most: past it a
// write waits for the oldest. A monitor has one or two; a burst (a buffer
// written through) goes at the server's pace without a round trip each.
constexpr std::size_t kMaxInFlight = 32;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

/// The parameters of a statement, as text; NaN and absent values are NULL.
class Parameters {
 public:
  Parameters& Add(std::string_view text) {
    values_.emplace_back(std::string(text));
    return *this;
  }
  Parameters& Add(std::int64_t value) { return Add(std::to_string(value)); }
  Parameters& Add(int value) { return Add(std::to_string(value)); }
  Parameters& Add(double value) {
    if (std::isnan(value)) return Null();
    return Add(std::string_view(Number(value)));
  }
  Parameters& Null() {
    values_.emplace_back(std::nullopt);
    return *this;
  }
  template <typename T>
  Parameters& AddOptional(const std::optional<T>& value) {
    return value ? Add(*value) : Null();
  }
  /// An array literal of the values, NaN as NULL.
  template <typename T, typename Value>
  Parameters& AddArray(const std::vector<T>& items, Value value) {
    std::string text = "{";
    for (const T& item : items) {
      if (text.size() > 1) text += ',';
      const auto field = value(item);
      if constexpr (std::is_floating_point_v<decltype(field)>) {
        text += std::isnan(field) ? std::string("NULL") : Number(field);
      } else {
        text += std::to_string(field);
      }
    }
    return Add(std::string_view(text + "}"));
  }

  int Count() const { return static_cast<int>(values_.size()); }
  std::vector<const char*> Pointers() const {
    std::vector<const char*> pointers;
    for (const auto& value : values_) {
      pointers.push_back(value ? value->c_str() : nullptr);
    }
    return pointers;
  }

 private:
  std::vector<std::optional<std::string>> values_;
};

struct ResultDeleter {
  void operator()(PGresult* result) const { Pq().PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

/// A row of a result, its fields parsed from text.
class Row {
 public:
  Row(const PGresult* result, int row) : result_(result), row_(row) {}
  bool IsNull(int column) const {
    return Pq().PQgetisnull(result_, row_, column) == 1;
  }
  std::string Text(int column) const {
    return Pq().PQgetvalue(result_, row_, column);
  }
  std::int64_t Integer(int column) const {
    return std::strtoll(Pq().PQgetvalue(result_, row_, column), nullptr, 10);
  }
  double Real(int column) const {
    return IsNull(column)
               ? kNaN
               : std::strtod(Pq().PQgetvalue(result_, row_, column), nullptr);
  }

 private:
  const PGresult* result_;
  int row_;
};

/// A statement prepared once per connection under its name.
struct Query {
  const char* name;
  const char* sql;
};

const Query kBeginRound{
    "begin_round",
    "WITH added AS (INSERT INTO rounds (job, instrument, started, status, "
    "key) VALUES ($1, $2, $3, 'incomplete', $4) ON CONFLICT (key) DO NOTHING "
    "RETURNING id) SELECT id FROM added UNION ALL "
    "SELECT id FROM rounds WHERE key = $4"};
// The result and its observations in one statement, so one transaction and
// one round trip; a result already kept adds nothing.
const Query kRecordTarget{
    "record_target",
    "WITH added AS (INSERT INTO results (round, target, started, time, "
    "outcome, return_code, message, faces, sets, hz, v, distance, "
    "collimation, vertical_index, hz_spread, v_spread, distance_spread, "
    "flagged_sets, easting, northing, height) VALUES ($1, $2, $3, $4, $5, "
    "$6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, "
    "$21) ON CONFLICT (round, target) DO NOTHING RETURNING id) "
    "INSERT INTO observations (result, seq, set_number, face, time, hz, v, "
    "distance, return_code) SELECT added.id, o.seq, o.set_number, o.face, "
    "o.time, o.hz, o.v, o.distance, o.return_code FROM added, "
    "unnest($22::integer[], $23::integer[], $24::bigint[], "
    "$25::double precision[], $26::double precision[], "
    "$27::double precision[], $28::integer[]) WITH ORDINALITY "
    "AS o (set_number, face, time, hz, v, distance, return_code, seq)"};
const Query kFinishRound{
    "finish_round",
    "UPDATE rounds SET status = $2, finished = $3 WHERE id = $1"};
const Query kRegisterTarget{
    "register_target",
    "INSERT INTO targets (id, hz, v, easting, northing, height, "
    "prism_constant, faces, face_tolerance, set_angle_tolerance, "
    "set_distance_tolerance) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, "
    "$10, $11) ON CONFLICT (id) DO UPDATE SET hz = $2, v = $3, "
    "easting = $4, northing = $5, height = $6, prism_constant = $7, "
    "faces = $8, face_tolerance = $9, set_angle_tolerance = $10, "
    "set_distance_tolerance = $11"};
const Query kRecordEvent{
    "record_event",
    "INSERT INTO events (round, target, time, level, component, value, "
    "limit_value) SELECT $1::bigint, $2::text, $3::bigint, $4::text, "
    "$5::text, $6::double precision, $7::double precision WHERE NOT EXISTS "
    "(SELECT 1 FROM events WHERE round = $1 AND target = $2 AND time = $3 "
    "AND level = $4 AND component = $5)"};
// Reads go page by page, each after the last row of the one before.
const Query kReadResults{
    "read_results",
    "SELECT id, round, target, started, time, outcome, return_code, "
    "message, faces, sets, hz, v, distance, collimation, vertical_index, "
    "hz_spread, v_spread, distance_spread, flagged_sets, easting, northing, "
    "height FROM results WHERE ($1::text IS NULL OR target = $1) "
    "AND ($2::bigint IS NULL OR time >= $2) "
    "AND ($3::bigint IS NULL OR time < $3) "
    "AND ($4::bigint IS NULL OR (time, round, id) > ($4, $5, $6)) "
    "ORDER BY time, round, id LIMIT 500"};
const Query kReadObservations{
    "read_observations",
    "SELECT result, set_number, face, time, hz, v, distance, return_code "
    "FROM observations WHERE result = ANY ($1::bigint[]) ORDER BY result, "
    "seq"};
const Query kReadRounds{
    "read_rounds",
    "SELECT id, job, instrument, started, finished, status, key FROM rounds "
    "WHERE id > $1 ORDER BY id LIMIT 500"};
const Query kReadEvents{
    "read_events",
    "SELECT id, round, target, time, level, component, value, limit_value "
    "FROM events WHERE ($1::text IS NULL OR target = $1) "
    "AND ($2::bigint IS NULL OR time >= $2) "
    "AND ($3::bigint IS NULL OR (time, id) > ($3, $4)) "
    "ORDER BY time, id LIMIT 500"};
const Query kTargets{
    "targets",
    "SELECT id, hz, v, easting, northing, height, prism_constant, faces, "
    "face_tolerance, set_angle_tolerance, set_distance_tolerance "
    "FROM targets ORDER BY id"};
const Query kSchemaVersion{"schema_version",
                           "SELECT version FROM schema_version"};

/// libpq's message on one line.
std::string OneLine(const char* message) {
  std::string text;
  for (const char* c = message; c != nullptr && *c != '\0'; ++c) {
    const bool space = *c == '\n' || *c == '\t' || *c == '\r';
    if (space) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else {
      text += *c;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

/// The URI with the password, in the user part or a parameter, hidden.
std::string HidePassword(const std::string& uri) {
  std::string text = uri;
  const std::size_t scheme = text.find("://");
  if (scheme != std::string::npos) {
    const std::size_t authority = scheme + 3;
    const std::size_t end = text.find_first_of("/?", authority);
    const std::size_t at = text.rfind('@', end);
    if (at != std::string::npos && at >= authority) {
      const std::size_t colon = text.find(':', authority);
      if (colon != std::string::npos && colon < at) {
        text.replace(colon + 1, at - colon - 1, "***");
      }
    }
  }
  const std::size_t password = text.find("password=");
  if (password != std::string::npos) {
    const std::size_t start = password + 9;
    const std::size_t end = text.find('&', start);
    text.replace(start, (end == std::string::npos ? text.size() : end) - start,
                 "***");
  }
  return text;
}

class Postgres final : public PostgresStore {
 public:
  Postgres(const std::string& uri, StoreMode mode, TargetWrites writes);
  Postgres(const Postgres&) = delete;
  Postgres& operator=(const Postgres&) = delete;
  ~Postgres() override;

  bool Lost() const override { return lost_; }
  const std::string& Name() const override { return name_; }
  void Settle() override;
  std::vector<TargetResult> TakeFailed() override;

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
  /// The error of the result (or of the connection when null), about
  /// what failed; notes whether the server went away.
  StoreError ErrorOf(const PGresult* result, const std::string& about = "",
                     bool gone = false);
  [[noreturn]] void Fail(const PGresult* result);
  /// Connects again after the server went away; throws when it is still
  /// away.
  void EnsureConnected();
  void Setup();
  Result Execute(const char* sql);
  Result Execute(const Query& query, const Parameters& parameters);
  void Prepare(const Query& query);
  void Migrate();
  void CheckReadable();
  /// Sends the target without waiting for its answer. Reads what has come
  /// back and throws a failure found so far before sending; one found after
  /// sending only when the connection was lost with this target in flight.
  void SendTarget(const Parameters& parameters, const TargetResult& result);
  /// Reads the answers that have come for the targets in flight, and
  /// waits for more while over waitAbove are in flight. A target refused, or in
  /// flight when the server went away, moves to failed_ and its error to
  /// pending_.
  void Collect(std::size_t waitAbove);
  void LoseInFlight(const PGresult* result);
  /// Throws the first failure Collect found, once.
  void ThrowPending();
  /// Settles the targets in flight and leaves pipeline mode, for a
  /// statement that waits for its answer.
  void LeavePipeline();

  /// A target sent, and the error the server answered for it so far.
  struct InFlight {
    TargetResult result;
    std::optional<StoreError> error;
  };

  std::string name_;
  StoreMode mode_;
  TargetWrites writes_;
  PGconn* connection_ = nullptr;
  bool lost_ = false;
  std::deque<InFlight> inFlight_;
  std::vector<TargetResult> failed_;
  std::optional<StoreError> pending_;
  std::set<std::string> prepared_;
  // One connection, used by the rounds of several instruments at once.
  std::recursive_mutex mutex_;
};

Postgres::Postgres(const std::string& uri, StoreMode mode, TargetWrites writes)
    : name_(HidePassword(uri)), mode_(mode), writes_(writes) {
  try {
    Pq();
  } catch (const StoreError& error) {
    throw StoreError(error.kind(), "store " + name_ + ": " + error.what());
  }
  char* error = nullptr;
  PQconninfoOption* options = Pq().PQconninfoParse(uri.c_str(), &error);
  if (options == nullptr) {
    const std::string why =
        error != nullptr ? OneLine(error) : std::string("out of memory");
    Pq().PQfreemem(error);
    throw StoreError(StoreErrorKind::kNotAStore,
                     "store " + name_ + ": not a PostgreSQL URI (" + why + ")");
  }
  Pq().PQconninfoFree(options);
  // A server that stopped answering must not hold a round for minutes: a
  // connection attempt gives up after ten seconds. Commits are not flushed
  // one by one, as the SQLite store's are not: they survive the monitor and
  // the server stopping, not the server being killed or its machine
  // crashing; waiting for a flush at every target costs ten times the
  // rate. The URI's own parameters, expanded after these, win.
  const char* const keywords[] = {"connect_timeout", "options", "dbname",
                                  nullptr};
  const char* const values[] = {"10", "-c synchronous_commit=off", uri.c_str(),
                                nullptr};
  connection_ = Pq().PQconnectdbParams(keywords, values, 1);
  if (Pq().PQstatus(connection_) != CONNECTION_OK) {
    const char* host = Pq().PQhost(connection_);
    const char* port = Pq().PQport(connection_);
    const std::string message =
        "store " + name_ + ": cannot connect to the PostgreSQL server " +
        (host != nullptr && *host != '\0' ? std::string(host) : "(default)") +
        (port != nullptr && *port != '\0' ? " port " + std::string(port) : "") +
        ": " + OneLine(Pq().PQerrorMessage(connection_));
    Pq().PQfinish(connection_);
    connection_ = nullptr;
    throw StoreError(StoreErrorKind::kIo, message);
  }
  try {
    Setup();
    if (mode == StoreMode::kReadWrite) {
      Migrate();
    } else {
      CheckReadable();
    }
  } catch (...) {
    Pq().PQfinish(connection_);
    connection_ = nullptr;
    throw;
  }
}

void Postgres::Setup() {
  // Notices (a table that exists already) are no news to the user.
  Pq().PQsetNoticeProcessor(
      connection_, [](void*, const char*) {}, nullptr);
  prepared_.clear();
  if (mode_ == StoreMode::kReadOnly) {
    Execute("SET default_transaction_read_only = on");
  }
}

Postgres::~Postgres() {
  // What is in flight was sent whole: the server commits it whether or not
  // anyone reads the answer, but it may stop reading once the connection
  // closes, so the answers are waited for.
  Collect(0);
  Pq().PQfinish(connection_);
}

StoreError Postgres::ErrorOf(const PGresult* result, const std::string& about,
                             bool gone) {
  const char* state = result != nullptr
                          ? Pq().PQresultErrorField(result, PG_DIAG_SQLSTATE)
                          : nullptr;
  const std::string code = state != nullptr ? state : "";
  const std::string why =
      OneLine(result != nullptr ? Pq().PQresultErrorMessage(result)
                                : Pq().PQerrorMessage(connection_));
  lost_ = gone || Pq().PQstatus(connection_) != CONNECTION_OK ||
          code.compare(0, 2, "08") == 0 || code.compare(0, 3, "57P") == 0;
  const std::string store = "store " + name_ + ": " + about;
  const std::string message = store + why;
  if (lost_) {
    const char* host = Pq().PQhost(connection_);
    return StoreError(StoreErrorKind::kIo,
                      store + "lost the PostgreSQL server " +
                          (host != nullptr ? host : "") + " (" + why + ")");
  }
  if (code == "25006" || code == "42501") {
    return StoreError(StoreErrorKind::kReadOnly, message);
  }
  if (code == "40001" || code == "40P01" || code == "55P03") {
    return StoreError(StoreErrorKind::kBusy,
                      message + " (another program holds the store)");
  }
  return StoreError(StoreErrorKind::kIo, message);
}

void Postgres::Fail(const PGresult* result) { throw ErrorOf(result); }

void Postgres::EnsureConnected() {
  if (Pq().PQstatus(connection_) == CONNECTION_OK && !lost_) return;
  // A connection lost in pipeline mode comes back out of it.
  if (Pq().PQpipelineStatus(connection_) != PQ_PIPELINE_OFF) {
    Pq().PQexitPipelineMode(connection_);
  }
  Pq().PQreset(connection_);
  if (Pq().PQstatus(connection_) != CONNECTION_OK) Fail(nullptr);
  lost_ = false;
  Setup();
}

Result Postgres::Execute(const char* sql) {
  LeavePipeline();
  Result result(Pq().PQexec(connection_, sql));
  const ExecStatusType status = Pq().PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    Fail(result.get());
  }
  return result;
}

Result Postgres::Execute(const Query& query, const Parameters& parameters) {
  LeavePipeline();
  EnsureConnected();
  Prepare(query);
  const std::vector<const char*> values = parameters.Pointers();
  Result result(Pq().PQexecPrepared(connection_, query.name, parameters.Count(),
                                    values.data(), nullptr, nullptr, 0));
  const ExecStatusType status = Pq().PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    Fail(result.get());
  }
  return result;
}

void Postgres::Prepare(const Query& query) {
  if (prepared_.count(query.name) != 0) return;
  Result prepared(
      Pq().PQprepare(connection_, query.name, query.sql, 0, nullptr));
  if (Pq().PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
    Fail(prepared.get());
  prepared_.insert(query.name);
}

void Postgres::SendTarget(const Parameters& parameters,
                          const TargetResult& result) {
  // A failure that has come back is thrown before this target goes out: a
  // call that throws has sent nothing, so its caller may make it again
  // without sending a target twice.
  Collect(inFlight_.size());
  ThrowPending();
  if (lost_ || Pq().PQpipelineStatus(connection_) == PQ_PIPELINE_OFF) {
    EnsureConnected();
    Prepare(kRecordTarget);
    if (Pq().PQenterPipelineMode(connection_) == 0) Fail(nullptr);
  }
  inFlight_.push_back({result, std::nullopt});
  const std::vector<const char*> values = parameters.Pointers();
  const bool sent = Pq().PQsendQueryPrepared(connection_, kRecordTarget.name,
                                             parameters.Count(), values.data(),
                                             nullptr, nullptr, 0) == 1 &&
                    Pq().PQpipelineSync(connection_) == 1;
  if (sent) {
    Collect(kMaxInFlight);
    // A refusal found now is thrown by the next call, which may then be
    // made again; a lost connection took this target too, and says so now.
    if (lost_) ThrowPending();
    return;
  }
  // The targets before it may have been answered already; the rest are
  // lost with the connection.
  Collect(inFlight_.size());
  if (!inFlight_.empty()) LoseInFlight(nullptr);
  ThrowPending();
}

void Postgres::Collect(std::size_t waitAbove) {
  // Each target answers with its statement's result, the end of those
  // results (null), then its sync; only the sync says it is committed.
  // Answers that came before the connection broke are read all the same.
  bool endOfResults = false;
  while (!inFlight_.empty()) {
    if (inFlight_.size() <= waitAbove &&
        Pq().PQconsumeInput(connection_) == 1 &&
        Pq().PQisBusy(connection_) == 1) {
      return;
    }
    Result result(Pq().PQgetResult(connection_));
    if (!result) {
      // Two in a row: the answers are out of step with what was sent.
      if (endOfResults) return LoseInFlight(nullptr);
      endOfResults = true;
      continue;
    }
    endOfResults = false;
    InFlight& target = inFlight_.front();
    switch (Pq().PQresultStatus(result.get())) {
      case PGRES_COMMAND_OK:
        break;
      case PGRES_PIPELINE_SYNC:
        if (target.error) {
          if (!pending_) pending_ = std::move(target.error);
          failed_.push_back(std::move(target.result));
        }
        inFlight_.pop_front();
        break;
      default: {
        StoreError error =
            ErrorOf(result.get(),
                    "target " + target.result.target + " of round " +
                        std::to_string(target.result.round) + " not written: ");
        if (lost_) return LoseInFlight(result.get());
        if (!target.error) target.error = std::move(error);
      }
    }
  }
}

void Postgres::LoseInFlight(const PGresult* result) {
  pending_ = ErrorOf(result, "", true);
  for (InFlight& target : inFlight_)
    failed_.push_back(std::move(target.result));
  inFlight_.clear();
}

void Postgres::ThrowPending() {
  if (!pending_) return;
  const StoreError error = std::move(*pending_);
  pending_.reset();
  throw error;
}

void Postgres::LeavePipeline() {
  Collect(0);
  // A connection the server ended (it may still look open) is reset by
  // EnsureConnected; one whose answers are out of step is treated alike.
  if (!lost_ && Pq().PQpipelineStatus(connection_) != PQ_PIPELINE_OFF &&
      Pq().PQstatus(connection_) == CONNECTION_OK &&
      Pq().PQexitPipelineMode(connection_) == 0 && !pending_) {
    pending_ = ErrorOf(nullptr, "", true);
  }
  ThrowPending();
}

void Postgres::Settle() {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  LeavePipeline();
}

std::vector<TargetResult> Postgres::TakeFailed() {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  return std::exchange(failed_, {});
}

void Postgres::CheckReadable() {
  Result tables = Execute(
      "SELECT to_regclass('schema_version') IS NOT NULL, "
      "to_regclass('rounds') IS NOT NULL");
  if (Row(tables.get(), 0).Text(0) != "t") {
    throw StoreError(StoreErrorKind::kNotAStore,
                     "store " + name_ + ": not a results store");
  }
  const int version = SchemaVersion();
  if (version > CurrentSchemaVersion()) {
    throw StoreError(StoreErrorKind::kNewer,
                     "store " + name_ + ": a store of schema version " +
                         std::to_string(version) +
                         ", newer than this program's " +
                         std::to_string(CurrentSchemaVersion()));
  }
}

void Postgres::Migrate() {
  // Several monitors may start at once on a new database: the advisory
  // lock lets one migrate while the others wait, then find it done.
  Execute("BEGIN");
  try {
    Execute(
        ("SELECT pg_advisory_xact_lock(" + std::to_string(kMigrationLock) + ")")
            .c_str());
    Result tables = Execute(
        "SELECT to_regclass('schema_version') IS NOT NULL, "
        "to_regclass('rounds') IS NOT NULL");
    const Row found(tables.get(), 0);
    if (found.Text(0) != "t") {
      if (found.Text(1) == "t") {
        throw StoreError(StoreErrorKind::kNotAStore,
                         "store " + name_ +
                             ": not a results store (a table rounds without "
                             "schema_version)");
      }
      Execute(
          "CREATE TABLE schema_version (version integer NOT NULL); "
          "INSERT INTO schema_version VALUES (0)");
    }
    const int version = static_cast<int>(
        Row(Execute("SELECT version FROM schema_version").get(), 0).Integer(0));
    const auto& migrations = Migrations();
    if (version > static_cast<int>(migrations.size())) {
      throw StoreError(StoreErrorKind::kNewer,
                       "store " + name_ + ": a store of schema version " +
                           std::to_string(version) +
                           ", newer than this program's " +
                           std::to_string(migrations.size()));
    }
    for (std::size_t step = static_cast<std::size_t>(version);
         step < migrations.size(); ++step) {
      Execute(std::string(migrations[step].postgres).c_str());
    }
    Execute(("UPDATE schema_version SET version = " +
             std::to_string(migrations.size()))
                .c_str());
    Execute("COMMIT");
  } catch (...) {
    Pq().PQclear(Pq().PQexec(connection_, "ROLLBACK"));
    throw;
  }
}

int Postgres::SchemaVersion() {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Result result = Execute(kSchemaVersion, {});
  return Pq().PQntuples(result.get()) > 0
             ? static_cast<int>(Row(result.get(), 0).Integer(0))
             : 0;
}

void Postgres::RegisterTargets(const std::vector<Target>& targets) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  LeavePipeline();
  EnsureConnected();
  Execute("BEGIN");
  try {
    for (const Target& target : targets) {
      Parameters parameters;
      parameters.Add(target.id)
          .Add(target.direction ? target.direction->hz : kNaN)
          .Add(target.direction ? target.direction->v : kNaN)
          .Add(target.coordinates ? target.coordinates->easting : kNaN)
          .Add(target.coordinates ? target.coordinates->northing : kNaN)
          .Add(target.coordinates ? target.coordinates->height : kNaN)
          .Add(target.prismConstant)
          .Add(target.faces)
          .Add(target.tolerances.faceDifference)
          .Add(target.tolerances.setAngle)
          .Add(target.tolerances.setDistance);
      Execute(kRegisterTarget, parameters);
    }
    Execute("COMMIT");
  } catch (...) {
    if (Pq().PQstatus(connection_) == CONNECTION_OK) {
      Pq().PQclear(Pq().PQexec(connection_, "ROLLBACK"));
    }
    throw;
  }
}

std::int64_t Postgres::BeginRound(const RoundStart& start) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Parameters parameters;
  parameters.Add(start.job)
      .Add(start.instrument)
      .Add(Microseconds(start.started))
      .Add(start.key.empty() ? NewRoundKey() : start.key);
  Result result = Execute(kBeginRound, parameters);
  return Row(result.get(), 0).Integer(0);
}

void Postgres::RecordTarget(const TargetResult& result) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto& at = result.coordinates;
  const auto& observations = result.observations;
  Parameters parameters;
  parameters.Add(result.round)
      .Add(result.target)
      .Add(Microseconds(result.started))
      .Add(Microseconds(result.time))
      .Add(OutcomeName(result.outcome))
      .Add(static_cast<int>(result.returnCode))
      .Add(result.message)
      .Add(result.faces)
      .Add(result.sets)
      .Add(result.hz)
      .Add(result.v)
      .Add(result.distance)
      .Add(result.collimation)
      .Add(result.verticalIndex)
      .Add(result.hzSpread)
      .Add(result.vSpread)
      .Add(result.distanceSpread)
      .Add(JoinSets(result.flaggedSets))
      .Add(at ? at->easting : kNaN)
      .Add(at ? at->northing : kNaN)
      .Add(at ? at->height : kNaN)
      .AddArray(observations, [](const Observation& o) { return o.set; })
      .AddArray(observations, [](const Observation& o) { return o.face; })
      .AddArray(observations,
                [](const Observation& o) { return Microseconds(o.time); })
      .AddArray(observations, [](const Observation& o) { return o.hz; })
      .AddArray(observations, [](const Observation& o) { return o.v; })
      .AddArray(observations, [](const Observation& o) { return o.distance; })
      .AddArray(observations, [](const Observation& o) {
        return static_cast<int>(o.returnCode);
      });
  if (writes_ == TargetWrites::kPipelined) {
    SendTarget(parameters, result);
  } else {
    Execute(kRecordTarget, parameters);
  }
}

void Postgres::FinishRound(std::int64_t round, RoundStatus status,
                           TimePoint finished) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Parameters parameters;
  parameters.Add(round).Add(StatusName(status)).Add(Microseconds(finished));
  Execute(kFinishRound, parameters);
}

void Postgres::ReadResults(
    const ResultQuery& query,
    const std::function<bool(const TargetResult&)>& each) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  // The time, round and id of the last row read.
  std::optional<std::array<std::int64_t, 3>> after;
  for (;;) {
    Parameters parameters;
    parameters.AddOptional(query.target);
    if (query.since) {
      parameters.Add(Microseconds(*query.since));
    } else {
      parameters.Null();
    }
    if (query.until) {
      parameters.Add(Microseconds(*query.until));
    } else {
      parameters.Null();
    }
    if (after) {
      parameters.Add((*after)[0]).Add((*after)[1]).Add((*after)[2]);
    } else {
      parameters.Null().Null().Null();
    }
    Result page = Execute(kReadResults, parameters);
    const int rows = Pq().PQntuples(page.get());
    if (rows == 0) return;
    std::vector<TargetResult> results(static_cast<std::size_t>(rows));
    std::vector<std::int64_t> ids;
    // A result's place in the page by its id: ids follow the order of
    // writing, the page that of time (a buffered result comes late).
    std::unordered_map<std::int64_t, std::size_t> places;
    for (int i = 0; i < rows; ++i) {
      const Row row(page.get(), i);
      TargetResult& result = results[static_cast<std::size_t>(i)];
      ids.push_back(row.Integer(0));
      places[ids.back()] = static_cast<std::size_t>(i);
      result = ResultOfRow(row, 1);
      after = {row.Integer(4), result.round, ids.back()};
    }
    if (query.observations) {
      Parameters which;
      which.AddArray(ids, [](std::int64_t id) { return id; });
      Result observations = Execute(kReadObservations, which);
      for (int i = 0; i < Pq().PQntuples(observations.get()); ++i) {
        const Row row(observations.get(), i);
        Observation observation;
        observation.set = static_cast<int>(row.Integer(1));
        observation.face = static_cast<int>(row.Integer(2));
        observation.time = FromMicroseconds(row.Integer(3));
        observation.hz = row.Real(4);
        observation.v = row.Real(5);
        observation.distance = row.Real(6);
        observation.returnCode = static_cast<unsigned short>(row.Integer(7));
        results[places.at(row.Integer(0))].observations.push_back(observation);
      }
    }
    for (const TargetResult& result : results) {
      if (!each(result)) return;
    }
    if (rows < kPage) return;
  }
}

void Postgres::ReadRounds(const std::function<bool(const RoundRecord&)>& each) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::int64_t after = 0;
  for (;;) {
    Parameters parameters;
    parameters.Add(after);
    Result page = Execute(kReadRounds, parameters);
    const int rows = Pq().PQntuples(page.get());
    for (int i = 0; i < rows; ++i) {
      const Row row(page.get(), i);
      RoundRecord round;
      round.id = after = row.Integer(0);
      round.start.job = row.Text(1);
      round.start.instrument = row.Text(2);
      round.start.started = FromMicroseconds(row.Integer(3));
      if (!row.IsNull(4)) round.finished = FromMicroseconds(row.Integer(4));
      round.status = ParseStatus(row.Text(5));
      round.start.key = row.Text(6);
      if (!each(round)) return;
    }
    if (rows < kPage) return;
  }
}

std::vector<Target> Postgres::Targets() {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Result result = Execute(kTargets, {});
  std::vector<Target> targets;
  for (int i = 0; i < Pq().PQntuples(result.get()); ++i) {
    const Row row(result.get(), i);
    Target target;
    target.id = row.Text(0);
    if (!row.IsNull(1)) target.direction = Direction{row.Real(1), row.Real(2)};
    if (!row.IsNull(3)) {
      target.coordinates = Coordinates{row.Real(3), row.Real(4), row.Real(5)};
    }
    target.prismConstant = row.Real(6);
    target.faces = static_cast<int>(row.Integer(7));
    target.tolerances = {row.Real(8), row.Real(9), row.Real(10)};
    targets.push_back(std::move(target));
  }
  return targets;
}

void Postgres::RecordEvent(const Event& event) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Parameters parameters;
  parameters.Add(event.round)
      .Add(event.target)
      .Add(static_cast<std::int64_t>(std::llround(event.time * 1e6)))
      .Add(std::string_view(NameOf(event.level)))
      .Add(std::string_view(NameOf(event.component)))
      .Add(event.value)
      .Add(event.limit);
  Execute(kRecordEvent, parameters);
}

void Postgres::ReadEvents(const EventQuery& query,
                          const std::function<bool(const Event&)>& each) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  // The time and id of the last row read.
  std::optional<std::array<std::int64_t, 2>> after;
  for (;;) {
    Parameters parameters;
    parameters.AddOptional(query.target);
    if (query.since) {
      parameters.Add(Microseconds(*query.since));
    } else {
      parameters.Null();
    }
    if (after) {
      parameters.Add((*after)[0]).Add((*after)[1]);
    } else {
      parameters.Null().Null();
    }
    Result page = Execute(kReadEvents, parameters);
    const int rows = Pq().PQntuples(page.get());
    for (int i = 0; i < rows; ++i) {
      const Row row(page.get(), i);
      after = {row.Integer(3), row.Integer(0)};
      const Event event = EventOfRow(row, 1);
      if (!each(event)) return;
    }
    if (rows < kPage) return;
  }
}

}  // namespace

std::unique_ptr<PostgresStore> ConnectPostgresStore(const std::string& uri,
                                                    StoreMode mode,
                                                    TargetWrites writes) {
  return std::make_unique<Postgres>(uri, mode, writes);
}

std::unique_ptr<Store> OpenPostgresStore(const std::string& uri,
                                         StoreMode mode) {
  return ConnectPostgresStore(uri, mode);
}

bool IsPostgresLocation(std::string_view location) {
  return location.rfind("postgresql://", 0) == 0 ||
         location.rfind("postgres://", 0) == 0;
}

}  // namespace Core::GEOCOM::survey
