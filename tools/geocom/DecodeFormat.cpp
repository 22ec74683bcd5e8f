#include "DecodeFormat.h"

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace geocom {

using namespace Core::GEOCOM;
using nlohmann::json;

namespace {

bool IsSentence(TrafficKind kind) {
  return kind == TrafficKind::kRequest || kind == TrafficKind::kReply ||
         kind == TrafficKind::kUnmatchedReply || kind == TrafficKind::kTimeout;
}

const host::Procedure* Named(const TrafficRecord& record) {
  return record.procedure ? host::FindProcedure(*record.procedure) : nullptr;
}

template <typename... Args>
std::string Printf(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  return text;
}

std::string Quoted(std::string_view bytes) {
  return '"' + host::EscapeBytes(bytes) + '"';
}

std::string TextValue(const host::FieldValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return Quoted(*text);
  return host::FormatValue(value);
}

std::string Dump(const json& line) {
  return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

json JsonValue(const host::FieldValue& value) {
  return std::visit([](const auto& held) { return json(held); }, value);
}

json JsonFields(const std::optional<host::Fields>& fields) {
  if (!fields) return nullptr;
  json object = json::object();
  for (const host::Field& field : *fields) {
    object[field.name] = JsonValue(field.value);
  }
  return object;
}

template <typename T>
json OrNull(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

}  // namespace

std::string FormatText(const TrafficRecord& record) {
  std::string line;
  if (record.time) line += Printf("%.6f ", *record.time);
  if (record.direction != host::CaptureDirection::kUnknown) {
    line += host::DirectionName(record.direction);
    line += ' ';
  }
  line += TrafficKindName(record.kind);
  if (!IsSentence(record.kind)) {
    line += " size=" + std::to_string(record.size);
    if (record.kind != TrafficKind::kDropped) {
      line += " bytes=" + Quoted(record.bytes);
    }
    return line + '\n';
  }

  line += " seq=" + std::to_string(record.sequence);
  if (record.procedure) {
    const host::Procedure* named = Named(record);
    line += " procedure=" + std::to_string(*record.procedure) +
            " name=" + (named != nullptr ? std::string(named->name) : "-");
  }
  if (record.kind == TrafficKind::kTimeout) {
    return line + " timeout-ms=" + std::to_string(record.timeout->count()) +
           " bytes=" + Quoted(record.bytes) + '\n';
  }
  if (record.kind != TrafficKind::kRequest) {
    line += " return-code=" + std::to_string(record.returnCode);
  }
  if (record.roundTripMs)
    line += Printf(" round-trip-ms=%.3f", *record.roundTripMs);
  if (record.late) line += " late";
  if (!record.fields) {
    return line + ": parameters=" + Quoted(record.parameters) + '\n';
  }
  if (!record.fields->empty()) {
    line += ':';
    for (const host::Field& field : *record.fields) {
      line += ' ' + field.name + '=' + TextValue(field.value);
    }
  }
  return line + '\n';
}

std::string FormatJson(const TrafficRecord& record) {
  json line = {{"kind", TrafficKindName(record.kind)},
               {"direction", host::DirectionName(record.direction)},
               {"time", OrNull(record.time)},
               {"size", record.size},
               {"bytes", host::EscapeBytes(record.bytes)}};
  if (!IsSentence(record.kind)) return Dump(line);

  const host::Procedure* named = Named(record);
  line["sequence"] = record.sequence;
  line["procedure"] = OrNull(record.procedure);
  line["name"] = named != nullptr ? json(named->name) : json(nullptr);
  line["timeout_ms"] =
      record.timeout ? json(record.timeout->count()) : json(nullptr);
  if (record.kind == TrafficKind::kTimeout) return Dump(line);
  line["parameters"] = host::EscapeBytes(record.parameters);
  if (record.kind == TrafficKind::kRequest) {
    line["arguments"] = JsonFields(record.fields);
    return Dump(line);
  }
  line["return_code"] = record.returnCode;
  line["values"] = JsonFields(record.fields);
  line["round_trip_ms"] = OrNull(record.roundTripMs);
  line["late"] = record.late;
  return Dump(line);
}

std::string FormatSummaryText(const TrafficSummary& summary) {
  std::string text = Printf("%9s %-28s %7s %9s %5s  ", "procedure", "name",
                            "calls", "time-outs", "gaps") +
                     "round trip ms min/median/p95/max  replies by return "
                     "code\n";
  for (const ProcedureSummary& row : summary.Procedures()) {
    const host::Procedure* named = host::FindProcedure(row.procedure);
    text += Printf("%9u %-28s ", static_cast<unsigned>(row.procedure),
                   named != nullptr ? std::string(named->name).c_str() : "-");
    text += Printf("%7llu %9llu %5llu  ",
                   static_cast<unsigned long long>(row.calls),
                   static_cast<unsigned long long>(row.timeouts),
                   static_cast<unsigned long long>(row.sequenceGaps));
    std::string times = "-";
    if (row.roundTrip) {
      times = Printf("%.3f/%.3f/", row.roundTrip->min, row.roundTrip->median) +
              Printf("%.3f/%.3f", row.roundTrip->p95, row.roundTrip->max);
    }
    text += Printf("%-33s ", times.c_str());
    std::string replies;
    for (const auto& [code, count] : row.replies) {
      replies += (replies.empty() ? "" : " ") + std::to_string(code) + ':' +
                 std::to_string(count);
    }
    text += (replies.empty() ? "-" : replies) + '\n';
  }
  const TrafficTotals& totals = summary.Totals();
  return text + "records=" + std::to_string(totals.records) +
         " unmatched-replies=" + std::to_string(totals.unmatchedReplies) +
         " unrecognised=" + std::to_string(totals.unrecognised) +
         " noise-bytes=" + std::to_string(totals.noiseBytes) +
         " dropped-bytes=" + std::to_string(totals.droppedBytes) + '\n';
}

std::string FormatSummaryJson(const TrafficSummary& summary) {
  std::string text;
  for (const ProcedureSummary& row : summary.Procedures()) {
    const host::Procedure* named = host::FindProcedure(row.procedure);
    json replies = json::object();
    for (const auto& [code, count] : row.replies) {
      replies[std::to_string(code)] = count;
    }
    json times = nullptr;
    if (row.roundTrip) {
      times = {{"count", row.roundTrip->count},
               {"min", row.roundTrip->min},
               {"median", row.roundTrip->median},
               {"p95", row.roundTrip->p95},
               {"max", row.roundTrip->max}};
    }
    text +=
        Dump({{"kind", "procedure"},
              {"procedure", row.procedure},
              {"name", named != nullptr ? json(named->name) : json(nullptr)},
              {"calls", row.calls},
              {"replies", replies},
              {"timeouts", row.timeouts},
              {"round_trip_ms", times},
              {"sequence_gaps", row.sequenceGaps}});
  }
  const TrafficTotals& totals = summary.Totals();
  return text + Dump({{"kind", "totals"},
                      {"records", totals.records},
                      {"unmatched_replies", totals.unmatchedReplies},
                      {"unrecognised", totals.unrecognised},
                      {"noise_bytes", totals.noiseBytes},
                      {"dropped_bytes", totals.droppedBytes}});
}

}  // namespace geocom
