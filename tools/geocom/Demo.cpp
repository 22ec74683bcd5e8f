#include "Demo.h"

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "CommandTable.h"
#include "Exchange.h"
#include "ExitStatus.h"
#include "Server.h"
#include "Simulator.h"
#include "Text.h"
#include "Transport.h"

namespace geocom {

namespace {

struct Step {
  const char* command;
  std::vector<std::string> arguments;
  Fields expected;  // fields that must hold exactly these values
};

// Touches every family of packers and decoders; later steps read back what
// earlier ones set.
const std::vector<Step> kScript = {
    {"instrument-number", {}, {{"serial-number", "412237"}}},
    {"software-version",
     {},
     {{"release", "3"}, {"version", "2"}, {"subversion", "7"}}},
    {"power", {}, {{"first-path", "1"}}},
    {"device-config", {}, {{"device-class", "12"}, {"device-type", "13"}}},
    {"set-date-time", {"2024-03-15T10:30:00"}, {}},
    {"date-time", {}, {{"date", "2024-03-15"}}},
    {"position", {"1.2", "1.5"}, {}},
    {"angles", {}, {{"hz", "1.2"}, {"v", "1.5"}}},
    {"simple-measurement", {"500", "1"}, {{"hz", "1.2"}, {"v", "1.5"}}},
    {"atmosphere", {}, {{"pressure", "1013.25"}}},
    {"set-station", {"1000.5", "2000.25", "100", "1.6"}, {}},
    {"station",
     {},
     {{"easting", "1000.5"},
      {"northing", "2000.25"},
      {"height", "100"},
      {"instrument-height", "1.6"}}},
    {"angle-switches", {}, {{"incline-correction", "on"}}},
    {"set-search-area", {"1.2", "1.5", "0.2", "0.1", "on"}, {}},
    {"search-area",
     {},
     {{"center-hz", "1.2"}, {"range-hz", "0.2"}, {"enabled", "on"}}},
    {"motor-start", {"1"}, {}},
    {"motor-velocity", {"0.01", "0"}, {}},
    {"motor-stop", {}, {}},
    {"set-lock-state", {"on"}, {}},
    {"lock-in", {}, {}},
    {"lock-status", {}, {{"status", "locked-in"}}},
    {"set-guide-light", {"2"}, {}},
    {"guide-light", {}, {{"intensity", "2"}}},
    {"file-list-setup", {}, {}},
    {"file-list", {"0"}, {{"name", "survey.gsi"}, {"last", "no"}}},
    {"file-list", {"1"}, {{"name", "points.txt"}}},
    {"file-delete", {"0", "0", "points.txt"}, {{"deleted", "1"}}},
};

// Prints the exchange; returns whether it went as the step expects.
bool RunStep(HostSession& session, const Step& step, std::ostream& out) {
  const Command& command = *FindCommand(step.command);
  out << command.name << " (" << command.procedure << ")";
  for (const std::string& argument : step.arguments) out << ' ' << argument;
  out << '\n';
  const ExchangeResult result = session.Exchange(
      command.procedure, PackArguments(command, step.arguments));
  out << "  request  " << EscapeBytes(result.request) << '\n';
  if (result.outcome != Outcome::kReply) {
    out << "  FAILED: no matching reply within " << result.timeoutMs
        << " ms\n\n";
    return false;
  }
  std::ostringstream roundTrip;
  roundTrip << std::fixed << std::setprecision(2) << result.roundTrip.count();
  out << "  reply    " << EscapeBytes(result.replyBytes) << '\n'
      << "  return code " << result.reply.GetRetCode() << ", round trip "
      << roundTrip.str() << " ms of " << result.timeoutMs << " ms\n";
  Fields fields;
  if (result.reply.GetRetCode() != 0) {
    out << "  FAILED: non-zero return code\n\n";
    return false;
  }
  if (!DecodeReply(command, result.reply, fields)) {
    out << "  FAILED: the reply does not decode\n\n";
    return false;
  }
  for (const Field& field : fields) {
    out << "  " << field.name << " = " << field.value << '\n';
  }
  bool expected = true;
  for (const Field& want : step.expected) {
    std::string got = "(missing)";
    for (const Field& field : fields) {
      if (field.name == want.name) got = field.value;
    }
    if (got != want.value) {
      out << "  FAILED: " << want.name << " is " << got << ", expected "
          << want.value << '\n';
      expected = false;
    }
  }
  out << '\n';
  return expected;
}

}  // namespace

int RunDemo(std::ostream& out) {
  Simulator simulator;
  Server server(simulator);
  const std::string address = server.ListenTcp({"127.0.0.1", "0"});
  server.Start();
  out << "simulated instrument listening on " << address << "\n\n";

  const FileDescriptor connection = ConnectTcp(ParseHostPort(address));
  HostSession session(connection.get());
  std::size_t failed = 0;
  for (const Step& step : kScript) {
    if (!RunStep(session, step, out)) ++failed;
  }
  out << kScript.size() << " exchanges, "
      << (failed == 0 ? "all" : std::to_string(kScript.size() - failed))
      << " as expected\n";
  return failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace geocom
