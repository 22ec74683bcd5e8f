#include "LiveViewJson.h"

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

namespace Core::GEOCOM::simulator {

namespace {

using json = nlohmann::json;

std::string SnakeCase(std::string name) {
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

json FieldsJson(const host::Fields& fields) {
  json object = json::object();
  for (const host::Field& field : fields) {
    std::visit(
        [&](const auto& value) { object[SnakeCase(field.name)] = value; },
        field.value);
  }
  return object;
}

// One JSON object, each key given once, and nothing after it. The parser
// takes a NUL byte for the end of the text, and JSON has none, so a body
// holding one is refused before it is parsed. The body is bounded, so the
// document is too.
host::Result<json> ReadObject(std::string_view body, const std::string& what) {
  const auto refuse = [](const std::string& why) {
    return host::Error(host::ErrorKind::kInvalidArgument, why);
  };
  if (body.find('\0') != std::string_view::npos) {
    return refuse("the body must be " + what + ", and nothing after it");
  }
  std::vector<std::set<std::string>> keys;
  std::string repeated;
  json parsed = json::parse(
      body.begin(), body.end(),
      [&](int, json::parse_event_t event, json& value) {
        if (event == json::parse_event_t::object_start) keys.emplace_back();
        if (event == json::parse_event_t::object_end) keys.pop_back();
        if (event == json::parse_event_t::key && repeated.empty() &&
            !keys.back().insert(value.get<std::string>()).second) {
          repeated = value.get<std::string>();
        }
        return true;
      },
      false);
  if (!parsed.is_object()) return refuse("the body must be " + what);
  if (!repeated.empty()) return refuse(repeated + " is given twice");
  return parsed;
}

// The unit of each value of the procedure that has one, so that a page
// shows every angle and distance in its own units.
json UnitsJson(const host::Procedure& procedure) {
  json units = json::object();
  for (const auto* specs : {&procedure.arguments, &procedure.reply}) {
    for (const host::ValueSpec& value : *specs) {
      if (!value.unit.empty()) {
        units[SnakeCase(std::string(value.name))] = std::string(value.unit);
      }
    }
  }
  return units;
}

json PointJson(const Point& point) {
  return {{"easting", point.easting},
          {"northing", point.northing},
          {"height", point.height}};
}

}  // namespace

std::string StateJson(const InstrumentView& view, InstrumentControl& control) {
  json prisms = json::array();
  for (const PrismView& prism : view.prisms) {
    json entry = PointJson(prism.position);
    entry["id"] = prism.id;
    prisms.push_back(std::move(entry));
  }
  const TrafficCounts counts = control.Counts();
  json faults = json::object();
  for (const FaultKind kind : FaultKinds()) {
    const auto found = counts.faults.find(FaultName(kind));
    faults[FaultName(kind)] = found == counts.faults.end() ? 0 : found->second;
  }
  json rates = json::object();
  for (const FaultKind kind : FaultKinds()) {
    rates[FaultName(kind)] = 0.0;
  }
  for (const FaultRate& rate : control.Rates()) {
    rates[FaultName(rate.kind)] = rate.rate;
  }
  const json state = {
      {"type", "state"},
      {"station",
       {{"id", view.station.id},
        {"easting", view.station.easting},
        {"northing", view.station.northing},
        {"height", view.station.height},
        {"instrument_height", view.station.instrumentHeight},
        {"orientation", view.station.orientation}}},
      {"prisms", std::move(prisms)},
      {"telescope",
       {{"hz", view.telescope.hz},
        {"v", view.telescope.v},
        {"moving", view.moving}}},
      {"atr", view.atr},
      {"lock", view.lock},
      {"locked_prism",
       view.lockedPrism.empty() ? json(nullptr) : json(view.lockedPrism)},
      {"search_window",
       {{"centre_hz", view.searchCentre.hz},
        {"centre_v", view.searchCentre.v},
        {"range_hz", view.searchRange.hz},
        {"range_v", view.searchRange.v},
        {"enabled", view.searchEnabled}}},
      {"field_of_view", view.fieldOfView},
      {"beam_divergence", view.beamDivergence},
      {"battery", view.battery},
      {"clock", host::FormatDateTime(view.clock)},
      {"paused", control.Paused()},
      {"clients", control.Clients()},
      {"calls", counts.calls},
      {"faults", std::move(faults)},
      {"fault_rates", std::move(rates)}};
  return state.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string ExchangeJson(const LoggedExchange& logged) {
  const Exchange& exchange = logged.exchange;
  json message = {{"type", "exchange"},
                  {"number", logged.number},
                  {"client", exchange.client},
                  {"request_bytes", host::EscapeBytes(exchange.request)},
                  {"reply_bytes", host::EscapeBytes(exchange.reply)},
                  {"fault", exchange.fault},
                  {"round_trip_ms", std::chrono::duration<double, std::milli>(
                                        exchange.answered - exchange.received)
                                        .count()},
                  {"procedure", exchange.procedure},
                  {"name", nullptr},
                  {"arguments", nullptr},
                  {"return_code", nullptr},
                  {"return_code_name", nullptr},
                  {"return_code_meaning", nullptr},
                  {"values", nullptr},
                  {"units", json::object()}};
  const host::Procedure* named = host::FindProcedure(exchange.procedure);
  message["name"] = named != nullptr ? std::string(named->name)
                                     : std::to_string(exchange.procedure);
  if (named != nullptr) message["units"] = UnitsJson(*named);
  if (exchange.arguments)
    message["arguments"] = FieldsJson(*exchange.arguments);
  if (exchange.returnCode) {
    message["return_code"] = *exchange.returnCode;
    if (const host::ReturnCodeName* code =
            host::FindReturnCode(*exchange.returnCode)) {
      message["return_code_name"] = std::string(code->name);
      message["return_code_meaning"] = std::string(code->meaning);
    }
  }
  if (exchange.values) message["values"] = FieldsJson(*exchange.values);
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

host::Result<Point> ReadPosition(std::string_view body, const Point& present) {
  const auto refuse = [](const std::string& why) {
    return host::Error(host::ErrorKind::kInvalidArgument, why);
  };
  const host::Result<json> parsed =
      ReadObject(body, "a JSON object of easting, northing and height");
  if (!parsed) return parsed.error();
  Point point = present;
  for (const auto& [key, value] : parsed->items()) {
    double* target = key == "easting"    ? &point.easting
                     : key == "northing" ? &point.northing
                     : key == "height"   ? &point.height
                                         : nullptr;
    if (target == nullptr) return refuse(key + " is not a coordinate");
    if (!value.is_number()) return refuse(key + " must be a number");
    *target = value.get<double>();
  }
  return point;
}

host::Result<FaultRates> ReadRates(std::string_view body) {
  const auto refuse = [](const std::string& why) {
    return host::Error(host::ErrorKind::kInvalidArgument, why);
  };
  const host::Result<json> parsed =
      ReadObject(body, "a JSON object of fault kinds and rates");
  if (!parsed) return parsed.error();
  FaultRates rates;
  for (const auto& [key, value] : parsed->items()) {
    std::string name = key;
    std::replace(name.begin(), name.end(), '_', '-');
    const std::optional<FaultKind> kind = FindFault(name);
    if (!kind) return refuse(key + " is not a fault kind");
    if (!value.is_number())
      return refuse("the rate of " + key + " must be a number from 0 to 1");
    rates.push_back({*kind, value.get<double>()});
  }
  return rates;
}

std::string ErrorJson(const std::string& message) {
  return json{{"error", message}}.dump(-1, ' ', false,
                                       json::error_handler_t::replace);
}

}  // namespace Core::GEOCOM::simulator
