// geocom: a command-line client of the host and simulator libraries: a
// virtual instrument, one call at a time, a recording relay and a traffic
// decoder.
#include <DazoZazIdoRezeraro/host/Version.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ExitStatus.h"
#include "Output.h"
#include "Subcommands.h"

namespace {

using namespace geocom;

int Fail(int status, const std::string& message) {
  PrintError(message);
  return status;
}

std::string SubcommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* subcommand : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + subcommand->get_name();
  }
  return names;
}

bool IsNumber(const std::string& word) {
  char* end = nullptr;
  std::strtod(word.c_str(), &end);
  return !word.empty() && *end == '\0';
}

// CLI11 says "A subcommand is required" for `geocom --bogus` and "The
// following argument was not expected" elsewhere: walk the words as the
// parser did and name the first one that no subcommand or option knows.
std::optional<std::string> UnknownWord(const CLI::App& app, int argc,
                                       char** argv) {
  const CLI::App* context = &app;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    if (word.size() > 1 && word[0] == '-' && !IsNumber(word)) {
      const std::string name = word.substr(0, word.find('='));
      const CLI::Option* option = context->get_option_no_throw(name);
      if (option == nullptr) {
        return "unknown option '" + name + "' for '" +
               (context == &app ? "geocom" : "geocom " + context->get_name()) +
               "'";
      }
      if (option->get_expected_max() > 0 && name == word) ++i;
    } else if (context == &app) {
      const auto subcommands = app.get_subcommands({});
      const auto found = std::find_if(subcommands.begin(), subcommands.end(),
                                      [&word](const CLI::App* subcommand) {
                                        return subcommand->get_name() == word;
                                      });
      if (found == subcommands.end()) {
        return "unknown subcommand '" + word + "' (one of " +
               SubcommandNames(app) + ")";
      }
      context = *found;
    }
  }
  return std::nullopt;
}

std::string ParseErrorMessage(const CLI::App& app, const CLI::ParseError& error,
                              int argc, char** argv) {
  if (std::optional<std::string> unknown = UnknownWord(app, argc, argv)) {
    return *unknown;
  }
  if (app.get_subcommands().empty()) {
    return "a subcommand is required (one of " + SubcommandNames(app) + ")";
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
    for (const auto add : {AddCall, AddDecode, AddDemo, AddExport, AddMonitor,
                           AddRecord, AddShell, AddSimulate}) {
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
    const std::string message = ParseErrorMessage(app, error, argc, argv);
    if (std::find(argv + 1, argv + argc, std::string("--json")) !=
        argv + argc) {
      Failure failure;
      failure.exitStatus = kExitUsage;
      failure.message = message;
      Print(FailureJson(failure));
      FlushOutput();
    }
    return Fail(kExitUsage, message);
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
