#ifndef GEOCOM_TOOL_CALLCOMMANDS_H
#define GEOCOM_TOOL_CALLCOMMANDS_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <string>
#include <string_view>
#include <vector>

namespace geocom {

// The catalogued procedure that `geocom call` offers under the name, or
// nullptr: every procedure whose arguments the catalogue knows.
const Core::GEOCOM::host::Procedure* FindCallCommand(std::string_view name);

// The request's parameter text for the command's words, in the catalogue's
// argument order, checked before anything is sent; throws UsageError naming
// the argument.
std::string PackCallArguments(const Core::GEOCOM::host::Procedure& procedure,
                              const std::vector<std::string>& words);

// One argument as the help shows it: "<HZ:angle>", "[POS-MODE=0]".
std::string ArgumentUsage(const Core::GEOCOM::host::ValueSpec& valueSpec);

// How the command's arguments are written, e.g. "<HZ> <V> [POS-MODE=0]".
std::string CallUsage(const Core::GEOCOM::host::Procedure& procedure);

// One line per command, for the help text.
std::string CallCommandListing();

}  // namespace geocom

#endif
