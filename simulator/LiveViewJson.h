#ifndef DAZOZAZIDOREZERARO_SIMULATOR_LIVEVIEWJSON_H
#define DAZOZAZIDOREZERARO_SIMULATOR_LIVEVIEWJSON_H

#include <DazoZazIdoRezeraro/host/Result.h>
#include <DazoZazIdoRezeraro/simulator/Control.h>

#include <string>
#include <string_view>

namespace Core::GEOCOM::simulator {

// The JSON the live view sends and reads; keys in snake case.

// {"type": "state", ...}: the instrument, the switches, the clients and
// the totals.
std::string StateJson(const InstrumentView& view, InstrumentControl& control);

// {"type": "exchange", ...}: the request and the reply decoded by name.
std::string ExchangeJson(const LoggedExchange& logged);

// The body of PUT /api/prisms/ID: {"easting", "northing", "height"}, any
// left out keeping the prism's present value.
host::Result<Point> ReadPosition(std::string_view body, const Point& present);

// The body of PUT /api/faults: {"drop": 0.1, ...}; kinds left out get 0.
host::Result<FaultRates> ReadRates(std::string_view body);

// {"error": message}.
std::string ErrorJson(const std::string& message);

}  // namespace Core::GEOCOM::simulator

#endif
