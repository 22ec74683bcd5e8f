// The results store, on each backend (a SQLite file and a PostgreSQL
// database of the test program's throwaway cluster): what is written reads
// back, queries select and order, a second write is a no-op, stores that are
// no store or of a newer schema or read-only are refused by kind, and
// writers opening one new store at once lose nothing.
#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <DazoZazIdoRezeraro/survey/Store.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "PostgresCluster.h"

namespace {

using namespace Core::GEOCOM::survey;
using std::chrono::seconds;

// Sets or clears the file's immutable flag, which holds for root too (where
// the file system and the test's capabilities allow it).
bool SetImmutable(const std::string& path, bool immutable) {
  const int file = ::open(path.c_str(), O_RDONLY);
  if (file < 0) return false;
  int flags = 0;
  bool set = ::ioctl(file, FS_IOC_GETFLAGS, &flags) == 0;
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  set = set && ::ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(file);
  return set;
}

class TempStore : public testing::Test {
 protected:
  void SetUp() override {
    std::string name =
        testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    directory_ = std::filesystem::temp_directory_path() /
                 ("survey-store-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    path_ = (directory_ / "results.sqlite").string();
  }
  void TearDown() override {
    std::filesystem::permissions(directory_, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(directory_);
  }

  std::filesystem::path directory_;
  std::string path_;
};

enum class Backend { kSqlite, kPostgres };

/// A new store on the backend of the parameter.
class BackendStore : public TempStore,
                     public testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    TempStore::SetUp();
    if (GetParam() == Backend::kPostgres) {
      cluster_ = testing_postgres::Cluster::Get();
      if (cluster_ == nullptr) GTEST_SKIP() << testing_postgres::Cluster::Why();
    }
    location_ = NewLocation();
  }

  /// A location no store is at yet.
  std::string NewLocation() {
    if (cluster_ != nullptr) return cluster_->NewDatabase();
    return (directory_ / ("store-" + std::to_string(++locations_) + ".sqlite"))
        .string();
  }
  std::unique_ptr<Store> Open(StoreMode mode = StoreMode::kReadWrite) {
    return OpenStore(location_, mode);
  }

  testing_postgres::Cluster* cluster_ = nullptr;
  std::string location_;
  int locations_ = 0;
};

TimePoint At(int second) { return TimePoint(seconds(1'700'000'000 + second)); }

TargetResult Result(std::int64_t round, const std::string& target, int second,
                    Outcome outcome = Outcome::kMeasured) {
  TargetResult result;
  result.round = round;
  result.target = target;
  result.started = At(second - 1);
  result.time = At(second);
  result.outcome = outcome;
  result.faces = 2;
  result.sets = 2;
  result.hz = 1.25;
  result.v = 1.5;
  result.distance = 50.125;
  result.collimation = 1e-4;
  result.verticalIndex = -2e-4;
  result.hzSpread = 3e-6;
  result.vSpread = 4e-6;
  result.distanceSpread = 5e-4;
  result.flaggedSets = {2};
  result.coordinates = Coordinates{1000.5, 2000.25, 101.125};
  for (int set = 1; set <= 2; ++set) {
    for (int face = 1; face <= 2; ++face) {
      result.observations.push_back(
          {set, face, At(second), 1.0 + set, 1.5 + face, 50.0 + set, 0});
    }
  }
  return result;
}

Event AnEvent(const std::string& target, std::int64_t round, double time,
              Level level) {
  Event event;
  event.target = target;
  event.round = round;
  event.time = time;
  event.level = level;
  event.component = Component::Spatial;
  event.value = 0.02;
  event.limit = 0.01;
  return event;
}

std::vector<TargetResult> ReadAll(Store& store, const ResultQuery& query) {
  std::vector<TargetResult> results;
  store.ReadResults(query, [&](const TargetResult& result) {
    results.push_back(result);
    return true;
  });
  return results;
}

TEST_P(BackendStore, WhatIsWrittenReadsBackAfterReopening) {
  {
    auto store = Open();
    Target target;
    target.id = "P1";
    target.coordinates = Coordinates{1, 2, 3};
    target.prismConstant = -0.0344;
    target.faces = 1;
    store->RegisterTargets({target});
    target.faces = 2;
    Target aimed;
    aimed.id = "P3";
    aimed.direction = Direction{1.25, 1.5};
    aimed.tolerances = {0.001, 0.002, 0.003};
    store->RegisterTargets({target, aimed});
    const std::int64_t round = store->BeginRound({"dam", "tcp:1", At(0)});
    store->RecordTarget(Result(round, "P1", 10));
    TargetResult failed = Result(round, "P2", 11, Outcome::kNotFound);
    failed.coordinates.reset();
    failed.hz = std::nan("");
    failed.message = "target recognition found no prism";
    failed.returnCode = 8710;
    store->RecordTarget(failed);
    store->FinishRound(round, RoundStatus::kIncomplete, At(12));
  }
  auto store = Open(StoreMode::kReadOnly);
  EXPECT_EQ(store->SchemaVersion(), CurrentSchemaVersion());
  const std::vector<Target> targets = store->Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].faces, 2);
  EXPECT_DOUBLE_EQ(targets[0].prismConstant, -0.0344);
  EXPECT_FALSE(targets[0].direction);
  EXPECT_DOUBLE_EQ(targets[0].coordinates->easting, 1);
  EXPECT_DOUBLE_EQ(targets[0].coordinates->northing, 2);
  EXPECT_DOUBLE_EQ(targets[0].coordinates->height, 3);
  ASSERT_TRUE(targets[1].direction);
  EXPECT_FALSE(targets[1].coordinates);
  EXPECT_DOUBLE_EQ(targets[1].direction->hz, 1.25);
  EXPECT_DOUBLE_EQ(targets[1].direction->v, 1.5);
  EXPECT_DOUBLE_EQ(targets[1].tolerances.faceDifference, 0.001);
  EXPECT_DOUBLE_EQ(targets[1].tolerances.setAngle, 0.002);
  EXPECT_DOUBLE_EQ(targets[1].tolerances.setDistance, 0.003);

  std::vector<RoundRecord> rounds;
  store->ReadRounds([&](const RoundRecord& round) {
    rounds.push_back(round);
    return true;
  });
  ASSERT_EQ(rounds.size(), 1u);
  EXPECT_EQ(rounds[0].status, RoundStatus::kIncomplete);
  EXPECT_EQ(rounds[0].start.job, "dam");
  EXPECT_EQ(rounds[0].start.instrument, "tcp:1");
  EXPECT_EQ(rounds[0].finished, At(12));

  const auto results = ReadAll(*store, {{}, {}, {}, true});
  ASSERT_EQ(results.size(), 2u);
  const TargetResult& measured = results[0];
  const TargetResult expected = Result(rounds[0].id, "P1", 10);
  EXPECT_EQ(measured.target, "P1");
  EXPECT_EQ(measured.time, expected.time);
  EXPECT_EQ(measured.started, expected.started);
  EXPECT_EQ(measured.outcome, Outcome::kMeasured);
  EXPECT_EQ(measured.faces, 2);
  EXPECT_EQ(measured.sets, 2);
  EXPECT_DOUBLE_EQ(measured.hz, expected.hz);
  EXPECT_DOUBLE_EQ(measured.v, expected.v);
  EXPECT_DOUBLE_EQ(measured.distance, expected.distance);
  EXPECT_DOUBLE_EQ(measured.collimation, expected.collimation);
  EXPECT_DOUBLE_EQ(measured.verticalIndex, expected.verticalIndex);
  EXPECT_DOUBLE_EQ(measured.hzSpread, expected.hzSpread);
  EXPECT_DOUBLE_EQ(measured.vSpread, expected.vSpread);
  EXPECT_DOUBLE_EQ(measured.distanceSpread, expected.distanceSpread);
  EXPECT_EQ(measured.flaggedSets, std::vector<int>{2});
  EXPECT_DOUBLE_EQ(measured.coordinates->easting, 1000.5);
  EXPECT_DOUBLE_EQ(measured.coordinates->northing, 2000.25);
  EXPECT_DOUBLE_EQ(measured.coordinates->height, 101.125);
  ASSERT_EQ(measured.observations.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(measured.observations[i].set, expected.observations[i].set);
    EXPECT_EQ(measured.observations[i].face, expected.observations[i].face);
    EXPECT_DOUBLE_EQ(measured.observations[i].v, expected.observations[i].v);
    EXPECT_DOUBLE_EQ(measured.observations[i].distance,
                     expected.observations[i].distance);
  }
  const TargetResult& failed = results[1];
  EXPECT_EQ(failed.outcome, Outcome::kNotFound);
  EXPECT_EQ(failed.returnCode, 8710);
  EXPECT_EQ(failed.message, "target recognition found no prism");
  EXPECT_FALSE(failed.coordinates);
  EXPECT_TRUE(std::isnan(failed.hz));
}

TEST_P(BackendStore, QueriesSelectByTargetAndTimeInTimeOrder) {
  auto store = Open();
  const std::int64_t first = store->BeginRound({"job", "i", At(0)});
  const std::int64_t second = store->BeginRound({"job", "i", At(50)});
  // Written out of time order: reading sorts by time.
  store->RecordTarget(Result(second, "A", 60));
  store->RecordTarget(Result(first, "A", 10));
  store->RecordTarget(Result(first, "B", 20));
  store->RecordTarget(Result(second, "B", 70));

  // Seconds of -1 leave a bound out.
  struct Case {
    const char* target;
    int since;
    int until;
    std::vector<std::string> expected;  // target@second
  };
  const Case cases[] = {
      {"", -1, -1, {"A@10", "B@20", "A@60", "B@70"}},
      {"A", -1, -1, {"A@10", "A@60"}},
      {"", 20, -1, {"B@20", "A@60", "B@70"}},
      {"", -1, 60, {"A@10", "B@20"}},
      {"B", 21, 71, {"B@70"}},
      {"C", -1, -1, {}},
  };
  for (const Case& c : cases) {
    ResultQuery query;
    if (*c.target != '\0') query.target = c.target;
    if (c.since >= 0) query.since = At(c.since);
    if (c.until >= 0) query.until = At(c.until);
    std::vector<std::string> seen;
    for (const TargetResult& result : ReadAll(*store, query)) {
      seen.push_back(result.target + "@" +
                     std::to_string(std::chrono::duration_cast<seconds>(
                                        result.time - At(0))
                                        .count()));
      EXPECT_TRUE(result.observations.empty());
    }
    EXPECT_EQ(seen, c.expected);
  }
  int calls = 0;
  store->ReadResults({}, [&](const TargetResult&) { return ++calls < 2; });
  EXPECT_EQ(calls, 2);
}

TEST_F(TempStore, FilesThatAreNoStoreOrNewerOrReadOnlyAreRefusedByKind) {
  const auto kindOf = [](const std::string& path, StoreMode mode) {
    try {
      OpenSqliteStore(path, mode);
    } catch (const StoreError& error) {
      EXPECT_NE(std::string(error.what()).find(path), std::string::npos)
          << error.what();
      return std::optional<StoreErrorKind>(error.kind());
    }
    return std::optional<StoreErrorKind>();
  };
  const std::string text = (directory_ / "notes.txt").string();
  std::ofstream(text) << "not a database, but long enough to be read as one "
                      << std::string(200, 'x') << "\n";
  const std::string foreign = (directory_ / "other.sqlite").string();
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t (x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  const std::string newer = (directory_ / "newer.sqlite").string();
  OpenSqliteStore(newer);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version=999", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  const std::string locked = (directory_ / "locked.sqlite").string();
  OpenSqliteStore(locked);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
  const std::string missing = (directory_ / "missing.sqlite").string();

  EXPECT_EQ(kindOf(text, StoreMode::kReadWrite), StoreErrorKind::kNotAStore);
  EXPECT_EQ(kindOf(text, StoreMode::kReadOnly), StoreErrorKind::kNotAStore);
  EXPECT_EQ(kindOf(foreign, StoreMode::kReadWrite), StoreErrorKind::kNotAStore);
  EXPECT_EQ(kindOf(foreign, StoreMode::kReadOnly), StoreErrorKind::kNotAStore);
  EXPECT_EQ(kindOf(newer, StoreMode::kReadWrite), StoreErrorKind::kNewer);
  EXPECT_EQ(kindOf(newer, StoreMode::kReadOnly), StoreErrorKind::kNewer);
  // Root writes whatever the permissions say, but not an immutable file.
  const bool immutable = ::geteuid() == 0 && SetImmutable(locked, true);
  if (::geteuid() != 0 || immutable) {
    EXPECT_EQ(kindOf(locked, StoreMode::kReadWrite), StoreErrorKind::kReadOnly);
  }
  if (immutable) SetImmutable(locked, false);
  EXPECT_EQ(kindOf(locked, StoreMode::kReadOnly), std::nullopt);
  EXPECT_TRUE(kindOf(missing, StoreMode::kReadOnly));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

// A reader that closes last leaves no write-ahead log or shared memory file
// beside the store, as a writer does not.
TEST_F(TempStore, AReaderClosingLastLeavesOnlyTheStore) {
  {
    auto writer = OpenSqliteStore(path_);
    writer->BeginRound({"job", "i", {}});
    auto reader = OpenSqliteStore(path_, StoreMode::kReadOnly);
    EXPECT_EQ(reader->SchemaVersion(), CurrentSchemaVersion());
    writer.reset();
    reader->ReadRounds([](const RoundRecord&) { return true; });
  }
  EXPECT_EQ(OpenSqliteStore(path_, StoreMode::kReadOnly)->SchemaVersion(),
            CurrentSchemaVersion());
  for (const char* suffix : {"-wal", "-shm"}) {
    EXPECT_FALSE(std::filesystem::exists(path_ + suffix)) << suffix;
  }
}

TEST_P(BackendStore, WritersOpeningOneNewStoreAtOnceLoseNothing) {
  // Opening a new store migrates it: several programs starting together
  // must wait for each other, not fail.
  constexpr int kFiles = 10;
  constexpr int kWriters = 3;
  constexpr int kTargets = 40;
  for (int file = 0; file < kFiles; ++file) {
    const std::string path = NewLocation();
    const auto write = [&](const std::string& job) {
      auto store = OpenStore(path);
      const std::int64_t round = store->BeginRound({job, job, At(0)});
      for (int i = 0; i < kTargets; ++i) {
        store->RecordTarget(Result(round, job + std::to_string(i), i));
      }
      store->FinishRound(round, RoundStatus::kComplete, At(kTargets));
    };
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
      writers.emplace_back(write, "job" + std::to_string(writer));
    }
    for (std::thread& writer : writers) writer.join();
    auto store = OpenStore(path, StoreMode::kReadOnly);
    EXPECT_EQ(ReadAll(*store, {}).size(), std::size_t{kWriters * kTargets});
    int complete = 0;
    store->ReadRounds([&](const RoundRecord& round) {
      complete += round.status == RoundStatus::kComplete;
      return true;
    });
    EXPECT_EQ(complete, kWriters) << path;
  }
}

TEST_P(BackendStore, SecondWritesAreNoOps) {
  // Writing a buffered round through again after a crash must add nothing.
  auto store = Open();
  RoundStart start{"dam", "tcp:1", At(0), "round-key-1"};
  const std::int64_t round = store->BeginRound(start);
  EXPECT_EQ(store->BeginRound(start), round);
  const std::int64_t other = store->BeginRound({"dam", "tcp:1", At(0)});
  EXPECT_NE(other, round);
  store->RecordTarget(Result(round, "P1", 10));
  TargetResult again = Result(round, "P1", 10);
  again.observations.resize(1);
  store->RecordTarget(again);
  store->RecordTarget(Result(other, "P1", 10));
  const Event alarm = AnEvent("P1", round, 10.5, Level::Alarm);
  store->RecordEvent(alarm);
  store->RecordEvent(alarm);
  Event clear = alarm;
  clear.level = Level::Clear;
  store->RecordEvent(clear);

  const auto results = ReadAll(*store, {{}, {}, {}, true});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].observations.size(), 4u);
  EXPECT_EQ(results[1].observations.size(), 4u);
  std::vector<std::string> keys;
  store->ReadRounds([&](const RoundRecord& record) {
    keys.push_back(record.start.key);
    return true;
  });
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], "round-key-1");
  EXPECT_EQ(keys[1].size(), 32u) << "a key is chosen when none is given";
  std::vector<Level> levels;
  store->ReadEvents({}, [&](const Event& event) {
    levels.push_back(event.level);
    EXPECT_EQ(event.round, round);
    EXPECT_DOUBLE_EQ(event.time, 10.5);
    return true;
  });
  EXPECT_EQ(levels, (std::vector<Level>{Level::Alarm, Level::Clear}));
}

TEST_P(BackendStore, ReadsGoThroughManyRowsInOrderAndStopWhenAsked) {
  // More rows than a read holds at once, most at the same time: the order
  // is time, then round, then the order written.
  constexpr int kRounds = 2;
  constexpr int kTargets = 260;
  auto store = Open();
  std::vector<std::string> written;
  for (int r = 0; r < kRounds; ++r) {
    const std::int64_t round = store->BeginRound({"job", "i", At(0)});
    for (int t = 0; t < kTargets; ++t) {
      TargetResult result = Result(round, "T" + std::to_string(t), 5);
      for (Observation& observation : result.observations) {
        observation.hz = t;
      }
      store->RecordTarget(result);
      written.push_back(std::to_string(round) + result.target);
      store->RecordEvent(
          AnEvent(result.target, round, 5.0 + t % 2, Level::Warning));
    }
  }
  std::vector<std::string> read;
  bool observationsMatch = true;
  store->ReadResults({{}, {}, {}, true}, [&](const TargetResult& result) {
    read.push_back(std::to_string(result.round) + result.target);
    observationsMatch =
        observationsMatch && result.observations.size() == 4 &&
        "T" + std::to_string(static_cast<int>(result.observations[3].hz)) ==
            result.target;
    return true;
  });
  EXPECT_EQ(read, written);
  EXPECT_TRUE(observationsMatch);

  std::vector<double> times;
  store->ReadEvents({}, [&](const Event& event) {
    times.push_back(event.time);
    return true;
  });
  ASSERT_EQ(times.size(), std::size_t{kRounds * kTargets});
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  EXPECT_EQ(std::count(times.begin(), times.end(), 6.0),
            kRounds * kTargets / 2);

  int calls = 0;
  store->ReadResults({}, [&](const TargetResult&) { return ++calls < 501; });
  EXPECT_EQ(calls, 501);
  calls = 0;
  store->ReadEvents({}, [&](const Event&) { return ++calls < 502; });
  EXPECT_EQ(calls, 502);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendStore,
                         testing::Values(Backend::kSqlite, Backend::kPostgres),
                         [](const testing::TestParamInfo<Backend>& backend) {
                           return backend.param == Backend::kSqlite
                                      ? "Sqlite"
                                      : "Postgres";
                         });

TEST(OutcomeNames, AreTheTextsScriptsMatch) {
  const std::pair<Outcome, const char*> names[] = {
      {Outcome::kMeasured, "measured"},
      {Outcome::kNotFound, "not-found"},
      {Outcome::kOutOfTolerance, "out-of-tolerance"},
      {Outcome::kInstrumentError, "instrument-error"},
      {Outcome::kCancelled, "cancelled"},
  };
  for (const auto& [outcome, name] : names) {
    EXPECT_EQ(OutcomeName(outcome), name);
    EXPECT_EQ(ParseOutcome(name), outcome);
  }
  EXPECT_EQ(ParseOutcome("Measured"), std::nullopt);
  EXPECT_EQ(ParseOutcome(""), std::nullopt);
}

}  // namespace
