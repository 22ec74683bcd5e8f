#ifndef GEOCOM_TOOL_DECODETRAFFIC_H
#define GEOCOM_TOOL_DECODETRAFFIC_H

#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

// Turns the records of a capture into what a person or a tool wants to read:
// every request and reply with its named values, each reply paired with its
// request, and everything else (time-outs, unmatched replies, unrecognised
// lines, noise) as records of their own.
namespace geocom {

// What a decoded record is.
enum class TrafficKind {
  kRequest,         // a request, with its arguments
  kReply,           // a reply paired with its request, with its values
  kUnmatchedReply,  // a reply that answers no request seen
  kTimeout,         // a request that got no reply within its time-out
  kUnrecognised,    // a line with a sentence prefix that the core refuses
  kNoise,           // bytes outside any sentence
  kDropped,         // bytes of an over-long line, counted but not kept
};

// The name a decoded record carries in the output ("unmatched-reply").
const char* TrafficKindName(TrafficKind kind);

// One decoded record.
struct TrafficRecord {
  TrafficKind kind = TrafficKind::kNoise;
  Core::GEOCOM::host::Direction direction =
      Core::GEOCOM::host::Direction::kUnknown;
  // When the record's last byte passed, in seconds since the capture
  // started; for a time-out, when its request passed.
  std::optional<double> time;
  // The bytes exactly as they passed (a time-out's are its request's); empty
  // for kDropped.
  std::string bytes;
  std::size_t size = 0;  // how many bytes the record stands for

  // Requests, replies and time-outs only.
  unsigned short sequence = 0;
  std::optional<unsigned short> procedure;  // unknown for unmatched replies
  std::optional<std::chrono::milliseconds> timeout;  // the procedure's
  // Replies only.
  unsigned short returnCode = 0;
  std::optional<double> roundTripMs;  // when both times are known
  bool late = false;                  // answered after its time-out
  // The named arguments or values; nullopt when no decoder reads them.
  std::optional<Core::GEOCOM::host::Fields> fields;
  std::string parameters;  // the parameter text as it passed
};

// Bounds that keep a long capture in constant memory.
struct TrafficLimits {
  // Requests waiting for a reply; the oldest beyond it count as timed out.
  std::size_t maxPending = 1024;
  // Bytes of those requests kept for their time-out records.
  std::size_t maxPendingBytes = std::size_t{4} << 20;
};

// Decodes the records of one capture in order. Each direction has its own
// sentence stream; a reply pairs with the request of the opposite direction
// (both unknown in a raw capture) that carries its sequence number.
class TrafficDecoder {
 public:
  using Sink = std::function<void(TrafficRecord&&)>;

  // Hands every decoded record to sink, in order.
  explicit TrafficDecoder(Sink sink, TrafficLimits limits = {});

  // Decodes the record's bytes; a time it carries first ends the wait of
  // every request whose time-out it passes.
  void Add(const Core::GEOCOM::host::CaptureRecord& record);

  // Ends the capture: bytes left without a terminator become records, and
  // every request still waiting counts as timed out.
  void Finish();

 private:
  using Key = std::pair<int, unsigned short>;  // direction, sequence
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      return static_cast<std::size_t>(key.first) << 16 | key.second;
    }
  };
  struct Pending {
    Key key;
    unsigned short procedure = 0;
    std::optional<double> time;
    std::chrono::milliseconds timeout{0};
    std::string bytes;
    bool timedOut = false;
  };

  void Drain(Core::GEOCOM::host::Direction direction);
  void OnRequest(Core::GEOCOM::host::Frame& frame,
                 Core::GEOCOM::host::Direction direction);
  void OnReply(Core::GEOCOM::host::Frame& frame,
               Core::GEOCOM::host::Direction direction);
  void ExpireBefore(double time);
  void ReportTimeout(Pending& pending);
  void Forget(std::map<std::uint64_t, Pending>::iterator entry);

  Sink sink_;
  TrafficLimits limits_;
  std::array<Core::GEOCOM::host::SentenceStream, 3> streams_;
  std::optional<double> now_;  // the latest time the capture gave
  // Requests waiting for their replies, oldest first, found by key, and
  // ordered by when their time-out runs out.
  std::map<std::uint64_t, Pending> pending_;
  std::unordered_map<Key, std::uint64_t, KeyHash> pendingByKey_;
  std::set<std::pair<double, std::uint64_t>> deadlines_;
  std::uint64_t nextOrder_ = 0;
  std::size_t pendingBytes_ = 0;
};

}  // namespace geocom

#endif
