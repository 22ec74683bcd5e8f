#include "CallCommands.h"

#include <algorithm>
#include <cctype>

#include "Arguments.h"
#include "ExitStatus.h"
#include "Units.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

// "incline_mode" as the tool writes it: "INCLINE-MODE".
std::string Placeholder(std::string_view name) {
  std::string text(name);
  for (char& c : text) {
    c = c == '_'
            ? '-'
            : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

// A setting, mode or direction whose description names each value it takes
// ("0 normal, 1 precise").
bool ListsItsValues(const ValueSpec& valueSpec) {
  const std::string_view text = valueSpec.description;
  return valueSpec.type == ValueType::kInteger && text.size() > 2 &&
         std::isdigit(static_cast<unsigned char>(text[0])) != 0 &&
         text.find(", ") != std::string_view::npos;
}

// One word as the argument's type wants it; ArgReader names the argument
// when the word is malformed.
FieldValue ReadWord(ArgReader& reader, const ValueSpec& valueSpec,
                    const std::string& name) {
  switch (valueSpec.type) {
    case ValueType::kInteger:
      return static_cast<std::int64_t>(reader.Int(name.c_str()));
    case ValueType::kReal:
      return reader.Double(name.c_str());
    case ValueType::kBoolean:
      return reader.Bool(name.c_str());
    case ValueType::kText:
    case ValueType::kDateTime:
    case ValueType::kBytes:
      return reader.Text(name.c_str());
  }
  return std::string();
}

}  // namespace

const Procedure* FindCallCommand(std::string_view name) {
  const Procedure* procedure = FindProcedure(name);
  return procedure != nullptr && procedure->known ? procedure : nullptr;
}

std::string PackCallArguments(const Procedure& procedure,
                              const std::vector<std::string>& words) {
  ArgReader reader(words);
  Fields arguments;
  std::size_t index = 0;
  for (const ValueSpec& valueSpec : procedure.arguments) {
    // Arguments with defaults may be left out at the end.
    if (index >= words.size() && valueSpec.fallback) break;
    const std::string name = Placeholder(valueSpec.name);
    arguments.push_back(
        {std::string(valueSpec.name), ReadWord(reader, valueSpec, name)});
    ++index;
  }
  reader.Finish();
  Result<std::string> parameters = PackArguments(procedure, arguments);
  if (!parameters) throw UsageError(parameters.error().message);
  return *parameters;
}

std::string ArgumentUsage(const ValueSpec& valueSpec) {
  std::string name = Placeholder(valueSpec.name);
  if (!valueSpec.unit.empty()) name += ":" + UnitPlaceholder(valueSpec.unit);
  return valueSpec.fallback
             ? "[" + name + "=" + FormatValue(*valueSpec.fallback) + "]"
             : "<" + name + ">";
}

std::string CallUsage(const Procedure& procedure) {
  std::string usage;
  for (const ValueSpec& valueSpec : procedure.arguments) {
    usage += usage.empty() ? "" : " ";
    usage += ArgumentUsage(valueSpec);
  }
  return usage;
}

std::string CallCommandListing() {
  std::string listing;
  for (const Procedure& procedure : Procedures()) {
    if (!procedure.known) continue;
    std::string usage =
        std::string(procedure.name) + " " + CallUsage(procedure);
    usage.resize(std::max<std::size_t>(usage.size(), 44), ' ');
    listing += "  " + usage + " " + std::string(procedure.description) + " (" +
               std::to_string(procedure.id) + ")\n";
    for (const ValueSpec& valueSpec : procedure.arguments) {
      if (ListsItsValues(valueSpec)) {
        listing += "      " + Placeholder(valueSpec.name) + ": " +
                   std::string(valueSpec.description) + "\n";
      }
    }
  }
  return listing;
}

}  // namespace geocom
