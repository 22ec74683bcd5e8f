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
  std::vector<std::string> words;  // the command and its arguments
};

int RunCall(const CallOptions& options) {
  try {
    // Every argument is checked before the line is even opened.
    const PreparedCall call =
        PrepareCall(options.words, options.settings.units, options.raw);
    BlockingSession session = OpenInstrument(options.line);
    StartSequenceAtRandom();
    return MakeCall(session, call, options.settings);
  } catch (const ToolError& error) {
    return ReportFailure(options.words.empty() ? "" : options.words.front(),
                         error, options.settings);
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
  call->add_option("command", options->words,
                   "Command and its arguments, see below")
      ->type_name("COMMAND [ARGS...]");
  call->footer(CallHelpFooter(true));
  return [options] { return RunCall(*options); };
}

}  // namespace geocom
