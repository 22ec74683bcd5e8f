#ifndef DAZOZAZIDOREZERARO_HOST_TRAFFICDECODER_H
#define DAZOZAZIDOREZERARO_HOST_TRAFFICDECODER_H

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "Capture.h"
#include "Export.h"
#include "Fields.h"
#include "SentenceStream.h"

/// @file
/// Turns the records of a capture into what a person or a tool wants to
/// read: every request and reply with its named values, each reply paired
/// with its request, and everything else (time-outs, unmatched replies,
/// unrecognised lines, noise) as records of their own.

namespace Core::GEOCOM::host {

/// What a decoded record is.
enum class TrafficKind {
  kRequest,         ///< A request, with its arguments.
  kReply,           ///< A reply paired with its request, with its values.
  kUnmatchedReply,  ///< A reply that answers no request waiting.
  kTimeout,         ///< A request that got no reply within its time-out.
  kUnrecognised,    ///< A line with a sentence prefix that the core refuses.
  kNoise,           ///< Bytes outside any sentence.
  kDropped,         ///< Bytes of an over-long line, counted but not kept.
  /// A capture line too long to read (see kMaxCaptureLine), passed over.
  kLongLine,
};

/// The name a decoded record carries in the output ("unmatched-reply").
DAZOZAZIDOREZERARO_HOST_EXPORT const char* TrafficKindName(TrafficKind kind);

/// One decoded record.
struct TrafficRecord {
  TrafficKind kind = TrafficKind::kNoise;  ///< What the record is.
  unsigned connection = 0;                 ///< The capture's connection.
  /// Which way the bytes went.
  CaptureDirection direction = CaptureDirection::kUnknown;
  /// When the record's last byte passed, in seconds since the capture
  /// started; for a time-out, when its request passed.
  std::optional<double> time;
  /// The bytes exactly as they passed (a time-out's are its request's);
  /// empty for kDropped; for kLongLine, the line's first bytes as they
  /// stand in the capture file.
  std::string bytes;
  /// How many bytes the record stands for; for kLongLine, the line's length
  /// in the capture file.
  std::size_t size = 0;
  /// kLongLine: the line's number in the capture file.
  std::uint64_t line = 0;

  /// Requests, replies and time-outs: the sequence number.
  unsigned short sequence = 0;
  /// Requests: the sequence number does not follow that of the request
  /// before it in the same direction (numbers wrap after 32767).
  bool sequenceGap = false;
  /// The procedure; unknown for unmatched replies.
  std::optional<unsigned short> procedure;
  /// The procedure's reply time-out.
  std::optional<std::chrono::milliseconds> timeout;
  /// Requests, replies and time-outs: which exchange, the same number for a
  /// request, its reply and its time-out, and no other.
  std::uint64_t exchange = 0;
  unsigned short returnCode = 0;      ///< Replies: the return code.
  std::optional<double> roundTripMs;  ///< Replies, when both times are known.
  bool late = false;                  ///< Replies answered after the time-out.
  /// The named arguments or values; nullopt when no decoder reads them.
  std::optional<Fields> fields;
  std::string parameters;  ///< The parameter text as it passed.
  /// Replies: the parameter text of the request they answer.
  std::string requestParameters;
};

/// Bounds that keep a long capture in constant memory.
struct TrafficLimits {
  /// Requests waiting for a reply; the oldest beyond it count as timed out.
  std::size_t maxPending = 1024;
  /// Bytes of those requests kept for their time-out records.
  std::size_t maxPendingBytes = std::size_t{4} << 20;
  /// Directions of connections framed at once; beyond it, the connection
  /// quiet for longest counts as closed.
  std::size_t maxStreams = 512;
};

/// Decodes the records of one capture in order. Each direction of each
/// connection has its own sentence stream, which starts afresh when the
/// connection opens and ends when it closes; a reply pairs with the waiting
/// request of the same connection and the opposite direction (both unknown
/// in a raw capture) that carries its sequence number.
class DAZOZAZIDOREZERARO_HOST_EXPORT TrafficDecoder {
 public:
  /// Receives the decoded records, in order.
  using Sink = std::function<void(TrafficRecord&&)>;

  /// Hands every decoded record to sink, in order.
  explicit TrafficDecoder(Sink sink, TrafficLimits limits = {});

  /// Decodes the record; a time it carries first ends the wait of every
  /// request whose time-out it passes (a time earlier than one before
  /// counts as the later one).
  void Add(const CaptureRecord& record);

  /// Ends the capture: bytes left without a terminator become records, and
  /// every request still waiting counts as timed out.
  void Finish();

 private:
  // Connection, direction and sequence number.
  using Key = std::tuple<unsigned, CaptureDirection, unsigned short>;
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  struct Pending {
    Key key;
    unsigned short procedure = 0;
    const Procedure* named = nullptr;  // its catalogue row, when it has one
    std::optional<double> time;
    std::chrono::milliseconds timeout{0};
    std::string bytes;
    std::string parameters;  // kept for the reply, counted with the bytes
    std::size_t kept = 0;    // what the bytes and parameters count
    bool timedOut = false;
    // When it counts as timed out; only for a request with a time.
    double Deadline() const;
  };
  using PendingTable = std::map<std::uint64_t, Pending>;
  using KeyTable = std::unordered_map<Key, std::uint64_t, KeyHash>;
  using DeadlineTable = std::set<std::pair<double, std::uint64_t>>;
  // One direction of one connection.
  struct Stream {
    SentenceStream sentences;
    // A sentence cut at a CR that was the last byte of its piece, kept
    // until the next piece says whether an LF belongs to it.
    std::optional<Frame> held;
    std::optional<double> heldTime;
    bool crLast = false;  // the last byte appended was a CR
    std::uint64_t lastUsed = 0;
  };
  using StreamKey = std::pair<unsigned, CaptureDirection>;
  // The last request's sequence number in each direction.
  std::array<std::optional<unsigned short>, 3> lastRequest_;

  Stream& StreamOf(const StreamKey& key);
  void Release();
  void EndConnection(unsigned connection);
  void Emit(const StreamKey& key, Frame& frame, std::optional<double> time);
  // Emits the stream's next frame in place, then forgets it.
  void EmitFront(const StreamKey& key, SentenceStream& sentences,
                 std::optional<double> time);
  void OnRequest(const StreamKey& key, Frame& frame,
                 std::optional<double> time);
  void OnReply(const StreamKey& key, Frame& frame, std::optional<double> time);
  void ExpireBefore(double time);
  // Puts the newest request into the tables.
  void Settle();
  void ReportTimeout(std::uint64_t order, Pending& pending);
  void Forget(PendingTable::iterator entry);

  // The record handed out for each frame, its strings' storage kept from
  // one frame to the next (a sink that moves them out only loses that).
  TrafficRecord& FrameRecord();

  Sink sink_;
  TrafficLimits limits_;
  TrafficRecord record_;
  // The fields' storage, kept from one frame to the next: read into here,
  // moved into the record, and moved back when the next frame needs it.
  FieldReader fieldReader_;
  Fields spareFields_;
  std::map<StreamKey, Stream> streams_;
  std::optional<StreamKey> heldIn_;  // the one stream holding a sentence
  std::uint64_t uses_ = 0;
  std::optional<double> now_;  // the latest time the capture gave
  // Requests waiting for their replies, oldest first, found by key, and
  // ordered by when their time-out runs out.
  PendingTable pending_;
  // The newest request, kept out of the tables until something other than
  // its own reply needs them: most requests are answered before the next.
  PendingTable::node_type newest_;
  KeyTable pendingByKey_;
  DeadlineTable deadlines_;
  // Entries of answered requests, kept with their storage for the next
  // requests instead of being freed and allocated again for each.
  std::vector<PendingTable::node_type> sparePending_;
  std::vector<KeyTable::node_type> spareKeys_;
  std::vector<DeadlineTable::node_type> spareDeadlines_;
  std::uint64_t nextOrder_ = 0;
  std::size_t pendingBytes_ = 0;
};

}  // namespace Core::GEOCOM::host

#endif
