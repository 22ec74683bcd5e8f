#include "DecodeTraffic.h"

#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <cmath>

namespace geocom {

using namespace Core::GEOCOM;
using host::Direction;
using host::Frame;
using host::FrameKind;

namespace {

std::size_t Index(Direction direction) {
  return static_cast<std::size_t>(direction);
}

// The direction of the request a reply travelling this way answers.
Direction Opposite(Direction direction) {
  switch (direction) {
    case Direction::kToInstrument:
      return Direction::kToHost;
    case Direction::kToHost:
      return Direction::kToInstrument;
    case Direction::kUnknown:
      break;
  }
  return Direction::kUnknown;
}

double Seconds(std::chrono::milliseconds duration) {
  return static_cast<double>(duration.count()) / 1000.0;
}

}  // namespace

const char* TrafficKindName(TrafficKind kind) {
  switch (kind) {
    case TrafficKind::kRequest:
      return "request";
    case TrafficKind::kReply:
      return "reply";
    case TrafficKind::kUnmatchedReply:
      return "unmatched-reply";
    case TrafficKind::kTimeout:
      return "timeout";
    case TrafficKind::kUnrecognised:
      return "unrecognised";
    case TrafficKind::kNoise:
      return "noise";
    case TrafficKind::kDropped:
      break;
  }
  return "dropped";
}

TrafficDecoder::TrafficDecoder(Sink sink, TrafficLimits limits)
    : sink_(std::move(sink)), limits_(limits) {}

void TrafficDecoder::Add(const host::CaptureRecord& record) {
  if (record.time) {
    // A capture's clock only moves forward; a record stamped earlier than
    // one before it keeps the later time.
    if (!now_ || *record.time > *now_) now_ = record.time;
    ExpireBefore(*now_);
  }
  if (record.bytes.empty()) return;
  streams_[Index(record.direction)].Append(record.bytes);
  Drain(record.direction);
}

void TrafficDecoder::Finish() {
  for (const Direction direction :
       {Direction::kUnknown, Direction::kToInstrument, Direction::kToHost}) {
    streams_[Index(direction)].Finish();
    Drain(direction);
  }
  for (auto& [order, pending] : pending_) {
    if (!pending.timedOut) ReportTimeout(pending);
  }
  pending_.clear();
  pendingByKey_.clear();
  deadlines_.clear();
  pendingBytes_ = 0;
}

void TrafficDecoder::Drain(Direction direction) {
  Frame frame;
  while (streams_[Index(direction)].Next(frame)) {
    switch (frame.kind) {
      case FrameKind::kRequest:
        OnRequest(frame, direction);
        continue;
      case FrameKind::kReply:
        OnReply(frame, direction);
        continue;
      case FrameKind::kUnrecognised:
      case FrameKind::kRefusedReply:
      case FrameKind::kNoise:
      case FrameKind::kDropped:
        break;
    }
    TrafficRecord record;
    record.kind = frame.kind == FrameKind::kUnrecognised ||
                          frame.kind == FrameKind::kRefusedReply
                      ? TrafficKind::kUnrecognised
                  : frame.kind == FrameKind::kNoise ? TrafficKind::kNoise
                                                    : TrafficKind::kDropped;
    record.direction = direction;
    record.time = now_;
    record.size = frame.size;
    record.bytes = std::move(frame.bytes);
    sink_(std::move(record));
  }
}

void TrafficDecoder::OnRequest(Frame& frame, Direction direction) {
  const GeoComSentence& sentence = frame.sentence;
  TrafficRecord record;
  record.kind = TrafficKind::kRequest;
  record.direction = direction;
  record.time = now_;
  record.size = frame.size;
  record.sequence = sentence.GetSequenceID();
  record.procedure = sentence.GetGeocomID();
  record.timeout = host::ReplyTimeout(*record.procedure);
  record.fields = host::RequestFields(sentence);
  record.parameters = sentence.GetStringCommand();

  Pending pending;
  pending.key = {static_cast<int>(direction), record.sequence};
  pending.procedure = *record.procedure;
  pending.time = now_;
  pending.timeout = *record.timeout;
  pending.bytes = frame.bytes;
  // A request that reuses the number of one still waiting means the earlier
  // one will never be answered.
  const auto earlier = pendingByKey_.find(pending.key);
  if (earlier != pendingByKey_.end()) {
    const auto entry = pending_.find(earlier->second);
    if (!entry->second.timedOut) ReportTimeout(entry->second);
    Forget(entry);
  }
  while (!pending_.empty() &&
         (pending_.size() >= limits_.maxPending ||
          pendingBytes_ + pending.bytes.size() > limits_.maxPendingBytes)) {
    const auto oldest = pending_.begin();
    if (!oldest->second.timedOut) ReportTimeout(oldest->second);
    Forget(oldest);
  }
  record.bytes = std::move(frame.bytes);
  sink_(std::move(record));

  const std::uint64_t order = nextOrder_++;
  if (pending.time) {
    deadlines_.emplace(*pending.time + Seconds(pending.timeout), order);
  }
  pendingByKey_.emplace(pending.key, order);
  pendingBytes_ += pending.bytes.size();
  pending_.emplace(order, std::move(pending));
}

void TrafficDecoder::OnReply(Frame& frame, Direction direction) {
  const GeoComSentence& sentence = frame.sentence;
  TrafficRecord record;
  record.kind = TrafficKind::kUnmatchedReply;
  record.direction = direction;
  record.time = now_;
  record.size = frame.size;
  record.bytes = std::move(frame.bytes);
  record.sequence = sentence.GetSequenceID();
  record.returnCode = sentence.GetRetCode();
  record.parameters = sentence.GetStringCommand();

  const auto found = pendingByKey_.find(
      {static_cast<int>(Opposite(direction)), record.sequence});
  if (found != pendingByKey_.end()) {
    const auto entry = pending_.find(found->second);
    const Pending& request = entry->second;
    record.kind = TrafficKind::kReply;
    record.procedure = request.procedure;
    record.timeout = request.timeout;
    record.late = request.timedOut;
    if (request.time && now_) {
      // To the microsecond: finer digits are the clock's noise.
      record.roundTripMs = std::round((*now_ - *request.time) * 1e6) / 1000.0;
    }
    if (record.returnCode == 0) {
      record.fields = host::ReplyFields(request.procedure, sentence);
    }
    Forget(entry);
  }
  sink_(std::move(record));
}

void TrafficDecoder::ExpireBefore(double time) {
  while (!deadlines_.empty() && deadlines_.begin()->first < time) {
    const std::uint64_t order = deadlines_.begin()->second;
    deadlines_.erase(deadlines_.begin());
    // Kept until answered, so that a late reply still finds its procedure.
    Pending& pending = pending_.at(order);
    ReportTimeout(pending);
  }
}

void TrafficDecoder::ReportTimeout(Pending& pending) {
  pending.timedOut = true;
  TrafficRecord record;
  record.kind = TrafficKind::kTimeout;
  record.direction = static_cast<Direction>(pending.key.first);
  record.time = pending.time;
  record.size = pending.bytes.size();
  record.bytes = pending.bytes;
  record.sequence = pending.key.second;
  record.procedure = pending.procedure;
  record.timeout = pending.timeout;
  sink_(std::move(record));
}

void TrafficDecoder::Forget(std::map<std::uint64_t, Pending>::iterator entry) {
  const Pending& pending = entry->second;
  if (pending.time && !pending.timedOut) {
    deadlines_.erase({*pending.time + Seconds(pending.timeout), entry->first});
  }
  pendingByKey_.erase(pending.key);
  pendingBytes_ -= pending.bytes.size();
  pending_.erase(entry);
}

}  // namespace geocom
