#ifndef GEOCOM_TOOL_DECODESUMMARY_H
#define GEOCOM_TOOL_DECODESUMMARY_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include <DazoZazIdoRezeraro/host/TrafficDecoder.h>

// Per-procedure totals of a decoded capture, in memory that does not grow
// with the capture's length.
namespace geocom {

using Core::GEOCOM::host::TrafficDecoder;
using Core::GEOCOM::host::TrafficKind;
using Core::GEOCOM::host::TrafficRecord;

// Round-trip times in milliseconds: minimum, median, 95th percentile and
// maximum, the middle two by nearest rank over a sample of the times.
struct RoundTripStats {
  std::uint64_t count = 0;
  double min = 0;
  double median = 0;
  double p95 = 0;
  double max = 0;
};

// What the capture shows of one procedure.
struct ProcedureSummary {
  unsigned short procedure = 0;
  std::uint64_t calls = 0;                          // requests
  std::map<unsigned short, std::uint64_t> replies;  // by return code
  std::uint64_t timeouts = 0;
  std::optional<RoundTripStats> roundTrip;  // when any reply had times
  // Requests whose sequence number does not follow that of the request
  // before them in the same direction (numbers wrap after 32767).
  std::uint64_t sequenceGaps = 0;
};

// What is not any one procedure's.
struct TrafficTotals {
  std::uint64_t records = 0;
  std::uint64_t unmatchedReplies = 0;
  std::uint64_t unrecognised = 0;
  std::uint64_t noiseBytes = 0;
  std::uint64_t droppedBytes = 0;
  std::uint64_t longLines = 0;  // capture lines too long to read
};

// Collects the summary from decoded records, in capture order.
class TrafficSummary {
 public:
  // Round-trip times kept per procedure for the median and the 95th
  // percentile; beyond it a uniform sample of this size stands for all.
  static constexpr std::size_t kSampleSize = 1024;

  void Add(const TrafficRecord& record);

  // One entry per procedure seen, in ascending procedure number.
  std::vector<ProcedureSummary> Procedures() const;
  const TrafficTotals& Totals() const { return totals_; }

 private:
  struct Collected {
    ProcedureSummary summary;
    std::vector<double> sample;  // reservoir of round-trip times
  };

  void AddRoundTrip(Collected& collected, double milliseconds);

  std::map<unsigned short, Collected> procedures_;
  // The last request's sequence number, by direction.
  std::array<std::optional<unsigned short>, 3> lastSequence_;
  TrafficTotals totals_;
  // A fixed seed: the same capture gives the same summary every time.
  std::minstd_rand random_{1};
};

}  // namespace geocom

#endif
