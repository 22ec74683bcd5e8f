#ifndef GEOCOM_TOOL_SUBCOMMANDS_H
#define GEOCOM_TOOL_SUBCOMMANDS_H

#include <CLI/CLI.hpp>
#include <functional>

// Each subcommand registers itself and its options on the tool's command
// line and returns what runs it once the command line has been parsed.
namespace geocom {

using Runner = std::function<int()>;

Runner AddCall(CLI::App& app);
Runner AddDecode(CLI::App& app);
Runner AddDemo(CLI::App& app);
Runner AddExport(CLI::App& app);
Runner AddMonitor(CLI::App& app);
Runner AddRecord(CLI::App& app);
Runner AddShell(CLI::App& app);
Runner AddSimulate(CLI::App& app);

// `report` under `geocom monitor`.
Runner AddMonitorReport(CLI::App& monitor);

}  // namespace geocom

#endif
