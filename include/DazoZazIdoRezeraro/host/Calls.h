#ifndef DAZOZAZIDOREZERARO_HOST_CALLS_H
#define DAZOZAZIDOREZERARO_HOST_CALLS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <optional>
#include <string>

#include "Export.h"
#include "Records.h"
#include "Result.h"

/// @file
/// Typed calls: one function per procedure a host commonly makes, on a
/// BlockingSession (BlockingSession.h). Each is a named call (NamedCall.h):
/// its arguments are packed by the catalogue (an argument left out takes the
/// catalogue's default; one that must not reach the wire fails with
/// kInvalidArgument before anything is sent), and its reply is read strictly
/// by the catalogue (kInvalidReply naming the value and carrying the reply's
/// bytes otherwise), then decoded once with the core's decoders into the
/// core's records.

namespace Core::GEOCOM::host {

class BlockingSession;

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
