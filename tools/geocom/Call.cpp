// geocom call: one exchange with an instrument, over TCP or a serial line.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>

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
  bool raw = false;
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
    case ErrorKind::kCancelled:
      break;
  }
  return kExitFailure;
}

BlockingSession Open(const CallOptions& options) {
  try {
    return options.line.connect.empty()
               ? BlockingSession::OpenSerial(options.line.serial,
                                             options.line.baud)
               : BlockingSession::Connect(options.line.connect);
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

// A procedure named by its number, with a parameter text as it is: for
// procedures the catalogue does not describe.
Procedure RawProcedure(const CallOptions& options, std::string& parameters) {
  unsigned long number = 0;
  std::size_t used = 0;
  try {
    number = std::stoul(options.command, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != options.command.size() || number > 65535) {
    throw UsageError("--raw: '" + options.command +
                     "' is not a procedure number (0 to 65535)");
  }
  if (options.arguments.size() > 1) {
    throw UsageError("--raw takes one parameter text, not " +
                     std::to_string(options.arguments.size()));
  }
  parameters = options.arguments.empty() ? "" : options.arguments.front();
  const Procedure* named = FindProcedure(static_cast<unsigned short>(number));
  if (named != nullptr) return *named;
  Procedure raw{};
  raw.id = static_cast<ProcedureId>(number);
  raw.name = "raw";
  raw.timeout = ReplyTimeout(raw.id);
  return raw;
}

int RunCall(const CallOptions& options) {
  std::string parameters;
  Procedure procedure{};
  if (options.raw) {
    procedure = RawProcedure(options, parameters);
    // Checked before the line is opened, as the named arguments are.
    const Result<Core::GEOCOM::GeoComSentence> composed =
        ComposeRequest(procedure.id, parameters);
    if (!composed) throw UsageError(composed.error().message);
  } else {
    const Procedure* command = FindCallCommand(options.command);
    if (command == nullptr) {
      throw UsageError("unknown command '" + options.command +
                       "' (see geocom call --help)");
    }
    procedure = *command;
    // Every argument is checked before the line is even opened.
    parameters = PackCallArguments(procedure, options.arguments);
  }

  BlockingSession session = Open(options);
  // A late reply left on the line by an earlier run carries a number the
  // next run is unlikely to use when each starts at a random point.
  std::random_device seed;
  StartSequenceAt(static_cast<unsigned short>(
      std::uniform_int_distribution<unsigned>(0, kSequenceNumbers - 1)(seed)));

  Core::GEOCOM::host::CallOptions callOptions;
  if (options.timeoutMs) {
    callOptions.timeout = std::chrono::milliseconds(*options.timeoutMs);
  }
  boost::system::error_code failure;
  const Reply reply =
      session.Call(procedure.id, parameters, callOptions, failure);
  if (failure) {
    const ErrorKind kind = KindOf(failure);
    if (kind == ErrorKind::kReturnCode && !options.json) {
      Print("return-code = " + std::to_string(reply.returnCode) + "\n");
    }
    throw ToolError(StatusFor(kind), reply.diagnostics);
  }
  Fields fields;
  if (procedure.known) {
    Result<Fields> decoded = DecodeReply(procedure, reply.sentence);
    if (!decoded) {
      throw ToolError(kExitInvalidReply, decoded.error().message);
    }
    fields = std::move(*decoded);
  } else {
    fields.push_back({"parameters", SentenceBytes(reply.sentence)});
  }
  PrintReply(procedure, reply, fields, options.json);
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
  call->add_flag("--raw", options->raw,
                 "Call the procedure with this number and the parameter text "
                 "given as it is (for procedures not listed below)");
  call->add_option("command", options->command, "Command, see below")
      ->required();
  call->add_option("arguments", options->arguments, "The command's arguments");
  call->footer(
      "Commands and their arguments (procedure number); with --raw, "
      "PROCEDURE [TEXT] instead:\n" +
      CallCommandListing() + "\n" +
      ExitStatusHelp({kExitOk, kExitFailure, kExitUsage, kExitTimeout,
                      kExitClosed, kExitInvalidReply, kExitReturnCode}));
  return [options] { return RunCall(*options); };
}

}  // namespace geocom
