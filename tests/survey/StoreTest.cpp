// The SQLite store: what is written reads back, queries select and order,
// files that are no store or of a newer schema or read-only are refused by
// kind, and two writers on one file lose nothing.
#include <sqlite3.h>

#include <DazoZazIdoRezeraro/survey/Store.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using namespace Core::GEOCOM::survey;
using std::chrono::seconds;

class TempStore : public testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        std::filesystem::temp_directory_path() /
        ("survey-store-" + std::to_string(::getpid()) + "-" +
         testing::UnitTest::GetInstance()->current_test_info()->name());
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

std::vector<TargetResult> ReadAll(Store& store, const ResultQuery& query) {
  std::vector<TargetResult> results;
  store.ReadResults(query, [&](const TargetResult& result) {
    results.push_back(result);
    return true;
  });
  return results;
}

TEST_F(TempStore, WhatIsWrittenReadsBackAfterReopening) {
  {
    auto store = OpenSqliteStore(path_);
    Target target;
    target.id = "P1";
    target.coordinates = Coordinates{1, 2, 3};
    target.prismConstant = -0.0344;
    target.faces = 1;
    store->RegisterTargets({target});
    target.faces = 2;
    store->RegisterTargets({target});
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
  auto store = OpenSqliteStore(path_, StoreMode::kReadOnly);
  EXPECT_EQ(store->SchemaVersion(), CurrentSchemaVersion());
  const std::vector<Target> targets = store->Targets();
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0].faces, 2);
  EXPECT_DOUBLE_EQ(targets[0].prismConstant, -0.0344);
  EXPECT_FALSE(targets[0].direction);
  EXPECT_DOUBLE_EQ(targets[0].coordinates->height, 3);

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

TEST_F(TempStore, QueriesSelectByTargetAndTimeInTimeOrder) {
  auto store = OpenSqliteStore(path_);
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
  if (::geteuid() != 0) {
    EXPECT_EQ(kindOf(locked, StoreMode::kReadWrite), StoreErrorKind::kReadOnly);
  }
  EXPECT_EQ(kindOf(locked, StoreMode::kReadOnly), std::nullopt);
  EXPECT_TRUE(kindOf(missing, StoreMode::kReadOnly));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(TempStore, WritersOpeningOneNewFileAtOnceLoseNothing) {
  // Opening a new file migrates it: several programs starting together must
  // wait for each other, not fail.
  constexpr int kFiles = 10;
  constexpr int kWriters = 3;
  constexpr int kTargets = 40;
  for (int file = 0; file < kFiles; ++file) {
    const std::string path =
        (directory_ / ("results-" + std::to_string(file) + ".sqlite")).string();
    const auto write = [&](const std::string& job) {
      auto store = OpenSqliteStore(path);
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
    auto store = OpenSqliteStore(path, StoreMode::kReadOnly);
    EXPECT_EQ(ReadAll(*store, {}).size(), std::size_t{kWriters * kTargets});
    int complete = 0;
    store->ReadRounds([&](const RoundRecord& round) {
      complete += round.status == RoundStatus::kComplete;
      return true;
    });
    EXPECT_EQ(complete, kWriters) << path;
  }
}

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
