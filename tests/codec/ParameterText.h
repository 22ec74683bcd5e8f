#ifndef DAZOZAZIDOREZERARO_TESTS_CODEC_PARAMETERTEXT_H
#define DAZOZAZIDOREZERARO_TESTS_CODEC_PARAMETERTEXT_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

namespace codec_test {

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
  const unsigned char* bytes = nullptr;
  int length = 0;
  composed.GetBuffer(bytes, length);
  Core::GEOCOM::GeoComSentence received;
  int lastByte = 0;
  EXPECT_TRUE(received.CreateMessageFromBuffer(bytes, length, lastByte));
  EXPECT_EQ(received.GetStringCommand(), parameters);
  return received;
}

}  // namespace codec_test

#endif
