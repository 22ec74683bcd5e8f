#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/TrafficDecoder.h>

#include <cmath>

namespace Core::GEOCOM::host {

namespace {

// The direction of the request a reply travelling this way answers.
CaptureDirection Opposite(CaptureDirection direction) {
  switch (direction) {
    case CaptureDirection::kToInstrument:
      return CaptureDirection::kToHost;
    case CaptureDirection::kToHost:
      return CaptureDirection::kToInstrument;
    case CaptureDirection::kUnknown:
      break;
  }
  return CaptureDirection::kUnknown;
}

TrafficKind KindOf(FrameKind kind) {
  switch (kind) {
    case FrameKind::kRequest:
      return TrafficKind::kRequest;
    case FrameKind::kReply:
      return TrafficKind::kReply;
    case FrameKind::kUnrecognised:
    case FrameKind::kRefusedReply:
      return TrafficKind::kUnrecognised;
    case FrameKind::kNoise:
      return TrafficKind::kNoise;
    case FrameKind::kDropped:
      break;
  }
  return TrafficKind::kDropped;
}

// Spare entries kept at most per table: enough for the requests and replies
// that alternate, without holding on to a burst of them.
constexpr std::size_t kSpareEntries = 16;

// A spare entry of the table, or a new one.
template <typename Table>
typename Table::node_type TakeEntry(
    std::vector<typename Table::node_type>& spares) {
  if (spares.empty()) {
    Table made;
    made.emplace();
    return made.extract(made.begin());
  }
  typename Table::node_type entry = std::move(spares.back());
  spares.pop_back();
  return entry;
}

template <typename Node>
void KeepEntry(std::vector<Node>& spares, Node entry) {
  if (entry && spares.size() < kSpareEntries) {
    spares.push_back(std::move(entry));
  }
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
      return "dropped";
    case TrafficKind::kLongLine:
      break;
  }
  return "long-line";
}

std::size_t TrafficDecoder::KeyHash::operator()(const Key& key) const {
  return std::hash<std::uint64_t>()(
      std::uint64_t{std::get<0>(key)} << 20 |
      static_cast<std::uint64_t>(std::get<1>(key)) << 16 | std::get<2>(key));
}

TrafficDecoder::TrafficDecoder(Sink sink, TrafficLimits limits)
    : sink_(std::move(sink)), limits_(limits) {}

void TrafficDecoder::Add(const CaptureRecord& record) {
  const StreamKey key{record.connection, record.direction};
  const bool bytes = record.event == CaptureEvent::kBytes;
  const bool lfFollows =
      bytes && !record.bytes.empty() && record.bytes.front() == '\n';
  // A sentence held for its LF is handed out at its own time unless this
  // record brings the LF.
  if (heldIn_ && (*heldIn_ != key || !lfFollows)) Release();
  if (record.time) {
    // A capture's clock only moves forward; a record stamped earlier than
    // one before it keeps the later time.
    if (!now_ || *record.time > *now_) now_ = record.time;
    ExpireBefore(*now_);
  }
  if (record.event == CaptureEvent::kLongLine) {
    // Whatever traffic the line held is lost; the streams go on as if its
    // bytes had never passed.
    TrafficRecord skipped;
    skipped.kind = TrafficKind::kLongLine;
    skipped.size = record.length;
    skipped.line = record.line;
    skipped.bytes = record.bytes;
    return sink_(std::move(skipped));
  }
  if (!bytes) return EndConnection(record.connection);
  if (record.bytes.empty()) return;

  Stream& stream = StreamOf(key);
  if (lfFollows && stream.crLast) {
    // The stream passes over an LF right after a CR that ended its last
    // piece: it belongs to the sentence that CR ended.
    if (heldIn_) {
      stream.held->bytes += '\n';
      ++stream.held->size;
      stream.heldTime = now_;
      Release();
    } else {
      Frame lone;
      lone.bytes = "\n";
      lone.size = 1;
      Emit(key, lone, now_);
    }
  }
  stream.sentences.Append(record.bytes);
  stream.crLast = record.bytes.back() == '\r';
  while (Frame* frame = stream.sentences.Front()) {
    if (stream.crLast && stream.sentences.Ready() == 1) {
      stream.held = std::move(*frame);
      stream.sentences.Pop();
      stream.heldTime = now_;
      heldIn_ = key;
      return;
    }
    EmitFront(key, stream.sentences, now_);
  }
}

void TrafficDecoder::EmitFront(const StreamKey& key, SentenceStream& sentences,
                               std::optional<double> time) {
  // Taken where the stream holds it, and forgotten even if the sink throws,
  // so that no frame is handed out twice.
  struct PopAfter {
    SentenceStream& sentences;
    ~PopAfter() { sentences.Pop(); }
  } pop{sentences};
  Emit(key, *sentences.Front(), time);
}

void TrafficDecoder::Finish() {
  if (heldIn_) Release();
  while (!streams_.empty()) EndConnection(streams_.begin()->first.first);
  Settle();
  for (auto& [order, pending] : pending_) {
    if (!pending.timedOut) ReportTimeout(order, pending);
  }
  pending_.clear();
  pendingByKey_.clear();
  deadlines_.clear();
  pendingBytes_ = 0;
}

TrafficDecoder::Stream& TrafficDecoder::StreamOf(const StreamKey& key) {
  auto found = streams_.find(key);
  if (found == streams_.end()) {
    if (streams_.size() >= limits_.maxStreams) {
      auto quietest = streams_.begin();
      for (auto entry = streams_.begin(); entry != streams_.end(); ++entry) {
        if (entry->second.lastUsed < quietest->second.lastUsed) {
          quietest = entry;
        }
      }
      EndConnection(quietest->first.first);
    }
    found = streams_.try_emplace(key).first;
  }
  found->second.lastUsed = ++uses_;
  return found->second;
}

void TrafficDecoder::Release() {
  const StreamKey key = *heldIn_;
  heldIn_.reset();
  Stream& stream = streams_.at(key);
  Frame frame = std::move(*stream.held);
  stream.held.reset();
  Emit(key, frame, stream.heldTime);
}

void TrafficDecoder::EndConnection(unsigned connection) {
  if (heldIn_ && heldIn_->first == connection) Release();
  for (auto entry = streams_.lower_bound({connection, CaptureDirection{}});
       entry != streams_.end() && entry->first.first == connection;) {
    entry->second.sentences.Finish();
    while (entry->second.sentences.Ready() > 0) {
      EmitFront(entry->first, entry->second.sentences, now_);
    }
    entry = streams_.erase(entry);
  }
  // Requests the connection left waiting get no reply now.
  Settle();
  for (auto entry = pending_.begin(); entry != pending_.end();) {
    const auto next = std::next(entry);
    if (std::get<0>(entry->second.key) == connection) {
      if (!entry->second.timedOut) ReportTimeout(entry->first, entry->second);
      Forget(entry);
    }
    entry = next;
  }
}

void TrafficDecoder::Emit(const StreamKey& key, Frame& frame,
                          std::optional<double> time) {
  switch (frame.kind) {
    case FrameKind::kRequest:
      return OnRequest(key, frame, time);
    case FrameKind::kReply:
      return OnReply(key, frame, time);
    case FrameKind::kUnrecognised:
    case FrameKind::kRefusedReply:
    case FrameKind::kNoise:
    case FrameKind::kDropped:
      break;
  }
  TrafficRecord& record = FrameRecord();
  record.kind = KindOf(frame.kind);
  record.connection = key.first;
  record.direction = key.second;
  record.time = time;
  record.size = frame.size;
  record.bytes = frame.bytes;
  sink_(std::move(record));
}

TrafficRecord& TrafficDecoder::FrameRecord() {
  // Every member set as a new record has it, the strings keeping their
  // storage; the fields' is set aside first.
  if (record_.fields) spareFields_ = std::move(*record_.fields);
  TrafficRecord& record = record_;
  record.kind = TrafficKind::kNoise;
  record.connection = 0;
  record.direction = CaptureDirection::kUnknown;
  record.time.reset();
  record.bytes.clear();
  record.size = 0;
  record.line = 0;
  record.sequence = 0;
  record.sequenceGap = false;
  record.procedure.reset();
  record.timeout.reset();
  record.exchange = 0;
  record.returnCode = 0;
  record.roundTripMs.reset();
  record.late = false;
  record.fields.reset();
  record.parameters.clear();
  record.requestParameters.clear();
  return record;
}

void TrafficDecoder::OnRequest(const StreamKey& key, Frame& frame,
                               std::optional<double> time) {
  const GeoComSentence& sentence = frame.sentence;
  TrafficRecord& record = FrameRecord();
  record.kind = TrafficKind::kRequest;
  record.connection = key.first;
  record.direction = key.second;
  record.time = time;
  record.size = frame.size;
  record.sequence = sentence.GetSequenceID();
  auto& last = lastRequest_[static_cast<std::size_t>(key.second)];
  record.sequenceGap =
      last && record.sequence != (*last + 1u) % kSequenceNumbers;
  last = record.sequence;
  record.procedure = sentence.GetGeocomID();
  // The catalogue holds the time-outs of the procedures it names; asking the
  // core composes a reply each time.
  const Procedure* named = FindProcedure(*record.procedure);
  record.timeout =
      named != nullptr ? named->timeout : ReplyTimeout(*record.procedure);
  // Read from the parameter text the framing took, not from a copy of the
  // sentence's.
  if (named != nullptr &&
      fieldReader_.Arguments(*named, frame.parameters, spareFields_)) {
    record.fields = std::move(spareFields_);
  }
  record.parameters = frame.parameters;

  Settle();
  PendingTable::node_type waiting = TakeEntry<PendingTable>(sparePending_);
  Pending& pending = waiting.mapped();
  pending.key = {key.first, key.second, record.sequence};
  pending.procedure = *record.procedure;
  pending.named = named;
  pending.time = time;
  pending.timeout = *record.timeout;
  pending.bytes = frame.bytes;
  pending.parameters = record.parameters;
  pending.kept = pending.bytes.size() + pending.parameters.size();
  pending.timedOut = false;
  // A request that reuses the number of one still waiting means the earlier
  // one will never be answered.
  const auto earlier = pendingByKey_.find(pending.key);
  if (earlier != pendingByKey_.end()) {
    const auto entry = pending_.find(earlier->second);
    if (!entry->second.timedOut) ReportTimeout(entry->first, entry->second);
    Forget(entry);
  }
  while (!pending_.empty() &&
         (pending_.size() >= limits_.maxPending ||
          pendingBytes_ + pending.kept > limits_.maxPendingBytes)) {
    const auto oldest = pending_.begin();
    if (!oldest->second.timedOut) ReportTimeout(oldest->first, oldest->second);
    Forget(oldest);
  }
  const std::uint64_t order = ++nextOrder_;
  record.exchange = order;
  record.bytes = frame.bytes;
  sink_(std::move(record));

  pendingBytes_ += pending.kept;
  waiting.key() = order;
  newest_ = std::move(waiting);
}

double TrafficDecoder::Pending::Deadline() const {
  return *time + static_cast<double>(timeout.count()) / 1000.0;
}

void TrafficDecoder::Settle() {
  if (newest_.empty()) return;
  const std::uint64_t order = newest_.key();
  const Pending& pending = newest_.mapped();
  if (pending.time) {
    DeadlineTable::node_type deadline =
        TakeEntry<DeadlineTable>(spareDeadlines_);
    deadline.value() = {pending.Deadline(), order};
    deadlines_.insert(std::move(deadline));
  }
  KeyTable::node_type byKey = TakeEntry<KeyTable>(spareKeys_);
  byKey.key() = pending.key;
  byKey.mapped() = order;
  pendingByKey_.insert(std::move(byKey));
  pending_.insert(pending_.end(), std::move(newest_));
}

void TrafficDecoder::OnReply(const StreamKey& key, Frame& frame,
                             std::optional<double> time) {
  const GeoComSentence& sentence = frame.sentence;
  TrafficRecord& record = FrameRecord();
  record.kind = TrafficKind::kUnmatchedReply;
  record.connection = key.first;
  record.direction = key.second;
  record.time = time;
  record.size = frame.size;
  record.bytes = frame.bytes;
  record.sequence = sentence.GetSequenceID();
  record.returnCode = sentence.GetRetCode();
  record.parameters = frame.parameters;

  const Key answers{key.first, Opposite(key.second), record.sequence};
  const auto answer = [&](std::uint64_t order, const Pending& request) {
    record.kind = TrafficKind::kReply;
    record.exchange = order;
    record.procedure = request.procedure;
    record.timeout = request.timeout;
    record.late = request.timedOut;
    if (request.time && time) {
      // To the microsecond: finer digits are the clock's noise.
      record.roundTripMs = std::round((*time - *request.time) * 1e6) / 1000.0;
    }
    if (record.returnCode == 0 && request.named != nullptr &&
        fieldReader_.Reply(*request.named, sentence, spareFields_)) {
      record.fields = std::move(spareFields_);
    }
    // Copied, so that the entry keeps its storage for the next request.
    record.requestParameters = request.parameters;
  };
  if (!newest_.empty() && newest_.mapped().key == answers) {
    answer(newest_.key(), newest_.mapped());
    pendingBytes_ -= newest_.mapped().kept;
    KeepEntry(sparePending_, std::move(newest_));
  } else if (const auto found = pendingByKey_.find(answers);
             found != pendingByKey_.end()) {
    const auto entry = pending_.find(found->second);
    answer(entry->first, entry->second);
    Forget(entry);
  }
  sink_(std::move(record));
}

void TrafficDecoder::ExpireBefore(double time) {
  if (!newest_.empty()) {
    const Pending& newest = newest_.mapped();
    if (newest.time && newest.Deadline() < time) {
      Settle();
    }
  }
  while (!deadlines_.empty() && deadlines_.begin()->first < time) {
    const std::uint64_t order = deadlines_.begin()->second;
    KeepEntry(spareDeadlines_, deadlines_.extract(deadlines_.begin()));
    // Kept until answered, so that a late reply still finds its procedure.
    ReportTimeout(order, pending_.at(order));
  }
}

void TrafficDecoder::ReportTimeout(std::uint64_t order, Pending& pending) {
  pending.timedOut = true;
  TrafficRecord record;
  record.kind = TrafficKind::kTimeout;
  record.connection = std::get<0>(pending.key);
  record.direction = std::get<1>(pending.key);
  record.time = pending.time;
  record.size = pending.bytes.size();
  record.bytes = pending.bytes;
  record.sequence = std::get<2>(pending.key);
  record.procedure = pending.procedure;
  record.timeout = pending.timeout;
  record.exchange = order;
  sink_(std::move(record));
}

void TrafficDecoder::Forget(PendingTable::iterator entry) {
  const Pending& pending = entry->second;
  // A request reported as timed out by anything but its deadline (its
  // connection ending, its number reused, the bounds) still has one.
  if (pending.time) {
    KeepEntry(spareDeadlines_,
              deadlines_.extract({pending.Deadline(), entry->first}));
  }
  KeepEntry(spareKeys_, pendingByKey_.extract(pending.key));
  pendingBytes_ -= pending.kept;
  KeepEntry(sparePending_, pending_.extract(entry));
}

}  // namespace Core::GEOCOM::host
