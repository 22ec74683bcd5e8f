// geocom decode: every record of a capture with its named values, or a
// summary per procedure.
#include <DazoZazIdoRezeraro/host/Capture.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "DecodeFormat.h"
#include "DecodeSummary.h"
#include "ExitStatus.h"
#include "Output.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM;

struct DecodeOptions {
  bool json = false;
  bool summary = false;
  std::string file = "-";
};

std::ifstream OpenCapture(const std::string& path, const std::string& name) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw ToolError(kExitFailure,
                    "cannot read " + name + ": it is a directory");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw ToolError(kExitFailure,
                    "cannot open " + name + ": " + std::strerror(errno));
  }
  return in;
}

int RunDecode(const DecodeOptions& options) {
  const bool standardInput = options.file == "-";
  const std::string name = standardInput ? "standard input" : options.file;
  std::ifstream in =
      OpenCapture(standardInput ? "/dev/stdin" : options.file, name);

  std::optional<TrafficSummary> summary;
  if (options.summary) summary.emplace();
  // Records go out in blocks: one write per record would cost more than
  // formatting it. JSON lines are written in place in the output's buffer.
  constexpr std::size_t kBlock = 1 << 16;
  std::string pending;
  std::optional<JsonLines> lines;
  if (options.json && !summary) {
    lines.emplace();
  } else {
    pending.reserve(kBlock + 4096);
  }
  TrafficDecoder decoder([&](TrafficRecord&& record) {
    if (summary) return summary->Add(record);
    if (lines) return AppendJson(*lines, record);
    pending += FormatText(record);
    if (pending.size() >= kBlock) {
      Print(pending);
      pending.clear();
    }
  });

  // A malformed or cut line ends the reading, not the decoding: what came
  // before it is still decoded and summarised, then the failure reported.
  std::optional<std::string> failure;
  host::CaptureReader reader(in);
  host::CaptureRecord record;
  for (;;) {
    host::Result<bool> read = reader.Read(record);
    if (!read) {
      failure = name + ": " + read.error().message;
      break;
    }
    if (!*read) break;
    decoder.Add(record);
  }
  decoder.Finish();
  if (lines) lines->Flush();
  Print(pending);
  if (summary) {
    Print(options.json ? FormatSummaryJson(*summary)
                       : FormatSummaryText(*summary));
  }
  if (failure) throw ToolError(kExitFailure, *failure);
  return kExitOk;
}

}  // namespace

Runner AddDecode(CLI::App& app) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* decode = app.add_subcommand(
      "decode",
      "Decode a capture (geocom record, a virtual instrument's --log, or raw "
      "bytes): every request and reply with its named values, each reply "
      "paired with its request, and time-outs, unmatched replies, "
      "unrecognised lines and noise as records of their own");
  decode->add_flag("--json", options->json,
                   "One JSON object per line (keys in docs/capture.md)");
  decode->add_flag("--summary", options->summary,
                   "Per procedure: calls, replies by return code, time-outs, "
                   "round-trip times and sequence-number gaps");
  decode
      ->add_option("file", options->file, "Capture file, - for standard input")
      ->type_name("FILE|-")
      ->capture_default_str();
  decode->footer(ExitStatusHelp({kExitOk, kExitFailure, kExitUsage}));
  return [options] { return RunDecode(*options); };
}

}  // namespace geocom
