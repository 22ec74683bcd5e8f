#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

#include "support/Sentences.h"

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_TYPE;
using Core::GEOCOM::TYPE_REQUEST;
using Core::GEOCOM::TYPE_RESPONSE;
using test_support::BufferText;
using test_support::ExactBuffer;

namespace {

void SetCounter(unsigned short value) {
  GeoComSentence::ResetSequenceID();
  GeoComSentence sentence;
  for (unsigned short i = 0; i < value; ++i) {
    sentence.CreateRequest(0);
  }
}

}  // namespace

// One object throughout, first holding a recognised reply, so that each
// composition has to replace what the object held.
TEST(SentenceBuilder, RequestTexts) {
  struct Case {
    unsigned short counter;
    unsigned short procedure;
    const char* parameters;
    const char* expected;
  };
  const Case cases[] = {
      {0, 5003, nullptr, "%R1Q,5003,0:\r\n"},
      {0, 5003, "", "%R1Q,5003,0:\r\n"},
      {41, 9027, "1.5,2.25", "%R1Q,9027,41:1.5,2.25\r\n"},
      {3, 65535, "x", "%R1Q,65535,3:x\r\n"},
      {2, 1, "%1%,%%", "%R1Q,1,2:%1%,%%\r\n"},
  };
  GeoComSentence sentence;
  const ExactBuffer reply(std::string("%R1P,0,9:0,1,2\r\n"));
  int last = -1;
  ASSERT_TRUE(
      sentence.CreateMessageFromBuffer(reply.data(), reply.size(), last));
  for (const Case& c : cases) {
    SetCounter(c.counter);
    const bool composed =
        c.parameters == nullptr
            ? sentence.CreateRequest(c.procedure)
            : sentence.CreateRequest(c.procedure, c.parameters);
    ASSERT_TRUE(composed) << c.expected;
    EXPECT_EQ(BufferText(sentence), c.expected);
    EXPECT_EQ(sentence.GetType(), TYPE_REQUEST);
    EXPECT_FALSE(sentence.isResponseMessageValid());
    EXPECT_EQ(sentence.GetGeocomID(), c.procedure);
    EXPECT_EQ(sentence.GetSequenceID(), c.counter);
    EXPECT_EQ(GeoComSentence(1).GetSequenceID(), c.counter + 1);
  }
}

// Replies take no number from the counter.
TEST(SentenceBuilder, ReplyTexts) {
  struct Case {
    unsigned short sequence;
    int returnCode;
    const char* parameters;
    const char* expected;
    unsigned short storedCode;
  };
  const Case cases[] = {
      {17, 0, ",1.234567,0.5", "%R1P,0,17:0,1.234567,0.5\r\n", 0},
      {3, 1283, "", "%R1P,0,3:1283\r\n", 1283},
      {3, 0, "5", "%R1P,0,3:05\r\n", 0},
      {65535, 65536 + 7, "", "%R1P,0,65535:7\r\n", 7},
      {1, -1, ",a", "%R1P,0,1:65535,a\r\n", 65535},
  };
  SetCounter(5);
  for (const Case& c : cases) {
    GeoComSentence sentence;
    ASSERT_TRUE(sentence.CreateReply(
        c.sequence, static_cast<GRC_TYPE>(c.returnCode), c.parameters));
    EXPECT_EQ(BufferText(sentence), c.expected);
    EXPECT_EQ(sentence.GetType(), TYPE_RESPONSE);
    EXPECT_EQ(sentence.GetSequenceID(), c.sequence);
    EXPECT_EQ(sentence.GetRetCode(), c.storedCode);
    EXPECT_TRUE(sentence.isResponseMessageValid());
  }
  EXPECT_EQ(GeoComSentence(1).GetSequenceID(), 5);
}
