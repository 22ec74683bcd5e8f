// geocom monitor report: the monitoring report of a store as one HTML file.
#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/ResultFiles.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "ExitStatus.h"
#include "Subcommands.h"

namespace geocom {

namespace survey = Core::GEOCOM::survey;

namespace {

// The limits and reference round of a job file (JSON), for the report.
void ReadJob(const std::string& path, std::vector<survey::Limit>& limits,
             std::optional<std::int64_t>& referenceRound) {
  std::ifstream file(path);
  if (!file) throw UsageError(path + ": cannot read the job file");
  const nlohmann::json job = nlohmann::json::parse(file, nullptr, false);
  if (job.is_discarded() || !job.is_object()) {
    throw UsageError(path + ": not a JSON job file");
  }
  try {
    if (job.contains("limits")) {
      limits = survey::LimitsFromJson(job["limits"].dump());
    }
  } catch (const survey::LimitError& error) {
    throw UsageError(path + ": " + error.what());
  }
  if (job.contains("reference_round")) {
    if (!job["reference_round"].is_number_integer()) {
      throw UsageError(path + ": reference_round: expected a round number");
    }
    referenceRound = job["reference_round"].get<std::int64_t>();
  }
}

}  // namespace

Runner AddMonitorReport(CLI::App& monitor) {
  struct Options {
    std::string store;
    std::string html;
    std::string since;
    std::string target;
    std::string job;
    std::string title = "Monitoring report";
  };
  auto options = std::make_shared<Options>();
  CLI::App* report = monitor.add_subcommand(
      "report",
      "Write the monitoring report of a store: one HTML file with each "
      "target's displacements over time and its limits, a plan with "
      "displacement arrows, the last values and the events.");
  report->add_option("STORE", options->store, "The results store")->required();
  report->add_option("--html", options->html, "The HTML file to write")
      ->required();
  report->add_option("--since", options->since,
                     "Only epochs and events from this UTC time on "
                     "(2026-12-01 or 2026-12-01T06:00:00Z)");
  report->add_option("--target", options->target, "Only this target");
  report->add_option("--job", options->job,
                     "The job file whose limits (and reference_round) the "
                     "report draws");
  report->add_option("--title", options->title, "The report's title");
  report->footer(ExitStatusHelp({kExitOk, kExitFailure, kExitUsage}));
  return [options] {
    survey::ReportQuery query;
    if (!options->since.empty()) {
      query.since = survey::ParseTime(options->since);
      if (!query.since) {
        throw UsageError("--since: \"" + options->since +
                         "\" is not a UTC time such as 2026-12-01T06:00:00Z");
      }
    }
    if (!options->target.empty()) query.target = options->target;
    std::vector<survey::Limit> limits;
    if (!options->job.empty())
      ReadJob(options->job, limits, query.referenceRound);
    std::unique_ptr<survey::Store> store;
    try {
      store = survey::OpenStore(options->store, survey::StoreMode::kReadOnly);
    } catch (const survey::StoreError& error) {
      throw ToolError(kExitFailure, error.what());
    }
    survey::ReportOptions look;
    look.title = options->title;
    const std::string html =
        survey::ReportOfStore(*store, query, std::move(limits), look);
    const std::string partial = options->html + ".partial";
    {
      std::ofstream file(partial, std::ios::binary | std::ios::trunc);
      file << html;
      if (!file.flush()) {
        throw ToolError(kExitFailure,
                        options->html + ": cannot write the report");
      }
    }
    // Whole or not at all: a reader never sees half a report.
    if (std::rename(partial.c_str(), options->html.c_str()) != 0) {
      std::remove(partial.c_str());
      throw ToolError(kExitFailure,
                      options->html + ": cannot write the report");
    }
    return static_cast<int>(kExitOk);
  };
}

}  // namespace geocom
