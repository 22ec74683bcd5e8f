#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Procedures.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include "ReplyDecoders.h"

namespace Core::GEOCOM::host {

namespace {

Result<Reply> Send(Session& session, ProcedureId procedure,
                   const Result<std::string>& parameters) {
  if (!parameters) return parameters.error();
  return session.Call(procedure, *parameters);
}

Result<Done> Command(Session& session, ProcedureId procedure,
                     const Result<std::string>& parameters = std::string()) {
  const Result<Reply> reply = Send(session, procedure, parameters);
  if (!reply) return reply.error();
  return Done{};
}

template <typename Value, typename Decoder>
Result<Value> Query(Session& session, ProcedureId procedure, Decoder decoder,
                    const Result<std::string>& parameters = std::string()) {
  const Result<Reply> reply = Send(session, procedure, parameters);
  if (!reply) return reply.error();
  Value value{};
  if (!decoder(reply->sentence, value)) {
    Error error(ErrorKind::kInvalidReply,
                "the reply to " + std::string(FindProcedure(procedure)->name) +
                    " does not decode: " + EscapeBytes(reply->bytes));
    error.bytes = reply->bytes;
    return error;
  }
  return value;
}

}  // namespace

Result<Done> Ping(Session& session) { return Command(session, kNull); }

Result<std::int32_t> GetInstrumentNumber(Session& session) {
  return Query<std::int32_t>(session, kInstrumentNumber,
                             decode::InstrumentNumber);
}

Result<std::string> GetInstrumentName(Session& session) {
  return Query<std::string>(session, kInstrumentName, decode::InstrumentName);
}

Result<SoftwareVersion> GetSoftwareVersion(Session& session) {
  return Query<SoftwareVersion>(session, kSoftwareVersion, decode::Software);
}

Result<TPS_Device> GetDeviceConfig(Session& session) {
  return Query<TPS_Device>(session, kDeviceConfig, decode::kRecord);
}

Result<CSV_PowerStatus> GetPower(Session& session) {
  return Query<CSV_PowerStatus>(session, kPower, decode::kRecord);
}

Result<DATIME> GetDateTime(Session& session) {
  return Query<DATIME>(session, kDateTime, decode::DateTime);
}

Result<Done> SetDateTime(Session& session, const DATIME& dateTime) {
  return Command(session, kSetDateTime, SetDateTimeParameters(dateTime));
}

Result<TMC_Hz_V_Ang> GetAngles(Session& session, std::int32_t inclineMode) {
  return Query<TMC_Hz_V_Ang>(session, kAngles, decode::kRecord,
                             AnglesParameters(inclineMode));
}

Result<TMC_Simple_Meas> GetSimpleMeasurement(Session& session,
                                             std::int32_t waitMs,
                                             std::int32_t inclineMode) {
  return Query<TMC_Simple_Meas>(
      session, kSimpleMeasurement, decode::kRecord,
      SimpleMeasurementParameters(waitMs, inclineMode));
}

Result<TMC_Atmos_Temperature> GetAtmosphere(Session& session) {
  return Query<TMC_Atmos_Temperature>(session, kAtmosphere, decode::kRecord);
}

Result<TMC_Station> GetStation(Session& session) {
  return Query<TMC_Station>(session, kStation, decode::kRecord);
}

Result<Done> SetStation(Session& session, const TMC_Station& station) {
  return Command(session, kSetStation, SetStationParameters(station));
}

Result<TMC_Ang_Switch> GetAngleSwitches(Session& session) {
  return Query<TMC_Ang_Switch>(session, kAngleSwitches, decode::kRecord);
}

Result<TMC_Slope_Dist_Corr> GetSlopeDistanceCorrections(Session& session) {
  return Query<TMC_Slope_Dist_Corr>(session, kSlopeDistanceCorrections,
                                    decode::kRecord);
}

Result<Done> Position(Session& session, double hz, double v,
                      AUT_POSMODE posMode, AUT_ATRMODE atrMode) {
  return Command(session, kPosition,
                 PositionParameters(hz, v, posMode, atrMode));
}

Result<Done> FineAdjust(Session& session, double hzRange, double vRange) {
  return Command(session, kFineAdjust, FineAdjustParameters(hzRange, vRange));
}

Result<Done> LockIn(Session& session) { return Command(session, kLockIn); }

Result<AUT_SEARCH_AREA> GetSearchArea(Session& session) {
  return Query<AUT_SEARCH_AREA>(session, kSearchArea, decode::kRecord);
}

Result<Done> SetSearchArea(Session& session, const AUT_SEARCH_AREA& area) {
  return Command(session, kSetSearchArea, SetSearchAreaParameters(area));
}

Result<Done> MotorStart(Session& session, MOT_MODE mode) {
  return Command(session, kMotorStart, MotorStartParameters(mode));
}

Result<Done> MotorStop(Session& session, MOT_STOPMODE mode) {
  return Command(session, kMotorStop, MotorStopParameters(mode));
}

Result<Done> MotorVelocity(Session& session, double hzSpeed, double vSpeed) {
  return Command(session, kMotorVelocity,
                 MotorVelocityParameters(hzSpeed, vSpeed));
}

Result<MOT_LOCK_STATUS> GetLockStatus(Session& session) {
  return Query<MOT_LOCK_STATUS>(session, kLockStatus, decode::kRecord);
}

Result<bool> GetAtrState(Session& session) {
  return Query<bool>(session, kAtrState, decode::Switch);
}

Result<Done> SetAtrState(Session& session, bool on) {
  return Command(session, kSetAtrState, SwitchParameters(on));
}

Result<bool> GetLockState(Session& session) {
  return Query<bool>(session, kLockState, decode::Switch);
}

Result<Done> SetLockState(Session& session, bool on) {
  return Command(session, kSetLockState, SwitchParameters(on));
}

Result<EDM_EGLINTENSITY_TYPE> GetGuideLight(Session& session) {
  return Query<EDM_EGLINTENSITY_TYPE>(session, kGuideLight, decode::kRecord);
}

Result<Done> SetGuideLight(Session& session, EDM_EGLINTENSITY_TYPE intensity) {
  return Command(session, kSetGuideLight, GuideLightParameters(intensity));
}

Result<Done> FileListSetup(Session& session, FTR_DEVICETYPE device,
                           FTR_FILETYPE fileType, const std::string& path) {
  return Command(session, kFileListSetup,
                 FileListSetupParameters(device, fileType, path));
}

Result<FileEntry> FileList(Session& session, bool next) {
  return Query<FileEntry>(session, kFileList, decode::File,
                          FileListParameters(next));
}

Result<std::int32_t> FileDelete(Session& session, FTR_DEVICETYPE device,
                                FTR_FILETYPE fileType, const FTR_MODDATE& date,
                                const std::string& name) {
  return Query<std::int32_t>(
      session, kFileDelete, decode::Count,
      FileDeleteParameters(device, fileType, date, name));
}

}  // namespace Core::GEOCOM::host
