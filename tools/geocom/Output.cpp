#include "Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "ExitStatus.h"

namespace geocom {

namespace {

[[noreturn]] void Fail() {
  throw ToolError(
      kExitFailure,
      std::string("cannot write to standard output: ") + std::strerror(errno));
}

}  // namespace

void Print(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) Fail();
}

void FlushOutput() {
  if (std::fflush(stdout) != 0) Fail();
}

}  // namespace geocom
