#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>

namespace Core::GEOCOM::host {

namespace {

template <std::size_t N>
std::string JoinBytes(const unsigned char (&bytes)[N]) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    text += (i == 0 ? "" : ".") + std::to_string(bytes[i]);
  }
  return text;
}

FieldValue Int(std::int64_t value) { return value; }

}  // namespace

std::optional<Fields> ReplyFields(unsigned short procedure,
                                  const GeoComSentence& reply) {
  const Procedure* named = FindProcedure(procedure);
  if (named == nullptr) return std::nullopt;
  Result<Fields> fields = DecodeReply(*named, reply);
  if (!fields) return std::nullopt;
  return std::move(*fields);
}

std::optional<Fields> RequestFields(const GeoComSentence& request) {
  const Procedure* named = FindProcedure(request.GetGeocomID());
  if (named == nullptr) return std::nullopt;
  Result<Fields> fields = ReadArguments(*named, SentenceBytes(request));
  if (!fields) return std::nullopt;
  return std::move(*fields);
}

Fields Describe(const SoftwareVersion& version) {
  return {{"release", Int(version.release)},
          {"version", Int(version.version)},
          {"subversion", Int(version.subversion)}};
}

Fields Describe(const TPS_Device& device) {
  return {{"device_class", Int(device.deviceClass)},
          {"device_type", Int(device.deviceType)}};
}

Fields Describe(const CSV_PowerStatus& power) {
  return {{"level", Int(power.level)},
          {"first_path", Int(power.firstPath)},
          {"second_path", Int(power.secondPath)}};
}

Fields Describe(const DATIME& dateTime) {
  return {{"date_time", FormatDateTime(dateTime)}};
}

Fields Describe(const TMC_Hz_V_Ang& angles) {
  return {{"hz", angles.hz}, {"v", angles.v}};
}

Fields Describe(const TMC_Simple_Meas& measurement) {
  return {{"hz", measurement.hz},
          {"v", measurement.v},
          {"slope_distance", measurement.slopeDistance}};
}

Fields Describe(const TMC_Atmos_Temperature& atmosphere) {
  return {{"lambda", atmosphere.lambda},
          {"pressure", atmosphere.pressure},
          {"dry_temperature", atmosphere.dryTemperature},
          {"wet_temperature", atmosphere.wetTemperature}};
}

Fields Describe(const TMC_Station& station) {
  return {{"easting", station.stationEasting},
          {"northing", station.stationNorthing},
          {"height", station.stationHeight},
          {"instrument_height", station.instrumentHeight}};
}

Fields Describe(const TMC_Ang_Switch& switches) {
  return {{"incline_correction", switches.inclineCorrection == ON},
          {"stand_axis_correction", switches.standAxisCorrection == ON},
          {"collimation_correction", switches.collimationCorrection == ON},
          {"tilt_axis_correction", switches.tiltAxisCorrection == ON}};
}

Fields Describe(const TMC_Slope_Dist_Corr& corrections) {
  return {{"ppm_correction", corrections.ppmCorrection},
          {"prism_correction", corrections.prismCorrection}};
}

Fields Describe(const AUT_SEARCH_AREA& area) {
  return {{"center_hz", area.centerHz},
          {"center_v", area.centerV},
          {"range_hz", area.rangeHz},
          {"range_v", area.rangeV},
          {"enabled", area.enabled}};
}

Fields Describe(const FileEntry& entry) {
  return {{"last", entry.last},
          {"name", entry.info.name},
          {"size", Int(entry.info.size)},
          {"mod_time", JoinBytes(entry.info.modTime)},
          {"mod_date", JoinBytes(entry.info.modDate.parts)}};
}

}  // namespace Core::GEOCOM::host
