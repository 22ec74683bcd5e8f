#ifndef DAZOZAZIDOREZERARO_SURVEY_HOOK_H
#define DAZOZAZIDOREZERARO_SURVEY_HOOK_H

#include <boost/asio/any_io_executor.hpp>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"

/// @file
/// The command a job runs for each event: what people wire to mail, text
/// messages or a chat. It reads the event as JSON on its standard input and
/// is killed, with every process it started, when it outlasts its bound.

namespace Core::GEOCOM::survey {

/// A bad `hook` value of a job; what() names the key.
class DAZOZAZIDOREZERARO_SURVEY_EXPORT HookError
    : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// The program a hook runs and its arguments; a job's string runs as
/// `/bin/sh -c STRING`.
struct HookCommand {
  std::vector<std::string>
      argv;  ///< The program (a path or a name on PATH) first.
};

/// Reads a job's `hook`, given as JSON text: a string for the shell or a
/// list of words. Throws HookError, naming `hook`, when it is neither or
/// when its program is not an executable file (for a shell string: its first
/// word, when that is a plain program name or path).
DAZOZAZIDOREZERARO_SURVEY_EXPORT HookCommand
HookFromJson(std::string_view json);

/// How one run of a hook ended.
struct HookOutcome {
  bool started = false;   ///< Whether the program could be run at all.
  bool timedOut = false;  ///< Killed when it outlasted its bound.
  int exitStatus = -1;    ///< Its exit status, when it exited.
  int signal = 0;         ///< The signal that ended it, when one did.
  std::chrono::milliseconds took{0};  ///< From start to end.
  std::string error;                  ///< Why it could not be started.
  /// Whether it ran and exited with status 0 within its bound.
  bool Succeeded() const { return started && !timedOut && exitStatus == 0; }
  /// One line for the log: "exited with status 3", "killed after 5000 ms".
  DAZOZAZIDOREZERARO_SURVEY_EXPORT std::string Describe() const;
};

/// Runs the command with the input on its standard input and calls the
/// handler once, through the executor, when it has ended or has been killed
/// at its bound. The input goes through a pipe the executor's loop writes;
/// a hook that does not read it cannot stall the loop. The host ignores
/// SIGPIPE (as a program writing to pipes does) so that a hook that closes
/// its input early is an outcome, not the end of the host.
DAZOZAZIDOREZERARO_SURVEY_EXPORT void AsyncRunHook(
    boost::asio::any_io_executor executor, const HookCommand& command,
    std::string input, std::chrono::milliseconds bound,
    std::function<void(HookOutcome)> handler);

/// AsyncRunHook on an event loop of its own.
DAZOZAZIDOREZERARO_SURVEY_EXPORT HookOutcome
RunHook(const HookCommand& command, std::string input,
        std::chrono::milliseconds bound);

}  // namespace Core::GEOCOM::survey

#endif
