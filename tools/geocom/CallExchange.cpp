#include "CallExchange.h"

#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <random>

#include "InstrumentOptions.h"
#include "Output.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

int Report(Failure failure, const CallSettings& settings) {
  if (settings.json) {
    Print(FailureJson(failure));
  } else if (failure.returnCode) {
    Print("return-code = " + std::to_string(*failure.returnCode) + "\n");
  }
  PrintError(failure.message);
  return failure.exitStatus;
}

}  // namespace

void StartSequenceAtRandom() {
  std::random_device seed;
  StartSequenceAt(static_cast<unsigned short>(
      std::uniform_int_distribution<unsigned>(0, 32767)(seed)));
}

PreparedCall PrepareCall(const std::vector<std::string>& words) {
  if (words.empty()) throw UsageError("a command is required");
  const CallCommand* command = FindCallCommand(words.front());
  if (command == nullptr) {
    throw UsageError("unknown command '" + words.front() +
                     "' (see geocom call --help)");
  }
  return {command,
          PackCallArguments(*command, std::vector<std::string>(
                                          words.begin() + 1, words.end()))};
}

int MakeCall(Session& session, const PreparedCall& call,
             const CallSettings& settings) {
  const Procedure& procedure = *FindProcedure(call.command->procedure);
  Failure failure;
  failure.command = procedure.name;
  failure.procedure = &procedure;

  CallOptions options;
  if (settings.timeoutMs) {
    options.timeout = std::chrono::milliseconds(*settings.timeoutMs);
  }
  const Result<Reply> reply =
      session.Call(call.command->procedure, call.parameters, options);
  if (!reply) {
    const Error& error = reply.error();
    failure.exitStatus = StatusFor(error.kind);
    failure.message = error.message;
    if (error.kind == ErrorKind::kReturnCode) {
      failure.returnCode = error.returnCode;
    }
    return Report(failure, settings);
  }
  const std::optional<Fields> fields =
      ReplyFields(call.command->procedure, reply->sentence);
  if (!fields) {
    failure.message = "the reply to " + std::string(procedure.name) +
                      " does not decode: " + EscapeBytes(reply->bytes);
    return Report(failure, settings);
  }
  Print(settings.json ? ReplyJson(procedure, *reply, *fields)
                      : ReplyText(*fields));
  return kExitOk;
}

int ReportFailure(const std::string& command, const ToolError& error,
                  const CallSettings& settings) {
  const CallCommand* known = FindCallCommand(command);
  Failure failure;
  failure.command = command;
  failure.procedure =
      known != nullptr ? FindProcedure(known->procedure) : nullptr;
  failure.exitStatus = error.status();
  failure.message = error.what();
  return Report(failure, settings);
}

void AddCallSettings(CLI::App& command, CallSettings& settings) {
  command
      .add_option("--timeout", settings.timeoutMs,
                  "Wait at most this many milliseconds instead of the "
                  "procedure's own time-out")
      ->type_name("MS")
      ->check(Milliseconds());
  command.add_flag("--json", settings.json,
                   "Print each outcome, values or error, as one JSON object");
}

std::string CallHelpFooter() {
  return "Commands and their arguments (procedure number):\n" +
         CallCommandListing() + "\n" +
         ExitStatusHelp({kExitOk, kExitFailure, kExitUsage, kExitTimeout,
                         kExitClosed, kExitInvalidReply, kExitReturnCode,
                         kExitConnect});
}

}  // namespace geocom
