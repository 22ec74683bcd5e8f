#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>

#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include "ReplyDecoders.h"

namespace Core::GEOCOM::host {

namespace {

// Arguments left out take the catalogue's defaults.
void Add(Fields& arguments, const char* name, std::optional<FieldValue> value) {
  if (value) arguments.push_back({name, std::move(*value)});
}

template <typename Number>
std::optional<FieldValue> Whole(std::optional<Number> value) {
  if (!value) return std::nullopt;
  return FieldValue(static_cast<std::int64_t>(*value));
}

std::string BytesText(const unsigned char (&bytes)[3]) {
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
         std::to_string(bytes[2]);
}

// A named call whose reply the record's decoder reads after the catalogue
// has read it strictly.
Result<Reply> Send(BlockingSession& session, ProcedureId id,
                   const Fields& arguments) {
  Result<NamedRequest> request =
      PrepareNamedCall(*FindProcedure(id), arguments);
  if (!request) return request.error();
  return CallChecked(session, *request);
}

Result<Done> Command(BlockingSession& session, ProcedureId id,
                     const Fields& arguments = {}) {
  const Result<Reply> reply = Send(session, id, arguments);
  if (!reply) return reply.error();
  return Done{};
}

template <typename Value, typename Decoder>
Result<Value> Query(BlockingSession& session, ProcedureId id, Decoder decoder,
                    const Fields& arguments = {}) {
  const Result<Reply> reply = Send(session, id, arguments);
  if (!reply) return reply.error();
  Value value{};
  if (!decoder(reply->sentence, value)) {
    Error error = UndecodedReply(*FindProcedure(id), reply->sentence);
    error.bytes = reply->bytes;
    return error;
  }
  return value;
}

}  // namespace

Result<Done> Ping(BlockingSession& session) { return Command(session, kNull); }

Result<std::int32_t> GetInstrumentNumber(BlockingSession& session) {
  return Query<std::int32_t>(session, kInstrumentNumber,
                             decode::InstrumentNumber);
}

Result<std::string> GetInstrumentName(BlockingSession& session) {
  return Query<std::string>(session, kInstrumentName, decode::InstrumentName);
}

Result<SoftwareVersion> GetSoftwareVersion(BlockingSession& session) {
  return Query<SoftwareVersion>(session, kSoftwareVersion, decode::kRecord);
}

Result<TPS_Device> GetDeviceConfig(BlockingSession& session) {
  return Query<TPS_Device>(session, kDeviceConfig, decode::kRecord);
}

Result<CSV_PowerStatus> GetPower(BlockingSession& session) {
  return Query<CSV_PowerStatus>(session, kPower, decode::kRecord);
}

Result<DATIME> GetDateTime(BlockingSession& session) {
  return Query<DATIME>(session, kDateTime, decode::kRecord);
}

Result<Done> SetDateTime(BlockingSession& session, const DATIME& dateTime) {
  return Command(session, kSetDateTime,
                 {{"date_time", FormatDateTime(dateTime)}});
}

Result<TMC_Hz_V_Ang> GetAngles(BlockingSession& session,
                               std::optional<std::int32_t> inclineMode) {
  Fields arguments;
  Add(arguments, "incline_mode", Whole(inclineMode));
  return Query<TMC_Hz_V_Ang>(session, kAngles, decode::kRecord, arguments);
}

Result<TMC_Simple_Meas> GetSimpleMeasurement(
    BlockingSession& session, std::optional<std::int32_t> waitMs,
    std::optional<std::int32_t> inclineMode) {
  Fields arguments;
  Add(arguments, "wait_ms", Whole(waitMs));
  Add(arguments, "incline_mode", Whole(inclineMode));
  return Query<TMC_Simple_Meas>(session, kSimpleMeasurement, decode::kRecord,
                                arguments);
}

Result<TMC_Atmos_Temperature> GetAtmosphere(BlockingSession& session) {
  return Query<TMC_Atmos_Temperature>(session, kAtmosphere, decode::kRecord);
}

Result<TMC_Station> GetStation(BlockingSession& session) {
  return Query<TMC_Station>(session, kStation, decode::kRecord);
}

Result<Done> SetStation(BlockingSession& session, const TMC_Station& station) {
  // The station row names the values as setting them names the arguments.
  return Command(session, kSetStation, Describe(station));
}

Result<TMC_Ang_Switch> GetAngleSwitches(BlockingSession& session) {
  return Query<TMC_Ang_Switch>(session, kAngleSwitches, decode::kRecord);
}

Result<TMC_Slope_Dist_Corr> GetSlopeDistanceCorrections(
    BlockingSession& session) {
  return Query<TMC_Slope_Dist_Corr>(session, kSlopeDistanceCorrections,
                                    decode::kRecord);
}

Result<Done> Position(BlockingSession& session, double hz, double v,
                      std::optional<AUT_POSMODE> posMode,
                      std::optional<AUT_ATRMODE> atrMode) {
  Fields arguments{{"hz", hz}, {"v", v}};
  Add(arguments, "pos_mode", Whole(posMode));
  Add(arguments, "atr_mode", Whole(atrMode));
  return Command(session, kPosition, arguments);
}

Result<Done> FineAdjust(BlockingSession& session, double hzRange,
                        double vRange) {
  return Command(session, kFineAdjust,
                 {{"hz_range", hzRange}, {"v_range", vRange}});
}

Result<Done> LockIn(BlockingSession& session) {
  return Command(session, kLockIn);
}

Result<AUT_SEARCH_AREA> GetSearchArea(BlockingSession& session) {
  return Query<AUT_SEARCH_AREA>(session, kSearchArea, decode::kRecord);
}

Result<Done> SetSearchArea(BlockingSession& session,
                           const AUT_SEARCH_AREA& area) {
  return Command(session, kSetSearchArea, Describe(area));
}

Result<Done> MotorStart(BlockingSession& session, MOT_MODE mode) {
  return Command(session, kMotorStart,
                 {{"mode", static_cast<std::int64_t>(mode)}});
}

Result<Done> MotorStop(BlockingSession& session,
                       std::optional<MOT_STOPMODE> mode) {
  Fields arguments;
  Add(arguments, "mode", Whole(mode));
  return Command(session, kMotorStop, arguments);
}

Result<Done> MotorVelocity(BlockingSession& session, double hzSpeed,
                           double vSpeed) {
  return Command(session, kMotorVelocity,
                 {{"hz_speed", hzSpeed}, {"v_speed", vSpeed}});
}

Result<MOT_LOCK_STATUS> GetLockStatus(BlockingSession& session) {
  return Query<MOT_LOCK_STATUS>(session, kLockStatus, decode::kRecord);
}

Result<bool> GetAtrState(BlockingSession& session) {
  return Query<bool>(session, kAtrState, decode::Switch);
}

Result<Done> SetAtrState(BlockingSession& session, bool on) {
  return Command(session, kSetAtrState, {{"on", on}});
}

Result<bool> GetLockState(BlockingSession& session) {
  return Query<bool>(session, kLockState, decode::Switch);
}

Result<Done> SetLockState(BlockingSession& session, bool on) {
  return Command(session, kSetLockState, {{"on", on}});
}

Result<EDM_EGLINTENSITY_TYPE> GetGuideLight(BlockingSession& session) {
  return Query<EDM_EGLINTENSITY_TYPE>(session, kGuideLight, decode::kRecord);
}

Result<Done> SetGuideLight(BlockingSession& session,
                           EDM_EGLINTENSITY_TYPE intensity) {
  return Command(session, kSetGuideLight,
                 {{"intensity", static_cast<std::int64_t>(intensity)}});
}

Result<Done> FileListSetup(BlockingSession& session, FTR_DEVICETYPE device,
                           FTR_FILETYPE fileType, const std::string& path) {
  return Command(session, kFileListSetup,
                 {{"device", static_cast<std::int64_t>(device)},
                  {"file_type", static_cast<std::int64_t>(fileType)},
                  {"path", path}});
}

Result<FileEntry> FileList(BlockingSession& session, bool next) {
  return Query<FileEntry>(session, kFileList, decode::kRecord,
                          {{"next", next}});
}

Result<std::int32_t> FileDelete(BlockingSession& session, FTR_DEVICETYPE device,
                                FTR_FILETYPE fileType, const FTR_MODDATE& date,
                                const std::string& name) {
  return Query<std::int32_t>(
      session, kFileDelete, decode::Count,
      {{"device", static_cast<std::int64_t>(device)},
       {"file_type", static_cast<std::int64_t>(fileType)},
       {"date", BytesText(date.parts)},
       {"name", name}});
}

}  // namespace Core::GEOCOM::host
