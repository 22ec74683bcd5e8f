#include <DazoZazIdoRezeraro/host/SentenceStream.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace Core::GEOCOM::host {

namespace {

// Frames whose storage a stream keeps once every frame is taken, and the
// longest frame whose storage it keeps: many streams may be open at once.
constexpr std::size_t kKeptFrames = 4;
constexpr std::size_t kKeptFrameSize = 256;

constexpr std::string_view kRequestPrefix = "%R1Q,";
constexpr std::string_view kReplyPrefix = "%R1P,0,";

// A line framed as a reply that the core refuses, "%R1P,<code>,<seq>:...":
// an instrument's report of a communication error. Its sequence number says
// which call it answers; nullopt when the line has no readable one.
std::optional<unsigned short> RefusedReplySequence(std::string_view line) {
  constexpr std::string_view kPrefix = "%R1P,";
  if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  std::size_t at = kPrefix.size();
  const auto digits = [&line, &at](unsigned long& value) {
    const std::size_t from = at;
    value = 0;
    while (at < line.size() && at - from < 6 && line[at] >= '0' &&
           line[at] <= '9') {
      value = value * 10 + static_cast<unsigned long>(line[at] - '0');
      ++at;
    }
    return at > from;
  };
  unsigned long code = 0;
  unsigned long sequence = 0;
  if (!digits(code) || at >= line.size() || line[at++] != ',' ||
      !digits(sequence) || at >= line.size() || line[at] != ':' ||
      sequence > 0xFFFF) {
    return std::nullopt;
  }
  return static_cast<unsigned short>(sequence);
}
// What every sentence, accepted or not, starts with.
constexpr std::string_view kSentencePrefixes[] = {"%R1Q,", "%R1P,"};
constexpr std::size_t kMinimumCap = 16;

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

// Steps back over digits ending before position; returns where they start.
std::size_t DigitsBefore(std::string_view piece, std::size_t position) {
  while (position > 0 && IsDigit(piece[position - 1])) --position;
  return position;
}

bool EndsAt(std::string_view piece, std::size_t end, std::string_view text) {
  return end >= text.size() &&
         piece.substr(end - text.size(), text.size()) == text;
}

// Where in a recognised piece the sentence starts: read backwards from the
// terminator over the parameter text, the numbers and the prefix, which the
// recogniser has just accepted in these forms. npos when they do not fit.
std::size_t SentenceStart(std::string_view piece,
                          const GeoComSentence& sentence,
                          std::string_view text) {
  std::size_t end = piece.size();
  if (end > 0 && piece[end - 1] == '\n') --end;
  if (end == 0 || piece[end - 1] != '\r') return std::string_view::npos;
  --end;
  if (!EndsAt(piece, end, text)) return std::string_view::npos;
  end -= text.size();

  if (sentence.GetType() == TYPE_RESPONSE) {
    // "%R1P,0," sequence ":" code, and the text from its comma on.
    const std::size_t code = DigitsBefore(piece, end);
    if (code == end || code == 0 || piece[code - 1] != ':') {
      return std::string_view::npos;
    }
    const std::size_t sequence = DigitsBefore(piece, code - 1);
    return EndsAt(piece, sequence, kReplyPrefix)
               ? sequence - kReplyPrefix.size()
               : std::string_view::npos;
  }
  // "%R1Q," procedure ["," sequence] [":" text].
  if (end > 0 && piece[end - 1] == ':') --end;
  const std::size_t last = DigitsBefore(piece, end);
  if (last == end) return std::string_view::npos;
  if (EndsAt(piece, last, kRequestPrefix)) return last - kRequestPrefix.size();
  if (last == 0 || piece[last - 1] != ',') return std::string_view::npos;
  const std::size_t procedure = DigitsBefore(piece, last - 1);
  return EndsAt(piece, procedure, kRequestPrefix)
             ? procedure - kRequestPrefix.size()
             : std::string_view::npos;
}

// A recognised sentence's parameter text, where the sentence keeps it.
std::string_view ParameterText(const GeoComSentence& sentence) {
  const unsigned char* data = nullptr;
  int length = 0;
  sentence.GetBuffer(data, length);
  return {reinterpret_cast<const char*>(data),
          static_cast<std::size_t>(length)};
}

std::size_t FirstSentencePrefix(std::string_view piece) {
  std::size_t first = std::string_view::npos;
  for (const std::string_view prefix : kSentencePrefixes) {
    first = std::min(first, piece.find(prefix));
  }
  return first;
}

}  // namespace

SentenceStream::SentenceStream(std::size_t maxPending)
    : maxPending_(std::max(maxPending, kMinimumCap)) {}

void SentenceStream::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  if (lfMayFollow_ && bytes.front() == '\n') {
    // The LF ends the piece already handed out; counted as it would have
    // been had it come with its CR.
    if (lastKind_ == FrameKind::kNoise) ++counts_.noiseBytes;
    bytes.remove_prefix(1);
  }
  lfMayFollow_ = false;
  if (head_ == buffer_.size()) {
    // Nothing is held, as after most pieces: the bytes are cut where they
    // are, and only what follows their last CR is kept.
    buffer_.clear();
    head_ = searchFrom_ = 0;
    CutPieces(bytes);
    if (head_ != bytes.size()) buffer_.assign(bytes.substr(head_));
    head_ = 0;
    searchFrom_ = buffer_.size();
    return;
  }
  if (head_ > 0 && head_ >= buffer_.size() / 2) {
    buffer_.erase(0, head_);
    searchFrom_ -= head_;
    head_ = 0;
  }
  buffer_.append(bytes);
  CutPieces(buffer_);
}

void SentenceStream::CutPieces(std::string_view held) {
  for (;;) {
    const std::size_t cr = searchFrom_ == held.size()
                               ? std::string_view::npos
                               : held.find('\r', searchFrom_);
    if (cr == std::string_view::npos) {
      searchFrom_ = held.size();
      DropBeyondCap(held.size());
      return;
    }
    std::size_t end = cr + 1;
    if (end < held.size() && held[end] == '\n') {
      ++end;
    } else if (end == held.size()) {
      lfMayFollow_ = true;
    }
    // A run longer than the cap keeps only its last bytes, as it would had
    // they arrived one at a time.
    const std::size_t run = cr - head_;
    if (run > maxPending_) {
      droppedRun_ += run - maxPending_;
      counts_.droppedBytes += run - maxPending_;
      head_ = cr - maxPending_;
    }
    const std::string_view piece(held.data() + head_, end - head_);
    head_ = searchFrom_ = end;
    ClassifyPiece(piece);
  }
}

void SentenceStream::DropBeyondCap(std::size_t held) {
  const std::size_t pending = held - head_;
  if (pending <= maxPending_) return;
  const std::size_t excess = pending - maxPending_;
  droppedRun_ += excess;
  counts_.droppedBytes += excess;
  head_ += excess;
}

void SentenceStream::ClassifyPiece(std::string_view piece) {
  if (droppedRun_ > 0) {
    Frame& dropped = AddFrame();
    dropped.kind = FrameKind::kDropped;
    dropped.size = std::exchange(droppedRun_, 0);
  }
  // The sentence is recognised where its frame is kept: a sentence only
  // copies, and copying it costs an allocation.
  Frame* frame = &AddFrameForSentence();
  GeoComSentence& sentence = frame->sentence;
  int last = 0;
  const bool recognised =
      !piece.empty() &&
      sentence.CreateMessageFromBuffer(
          reinterpret_cast<const unsigned char*>(piece.data()),
          static_cast<int>(piece.size()), last);
  if (recognised) {
    const std::string_view text = ParameterText(sentence);
    std::size_t start = SentenceStart(piece, sentence, text);
    if (start == std::string_view::npos) start = 0;
    if (start > 0) {
      // Noise in front of the sentence goes before it (rare: a copy).
      Frame recognisedFrame = std::move(*frame);
      --ready_;
      Push(FrameKind::kNoise, piece.substr(0, start));
      frame = &AddFrameForSentence();
      *frame = std::move(recognisedFrame);
    }
    frame->kind = frame->sentence.GetType() == TYPE_REQUEST
                      ? FrameKind::kRequest
                      : FrameKind::kReply;
    frame->bytes = piece.substr(start);
    frame->size = frame->bytes.size();
    // Copied into the frame's kept storage from where the sentence (which
    // may have moved with its frame) keeps it: a copy of its own would be
    // allocated for each sentence.
    frame->parameters.assign(ParameterText(frame->sentence));
    lastKind_ = frame->kind;
    ++counts_.sentences;
    return;
  }
  --ready_;
  const std::size_t prefix = FirstSentencePrefix(piece);
  if (prefix == std::string_view::npos) {
    Push(FrameKind::kNoise, piece);
    return;
  }
  Push(FrameKind::kNoise, piece.substr(0, prefix));
  const std::string_view line = piece.substr(prefix);
  const std::optional<unsigned short> sequence = RefusedReplySequence(line);
  Push(sequence ? FrameKind::kRefusedReply : FrameKind::kUnrecognised, line);
  if (sequence)
    frames_[(first_ + ready_ - 1) % frames_.size()]->sequence = *sequence;
}

void SentenceStream::Push(FrameKind kind, std::string_view bytes) {
  if (bytes.empty()) return;
  lastKind_ = kind;
  if (kind == FrameKind::kNoise) counts_.noiseBytes += bytes.size();
  if (kind == FrameKind::kUnrecognised || kind == FrameKind::kRefusedReply) {
    ++counts_.unrecognised;
  }
  Frame& frame = AddFrame();
  frame.kind = kind;
  frame.bytes = bytes;
  frame.size = bytes.size();
}

Frame& SentenceStream::AddFrame() {
  Frame& frame = AddFrameForSentence();
  static const GeoComSentence kNoSentence;
  frame.sentence = kNoSentence;
  return frame;
}

Frame& SentenceStream::AddFrameForSentence() {
  if (ready_ == frames_.size()) {
    std::rotate(frames_.begin(),
                frames_.begin() + static_cast<std::ptrdiff_t>(first_),
                frames_.end());
    first_ = 0;
    ++ready_;
    return *frames_.emplace_back(std::make_unique<Frame>());
  }
  // Every caller sets the kind and the size; the rest is as new.
  Frame& frame = *frames_[(first_ + ready_++) % frames_.size()];
  frame.bytes.clear();
  frame.parameters.clear();
  frame.sequence = 0;
  return frame;
}

void SentenceStream::Pop() {
  std::unique_ptr<Frame>& taken = frames_[first_];
  if (taken->size > kKeptFrameSize) taken = std::make_unique<Frame>();
  first_ = (first_ + 1) % frames_.size();
  if (--ready_ == 0) {
    first_ = 0;
    // A burst of frames leaves no more storage behind than a few.
    if (frames_.size() > kKeptFrames) frames_.resize(kKeptFrames);
  }
}

bool SentenceStream::Next(Frame& frame) {
  if (ready_ == 0) return false;
  frame = std::move(*frames_[first_]);
  Pop();
  return true;
}

void SentenceStream::Finish() {
  const std::string_view rest(buffer_.data() + head_, buffer_.size() - head_);
  if (!rest.empty() || droppedRun_ > 0) ClassifyPiece(rest);
  buffer_.clear();
  head_ = searchFrom_ = 0;
  lfMayFollow_ = false;
}

void SentenceStream::Clear() {
  buffer_.clear();
  head_ = searchFrom_ = droppedRun_ = 0;
  lfMayFollow_ = false;
  frames_.clear();
  first_ = ready_ = 0;
}

std::size_t SentenceStream::Pending() const { return buffer_.size() - head_; }

}  // namespace Core::GEOCOM::host
