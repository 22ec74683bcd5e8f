// geocom monitor: measuring rounds of a job into its store until the
// rounds asked for are done or the tool is interrupted; geocom monitor
// learn: a target list from a sweep with target recognition.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/survey/Hook.h>
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <DazoZazIdoRezeraro/survey/Learn.h>
#include <DazoZazIdoRezeraro/survey/Round.h>
#include <DazoZazIdoRezeraro/survey/Store.h>
#include <DazoZazIdoRezeraro/survey/Watch.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "ExitStatus.h"
#include "MonitorView.h"
#include "Output.h"
#include "Subcommands.h"

namespace geocom {
namespace {

using namespace Core::GEOCOM;
using Clock = std::chrono::steady_clock;

// How often and how long a monitor tries to reconnect to an instrument that
// closed the connection, before it gives up.
constexpr int kReconnectTries = 3;
constexpr std::chrono::seconds kReconnectPause{2};

struct MonitorOptions {
  std::string job;
  int rounds = 0;
  std::string every;
  std::string http;
  bool httpRemote = false;
  std::vector<std::string> httpNames;
};

struct LearnOptions {
  std::string instrument;
  std::vector<double> station;
  double centerHz = 0;
  double centerV = 1.5707963267948966;
  double hzRange = 6.283185307179586;
  double vRange = 0.3;
  double step = 0.018;
};

// Seconds of "90", "90s", "15m", "2h" or "1d".
double ParseDuration(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  const std::string unit = end == nullptr ? "" : std::string(end);
  double scale = 0;
  if (unit.empty() || unit == "s") scale = 1;
  if (unit == "m") scale = 60;
  if (unit == "h") scale = 3600;
  if (unit == "d") scale = 86400;
  if (text.empty() || end == text.c_str() || scale == 0 ||
      !std::isfinite(value) || value < 0) {
    throw UsageError(
        "--every must be a duration such as 90, 90s, 15m, 2h "
        "or 1d, not '" +
        text + "'");
  }
  return value * scale;
}

std::string TargetLine(const survey::TargetResult& result) {
  std::string line = "round " + std::to_string(result.round) + " " +
                     result.target + " " +
                     std::string(survey::OutcomeName(result.outcome));
  if (result.coordinates) {
    line += " E " + host::FormatFixed(result.coordinates->easting, 4) + " N " +
            host::FormatFixed(result.coordinates->northing, 4) + " H " +
            host::FormatFixed(result.coordinates->height, 4);
  } else if (!result.message.empty()) {
    line += ": " + result.message;
  }
  const double seconds =
      std::chrono::duration<double>(result.time - result.started).count();
  return line + " (" + host::FormatFixed(seconds, 2) + " s)\n";
}

// Counts against the job's targets, not the ones the round reached, and says
// why a round ended early.
std::string RoundLine(std::int64_t round, std::size_t targets,
                      const survey::RoundResult& result) {
  int measured = 0;
  for (const survey::TargetResult& target : result.targets) {
    measured += target.outcome == survey::Outcome::kMeasured;
  }
  const double seconds =
      std::chrono::duration<double>(result.finished - result.started).count();
  return "round " + std::to_string(round) + " " +
         (result.status == survey::RoundStatus::kComplete ? "complete"
                                                          : "incomplete") +
         ": " + std::to_string(measured) + " of " + std::to_string(targets) +
         " measured in " + host::FormatFixed(seconds, 2) + " s" +
         (result.message.empty() ? "" : ": " + result.message) + "\n";
}

std::string EventLine(const survey::Event& event) {
  const char* unit =
      event.component == survey::Component::Velocity ? " mm/d" : " mm";
  return "event " + event.target + " " + survey::NameOf(event.level) + " " +
         survey::NameOf(event.component) + " " +
         host::FormatFixed(event.value * 1000, 1) + unit + " (limit " +
         host::FormatFixed(event.limit * 1000, 1) + unit + ") in round " +
         std::to_string(event.round) + "\n";
}

bool IsSerial(const std::string& instrument) {
  return instrument.find(':') == std::string::npos || instrument.front() == '/';
}

// Connects to the job's instrument, running the loop until it is done.
host::Session Connect(boost::asio::io_context& io, const survey::Job& job) {
  if (IsSerial(job.instrument)) {
    try {
      return host::Session::OpenSerial(io.get_executor(), job.instrument,
                                       job.baud);
    } catch (const host::SessionError& error) {
      throw ToolError(kExitConnect, error.what());
    }
  }
  std::optional<std::pair<boost::system::error_code, std::string>> failed;
  host::Session connected;
  bool done = false;
  host::Session::StartConnect(
      io.get_executor(), job.instrument, {},
      [&](boost::system::error_code error, host::Session session,
          std::string diagnostics) {
        done = true;
        if (error) {
          failed = {error, diagnostics};
        } else {
          connected = std::move(session);
        }
      });
  io.restart();
  while (!done && io.run_one() > 0) {
  }
  if (failed) {
    throw ToolError(
        StatusFor(static_cast<host::ErrorKind>(failed->first.value())),
        failed->second.empty() ? failed->first.message() : failed->second);
  }
  return connected;
}

int RunMonitor(const MonitorOptions& options) {
  survey::Job job;
  try {
    job = survey::LoadJob(options.job);
  } catch (const survey::JobError& error) {
    throw UsageError(error.what());
  }
  std::optional<double> interval = job.interval;
  if (!options.every.empty()) interval = ParseDuration(options.every);
  if (options.rounds < 0) throw UsageError("--rounds must be at least 1");

  std::unique_ptr<survey::Store> store;
  try {
    // Results a shared server cannot take while it is away wait beside the
    // job file.
    const std::filesystem::path jobPath(options.job);
    const std::string buffer =
        (jobPath.parent_path() / (jobPath.stem().string() + ".buffer.sqlite"))
            .string();
    store = survey::OpenBufferedStore(
        job.store, buffer,
        [](const std::string& notice) { PrintError(notice); });
    store->RegisterTargets(job.plan.targets);
  } catch (const survey::StoreError& error) {
    throw ToolError(kExitFailure, error.what());
  }

  std::optional<survey::Watch> follow;
  try {
    follow.emplace(job, *store);
  } catch (const survey::StoreError& error) {
    throw ToolError(kExitFailure, error.what());
  }

  boost::asio::io_context io;
  std::optional<MonitorView> view;
  if (!options.http.empty()) {
    try {
      view.emplace(io, job, *store,
                   MonitorViewOptions{options.httpRemote, options.httpNames});
    } catch (const survey::StoreError& error) {
      throw ToolError(kExitFailure, error.what());
    }
    host::Result<std::string> bound = view->Listen(options.http);
    if (!bound) {
      throw ToolError(bound.error().kind == host::ErrorKind::kInvalidArgument
                          ? kExitUsage
                          : kExitFailure,
                      bound.error().message);
    }
    Print("monitor page on http://" + *bound + "/\n");
    FlushOutput();
  }
  // Each event's hook runs beside the rounds, bounded by the job's
  // time-out; how it ended is logged, and monitoring goes on either way.
  int hooksRunning = 0;
  auto raise = [&](const survey::Event& event) {
    Print(EventLine(event));
    if (!job.hook) return;
    ++hooksRunning;
    survey::AsyncRunHook(
        io.get_executor(), *job.hook, survey::EventJson(event) + "\n",
        job.hookTimeout, [&, event](survey::HookOutcome outcome) {
          --hooksRunning;
          if (!outcome.Succeeded()) {
            PrintError("the hook for " + event.target + " " +
                       survey::NameOf(event.level) + " " + outcome.Describe());
          }
        });
  };
  bool interrupted = false;
  boost::asio::cancellation_signal stopRound;
  boost::asio::steady_timer pause(io);
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  std::function<void()> watch = [&] {
    signals.async_wait([&](const boost::system::error_code& error, int) {
      if (error) return;
      // The target under way finishes; the round is marked and the tool
      // ends.
      interrupted = true;
      stopRound.emit(boost::asio::cancellation_type::partial);
      pause.cancel();
      watch();
    });
  };
  watch();
  host::Session session = Connect(io, job);
  Print("monitoring " + std::to_string(job.plan.targets.size()) +
        " targets of " + job.name + " on " + job.instrument + " into " +
        job.store + "\n");
  FlushOutput();

  for (int round = 1;
       !interrupted && (options.rounds == 0 || round <= options.rounds);
       ++round) {
    const Clock::time_point began = Clock::now();
    survey::RoundPlan plan = job.plan;
    try {
      plan.round = store->BeginRound(
          {job.name, job.instrument, std::chrono::system_clock::now()});
    } catch (const survey::StoreError& error) {
      throw ToolError(kExitFailure, error.what());
    }
    std::optional<std::pair<boost::system::error_code, survey::RoundResult>>
        ended;
    survey::AsyncMeasureRound(
        session, plan,
        [&](const survey::TargetResult& result) {
          store->RecordTarget(result);
          Print(TargetLine(result));
          const std::vector<survey::Event> events = follow->Observe(result);
          for (const survey::Event& event : events) raise(event);
          if (view) {
            view->Show(result.target, follow->Last(result.target), events);
          }
          FlushOutput();
        },
        boost::asio::bind_cancellation_slot(
            stopRound.slot(),
            [&](boost::system::error_code error, survey::RoundResult result) {
              ended.emplace(error, std::move(result));
            }));
    io.restart();
    while (!ended && io.run_one() > 0) {
    }
    stopRound.slot().clear();
    const auto& [error, result] = *ended;
    try {
      store->FinishRound(plan.round, result.status, result.finished);
      follow->FinishRound(plan.round, result.status);
    } catch (const survey::StoreError& failure) {
      throw ToolError(kExitFailure, failure.what());
    }
    Print(RoundLine(plan.round, plan.targets.size(), result));
    FlushOutput();
    // The reference round's own epochs are shown once it is known to be it.
    if (view) {
      for (const survey::Target& target : job.plan.targets) {
        view->Show(target.id, follow->Last(target.id), {});
      }
    }
    if (error == host::make_error_code(host::ErrorKind::kIo)) {
      throw ToolError(kExitFailure, result.message);
    }
    if (error == host::make_error_code(host::ErrorKind::kClosed)) {
      // Reconnecting is bounded: a few tries, then the tool gives up with
      // the status of a connection that closed, not of one never made.
      PrintError("the instrument closed the connection");
      bool back = false;
      for (int attempt = 1; attempt <= kReconnectTries && !back; ++attempt) {
        PrintError("reconnecting (" + std::to_string(attempt) + " of " +
                   std::to_string(kReconnectTries) + ")");
        std::this_thread::sleep_for(kReconnectPause);
        try {
          session = Connect(io, job);
          back = true;
        } catch (const ToolError& failure) {
          if (attempt == kReconnectTries) {
            throw ToolError(kExitClosed,
                            std::string("the instrument closed the connection "
                                        "and could not be reached again: ") +
                                failure.what());
          }
          PrintError(failure.what());
        }
      }
    }
    const bool more = options.rounds == 0 || round < options.rounds;
    if (interval && more && !interrupted) {
      pause.expires_at(began + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(*interval)));
      bool paused = true;
      pause.async_wait(
          [&](const boost::system::error_code&) { paused = false; });
      io.restart();
      while (paused && io.run_one() > 0) {
      }
    }
  }
  signals.cancel();
  session.Close();
  io.restart();
  // Hooks still running finish or are killed at their bound.
  while (hooksRunning > 0 && io.run_one() > 0) {
  }
  io.poll();
  return kExitOk;
}

int RunLearn(const LearnOptions& options) {
  survey::Station station;
  const std::vector<double>& s = options.station;
  if (!s.empty()) {
    if (s.size() < 3 || s.size() > 5) {
      throw UsageError(
          "--station must be EASTING,NORTHING,HEIGHT[,INSTRUMENT_HEIGHT[,"
          "ORIENTATION]]");
    }
    station.easting = s[0];
    station.northing = s[1];
    station.height = s[2];
    if (s.size() > 3) station.instrumentHeight = s[3];
    if (s.size() > 4) station.orientation = s[4];
  }
  if (!(options.step > 0) || !(options.hzRange >= 0) ||
      !(options.vRange >= 0)) {
    throw UsageError("--step must be above 0 and the ranges at least 0");
  }
  try {
    host::BlockingSession session =
        host::BlockingSession::Connect(options.instrument);
    survey::LearnWindow window{options.centerHz, options.centerV,
                               options.hzRange, options.vRange, options.step};
    const std::vector<survey::Target> targets = survey::LearnTargets(
        session, station, window,
        [](const survey::Target& target) { PrintError("found " + target.id); });
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const survey::Target& target : targets) {
      list.push_back({{"id", target.id},
                      {"easting", target.coordinates->easting},
                      {"northing", target.coordinates->northing},
                      {"height", target.coordinates->height}});
    }
    Print(nlohmann::ordered_json{{"targets", list}}.dump(2) + "\n");
  } catch (const host::SessionError& error) {
    throw ToolError(StatusFor(error.error().kind), error.what());
  }
  return kExitOk;
}

}  // namespace

Runner AddMonitor(CLI::App& app) {
  auto options = std::make_shared<MonitorOptions>();
  auto learn = std::make_shared<LearnOptions>();
  CLI::App* command = app.add_subcommand(
      "monitor",
      "Measure the targets of a monitoring job (a JSON file, "
      "docs/monitoring.md) round after round into its store, printing a "
      "line per target and per round. SIGINT or SIGTERM lets the target "
      "under way finish, marks the round and ends with status 0.");
  command->add_option("JOB", options->job, "The job file")->type_name("FILE");
  command
      ->add_option("--rounds", options->rounds,
                   "Stop after N rounds (default: until interrupted)")
      ->type_name("N");
  command
      ->add_option("--every", options->every,
                   "Start a round every DURATION (90, 90s, 15m, 2h, 1d), "
                   "instead of the job's interval")
      ->type_name("DURATION");
  command
      ->add_option("--http", options->http,
                   "Serve a page of each target's displacements over time "
                   "with its limits, updated as each target is measured "
                   "(docs/monitoring.md), on HOST:PORT; prints 'monitor page "
                   "on http://HOST:PORT/'. Loopback only, unless "
                   "--http-remote is given")
      ->type_name("HOST:PORT");
  CLI::Option* httpRemote = command->add_flag(
      "--http-remote", options->httpRemote,
      "Allow --http on an address other hosts reach: anyone who reaches it "
      "sees the job's results");
  command
      ->add_option("--http-name", options->httpNames,
                   "With --http-remote: a name browsers on other hosts ask "
                   "for the page by (repeat or separate by commas)")
      ->delimiter(',')
      ->needs(httpRemote)
      ->type_name("NAME");
  command->footer(ExitStatusHelp(
      {kExitOk, kExitFailure, kExitUsage, kExitClosed, kExitConnect}));

  CLI::App* sweep = command->add_subcommand(
      "learn",
      "Sweep a window with target recognition and print each prism found "
      "as a target list for a job file (JSON)");
  sweep
      ->add_option("--instrument", learn->instrument,
                   "The instrument's HOST:PORT")
      ->required()
      ->type_name("HOST:PORT");
  sweep
      ->add_option("--station", learn->station,
                   "EASTING,NORTHING,HEIGHT[,INSTRUMENT_HEIGHT[,ORIENTATION]] "
                   "(default 0,0,0,0,0)")
      ->delimiter(',')
      ->type_name("E,N,H[,IH[,O]]");
  sweep->add_option("--center-hz", learn->centerHz,
                    "Horizontal centre of the window, radians (default 0)");
  sweep->add_option("--center-v", learn->centerV,
                    "Zenith angle of the window's centre, radians "
                    "(default π/2)");
  sweep->add_option("--hz-range", learn->hzRange,
                    "Full width of the window, radians (default 2π)");
  sweep->add_option("--v-range", learn->vRange,
                    "Full height of the window, radians (default 0.3)");
  sweep->add_option("--step", learn->step,
                    "Radians between aims (default 0.018)");
  sweep->footer(ExitStatusHelp({kExitOk, kExitFailure, kExitUsage, kExitTimeout,
                                kExitClosed, kExitConnect}));

  Runner report = AddMonitorReport(*command);
  CLI::App* reportCommand = command->get_subcommands({}).back();

  return [command, sweep, reportCommand, report, options, learn] {
    if (sweep->parsed()) return RunLearn(*learn);
    if (reportCommand->parsed()) return report();
    if (options->job.empty()) {
      throw UsageError("geocom monitor needs a JOB file (or 'learn')");
    }
    (void)command;
    return RunMonitor(*options);
  };
}

}  // namespace geocom
