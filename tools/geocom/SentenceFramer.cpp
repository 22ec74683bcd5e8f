#include "SentenceFramer.h"

namespace geocom {

void SentenceFramer::Append(const char* data, std::size_t size) {
  if (size == 0) {
    return;
  }
  if (lfMayFollow_ && data[0] == '\n') {
    ++data;
    --size;
  }
  lfMayFollow_ = false;
  if (head_ > 0 && head_ >= buffer_.size() / 2) {
    buffer_.erase(0, head_);
    searchFrom_ -= head_;
    head_ = 0;
  }
  buffer_.append(data, size);
}

bool SentenceFramer::Next(std::string& piece) {
  const std::size_t cr = buffer_.find('\r', searchFrom_);
  if (cr == std::string::npos) {
    searchFrom_ = buffer_.size();
    if (Pending() > kMaxPending) {
      head_ = buffer_.size() - kMaxPending;
    }
    return false;
  }
  std::size_t end = cr + 1;
  if (end < buffer_.size() && buffer_[end] == '\n') {
    ++end;
  } else if (end == buffer_.size()) {
    lfMayFollow_ = true;
  }
  piece.assign(buffer_, head_, end - head_);
  head_ = end;
  searchFrom_ = end;
  return true;
}

}  // namespace geocom
