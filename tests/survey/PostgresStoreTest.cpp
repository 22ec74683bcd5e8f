// The PostgreSQL store beyond what every backend shares: URIs and databases
// it refuses, by kind and naming the store key, and the write-through buffer
// that keeps what is measured while the server is away.
#include <DazoZazIdoRezeraro/survey/Store.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "PostgresCluster.h"

namespace {

using namespace Core::GEOCOM::survey;
using std::chrono::seconds;
using testing_postgres::Cluster;

TimePoint At(int second) { return TimePoint(seconds(1'700'000'000 + second)); }

TargetResult Measured(std::int64_t round, const std::string& target,
                      int second) {
  TargetResult result;
  result.round = round;
  result.target = target;
  result.started = At(second - 1);
  result.time = At(second);
  result.faces = 2;
  result.sets = 1;
  result.hz = 1.25;
  result.v = 1.5;
  result.distance = 50.125;
  result.coordinates = Coordinates{1000.5, 2000.25, 101.125};
  for (int face = 1; face <= 2; ++face) {
    result.observations.push_back({1, face, At(second), 1.0, 1.5, 50.0, 0});
  }
  return result;
}

class PostgresStore : public testing::Test {
 protected:
  void SetUp() override {
    cluster_ = Cluster::Get();
    if (cluster_ == nullptr) GTEST_SKIP() << Cluster::Why();
    uri_ = cluster_->NewDatabase();
    buffer_ = cluster_->directory() + "/" +
              testing::UnitTest::GetInstance()->current_test_info()->name() +
              ".buffer.sqlite";
  }
  void TearDown() override {
    // A failed test must not leave the shared server stopped.
    if (cluster_ != nullptr) cluster_->Resume();
  }

  std::unique_ptr<Store> Buffered() {
    return OpenBufferedStore(uri_, buffer_, [this](const std::string& line) {
      notices_.push_back(line);
    });
  }
  // The server refuses target B from now on.
  bool RefuseB() const {
    return Cluster::Execute(
        uri_,
        "ALTER TABLE results ADD CONSTRAINT refuse_b CHECK (target <> 'B')");
  }
  bool Noticed(const std::string& words) const {
    for (const std::string& notice : notices_) {
      if (notice.find(words) != std::string::npos) return true;
    }
    return false;
  }
  /// target@round of every result the server keeps, in time order.
  std::vector<std::string> Kept() {
    auto store = OpenStore(uri_, StoreMode::kReadOnly);
    std::vector<std::string> kept;
    store->ReadResults({{}, {}, {}, true}, [&](const TargetResult& result) {
      EXPECT_EQ(result.observations.size(), 2u) << result.target;
      kept.push_back(result.target + "@" + std::to_string(result.round));
      return true;
    });
    return kept;
  }
  std::vector<RoundRecord> Rounds() {
    auto store = OpenStore(uri_, StoreMode::kReadOnly);
    std::vector<RoundRecord> rounds;
    store->ReadRounds([&](const RoundRecord& round) {
      rounds.push_back(round);
      return true;
    });
    return rounds;
  }

  Cluster* cluster_ = nullptr;
  std::string uri_;
  std::string buffer_;
  std::vector<std::string> notices_;
};

TEST_F(PostgresStore, RefusesWhatIsNoStoreByKindNamingTheStoreKey) {
  const std::string foreign = cluster_->NewDatabase();
  ASSERT_TRUE(Cluster::Execute(foreign, "CREATE TABLE rounds (x integer)"));
  const std::string newer = cluster_->NewDatabase();
  OpenStore(newer);
  ASSERT_TRUE(
      Cluster::Execute(newer, "UPDATE schema_version SET version = 999"));
  const std::string empty = cluster_->NewDatabase();
  const std::string nowhere = cluster_->directory() + "/nowhere";

  struct Case {
    std::string location;
    StoreMode mode;
    StoreErrorKind kind;
    std::string words;  // in the message
  };
  const Case cases[] = {
      {"postgresql:///db?bogus=1", StoreMode::kReadWrite,
       StoreErrorKind::kNotAStore,
       "not a PostgreSQL URI (invalid URI query parameter: \"bogus\")"},
      {"postgres://[::1/db", StoreMode::kReadOnly, StoreErrorKind::kNotAStore,
       "not a PostgreSQL URI"},
      {"postgresql:///postgres?host=" + nowhere, StoreMode::kReadWrite,
       StoreErrorKind::kIo,
       "cannot connect to the PostgreSQL server " + nowhere +
           " port 5432: connection to server on socket"},
      {"postgresql://me:secret@/postgres?host=" + nowhere,
       StoreMode::kReadWrite, StoreErrorKind::kIo, "me:***@"},
      {"postgresql:///missing?user=postgres&host=" + cluster_->directory(),
       StoreMode::kReadOnly, StoreErrorKind::kIo, "missing"},
      {foreign, StoreMode::kReadWrite, StoreErrorKind::kNotAStore,
       "not a results store"},
      {foreign, StoreMode::kReadOnly, StoreErrorKind::kNotAStore,
       "not a results store"},
      {empty, StoreMode::kReadOnly, StoreErrorKind::kNotAStore,
       "not a results store"},
      {newer, StoreMode::kReadWrite, StoreErrorKind::kNewer, "999"},
      {newer, StoreMode::kReadOnly, StoreErrorKind::kNewer, "999"},
  };
  for (const Case& c : cases) {
    try {
      OpenStore(c.location, c.mode);
      ADD_FAILURE() << c.location << " was opened";
    } catch (const StoreError& error) {
      const std::string message = error.what();
      EXPECT_EQ(error.kind(), c.kind) << message;
      EXPECT_EQ(message.rfind("store ", 0), 0u) << message;
      EXPECT_NE(message.find(c.words), std::string::npos) << message;
      EXPECT_EQ(message.find("secret"), std::string::npos) << message;
    }
  }
  // Opening to read never migrates, and refuses writes.
  auto store = OpenStore(uri_);
  auto reader = OpenStore(uri_, StoreMode::kReadOnly);
  try {
    reader->BeginRound({"job", "i", At(0)});
    ADD_FAILURE() << "a read-only store wrote";
  } catch (const StoreError& error) {
    EXPECT_EQ(error.kind(), StoreErrorKind::kReadOnly) << error.what();
  }
  EXPECT_FALSE(Cluster::Execute(empty, "SELECT * FROM schema_version"));
}

TEST_F(PostgresStore, ServerAwayDuringRoundsLosesAndDoublesNothing) {
  auto store = Buffered();
  Target a;
  a.id = "A";
  Target b;
  b.id = "B";
  store->RegisterTargets({a, b});
  const std::int64_t first = store->BeginRound({"dam", "i", At(0)});
  // Sent without waiting for its answer: in flight as the server stops.
  store->RecordTarget(Measured(first, "A", 1));
  cluster_->Halt();
  store->RecordTarget(Measured(first, "B", 2));
  EXPECT_TRUE(Noticed("buffering into " + buffer_)) << notices_.size();
  Event event;
  event.target = "B";
  event.round = first;
  event.time = 2;
  event.level = Level::Alarm;
  store->RecordEvent(event);
  store->FinishRound(first, RoundStatus::kComplete, At(3));
  // A round begun while the server is away.
  const std::int64_t second = store->BeginRound({"dam", "i", At(10)});
  EXPECT_EQ(second, first + 1) << "numbered after the last round begun";
  store->RecordTarget(Measured(second, "A", 11));
  EXPECT_TRUE(std::filesystem::exists(buffer_));

  cluster_->Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  store->RecordTarget(Measured(second, "B", 12));
  // Two, or three with A: its answer may not have come before the server
  // went; it is written again, harmlessly.
  EXPECT_TRUE(Noticed("buffered results from " + buffer_)) << notices_.back();
  EXPECT_FALSE(std::filesystem::exists(buffer_));
  store->FinishRound(second, RoundStatus::kComplete, At(13));
  store.reset();

  const std::vector<RoundRecord> rounds = Rounds();
  ASSERT_EQ(rounds.size(), 2u);
  EXPECT_EQ(rounds[0].status, RoundStatus::kComplete);
  EXPECT_EQ(rounds[0].finished, At(3));
  EXPECT_EQ(rounds[1].status, RoundStatus::kComplete);
  EXPECT_EQ(rounds[1].start.started, At(10));
  const std::string one = std::to_string(rounds[0].id);
  const std::string two = std::to_string(rounds[1].id);
  EXPECT_EQ(Kept(), (std::vector<std::string>{"A@" + one, "B@" + one,
                                              "A@" + two, "B@" + two}));
  int events = 0;
  OpenStore(uri_)->ReadEvents({}, [&](const Event& kept) {
    EXPECT_EQ(kept.round, rounds[0].id);
    return ++events > 0;
  });
  EXPECT_EQ(events, 1);
}

TEST_F(PostgresStore, BufferLeftBehindIsWrittenThroughOnceWhenOpenedAgain) {
  {
    auto store = Buffered();
    const std::int64_t round = store->BeginRound({"dam", "i", At(0)});
    store->RecordTarget(Measured(round, "A", 1));
    cluster_->Halt();
    store->RecordTarget(Measured(round, "B", 2));
    store->RecordTarget(Measured(round, "C", 3));
  }
  EXPECT_TRUE(Noticed("results wait in " + buffer_));
  ASSERT_TRUE(std::filesystem::exists(buffer_));
  {
    // The buffer is a store of its own, whole without the program.
    auto buffered = OpenSqliteStore(buffer_, StoreMode::kReadOnly);
    std::set<std::string> targets;
    buffered->ReadResults({}, [&](const TargetResult& result) {
      return targets.insert(result.target).second;
    });
    targets.erase("A");  // in flight when the server stopped, or not
    EXPECT_EQ(targets, (std::set<std::string>{"B", "C"}));
  }
  cluster_->Resume();
  // As when the server took a result but its answer was lost.
  const std::vector<RoundRecord> before = Rounds();
  ASSERT_EQ(before.size(), 1u);
  OpenStore(uri_)->RecordTarget(Measured(before[0].id, "B", 2));

  notices_.clear();
  Buffered().reset();
  EXPECT_TRUE(Noticed("buffered results from " + buffer_));
  EXPECT_FALSE(std::filesystem::exists(buffer_));
  const std::string id = std::to_string(before[0].id);
  EXPECT_EQ(Kept(),
            (std::vector<std::string>{"A@" + id, "B@" + id, "C@" + id}));
  const std::vector<RoundRecord> after = Rounds();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].status, RoundStatus::kIncomplete);
}

TEST_F(PostgresStore,
       TargetRefusedAfterItWasSentIsBufferedAndWrittenThroughOnce) {
  auto store = Buffered();
  const std::int64_t round = store->BeginRound({"dam", "i", At(0)});
  ASSERT_TRUE(RefuseB());
  store->RecordTarget(Measured(round, "A", 1));
  store->RecordTarget(Measured(round, "B", 2));
  store->RecordTarget(Measured(round, "C", 3));
  // Whichever call hears of B's refusal is still made.
  store->FinishRound(round, RoundStatus::kComplete, At(4));
  EXPECT_TRUE(
      Noticed("target B of round " + std::to_string(round) + " not written"));
  EXPECT_TRUE(
      Noticed("buffering into " + buffer_ + " until the server takes it"));
  ASSERT_TRUE(std::filesystem::exists(buffer_));

  ASSERT_TRUE(
      Cluster::Execute(uri_, "ALTER TABLE results DROP CONSTRAINT refuse_b"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  store->BeginRound({"dam", "i", At(10)});
  EXPECT_TRUE(Noticed("wrote 1 buffered results")) << notices_.back();
  EXPECT_FALSE(std::filesystem::exists(buffer_));
  store.reset();

  const std::string id = std::to_string(round);
  EXPECT_EQ(Kept(),
            (std::vector<std::string>{"A@" + id, "B@" + id, "C@" + id}));
  const std::vector<RoundRecord> rounds = Rounds();
  ASSERT_EQ(rounds.size(), 2u);
  EXPECT_EQ(rounds[0].status, RoundStatus::kComplete);
}

TEST_F(PostgresStore, ARefusalHeardWhileTheNextTargetGoesOutSendsNothingTwice) {
  auto store = Buffered();
  const std::int64_t round = store->BeginRound({"dam", "i", At(0)});
  ASSERT_TRUE(RefuseB());
  store->RecordTarget(Measured(round, "A", 1));
  store->RecordTarget(Measured(round, "B", 2));
  // B's refusal has come back when C goes out.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  // C's call hears of it, before C goes out.
  store->RecordTarget(Measured(round, "C", 3));
  EXPECT_TRUE(
      Noticed("target B of round " + std::to_string(round) + " not written"));
  store->FinishRound(round, RoundStatus::kComplete, At(4));
  // Each target took one row number: none went to the server twice.
  PGconn* reader = PQconnectdb(uri_.c_str());
  PGresult* sent =
      PQexec(reader,
             "SELECT pg_sequence_last_value(pg_get_serial_sequence('results', "
             "'id'))");
  ASSERT_EQ(PQresultStatus(sent), PGRES_TUPLES_OK) << PQerrorMessage(reader);
  EXPECT_STREQ(PQgetvalue(sent, 0, 0), "3");
  PQclear(sent);
  PQfinish(reader);
}

TEST_F(PostgresStore, TargetInFlightWhenTheConnectionDiesIsBufferedOnce) {
  auto store = Buffered();
  const std::int64_t round = store->BeginRound({"dam", "i", At(0)});
  store->RecordTarget(Measured(round, "A", 1));
  store->Targets();  // waits for A's answer
  // B waits on the server behind another program's lock on results, and
  // its connection is cut before it is answered.
  PGconn* holder = PQconnectdb(uri_.c_str());
  ASSERT_EQ(PQstatus(holder), CONNECTION_OK) << PQerrorMessage(holder);
  PQclear(PQexec(holder, "BEGIN"));
  PQclear(PQexec(holder, "LOCK TABLE results IN EXCLUSIVE MODE"));
  store->RecordTarget(Measured(round, "B", 2));
  EXPECT_TRUE(Cluster::Execute(
      uri_,
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname "
      "= current_database() AND pid NOT IN (pg_backend_pid(), " +
          std::to_string(PQbackendPID(holder)) + ")"));
  PQclear(PQexec(holder, "COMMIT"));
  PQfinish(holder);
  store->RecordTarget(Measured(round, "C", 3));
  EXPECT_TRUE(Noticed("buffering into " + buffer_)) << notices_.size();

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  store->FinishRound(round, RoundStatus::kComplete, At(4));
  EXPECT_TRUE(Noticed("wrote 2 buffered results")) << notices_.back();
  store.reset();
  const std::string id = std::to_string(round);
  EXPECT_EQ(Kept(),
            (std::vector<std::string>{"A@" + id, "B@" + id, "C@" + id}));
}

}  // namespace
