#ifndef DAZOZAZIDOREZERARO_HOST_CALLS_H
#define DAZOZAZIDOREZERARO_HOST_CALLS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <string>

#include "Export.h"
#include "Requests.h"
#include "Result.h"
#include "Session.h"

/// @file
/// One function per command: each checks and packs its arguments (see
/// Requests.h), makes the call through the Session and decodes the reply
/// with the core's decoders into the core's records. An argument that must
/// not reach the wire (a number that is not finite, a name with a quote, CR
/// or LF, a date that does not exist) fails with kInvalidArgument before
/// anything is sent; a reply that does not decode fails with kInvalidReply.

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

/// Checks that the instrument answers.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> Ping(Session& session);
/// The instrument's serial number.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::int32_t> GetInstrumentNumber(
    Session& session);
/// The instrument's name.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> GetInstrumentName(
    Session& session);
/// The firmware release.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<SoftwareVersion> GetSoftwareVersion(
    Session& session);
/// The instrument's class and type.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TPS_Device> GetDeviceConfig(
    Session& session);
/// Battery level and power paths.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<CSV_PowerStatus> GetPower(
    Session& session);
/// The instrument clock, date and time of day read as one record.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<DATIME> GetDateTime(Session& session);
/// Sets the instrument clock; the date and time must exist.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetDateTime(Session& session,
                                                        const DATIME& dateTime);
/// Measures the horizontal and vertical angle.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Hz_V_Ang> GetAngles(
    Session& session, std::int32_t inclineMode = 1);
/// Measures the angles and the slope distance, waiting at most waitMs for
/// the distance.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Simple_Meas> GetSimpleMeasurement(
    Session& session, std::int32_t waitMs = 1000, std::int32_t inclineMode = 1);
/// Wavelength, pressure and temperatures.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Atmos_Temperature> GetAtmosphere(
    Session& session);
/// The station coordinates.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Station> GetStation(Session& session);
/// Sets the station coordinates; every one must be finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetStation(
    Session& session, const TMC_Station& station);
/// The angle-correction switches.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Ang_Switch> GetAngleSwitches(
    Session& session);
/// The ppm and prism corrections of the slope distance.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<TMC_Slope_Dist_Corr>
GetSlopeDistanceCorrections(Session& session);
/// Turns the telescope to hz, v (radians, finite).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> Position(
    Session& session, double hz, double v, AUT_POSMODE posMode = AUT_NORMAL,
    AUT_ATRMODE atrMode = AUT_POSITION);
/// Fine-adjusts onto the target within the ranges (radians, finite).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> FineAdjust(Session& session,
                                                       double hzRange,
                                                       double vRange);
/// Starts following the target.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> LockIn(Session& session);
/// The target-search window.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<AUT_SEARCH_AREA> GetSearchArea(
    Session& session);
/// Sets the target-search window; every number must be finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetSearchArea(
    Session& session, const AUT_SEARCH_AREA& area);
/// Starts the motor controller in the mode.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> MotorStart(Session& session,
                                                       MOT_MODE mode);
/// Stops the motor controller.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> MotorStop(
    Session& session, MOT_STOPMODE mode = MOT_NORMAL);
/// Turns at constant speed (radians per second, finite).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> MotorVelocity(Session& session,
                                                          double hzSpeed,
                                                          double vSpeed);
/// Whether the target is followed.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<MOT_LOCK_STATUS> GetLockStatus(
    Session& session);
/// The automatic target recognition switch.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<bool> GetAtrState(Session& session);
/// Switches automatic target recognition.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetAtrState(Session& session,
                                                        bool on);
/// The lock-in switch.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<bool> GetLockState(Session& session);
/// Switches lock-in.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetLockState(Session& session,
                                                         bool on);
/// The guide-light intensity.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<EDM_EGLINTENSITY_TYPE> GetGuideLight(
    Session& session);
/// Sets the guide-light intensity.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> SetGuideLight(
    Session& session, EDM_EGLINTENSITY_TYPE intensity);
/// Starts a file listing; the path must hold no quote, CR or LF.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> FileListSetup(
    Session& session, FTR_DEVICETYPE device, FTR_FILETYPE fileType,
    const std::string& path);
/// The first entry of the listing, or the next one.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<FileEntry> FileList(Session& session,
                                                          bool next);
/// Deletes the files with the name (no quote, CR or LF) older than the
/// date; returns how many were deleted.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::int32_t> FileDelete(
    Session& session, FTR_DEVICETYPE device, FTR_FILETYPE fileType,
    const FTR_MODDATE& date, const std::string& name);

}  // namespace Core::GEOCOM::host

#endif
