#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

#include "support/Sentences.h"

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::TYPE_NONE;
using Core::GEOCOM::TYPE_REQUEST;
using Core::GEOCOM::TYPE_RESPONSE;
using test_support::ExactBuffer;

namespace {

constexpr int kUntouched = -12345;

// Recognises the bytes on a sentence that held a request before, so that
// emptying on failure shows, and spells the outcome: "none" for a failure
// that emptied the object and left the last-byte index alone, otherwise
// kind, number, sequence, [text] and last-byte index.
std::string Recognise(GeoComSentence& sentence, const std::string& bytes) {
  sentence.CreateRequest(1, "previous");
  const ExactBuffer buffer(bytes);
  int last = kUntouched;
  const bool recognised =
      sentence.CreateMessageFromBuffer(buffer.data(), buffer.size(), last);
  const char* kind = sentence.GetType() == TYPE_REQUEST    ? "request "
                     : sentence.GetType() == TYPE_RESPONSE ? "reply "
                                                           : "empty ";
  const std::string spelled = kind + std::to_string(sentence.GetGeocomID()) +
                              "," + std::to_string(sentence.GetSequenceID()) +
                              " [" + sentence.GetStringCommand() + "] " +
                              std::to_string(last);
  if (recognised) {
    return spelled;
  }
  return spelled == "empty 0,0 [] " + std::to_string(kUntouched)
             ? "none"
             : "failed " + spelled;
}

}  // namespace

TEST(SentenceRecogniser, WorkedExamples) {
  const std::string zero(1, '\0');
  const struct {
    std::string bytes;
    std::string expected;
  } examples[] = {
      {"%R1Q,5003,17:\r\n", "request 5003,17 [] 14"},
      {"%R1Q,9027,3:1.5,2.25,0,0,0\r\n", "request 9027,3 [1.5,2.25,0,0,0] 27"},
      {"xx%R1Q,2008:\r\n", "request 2008,0 [] 13"},
      {"%R1Q,5003,17\r\n", "request 5003,17 [] 13"},
      {"%R1Q,70000,1:\r\n", "request 4464,1 [] 14"},
      {"%R1Q,5003,17:1,2\r", "request 5003,17 [1,2] 16"},
      {"%R1Q,5003,17:a\nb\r\n", "request 5003,17 [a\nb] 17"},
      {"%R1Q,1,40000:\r\n", "request 1,40000 [] 14"},
      {"%R1Q,1,2:" + zero + ":%\xff\r", "request 1,2 [" + zero + ":%\xff] 13"},
      {"%R1Q,1,2:z" + zero + "z\n%R1Q,\r\n",
       "request 1,2 [z" + zero + "z\n%R1Q,] 19"},
      {"%R1Q,1:x\r\n", "request 1,0 [x] 9"},
      {"%R1Q,5003\r\n", "none"},
      {"%R1Q,5003,,17:\r\n", "none"},
      {"%R1Q,%R1Q,5003,17:\r\n", "none"},
      {"%R1Q,,1:\r\n", "none"},
      {"%R1Q,:\r\n", "none"},
      {"%R1Q,1,:\r\n", "none"},
      {"%R1Q,5003,\r\n", "none"},
      {"%R1Q,1,2,3:\r\n", "none"},
      {"%R1P,0,17:0,1.234567,0.5\r\n", "reply 0,17 [,1.234567,0.5] 25"},
      {"%R1P,0,3:1283\r\n", "reply 1283,3 [] 14"},
      {"\n%R1P,0,3:0,5\r\n", "reply 0,3 [,5] 14"},
      {"%R1P,0,3:0,5\r\r\n", "reply 0,3 [,5] 12"},
      {"%R1P,0,3:0,5\n\r\n", "reply 0,3 [,5\n] 14"},
      {"%R1P,0,99999:65537\r\n", "reply 1,34463 [] 19"},
      {"%R1P,0%R1P,0,5:0\r\n", "reply 0,5 [] 17"},
      // A reply anywhere in the bytes wins over an earlier request.
      {"%R1Q,5003,17:\r\n%R1P,0,17:0\r\n", "reply 0,17 [] 27"},
      {"%R1P,0,12:0,1,2\r\n%R1P,0,13:0\r\n", "reply 0,12 [,1,2] 16"},
      {"%R1P,1,3:0\r\n", "none"},
      {"%R1P,0,17,0:0\r\n", "none"},
      {"%R1P,0,17:0:1\r\n", "none"},
      {"%R1P,0,3:,5\r\n", "none"},
      {"%R1P,0,3:0,5", "none"},
      {"%R1P,0,:0\r\n", "none"},
      {"%R1P,0,5:\r\n", "none"},
      {"%R1P,0,5:0\n", "none"},
      {"%R1P,0,", "none"},
      {"%R1Q,", "none"},
      {"%R1Q", "none"},
      {"\r\n", "none"},
      {"", "none"},
  };
  GeoComSentence sentence;
  for (const auto& example : examples) {
    EXPECT_EQ(Recognise(sentence, example.bytes), example.expected)
        << testing::PrintToString(example.bytes);
  }
}

TEST(SentenceRecogniser, NegativeLengthReadsNothing) {
  GeoComSentence sentence;
  sentence.CreateRequest(5003);
  int last = kUntouched;
  EXPECT_FALSE(sentence.CreateMessageFromBuffer(nullptr, -5, last));
  EXPECT_EQ(last, kUntouched);
  EXPECT_EQ(sentence.GetType(), TYPE_NONE);
  EXPECT_EQ(sentence.GetStringCommand(), "");
}

// Every prefix of a valid sentence lies in a block of exactly its length; a
// read past the end would be reported by AddressSanitizer.
TEST(SentenceRecogniser, ReadsNoByteBeyondTheGivenLength) {
  for (const std::string whole :
       {"%R1P,0,17:0,1.234567,0.5\r\n", "%R1Q,9027,3:1.5,2.25\r\n"}) {
    for (std::size_t length = 1; length < whole.size() - 1; ++length) {
      GeoComSentence sentence;
      sentence.SetAcceptUnterminatedReply(true);
      EXPECT_EQ(Recognise(sentence, whole.substr(0, length)), "none") << length;
    }
  }
}

// The rule needs at least 64 bytes and no "." in the last eight, so that a
// number still being received is not cut short.
TEST(SentenceRecogniser, ArmedFlagCompletesALongUnterminatedReply) {
  const std::string digits(50, '1');
  const struct {
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"%R1P,0,5:0," + std::string(60, 'A'),
       "reply 0,5 [," + std::string(60, 'A') + "] 70"},
      {"%R1P,0,5:0," + digits + ".123456", "none"},
      {"%R1P,0,5:0," + digits + ".1234567", "none"},
      {"%R1P,0,5:0," + digits + ".1234567,",
       "reply 0,5 [," + digits + ".1234567,] 69"},
      {std::string(64, 'x'), "reply 0,0 [] 63"},
      {std::string(63, 'x'), "none"},
      // Numbers are kept as they stand when the rule fires outside the
      // parameters: here the scan fell back to seeking after "12x".
      {"%R1P,0,12x" + std::string(54, 'y'), "reply 0,12 [] 63"},
      {std::string(57, 'y') + "%R1P,0,", "reply 0,0 [] 63"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    GeoComSentence sentence;
    sentence.SetAcceptUnterminatedReply(true);
    const std::string outcome = Recognise(sentence, c.bytes);
    EXPECT_EQ(outcome, c.expected);
    EXPECT_EQ(sentence.GetAcceptUnterminatedReply(), outcome == "none");
    GeoComSentence unarmed;
    EXPECT_EQ(Recognise(unarmed, c.bytes), "none");
  }
}

TEST(SentenceRecogniser, ArmedFlagFiresOnceAndSurvivesTerminatedReplies) {
  GeoComSentence sentence;
  sentence.SetAcceptUnterminatedReply(true);
  EXPECT_EQ(Recognise(sentence, "%R1P,0,3:0,5\r\n"), "reply 0,3 [,5] 13");
  EXPECT_TRUE(sentence.GetAcceptUnterminatedReply());
  const std::string noise(100, 'n');
  EXPECT_EQ(Recognise(sentence, noise), "reply 0,0 [] 99");
  EXPECT_FALSE(sentence.GetAcceptUnterminatedReply());
  EXPECT_EQ(Recognise(sentence, noise), "none");
}
