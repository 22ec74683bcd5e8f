#ifndef GEOCOM_TOOL_CALL_H
#define GEOCOM_TOOL_CALL_H

#include <string>
#include <vector>

namespace geocom {

struct CallOptions {
  std::string connect;  // HOST:PORT, or empty for the serial device
  std::string serial;
  int baud = 115200;
  std::string command;
  std::vector<std::string> arguments;
};

// One exchange: prints the return code and the decoded values, or a one-line
// message on stderr; returns the exit status. Throws UsageError for a bad
// command or argument.
int RunCall(const CallOptions& options);

}  // namespace geocom

#endif
