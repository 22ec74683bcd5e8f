#ifndef DAZOZAZIDOREZERARO_TESTS_SENTENCE_EXACTBUFFER_H
#define DAZOZAZIDOREZERARO_TESTS_SENTENCE_EXACTBUFFER_H

#include <cstring>
#include <memory>
#include <string>

// The bytes of a text in a heap block of exactly their length, so that
// AddressSanitizer reports any read at or past the end.
class ExactBuffer {
 public:
  explicit ExactBuffer(const std::string& bytes)
      : size_(static_cast<int>(bytes.size())),
        bytes_(bytes.empty() ? nullptr : new unsigned char[bytes.size()]) {
    if (!bytes.empty()) {
      std::memcpy(bytes_.get(), bytes.data(), bytes.size());
    }
  }

  const unsigned char* data() const { return bytes_.get(); }
  int size() const { return size_; }

 private:
  int size_;
  std::unique_ptr<unsigned char[]> bytes_;
};

#endif
