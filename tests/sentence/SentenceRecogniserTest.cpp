#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

#include "support/Sentences.h"

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::TYPE;
using Core::GEOCOM::TYPE_NONE;
using Core::GEOCOM::TYPE_REQUEST;
using Core::GEOCOM::TYPE_RESPONSE;
using test_support::ExactBuffer;

namespace {

constexpr int kUntouched = -12345;

struct Recognition {
  bool result;
  TYPE type;
  unsigned short geocomId;
  unsigned short sequence;
  std::string text;
  int last;
};

// Recognises the bytes on a sentence that held something else before, so
// that emptying on failure is visible.
Recognition Recognise(const std::string& bytes, GeoComSentence& sentence) {
  sentence.CreateRequest(1, "previous");
  const ExactBuffer buffer(bytes);
  int last = kUntouched;
  const bool result =
      sentence.CreateMessageFromBuffer(buffer.data(), buffer.size(), last);
  return {result,
          sentence.GetType(),
          sentence.GetGeocomID(),
          sentence.GetSequenceID(),
          sentence.GetStringCommand(),
          last};
}

struct WorkedExample {
  std::string bytes;
  Recognition expected;
};

const Recognition kNothing{false, TYPE_NONE, 0, 0, "", kUntouched};

Recognition Request(unsigned short procedure, unsigned short sequence,
                    std::string text, int last) {
  return {true, TYPE_REQUEST, procedure, sequence, std::move(text), last};
}

Recognition Reply(unsigned short returnCode, unsigned short sequence,
                  std::string text, int last) {
  return {true, TYPE_RESPONSE, returnCode, sequence, std::move(text), last};
}

}  // namespace

TEST(SentenceRecogniser, WorkedExamples) {
  const WorkedExample examples[] = {
      {"%R1Q,5003,17:\r\n", Request(5003, 17, "", 14)},
      {"%R1Q,9027,3:1.5,2.25,0,0,0\r\n",
       Request(9027, 3, "1.5,2.25,0,0,0", 27)},
      {"xx%R1Q,2008:\r\n", Request(2008, 0, "", 13)},
      {"%R1Q,5003,17\r\n", Request(5003, 17, "", 13)},
      {"%R1Q,70000,1:\r\n", Request(4464, 1, "", 14)},
      {"%R1Q,5003,17:1,2\r", Request(5003, 17, "1,2", 16)},
      {"%R1Q,5003,17:a\nb\r\n", Request(5003, 17, "a\nb", 17)},
      {"%R1Q,5003\r\n", kNothing},
      {"%R1Q,5003,,17:\r\n", kNothing},
      {"%R1Q,%R1Q,5003,17:\r\n", kNothing},
      {"%R1P,0,17:0,1.234567,0.5\r\n", Reply(0, 17, ",1.234567,0.5", 25)},
      {"%R1P,0,3:1283\r\n", Reply(1283, 3, "", 14)},
      {"\n%R1P,0,3:0,5\r\n", Reply(0, 3, ",5", 14)},
      {"%R1P,0,3:0,5\r\r\n", Reply(0, 3, ",5", 12)},
      {"%R1P,0,3:0,5\n\r\n", Reply(0, 3, ",5\n", 14)},
      {"%R1Q,5003,17:\r\n%R1P,0,17:0\r\n", Reply(0, 17, "", 27)},
      {"%R1P,0,12:0,1,2\r\n%R1P,0,13:0\r\n", Reply(0, 12, ",1,2", 16)},
      {"%R1P,1,3:0\r\n", kNothing},
      {"%R1P,0,17,0:0\r\n", kNothing},
      {"%R1P,0,17:0:1\r\n", kNothing},
      {"%R1P,0,3:,5\r\n", kNothing},
      {"%R1P,0,3:0,5", kNothing},
      // Beyond the worked examples: wrap-around, odd bytes, short forms.
      {"%R1P,0,99999:65537\r\n", Reply(1, 34463, "", 19)},
      {"%R1Q,1,40000:\r\n", Request(1, 40000, "", 14)},
      {std::string("%R1Q,1,2:\0:%\xff\r", 14),
       Request(1, 2, std::string("\0:%\xff", 4), 13)},
      {"%R1Q,1:x\r\n", Request(1, 0, "x", 9)},
      {"%R1Q,,1:\r\n", kNothing},
      {"%R1Q,1,:\r\n", kNothing},
      {"%R1Q,1,2,3:\r\n", kNothing},
      {"%R1P,0,:0\r\n", kNothing},
      {"%R1P,0,5:\r\n", kNothing},
      {"%R1P,0,5:0\n", kNothing},
      {"%R1P,0%R1P,0,5:0\r\n", Reply(0, 5, "", 17)},
      {"%R1P,0,", kNothing},
      {"%R1Q,", kNothing},
      {"%R1Q", kNothing},
      {"\r\n", kNothing},
  };
  GeoComSentence sentence;
  for (const WorkedExample& example : examples) {
    SCOPED_TRACE(testing::PrintToString(example.bytes));
    const Recognition got = Recognise(example.bytes, sentence);
    EXPECT_EQ(got.result, example.expected.result);
    EXPECT_EQ(got.type, example.expected.type);
    EXPECT_EQ(got.geocomId, example.expected.geocomId);
    EXPECT_EQ(got.sequence, example.expected.sequence);
    EXPECT_EQ(got.text, example.expected.text);
    EXPECT_EQ(got.last, example.expected.last);
    EXPECT_EQ(sentence.isResponseMessageValid(),
              example.expected.type == TYPE_RESPONSE);
  }
}

TEST(SentenceRecogniser, EmptyAndNegativeLengthsReadNothing) {
  GeoComSentence sentence;
  sentence.CreateRequest(5003);
  int last = kUntouched;
  EXPECT_FALSE(sentence.CreateMessageFromBuffer(nullptr, 0, last));
  EXPECT_FALSE(sentence.CreateMessageFromBuffer(nullptr, -5, last));
  EXPECT_EQ(last, kUntouched);
  EXPECT_EQ(sentence.GetType(), TYPE_NONE);
  EXPECT_EQ(sentence.GetStringCommand(), "");
}

TEST(SentenceRecogniser, ReadsNoByteBeyondTheGivenLength) {
  // Every prefix of a valid sentence lies in a block of exactly its length;
  // a read past the end would be reported by AddressSanitizer.
  const std::string sentences[] = {"%R1P,0,17:0,1.234567,0.5\r\n",
                                   "%R1Q,9027,3:1.5,2.25\r\n"};
  for (const std::string& whole : sentences) {
    for (std::size_t length = 1; length <= whole.size(); ++length) {
      GeoComSentence sentence;
      sentence.SetAcceptUnterminatedReply(true);
      const ExactBuffer buffer(whole.substr(0, length));
      int last = kUntouched;
      const bool recognised =
          sentence.CreateMessageFromBuffer(buffer.data(), buffer.size(), last);
      EXPECT_EQ(recognised, length >= whole.size() - 1) << length;
      EXPECT_EQ(recognised, last != kUntouched);
    }
  }
}

TEST(SentenceRecogniser, ArmedFlagCompletesALongUnterminatedReply) {
  struct Case {
    std::string bytes;
    bool recognised;
    unsigned short sequence;
    std::string text;
  };
  const std::string noPrefix(64, 'x');
  const Case cases[] = {
      {"%R1P,0,5:0," + std::string(60, 'A'), true, 5,
       "," + std::string(60, 'A')},
      {"%R1P,0,5:0," + std::string(50, '1') + ".123456", false, 0, ""},
      {"%R1P,0,5:0," + std::string(50, '1') + ".1234567,", true, 5,
       "," + std::string(50, '1') + ".1234567,"},
      {noPrefix, true, 0, ""},
      {noPrefix.substr(0, 63), false, 0, ""},
      // Numbers are kept as they stand when the rule fires outside the
      // parameters: here the scan fell back to seeking after "12x".
      {"%R1P,0,12x" + std::string(54, 'y'), true, 12, ""},
      {std::string(57, 'y') + "%R1P,0,", true, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    GeoComSentence sentence;
    sentence.SetAcceptUnterminatedReply(true);
    const ExactBuffer buffer(c.bytes);
    int last = kUntouched;
    EXPECT_EQ(
        sentence.CreateMessageFromBuffer(buffer.data(), buffer.size(), last),
        c.recognised);
    EXPECT_EQ(sentence.GetAcceptUnterminatedReply(), !c.recognised);
    if (c.recognised) {
      EXPECT_EQ(sentence.GetType(), TYPE_RESPONSE);
      EXPECT_EQ(sentence.GetSequenceID(), c.sequence);
      EXPECT_EQ(sentence.GetRetCode(), 0);
      EXPECT_EQ(sentence.GetStringCommand(), c.text);
      EXPECT_EQ(last, buffer.size() - 1);
    } else {
      EXPECT_EQ(last, kUntouched);
      EXPECT_EQ(sentence.GetType(), TYPE_NONE);
    }

    GeoComSentence unarmed;
    last = kUntouched;
    EXPECT_FALSE(
        unarmed.CreateMessageFromBuffer(buffer.data(), buffer.size(), last));
  }
}

TEST(SentenceRecogniser, ArmedFlagFiresOnceAndSurvivesTerminatedReplies) {
  GeoComSentence sentence;
  sentence.SetAcceptUnterminatedReply(true);
  const ExactBuffer terminated(std::string("%R1P,0,3:0,5\r\n"));
  int last = kUntouched;
  ASSERT_TRUE(sentence.CreateMessageFromBuffer(terminated.data(),
                                               terminated.size(), last));
  EXPECT_TRUE(sentence.GetAcceptUnterminatedReply());

  const ExactBuffer noise(std::string(100, 'n'));
  EXPECT_TRUE(
      sentence.CreateMessageFromBuffer(noise.data(), noise.size(), last));
  EXPECT_FALSE(sentence.GetAcceptUnterminatedReply());
  last = kUntouched;
  EXPECT_FALSE(
      sentence.CreateMessageFromBuffer(noise.data(), noise.size(), last));
  EXPECT_EQ(last, kUntouched);
}
