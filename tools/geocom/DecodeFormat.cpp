#include "DecodeFormat.h"

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <vector>

namespace geocom {

using namespace Core::GEOCOM;

namespace {

bool IsSentence(TrafficKind kind) {
  return kind == TrafficKind::kRequest || kind == TrafficKind::kReply ||
         kind == TrafficKind::kUnmatchedReply || kind == TrafficKind::kTimeout;
}

const host::Procedure* Named(const TrafficRecord& record) {
  return record.procedure ? host::FindProcedure(*record.procedure) : nullptr;
}

constexpr std::size_t kTrafficKinds =
    static_cast<std::size_t>(TrafficKind::kLongLine) + 1;
constexpr std::size_t kDirections =
    static_cast<std::size_t>(host::CaptureDirection::kToHost) + 1;

// The members every JSON record starts with, up to the connection's key,
// written once for each kind and direction instead of once per record.
std::string_view JsonOpening(TrafficKind kind,
                             host::CaptureDirection direction) {
  static const auto kOpenings = [] {
    std::array<std::string, kTrafficKinds * kDirections> openings;
    for (std::size_t k = 0; k < kTrafficKinds; ++k) {
      for (std::size_t d = 0; d < kDirections; ++d) {
        host::JsonWriter(openings[k * kDirections + d])
            .Key("kind")
            .String(TrafficKindName(static_cast<TrafficKind>(k)))
            .Key("direction")
            .String(host::DirectionName(static_cast<host::CaptureDirection>(d)))
            .Key("connection");
      }
    }
    return openings;
  }();
  return kOpenings[static_cast<std::size_t>(kind) * kDirections +
                   static_cast<std::size_t>(direction)];
}

// Members written once for each row of a catalogue table, at first use, and
// put whole for the row an entry of the table points at.
template <typename Row, typename Write>
class MembersPerRow {
 public:
  MembersPerRow(const std::vector<Row>& rows, Write write)
      : rows_(rows), members_(rows.size()) {
    for (std::size_t row = 0; row < rows.size(); ++row) {
      host::JsonWriter writer(members_[row]);
      write(writer, rows[row]);
    }
  }
  std::string_view For(const Row& entry) const {
    return members_[static_cast<std::size_t>(&entry - rows_.data())];
  }

 private:
  const std::vector<Row>& rows_;
  std::vector<std::string> members_;
};

// A named procedure's members from its number to the parameters' key,
// which are the same in every request and reply of it that carries the
// catalogue's time-out.
std::string_view ProcedureMembers(const host::Procedure& named) {
  static const MembersPerRow kMembers(
      host::Procedures(),
      [](host::JsonWriter& writer, const host::Procedure& procedure) {
        writer.Key("procedure")
            .Unsigned(procedure.id)
            .Key("name")
            .String(procedure.name)
            .Key("timeout_ms")
            .Integer(procedure.timeout.count())
            .Key("parameters");
      });
  return kMembers.For(named);
}

// A named return code's members up to the values' key.
std::string_view ReturnCodeMembers(const host::ReturnCodeName& code) {
  static const MembersPerRow kMembers(
      host::ReturnCodeNames(),
      [](host::JsonWriter& writer, const host::ReturnCodeName& named) {
        writer.Key("return_code")
            .Unsigned(named.code)
            .Key("return_code_name")
            .String(named.name)
            .Key("values");
      });
  return kMembers.For(code);
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

}  // namespace

std::string FormatText(const TrafficRecord& record) {
  std::string line;
  if (record.time) line += Printf("%.6f ", *record.time);
  if (record.direction != host::CaptureDirection::kUnknown) {
    line += host::DirectionName(record.direction);
    line += ' ';
  }
  line += TrafficKindName(record.kind);
  if (record.kind == TrafficKind::kLongLine) {
    return line + " line=" + std::to_string(record.line) +
           " size=" + std::to_string(record.size) +
           " start=" + Quoted(record.bytes) + '\n';
  }
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

namespace {

template <typename Out>
void WriteJson(Out& out, const TrafficRecord& record) {
  host::JsonWriter line(out);
  line.Begin()
      .Composed(JsonOpening(record.kind, record.direction))
      .Unsigned(record.connection)
      .Key("time")
      .Optional(record.time)
      .Key("size")
      .Unsigned(record.size)
      .Key("bytes")
      .EscapedBytes(record.bytes);
  if (record.kind == TrafficKind::kLongLine)
    line.Key("line").Unsigned(record.line);
  const bool request = record.kind == TrafficKind::kRequest;
  const bool reply = record.kind == TrafficKind::kReply ||
                     record.kind == TrafficKind::kUnmatchedReply;
  if (IsSentence(record.kind)) {
    const host::Procedure* named = Named(record);
    line.Key("sequence").Unsigned(record.sequence);
    if ((request || reply) && named != nullptr &&
        record.timeout == named->timeout) {
      line.Composed(ProcedureMembers(*named));
    } else {
      line.Key("procedure").Optional(record.procedure);
      line.Key("name");
      named != nullptr ? line.String(named->name) : line.Null();
      line.Key("timeout_ms");
      record.timeout ? line.Integer(record.timeout->count()) : line.Null();
      if (request || reply) line.Key("parameters");
    }
  }
  if (request) line.EscapedBytes(record.parameters).Key("arguments");
  if (reply) {
    line.EscapedBytes(record.parameters);
    const host::ReturnCodeName* code = host::FindReturnCode(record.returnCode);
    if (code != nullptr) {
      line.Composed(ReturnCodeMembers(*code));
    } else {
      line.Key("return_code").Unsigned(record.returnCode);
      line.Key("return_code_name").Null().Key("values");
    }
  }
  if (request || reply) {
    record.fields ? line.Begin().Members(*record.fields).End() : line.Null();
  }
  if (reply) {
    line.Key("round_trip_ms").Optional(record.roundTripMs);
    line.Key("late").Bool(record.late);
  }
  line.EndLine();
}

}  // namespace

void AppendJson(std::string& out, const TrafficRecord& record) {
  WriteJson(out, record);
}

void AppendJson(host::JsonOutput& out, const TrafficRecord& record) {
  WriteJson(out, record);
}

std::string FormatJson(const TrafficRecord& record) {
  std::string text;
  AppendJson(text, record);
  return text;
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
         " dropped_bytes=" + std::to_string(totals.droppedBytes) +
         " long_lines=" + std::to_string(totals.longLines) + '\n';
}

// Keys in byte order, as the first JSON form of the summary wrote them.
std::string FormatSummaryJson(const TrafficSummary& summary) {
  std::string text;
  host::JsonWriter line(text);
  for (const ProcedureSummary& row : summary.Procedures()) {
    const host::Procedure* named = host::FindProcedure(row.procedure);
    // Return codes as keys sort as text: "10" before "9".
    std::map<std::string, std::size_t> replies;
    std::map<std::string, std::string_view> names;
    for (const auto& [code, count] : row.replies) {
      replies[std::to_string(code)] = count;
      if (const host::ReturnCodeName* codeName = host::FindReturnCode(code)) {
        names[std::to_string(code)] = codeName->name;
      }
    }
    line.Begin().Key("calls").Unsigned(row.calls);
    line.Key("kind").String("procedure").Key("name");
    named != nullptr ? line.String(named->name) : line.Null();
    line.Key("procedure").Unsigned(row.procedure).Key("replies").Begin();
    for (const auto& [code, count] : replies) line.Key(code).Unsigned(count);
    line.End().Key("return_code_names").Begin();
    for (const auto& [code, name] : names) line.Key(code).String(name);
    line.End().Key("round_trip_ms");
    if (row.roundTrip) {
      line.Begin()
          .Key("count")
          .Unsigned(row.roundTrip->count)
          .Key("max")
          .Number(row.roundTrip->max)
          .Key("median")
          .Number(row.roundTrip->median)
          .Key("min")
          .Number(row.roundTrip->min)
          .Key("p95")
          .Number(row.roundTrip->p95)
          .End();
    } else {
      line.Null();
    }
    line.Key("sequence_gaps").Unsigned(row.sequenceGaps);
    line.Key("timeouts").Unsigned(row.timeouts).End();
    text += '\n';
  }
  const TrafficTotals& totals = summary.Totals();
  line.Begin()
      .Key("dropped_bytes")
      .Unsigned(totals.droppedBytes)
      .Key("kind")
      .String("totals")
      .Key("long_lines")
      .Unsigned(totals.longLines)
      .Key("noise_bytes")
      .Unsigned(totals.noiseBytes)
      .Key("records")
      .Unsigned(totals.records)
      .Key("unmatched_replies")
      .Unsigned(totals.unmatchedReplies)
      .Key("unrecognised")
      .Unsigned(totals.unrecognised)
      .End();
  return text + '\n';
}

}  // namespace geocom
