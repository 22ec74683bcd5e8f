#ifndef DAZOZAZIDOREZERARO_TESTS_SUPPORT_SENTENCES_H
#define DAZOZAZIDOREZERARO_TESTS_SUPPORT_SENTENCES_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace test_support {

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

// What GetBuffer exposes, as a string.
inline std::string BufferText(const Core::IProtocol& message) {
  const unsigned char* data = nullptr;
  int length = 0;
  message.GetBuffer(data, length);
  return std::string(reinterpret_cast<const char*>(data),
                     static_cast<std::size_t>(length));
}

// Puts a parameter text into a sentence the way a host does: compose a reply
// (or request), take its bytes and let a fresh sentence recognise them. A
// reply's text keeps the comma that follows the return code; a request's
// text has no leading comma.
inline Core::GEOCOM::GeoComSentence Received(const std::string& parameters,
                                             bool asRequest = false) {
  Core::GEOCOM::GeoComSentence composed;
  EXPECT_TRUE(asRequest
                  ? composed.CreateRequest(1, parameters)
                  : composed.CreateReply(1, Core::GEOCOM::GRC_OK, parameters));
  const ExactBuffer bytes(BufferText(composed));
  Core::GEOCOM::GeoComSentence received;
  int lastByte = 0;
  EXPECT_TRUE(
      received.CreateMessageFromBuffer(bytes.data(), bytes.size(), lastByte));
  EXPECT_EQ(received.GetStringCommand(), parameters);
  return received;
}

}  // namespace test_support

#endif
