#ifndef GEOCOM_TOOL_UNITS_H
#define GEOCOM_TOOL_UNITS_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>
#include <vector>

// Angles at the tool's edge: the libraries take and give radians (the
// catalogue's unit "rad", and "rad/s" for speeds); the tool reads and prints
// them in the unit its user asked for with --units.
namespace geocom {

enum class AngleUnit { kRadian, kDegree, kGon };

// Adds --units rad|deg|gon (default rad).
void AddUnitsOption(CLI::App& command, AngleUnit& unit);

// The unit as the tool shows it for a catalogue unit: "rad" becomes "deg"
// with degrees, "rad/s" "deg/s"; other units stay as they are.
std::string ShownUnit(std::string_view catalogueUnit, AngleUnit unit);

// How help texts write a catalogue unit after an argument's name: "angle"
// for "rad" (its unit is the one --units chooses), "angle/s" for "rad/s",
// other units as they are.
std::string UnitPlaceholder(std::string_view catalogueUnit);

// The command's argument words with every angle (by the catalogue's unit of
// the argument at its position) turned into radians; a word that is not a
// number stays as it is, for the catalogue's checks to name.
std::vector<std::string> ArgumentsInRadians(
    const Core::GEOCOM::host::Procedure& procedure,
    std::vector<std::string> words, AngleUnit unit);

// The reply's values with every angle (by the catalogue's unit of the value
// of that name) turned from radians into the unit.
Core::GEOCOM::host::Fields ValuesInUnit(
    const Core::GEOCOM::host::Procedure& procedure,
    Core::GEOCOM::host::Fields values, AngleUnit unit);

}  // namespace geocom

#endif
