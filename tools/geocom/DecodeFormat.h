#ifndef GEOCOM_TOOL_DECODEFORMAT_H
#define GEOCOM_TOOL_DECODEFORMAT_H

#include <DazoZazIdoRezeraro/host/JsonWriter.h>

#include <string>

#include "DecodeSummary.h"

// How geocom decode prints: one line per record or per procedure, as text
// for people or as one JSON object for tools (keys in docs/capture.md).
namespace geocom {

// The record as one line of text, newline included.
std::string FormatText(const TrafficRecord& record);

// The record as one JSON object on one line, newline included, keys in the
// order docs/capture.md lists them; AppendJson adds it to out.
void AppendJson(std::string& out, const TrafficRecord& record);
void AppendJson(Core::GEOCOM::host::JsonOutput& out,
                const TrafficRecord& record);
std::string FormatJson(const TrafficRecord& record);

// The summary as a table with a line of totals under it.
std::string FormatSummaryText(const TrafficSummary& summary);

// The summary as one JSON object per procedure and one for the totals.
std::string FormatSummaryJson(const TrafficSummary& summary);

}  // namespace geocom

#endif
