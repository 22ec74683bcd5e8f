#include <DazoZazIdoRezeraro/host/ArgumentChecks.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "Decimal.h"

namespace Core::GEOCOM::host {

namespace {

// Packers neither read nor change the object they are called on.
const GeoComSentence& Packer() {
  static const GeoComSentence packer;
  return packer;
}

// How many fields of the wire a value takes.
std::size_t FieldCount(const ValueSpec& valueSpec) {
  switch (valueSpec.type) {
    case ValueType::kDateTime:
      return 6;
    case ValueType::kBytes:
      return valueSpec.byteCount;
    default:
      return 1;
  }
}

std::optional<std::int64_t> ReadInteger(std::string_view field) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] =
      std::from_chars(field.data(), field.data() + field.size(), value);
  if (field.empty() || error != std::errc() ||
      end != field.data() + field.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ReadReal(std::string_view field) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  double value = 0;
  if (ReadShortDecimal(field, value)) return value;
  const auto [end, error] =
      std::from_chars(field.data(), field.data() + field.size(), value);
  if (field.empty() || error != std::errc() ||
      end != field.data() + field.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<unsigned> ReadByte(std::string_view field) {
  if (field.size() != 4 || field.front() != '\'' || field.back() != '\'') {
    return std::nullopt;
  }
  unsigned value = 0;
  const auto [end, error] =
      std::from_chars(field.data() + 1, field.data() + 3, value, 16);
  if (error != std::errc() || end != field.data() + 3) return std::nullopt;
  return value;
}

// A date and time from the year and the five byte fields after it.
std::string DateTimeText(unsigned year, const unsigned (&parts)[5]) {
  return FormatDateTime(DATIME{static_cast<std::uint16_t>(year),
                               static_cast<unsigned char>(parts[0]),
                               static_cast<unsigned char>(parts[1]),
                               static_cast<unsigned char>(parts[2]),
                               static_cast<unsigned char>(parts[3]),
                               static_cast<unsigned char>(parts[4])});
}

// "10.5.24" into count byte values.
std::optional<std::vector<unsigned>> ParseBytes(const std::string& text,
                                                unsigned count) {
  std::vector<unsigned> bytes;
  std::size_t from = 0;
  while (from <= text.size()) {
    const std::size_t dot = std::min(text.find('.', from), text.size());
    const auto value =
        ReadInteger(std::string_view(text).substr(from, dot - from));
    if (!value || *value < 0 || *value > 255 || text[from] == '+' ||
        text[from] == '-') {
      return std::nullopt;
    }
    bytes.push_back(static_cast<unsigned>(*value));
    from = dot + 1;
  }
  if (bytes.size() != count) return std::nullopt;
  return bytes;
}

std::string BytesText(const std::vector<unsigned>& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += (i == 0 ? "" : ".") + std::to_string(bytes[i]);
  }
  return text;
}

std::string ByteField(unsigned value) {
  char field[8];
  std::snprintf(field, sizeof field, "'%02x'", value & 0xffu);
  return field;
}

const char* TypeName(ValueType type) {
  switch (type) {
    case ValueType::kInteger:
      return "an integer";
    case ValueType::kReal:
      return "a finite number";
    case ValueType::kBoolean:
      return "1 or 0";
    case ValueType::kText:
      return "a quoted text";
    case ValueType::kDateTime:
      return "a year and five byte fields";
    case ValueType::kBytes:
      return "byte fields";
  }
  return "a value";
}

// One value read from its fields into value (a text into the storage of
// one it holds); false when a field is not wholly of the value's type.
bool ReadValue(const ValueSpec& valueSpec,
               const std::vector<std::string_view>& fields, std::size_t at,
               FieldValue& value) {
  switch (valueSpec.type) {
    case ValueType::kInteger: {
      const auto read = ReadInteger(fields[at]);
      if (!read || *read < -2147483648LL || *read > 4294967295LL) {
        return false;
      }
      value = *read;
      return true;
    }
    case ValueType::kReal: {
      const auto read = ReadReal(fields[at]);
      if (!read) return false;
      value = *read;
      return true;
    }
    case ValueType::kBoolean: {
      if (fields[at] != "0" && fields[at] != "1") return false;
      value = fields[at] == "1";
      return true;
    }
    case ValueType::kText: {
      const std::string_view field = fields[at];
      if (field.size() < 2 || field.front() != '"' || field.back() != '"') {
        return false;
      }
      const std::string_view text = field.substr(1, field.size() - 2);
      if (auto* kept = std::get_if<std::string>(&value)) {
        kept->assign(text);
      } else {
        value = std::string(text);
      }
      return true;
    }
    case ValueType::kDateTime: {
      const auto year = ReadInteger(fields[at]);
      if (!year || *year < 0 || *year > 65535) return false;
      unsigned parts[5];
      for (unsigned i = 0; i < 5; ++i) {
        const auto part = ReadByte(fields[at + 1 + i]);
        if (!part) return false;
        parts[i] = *part;
      }
      value = DateTimeText(static_cast<unsigned>(*year), parts);
      return true;
    }
    case ValueType::kBytes: {
      std::vector<unsigned> bytes;
      for (unsigned i = 0; i < valueSpec.byteCount; ++i) {
        const auto part = ReadByte(fields[at + i]);
        if (!part) return false;
        bytes.push_back(*part);
      }
      value = BytesText(bytes);
      return true;
    }
  }
  return false;
}

// Reads the values of specs from the fields into values, reusing the
// storage of those it holds; fails naming the first value that is missing
// or not of its type.
template <typename What>
Result<Done> ReadValues(const std::vector<ValueSpec>& specs,
                        const std::vector<std::string_view>& fields,
                        bool defaultsAllowed, ErrorKind kind, const What& what,
                        Fields& values) {
  std::size_t read = 0;
  std::size_t at = 0;
  for (const ValueSpec& valueSpec : specs) {
    Field& field = read < values.size() ? values[read] : values.emplace_back();
    ++read;
    // A list read again for the same procedure already holds the name.
    if (field.name != valueSpec.name) field.name.assign(valueSpec.name);
    const std::size_t count = FieldCount(valueSpec);
    if (at + count > fields.size()) {
      if (defaultsAllowed && valueSpec.fallback) {
        field.value = *valueSpec.fallback;
        continue;
      }
      return Error{kind, what() + " lacks " + std::string(valueSpec.name)};
    }
    if (!ReadValue(valueSpec, fields, at, field.value)) {
      std::string got;
      for (std::size_t i = at; i < at + count; ++i) {
        got += i == at ? "" : ",";
        got += fields[i];
      }
      return Error{kind, what() + " has '" + EscapeBytes(got) + "' for " +
                             std::string(valueSpec.name) + ", not " +
                             TypeName(valueSpec.type)};
    }
    at += count;
  }
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(read),
               values.end());
  return Done{};
}

std::string Label(const Procedure& procedure) {
  return std::string(procedure.name);
}

// Keeps the arguments among a request's fields where the packer writes
// fixed ones too, each of which must hold its text, as the host would have
// packed it.
template <typename What>
Result<Done> KeepArgumentFields(const std::vector<std::string_view>& layout,
                                std::vector<std::string_view>& fields,
                                const What& what) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < layout.size() && i < fields.size(); ++i) {
    if (layout[i].empty()) {
      fields[kept++] = fields[i];
    } else if (fields[i] != layout[i]) {
      return Error{ErrorKind::kInvalidArgument,
                   what() + " has '" + EscapeBytes(fields[i]) + "' as field " +
                       std::to_string(i + 1) + ", which is always " +
                       std::string(layout[i])};
    }
  }
  fields.resize(kept);
  return Done{};
}

Error InvalidArgument(const Procedure& procedure, const std::string& message) {
  return Error{ErrorKind::kInvalidArgument, Label(procedure) + ": " + message};
}

std::string Number(double value) { return FormatDouble(value); }

// The argument's value as its type wants it, checked; fails naming it.
Result<FieldValue> Checked(const Procedure& procedure,
                           const ValueSpec& valueSpec,
                           const FieldValue& given) {
  const std::string name(valueSpec.name);
  const auto outOfRange = [&](double value) -> std::optional<Error> {
    if (value < valueSpec.minimum || value > valueSpec.maximum) {
      return InvalidArgument(procedure, name + " must be from " +
                                            Number(valueSpec.minimum) + " to " +
                                            Number(valueSpec.maximum) +
                                            ", not " + Number(value));
    }
    return std::nullopt;
  };
  switch (valueSpec.type) {
    case ValueType::kInteger: {
      const auto* value = std::get_if<std::int64_t>(&given);
      if (value == nullptr) {
        return InvalidArgument(procedure, name + " must be an integer");
      }
      if (auto error = outOfRange(static_cast<double>(*value))) return *error;
      return given;
    }
    case ValueType::kReal: {
      double value = 0;
      if (const auto* real = std::get_if<double>(&given)) {
        value = *real;
      } else if (const auto* whole = std::get_if<std::int64_t>(&given)) {
        value = static_cast<double>(*whole);
      } else {
        return InvalidArgument(procedure, name + " must be a number");
      }
      const Result<Done> finite = CheckFinite(name.c_str(), value);
      if (!finite) return InvalidArgument(procedure, finite.error().message);
      if (auto error = outOfRange(value)) return *error;
      return FieldValue(value);
    }
    case ValueType::kBoolean: {
      if (std::holds_alternative<bool>(given)) return given;
      const auto* whole = std::get_if<std::int64_t>(&given);
      if (whole != nullptr && (*whole == 0 || *whole == 1)) {
        return FieldValue(*whole == 1);
      }
      return InvalidArgument(procedure, name + " must be true or false");
    }
    case ValueType::kText: {
      const auto* text = std::get_if<std::string>(&given);
      if (text == nullptr) {
        return InvalidArgument(procedure, name + " must be a text");
      }
      const Result<Done> clean = CheckName(name.c_str(), *text);
      if (!clean) return InvalidArgument(procedure, clean.error().message);
      return given;
    }
    case ValueType::kDateTime: {
      const auto* text = std::get_if<std::string>(&given);
      const std::optional<DATIME> parsed =
          text != nullptr ? ParseDateTime(*text) : std::nullopt;
      if (!parsed) {
        return InvalidArgument(procedure,
                               name + " must look like 2024-03-15T10:30:00");
      }
      const Result<Done> exists = CheckDateTime(*parsed);
      if (!exists) return InvalidArgument(procedure, exists.error().message);
      return given;
    }
    case ValueType::kBytes: {
      const auto* text = std::get_if<std::string>(&given);
      if (text == nullptr || !ParseBytes(*text, valueSpec.byteCount)) {
        return InvalidArgument(procedure,
                               name + " must be " +
                                   std::to_string(valueSpec.byteCount) +
                                   " byte values (0 to 255) joined by dots");
      }
      return given;
    }
  }
  return given;
}

// Packs one checked value with the core's packer for its type.
std::string PackValue(const ValueSpec& valueSpec, const FieldValue& value) {
  const GeoComSentence& packer = Packer();
  switch (valueSpec.type) {
    case ValueType::kInteger: {
      const std::int64_t whole = std::get<std::int64_t>(value);
      return whole > 2147483647 ? packer.Pack(static_cast<unsigned>(whole))
                                : packer.Pack(static_cast<int>(whole));
    }
    case ValueType::kReal:
      return packer.Pack(std::get<double>(value));
    case ValueType::kBoolean:
      return packer.Pack(std::get<bool>(value));
    case ValueType::kText:
      return packer.Pack(std::get<std::string>(value));
    case ValueType::kDateTime:
      return packer.PackRequestSetDateTime(
          *ParseDateTime(std::get<std::string>(value)));
    case ValueType::kBytes: {
      const std::vector<unsigned> bytes =
          ParseBytes(std::get<std::string>(value), valueSpec.byteCount)
              .value_or(std::vector<unsigned>());
      std::string text;
      for (unsigned byte : bytes) {
        text += (text.empty() ? "" : ",") + ByteField(byte);
      }
      return text;
    }
  }
  return "";
}

// The fields as views into the text, which a reading takes without a copy,
// into fields, whose storage the caller keeps; false when a quote is not
// closed.
bool SplitParameterViews(std::string_view text,
                         std::vector<std::string_view>& fields) {
  fields.clear();
  if (text.empty()) return true;
  std::size_t at = 0;
  while (true) {
    std::size_t end = at;
    if (at < text.size() && text[at] == '"') {
      end = text.find('"', at + 1);
      if (end == std::string_view::npos) return false;
      ++end;
      if (end < text.size() && text[end] != ',') return false;
    } else {
      end = std::min(text.find(',', at), text.size());
    }
    fields.emplace_back(text.substr(at, end - at));
    if (end >= text.size()) return true;
    at = end + 1;
  }
}

// Whether Checked takes the value as it is, told without building its
// result: an integer or finite number within its range.
bool PlainlyInRange(const ValueSpec& valueSpec, const FieldValue& value) {
  double number = 0;
  if (const auto* whole = std::get_if<std::int64_t>(&value);
      whole != nullptr && valueSpec.type == ValueType::kInteger) {
    number = static_cast<double>(*whole);
  } else if (const auto* real = std::get_if<double>(&value);
             real != nullptr && valueSpec.type == ValueType::kReal &&
             std::isfinite(*real)) {
    number = *real;
  } else {
    return false;
  }
  return number >= valueSpec.minimum && number <= valueSpec.maximum;
}

}  // namespace

std::optional<std::vector<std::string>> SplitParameters(std::string_view text) {
  std::vector<std::string_view> views;
  if (!SplitParameterViews(text, views)) return std::nullopt;
  return std::vector<std::string>(views.begin(), views.end());
}

std::optional<FieldValue> ReadField(ValueType type, std::string_view field) {
  if (type == ValueType::kDateTime) return std::nullopt;
  ValueSpec valueSpec;
  valueSpec.type = type;
  valueSpec.byteCount = 1;
  FieldValue value;
  if (!ReadValue(valueSpec, {field}, 0, value)) return std::nullopt;
  return value;
}

Result<std::string> PackArguments(const Procedure& procedure,
                                  const Fields& arguments) {
  if (!procedure.known) {
    return InvalidArgument(procedure,
                           "its arguments are not catalogued; call it with a "
                           "raw parameter text");
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i].name;
    const bool known = std::any_of(
        procedure.arguments.begin(), procedure.arguments.end(),
        [&name](const ValueSpec& valueSpec) { return valueSpec.name == name; });
    if (!known) {
      std::string accepted;
      for (const ValueSpec& valueSpec : procedure.arguments) {
        accepted +=
            (accepted.empty() ? "" : ", ") + std::string(valueSpec.name);
      }
      return InvalidArgument(procedure,
                             "it has no argument '" + name + "' (it takes " +
                                 (accepted.empty() ? "none" : accepted) + ")");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (arguments[j].name == name) {
        return InvalidArgument(procedure, name + " is given twice");
      }
    }
  }
  std::vector<FieldValue> values;
  for (const ValueSpec& valueSpec : procedure.arguments) {
    const FieldValue* given = FindValue(arguments, valueSpec.name);
    if (given == nullptr && !valueSpec.fallback) {
      return InvalidArgument(procedure,
                             std::string(valueSpec.name) + " must be given");
    }
    Result<FieldValue> value = Checked(
        procedure, valueSpec, given != nullptr ? *given : *valueSpec.fallback);
    if (!value) return value.error();
    values.push_back(std::move(*value));
  }
  if (procedure.pack != nullptr) return procedure.pack(values);
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    text += (i == 0 ? "" : ",") + PackValue(procedure.arguments[i], values[i]);
  }
  return text;
}

Result<Done> FieldReader::Reply(const Procedure& procedure,
                                const GeoComSentence& reply, Fields& values) {
  const auto what = [&procedure] { return "the reply to " + Label(procedure); };
  if (!procedure.known) {
    return Error{ErrorKind::kInvalidReply,
                 what() + " cannot be decoded: its values are not catalogued"};
  }
  const unsigned char* data = nullptr;
  int length = 0;
  reply.GetBuffer(data, length);
  std::string_view text(reinterpret_cast<const char*>(data),
                        static_cast<std::size_t>(length));
  if (!text.empty() && text.front() == ',') text.remove_prefix(1);
  if (!SplitParameterViews(text, split_)) {
    return Error{ErrorKind::kInvalidReply,
                 what() + " has an unclosed quote: " + EscapeBytes(text)};
  }
  // The strict reading is the decoding: each value read once, by its type.
  return ReadValues(procedure.reply, split_, false, ErrorKind::kInvalidReply,
                    what, values);
}

Result<Fields> DecodeReply(const Procedure& procedure,
                           const GeoComSentence& reply) {
  Fields values;
  values.reserve(procedure.reply.size());
  Result<Done> read = FieldReader().Reply(procedure, reply, values);
  if (!read) return read.error();
  return values;
}

Result<Done> CheckReply(const Procedure& procedure,
                        const GeoComSentence& reply) {
  Result<Fields> strict = DecodeReply(procedure, reply);
  if (!strict) return strict.error();
  return Done{};
}

Error UndecodedReply(const Procedure& procedure, const GeoComSentence& reply) {
  std::string text = SentenceBytes(reply);
  if (!text.empty() && text.front() == ',') text.erase(0, 1);
  return Error{ErrorKind::kInvalidReply,
               "the reply to " + Label(procedure) +
                   " does not decode: " + EscapeBytes(text)};
}

Result<Done> FieldReader::Arguments(const Procedure& procedure,
                                    std::string_view parameters,
                                    Fields& values) {
  const auto what = [&procedure] {
    return "the request for " + Label(procedure);
  };
  if (!procedure.known) {
    return Error{ErrorKind::kInvalidArgument,
                 what() + " cannot be read: its arguments are not catalogued"};
  }
  if (!SplitParameterViews(parameters, split_)) {
    return Error{ErrorKind::kInvalidArgument,
                 what() + " has an unclosed quote: " + EscapeBytes(parameters)};
  }
  if (!procedure.requestLayout.empty()) {
    Result<Done> kept =
        KeepArgumentFields(procedure.requestLayout, split_, what);
    if (!kept) return kept;
  }
  Result<Done> read = ReadValues(procedure.arguments, split_, true,
                                 ErrorKind::kInvalidArgument, what, values);
  if (!read) return read;
  // Read as the host would have packed them: each within its range, a date
  // that exists.
  for (std::size_t i = 0; i < values.size(); ++i) {
    const ValueSpec& valueSpec = procedure.arguments[i];
    if (PlainlyInRange(valueSpec, values[i].value)) continue;
    Result<FieldValue> checked = Checked(procedure, valueSpec, values[i].value);
    if (!checked) return checked.error();
  }
  return Done{};
}

Result<Fields> ReadArguments(const Procedure& procedure,
                             std::string_view parameters) {
  Fields values;
  values.reserve(procedure.arguments.size());
  Result<Done> read = FieldReader().Arguments(procedure, parameters, values);
  if (!read) return read.error();
  return values;
}

Result<std::string> ComposeReply(const Procedure& procedure,
                                 const Fields& values) {
  std::string text;
  for (const ValueSpec& valueSpec : procedure.reply) {
    const FieldValue* value = FindValue(values, valueSpec.name);
    if (value == nullptr) {
      return InvalidArgument(procedure,
                             "the reply lacks " + std::string(valueSpec.name));
    }
    const std::string name(valueSpec.name);
    const auto wrongType = [&] {
      return InvalidArgument(procedure, "the reply's " + name + " must be " +
                                            TypeName(valueSpec.type));
    };
    switch (valueSpec.type) {
      case ValueType::kInteger: {
        const auto* whole = std::get_if<std::int64_t>(value);
        if (whole == nullptr) return wrongType();
        text += "," + std::to_string(*whole);
        break;
      }
      case ValueType::kReal: {
        const auto* real = std::get_if<double>(value);
        if (real == nullptr || !std::isfinite(*real)) return wrongType();
        text += "," + FormatDouble(*real);
        break;
      }
      case ValueType::kBoolean: {
        const auto* flag = std::get_if<bool>(value);
        if (flag == nullptr) return wrongType();
        text += *flag ? ",1" : ",0";
        break;
      }
      case ValueType::kText: {
        const auto* string = std::get_if<std::string>(value);
        if (string == nullptr || !CheckName(name.c_str(), *string)) {
          return wrongType();
        }
        text += ",\"" + *string + "\"";
        break;
      }
      case ValueType::kDateTime: {
        const auto* string = std::get_if<std::string>(value);
        const std::optional<DATIME> t =
            string != nullptr ? ParseDateTime(*string) : std::nullopt;
        if (!t) return wrongType();
        text += "," + std::to_string(t->year);
        for (unsigned part :
             {t->month, t->day, t->hour, t->minute, t->second}) {
          text += "," + ByteField(part);
        }
        break;
      }
      case ValueType::kBytes: {
        const auto* string = std::get_if<std::string>(value);
        const auto bytes = string != nullptr
                               ? ParseBytes(*string, valueSpec.byteCount)
                               : std::nullopt;
        if (!bytes) return wrongType();
        for (unsigned byte : *bytes) text += "," + ByteField(byte);
        break;
      }
    }
  }
  return text;
}

std::string FormatValue(const FieldValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) {
    return std::to_string(*number);
  }
  if (const auto* real = std::get_if<double>(&value)) {
    return FormatDouble(*real);
  }
  if (const auto* flag = std::get_if<bool>(&value)) {
    return *flag ? "true" : "false";
  }
  return std::get<std::string>(value);
}

const FieldValue* FindValue(const Fields& values, std::string_view name) {
  for (const Field& field : values) {
    if (field.name == name) return &field.value;
  }
  return nullptr;
}

}  // namespace Core::GEOCOM::host
