#include "DecodeSummary.h"

#include <DazoZazIdoRezeraro/host/Sentences.h>

#include <algorithm>
#include <cmath>

namespace geocom {

namespace host = Core::GEOCOM::host;

namespace {

// The value of rank ceil(fraction * n) in sorted values (nearest rank).
double NearestRank(const std::vector<double>& sorted, double fraction) {
  const auto rank = static_cast<std::size_t>(
      std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::max<std::size_t>(rank, 1) - 1];
}

}  // namespace

void TrafficSummary::Add(const TrafficRecord& record) {
  ++totals_.records;
  switch (record.kind) {
    case TrafficKind::kUnmatchedReply:
      ++totals_.unmatchedReplies;
      return;
    case TrafficKind::kUnrecognised:
      ++totals_.unrecognised;
      return;
    case TrafficKind::kNoise:
      totals_.noiseBytes += record.size;
      return;
    case TrafficKind::kDropped:
      totals_.droppedBytes += record.size;
      return;
    case TrafficKind::kLongLine:
      ++totals_.longLines;
      return;
    case TrafficKind::kRequest:
    case TrafficKind::kReply:
    case TrafficKind::kTimeout:
      break;
  }
  Collected& collected = procedures_[*record.procedure];
  ProcedureSummary& summary = collected.summary;
  summary.procedure = *record.procedure;
  if (record.kind == TrafficKind::kTimeout) {
    ++summary.timeouts;
  } else if (record.kind == TrafficKind::kReply) {
    ++summary.replies[record.returnCode];
    if (record.roundTripMs) AddRoundTrip(collected, *record.roundTripMs);
  } else {
    ++summary.calls;
    auto& last = lastSequence_[static_cast<std::size_t>(record.direction)];
    if (last && record.sequence != (*last + 1u) % host::kSequenceNumbers) {
      ++summary.sequenceGaps;
    }
    last = record.sequence;
  }
}

void TrafficSummary::AddRoundTrip(Collected& collected, double milliseconds) {
  if (!collected.summary.roundTrip) {
    collected.summary.roundTrip =
        RoundTripStats{0, milliseconds, 0, 0, milliseconds};
  }
  RoundTripStats& stats = *collected.summary.roundTrip;
  ++stats.count;
  stats.min = std::min(stats.min, milliseconds);
  stats.max = std::max(stats.max, milliseconds);
  if (collected.sample.size() < kSampleSize) {
    collected.sample.push_back(milliseconds);
    return;
  }
  // Reservoir sampling: the n-th time replaces a kept one with probability
  // kSampleSize / n, which keeps every time equally likely to be kept.
  const std::uint64_t slot = random_() % stats.count;
  if (slot < kSampleSize) collected.sample[slot] = milliseconds;
}

std::vector<ProcedureSummary> TrafficSummary::Procedures() const {
  std::vector<ProcedureSummary> rows;
  rows.reserve(procedures_.size());
  for (const auto& [procedure, collected] : procedures_) {
    ProcedureSummary row = collected.summary;
    if (row.roundTrip) {
      std::vector<double> sorted = collected.sample;
      std::sort(sorted.begin(), sorted.end());
      row.roundTrip->median = NearestRank(sorted, 0.5);
      row.roundTrip->p95 = NearestRank(sorted, 0.95);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace geocom
