#include "Arguments.h"

#include <charconv>
#include <cmath>

#include "ExitStatus.h"

namespace geocom {

namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const char* const end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

std::string Placeholder(const char* name) {
  return std::string("<") + name + ">";
}

}  // namespace

const std::string& ArgReader::Take(const char* name) {
  if (!HasMore()) throw UsageError("missing argument " + Placeholder(name));
  return args_[next_++];
}

double ArgReader::Double(const char* name) {
  const std::string& text = Take(name);
  double value = 0;
  if (!ParseNumber(text, value) || !std::isfinite(value)) {
    throw UsageError(Placeholder(name) + " must be a finite number, not '" +
                     text + "'");
  }
  return value;
}

std::int32_t ArgReader::Int(const char* name) {
  const std::string& text = Take(name);
  std::int32_t value = 0;
  if (!ParseNumber(text, value)) {
    throw UsageError(Placeholder(name) + " must be a 32-bit integer, not '" +
                     text + "'");
  }
  return value;
}

std::int32_t ArgReader::Int(const char* name, std::int32_t fallback) {
  return HasMore() ? Int(name) : fallback;
}

bool ArgReader::Bool(const char* name) {
  const std::string& text = Take(name);
  if (text == "1" || text == "on" || text == "true") return true;
  if (text == "0" || text == "off" || text == "false") return false;
  throw UsageError(Placeholder(name) +
                   " must be 1/0, on/off or true/false, not '" + text + "'");
}

bool ArgReader::Bool(const char* name, bool fallback) {
  return HasMore() ? Bool(name) : fallback;
}

std::string ArgReader::Text(const char* name) { return Take(name); }

std::string ArgReader::Text(const char* name, const std::string& fallback) {
  return HasMore() ? Take(name) : fallback;
}

void ArgReader::Finish() const {
  if (HasMore()) {
    throw UsageError("unexpected argument '" + args_[next_] + "'");
  }
}

}  // namespace geocom
