#include "Units.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace geocom {

namespace {

using namespace Core::GEOCOM::host;

constexpr double kPi = 3.14159265358979323846;

// How many of the unit make a half turn.
double HalfTurn(AngleUnit unit) {
  switch (unit) {
    case AngleUnit::kDegree:
      return 180.0;
    case AngleUnit::kGon:
      return 200.0;
    case AngleUnit::kRadian:
      break;
  }
  return kPi;
}

const char* Name(AngleUnit unit) {
  switch (unit) {
    case AngleUnit::kDegree:
      return "deg";
    case AngleUnit::kGon:
      return "gon";
    case AngleUnit::kRadian:
      break;
  }
  return "rad";
}

// An angle in the unit, rounded to the decimals that still tell a tenth of
// the instrument's resolution apart (requests carry radians with six
// decimals), at most 8: 36.870006 degrees, not 36.87000600400702.
double ShownAngle(double radians, AngleUnit unit) {
  constexpr double kTenthOfResolution = 1e-7;  // radians
  const double tenth = kTenthOfResolution * HalfTurn(unit) / kPi;
  const double decimals = std::min(8.0, std::ceil(-std::log10(tenth)));
  const double scale = std::pow(10.0, decimals);
  return std::round(radians * HalfTurn(unit) / kPi * scale) / scale;
}

// "rad" and "rad/s" are angles; the rest of a unit ("/s") is kept.
bool IsAngle(std::string_view catalogueUnit) {
  return catalogueUnit.substr(0, 3) == "rad";
}

}  // namespace

void AddUnitsOption(CLI::App& command, AngleUnit& unit) {
  command
      .add_option_function<std::string>(
          "--units",
          [&unit](const std::string& name) {
            for (const AngleUnit each :
                 {AngleUnit::kRadian, AngleUnit::kDegree, AngleUnit::kGon}) {
              if (name == Name(each)) unit = each;
            }
          },
          "Unit of the angles the command takes and prints: radians, "
          "degrees or gon (400 to the turn); default rad")
      ->type_name("rad|deg|gon")
      ->check(CLI::Validator(
          [](std::string& name) -> std::string {
            return name == "rad" || name == "deg" || name == "gon"
                       ? ""
                       : "'" + name + "' is not rad, deg or gon";
          },
          ""));
}

std::string ShownUnit(std::string_view catalogueUnit, AngleUnit unit) {
  if (!IsAngle(catalogueUnit)) return std::string(catalogueUnit);
  return Name(unit) + std::string(catalogueUnit.substr(3));
}

std::string UnitPlaceholder(std::string_view catalogueUnit) {
  if (!IsAngle(catalogueUnit)) return std::string(catalogueUnit);
  return "angle" + std::string(catalogueUnit.substr(3));
}

std::vector<std::string> ArgumentsInRadians(const Procedure& procedure,
                                            std::vector<std::string> words,
                                            AngleUnit unit) {
  if (unit == AngleUnit::kRadian) return words;
  for (std::size_t i = 0; i < words.size() && i < procedure.arguments.size();
       ++i) {
    if (!IsAngle(procedure.arguments[i].unit)) continue;
    std::string& word = words[i];
    double value = 0;
    const char* const end = word.data() + word.size();
    const auto parsed = std::from_chars(word.data(), end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end) continue;
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof text, value * kPi / HalfTurn(unit));
    word.assign(text, written.ptr);
  }
  return words;
}

Fields ValuesInUnit(const Procedure& procedure, Fields values, AngleUnit unit) {
  if (unit == AngleUnit::kRadian) return values;
  for (Field& field : values) {
    for (const ValueSpec& valueSpec : procedure.reply) {
      double* const angle = std::get_if<double>(&field.value);
      if (valueSpec.name == field.name && IsAngle(valueSpec.unit) &&
          angle != nullptr) {
        *angle = ShownAngle(*angle, unit);
      }
    }
  }
  return values;
}

}  // namespace geocom
