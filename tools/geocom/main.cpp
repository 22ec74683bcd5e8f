// geocom: a command-line client of the host and simulator libraries: a
// virtual instrument, one call at a time, a recording relay and a traffic
// decoder.
#include <DazoZazIdoRezeraro/host/Version.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "ExitStatus.h"
#include "Output.h"
#include "Subcommands.h"

namespace {

using namespace geocom;

int Fail(int status, const std::string& message) {
  std::cerr << "geocom: " << message << '\n';
  return status;
}

// CLI11 says "The following argument was not expected: bogus" when the first
// word names no subcommand; say which word and what would do.
std::string ParseErrorMessage(const CLI::App& app, const CLI::ParseError& error,
                              int argc, char** argv) {
  if (argc > 1 && argv[1][0] != '-') {
    const std::string word = argv[1];
    bool known = false;
    std::string names;
    for (const CLI::App* subcommand : app.get_subcommands({})) {
      known = known || subcommand->get_name() == word;
      names += (names.empty() ? "" : ", ") + subcommand->get_name();
    }
    if (!known) {
      return "unknown subcommand '" + word + "' (one of " + names + ")";
    }
  }
  return error.what();
}

}  // namespace

int main(int argc, char** argv) {
  // A peer or a reader that goes away shows up as a failed write.
  std::signal(SIGPIPE, SIG_IGN);

  CLI::App app{
      "Talk GeoCOM to survey instruments: a virtual instrument, one call at "
      "a time, a recording relay and a traffic decoder.",
      "geocom"};
  app.set_version_flag("--version",
                       std::string("geocom ") + Core::GEOCOM::host::Version());
  app.require_subcommand(1);
  app.footer("Run 'geocom SUBCOMMAND --help' for a subcommand's options.\n\n" +
             ExitStatusHelp({kExitOk, kExitUsage}));

  const std::vector<std::pair<CLI::App*, Runner>> subcommands = [&app] {
    std::vector<std::pair<CLI::App*, Runner>> added;
    for (const auto add :
         {AddCall, AddDecode, AddDemo, AddRecord, AddSimulate}) {
      Runner runner = add(app);
      added.emplace_back(app.get_subcommands({}).back(), std::move(runner));
    }
    return added;
  }();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    return Fail(kExitUsage, ParseErrorMessage(app, error, argc, argv));
  }

  try {
    for (const auto& [subcommand, run] : subcommands) {
      if (subcommand->parsed()) {
        const int status = run();
        FlushOutput();
        return status;
      }
    }
    return Fail(kExitUsage, "a subcommand is required");
  } catch (const ToolError& error) {
    return Fail(error.status(), error.what());
  } catch (const std::exception& error) {
    return Fail(kExitFailure, error.what());
  }
}
