#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Procedures.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <cstdio>
#include <type_traits>

#include "ReplyDecoders.h"

namespace Core::GEOCOM::host {

namespace {

std::string TwoDigits(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02u", value % 100);
  return text;
}

std::string DateTimeText(const DATIME& t) {
  char year[8];
  std::snprintf(year, sizeof year, "%04u", static_cast<unsigned>(t.year));
  return std::string(year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) +
         "T" + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
         TwoDigits(t.second);
}

template <std::size_t N>
std::string JoinBytes(const unsigned char (&bytes)[N], const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    text += (i == 0 ? "" : separator) + std::to_string(bytes[i]);
  }
  return text;
}

FieldValue Int(std::int64_t value) { return value; }

// ---- Replies: the typed calls' decoders, then a name for each value.

using ReplyDescriber = std::optional<Fields> (*)(const GeoComSentence&);

template <typename Value, typename Decoder>
std::optional<Fields> Described(const GeoComSentence& reply, Decoder decoder) {
  Value value{};
  if (!decoder(reply, value)) return std::nullopt;
  return Describe(value);
}

template <typename Value, typename Decoder>
std::optional<Fields> Single(const GeoComSentence& reply, Decoder decoder,
                             const char* name) {
  Value value{};
  if (!decoder(reply, value)) return std::nullopt;
  if constexpr (std::is_same_v<Value, bool> ||
                std::is_same_v<Value, std::string>) {
    return Fields{{name, value}};
  } else {
    return Fields{{name, Int(value)}};
  }
}

std::optional<Fields> Nothing(const GeoComSentence&) { return Fields{}; }

std::optional<Fields> LockStatus(const GeoComSentence& reply) {
  MOT_LOCK_STATUS status = MOT_LOCKED_OUT;
  if (!decode::Record(reply, status)) return std::nullopt;
  static const char* const kNames[] = {"locked-out", "locked-in", "prediction"};
  return Fields{{"status", std::string(kNames[status])}};
}

// ---- Requests: each argument's name and how it is written, in wire order.

enum class Kind { kInt, kDouble, kBool, kText, kDateTime, kModDate };

struct Argument {
  const char* name;
  Kind kind;
};

bool ReadArgument(const GeoComSentence& text, unsigned short& cursor,
                  const Argument& argument, Fields& fields) {
  switch (argument.kind) {
    case Kind::kInt:
    case Kind::kBool: {
      int value = 0;
      if (!text.unPack(value, cursor)) return false;
      if (argument.kind == Kind::kBool) {
        fields.push_back({argument.name, value != 0});
      } else {
        fields.push_back({argument.name, Int(value)});
      }
      return true;
    }
    case Kind::kDouble: {
      double value = 0;
      if (!text.unPack(value, cursor)) return false;
      fields.push_back({argument.name, value});
      return true;
    }
    case Kind::kText: {
      std::string value;
      if (!text.unPack(value, cursor)) return false;
      fields.push_back({argument.name, value});
      return true;
    }
    case Kind::kDateTime: {
      int year = 0;
      unsigned char parts[5] = {};
      if (!text.unPack(year, cursor)) return false;
      for (unsigned char& part : parts) {
        if (!text.unPack(part, cursor)) return false;
      }
      const DATIME value{static_cast<std::uint16_t>(year),
                         parts[0],
                         parts[1],
                         parts[2],
                         parts[3],
                         parts[4]};
      fields.push_back({argument.name, DateTimeText(value)});
      return true;
    }
    case Kind::kModDate: {
      unsigned char parts[3] = {};
      for (unsigned char& part : parts) {
        if (!text.unPack(part, cursor)) return false;
      }
      fields.push_back({argument.name, JoinBytes(parts, ".")});
      return true;
    }
  }
  return false;
}

struct Codec {
  ProcedureId id;
  std::vector<Argument> request;
  ReplyDescriber reply;
};

const std::vector<Codec>& Codecs() {
  using K = Kind;
  static const std::vector<Codec> codecs = {
      {kNull, {}, Nothing},
      {kInstrumentNumber,
       {},
       [](const GeoComSentence& r) {
         return Single<std::int32_t>(r, decode::InstrumentNumber,
                                     "serial-number");
       }},
      {kInstrumentName,
       {},
       [](const GeoComSentence& r) {
         return Single<std::string>(r, decode::InstrumentName, "name");
       }},
      {kSoftwareVersion,
       {},
       [](const GeoComSentence& r) {
         return Described<SoftwareVersion>(r, decode::Software);
       }},
      {kDeviceConfig,
       {},
       [](const GeoComSentence& r) {
         return Described<TPS_Device>(r, decode::kRecord);
       }},
      {kPower,
       {},
       [](const GeoComSentence& r) {
         return Described<CSV_PowerStatus>(r, decode::kRecord);
       }},
      {kDateTime,
       {},
       [](const GeoComSentence& r) {
         return Described<DATIME>(r, decode::DateTime);
       }},
      {kSetDateTime, {{"date-time", K::kDateTime}}, Nothing},
      {kAngles,
       {{"incline-mode", K::kInt}},
       [](const GeoComSentence& r) {
         return Described<TMC_Hz_V_Ang>(r, decode::kRecord);
       }},
      {kSimpleMeasurement,
       {{"wait-ms", K::kInt}, {"incline-mode", K::kInt}},
       [](const GeoComSentence& r) {
         return Described<TMC_Simple_Meas>(r, decode::kRecord);
       }},
      {kAtmosphere,
       {},
       [](const GeoComSentence& r) {
         return Described<TMC_Atmos_Temperature>(r, decode::kRecord);
       }},
      {kStation,
       {},
       [](const GeoComSentence& r) {
         return Described<TMC_Station>(r, decode::kRecord);
       }},
      {kSetStation,
       {{"easting", K::kDouble},
        {"northing", K::kDouble},
        {"height", K::kDouble},
        {"instrument-height", K::kDouble}},
       Nothing},
      {kAngleSwitches,
       {},
       [](const GeoComSentence& r) {
         return Described<TMC_Ang_Switch>(r, decode::kRecord);
       }},
      {kSlopeDistanceCorrections,
       {},
       [](const GeoComSentence& r) {
         return Described<TMC_Slope_Dist_Corr>(r, decode::kRecord);
       }},
      {kPosition,
       {{"hz", K::kDouble},
        {"v", K::kDouble},
        {"pos-mode", K::kInt},
        {"atr-mode", K::kInt},
        {"reserved", K::kBool}},
       Nothing},
      {kFineAdjust,
       {{"hz-range", K::kDouble},
        {"v-range", K::kDouble},
        {"reserved", K::kBool}},
       Nothing},
      {kLockIn, {}, Nothing},
      {kSearchArea,
       {},
       [](const GeoComSentence& r) {
         return Described<AUT_SEARCH_AREA>(r, decode::kRecord);
       }},
      {kSetSearchArea,
       {{"center-hz", K::kDouble},
        {"center-v", K::kDouble},
        {"range-hz", K::kDouble},
        {"range-v", K::kDouble},
        {"enabled", K::kBool}},
       Nothing},
      {kMotorStart, {{"mode", K::kInt}}, Nothing},
      {kMotorStop, {{"mode", K::kInt}}, Nothing},
      {kMotorVelocity,
       {{"hz-speed", K::kDouble}, {"v-speed", K::kDouble}},
       Nothing},
      {kLockStatus, {}, LockStatus},
      {kAtrState,
       {},
       [](const GeoComSentence& r) {
         return Single<bool>(r, decode::Switch, "atr");
       }},
      {kSetAtrState, {{"on", K::kBool}}, Nothing},
      {kLockState,
       {},
       [](const GeoComSentence& r) {
         return Single<bool>(r, decode::Switch, "lock");
       }},
      {kSetLockState, {{"on", K::kBool}}, Nothing},
      {kGuideLight,
       {},
       [](const GeoComSentence& r) {
         return Single<EDM_EGLINTENSITY_TYPE>(r, decode::kRecord, "intensity");
       }},
      {kSetGuideLight, {{"intensity", K::kInt}}, Nothing},
      {kFileListSetup,
       {{"device", K::kInt}, {"file-type", K::kInt}, {"path", K::kText}},
       Nothing},
      {kFileList,
       {{"next", K::kBool}},
       [](const GeoComSentence& r) {
         return Described<FileEntry>(r, decode::File);
       }},
      {kFileDelete,
       {{"device", K::kInt},
        {"file-type", K::kInt},
        {"date", K::kModDate},
        {"name", K::kText}},
       [](const GeoComSentence& r) {
         return Single<std::int32_t>(r, decode::Count, "deleted");
       }},
  };
  return codecs;
}

const Codec* FindCodec(unsigned short procedure) {
  for (const Codec& codec : Codecs()) {
    if (codec.id == procedure) return &codec;
  }
  return nullptr;
}

}  // namespace

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

std::optional<Fields> ReplyFields(unsigned short procedure,
                                  const GeoComSentence& reply) {
  const Codec* codec = FindCodec(procedure);
  if (codec == nullptr) return std::nullopt;
  return codec->reply(reply);
}

std::optional<Fields> RequestFields(const GeoComSentence& request) {
  const Codec* codec = FindCodec(request.GetGeocomID());
  if (codec == nullptr) return std::nullopt;
  Fields fields;
  if (codec->request.empty()) return fields;
  const GeoComSentence text = ArgumentsAsReply(request);
  unsigned short cursor = 0;
  for (const Argument& argument : codec->request) {
    if (!ReadArgument(text, cursor, argument, fields)) return std::nullopt;
  }
  return fields;
}

Fields Describe(const SoftwareVersion& version) {
  return {{"release", Int(version.release)},
          {"version", Int(version.version)},
          {"subversion", Int(version.subversion)}};
}

Fields Describe(const TPS_Device& device) {
  return {{"device-class", Int(device.deviceClass)},
          {"device-type", Int(device.deviceType)}};
}

Fields Describe(const CSV_PowerStatus& power) {
  return {{"level", Int(power.level)},
          {"first-path", Int(power.firstPath)},
          {"second-path", Int(power.secondPath)}};
}

Fields Describe(const DATIME& dateTime) {
  return {{"date-time", DateTimeText(dateTime)}};
}

Fields Describe(const TMC_Hz_V_Ang& angles) {
  return {{"hz", angles.hz}, {"v", angles.v}};
}

Fields Describe(const TMC_Simple_Meas& measurement) {
  return {{"hz", measurement.hz},
          {"v", measurement.v},
          {"slope-distance", measurement.slopeDistance}};
}

Fields Describe(const TMC_Atmos_Temperature& atmosphere) {
  return {{"lambda", atmosphere.lambda},
          {"pressure", atmosphere.pressure},
          {"dry-temperature", atmosphere.dryTemperature},
          {"wet-temperature", atmosphere.wetTemperature}};
}

Fields Describe(const TMC_Station& station) {
  return {{"easting", station.stationEasting},
          {"northing", station.stationNorthing},
          {"height", station.stationHeight},
          {"instrument-height", station.instrumentHeight}};
}

Fields Describe(const TMC_Ang_Switch& switches) {
  return {{"incline-correction", switches.inclineCorrection == ON},
          {"stand-axis-correction", switches.standAxisCorrection == ON},
          {"collimation-correction", switches.collimationCorrection == ON},
          {"tilt-axis-correction", switches.tiltAxisCorrection == ON}};
}

Fields Describe(const TMC_Slope_Dist_Corr& corrections) {
  return {{"ppm-correction", corrections.ppmCorrection},
          {"prism-correction", corrections.prismCorrection}};
}

Fields Describe(const AUT_SEARCH_AREA& area) {
  return {{"center-hz", area.centerHz},
          {"center-v", area.centerV},
          {"range-hz", area.rangeHz},
          {"range-v", area.rangeV},
          {"enabled", area.enabled}};
}

Fields Describe(const FileEntry& entry) {
  return {{"last", entry.last},
          {"name", entry.info.name},
          {"size", Int(entry.info.size)},
          {"mod-time", JoinBytes(entry.info.modTime, " ")},
          {"mod-date", JoinBytes(entry.info.modDate.parts, ".")}};
}

}  // namespace Core::GEOCOM::host
