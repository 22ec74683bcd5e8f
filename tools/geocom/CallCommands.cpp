#include "CallCommands.h"

#include <DazoZazIdoRezeraro/host/Requests.h>

#include <algorithm>
#include <cstdio>

#include "ExitStatus.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;

// The library's checks name the value; the tool names the argument too.
std::string Checked(const char* argument, Result<std::string> parameters) {
  if (!parameters) {
    throw UsageError(std::string("<") + argument +
                     ">: " + parameters.error().message);
  }
  return *parameters;
}

std::string Packed(Result<std::string> parameters) {
  return Checked("ARGUMENTS", std::move(parameters));
}

std::string NoArguments(ArgReader&) { return ""; }

// "YYYY-MM-DDTHH:MM:SS"; whether that date exists is the library's check.
DATIME ParseDateTime(const std::string& text) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%n", &year, &month,
                  &day, &hour, &minute, &second, &consumed) != 6 ||
      static_cast<std::size_t>(consumed) != text.size() || month > 255 ||
      day > 255 || hour > 255 || minute > 255 || second > 255) {
    throw UsageError("<DATE-TIME> must look like 2024-03-15T10:30:00, not '" +
                     text + "'");
  }
  return DATIME{
      static_cast<std::uint16_t>(year),   static_cast<unsigned char>(month),
      static_cast<unsigned char>(day),    static_cast<unsigned char>(hour),
      static_cast<unsigned char>(minute), static_cast<unsigned char>(second)};
}

// Three byte values separated by dots, in the order the instrument keeps them.
FTR_MODDATE ParseModDate(const std::string& text) {
  unsigned parts[3] = {0, 0, 0};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u%n", &parts[0], &parts[1],
                  &parts[2], &consumed) != 3 ||
      static_cast<std::size_t>(consumed) != text.size() || parts[0] > 255 ||
      parts[1] > 255 || parts[2] > 255) {
    throw UsageError("<DATE> must be three byte values like 24.5.12, not '" +
                     text + "'");
  }
  return FTR_MODDATE{{static_cast<unsigned char>(parts[0]),
                      static_cast<unsigned char>(parts[1]),
                      static_cast<unsigned char>(parts[2])}};
}

const std::vector<CallCommand> kCommands = {
    {kNull, "", NoArguments},
    {kInstrumentNumber, "", NoArguments},
    {kInstrumentName, "", NoArguments},
    {kSoftwareVersion, "", NoArguments},
    {kDeviceConfig, "", NoArguments},
    {kPower, "", NoArguments},
    {kDateTime, "", NoArguments},
    {kSetDateTime, "<DATE-TIME>",
     [](ArgReader& a) {
       return Checked("DATE-TIME", SetDateTimeParameters(
                                       ParseDateTime(a.Text("DATE-TIME"))));
     }},
    {kAngles, "[INCLINE-MODE=1]",
     [](ArgReader& a) {
       return Packed(AnglesParameters(a.Int("INCLINE-MODE", 1)));
     }},
    {kSimpleMeasurement, "[WAIT-MS=1000] [INCLINE-MODE=1]",
     [](ArgReader& a) {
       const std::int32_t wait = a.Int("WAIT-MS", 1000);
       return Checked("WAIT-MS", SimpleMeasurementParameters(
                                     wait, a.Int("INCLINE-MODE", 1)));
     }},
    {kAtmosphere, "", NoArguments},
    {kStation, "", NoArguments},
    {kSetStation, "<EASTING> <NORTHING> <HEIGHT> <INSTRUMENT-HEIGHT>",
     [](ArgReader& a) {
       TMC_Station station{};
       station.stationEasting = a.Double("EASTING");
       station.stationNorthing = a.Double("NORTHING");
       station.stationHeight = a.Double("HEIGHT");
       station.instrumentHeight = a.Double("INSTRUMENT-HEIGHT");
       return Packed(SetStationParameters(station));
     }},
    {kAngleSwitches, "", NoArguments},
    {kSlopeDistanceCorrections, "", NoArguments},
    {kPosition, "<HZ> <V> [POSMODE=0] [ATRMODE=0]",
     [](ArgReader& a) {
       const double hz = a.Double("HZ");
       const double v = a.Double("V");
       const auto posMode = static_cast<AUT_POSMODE>(a.Int("POSMODE", 0));
       const auto atrMode = static_cast<AUT_ATRMODE>(a.Int("ATRMODE", 0));
       return Packed(PositionParameters(hz, v, posMode, atrMode));
     }},
    {kFineAdjust, "<HZ-RANGE> <V-RANGE>",
     [](ArgReader& a) {
       const double hz = a.Double("HZ-RANGE");
       return Packed(FineAdjustParameters(hz, a.Double("V-RANGE")));
     }},
    {kLockIn, "", NoArguments},
    {kSearchArea, "", NoArguments},
    {kSetSearchArea, "<CENTER-HZ> <CENTER-V> <RANGE-HZ> <RANGE-V> <ENABLED>",
     [](ArgReader& a) {
       AUT_SEARCH_AREA area{};
       area.centerHz = a.Double("CENTER-HZ");
       area.centerV = a.Double("CENTER-V");
       area.rangeHz = a.Double("RANGE-HZ");
       area.rangeV = a.Double("RANGE-V");
       area.enabled = a.Bool("ENABLED");
       return Packed(SetSearchAreaParameters(area));
     }},
    {kMotorStart, "<MODE>",
     [](ArgReader& a) {
       return Packed(
           MotorStartParameters(static_cast<MOT_MODE>(a.Int("MODE"))));
     }},
    {kMotorStop, "[MODE=0]",
     [](ArgReader& a) {
       return Packed(
           MotorStopParameters(static_cast<MOT_STOPMODE>(a.Int("MODE", 0))));
     }},
    {kMotorVelocity, "<HZ-SPEED> <V-SPEED>",
     [](ArgReader& a) {
       const double hz = a.Double("HZ-SPEED");
       return Packed(MotorVelocityParameters(hz, a.Double("V-SPEED")));
     }},
    {kLockStatus, "", NoArguments},
    {kAtrState, "", NoArguments},
    {kSetAtrState, "<ON>",
     [](ArgReader& a) { return Packed(SwitchParameters(a.Bool("ON"))); }},
    {kLockState, "", NoArguments},
    {kSetLockState, "<ON>",
     [](ArgReader& a) { return Packed(SwitchParameters(a.Bool("ON"))); }},
    {kGuideLight, "", NoArguments},
    {kSetGuideLight, "<INTENSITY>",
     [](ArgReader& a) {
       return Checked("INTENSITY",
                      GuideLightParameters(static_cast<EDM_EGLINTENSITY_TYPE>(
                          a.Int("INTENSITY"))));
     }},
    {kFileListSetup, "[DEVICE=0] [FILETYPE=0] [PATH=]",
     [](ArgReader& a) {
       const auto device = static_cast<FTR_DEVICETYPE>(a.Int("DEVICE", 0));
       const auto type = static_cast<FTR_FILETYPE>(a.Int("FILETYPE", 0));
       return Checked(
           "PATH", FileListSetupParameters(device, type, a.Text("PATH", "")));
     }},
    {kFileList, "[NEXT=0]",
     [](ArgReader& a) {
       return Packed(FileListParameters(a.Bool("NEXT", false)));
     }},
    {kFileDelete, "<DEVICE> <FILETYPE> <NAME> [DATE=0.0.0]",
     [](ArgReader& a) {
       const auto device = static_cast<FTR_DEVICETYPE>(a.Int("DEVICE"));
       const auto type = static_cast<FTR_FILETYPE>(a.Int("FILETYPE"));
       const std::string name = a.Text("NAME");
       const FTR_MODDATE date = ParseModDate(a.Text("DATE", "0.0.0"));
       return Checked("NAME", FileDeleteParameters(device, type, date, name));
     }},
};

}  // namespace

const CallCommand* FindCallCommand(std::string_view name) {
  const Procedure* procedure = FindProcedure(name);
  if (procedure == nullptr) return nullptr;
  const auto found = std::find_if(
      kCommands.begin(), kCommands.end(),
      [&](const CallCommand& c) { return c.procedure == procedure->id; });
  return found != kCommands.end() ? &*found : nullptr;
}

std::string PackCallArguments(const CallCommand& command,
                              const std::vector<std::string>& arguments) {
  ArgReader reader(arguments);
  std::string parameters = command.pack(reader);
  reader.Finish();
  return parameters;
}

std::string CallCommandListing() {
  std::string listing;
  for (const CallCommand& command : kCommands) {
    const Procedure& procedure = *FindProcedure(command.procedure);
    std::string usage = std::string(procedure.name) + " " + command.arguments;
    usage.resize(std::max<std::size_t>(usage.size(), 44), ' ');
    listing += "  " + usage + " " + std::string(procedure.description) + " (" +
               std::to_string(command.procedure) + ")\n";
  }
  return listing;
}

}  // namespace geocom
