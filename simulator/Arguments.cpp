#include "Arguments.h"

#include <DazoZazIdoRezeraro/host/Text.h>

#include <charconv>
#include <stdexcept>

namespace Core::GEOCOM::simulator {

template <typename Value>
const Value& Arguments::Get(std::string_view name) const {
  const host::FieldValue* value = host::FindValue(fields_, name);
  const Value* typed = value != nullptr ? std::get_if<Value>(value) : nullptr;
  if (typed == nullptr) {
    throw std::logic_error("the request has no argument " + std::string(name) +
                           " of the type asked for");
  }
  return *typed;
}

std::int64_t Arguments::Integer(std::string_view name) const {
  return Get<std::int64_t>(name);
}

double Arguments::Real(std::string_view name) const {
  return Get<double>(name);
}

bool Arguments::Flag(std::string_view name) const { return Get<bool>(name); }

const std::string& Arguments::Text(std::string_view name) const {
  return Get<std::string>(name);
}

std::vector<unsigned> Arguments::Bytes(std::string_view name) const {
  const std::string& text = Get<std::string>(name);
  std::vector<unsigned> bytes;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  while (at < end) {
    unsigned byte = 0;
    at = std::from_chars(at, end, byte).ptr;
    bytes.push_back(byte);
    if (at < end) ++at;  // the dot
  }
  return bytes;
}

DATIME Arguments::DateTime(std::string_view name) const {
  const std::optional<DATIME> parsed =
      host::ParseDateTime(Get<std::string>(name));
  if (!parsed) {
    throw std::logic_error("the request's " + std::string(name) +
                           " is not a date and time");
  }
  return *parsed;
}

std::string JoinBytes(const std::vector<unsigned>& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += (i == 0 ? "" : ".") + std::to_string(bytes[i]);
  }
  return text;
}

}  // namespace Core::GEOCOM::simulator
