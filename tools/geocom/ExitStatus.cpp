#include "ExitStatus.h"

namespace geocom {

namespace {

const char* Meaning(ExitStatus status) {
  switch (status) {
    case kExitOk:
      return "success";
    case kExitFailure:
      return "failure: cannot connect, open or write; I/O error; a reply "
             "that does not decode";
    case kExitUsage:
      return "usage error: an unknown subcommand, option or command, or a "
             "bad argument (nothing was sent)";
    case kExitTimeout:
      return "no reply within the procedure's time-out";
    case kExitClosed:
      return "the connection closed before the reply";
    case kExitInvalidReply:
      return "a reply the protocol does not accept (e.g. a leading code "
             "other than 0)";
    case kExitReturnCode:
      return "the instrument answered a non-zero return code";
  }
  return "";
}

}  // namespace

std::string ExitStatusHelp(std::initializer_list<ExitStatus> statuses) {
  std::string help = "Exit statuses:\n";
  for (const ExitStatus status : statuses) {
    help += "  " + std::to_string(static_cast<int>(status)) + "  " +
            Meaning(status) + "\n";
  }
  return help;
}

}  // namespace geocom
