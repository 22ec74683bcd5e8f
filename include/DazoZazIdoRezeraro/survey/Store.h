#ifndef DAZOZAZIDOREZERARO_SURVEY_STORE_H
#define DAZOZAZIDOREZERARO_SURVEY_STORE_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"
#include "Limits.h"
#include "Target.h"

/// @file
/// Where monitoring results are kept: the records a round produces and the
/// interface every backend (the embedded SQLite file, a shared server)
/// implements. A target's result is written in one transaction as soon as
/// it is measured, so that nothing measured is lost when the program dies.

namespace Core::GEOCOM::survey {

/// Wall-clock time, kept to the microsecond.
using TimePoint = std::chrono::system_clock::time_point;

/// How one target of a round ended.
enum class Outcome {
  kMeasured,         ///< Measured, every face and set within tolerance.
  kNotFound,         ///< Target recognition found no prism.
  kOutOfTolerance,   ///< Measured, but faces or sets disagree too much.
  kInstrumentError,  ///< The instrument answered an error, or none.
  kCancelled,        ///< The round was cancelled before the target ended.
};

/// The text form of the outcome: measured, not-found, out-of-tolerance,
/// instrument-error, cancelled.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::string_view OutcomeName(Outcome outcome);
/// The outcome with the text form; nullopt for any other text.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::optional<Outcome> ParseOutcome(
    std::string_view text);

/// One reading of angles and distance to a target in one face of one set.
struct Observation {
  int set = 1;          ///< The set, from 1.
  int face = 1;         ///< 1 or 2.
  TimePoint time;       ///< When the reading was taken.
  double hz = 0;        ///< Horizontal angle as read, radians.
  double v = 0;         ///< Zenith angle as read, radians.
  double distance = 0;  ///< Slope distance as read, metres; NaN when none.
  /// The instrument's return code of the measurement (0 when it succeeded).
  unsigned short returnCode = 0;
};

/// A target's result in one round: its raw observations and what they
/// reduce to.
struct TargetResult {
  std::int64_t round = 0;  ///< The round it belongs to.
  std::string target;      ///< The target's id.
  TimePoint started;       ///< When the round turned to the target.
  TimePoint time;          ///< When the target ended.
  Outcome outcome = Outcome::kMeasured;  ///< How it ended.
  unsigned short returnCode = 0;         ///< The instrument's code, for errors.
  std::string message;  ///< Why it failed; empty when measured.
  int faces = 0;        ///< Faces measured in every set (0 when none).
  int sets = 0;         ///< Sets measured.
  /// The mean of the sets, reduced to face I: hz, v (radians) and the
  /// slope distance with prism constant and atmospheric correction
  /// (metres); NaN when not measured.
  double hz = 0;
  double v = 0;         ///< See hz.
  double distance = 0;  ///< See hz.
  /// The instrument errors as the two faces measured them, radians, mean
  /// of the sets: collimation (hz1 − hz2 ± π) / 2 · sin v and vertical
  /// index (v1 + v2 − 2π) / 2; NaN with one face.
  double collimation = 0;
  double verticalIndex = 0;  ///< See collimation.
  /// The largest departure of a set from the mean, per quantity; 0 with
  /// one set.
  double hzSpread = 0;
  double vSpread = 0;         ///< See hzSpread.
  double distanceSpread = 0;  ///< See hzSpread.
  /// The sets that departed from the mean by more than the tolerance.
  std::vector<int> flaggedSets;
  /// The target's grid coordinates; nullopt when not measured.
  std::optional<Coordinates> coordinates;
  /// Every reading taken, in order.
  std::vector<Observation> observations;
};

/// The start of a round.
struct RoundStart {
  std::string job;         ///< The job's name.
  std::string instrument;  ///< Which instrument measures it.
  TimePoint started;       ///< When it started.
  /// A name unique to the round in every store, chosen when empty: a
  /// second BeginRound with it returns the round already kept.
  std::string key{};
};

/// How far a round got. A round is kept as incomplete from its start, so
/// that one whose program died (kill -9, power cut) reads as incomplete.
enum class RoundStatus {
  kIncomplete,  ///< Under way, stopped, or its program died.
  kComplete,    ///< Every target ended.
};

/// A round as kept.
struct RoundRecord {
  std::int64_t id = 0;  ///< Its number, from 1.
  RoundStart start;     ///< Job, instrument, start.
  /// When it was finished; none while under way or when its program died.
  std::optional<TimePoint> finished;
  RoundStatus status = RoundStatus::kIncomplete;  ///< How far it got.
};

/// Which results to read.
struct ResultQuery {
  std::optional<std::string> target;  ///< One target; every one when empty.
  std::optional<TimePoint> since;     ///< Ended at or after.
  std::optional<TimePoint> until;     ///< Ended before.
  bool observations = false;          ///< Read the raw observations too.
};

/// Which events to read.
struct EventQuery {
  std::optional<std::string> target;  ///< One target's; every one when empty.
  std::optional<TimePoint> since;     ///< Raised at or after.
};

/// Why a store could not be opened or written.
enum class StoreErrorKind {
  kNotAStore,  ///< The file exists but is no results store.
  kNewer,      ///< A store of a newer schema than this program knows.
  kReadOnly,   ///< The file or its folder may not be written.
  kBusy,       ///< Another program held the store past the busy time-out.
  kIo,         ///< Any other failure, with the database's message.
};

/// A store failure; what() names the store and what went wrong.
class DAZOZAZIDOREZERARO_SURVEY_EXPORT StoreError : public std::runtime_error {
 public:
  /// A failure of the kind, with the message.
  StoreError(StoreErrorKind kind, const std::string& message);
  /// What went wrong.
  StoreErrorKind kind() const noexcept { return kind_; }

 private:
  StoreErrorKind kind_;
};

/// Where results are kept. Every write is its own transaction; reads go in
/// time order through a callback, so that a reader of years of results
/// holds one at a time. Methods throw StoreError.
class DAZOZAZIDOREZERARO_SURVEY_EXPORT Store {
 public:
  virtual ~Store();

  /// The schema version the store is at.
  virtual int SchemaVersion() = 0;
  /// Adds the targets, or updates those already kept under their ids.
  virtual void RegisterTargets(const std::vector<Target>& targets) = 0;
  /// Records the start of a round, incomplete; returns its id.
  virtual std::int64_t BeginRound(const RoundStart& start) = 0;
  /// Records one target's result (its round set in result.round) with its
  /// observations, committed before it returns; a second result of the
  /// target in the round is a no-op.
  virtual void RecordTarget(const TargetResult& result) = 0;
  /// Marks the round complete or incomplete.
  virtual void FinishRound(std::int64_t round, RoundStatus status,
                           TimePoint finished) = 0;
  /// Calls each with the results that match, ordered by time, then round;
  /// stops early when each returns false.
  virtual void ReadResults(
      const ResultQuery& query,
      const std::function<bool(const TargetResult&)>& each) = 0;
  /// Calls each with every round, in order.
  virtual void ReadRounds(
      const std::function<bool(const RoundRecord&)>& each) = 0;
  /// The targets kept, in id order.
  virtual std::vector<Target> Targets() = 0;
  /// Records an event a limit raised, committed before it returns; the
  /// same event again (round, target, time, level, component) is a no-op.
  virtual void RecordEvent(const Event& event) = 0;
  /// Calls each with the events that match, in time order; stops early
  /// when each returns false.
  virtual void ReadEvents(const EventQuery& query,
                          const std::function<bool(const Event&)>& each) = 0;
};

/// How a store is opened.
enum class StoreMode {
  kReadWrite,  ///< Created when missing, migrated to this schema.
  kReadOnly,   ///< Must exist; never written or migrated.
};

/// The schema version this program writes.
DAZOZAZIDOREZERARO_SURVEY_EXPORT int CurrentSchemaVersion();

/// Opens the SQLite store in the file: WAL journal, a busy time-out of
/// busyTimeout for a store another program writes, migrations to the
/// current schema (in kReadWrite). Throws StoreError.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::unique_ptr<Store> OpenSqliteStore(
    const std::string& path, StoreMode mode = StoreMode::kReadWrite,
    std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));

/// Whether the location names a PostgreSQL database: a libpq URI,
/// postgresql://... or postgres://...
DAZOZAZIDOREZERARO_SURVEY_EXPORT bool IsPostgresLocation(
    std::string_view location);

/// Opens the store in the PostgreSQL database of the libpq URI (a Unix
/// socket directory goes in host=): migrations to the current schema under
/// an advisory lock (in kReadWrite), the schema version in the table
/// schema_version. Throws StoreError naming the store key and the server.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::unique_ptr<Store> OpenPostgresStore(
    const std::string& uri, StoreMode mode = StoreMode::kReadWrite);

/// Opens the store at the location: a PostgreSQL URI or a SQLite file path;
/// throws StoreError.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::unique_ptr<Store> OpenStore(
    const std::string& location, StoreMode mode = StoreMode::kReadWrite);

/// Opens the store at the location for a program that measures. A
/// PostgreSQL store is wrapped so that nothing measured is lost while its
/// server is away: what cannot be written goes to the SQLite file at
/// bufferPath, and is written through, without duplicates, once the server
/// is back (at the latest when the store is opened again); notice is told
/// when buffering starts and ends. A SQLite location opens as OpenStore.
DAZOZAZIDOREZERARO_SURVEY_EXPORT std::unique_ptr<Store> OpenBufferedStore(
    const std::string& location, const std::string& bufferPath,
    std::function<void(const std::string&)> notice);

}  // namespace Core::GEOCOM::survey

#endif
