#ifndef GEOCOM_TOOL_CALLCOMMANDS_H
#define GEOCOM_TOOL_CALLCOMMANDS_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <string>
#include <string_view>
#include <vector>

#include "Arguments.h"

namespace geocom {

// A command that `geocom call` offers: a procedure of the host library's
// table, the usage of its arguments, and how they become its parameters.
struct CallCommand {
  Core::GEOCOM::host::ProcedureId procedure;
  const char* arguments;  // usage of the arguments, "" when there are none
  // The request's parameter text; throws UsageError naming a bad argument.
  std::string (*pack)(ArgReader& arguments);
};

// The command with the procedure named so, or nullptr.
const CallCommand* FindCallCommand(std::string_view name);

// The request's parameter text for the command's arguments, checked before
// anything is sent; throws UsageError.
std::string PackCallArguments(const CallCommand& command,
                              const std::vector<std::string>& arguments);

// One line per command, for the help text.
std::string CallCommandListing();

}  // namespace geocom

#endif
