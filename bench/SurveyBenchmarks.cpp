// A monitoring round against the virtual instrument, set against the sum of
// its own calls' round trips in the same run; and the store's rate of
// observations with each target committed on its own, in a SQLite file and
// in a PostgreSQL database.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>
#include <DazoZazIdoRezeraro/survey/Round.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <libpq-fe.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace {

using namespace Core::GEOCOM;

constexpr int kTargets = 20;

// Twenty prisms in a ring, a telescope at the fastest speed a scene allows
// and measurements that take no time: what is left is the round's own work
// and the calls.
simulator::Scene Ring() {
  simulator::Scene scene;
  scene.telescope.maxSpeed = 100;
  scene.edm.measureTime = 0;
  for (int i = 0; i < kTargets; ++i) {
    const double bearing = 2 * 3.14159265358979323846 * i / kTargets;
    scene.prisms.push_back(
        {"R" + std::to_string(i),
         {50 * std::sin(bearing), 50 * std::cos(bearing), (i % 5) - 2.0},
         {},
         {},
         {},
         0});
  }
  return scene;
}

void BM_RoundOfTwentyTargets(benchmark::State& state) {
  simulator::LoopbackOptions options;
  options.scene = Ring();
  simulator::LoopbackInstrument instrument(options);
  boost::asio::io_context io;
  auto work = boost::asio::make_work_guard(io);
  std::thread runner([&] { io.run(); });
  host::Session session =
      host::Session::AsyncConnect(io.get_executor(), instrument.Address(), {},
                                  boost::asio::use_future)
          .get();
  survey::RoundPlan plan;
  for (const simulator::Prism& prism : options.scene.prisms) {
    survey::Target target;
    target.id = prism.id;
    target.coordinates = survey::Coordinates{
        prism.position.easting, prism.position.northing, prism.position.height};
    target.faces = static_cast<int>(state.range(0));
    plan.targets.push_back(target);
  }
  double rounds = 0, calls = 0;
  std::chrono::duration<double> elapsed{0}, callTime{0};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const survey::RoundResult round =
        survey::AsyncMeasureRound(session, plan, {}, boost::asio::use_future)
            .get();
    elapsed += std::chrono::steady_clock::now() - start;
    callTime += round.callTime;
    calls += static_cast<double>(round.calls);
    ++rounds;
  }
  state.counters["calls_per_round"] = calls / rounds;
  state.counters["round_ms"] = elapsed.count() / rounds * 1000;
  state.counters["call_round_trips_ms"] = callTime.count() / rounds * 1000;
  state.counters["ratio"] = elapsed.count() / callTime.count();
  session.Close();
  work.reset();
  runner.join();
}
BENCHMARK(BM_RoundOfTwentyTargets)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

survey::TargetResult TwoFacesTwoSets(std::int64_t round, int index) {
  survey::TargetResult result;
  result.round = round;
  result.target = "T" + std::to_string(index);
  result.started = result.time = std::chrono::system_clock::now();
  result.faces = 2;
  result.sets = 2;
  result.hz = result.v = 1.2;
  result.distance = 50;
  result.coordinates = survey::Coordinates{1, 2, 3};
  for (int set = 1; set <= 2; ++set) {
    for (int face = 1; face <= 2; ++face) {
      result.observations.push_back(
          {set, face, result.time, 1.2, 1.5, 50.0 + set, 0});
    }
  }
  return result;
}

// Writes a target of four observations per iteration, each its own
// transaction, as a monitor does. The last iteration finishes the round,
// which waits for every target to be committed.
void RecordTargets(benchmark::State& state, survey::Store& store) {
  const std::int64_t round = store.BeginRound({"bench", "none", {}});
  int index = 0;
  std::int64_t observations = 0;
  for (auto _ : state) {
    const survey::TargetResult result = TwoFacesTwoSets(round, index++);
    store.RecordTarget(result);
    observations += static_cast<std::int64_t>(result.observations.size());
    if (index == static_cast<int>(state.max_iterations)) {
      store.FinishRound(round, survey::RoundStatus::kComplete, result.time);
    }
  }
  state.SetItemsProcessed(observations);
  state.counters["observations_per_second"] = benchmark::Counter(
      static_cast<double>(observations), benchmark::Counter::kIsRate);
}

void BM_StoreTargetPerTransaction(benchmark::State& state) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "survey-bench.sqlite").string();
  const auto remove = [&] {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::filesystem::remove(path + suffix);
    }
  };
  remove();
  RecordTargets(state, *survey::OpenSqliteStore(path));
  remove();
}
BENCHMARK(BM_StoreTargetPerTransaction)->UseRealTime();

// A throwaway cluster with the server's default settings, started by the
// first benchmark that needs it and removed when the program ends (the
// benchmark library calls a benchmark several times while it finds how many
// iterations to run); its folder, empty when it cannot start.
const std::string& ClusterFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/survey-bench-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return std::string();
    const std::string cluster = POSTGRES_CLUSTER;
    if (std::system(("POSTGRES_CLUSTER_OPTIONS= " + cluster + " start " +
                     pattern + " >/dev/null")
                        .c_str()) != 0) {
      std::system((cluster + " remove " + pattern).c_str());
      return std::string();
    }
    return std::string(pattern);
  }();
  static const bool removedAtExit = [] {
    if (!folder.empty()) {
      std::atexit([] {
        std::system(
            (std::string(POSTGRES_CLUSTER) + " remove " + folder).c_str());
      });
    }
    return true;
  }();
  (void)removedAtExit;
  return folder;
}

// A new empty database on the cluster; its URI, empty on failure.
std::string NewDatabase(const std::string& folder) {
  static int databases = 0;
  const std::string name = "bench_" + std::to_string(++databases);
  const std::string server = "host=" + folder + " user=postgres";
  PGconn* connection = PQconnectdb(server.c_str());
  PGresult* created = PQexec(connection, ("CREATE DATABASE " + name).c_str());
  const bool ok = PQresultStatus(created) == PGRES_COMMAND_OK;
  PQclear(created);
  PQfinish(connection);
  return ok ? "postgresql:///" + name + "?user=postgres&host=" + folder
            : std::string();
}

// The CPU time, in seconds, of the server's process that serves the other
// connection to the connection's database (the store's), from /proc; 0
// when it cannot be read.
double ServerCpuSeconds(PGconn* connection) {
  PGresult* found = PQexec(connection,
                           "SELECT pid FROM pg_stat_activity WHERE datname = "
                           "current_database() AND pid <> pg_backend_pid()");
  const std::string pid =
      PQresultStatus(found) == PGRES_TUPLES_OK && PQntuples(found) == 1
          ? PQgetvalue(found, 0, 0)
          : "";
  PQclear(found);
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string line;
  if (pid.empty() || !std::getline(stat, line)) return 0;
  // After the command's name in parentheses: fields 3 on; user and system
  // time in clock ticks are fields 14 and 15.
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  double user = 0;
  double system = 0;
  fields >> user >> system;
  return (user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The same into a new PostgreSQL database over a Unix socket. Argument
// pipelined: 1, the store as a monitor opens it, with its write-through
// buffer, sending each target without waiting for the commit of the one
// before; 0, the store as opened to read and write, each target waiting
// for its commit. Argument flush_every_commit: 0, the store's own setting,
// synchronous_commit=off (a commit survives the program and the server
// stopping; the last ones may not survive the server being killed or a
// power cut); 1, the URI asks for a flush to disk at every commit.
void BM_PostgresStoreTargetPerTransaction(benchmark::State& state) {
  const std::string& folder = ClusterFolder();
  const std::string uri = folder.empty() ? folder : NewDatabase(folder);
  if (uri.empty()) {
    state.SkipWithError("no PostgreSQL cluster (is postgresql-15 installed?)");
    return;
  }
  const std::string location =
      uri + (state.range(1) == 1 ? "&options=-csynchronous_commit%3Don" : "");
  const std::string buffer = folder + "/bench.buffer.sqlite";
  const auto store =
      state.range(0) == 1
          ? survey::OpenBufferedStore(
                location, buffer,
                [&](const auto& line) { state.SkipWithError(line.c_str()); })
          : survey::OpenStore(location);
  PGconn* watcher = PQconnectdb(uri.c_str());
  const double serverCpu = ServerCpuSeconds(watcher);
  RecordTargets(state, *store);
  state.counters["server_cpu_us_per_target"] =
      (ServerCpuSeconds(watcher) - serverCpu) * 1e6 /
      static_cast<double>(state.iterations());
  PQfinish(watcher);
}
BENCHMARK(BM_PostgresStoreTargetPerTransaction)
    ->ArgNames({"pipelined", "flush_every_commit"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->UseRealTime();

}  // namespace
