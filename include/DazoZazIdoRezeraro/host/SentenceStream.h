#ifndef DAZOZAZIDOREZERARO_HOST_SENTENCESTREAM_H
#define DAZOZAZIDOREZERARO_HOST_SENTENCESTREAM_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"

/// @file
/// Framing of a received byte stream into sentences, noise and overlong
/// lines, whatever the chunking.

namespace Core::GEOCOM::host {

/// What a piece of a received byte stream turned out to be.
enum class FrameKind {
  kRequest,       ///< A request the core recognised.
  kReply,         ///< A reply the core recognised.
  kUnrecognised,  ///< A terminated line with a sentence prefix that the core
                  ///< does not accept.
  kRefusedReply,  ///< A line framed as a reply that the core does not accept
                  ///< (a leading code other than 0 reports a communication
                  ///< error), with a readable sequence number.
  kNoise,         ///< Bytes outside any sentence.
  kDropped,       ///< Bytes of a run without CR beyond the cap, not kept.
};

/// One piece of the stream, in stream order.
struct Frame {
  FrameKind kind = FrameKind::kNoise;  ///< What the bytes are.
  /// The bytes exactly as received, terminator included; empty for kDropped.
  std::string bytes;
  /// How many bytes the frame stands for (bytes.size() but for kDropped).
  std::size_t size = 0;
  /// The recognised sentence, for kRequest and kReply; empty otherwise.
  GeoComSentence sentence;
  /// The sentence's parameter text (its GetStringCommand), for kRequest and
  /// kReply, taken once by the framing that has to read it anyway.
  std::string parameters;
  /// The sequence number a kRefusedReply carries; 0 for other kinds.
  unsigned short sequence = 0;
};

/// Running totals of what a stream has taken apart.
struct StreamCounts {
  std::uint64_t sentences = 0;     ///< Requests and replies recognised.
  std::uint64_t unrecognised = 0;  ///< Lines the core did not accept,
                                   ///< refused replies included.
  std::uint64_t noiseBytes = 0;    ///< Bytes outside any sentence.
  std::uint64_t droppedBytes = 0;  ///< Bytes dropped by the cap.
};

/// Cuts received bytes into sentences whatever the chunking: feeding the
/// bytes one at a time or all at once gives the same frames. A sentence ends
/// at its CR; an LF right after it belongs to it (when the LF arrives in a
/// later piece than its CR, the sentence has already been handed out and the
/// LF is passed over). A run without CR never holds more than the cap: the
/// oldest bytes are dropped, and one kDropped frame in front of what follows
/// says how many.
class DAZOZAZIDOREZERARO_HOST_EXPORT SentenceStream {
 public:
  /// The default cap on bytes held while no CR arrives.
  static constexpr std::size_t kDefaultMaxPending = 65536;

  /// A stream holding at most maxPending bytes without a CR (at least 16).
  explicit SentenceStream(std::size_t maxPending = kDefaultMaxPending);

  /// Adds received bytes; frames become available through Next.
  void Append(std::string_view bytes);

  /// Takes the next complete frame into frame; false when none is complete.
  bool Next(Frame& frame);

  /// The next complete frame where it is held, for a reader that takes what
  /// it needs from it without a copy; nullptr when none is complete. Valid
  /// until Pop or any other call but Ready.
  Frame* Front() { return ready_ == 0 ? nullptr : frames_[first_].get(); }

  /// Forgets the frame Front gave.
  void Pop();

  /// How many complete frames Next has still to hand out.
  std::size_t Ready() const { return ready_; }

  /// Ends the stream: what is left without a CR becomes a noise or
  /// unrecognised frame for Next to hand out.
  void Finish();

  /// Forgets every byte received and every frame not yet taken.
  void Clear();

  /// Bytes held after the last complete frame.
  std::size_t Pending() const;

  /// Totals since construction, including frames not yet taken.
  const StreamCounts& Counts() const { return counts_; }

 private:
  // Cuts the pieces that end in held from head_ on: the bytes held, or
  // the bytes received when none were.
  void CutPieces(std::string_view held);
  // Drops what a run without CR, held bytes long, holds beyond the cap.
  void DropBeyondCap(std::size_t held);
  void ClassifyPiece(std::string_view piece);
  void Push(FrameKind kind, std::string_view bytes);
  // A frame after the last one ready, in storage a frame handed out before
  // may have left: as a new frame but for its kind and size, which the
  // caller sets.
  Frame& AddFrame();
  // The same but for its sentence, which the caller recognises in it (a
  // sentence recognised is set whole) or drops the frame.
  Frame& AddFrameForSentence();

  std::size_t maxPending_;
  std::string buffer_;
  std::size_t head_ = 0;        // first byte not yet cut into a piece
  std::size_t searchFrom_ = 0;  // where the search for the next CR goes on
  std::size_t droppedRun_ = 0;  // bytes dropped from the run being received
  // The last piece ended at a CR that was the last byte received: an LF that
  // arrives next still belongs to that sentence.
  bool lfMayFollow_ = false;
  FrameKind lastKind_ = FrameKind::kNoise;  // of the last frame cut
  // The frames ready, ready_ of them from first_ on, round the end: their
  // storage is reused, so that a frame's text is not allocated each time.
  std::vector<std::unique_ptr<Frame>> frames_;
  std::size_t first_ = 0;
  std::size_t ready_ = 0;
  StreamCounts counts_;
};

}  // namespace Core::GEOCOM::host

#endif
