#include "SceneLines.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

namespace Core::GEOCOM::simulator {

namespace {

using json = nlohmann::json;

// Follows the SAX events, keeping the path of the value being read. The
// input stream is read a byte at a time, so its position at an event is
// just past the token that caused it (a number also takes the byte after
// it, which is why the line is taken one byte back).
class LineRecorder final : public nlohmann::json_sax<json> {
 public:
  LineRecorder(std::string_view text, std::istream& in)
      : text_(text), in_(in) {}

  std::map<std::string, std::size_t> TakeLines() { return std::move(lines_); }

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override {
    return Value();
  }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(false); }
  bool start_array(std::size_t) override { return Open(true); }
  bool key(string_t& name) override {
    open_.back().key = name;
    return true;
  }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception&) override {
    lines_.clear();
    return false;
  }

 private:
  struct Container {
    bool array = false;
    std::size_t index = 0;
    std::string key;
    std::string path;
  };

  std::size_t CurrentLine() {
    const auto position =
        in_.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    const auto offset = static_cast<std::size_t>(
        std::max<std::streamoff>(0, static_cast<std::streamoff>(position) - 1));
    return LineAt(text_, offset);
  }

  std::string CurrentPath() const {
    if (open_.empty()) return "";
    const Container& parent = open_.back();
    if (parent.array) {
      return parent.path + "[" + std::to_string(parent.index) + "]";
    }
    return parent.path.empty() ? parent.key : parent.path + "." + parent.key;
  }

  void Advance() {
    if (!open_.empty() && open_.back().array) ++open_.back().index;
  }

  bool Value() {
    lines_[CurrentPath()] = CurrentLine();
    Advance();
    return true;
  }

  bool Open(bool array) {
    Container container;
    container.array = array;
    container.path = CurrentPath();
    lines_[container.path] = CurrentLine();
    open_.push_back(std::move(container));
    return true;
  }

  bool Close() {
    open_.pop_back();
    Advance();
    return true;
  }

  std::string_view text_;
  std::istream& in_;
  std::vector<Container> open_;
  std::map<std::string, std::size_t> lines_;
};

}  // namespace

std::size_t LineAt(std::string_view text, std::size_t offset) {
  const std::string_view before = text.substr(0, std::min(offset, text.size()));
  return 1 + static_cast<std::size_t>(
                 std::count(before.begin(), before.end(), '\n'));
}

std::map<std::string, std::size_t> JsonLines(std::string_view text) {
  std::istringstream in{std::string(text)};
  LineRecorder recorder(text, in);
  json::sax_parse(in, &recorder);
  return recorder.TakeLines();
}

}  // namespace Core::GEOCOM::simulator
