#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <stdexcept>

#include "ReplyDecoders.h"

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

// The reply values of the catalogue row that decodes the record: its names,
// order and units are the record's.
template <typename R>
const std::vector<ValueSpec>& RowValues() {
  static const std::vector<ValueSpec>& values =
      []() -> const std::vector<ValueSpec>& {
    for (const Procedure& procedure : Procedures()) {
      if (procedure.decode == &decode::DescribedRecord<R>) {
        return procedure.reply;
      }
    }
    throw std::logic_error("no catalogue row replies with this record");
  }();
  return values;
}

// The record's values, given in its row's reply order, named by the row.
template <typename R>
Fields Named(std::vector<FieldValue> values) {
  const std::vector<ValueSpec>& specs = RowValues<R>();
  if (values.size() != specs.size()) {
    throw std::logic_error("a record's values do not match its catalogue row");
  }
  Fields fields;
  fields.reserve(specs.size());
  for (std::size_t i = 0; i < specs.size(); ++i) {
    fields.push_back({std::string(specs[i].name), std::move(values[i])});
  }
  return fields;
}

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
  return Named<SoftwareVersion>(
      {Int(version.release), Int(version.version), Int(version.subversion)});
}

Fields Describe(const TPS_Device& device) {
  return Named<TPS_Device>({Int(device.deviceClass), Int(device.deviceType)});
}

Fields Describe(const CSV_PowerStatus& power) {
  return Named<CSV_PowerStatus>(
      {Int(power.level), Int(power.firstPath), Int(power.secondPath)});
}

Fields Describe(const DATIME& dateTime) {
  return Named<DATIME>({FormatDateTime(dateTime)});
}

Fields Describe(const TMC_Hz_V_Ang& angles) {
  return Named<TMC_Hz_V_Ang>({angles.hz, angles.v});
}

Fields Describe(const TMC_Simple_Meas& measurement) {
  return Named<TMC_Simple_Meas>(
      {measurement.hz, measurement.v, measurement.slopeDistance});
}

Fields Describe(const TMC_Atmos_Temperature& atmosphere) {
  return Named<TMC_Atmos_Temperature>({atmosphere.lambda, atmosphere.pressure,
                                       atmosphere.dryTemperature,
                                       atmosphere.wetTemperature});
}

Fields Describe(const TMC_Station& station) {
  return Named<TMC_Station>({station.stationEasting, station.stationNorthing,
                             station.stationHeight, station.instrumentHeight});
}

Fields Describe(const TMC_Ang_Switch& switches) {
  return Named<TMC_Ang_Switch>({switches.inclineCorrection == ON,
                                switches.standAxisCorrection == ON,
                                switches.collimationCorrection == ON,
                                switches.tiltAxisCorrection == ON});
}

Fields Describe(const TMC_Slope_Dist_Corr& corrections) {
  return Named<TMC_Slope_Dist_Corr>(
      {corrections.ppmCorrection, corrections.prismCorrection});
}

Fields Describe(const AUT_SEARCH_AREA& area) {
  return Named<AUT_SEARCH_AREA>(
      {area.centerHz, area.centerV, area.rangeHz, area.rangeV, area.enabled});
}

Fields Describe(const FileEntry& entry) {
  return Named<FileEntry>({entry.last, entry.info.name, Int(entry.info.size),
                           JoinBytes(entry.info.modTime),
                           JoinBytes(entry.info.modDate.parts)});
}

}  // namespace Core::GEOCOM::host
