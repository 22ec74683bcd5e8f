#ifndef GEOCOM_TOOL_CALLEXCHANGE_H
#define GEOCOM_TOOL_CALLEXCHANGE_H

#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Units.h"

// One command of `geocom call` or of a `geocom shell` line: the words packed
// into a request, the call made over a session, the outcome printed.
namespace geocom {

// How the outcome of each command is made and shown.
struct CallSettings {
  std::optional<unsigned> timeoutMs;     // replaces the procedure's time-out
  bool json = false;                     // one JSON object per outcome
  AngleUnit units = AngleUnit::kRadian;  // of the angles read and printed
};

// Adds --timeout, --json and --units.
void AddCallSettings(CLI::App& command, CallSettings& settings);

// Ends command's help with intro, the commands with their arguments and the
// exit statuses; with raw, how --raw changes the command.
void SetCallHelpFooter(CLI::App& command, std::string intro, bool raw);

// A command whose arguments have been checked and packed.
struct PreparedCall {
  Core::GEOCOM::host::Procedure procedure;
  std::string parameters;
};

// The command named by the first word, its arguments (angles in the unit
// given) packed from the rest;
// with raw, the procedure numbered by the first word and the parameter text
// given as it is. Throws UsageError naming the unknown command or the bad
// argument.
PreparedCall PrepareCall(const std::vector<std::string>& words, AngleUnit units,
                         bool raw = false);

// Makes the call and prints its outcome: the values, or the failure (on
// standard error, and as a JSON object on standard output with json).
// Returns the exit status the outcome stands for.
int MakeCall(Core::GEOCOM::host::BlockingSession& session,
             const PreparedCall& call, const CallSettings& settings);

// Reports a failure that came before any reply (a usage error, a line that
// cannot be opened) the way MakeCall reports one; returns its exit status.
int ReportFailure(const std::string& command, const ToolError& error,
                  const CallSettings& settings);

}  // namespace geocom

#endif
