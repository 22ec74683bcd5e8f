// geocom call: one exchange with an instrument, over TCP or a serial line.
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <boost/asio/io_context.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>

#include "CallCommands.h"
#include "ExitStatus.h"
#include "InstrumentOptions.h"
#include "Output.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

struct CallOptions {
  InstrumentOptions line;
  std::optional<unsigned> timeoutMs;
  bool json = false;
  std::string command;
  std::vector<std::string> arguments;
};

ExitStatus StatusFor(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kTimeout:
      return kExitTimeout;
    case ErrorKind::kClosed:
      return kExitClosed;
    case ErrorKind::kInvalidReply:
      return kExitInvalidReply;
    case ErrorKind::kReturnCode:
      return kExitReturnCode;
    case ErrorKind::kInvalidArgument:
      return kExitUsage;
    case ErrorKind::kIo:
    case ErrorKind::kConnect:
      break;
  }
  return kExitFailure;
}

Session Open(boost::asio::io_context& io, const CallOptions& options) {
  try {
    return options.line.connect.empty()
               ? Session::OpenSerial(io, options.line.serial, options.line.baud)
               : Session::ConnectTcp(io, options.line.connect);
  } catch (const SessionError& error) {
    throw ToolError(StatusFor(error.error().kind), error.what());
  }
}

nlohmann::json JsonValue(const FieldValue& value) {
  return std::visit([](const auto& v) { return nlohmann::json(v); }, value);
}

void PrintReply(const Procedure& procedure, const Reply& reply,
                const Fields& fields, bool json) {
  if (!json) {
    std::string text = "return-code = 0\n";
    for (const Field& field : fields) {
      text += field.name + " = " + FormatValue(field.value) + "\n";
    }
    Print(text);
    return;
  }
  nlohmann::json values = nlohmann::json::object();
  for (const Field& field : fields) values[field.name] = JsonValue(field.value);
  const nlohmann::json line = {
      {"command", procedure.name},
      {"procedure", procedure.id},
      {"sequence", reply.sequence},
      {"return_code", 0},
      {"round_trip_ms", static_cast<double>(reply.roundTrip.count()) / 1000.0},
      {"values", values}};
  Print(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
        "\n");
}

int RunCall(const CallOptions& options) {
  const CallCommand* command = FindCallCommand(options.command);
  if (command == nullptr) {
    throw UsageError("unknown command '" + options.command +
                     "' (see geocom call --help)");
  }
  const Procedure& procedure = *FindProcedure(command->procedure);
  // Every argument is checked before the line is even opened.
  const std::string parameters = PackCallArguments(*command, options.arguments);

  boost::asio::io_context io;
  Session session = Open(io, options);
  // A late reply left on the line by an earlier run carries a number the
  // next run is unlikely to use when each starts at a random point.
  std::random_device seed;
  StartSequenceAt(static_cast<unsigned short>(
      std::uniform_int_distribution<unsigned>(0, 32767)(seed)));

  Core::GEOCOM::host::CallOptions callOptions;
  if (options.timeoutMs) {
    callOptions.timeout = std::chrono::milliseconds(*options.timeoutMs);
  }
  const Result<Reply> reply =
      session.Call(command->procedure, parameters, callOptions);
  if (!reply) {
    const Error& error = reply.error();
    if (error.kind == ErrorKind::kReturnCode && !options.json) {
      Print("return-code = " + std::to_string(error.returnCode) + "\n");
    }
    throw ToolError(StatusFor(error.kind), error.message);
  }
  const std::optional<Fields> fields =
      ReplyFields(command->procedure, reply->sentence);
  if (!fields) {
    throw ToolError(kExitFailure,
                    "the reply to " + std::string(procedure.name) +
                        " does not decode: " + EscapeBytes(reply->bytes));
  }
  PrintReply(procedure, *reply, *fields, options.json);
  return kExitOk;
}

}  // namespace

Runner AddCall(CLI::App& app) {
  auto options = std::make_shared<CallOptions>();
  CLI::App* call = app.add_subcommand(
      "call", "Make one exchange with an instrument or a virtual instrument");
  AddInstrumentOptions(*call, options->line);
  call->add_option("--timeout", options->timeoutMs,
                   "Wait at most this many milliseconds instead of the "
                   "procedure's own time-out")
      ->type_name("MS")
      ->check(CLI::Range(1u, 3600000u));
  call->add_flag("--json", options->json,
                 "Print the decoded values as one JSON object");
  call->add_option("command", options->command, "Command, see below")
      ->required();
  call->add_option("arguments", options->arguments, "The command's arguments");
  call->footer(
      "Commands and their arguments (procedure number):\n" +
      CallCommandListing() + "\n" +
      ExitStatusHelp({kExitOk, kExitFailure, kExitUsage, kExitTimeout,
                      kExitClosed, kExitInvalidReply, kExitReturnCode}));
  return [options] { return RunCall(*options); };
}

}  // namespace geocom
