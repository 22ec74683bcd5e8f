#include "ExitStatus.h"

namespace geocom {

namespace {

const char* Meaning(ExitStatus status) {
  switch (status) {
    case kExitOk:
      return "success";
    case kExitFailure:
      return "failure: cannot open or write; I/O error; a reply that does "
             "not decode";
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
    case kExitConnect:
      return "cannot connect to the instrument (refused, unreachable or not "
             "within the connect time-out)";
  }
  return "";
}

}  // namespace

const char* ExitStatusName(ExitStatus status) {
  switch (status) {
    case kExitOk:
      return "ok";
    case kExitFailure:
      return "failure";
    case kExitUsage:
      return "usage";
    case kExitTimeout:
      return "timeout";
    case kExitClosed:
      return "closed";
    case kExitInvalidReply:
      return "invalid_reply";
    case kExitReturnCode:
      return "return_code";
    case kExitConnect:
      return "connect";
  }
  return "failure";
}

ExitStatus StatusFor(Core::GEOCOM::host::ErrorKind kind) {
  using Core::GEOCOM::host::ErrorKind;
  switch (kind) {
    case ErrorKind::kTimeout:
      return kExitTimeout;
    case ErrorKind::kClosed:
      return kExitClosed;
    case ErrorKind::kInvalidReply:
      return kExitInvalidReply;
    case ErrorKind::kReturnCode:
      return kExitReturnCode;
    case ErrorKind::kInvalidArgument:
      return kExitUsage;
    case ErrorKind::kConnect:
      return kExitConnect;
    case ErrorKind::kIo:
    case ErrorKind::kCancelled:
      break;
  }
  return kExitFailure;
}

std::string ExitStatusHelp(std::initializer_list<ExitStatus> statuses) {
  std::string help = "Exit statuses:\n";
  for (const ExitStatus status : statuses) {
    help += "  " + std::to_string(static_cast<int>(status)) + "  " +
            Meaning(status) + "\n";
  }
  return help;
}

}  // namespace geocom
