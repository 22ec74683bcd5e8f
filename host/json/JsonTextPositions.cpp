#include "JsonTextPositions.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace Core::GEOCOM::host::json_text {

namespace {

using json = nlohmann::json;
constexpr std::size_t kNoMatch = std::string_view::npos;

// Counts lines up to the stream's position, which only moves forward, so
// the whole pass counts each byte once. The stream is read a byte at a
// time, so at an event it stands just past the token that caused it (a
// number also takes the byte after it, which is why one byte back).
class LineCursor {
 public:
  LineCursor(std::string_view text, std::istream& in) : text_(text), in_(in) {}

  std::size_t Line() {
    const auto position =
        in_.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    const auto offset = std::min(
        text_.size(), static_cast<std::size_t>(std::max<std::streamoff>(
                          0, static_cast<std::streamoff>(position) - 1)));
    if (offset > counted_) {
      line_ += static_cast<std::size_t>(std::count(
          text_.begin() + static_cast<std::ptrdiff_t>(counted_),
          text_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
      counted_ = offset;
    }
    return line_;
  }

 private:
  std::string_view text_;
  std::istream& in_;
  std::size_t counted_ = 0;
  std::size_t line_ = 1;
};

// The SAX events every pass ignores.
class Pass : public nlohmann::json_sax<json> {
 public:
  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override {
    return Value();
  }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception&) override {
    return false;
  }

 protected:
  virtual bool Value() = 0;
};

class DepthPass final : public Pass {
 public:
  DepthPass(LineCursor& cursor, std::size_t maxDepth)
      : cursor_(cursor), maxDepth_(maxDepth) {}

  std::optional<std::size_t> tooDeep;

  bool start_object(std::size_t) override { return Open(); }
  bool start_array(std::size_t) override { return Open(); }
  bool key(string_t&) override { return true; }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

 private:
  bool Value() override { return true; }
  bool Open() {
    if (++depth_ <= maxDepth_) return true;
    tooDeep = cursor_.Line();
    return false;
  }
  bool Close() {
    --depth_;
    return true;
  }

  LineCursor& cursor_;
  std::size_t maxDepth_;
  std::size_t depth_ = 0;
};

// Follows how far the path of the value being read agrees with the wanted
// one, without ever composing a path: each open container keeps the
// length of the wanted path its own path matches, or kNoMatch.
class PathPass final : public Pass {
 public:
  PathPass(LineCursor& cursor, std::string_view wanted)
      : cursor_(cursor), wanted_(wanted) {}

  std::size_t line = 1;

  bool start_object(std::size_t) override { return Open(false); }
  bool start_array(std::size_t) override { return Open(true); }
  bool key(string_t& name) override {
    open_.back().key = name;
    return true;
  }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

 private:
  struct Container {
    bool array = false;
    std::size_t index = 0;
    std::string key;
    std::size_t matched = kNoMatch;
  };

  // How much of the wanted path the current value's path matches.
  std::size_t Matched() const {
    if (open_.empty()) return 0;
    const Container& parent = open_.back();
    if (parent.matched == kNoMatch) return kNoMatch;
    std::string segment;
    if (parent.array) {
      segment = "[" + std::to_string(parent.index) + "]";
    } else {
      segment = parent.matched == 0 ? parent.key : "." + parent.key;
    }
    if (wanted_.substr(parent.matched, segment.size()) != segment) {
      return kNoMatch;
    }
    return parent.matched + segment.size();
  }

  // A value whose path is a whole leading part of the wanted one.
  bool Record(std::size_t matched) {
    if (matched == kNoMatch) return true;
    const bool whole = matched == wanted_.size();
    if (whole || matched == 0 || wanted_[matched] == '.' ||
        wanted_[matched] == '[') {
      line = cursor_.Line();
    }
    return !whole;
  }

  void Advance() {
    if (!open_.empty() && open_.back().array) ++open_.back().index;
  }

  bool Value() override {
    const bool more = Record(Matched());
    Advance();
    return more;
  }

  bool Open(bool array) {
    Container container;
    container.array = array;
    container.matched = Matched();
    if (!Record(container.matched)) return false;
    open_.push_back(std::move(container));
    return true;
  }

  bool Close() {
    open_.pop_back();
    Advance();
    return true;
  }

  LineCursor& cursor_;
  std::string_view wanted_;
  std::vector<Container> open_;
};

}  // namespace

std::size_t LineAt(std::string_view text, std::size_t offset) {
  const std::string_view before = text.substr(0, std::min(offset, text.size()));
  return 1 + static_cast<std::size_t>(
                 std::count(before.begin(), before.end(), '\n'));
}

std::optional<std::size_t> FirstTooDeep(std::string_view text,
                                        std::size_t maxDepth) {
  std::istringstream in{std::string(text)};
  LineCursor cursor(text, in);
  DepthPass pass(cursor, maxDepth);
  json::sax_parse(in, &pass);
  return pass.tooDeep;
}

std::size_t LineOfPath(std::string_view text, std::string_view path) {
  std::istringstream in{std::string(text)};
  LineCursor cursor(text, in);
  PathPass pass(cursor, path);
  json::sax_parse(in, &pass);
  return pass.line;
}

}  // namespace Core::GEOCOM::host::json_text
