#include <DazoZazIdoRezeraro/survey/Hook.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

namespace Core::GEOCOM::survey {

namespace {

namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;

// How often a running hook is asked whether it has ended: often enough that
// a hook's end is seen within a few milliseconds, rarely enough to cost
// nothing while it runs.
constexpr std::chrono::milliseconds kPollInterval{5};

bool IsExecutableFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The program's path: itself when it names a directory, else the first
// executable of its name on PATH.
std::optional<std::string> ResolveProgram(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    if (IsExecutableFile(program)) return program;
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::istringstream directories(path ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    const std::string candidate =
        (directory.empty() ? "." : directory) + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

// The first word of a shell command when it is a plain program name or path,
// which can be checked before it runs; shell syntax and builtins cannot.
std::optional<std::string> PlainFirstWord(const std::string& command) {
  const std::size_t start = command.find_first_not_of(" \t");
  if (start == std::string::npos) return std::nullopt;
  const std::size_t end = command.find_first_of(" \t\n;|&", start);
  const std::string word = command.substr(start, end - start);
  static const std::string kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+-";
  if (word.find_first_not_of(kPlain) != std::string::npos) return std::nullopt;
  static const char* const kBuiltins[] = {
      "exec",  "cd",  "test", "echo",    "printf", "read", "true",
      "false", "set", "eval", "command", "exit",   ".",    "trap"};
  for (const char* builtin : kBuiltins) {
    if (word == builtin) return std::nullopt;
  }
  return word;
}

struct Run : std::enable_shared_from_this<Run> {
  Run(asio::any_io_executor executor, std::function<void(HookOutcome)> done)
      : input(executor), poll(executor), handler(std::move(done)) {}

  asio::posix::stream_descriptor input;
  asio::steady_timer poll;
  std::function<void(HookOutcome)> handler;
  std::string text;
  pid_t pid = -1;
  Clock::time_point started;
  Clock::time_point deadline;
  HookOutcome outcome;

  void Finish() {
    outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        Clock::now() - started);
    boost::system::error_code ignored;
    input.close(ignored);
    auto done = std::move(handler);
    done(std::move(outcome));
  }

  void Record(int status) {
    if (WIFEXITED(status)) outcome.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  }

  void Watch() {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      Record(status);
      Finish();
      return;
    }
    if (Clock::now() >= deadline) {
      // The whole process group: a shell's children go with it.
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      outcome.timedOut = true;
      Record(status);
      Finish();
      return;
    }
    poll.expires_after(kPollInterval);
    poll.async_wait([self = shared_from_this()](boost::system::error_code) {
      self->Watch();
    });
  }
};

}  // namespace

std::string HookOutcome::Describe() const {
  if (!started) return "could not run: " + error;
  const std::string after = " after " + std::to_string(took.count()) + " ms";
  if (timedOut) return "killed at its bound" + after;
  if (signal != 0) return "ended by signal " + std::to_string(signal) + after;
  return "exited with status " + std::to_string(exitStatus) + after;
}

HookCommand HookFromJson(std::string_view text) {
  const nlohmann::json hook = nlohmann::json::parse(text, nullptr, false);
  HookCommand command;
  std::optional<std::string> program;
  if (hook.is_string() && !hook.get<std::string>().empty()) {
    const std::string line = hook.get<std::string>();
    command.argv = {"/bin/sh", "-c", line};
    program = PlainFirstWord(line);
  } else if (hook.is_array() && !hook.empty()) {
    for (const nlohmann::json& word : hook) {
      if (!word.is_string())
        throw HookError("hook: each word of the list is a string");
      command.argv.push_back(word.get<std::string>());
    }
    program = command.argv.front();
  } else {
    throw HookError("hook: expected a command string or a list of words");
  }
  if (program && !ResolveProgram(*program)) {
    throw HookError("hook: \"" + *program + "\" is not an executable program");
  }
  return command;
}

void AsyncRunHook(asio::any_io_executor executor, const HookCommand& command,
                  std::string text, std::chrono::milliseconds bound,
                  std::function<void(HookOutcome)> handler) {
  auto run = std::make_shared<Run>(executor, std::move(handler));
  run->text = std::move(text);
  run->started = Clock::now();
  run->deadline = run->started + bound;
  const std::optional<std::string> path =
      command.argv.empty() ? std::nullopt
                           : ResolveProgram(command.argv.front());
  int pipe[2];
  if (!path || ::pipe2(pipe, O_CLOEXEC) != 0) {
    run->outcome.error = path ? std::strerror(errno) : "no such program";
    asio::post(executor, [run] { run->Finish(); });
    return;
  }
  // Everything the child needs is ready before it exists: between fork and
  // exec it may only call what is safe in a forked multithreaded process.
  std::vector<char*> argv;
  for (const std::string& word : command.argv)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::dup2(pipe[0], STDIN_FILENO);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(path->c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipe[0]);
  if (pid < 0) {
    run->outcome.error = std::strerror(errno);
    ::close(pipe[1]);
    asio::post(executor, [run] { run->Finish(); });
    return;
  }
  ::setpgid(pid, pid);  // Either side may get there first.
  run->pid = pid;
  run->outcome.started = true;
  run->input.assign(pipe[1]);
  asio::async_write(run->input, asio::buffer(run->text),
                    [run](boost::system::error_code, std::size_t) {
                      // A hook that does not read its input still ends, is
                      // killed, or is reaped: nothing more to do here.
                      boost::system::error_code ignored;
                      run->input.close(ignored);
                    });
  run->Watch();
}

HookOutcome RunHook(const HookCommand& command, std::string input,
                    std::chrono::milliseconds bound) {
  asio::io_context context;
  HookOutcome outcome;
  AsyncRunHook(context.get_executor(), command, std::move(input), bound,
               [&outcome](HookOutcome ended) { outcome = std::move(ended); });
  context.run();
  return outcome;
}

}  // namespace Core::GEOCOM::survey
