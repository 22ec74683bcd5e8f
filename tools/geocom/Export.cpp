// geocom export: a store's results as CSV or GeoJSON on standard output.
#include <DazoZazIdoRezeraro/survey/ResultFiles.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <iostream>
#include <memory>

#include "ExitStatus.h"
#include "Output.h"
#include "Subcommands.h"

namespace geocom {
namespace {

using namespace Core::GEOCOM;

struct ExportOptions {
  std::string store;
  bool csv = false;
  bool geojson = false;
  std::string target;
  std::string since;
};

int RunExport(const ExportOptions& options) {
  if (options.csv == options.geojson) {
    throw UsageError("geocom export needs one of --csv and --geojson");
  }
  survey::ResultQuery query;
  if (!options.target.empty()) query.target = options.target;
  if (!options.since.empty()) {
    query.since = survey::ParseTime(options.since);
    if (!query.since) {
      throw UsageError(
          "--since must be a UTC time such as 2026-03-15 or "
          "2026-03-15T10:30:00Z, not '" +
          options.since + "'");
    }
  }
  try {
    auto store = survey::OpenStore(options.store, survey::StoreMode::kReadOnly);
    FlushOutput();
    if (options.csv) {
      survey::WriteCsv(*store, query, std::cout);
    } else {
      survey::WriteGeoJson(*store, query, std::cout);
    }
    std::cout.flush();
    if (!std::cout) throw ToolError(kExitFailure, "cannot write the export");
  } catch (const survey::StoreError& error) {
    throw ToolError(kExitFailure, error.what());
  }
  return kExitOk;
}

}  // namespace

Runner AddExport(CLI::App& app) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* command = app.add_subcommand(
      "export",
      "Write the results of a monitoring store as CSV (a header row, a row "
      "per target per round) or as a GeoJSON FeatureCollection, in time "
      "order");
  command
      ->add_option("STORE", options->store,
                   "The store: a file, or a PostgreSQL URI")
      ->required()
      ->type_name("FILE");
  command->add_flag("--csv", options->csv, "Write CSV");
  command->add_flag("--geojson", options->geojson, "Write GeoJSON");
  command->add_option("--target", options->target, "Only this target")
      ->type_name("ID");
  command
      ->add_option("--since", options->since,
                   "Only results from this UTC time on (2026-03-15 or "
                   "2026-03-15T10:30:00Z)")
      ->type_name("TIME");
  command->footer(ExitStatusHelp({kExitOk, kExitFailure, kExitUsage}));
  return [options] { return RunExport(*options); };
}

}  // namespace geocom
