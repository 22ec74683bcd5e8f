#include "CallExchange.h"

#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include "CallCommands.h"
#include "InstrumentOptions.h"
#include "Output.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

int Report(const Failure& failure, const CallSettings& settings) {
  if (settings.json) {
    Print(FailureJson(failure));
  } else if (failure.returnCode) {
    Print(ReturnCodeText(*failure.returnCode));
  }
  PrintError(failure.message);
  return failure.exitStatus;
}

// A procedure named by its number, with a parameter text as it is: for
// procedures the catalogue does not describe.
PreparedCall RawCall(const std::vector<std::string>& words) {
  const std::string& number = words.front();
  unsigned long id = 0;
  std::size_t used = 0;
  try {
    id = std::stoul(number, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != number.size() || id > 65535) {
    throw UsageError("--raw: '" + number +
                     "' is not a procedure number (0 to 65535)");
  }
  if (words.size() > 2) {
    throw UsageError("--raw takes one parameter text, not " +
                     std::to_string(words.size() - 1));
  }
  PreparedCall call;
  call.parameters = words.size() == 2 ? words[1] : "";
  const Procedure* named = FindProcedure(static_cast<unsigned short>(id));
  if (named != nullptr) {
    call.procedure = *named;
  } else {
    call.procedure.id = static_cast<ProcedureId>(id);
    call.procedure.name = "raw";
    call.procedure.timeout = ReplyTimeout(call.procedure.id);
  }
  // Checked before the line is opened, as the named arguments are.
  const Result<Core::GEOCOM::GeoComSentence> composed =
      ComposeRequest(call.procedure.id, call.parameters);
  if (!composed) throw UsageError(composed.error().message);
  return call;
}

// A call of a procedure the catalogue does not describe: its one value is
// the reply's parameter text as it is.
Result<NamedReply> Raw(BlockingSession& session, unsigned short procedure,
                       const std::string& parameters,
                       const CallOptions& options) {
  Result<Reply> reply = session.TryCall(procedure, parameters, options);
  if (!reply) return reply.error();
  Fields values{{"parameters", SentenceBytes(reply->sentence)}};
  return NamedReply{std::move(*reply), std::move(values)};
}

}  // namespace

void AddCallSettings(CLI::App& command, CallSettings& settings) {
  command
      .add_option("--timeout", settings.timeoutMs,
                  "Wait at most this many milliseconds instead of the "
                  "procedure's own time-out")
      ->type_name("MS")
      ->check(Milliseconds());
  command.add_flag("--json", settings.json,
                   "Print each outcome, values or error, as one JSON object");
  AddUnitsOption(command, settings.units);
}

namespace {

std::string CallHelpFooter(bool raw) {
  return std::string(
             "Commands and their arguments (procedure number), with "
             "the values of settings and modes") +
         (raw ? "; with --raw, PROCEDURE [TEXT] instead" : "") + ":\n" +
         CallCommandListing() +
         "\nArguments: numbers in decimal (-1.5, 2e-3); after a name its "
         "unit: angle (radians, or what --units says: deg, gon), angle/s, m, "
         "ms, ...; truth values such as <ON>: 1/0, on/off or true/false; "
         "<DATE-TIME>: 2024-03-15T10:30:00; byte fields such as <DATE>: "
         "24.5.12; texts as they are, without double quotes. The values "
         "printed are in the same units.\n\n" +
         ExitStatusHelp({kExitOk, kExitFailure, kExitUsage, kExitTimeout,
                         kExitClosed, kExitInvalidReply, kExitReturnCode,
                         kExitConnect});
}

}  // namespace

void SetCallHelpFooter(CLI::App& command, std::string intro, bool raw) {
  // Built only when help is asked for: listing the commands costs more than
  // the rest of the tool's start-up. The plain footer a subcommand inherits
  // is cleared; CLI11 ends a footer with a newline of its own.
  command.footer(std::string());
  command.footer([intro = std::move(intro), raw] {
    std::string footer = intro + CallHelpFooter(raw);
    if (!footer.empty() && footer.back() == '\n') footer.pop_back();
    return footer;
  });
}

PreparedCall PrepareCall(const std::vector<std::string>& words, AngleUnit units,
                         bool raw) {
  // A command given as "" is no command, in the tool and in the shell.
  if (words.empty() || words.front().empty()) {
    throw UsageError("a command is required");
  }
  if (raw) return RawCall(words);
  const Procedure* command = FindCallCommand(words.front());
  if (command == nullptr) {
    throw UsageError("unknown command '" + words.front() +
                     "' (see geocom call --help)");
  }
  return {*command,
          PackCallArguments(
              *command, ArgumentsInRadians(*command,
                                           std::vector<std::string>(
                                               words.begin() + 1, words.end()),
                                           units))};
}

int MakeCall(BlockingSession& session, const PreparedCall& call,
             const CallSettings& settings) {
  const Procedure& procedure = call.procedure;
  Failure failure;
  failure.command = procedure.name;
  failure.procedure = &procedure;

  CallOptions options;
  if (settings.timeoutMs) {
    options.timeout = std::chrono::milliseconds(*settings.timeoutMs);
  }
  Result<NamedReply> outcome =
      procedure.known
          ? CallNamed(session, NamedRequest{&procedure, call.parameters},
                      options)
          : Raw(session, procedure.id, call.parameters, options);
  if (!outcome) {
    const Error& error = outcome.error();
    failure.exitStatus = StatusFor(error.kind);
    failure.message = error.message;
    if (error.kind == ErrorKind::kReturnCode) {
      failure.returnCode = error.returnCode;
    }
    return Report(failure, settings);
  }
  const Fields fields =
      ValuesInUnit(procedure, std::move(outcome->values), settings.units);
  Print(settings.json ? ReplyJson(procedure, outcome->reply, fields)
                      : ReplyText(fields));
  return kExitOk;
}

int ReportFailure(const std::string& command, const ToolError& error,
                  const CallSettings& settings) {
  Failure failure;
  failure.command = command;
  failure.procedure = FindCallCommand(command);
  failure.exitStatus = error.status();
  failure.message = error.what();
  return Report(failure, settings);
}

}  // namespace geocom
