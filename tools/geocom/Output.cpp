#include "Output.h"

#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <variant>
#include <vector>

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

void ReturnCodeMembers(JsonWriter& object, unsigned short code) {
  object.Key("return_code").Unsigned(code).Key("return_code_name");
  const ReturnCodeName* named = FindReturnCode(code);
  named != nullptr ? object.String(named->name) : object.Null();
}

}  // namespace

void Print(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) Fail();
}

void FlushOutput() {
  if (std::fflush(stdout) != 0) Fail();
}

// Large enough that the calls to write cost nothing beside the text, small
// enough to stay in the cache that the writers fill it through.
JsonLines::JsonLines() : JsonOutput(std::size_t{128} << 10) {}

void JsonLines::Drain(std::string_view text) {
  FlushOutput();
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail();
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

void PrintError(std::string_view message) {
  std::fprintf(stderr, "geocom: %.*s\n", static_cast<int>(message.size()),
               message.data());
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

// Keys in byte order, and the values by name, as the first JSON form of a
// call's outcome wrote them.
std::string ReplyJson(const Procedure& procedure, const Reply& reply,
                      const Fields& fields) {
  std::vector<const Field*> byName;
  for (const Field& field : fields) byName.push_back(&field);
  std::stable_sort(byName.begin(), byName.end(),
                   [](const Field* left, const Field* right) {
                     return left->name < right->name;
                   });
  std::string line;
  JsonWriter object(line);
  object.Begin()
      .Key("command")
      .String(procedure.name)
      .Key("procedure")
      .Unsigned(procedure.id);
  ReturnCodeMembers(object, Core::GEOCOM::GRC_OK);
  object.Key("round_trip_ms")
      .Number(static_cast<double>(reply.roundTrip.count()) / 1000.0)
      .Key("sequence")
      .Unsigned(reply.sequence)
      .Key("values")
      .Begin();
  for (auto field = byName.begin(); field != byName.end(); ++field) {
    // Of fields of one name, the last one given stands.
    const auto next = std::next(field);
    if (next != byName.end() && (*next)->name == (*field)->name) continue;
    object.Key((*field)->name).Value((*field)->value);
  }
  object.End().End();
  return line + '\n';
}

std::string FailureJson(const Failure& failure) {
  std::string line;
  JsonWriter object(line);
  object.Begin()
      .Key("command")
      .String(failure.command)
      .Key("error")
      .Begin()
      .Key("kind")
      .String(ExitStatusName(static_cast<ExitStatus>(failure.exitStatus)))
      .Key("message")
      .String(failure.message)
      .End()
      .Key("exit_status")
      .Integer(failure.exitStatus)
      .Key("procedure");
  failure.procedure != nullptr ? object.Unsigned(failure.procedure->id)
                               : object.Null();
  if (failure.returnCode) ReturnCodeMembers(object, *failure.returnCode);
  object.End();
  return line + '\n';
}

}  // namespace geocom
