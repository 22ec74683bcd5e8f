#include "CheckedJson.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "JsonTextPositions.h"

namespace Core::GEOCOM::host::json_text {

namespace {

std::string FormatNumber(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace

std::string ReadBoundedFile(const std::string& path, std::size_t maxBytes,
                            const DocumentKind& kind) {
  const std::string cannot = "cannot read " + kind.name + " " + path;
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw CheckedJsonError(cannot + ": it is a directory", true);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    throw CheckedJsonError(cannot + ": " + std::strerror(errno), true);
  }
  const auto tooLarge = [&] {
    return CheckedJsonError(path + ":1: " + kind.Noun() + " is larger than " +
                            std::to_string(maxBytes) + " bytes");
  };
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size > maxBytes) throw tooLarge();
  std::string text;
  char piece[64 * 1024];
  while (text.size() <= maxBytes && in) {
    in.read(piece, sizeof piece);
    text.append(piece, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) throw CheckedJsonError(cannot, true);
  if (text.size() > maxBytes) throw tooLarge();
  return text;
}

json ParseDocument(std::string_view text, const std::string& name,
                   std::size_t maxBytes, std::size_t maxDepth,
                   const DocumentKind& kind) {
  const auto refuse = [&](std::size_t line, const std::string& why) {
    return CheckedJsonError(name + ":" + std::to_string(line) + ": " + why);
  };
  if (text.size() > maxBytes) {
    throw refuse(1, kind.Noun() + " is larger than " +
                        std::to_string(maxBytes) + " bytes");
  }
  // Refused before the document is built, so nesting never costs memory.
  if (const auto deep = FirstTooDeep(text, maxDepth)) {
    throw refuse(*deep, "values are nested more than " +
                            std::to_string(maxDepth) + " deep");
  }
  std::istringstream in{std::string(text)};
  try {
    return json::parse(in);
  } catch (const json::exception& error) {
    // A syntax error says where it is; a number out of range is found
    // where reading stopped.
    const auto* syntax = dynamic_cast<const json::parse_error*>(&error);
    const std::size_t at =
        syntax != nullptr ? syntax->byte
                          : static_cast<std::size_t>(std::max<std::streamoff>(
                                1, in.rdbuf()->pubseekoff(0, std::ios_base::cur,
                                                          std::ios_base::in))) -
                                1;
    // The message after nlohmann's "[json.exception.parse_error.101] ".
    std::string what = error.what();
    const std::size_t tag = what.find("] ");
    if (tag != std::string::npos) what.erase(0, tag + 2);
    throw refuse(LineAt(text, at), "not valid JSON: " + what);
  }
}

CheckedJsonReader::CheckedJsonReader(std::string name, std::string_view text,
                                     DocumentKind kind)
    : name_(std::move(name)), text_(text), kind_(std::move(kind)) {}

void CheckedJsonReader::Fail(const std::string& path,
                             const std::string& why) const {
  throw CheckedJsonError(name_ + ":" + std::to_string(LineOfPath(text_, path)) +
                         ": " + (path.empty() ? kind_.Noun() : path) + " " +
                         why);
}

std::string CheckedJsonReader::Join(const std::string& path,
                                    const std::string& key) {
  return path.empty() ? key : path + "." + key;
}

const json& CheckedJsonReader::Object(
    const json& value, const std::string& path,
    std::initializer_list<const char*> allowed) const {
  if (!value.is_object()) Fail(path, "must be an object");
  for (const auto& member : value.items()) {
    bool known = false;
    for (const char* name : allowed) known = known || member.key() == name;
    if (!known) {
      Fail(Join(path, member.key()),
           "is not a " + kind_.memberWord + " of " + kind_.Noun());
    }
  }
  return value;
}

const json* CheckedJsonReader::Member(const json& object,
                                      const std::string& path, const char* key,
                                      bool required) const {
  const auto found = object.find(key);
  if (found == object.end()) {
    if (required) Fail(Join(path, key), "is required");
    return nullptr;
  }
  return &*found;
}

bool CheckedJsonReader::Number(const json& object, const std::string& path,
                               const char* key, double& value, double minimum,
                               double maximum, bool minimumIncluded,
                               bool required) const {
  const json* member = Member(object, path, key, required);
  if (member == nullptr) return false;
  const bool number = member->is_number();
  const double read = number ? member->get<double>() : 0;
  if (!number || !(minimumIncluded ? read >= minimum : read > minimum) ||
      !(read <= maximum)) {
    Fail(Join(path, key), std::string("must be a number ") +
                              (minimumIncluded ? "from " : "above ") +
                              FormatNumber(minimum) + " to " +
                              FormatNumber(maximum));
  }
  value = read;
  return true;
}

bool CheckedJsonReader::Integer(const json& object, const std::string& path,
                                const char* key, std::int64_t& value,
                                std::int64_t minimum,
                                std::int64_t maximum) const {
  const json* member = Member(object, path, key, false);
  if (member == nullptr) return false;
  const std::string range = "must be an integer from " +
                            std::to_string(minimum) + " to " +
                            std::to_string(maximum);
  if (!member->is_number_integer()) Fail(Join(path, key), range);
  std::int64_t read = 0;
  if (member->is_number_unsigned()) {
    const auto unsignedValue = member->get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(maximum)) {
      Fail(Join(path, key), range);
    }
    read = static_cast<std::int64_t>(unsignedValue);
  } else {
    read = member->get<std::int64_t>();
  }
  if (read < minimum || read > maximum) Fail(Join(path, key), range);
  value = read;
  return true;
}

bool CheckedJsonReader::Bool(const json& object, const std::string& path,
                             const char* key, bool& value) const {
  const json* member = Member(object, path, key, false);
  if (member == nullptr) return false;
  if (!member->is_boolean()) Fail(Join(path, key), "must be true or false");
  value = member->get<bool>();
  return true;
}

bool CheckedJsonReader::String(const json& object, const std::string& path,
                               const char* key, std::string& value,
                               bool required) const {
  const json* member = Member(object, path, key, required);
  if (member == nullptr) return false;
  if (!member->is_string()) Fail(Join(path, key), "must be a string");
  value = member->get<std::string>();
  return true;
}

}  // namespace Core::GEOCOM::host::json_text
