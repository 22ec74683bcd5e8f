#ifndef GEOCOM_TOOL_OUTPUT_H
#define GEOCOM_TOOL_OUTPUT_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/Session.h>

#include <optional>
#include <string>
#include <string_view>

// What the tool writes: standard output for every subcommand, and how a
// call's outcome reads as text and as JSON.
//
// A write that fails ends the subcommand at once with exit status 1 instead
// of going on writing into the void; a reader that went away (a closed pipe,
// `geocom decode FILE | head -1`) ends the tool quietly the way the shell's
// own tools end: killed by SIGPIPE, status 141 in the shell.
//
// Every JSON key is snake_case, as the catalogue's value names are.
namespace geocom {

// Writes the text; throws ToolError when standard output fails.
void Print(std::string_view text);

// Flushes what Print buffered; throws ToolError when that fails.
void FlushOutput();

// Standard output for a long run of JSON lines: writers fill its buffer in
// place and each full buffer goes to write(2) whole, with no copy on the
// way. It fails as Print does; what Print buffered goes out first.
class JsonLines final : public Core::GEOCOM::host::JsonOutput {
 public:
  JsonLines();

 private:
  void Drain(std::string_view text) override;
};

// "geocom: MESSAGE" on standard error.
void PrintError(std::string_view message);

// "return_code = 8710 no-target: no prism in the beam", a line of its own.
std::string ReturnCodeText(unsigned short code);

// A successful call as text: its return code and a "name = value" line per
// field.
std::string ReplyText(const Core::GEOCOM::host::Fields& fields);

// A successful call as one JSON line: command, procedure, sequence,
// return_code 0 and its return_code_name, round_trip_ms and the values by field
// name.
std::string ReplyJson(const Core::GEOCOM::host::Procedure& procedure,
                      const Core::GEOCOM::host::Reply& reply,
                      const Core::GEOCOM::host::Fields& fields);

// A call or command that failed, for the JSON form.
struct Failure {
  std::string command;  // the command word as given
  const Core::GEOCOM::host::Procedure* procedure = nullptr;  // when known
  int exitStatus = 1;
  std::string message;
  std::optional<unsigned short> returnCode;  // when the instrument answered
};

// The failure as one JSON line: command, procedure (null when unknown),
// return_code and return_code_name (null for a code without a name) when
// the instrument answered one, exit_status and
// error: {kind, message}, where kind names the exit status ("timeout",
// "return_code", "usage", ...).
std::string FailureJson(const Failure& failure);

}  // namespace geocom

#endif
