#ifndef DAZOZAZIDOREZERARO_HOST_CALLS_H
#define DAZOZAZIDOREZERARO_HOST_CALLS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <optional>
#include <string>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include "Export.h"

#include "BlockingSession.h"
#include "Catalogue.h"
#include "Errors.h"
#include "Result.h"

/// @file
/// Typed calls: one function per procedure a host commonly makes. Each packs
/// its arguments by the catalogue (an argument left out takes the
/// catalogue's default; one that must not reach the wire fails with
/// kInvalidArgument before anything is sent), makes the call and decodes the
/// reply with the core's decoders into the core's records, after reading it
/// strictly by the catalogue (kInvalidReply naming the value otherwise).

namespace Core::GEOCOM::host {

/// The firmware release, as the instrument reports it.
struct SoftwareVersion {
  unsigned short release = 0;     ///< Release number.
  unsigned short version = 0;     ///< Version within the release.
  unsigned short subversion = 0;  ///< Subversion within the version.
};

/// One entry of a file listing.
struct FileEntry {
  bool last = false;  ///< Whether this is the listing's last entry.
  FTR_DIRINFO info;   ///< Name, size and modification time of the file.
};

/// A reply with its values named by the catalogue.
struct NamedReply {
  Reply reply;    ///< The reply, with its diagnostics when the call failed.
  Fields values;  ///< The reply's values; empty when the call failed.
};

/// Starts a call of the catalogued procedure with named arguments on an
/// asynchronous session; token receives (error_code, NamedReply). Bad
/// arguments complete with kInvalidArgument before anything is sent, a reply
/// that does not read strictly with kInvalidReply. The handler's executor
/// and cancellation slot are honoured as by Session::AsyncCall.
template <typename CompletionToken>
auto AsyncCallNamed(Session& session, std::string_view procedure,
                    Fields arguments, CompletionToken&& token,
                    CallOptions options = {}) {
  using Signature = void(boost::system::error_code, NamedReply);
  return boost::asio::async_initiate<CompletionToken, Signature>(
      [&session](auto handler, std::string name, Fields given,
                 CallOptions with) {
        auto slot = boost::asio::get_associated_cancellation_slot(handler);
        auto executor = boost::asio::get_associated_executor(
            handler, session.get_executor());
        const Procedure* named = FindProcedure(name);
        Result<std::string> parameters =
            named != nullptr ? PackArguments(*named, given)
                             : Result<std::string>(Error{
                                   ErrorKind::kInvalidArgument,
                                   "no procedure is named '" + name + "'"});
        if (!parameters) {
          NamedReply failed;
          failed.reply.diagnostics = parameters.error().message;
          boost::asio::post(executor, [handler = std::move(handler),
                                       failed = std::move(failed)]() mutable {
            std::move(handler)(ErrorKind::kInvalidArgument, std::move(failed));
          });
          return;
        }
        session.AsyncCall(
            named->id, *parameters,
            boost::asio::bind_cancellation_slot(
                slot,
                boost::asio::bind_executor(
                    executor,
                    [handler = std::move(handler), named](
                        boost::system::error_code error, Reply reply) mutable {
                      NamedReply result;
                      if (!error) {
                        Result<Fields> values =
                            DecodeReply(*named, reply.sentence);
                        if (values) {
                          result.values = std::move(*values);
                        } else {
                          error = ErrorKind::kInvalidReply;
                          reply.diagnostics = values.error().message;
                        }
                      }
                      result.reply = std::move(reply);
                      std::move(handler)(error, std::move(result));
                    })),
            with);
      },
      token, std::string(procedure), std::move(arguments), options);
}

/// Checks that the instrument answers.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> Ping(BlockingSession& session);
/// The instrument's serial number.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::int32_t> GetInstrumentNumber(
    BlockingSession& session);
/// The instrument's name.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> GetInstrumentName(
    BlockingSession& session);
/// The firmware release.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<SoftwareVersion> GetSoftwareVersion(
    BlockingSession& session);
/// The instrument's class and type.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TPS_Device> GetDeviceConfig(
    BlockingSession& session);
/// Battery level and power paths.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<CSV_PowerStatus> GetPower(
    BlockingSession& session);
/// The instrument clock, date and time of day read as one record.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<DATIME> GetDateTime(
    BlockingSession& session);
/// Sets the instrument clock; the date and time must exist.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetDateTime(
    BlockingSession& session, const DATIME& dateTime);
/// Measures the horizontal and vertical angle.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Hz_V_Ang> GetAngles(
    BlockingSession& session, std::optional<std::int32_t> inclineMode = {});
/// Measures the angles and the slope distance, waiting at most waitMs for
/// the distance.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Simple_Meas> GetSimpleMeasurement(
    BlockingSession& session, std::optional<std::int32_t> waitMs = {},
    std::optional<std::int32_t> inclineMode = {});
/// Wavelength, pressure and temperatures.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Atmos_Temperature> GetAtmosphere(
    BlockingSession& session);
/// The station coordinates.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Station> GetStation(
    BlockingSession& session);
/// Sets the station coordinates; every one must be finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetStation(
    BlockingSession& session, const TMC_Station& station);
/// The angle-correction switches.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Ang_Switch> GetAngleSwitches(
    BlockingSession& session);
/// The ppm and prism corrections of the slope distance.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Slope_Dist_Corr>
GetSlopeDistanceCorrections(BlockingSession& session);
/// Turns the telescope to hz, v (radians, finite).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> Position(
    BlockingSession& session, double hz, double v,
    std::optional<AUT_POSMODE> posMode = {},
    std::optional<AUT_ATRMODE> atrMode = {});
/// Fine-adjusts onto the target within the ranges (radians, finite).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> FineAdjust(BlockingSession& session,
                                                       double hzRange,
                                                       double vRange);
/// Starts following the target.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> LockIn(BlockingSession& session);
/// The target-search window.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<AUT_SEARCH_AREA> GetSearchArea(
    BlockingSession& session);
/// Sets the target-search window; every number must be finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetSearchArea(
    BlockingSession& session, const AUT_SEARCH_AREA& area);
/// Starts the motor controller in the mode.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> MotorStart(BlockingSession& session,
                                                       MOT_MODE mode);
/// Stops the motor controller.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> MotorStop(
    BlockingSession& session, std::optional<MOT_STOPMODE> mode = {});
/// Turns at constant speed (radians per second, finite).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> MotorVelocity(
    BlockingSession& session, double hzSpeed, double vSpeed);
/// Whether the target is followed.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<MOT_LOCK_STATUS> GetLockStatus(
    BlockingSession& session);
/// The automatic target recognition switch.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<bool> GetAtrState(
    BlockingSession& session);
/// Switches automatic target recognition.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetAtrState(
    BlockingSession& session, bool on);
/// The lock-in switch.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<bool> GetLockState(
    BlockingSession& session);
/// Switches lock-in.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetLockState(
    BlockingSession& session, bool on);
/// The guide-light intensity.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<EDM_EGLINTENSITY_TYPE> GetGuideLight(
    BlockingSession& session);
/// Sets the guide-light intensity.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetGuideLight(
    BlockingSession& session, EDM_EGLINTENSITY_TYPE intensity);
/// Starts a file listing; the path must hold no quote, CR or LF.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> FileListSetup(
    BlockingSession& session, FTR_DEVICETYPE device, FTR_FILETYPE fileType,
    const std::string& path);
/// The first entry of the listing, or the next one.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<FileEntry> FileList(
    BlockingSession& session, bool next);
/// Deletes the files with the name (no quote, CR or LF) older than the
/// date; returns how many were deleted.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::int32_t> FileDelete(
    BlockingSession& session, FTR_DEVICETYPE device, FTR_FILETYPE fileType,
    const FTR_MODDATE& date, const std::string& name);

}  // namespace Core::GEOCOM::host

#endif
