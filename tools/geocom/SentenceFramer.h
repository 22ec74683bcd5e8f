#ifndef GEOCOM_TOOL_SENTENCEFRAMER_H
#define GEOCOM_TOOL_SENTENCEFRAMER_H

#include <cstddef>
#include <string>

namespace geocom {

// Cuts a byte stream into pieces that each end at a CR (with the LF right
// after it), so that at most one sentence can complete inside a piece. The
// recogniser prefers a reply anywhere in its buffer to an earlier request;
// handing it one piece at a time keeps every sentence, in stream order.
class SentenceFramer {
 public:
  // Bytes without a CR beyond this many are dropped from the front: the
  // decoders only walk parameter texts this long anyway.
  static constexpr std::size_t kMaxPending = 65536;

  void Append(const char* data, std::size_t size);

  // Takes the next piece, from the end of the previous one up to and
  // including its CR and an LF that follows the CR in the bytes so far.
  bool Next(std::string& piece);

  // The bytes received after the last complete piece.
  std::size_t Pending() const { return buffer_.size() - head_; }

 private:
  std::string buffer_;
  std::size_t head_ = 0;
  std::size_t searchFrom_ = 0;
  // The last piece ended at a CR that was the last byte received: an LF that
  // arrives next still belongs to that sentence.
  bool lfMayFollow_ = false;
};

}  // namespace geocom

#endif
