// geocom shell: many calls over one session, one command per line, from a
// script, a pipe or a terminal with line editing, history and completion.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <histedit.h>
#include <unistd.h>

// libedit's readline interface; its header needs <cstdio> first.
#include <editline/readline.h>
#include <cstdio>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

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

// The line up to its comment: a '#' that starts a word outside quotes.
std::string WithoutComment(const std::string& line) {
  char quote = '\0';
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote != '\0') {
      if (c == quote) quote = '\0';
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(
                                          line[i - 1])) != 0)) {
      return line.substr(0, i);
    }
  }
  return line;
}

// A completion list as libedit wants it: what replaces the text typed, then
// the candidates (one that equals the replacement completes the word), each
// malloc'ed, ended by nullptr.
char** CompletionList(const std::string& replacement,
                      const std::vector<std::string>& shown) {
  auto** list =
      static_cast<char**>(std::malloc((shown.size() + 2) * sizeof(char*)));
  if (list == nullptr) return nullptr;
  list[0] = strdup(replacement.c_str());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    list[i + 1] = strdup(shown[i].c_str());
  }
  list[shown.size() + 1] = nullptr;
  return list;
}

// The command names that start with the text: one completes, several
// complete only as far as a real command name goes.
char** CompleteCommandName(const std::string& text) {
  std::vector<std::string> names;
  for (const Procedure& procedure : Procedures()) {
    if (procedure.name.rfind(text, 0) == 0 &&
        FindCallCommand(procedure.name) != nullptr) {
      names.emplace_back(procedure.name);
    }
  }
  if (names.empty()) return nullptr;
  if (names.size() == 1) return CompletionList(names.front(), names);
  std::string common = names.front();
  for (const std::string& name : names) {
    common.resize(static_cast<std::size_t>(
        std::mismatch(common.begin(), common.end(), name.begin(), name.end())
            .first -
        common.begin()));
  }
  return CompletionList(FindCallCommand(common) != nullptr ? common : text,
                        names);
}

// The argument being typed: its truth values complete; otherwise its name
// and what it means are shown, the text left as it is.
char** CompleteArgument(const Procedure& command, std::size_t index,
                        const std::string& text) {
  if (index >= command.arguments.size()) return nullptr;
  const ValueSpec& argument = command.arguments[index];
  if (argument.type == ValueType::kBoolean) {
    std::vector<std::string> values;
    for (const char* value : {"on", "off"}) {
      if (std::string_view(value).rfind(text, 0) == 0) values.push_back(value);
    }
    if (!values.empty()) {
      return CompletionList(values.size() == 1 ? values.front() : text, values);
    }
  }
  return CompletionList(
      text, {ArgumentUsage(argument), std::string(argument.description)});
}

char** Complete(const char* text, int start, int) {
  rl_attempted_completion_over = 1;  // no file names
  std::istringstream before(
      std::string(rl_line_buffer, static_cast<std::size_t>(start)));
  std::vector<std::string> words{std::istream_iterator<std::string>(before),
                                 std::istream_iterator<std::string>()};
  if (words.empty()) return CompleteCommandName(text);
  const Procedure* command = FindCallCommand(words.front());
  if (command == nullptr) return nullptr;
  return CompleteArgument(*command, words.size() - 1, text);
}

// $XDG_STATE_HOME/geocom/history, or under ~/.local/state; empty when
// neither is set.
std::string HistoryFile() {
  std::filesystem::path directory;
  if (const char* state = std::getenv("XDG_STATE_HOME");
      state != nullptr && *state == '/') {
    directory = state;
  } else if (const char* home = std::getenv("HOME");
             home != nullptr && *home != '\0') {
    directory = std::filesystem::path(home) / ".local" / "state";
  } else {
    return "";
  }
  directory /= "geocom";
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  return error ? "" : (directory / "history").string();
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
      rl_attempted_completion_function = Complete;
      history_ = HistoryFile();
      stifle_history(kHistoryLines);
      if (!history_.empty()) read_history(history_.c_str());
    }
  }

  bool interactive() const { return interactive_; }

  std::optional<std::string> Next() {
    if (interactive_) {
      std::unique_ptr<char, decltype(&std::free)> line(readline("geocom> "),
                                                       &std::free);
      if (!line) return std::nullopt;
      if (*line != '\0') {
        add_history(line.get());
        // Written at once, so that a session that is killed keeps it too.
        if (!history_.empty()) write_history(history_.c_str());
      }
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
  static constexpr int kHistoryLines = 1000;

  bool interactive_;
  std::string history_;  // the history file, empty when none
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
    const std::optional<std::vector<std::string>> words =
        splitter.Split(WithoutComment(*line));
    int status = kExitOk;
    if (!words) {
      status = ReportFailure(
          "", UsageError("a quote is left open in '" + *line + "'"),
          options.settings);
    } else if (words->empty()) {
      continue;
    } else if (words->front() == "quit" || words->front() == "exit") {
      break;
    } else if (words->front() == "help") {
      Print(
          "Commands and their arguments (procedure number), with the values "
          "of settings and modes; 'quit' or 'exit' ends, '#' starts a "
          "comment:\n" +
          CallCommandListing());
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
                   "input); '#' starts a comment, 'quit' or 'exit' ends")
      ->type_name("SCRIPT");
  SetCallHelpFooter(
      *shell,
      "Each line is a command with its arguments, quoted as in a shell, "
      "printed as 'geocom call' prints it (with --json: one JSON object per "
      "line); '#' starts a comment to the end of the line. A line takes no "
      "options, so a negative number needs no '--' before it (position -1 "
      "1). On a terminal: "
      "line editing, completion of command names and arguments, and "
      "history, kept in $XDG_STATE_HOME/geocom/history (default "
      "~/.local/state/geocom/history); 'help' lists the commands. Not on a "
      "terminal, the exit status is that of the last command that failed, "
      "else 0.\n\n",
      false);
  return [options] { return RunShell(*options); };
}

}  // namespace geocom
