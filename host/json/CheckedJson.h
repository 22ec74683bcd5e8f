#ifndef DAZOZAZIDOREZERARO_HOST_JSON_CHECKEDJSON_H
#define DAZOZAZIDOREZERARO_HOST_JSON_CHECKEDJSON_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Core::GEOCOM::host::json_text {

using json = nlohmann::json;

/// A file or text refused; what() names it, the line and what is wrong.
class CheckedJsonError : public std::runtime_error {
 public:
  /// unreadable: the file could not be read at all, rather than read and
  /// found wrong.
  explicit CheckedJsonError(const std::string& message, bool unreadable = false)
      : std::runtime_error(message), unreadable_(unreadable) {}
  bool unreadable() const noexcept { return unreadable_; }

 private:
  bool unreadable_;
};

/// What a document is called in messages: "job" and "key" make "the job"
/// and "is not a key of the job".
struct DocumentKind {
  std::string name;
  std::string memberWord;
  std::string Noun() const { return "the " + name; }
};

/// Reads a file of at most maxBytes: a regular file too large is refused
/// unread, anything else (a pipe, a device that never ends) is read only up
/// to the cap, a piece at a time so that a small file costs what it holds.
std::string ReadBoundedFile(const std::string& path, std::size_t maxBytes,
                            const DocumentKind& kind);

/// Parses text as one JSON document, refused when it is larger than
/// maxBytes or nests deeper than maxDepth (before a document is built) and
/// on a syntax error, each naming the line.
json ParseDocument(std::string_view text, const std::string& name,
                   std::size_t maxBytes, std::size_t maxDepth,
                   const DocumentKind& kind);

/// Reads the members of a parsed document, each by its path
/// ("prisms[1].height"), and throws a CheckedJsonError naming the text, the
/// line and the path at the first wrong one. The line is looked up only
/// then, so a document that reads pays nothing for it.
class CheckedJsonReader {
 public:
  CheckedJsonReader(std::string name, std::string_view text, DocumentKind kind);

  /// A missing member is reported on the line of the object that lacks it.
  [[noreturn]] void Fail(const std::string& path, const std::string& why) const;
  static std::string Join(const std::string& path, const std::string& key);

  /// The object at path, every member of which must be allowed.
  const json& Object(const json& value, const std::string& path,
                     std::initializer_list<const char*> allowed) const;
  const json* Member(const json& object, const std::string& path,
                     const char* key, bool required) const;
  /// A number from minimum to maximum; an exclusive lower bound says so.
  /// False when the member is absent and not required.
  bool Number(const json& object, const std::string& path, const char* key,
              double& value, double minimum, double maximum,
              bool minimumIncluded = true, bool required = false) const;
  /// An integer from minimum to maximum.
  bool Integer(const json& object, const std::string& path, const char* key,
               std::int64_t& value, std::int64_t minimum,
               std::int64_t maximum) const;
  bool Bool(const json& object, const std::string& path, const char* key,
            bool& value) const;
  bool String(const json& object, const std::string& path, const char* key,
              std::string& value, bool required) const;

 private:
  std::string name_;
  std::string_view text_;
  DocumentKind kind_;
};

}  // namespace Core::GEOCOM::host::json_text

#endif
