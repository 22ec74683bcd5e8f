#ifndef DAZOZAZIDOREZERARO_HOST_REQUESTS_H
#define DAZOZAZIDOREZERARO_HOST_REQUESTS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <string>

#include "Export.h"
#include "Result.h"

/// @file
/// The parameter text of each request that takes arguments, packed with the
/// core's packers after the arguments are checked. The typed calls send
/// these; a tool computes them before it connects, so that a bad argument is
/// refused before anything reaches the wire. Each fails with
/// kInvalidArgument naming the argument.

namespace Core::GEOCOM::host {

/// Measuring angles with the inclination mode.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> AnglesParameters(
    std::int32_t inclineMode);
/// A simple measurement waiting at most waitMs (not negative).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> SimpleMeasurementParameters(
    std::int32_t waitMs, std::int32_t inclineMode);
/// Setting the clock; the date and time must exist.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> SetDateTimeParameters(
    const DATIME& dateTime);
/// Setting the station; every coordinate finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> SetStationParameters(
    const TMC_Station& station);
/// Positioning to hz, v (finite radians).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> PositionParameters(
    double hz, double v, AUT_POSMODE posMode, AUT_ATRMODE atrMode);
/// Fine adjustment within the ranges (finite radians).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> FineAdjustParameters(
    double hzRange, double vRange);
/// Setting the target-search window; every number finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> SetSearchAreaParameters(
    const AUT_SEARCH_AREA& area);
/// Starting the motor controller in the mode.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> MotorStartParameters(
    MOT_MODE mode);
/// Stopping the motor controller.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> MotorStopParameters(
    MOT_STOPMODE mode);
/// Turning at constant speed (finite radians per second).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> MotorVelocityParameters(
    double hzSpeed, double vSpeed);
/// Switching target recognition or lock-in on or off.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> SwitchParameters(bool on);
/// Setting the guide light, 0 (off) to 3 (high).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> GuideLightParameters(
    EDM_EGLINTENSITY_TYPE intensity);
/// Starting a file listing; the path holds no quote, CR or LF.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> FileListSetupParameters(
    FTR_DEVICETYPE device, FTR_FILETYPE fileType, const std::string& path);
/// Reading the first entry of a listing, or the next.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> FileListParameters(
    bool next);
/// Deleting files; the name holds no quote, CR or LF.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> FileDeleteParameters(
    FTR_DEVICETYPE device, FTR_FILETYPE fileType, const FTR_MODDATE& date,
    const std::string& name);

/// Fails with kInvalidArgument naming what when value is not finite.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> CheckFinite(const char* what,
                                                        double value);
/// Fails with kInvalidArgument naming what when text holds a double quote,
/// CR or LF, which cannot travel inside a quoted parameter.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> CheckName(const char* what,
                                                      const std::string& text);
/// Fails with kInvalidArgument when the date or the time of day does not
/// exist (month 13, 30 February, 24:00:00).
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> CheckDateTime(
    const DATIME& dateTime);

}  // namespace Core::GEOCOM::host

#endif
