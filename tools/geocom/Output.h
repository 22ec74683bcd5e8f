#ifndef GEOCOM_TOOL_OUTPUT_H
#define GEOCOM_TOOL_OUTPUT_H

#include <string_view>

// Standard output for every subcommand: a write that fails (a closed pipe,
// a full disk) ends the subcommand at once with exit status 1, instead of
// going on writing into the void.
namespace geocom {

// Writes the text; throws ToolError when standard output fails.
void Print(std::string_view text);

// Flushes what Print buffered; throws ToolError when that fails.
void FlushOutput();

}  // namespace geocom

#endif
