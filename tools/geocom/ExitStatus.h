#ifndef GEOCOM_TOOL_EXITSTATUS_H
#define GEOCOM_TOOL_EXITSTATUS_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace geocom {

// The tool's exit statuses; each subcommand's help lists those it uses.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailure = 1,
  kExitUsage = 2,
  kExitTimeout = 3,
  kExitClosed = 4,
  kExitInvalidReply = 5,
  kExitReturnCode = 6,
  kExitConnect = 7,
};

// The status's name in the tool's JSON ("timeout", "return_code", ...).
const char* ExitStatusName(ExitStatus status);

// The status for a failure of the host library.
ExitStatus StatusFor(Core::GEOCOM::host::ErrorKind kind);

// "Exit statuses:" and a line for each status given, for a help footer.
std::string ExitStatusHelp(std::initializer_list<ExitStatus> statuses);

// Ends the subcommand: the tool prints "geocom: " and the message on
// standard error and exits with the status.
class ToolError : public std::runtime_error {
 public:
  ToolError(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

// A usage error: exit status 2.
class UsageError : public ToolError {
 public:
  explicit UsageError(const std::string& message)
      : ToolError(kExitUsage, message) {}
};

}  // namespace geocom

#endif
