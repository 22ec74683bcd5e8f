// geocom shell: many calls over one session, one command per line, from a
// script, a pipe or a terminal with line editing, history and completion.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <histedit.h>
#include <unistd.h>

// libedit's readline interface; its header needs <cstdio> first.
#include <editline/readline.h>
#include <cstdio>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "CallCommands.h"
#include "CallExchange.h"
#include "ExitStatus.h"
#include "InstrumentOptions.h"
#include "Output.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

struct ShellOptions {
  InstrumentOptions line;
  CallSettings settings;
  std::string script;  // empty: standard input
};

// Splits a line into words as a shell would: blanks separate, quotes keep.
class WordSplitter {
 public:
  WordSplitter() : tokenizer_(tok_init(nullptr)) {}
  ~WordSplitter() { tok_end(tokenizer_); }
  WordSplitter(const WordSplitter&) = delete;
  WordSplitter& operator=(const WordSplitter&) = delete;

  // The words, or nothing when a quote is left open.
  std::optional<std::vector<std::string>> Split(const std::string& line) {
    tok_reset(tokenizer_);
    int count = 0;
    const char** words = nullptr;
    if (tok_str(tokenizer_, line.c_str(), &count, &words) != 0) {
      return std::nullopt;
    }
    return std::vector<std::string>(words, words + count);
  }

 private:
  Tokenizer* tokenizer_;
};

// Offers the command names that start with the text typed.
char* NextCommandName(const char* text, int state) {
  static std::size_t next = 0;
  if (state == 0) next = 0;
  const std::vector<Procedure>& procedures = Procedures();
  while (next < procedures.size()) {
    const std::string_view name = procedures[next++].name;
    if (name.rfind(text, 0) == 0 && FindCallCommand(name) != nullptr) {
      return strdup(std::string(name).c_str());
    }
  }
  return nullptr;
}

char** CompleteCommand(const char* text, int start, int) {
  rl_attempted_completion_over = 1;  // no file names
  return start == 0 ? rl_completion_matches(text, NextCommandName) : nullptr;
}

// Where the lines come from.
class LineSource {
 public:
  explicit LineSource(const std::string& script)
      : interactive_(script.empty() && isatty(STDIN_FILENO) != 0) {
    if (!script.empty()) {
      file_.open(script);
      if (!file_) {
        throw ToolError(kExitFailure,
                        "cannot read " + script + ": " + std::strerror(errno));
      }
    }
    if (interactive_) {
      rl_readline_name = "geocom";
      rl_attempted_completion_function = CompleteCommand;
    }
  }

  bool interactive() const { return interactive_; }

  std::optional<std::string> Next() {
    if (interactive_) {
      std::unique_ptr<char, decltype(&std::free)> line(readline("geocom> "),
                                                       &std::free);
      if (!line) return std::nullopt;
      if (*line != '\0') add_history(line.get());
      return std::string(line.get());
    }
    // A line is read to its end or to the cap, so that /dev/zero or a file
    // without line ends cannot take all memory.
    std::istream& in = file_.is_open() ? file_ : std::cin;
    std::string line;
    int next = 0;
    while ((next = in.get()) != std::char_traits<char>::eof() && next != '\n') {
      if (line.size() == kMaxLine) {
        throw UsageError("line " + std::to_string(number_ + 1) +
                         " is longer than " + std::to_string(kMaxLine) +
                         " bytes");
      }
      line.push_back(static_cast<char>(next));
    }
    if (next == std::char_traits<char>::eof() && line.empty()) {
      return std::nullopt;
    }
    ++number_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

 private:
  static constexpr std::size_t kMaxLine = 4096;

  bool interactive_;
  std::ifstream file_;
  std::size_t number_ = 0;  // lines read so far
};

int RunLine(BlockingSession& session, const std::vector<std::string>& words,
            const CallSettings& settings) {
  try {
    return MakeCall(session, PrepareCall(words, settings.units), settings);
  } catch (const ToolError& error) {
    return ReportFailure(words.front(), error, settings);
  }
}

int RunShell(const ShellOptions& options) {
  std::optional<LineSource> lines;
  std::optional<BlockingSession> session;
  try {
    lines.emplace(options.script);
    session.emplace(OpenInstrument(options.line));
  } catch (const ToolError& error) {
    return ReportFailure("", error, options.settings);
  }
  StartSequenceAtRandom();

  WordSplitter splitter;
  int lastFailure = kExitOk;
  while (true) {
    std::optional<std::string> line;
    try {
      line = lines->Next();
    } catch (const ToolError& error) {
      return ReportFailure("", error, options.settings);
    }
    if (!line) break;
    const std::optional<std::vector<std::string>> words = splitter.Split(*line);
    int status = kExitOk;
    if (!words) {
      status = ReportFailure(
          "", UsageError("a quote is left open in '" + *line + "'"),
          options.settings);
    } else if (words->empty() || words->front().rfind('#', 0) == 0) {
      continue;
    } else if (words->front() == "quit" || words->front() == "exit") {
      break;
    } else if (words->front() == "help") {
      Print(CallCommandListing());
    } else {
      status = RunLine(*session, *words, options.settings);
    }
    if (status != kExitOk) lastFailure = status;
    FlushOutput();
  }
  return lines->interactive() ? kExitOk : lastFailure;
}

}  // namespace

Runner AddShell(CLI::App& app) {
  auto options = std::make_shared<ShellOptions>();
  CLI::App* shell = app.add_subcommand(
      "shell",
      "Make many calls over one session, one command per line (as for "
      "'geocom call') read from a script, a pipe or a terminal");
  AddInstrumentOptions(*shell, options->line);
  AddCallSettings(*shell, options->settings);
  shell
      ->add_option("script", options->script,
                   "File of commands, one per line (default: standard "
                   "input); '#' starts a comment, 'quit' ends")
      ->type_name("SCRIPT");
  shell->footer(
      "Each line is a command with its arguments, quoted as in a shell, "
      "printed as 'geocom call' prints it (with --json: one JSON object per "
      "line). On a terminal: line editing, history and completion of "
      "command names; 'help' lists the commands. Not on a terminal, the "
      "exit status is that of the last command that failed, else 0.\n\n" +
      CallHelpFooter());
  return [options] { return RunShell(*options); };
}

}  // namespace geocom
