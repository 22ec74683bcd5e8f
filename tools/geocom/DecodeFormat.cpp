#include "DecodeFormat.h"

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <vector>

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

// One JSON object composed straight into its text: decoding a capture
// prints one per record, and a document object per record would cost
// several times the decoding itself.
class JsonLine {
 public:
  JsonLine() { text_.reserve(512); }
  std::string End() {
    text_ += "}\n";
    return std::move(text_);
  }
  void Null(std::string_view key) {
    Key(key);
    text_ += "null";
  }
  void Bool(std::string_view key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
  }
  template <typename Value>
  void Number(std::string_view key, Value value) {
    Key(key);
    AppendNumber(value);
  }
  template <typename Value>
  void Optional(std::string_view key, const std::optional<Value>& value) {
    if (!value) return Null(key);
    Number(key, *value);
  }
  // A text that is ASCII without control characters.
  void Text(std::string_view key, std::string_view text) {
    Key(key);
    AppendQuoted(text);
  }
  // Bytes as a capture escapes them.
  void Escaped(std::string_view key, std::string_view bytes) {
    Key(key);
    AppendQuoted(host::EscapeBytes(bytes));
  }
  void Fields(std::string_view key, const std::optional<host::Fields>& fields) {
    if (!fields) return Null(key);
    Key(key);
    text_ += '{';
    bool first = true;
    for (const host::Field& field : *fields) {
      if (!first) text_ += ',';
      first = false;
      AppendQuoted(field.name);
      text_ += ':';
      std::visit(
          [this](const auto& held) {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, std::string>) {
              // Any bytes: the library escapes them and replaces what is
              // not UTF-8.
              text_ += Dump(json(held));
              text_.pop_back();
            } else if constexpr (std::is_same_v<Held, bool>) {
              text_ += held ? "true" : "false";
            } else {
              AppendNumber(held);
            }
          },
          field.value);
    }
    text_ += '}';
  }

 private:
  void Key(std::string_view key) {
    text_ += text_.empty() ? '{' : ',';
    AppendQuoted(key);
    text_ += ':';
  }
  template <typename Value>
  void AppendNumber(Value value) {
    if constexpr (std::is_floating_point_v<Value>) {
      // JSON has no infinities or NaN.
      if (!std::isfinite(value)) {
        text_ += "null";
        return;
      }
    }
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text_.append(digits, end);
  }
  void AppendQuoted(std::string_view text) {
    text_ += '"';
    auto done = text.begin();
    for (;;) {
      const auto special = std::find_if(done, text.end(), [](char byte) {
        return byte == '"' || byte == '\\';
      });
      text_.append(done, special);
      if (special == text.end()) break;
      text_ += '\\';
      text_ += *special;
      done = special + 1;
    }
    text_ += '"';
  }

  std::string text_;
};

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
    return line + " timeout_ms=" + std::to_string(record.timeout->count()) +
           " bytes=" + Quoted(record.bytes) + '\n';
  }
  if (record.kind != TrafficKind::kRequest) {
    line += " return_code=" + std::to_string(record.returnCode);
    if (const host::ReturnCodeName* code =
            host::FindReturnCode(record.returnCode)) {
      line += " return_code_name=" + std::string(code->name);
    }
  }
  if (record.roundTripMs)
    line += Printf(" round_trip_ms=%.3f", *record.roundTripMs);
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
  JsonLine line;
  line.Text("kind", TrafficKindName(record.kind));
  line.Text("direction", host::DirectionName(record.direction));
  line.Number("connection", record.connection);
  line.Optional("time", record.time);
  line.Number("size", record.size);
  line.Escaped("bytes", record.bytes);
  if (!IsSentence(record.kind)) return line.End();

  const host::Procedure* named = Named(record);
  line.Number("sequence", record.sequence);
  line.Optional("procedure", record.procedure);
  if (named != nullptr) {
    line.Text("name", named->name);
  } else {
    line.Null("name");
  }
  line.Optional("timeout_ms", record.timeout
                                  ? std::optional(record.timeout->count())
                                  : std::nullopt);
  if (record.kind == TrafficKind::kTimeout) return line.End();
  line.Escaped("parameters", record.parameters);
  if (record.kind == TrafficKind::kRequest) {
    line.Fields("arguments", record.fields);
    return line.End();
  }
  line.Number("return_code", record.returnCode);
  if (const host::ReturnCodeName* code =
          host::FindReturnCode(record.returnCode)) {
    line.Text("return_code_name", code->name);
  } else {
    line.Null("return_code_name");
  }
  line.Fields("values", record.fields);
  line.Optional("round_trip_ms", record.roundTripMs);
  line.Bool("late", record.late);
  return line.End();
}

std::string FormatSummaryText(const TrafficSummary& summary) {
  // Each column as wide as its widest cell, so that no count, however
  // large, pushes the columns after it out of line.
  using Row = std::array<std::string, 7>;
  const Row header = {"procedure",
                      "name",
                      "calls",
                      "time-outs",
                      "gaps",
                      "round trip ms min/median/p95/max",
                      "replies by return code"};
  constexpr std::array<bool, 7> kRight = {true, false, true, true,
                                          true, false, false};
  std::vector<Row> rows{header};
  for (const ProcedureSummary& row : summary.Procedures()) {
    const host::Procedure* named = host::FindProcedure(row.procedure);
    std::string times = "-";
    if (row.roundTrip) {
      times = Printf("%.3f/%.3f/", row.roundTrip->min, row.roundTrip->median) +
              Printf("%.3f/%.3f", row.roundTrip->p95, row.roundTrip->max);
    }
    std::string replies;
    for (const auto& [code, count] : row.replies) {
      replies += (replies.empty() ? "" : " ") + std::to_string(code);
      if (const host::ReturnCodeName* codeName = host::FindReturnCode(code)) {
        replies += "(" + std::string(codeName->name) + ")";
      }
      replies += ':' + std::to_string(count);
    }
    rows.push_back({std::to_string(row.procedure),
                    named != nullptr ? std::string(named->name) : "-",
                    std::to_string(row.calls), std::to_string(row.timeouts),
                    std::to_string(row.sequenceGaps), times,
                    replies.empty() ? "-" : replies});
  }
  std::array<std::size_t, 7> widths{};
  for (const Row& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], row[column].size());
    }
  }
  std::string text;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t column = 0; column < row.size(); ++column) {
      const std::string pad(widths[column] - row[column].size(), ' ');
      if (column > 0) line += ' ';
      line += kRight[column] ? pad + row[column] : row[column] + pad;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + '\n';
  }
  const TrafficTotals& totals = summary.Totals();
  return text + "records=" + std::to_string(totals.records) +
         " unmatched_replies=" + std::to_string(totals.unmatchedReplies) +
         " unrecognised=" + std::to_string(totals.unrecognised) +
         " noise_bytes=" + std::to_string(totals.noiseBytes) +
         " dropped_bytes=" + std::to_string(totals.droppedBytes) + '\n';
}

std::string FormatSummaryJson(const TrafficSummary& summary) {
  std::string text;
  for (const ProcedureSummary& row : summary.Procedures()) {
    const host::Procedure* named = host::FindProcedure(row.procedure);
    json replies = json::object();
    json names = json::object();
    for (const auto& [code, count] : row.replies) {
      replies[std::to_string(code)] = count;
      if (const host::ReturnCodeName* codeName = host::FindReturnCode(code)) {
        names[std::to_string(code)] = codeName->name;
      }
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
              {"return_code_names", names},
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
