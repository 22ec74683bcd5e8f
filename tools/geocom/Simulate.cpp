// geocom simulate: serves a virtual instrument on TCP and/or a
// pseudo-terminal until interrupted.
#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/simulator/Control.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LiveView.h>
#include <DazoZazIdoRezeraro/simulator/Replay.h>
#include <DazoZazIdoRezeraro/simulator/Scene.h>
#include <DazoZazIdoRezeraro/simulator/Server.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>
#include <DazoZazIdoRezeraro/survey/Job.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "ExitStatus.h"
#include "Output.h"
#include "StoreFollower.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM;
namespace sim = Core::GEOCOM::simulator;

constexpr const char* kDefaultListen = "127.0.0.1:0";
// How often the live view reads a job's store for new results.
constexpr std::chrono::milliseconds kFollowPeriod{500};

struct SimulateOptions {
  std::string listen;
  bool listenRemote = false;
  bool pty = false;
  std::string scene;
  std::string faults;
  std::string seed = "0";
  std::string log;
  std::string replay;
  bool replayTiming = false;
  std::string maxClients = "8";
  std::string idleTimeoutMs = "60000";
  std::string http;
  bool httpRemote = false;
  std::vector<std::string> httpNames;
  std::string job;
};

template <typename Number>
std::optional<Number> ParseNumber(const std::string& text) {
  Number value{};
  const char* const end = text.data() + text.size();
  const auto read = std::from_chars(text.data(), end, value);
  if (text.empty() || read.ec != std::errc() || read.ptr != end) {
    return std::nullopt;
  }
  return value;
}

// A malformed scene or capture is a usage error; one that cannot be read
// is a failure.
[[noreturn]] void Refuse(const host::Error& error) {
  throw ToolError(
      error.kind == host::ErrorKind::kIo ? kExitFailure : kExitUsage,
      error.message);
}

int RunSimulate(const SimulateOptions& options) {
  const std::optional<std::uint64_t> seed =
      ParseNumber<std::uint64_t>(options.seed);
  if (!seed) {
    throw UsageError("--seed must be an integer from 0 to 2^64-1, not '" +
                     options.seed + "'");
  }
  const std::optional<std::size_t> maxClients =
      ParseNumber<std::size_t>(options.maxClients);
  if (!maxClients || *maxClients == 0 || *maxClients > 10000) {
    throw UsageError("--max-clients must be an integer from 1 to 10000, not '" +
                     options.maxClients + "'");
  }
  const std::optional<std::int64_t> idleMs =
      ParseNumber<std::int64_t>(options.idleTimeoutMs);
  if (!idleMs || *idleMs < 0 || *idleMs > 1000000000) {
    throw UsageError(
        "--idle-timeout must be a whole number of milliseconds from 0 to "
        "1000000000, not '" +
        options.idleTimeoutMs + "'");
  }
  sim::FaultRates rates;
  if (!options.faults.empty()) {
    host::Result<sim::FaultRates> parsed = sim::ParseFaultRates(options.faults);
    if (!parsed) throw UsageError("--faults: " + parsed.error().message);
    rates = std::move(*parsed);
  }

  if (!options.http.empty() && !options.replay.empty()) {
    throw UsageError("--http shows a scene's instrument, not a replay");
  }
  std::optional<survey::Job> job;
  if (!options.job.empty()) {
    try {
      job = survey::LoadJob(options.job);
      CheckFollowable(job->store);
    } catch (const survey::JobError& error) {
      throw UsageError("--job: " + std::string(error.what()));
    } catch (const survey::StoreError& error) {
      throw ToolError(kExitFailure, "--job: " + std::string(error.what()));
    }
  }

  // What answers: a capture replayed, or an instrument in its scene.
  std::shared_ptr<sim::Responder> answerer;
  std::shared_ptr<sim::VirtualInstrument> instrument;
  if (!options.replay.empty()) {
    host::Result<std::shared_ptr<sim::ReplayResponder>> replay =
        sim::ReplayResponder::Load(options.replay, options.replayTiming);
    if (!replay) Refuse(replay.error());
    answerer = std::move(*replay);
  } else {
    sim::Scene scene = sim::DefaultScene();
    if (!options.scene.empty()) {
      host::Result<sim::Scene> loaded = sim::LoadScene(options.scene);
      if (!loaded) Refuse(loaded.error());
      scene = std::move(*loaded);
    }
    instrument =
        std::make_shared<sim::VirtualInstrument>(std::move(scene), *seed);
    answerer = instrument;
  }
  sim::FaultInjector faults(*answerer, *seed);
  const host::Result<host::Done> set = faults.SetRates(rates);
  if (!set) throw UsageError("--faults: " + set.error().message);
  std::unique_ptr<sim::InstrumentControl> control;
  if (instrument) {
    control = std::make_unique<sim::InstrumentControl>(*instrument, faults);
    control->SetFaultRates(rates);
  }

  std::ofstream logFile;
  std::unique_ptr<host::CaptureWriter> log;
  if (!options.log.empty()) {
    logFile.open(options.log, std::ios::binary | std::ios::trunc);
    if (!logFile) {
      throw ToolError(kExitFailure, "cannot write " + options.log + ": " +
                                        std::strerror(errno));
    }
    log = std::make_unique<host::CaptureWriter>(logFile);
    if (!logFile) throw ToolError(kExitFailure, "cannot write " + options.log);
  }

  boost::asio::io_context io;
  bool logFailed = false;
  sim::ServerOptions serverOptions;
  serverOptions.allowRemote = options.listenRemote;
  serverOptions.maxClients = *maxClients;
  serverOptions.idleTimeout = std::chrono::milliseconds(*idleMs);
  if (log) {
    serverOptions.monitor = [&](host::CaptureRecord record) {
      if (!logFailed && !log->Write(std::move(record))) {
        logFailed = true;
        io.stop();
      }
    };
  }
  if (control) serverOptions.exchanges = control->Recorder();
  sim::Server server(io, faults, serverOptions);
  std::unique_ptr<sim::LiveView> liveView;
  if (control) {
    control->Attach(server);
    sim::LiveViewOptions viewOptions;
    viewOptions.allowRemote = options.httpRemote;
    viewOptions.remoteNames = options.httpNames;
    liveView = std::make_unique<sim::LiveView>(io, *control, viewOptions);
  }
  std::unique_ptr<StoreFollower> follower;
  if (job)
    follower = std::make_unique<StoreFollower>(*job, *liveView, kFollowPeriod);

  // Everything is opened before anything is printed, so that a failure
  // leaves no half-announced instrument.
  std::string announcement;
  if (!options.listen.empty() || !options.pty) {
    const std::string address =
        options.listen.empty() ? kDefaultListen : options.listen;
    host::Result<std::string> bound = server.ListenTcp(address);
    if (!bound) {
      throw ToolError(bound.error().kind == host::ErrorKind::kInvalidArgument
                          ? kExitUsage
                          : kExitFailure,
                      bound.error().message);
    }
    announcement += "listening on " + *bound + "\n";
  }
  if (options.pty) {
    host::Result<std::string> path = server.OpenPty();
    if (!path) throw ToolError(kExitFailure, path.error().message);
    announcement += "pty " + *path + "\n";
  }
  if (!options.http.empty()) {
    host::Result<std::string> bound = liveView->Listen(options.http);
    if (!bound) {
      throw ToolError(bound.error().kind == host::ErrorKind::kInvalidArgument
                          ? kExitUsage
                          : kExitFailure,
                      bound.error().message);
    }
    announcement += "live view on http://" + *bound + "/\n";
  }
  Print(announcement);
  FlushOutput();
  if (follower) follower->Start();

  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code& error, int) {
    if (error) return;
    if (liveView) liveView->Stop();
    server.Stop();
    io.stop();
  });
  io.run();
  if (logFailed) {
    throw ToolError(kExitFailure, "cannot write " + options.log);
  }
  return kExitOk;
}

}  // namespace

Runner AddSimulate(CLI::App& app) {
  auto options = std::make_shared<SimulateOptions>();
  CLI::App* command = app.add_subcommand(
      "simulate",
      "Serve a virtual instrument until interrupted (SIGINT or SIGTERM): a "
      "telescope that takes time to turn, measurements that follow from the "
      "scene's geometry, and faults on request. Prints 'listening on "
      "HOST:PORT' and/or 'pty PATH' once ready.");
  command
      ->add_option("--listen", options->listen,
                   "Listen on HOST:PORT; port 0 lets the system choose "
                   "(default 127.0.0.1:0 unless only --pty is given). "
                   "Loopback only, unless --listen-remote is given")
      ->type_name("HOST:PORT");
  command->add_flag("--listen-remote", options->listenRemote,
                    "Allow --listen on an address other hosts reach: anyone "
                    "who reaches it is answered as the instrument");
  command->add_flag("--pty", options->pty,
                    "Serve a pseudo-terminal, whose path is printed");
  command
      ->add_option("--scene", options->scene,
                   "The scene, a JSON file (docs/scene.md); default: the "
                   "built-in scene")
      ->type_name("FILE");
  command
      ->add_option("--faults", options->faults,
                   "KIND=RATE[,KIND=RATE...]: faults applied to replies "
                   "with the given probabilities; kinds: drop, late, "
                   "split, noise, corrupt, duplicate, wrong-sequence, "
                   "disconnect")
      ->type_name("KIND=RATE,...");
  command
      ->add_option("--seed", options->seed,
                   "Seeds the noise and the faults (default 0)")
      ->type_name("N");
  command
      ->add_option("--log", options->log,
                   "Write every exchange to FILE as a capture that "
                   "'geocom decode' reads")
      ->type_name("FILE");
  CLI::Option* replay = command->add_option(
      "--replay", options->replay,
      "Answer from a capture instead of a scene: each request seen in it "
      "gets its recorded reply, others return code 5");
  replay->type_name("FILE");
  command
      ->add_flag("--replay-timing", options->replayTiming,
                 "Keep the recorded delay of each replayed reply")
      ->needs(replay);
  command
      ->add_option("--max-clients", options->maxClients,
                   "TCP clients served at once (default 8)")
      ->type_name("N");
  command
      ->add_option("--idle-timeout", options->idleTimeoutMs,
                   "Close a TCP client silent for MS milliseconds while no "
                   "reply to it is under way (default 60000; 0: never)")
      ->type_name("MS");
  CLI::Option* http =
      command
          ->add_option(
              "--http", options->http,
              "Serve a live view of the instrument and a JSON API to "
              "steer it (docs/live-view.md) on HOST:PORT; prints 'live "
              "view on http://HOST:PORT/'. Loopback only, unless "
              "--http-remote is given")
          ->type_name("HOST:PORT");
  CLI::Option* httpRemote = command->add_flag(
      "--http-remote", options->httpRemote,
      "Allow --http on an address other hosts reach: anyone who reaches "
      "it can steer the instrument");
  command
      ->add_option("--http-name", options->httpNames,
                   "With --http-remote: a name browsers on other hosts ask "
                   "for the live view by (a host name or address; repeat or "
                   "separate by commas). Requests naming any host but these, "
                   "the bound address and localhost are refused")
      ->delimiter(',')
      ->needs(httpRemote)
      ->type_name("NAME");
  command
      ->add_option("--job", options->job,
                   "With --http: show the job's results beside the "
                   "instrument, each target's displacements over time with "
                   "its limits, read from the job's store as 'geocom "
                   "monitor' writes them (docs/live-view.md)")
      ->needs(http)
      ->type_name("FILE");
  command->footer(ExitStatusHelp({kExitOk, kExitFailure, kExitUsage}));
  return [options] { return RunSimulate(*options); };
}

}  // namespace geocom
