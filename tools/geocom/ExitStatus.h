#ifndef GEOCOM_TOOL_EXITSTATUS_H
#define GEOCOM_TOOL_EXITSTATUS_H

namespace geocom {

// The tool's exit statuses, listed in its help text.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailure = 1,  // cannot connect or open, I/O error, undecodable reply
  kExitUsage = 2,
  kExitTimeout = 3,
  kExitClosed = 4,
  kExitSequenceMismatch = 5,
  kExitReturnCode = 6,  // the instrument answered with a non-zero code
};

}  // namespace geocom

#endif
