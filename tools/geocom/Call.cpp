// geocom call: one exchange with an instrument, over TCP or a serial line.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>

#include <memory>

#include "CallExchange.h"
#include "ExitStatus.h"
#include "InstrumentOptions.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

struct CallOptions {
  InstrumentOptions line;
  CallSettings settings;
  bool raw = false;
  std::string command;
  std::vector<std::string> arguments;
};

int RunCall(const CallOptions& options) {
  try {
    std::vector<std::string> words{options.command};
    words.insert(words.end(), options.arguments.begin(),
                 options.arguments.end());
    // Every argument is checked before the line is even opened.
    const PreparedCall call =
        PrepareCall(words, options.settings.units, options.raw);
    BlockingSession session = OpenInstrument(options.line);
    StartSequenceAtRandom();
    return MakeCall(session, call, options.settings);
  } catch (const ToolError& error) {
    return ReportFailure(options.command, error, options.settings);
  }
}

}  // namespace

Runner AddCall(CLI::App& app) {
  auto options = std::make_shared<CallOptions>();
  CLI::App* call = app.add_subcommand(
      "call", "Make one exchange with an instrument or a virtual instrument");
  AddInstrumentOptions(*call, options->line);
  AddCallSettings(*call, options->settings);
  call->add_flag("--raw", options->raw,
                 "Call the procedure with this number and the parameter text "
                 "given as it is (for procedures not listed below)");
  // Two positionals, so that "--" may come before the command or after it
  // (for negative arguments); CLI11 ends a list of positionals there.
  call->add_option("command", options->command, "Command, see below")
      ->type_name("COMMAND");
  call->add_option("arguments", options->arguments, "Its arguments")
      ->type_name("ARGS...");
  SetCallHelpFooter(*call, "", true);
  return [options] { return RunCall(*options); };
}

}  // namespace geocom
