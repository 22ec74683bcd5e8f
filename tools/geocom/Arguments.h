#ifndef GEOCOM_TOOL_ARGUMENTS_H
#define GEOCOM_TOOL_ARGUMENTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace geocom {

// Reads a command's arguments in order; each read names the argument in the
// UsageError it throws when the argument is missing or malformed. Reads with
// a fallback are optional.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}

  // A finite decimal number.
  double Double(const char* name);
  // A decimal integer that fits 32 bits.
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
  const std::string& Take(const char* name);
  bool HasMore() const { return next_ < args_.size(); }

  const std::vector<std::string>& args_;
  std::size_t next_ = 0;
};

}  // namespace geocom

#endif
