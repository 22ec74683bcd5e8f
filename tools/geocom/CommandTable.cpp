#include "CommandTable.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "Procedures.h"
#include "Text.h"

namespace geocom {

using namespace Core::GEOCOM;

namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const char* const end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

std::string Placeholder(const char* name) {
  return std::string("<") + name + ">";
}

// "YYYY-MM-DDTHH:MM:SS"; the instrument checks the calendar itself.
DATIME ParseDateTime(const std::string& text) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &year, &month,
                  &day, &hour, &minute, &second, &tail) != 6 ||
      month > 255 || day > 255 || hour > 255 || minute > 255 || second > 255) {
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
  char tail = 0;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u%c", &parts[0], &parts[1],
                  &parts[2], &tail) != 3 ||
      parts[0] > 255 || parts[1] > 255 || parts[2] > 255) {
    throw UsageError("<DATE> must be three byte values like 24.5.12, not '" +
                     text + "'");
  }
  return FTR_MODDATE{{static_cast<unsigned char>(parts[0]),
                      static_cast<unsigned char>(parts[1]),
                      static_cast<unsigned char>(parts[2])}};
}

std::string TwoDigits(unsigned value) {
  std::ostringstream out;
  out << std::setw(2) << std::setfill('0') << value;
  return out.str();
}

std::string Bytes(const unsigned char* bytes, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    out += (i == 0 ? "" : " ") + std::to_string(bytes[i]);
  }
  return out;
}

std::string OnOff(bool on) { return on ? "on" : "off"; }

std::string NoParameters(const GeoComSentence&, ArgReader&) { return ""; }

std::string PackFourDoubles(const GeoComSentence& s, ArgReader& a,
                            const char* const names[4]) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    text += (i == 0 ? "" : ",") + s.Pack(a.Double(names[i]));
  }
  return text;
}

const std::vector<Command> kCommands = {
    {"null", kNull, "", "check that the instrument answers", NoParameters,
     nullptr},
    {"instrument-number", kInstrumentNumber, "", "serial number",
     [](const GeoComSentence& s, ArgReader&) {
       return s.PackGetInstrumentNo();
     },
     [](const GeoComSentence& r, Fields& f) {
       std::int32_t number = 0;
       if (!r.UnPackGetInstrumentNo(number)) return false;
       f = {{"serial-number", std::to_string(number)}};
       return true;
     }},
    {"instrument-name", kInstrumentName, "", "instrument name", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       std::string name;
       if (!r.unPack(name)) return false;
       f = {{"name", name}};
       return true;
     }},
    {"software-version", kSoftwareVersion, "", "firmware release", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       unsigned short release = 0, version = 0, subversion = 0;
       if (!r.UnPackGetSWVersionResponse(release, version, subversion)) {
         return false;
       }
       f = {{"release", std::to_string(release)},
            {"version", std::to_string(version)},
            {"subversion", std::to_string(subversion)}};
       return true;
     }},
    {"device-config", kDeviceConfig, "", "instrument class and type",
     NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       TPS_Device device{};
       if (!r.UnPack(device)) return false;
       f = {{"device-class", std::to_string(device.deviceClass)},
            {"device-type", std::to_string(device.deviceType)}};
       return true;
     }},
    {"power", kPower, "", "battery level and power paths", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       CSV_PowerStatus power{};
       if (!r.UnPack(power)) return false;
       f = {{"level", std::to_string(power.level)},
            {"first-path", std::to_string(power.firstPath)},
            {"second-path", std::to_string(power.secondPath)}};
       return true;
     }},
    {"date-time", kDateTime, "", "instrument clock", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       DATE_TYPE date{};
       if (!r.UnPack(date)) return false;
       // The time of day follows the three date fields.
       unsigned short cursor = 0;
       int year = 0;
       unsigned char skipped = 0, hour = 0, minute = 0, second = 0;
       r.unPack(year, cursor);
       r.unPack(skipped, cursor);
       r.unPack(skipped, cursor);
       if (!r.unPack(hour, cursor) || !r.unPack(minute, cursor) ||
           !r.unPack(second, cursor)) {
         return false;
       }
       f = {{"date", std::to_string(date.year) + "-" + TwoDigits(date.month) +
                         "-" + TwoDigits(date.day)},
            {"time", TwoDigits(hour) + ":" + TwoDigits(minute) + ":" +
                         TwoDigits(second)}};
       return true;
     }},
    {"set-date-time", kSetDateTime, "<DATE-TIME>",
     "set the clock, e.g. 2024-03-15T10:30:00",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.PackRequestSetDateTime(ParseDateTime(a.Text("DATE-TIME")));
     },
     nullptr},
    {"angles", kAngles, "[INCLINE-MODE=1]", "horizontal and vertical angle",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.Pack(a.Int("INCLINE-MODE", 1));
     },
     [](const GeoComSentence& r, Fields& f) {
       TMC_Hz_V_Ang angles{};
       if (!r.UnPack(angles)) return false;
       f = {{"hz", FormatDouble(angles.hz)}, {"v", FormatDouble(angles.v)}};
       return true;
     }},
    {"simple-measurement", kSimpleMeasurement,
     "[WAIT-MS=1000] [INCLINE-MODE=1]", "angles and slope distance",
     [](const GeoComSentence& s, ArgReader& a) {
       const std::int32_t wait = a.Int("WAIT-MS", 1000);
       return s.Pack(wait) + "," + s.Pack(a.Int("INCLINE-MODE", 1));
     },
     [](const GeoComSentence& r, Fields& f) {
       TMC_Simple_Meas measurement{};
       if (!r.UnPack(measurement)) return false;
       f = {{"hz", FormatDouble(measurement.hz)},
            {"v", FormatDouble(measurement.v)},
            {"slope-distance", FormatDouble(measurement.slopeDistance)}};
       return true;
     }},
    {"atmosphere", kAtmosphere, "", "wavelength, pressure, temperatures",
     NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       TMC_Atmos_Temperature atmosphere{};
       if (!r.UnPack(atmosphere)) return false;
       f = {{"lambda", FormatDouble(atmosphere.lambda)},
            {"pressure", FormatDouble(atmosphere.pressure)},
            {"dry-temperature", FormatDouble(atmosphere.dryTemperature)},
            {"wet-temperature", FormatDouble(atmosphere.wetTemperature)}};
       return true;
     }},
    {"station", kStation, "", "station coordinates", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       TMC_Station station{};
       if (!r.UnPack(station)) return false;
       f = {{"easting", FormatDouble(station.stationEasting)},
            {"northing", FormatDouble(station.stationNorthing)},
            {"height", FormatDouble(station.stationHeight)},
            {"instrument-height", FormatDouble(station.instrumentHeight)}};
       return true;
     }},
    {"set-station", kSetStation,
     "<EASTING> <NORTHING> <HEIGHT> <INSTRUMENT-HEIGHT>",
     "set the station coordinates",
     [](const GeoComSentence& s, ArgReader& a) {
       static const char* const names[4] = {"EASTING", "NORTHING", "HEIGHT",
                                            "INSTRUMENT-HEIGHT"};
       return PackFourDoubles(s, a, names);
     },
     nullptr},
    {"angle-switches", kAngleSwitches, "", "angle-correction switches",
     NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       TMC_Ang_Switch switches{};
       if (!r.UnPack(switches)) return false;
       f = {
           {"incline-correction", OnOff(switches.inclineCorrection == ON)},
           {"stand-axis-correction", OnOff(switches.standAxisCorrection == ON)},
           {"collimation-correction",
            OnOff(switches.collimationCorrection == ON)},
           {"tilt-axis-correction", OnOff(switches.tiltAxisCorrection == ON)}};
       return true;
     }},
    {"slope-distance-corrections", kSlopeDistanceCorrections, "",
     "ppm and prism corrections", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       TMC_Slope_Dist_Corr corrections{};
       if (!r.UnPack(corrections)) return false;
       f = {{"ppm-correction", FormatDouble(corrections.ppmCorrection)},
            {"prism-correction", FormatDouble(corrections.prismCorrection)}};
       return true;
     }},
    {"position", kPosition, "<HZ> <V> [POSMODE=0] [ATRMODE=0]",
     "turn the telescope to HZ, V (radians)",
     [](const GeoComSentence& s, ArgReader& a) {
       const double hz = a.Double("HZ");
       const double v = a.Double("V");
       const auto posMode = static_cast<AUT_POSMODE>(a.Int("POSMODE", 0));
       const auto atrMode = static_cast<AUT_ATRMODE>(a.Int("ATRMODE", 0));
       return s.PackDevicePositionRequest(hz, v, posMode, atrMode, false);
     },
     nullptr},
    {"fine-adjust", kFineAdjust, "<HZ-RANGE> <V-RANGE>",
     "fine-adjust onto the target",
     [](const GeoComSentence& s, ArgReader& a) {
       const double hz = a.Double("HZ-RANGE");
       return s.PackFineAdjustRequest(hz, a.Double("V-RANGE"), false);
     },
     nullptr},
    {"lock-in", kLockIn, "", "start following the target",
     [](const GeoComSentence& s, ArgReader&) {
       return s.PackStartLockInRequest();
     },
     nullptr},
    {"search-area", kSearchArea, "", "target-search window", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       AUT_SEARCH_AREA area{};
       if (!r.UnPackPowerSearchWindow(area)) return false;
       f = {{"center-hz", FormatDouble(area.centerHz)},
            {"center-v", FormatDouble(area.centerV)},
            {"range-hz", FormatDouble(area.rangeHz)},
            {"range-v", FormatDouble(area.rangeV)},
            {"enabled", OnOff(area.enabled)}};
       return true;
     }},
    {"set-search-area", kSetSearchArea,
     "<CENTER-HZ> <CENTER-V> <RANGE-HZ> <RANGE-V> <ENABLED>",
     "set the target-search window",
     [](const GeoComSentence& s, ArgReader& a) {
       const double centerHz = a.Double("CENTER-HZ");
       const double centerV = a.Double("CENTER-V");
       const double rangeHz = a.Double("RANGE-HZ");
       const double rangeV = a.Double("RANGE-V");
       return s.PackSetSearchAreaRequest(centerHz, centerV, rangeHz, rangeV,
                                         a.Bool("ENABLED"));
     },
     nullptr},
    {"motor-start", kMotorStart, "<MODE>", "start the motor controller",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.Pack(static_cast<MOT_MODE>(a.Int("MODE")));
     },
     nullptr},
    {"motor-stop", kMotorStop, "[MODE=0]", "stop the motor controller",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.Pack(static_cast<MOT_STOPMODE>(a.Int("MODE", 0)));
     },
     nullptr},
    {"motor-velocity", kMotorVelocity, "<HZ-SPEED> <V-SPEED>",
     "turn at constant speed (radians per second)",
     [](const GeoComSentence& s, ArgReader& a) {
       const double hz = a.Double("HZ-SPEED");
       return s.PackMotorSetVelocityRequest(hz, a.Double("V-SPEED"));
     },
     nullptr},
    {"lock-status", kLockStatus, "", "whether the target is followed",
     NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       MOT_LOCK_STATUS status = MOT_LOCKED_OUT;
       if (!r.UnPackLockInStatusResponse(status)) return false;
       static const char* const names[] = {"locked-out", "locked-in",
                                           "prediction"};
       f = {{"status", names[status]}};
       return true;
     }},
    {"atr-state", kAtrState, "", "automatic target recognition switch",
     NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       bool on = false;
       if (!r.UnPackGetATRResponse(on)) return false;
       f = {{"atr", OnOff(on)}};
       return true;
     }},
    {"set-atr-state", kSetAtrState, "<ON>",
     "switch automatic target recognition",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.PackSetATRRequest(a.Bool("ON"));
     },
     nullptr},
    {"lock-state", kLockState, "", "lock-in switch", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       bool on = false;
       if (!r.UnPackGetLPSwitch(on)) return false;
       f = {{"lock", OnOff(on)}};
       return true;
     }},
    {"set-lock-state", kSetLockState, "<ON>", "switch lock-in",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.PackSetUserLockInRequest(a.Bool("ON"));
     },
     nullptr},
    {"guide-light", kGuideLight, "", "guide-light intensity", NoParameters,
     [](const GeoComSentence& r, Fields& f) {
       EDM_EGLINTENSITY_TYPE intensity = EDM_EGLINTEN_OFF;
       if (!r.UnPackEGLIntensity(intensity)) return false;
       f = {{"intensity", std::to_string(intensity)}};
       return true;
     }},
    {"set-guide-light", kSetGuideLight, "<INTENSITY>",
     "set the guide-light intensity (0 off to 3 high)",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.PackGuideLightRequest(
           static_cast<EDM_EGLINTENSITY_TYPE>(a.Int("INTENSITY")));
     },
     nullptr},
    {"file-list-setup", kFileListSetup, "[DEVICE=0] [FILETYPE=0] [PATH=]",
     "start a file listing",
     [](const GeoComSentence& s, ArgReader& a) {
       const auto device = static_cast<FTR_DEVICETYPE>(a.Int("DEVICE", 0));
       const auto type = static_cast<FTR_FILETYPE>(a.Int("FILETYPE", 0));
       return s.PackFtrSetupList(device, type, a.Text("PATH", ""));
     },
     nullptr},
    {"file-list", kFileList, "[NEXT=0]",
     "one entry of the listing (0 first, 1 next)",
     [](const GeoComSentence& s, ArgReader& a) {
       return s.Pack(a.Bool("NEXT", false));
     },
     [](const GeoComSentence& r, Fields& f) {
       bool last = false;
       FTR_DIRINFO entry{};
       if (!r.UnPackFtrListResponse(last, entry)) return false;
       f = {{"last", last ? "yes" : "no"},
            {"name", entry.name},
            {"size", std::to_string(entry.size)},
            {"mod-time", Bytes(entry.modTime, 4)},
            {"mod-date", Bytes(entry.modDate.parts, 3)}};
       return true;
     }},
    {"file-delete", kFileDelete, "<DEVICE> <FILETYPE> <NAME> [DATE=0.0.0]",
     "delete files",
     [](const GeoComSentence& s, ArgReader& a) {
       const auto device = static_cast<FTR_DEVICETYPE>(a.Int("DEVICE"));
       const auto type = static_cast<FTR_FILETYPE>(a.Int("FILETYPE"));
       const std::string name = a.Text("NAME");
       return s.PackFtrDelete(device, type,
                              ParseModDate(a.Text("DATE", "0.0.0")), name);
     },
     [](const GeoComSentence& r, Fields& f) {
       int deleted = 0;
       if (!r.unPack(deleted)) return false;
       f = {{"deleted", std::to_string(deleted)}};
       return true;
     }},
};

}  // namespace

const std::string* ArgReader::Take(const char* name, bool required) {
  if (next_ < args_.size()) {
    return &args_[next_++];
  }
  if (required) {
    throw UsageError("missing argument " + Placeholder(name));
  }
  return nullptr;
}

double ArgReader::Double(const char* name) {
  const std::string& text = *Take(name, true);
  double value = 0;
  if (!ParseNumber(text, value)) {
    throw UsageError(Placeholder(name) + " must be a number, not '" + text +
                     "'");
  }
  return value;
}

double ArgReader::Double(const char* name, double fallback) {
  return next_ < args_.size() ? Double(name) : fallback;
}

std::int32_t ArgReader::Int(const char* name) {
  const std::string& text = *Take(name, true);
  std::int32_t value = 0;
  if (!ParseNumber(text, value)) {
    throw UsageError(Placeholder(name) + " must be an integer, not '" + text +
                     "'");
  }
  return value;
}

std::int32_t ArgReader::Int(const char* name, std::int32_t fallback) {
  return next_ < args_.size() ? Int(name) : fallback;
}

bool ArgReader::Bool(const char* name) {
  const std::string& text = *Take(name, true);
  if (text == "1" || text == "on" || text == "true") return true;
  if (text == "0" || text == "off" || text == "false") return false;
  throw UsageError(Placeholder(name) +
                   " must be 1/0, on/off or true/false, not '" + text + "'");
}

bool ArgReader::Bool(const char* name, bool fallback) {
  return next_ < args_.size() ? Bool(name) : fallback;
}

std::string ArgReader::Text(const char* name) { return *Take(name, true); }

std::string ArgReader::Text(const char* name, const std::string& fallback) {
  const std::string* text = Take(name, false);
  return text ? *text : fallback;
}

void ArgReader::Finish() const {
  if (next_ < args_.size()) {
    throw UsageError("unexpected argument '" + args_[next_] + "'");
  }
}

const std::vector<Command>& Commands() { return kCommands; }

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

const Command* FindCommand(unsigned short procedure) {
  for (const Command& command : kCommands) {
    if (procedure == command.procedure) return &command;
  }
  return nullptr;
}

std::string PackArguments(const Command& command,
                          const std::vector<std::string>& args) {
  ArgReader reader(args);
  const GeoComSentence packer;
  std::string parameters = command.pack(packer, reader);
  reader.Finish();
  return parameters;
}

bool DecodeReply(const Command& command, const GeoComSentence& reply,
                 Fields& fields) {
  fields.clear();
  return command.decode == nullptr || command.decode(reply, fields);
}

std::string CommandListing() {
  std::string listing;
  for (const Command& command : kCommands) {
    std::string usage = std::string(command.name) + " " + command.arguments;
    usage.resize(std::max<std::size_t>(usage.size(), 44), ' ');
    listing += "  " + usage + " " + command.summary + " (" +
               std::to_string(command.procedure) + ")\n";
  }
  return listing;
}

}  // namespace geocom
