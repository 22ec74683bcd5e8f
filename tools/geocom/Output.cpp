#include "Output.h"

#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <variant>

#include "ExitStatus.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

[[noreturn]] void Fail() {
  if (errno == EPIPE) {
    // The reader has all it wanted: end as a tool without a handler would.
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
  }
  throw ToolError(
      kExitFailure,
      std::string("cannot write to standard output: ") + std::strerror(errno));
}

nlohmann::json ReturnCodeNameJson(unsigned short code) {
  const ReturnCodeName* named = FindReturnCode(code);
  return named != nullptr ? nlohmann::json(named->name) : nlohmann::json();
}

nlohmann::json JsonValue(const FieldValue& value) {
  return std::visit([](const auto& v) { return nlohmann::json(v); }, value);
}

}  // namespace

void Print(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) Fail();
}

void FlushOutput() {
  if (std::fflush(stdout) != 0) Fail();
}

void PrintError(std::string_view message) {
  std::fprintf(stderr, "geocom: %.*s\n", static_cast<int>(message.size()),
               message.data());
}

std::string JsonLine(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

std::string ReturnCodeText(unsigned short code) {
  return "return_code = " + DescribeReturnCode(code) + "\n";
}

std::string ReplyText(const Fields& fields) {
  std::string text = ReturnCodeText(Core::GEOCOM::GRC_OK);
  for (const Field& field : fields) {
    text += field.name + " = " + FormatValue(field.value) + "\n";
  }
  return text;
}

std::string ReplyJson(const Procedure& procedure, const Reply& reply,
                      const Fields& fields) {
  nlohmann::json values = nlohmann::json::object();
  for (const Field& field : fields) {
    values[field.name] = JsonValue(field.value);
  }
  return JsonLine(
      {{"command", procedure.name},
       {"procedure", procedure.id},
       {"sequence", reply.sequence},
       {"return_code", 0},
       {"return_code_name", ReturnCodeNameJson(Core::GEOCOM::GRC_OK)},
       {"round_trip_ms", static_cast<double>(reply.roundTrip.count()) / 1000.0},
       {"values", values}});
}

std::string FailureJson(const Failure& failure) {
  nlohmann::json object = {
      {"command", failure.command},
      {"procedure", failure.procedure != nullptr
                        ? nlohmann::json(failure.procedure->id)
                        : nlohmann::json()},
      {"exit_status", failure.exitStatus},
      {"error",
       {{"kind", ExitStatusName(static_cast<ExitStatus>(failure.exitStatus))},
        {"message", failure.message}}}};
  if (failure.returnCode) {
    object["return_code"] = *failure.returnCode;
    object["return_code_name"] = ReturnCodeNameJson(*failure.returnCode);
  }
  return JsonLine(object);
}

}  // namespace geocom
