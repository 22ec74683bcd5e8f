#ifndef DAZOZAZIDOREZERARO_HOST_ARGUMENTCHECKS_H
#define DAZOZAZIDOREZERARO_HOST_ARGUMENTCHECKS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstdint>
#include <string>

#include "Export.h"
#include "Result.h"

/// @file
/// The checks an argument passes before it may reach the wire: the
/// catalogue's packing applies them to every argument of its type.

namespace Core::GEOCOM::host {

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
