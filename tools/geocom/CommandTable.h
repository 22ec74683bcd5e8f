#ifndef GEOCOM_TOOL_COMMANDTABLE_H
#define GEOCOM_TOOL_COMMANDTABLE_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace geocom {

// A bad command name or command argument given by the user.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a command's arguments in order; each read names the argument for the
// message when it is missing or malformed. Reads with a fallback are optional.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}

  double Double(const char* name);
  double Double(const char* name, double fallback);
  std::int32_t Int(const char* name);
  std::int32_t Int(const char* name, std::int32_t fallback);
  // 1/0, on/off or true/false.
  bool Bool(const char* name);
  bool Bool(const char* name, bool fallback);
  std::string Text(const char* name);
  std::string Text(const char* name, const std::string& fallback);
  // Throws when arguments are left over.
  void Finish() const;

 private:
  const std::string* Take(const char* name, bool required);

  const std::vector<std::string>& args_;
  std::size_t next_ = 0;
};

struct Field {
  std::string name;
  std::string value;
};
using Fields = std::vector<Field>;

using RequestPacker = std::string (*)(const Core::GEOCOM::GeoComSentence&,
                                      ArgReader&);
using ReplyDecoder = bool (*)(const Core::GEOCOM::GeoComSentence&, Fields&);

struct Command {
  const char* name;
  unsigned short procedure;
  const char* arguments;  // usage of the arguments, "" when there are none
  const char* summary;
  RequestPacker pack;
  ReplyDecoder decode;  // nullptr when the reply carries no values
};

const std::vector<Command>& Commands();
const Command* FindCommand(std::string_view name);
const Command* FindCommand(unsigned short procedure);

// The request's parameter text for the arguments; throws UsageError.
std::string PackArguments(const Command& command,
                          const std::vector<std::string>& args);

// Decodes a reply's values into fields; false when the reply does not hold
// what the command answers.
bool DecodeReply(const Command& command,
                 const Core::GEOCOM::GeoComSentence& reply, Fields& fields);

// One line per command, for the help text.
std::string CommandListing();

}  // namespace geocom

#endif
