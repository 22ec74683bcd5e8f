#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

#include "support/Sentences.h"

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_OK;
using Core::GEOCOM::TYPE_NONE;
using Core::GEOCOM::TYPE_REQUEST;
using Core::GEOCOM::TYPE_RESPONSE;
using test_support::BufferText;

namespace {

GeoComSentence Recognise(const std::string& bytes) {
  GeoComSentence sentence;
  int last = -1;
  sentence.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()), last);
  return sentence;
}

}  // namespace

TEST(SentenceObject, DefaultConstructedIsEmpty) {
  GeoComSentence sentence;
  EXPECT_EQ(sentence.GetType(), TYPE_NONE);
  EXPECT_EQ(sentence.GetGeocomID(), 0);
  EXPECT_EQ(sentence.GetSequenceID(), 0);
  EXPECT_EQ(sentence.GetStringCommand(), "");
  EXPECT_EQ(sentence.GetGeocomCommand(), "");
  EXPECT_EQ(BufferText(sentence), "");
  EXPECT_FALSE(sentence.GetAcceptUnterminatedReply());
  EXPECT_FALSE(sentence.isResponseMessageValid());
}

TEST(SentenceObject, ConstructorFromProcedureComposesRequest) {
  GeoComSentence::ResetSequenceID();
  GeoComSentence sentence(5003);
  EXPECT_EQ(sentence.GetType(), TYPE_REQUEST);
  EXPECT_EQ(sentence.GetGeocomID(), 5003);
  EXPECT_EQ(sentence.GetSequenceID(), 0);
  EXPECT_EQ(BufferText(sentence), "%R1Q,5003,0:\r\n");
  EXPECT_EQ(sentence.GetGeocomCommand(), "%R1Q,5003,0:");
  EXPECT_FALSE(sentence.GetAcceptUnterminatedReply());
}

TEST(SentenceObject, SequenceNumbersRunFrom0To32767AndWrap) {
  GeoComSentence::ResetSequenceID();
  GeoComSentence sentence;
  for (unsigned expected = 0; expected <= 32767; ++expected) {
    ASSERT_TRUE(sentence.CreateRequest(1));
    ASSERT_EQ(sentence.GetSequenceID(), expected);
  }
  EXPECT_EQ(GeoComSentence(1).GetSequenceID(), 0);
  EXPECT_EQ(GeoComSentence(1).GetSequenceID(), 1);
}

TEST(SentenceObject, GeocomCommandDropsTheLastTwoBytes) {
  EXPECT_EQ(Recognise("%R1Q,1,1:ab\r\n").GetGeocomCommand(), "");
  EXPECT_EQ(Recognise("%R1Q,1,1:abc\r\n").GetGeocomCommand(), "a");
  EXPECT_EQ(Recognise("%R1Q,1,1:abcd\r\n").GetGeocomCommand(), "ab");
}

TEST(SentenceObject, CopyAndAssignmentCarryTheFlagButCloneDoesNot) {
  GeoComSentence original = Recognise("%R1P,0,12:0,1.5,\"x\"\r\n");
  original.SetAcceptUnterminatedReply(true);

  const GeoComSentence copied(original);
  GeoComSentence assigned;
  assigned = original;
  const auto clone = std::dynamic_pointer_cast<GeoComSentence>(original.Copy());
  ASSERT_NE(clone, nullptr);

  const GeoComSentence* carriers[] = {&copied, &assigned, clone.get()};
  for (const GeoComSentence* sentence : carriers) {
    EXPECT_EQ(sentence->GetType(), TYPE_RESPONSE);
    EXPECT_EQ(sentence->GetSequenceID(), 12);
    EXPECT_EQ(sentence->GetRetCode(), 0);
    EXPECT_EQ(sentence->GetStringCommand(), ",1.5,\"x\"");
  }
  EXPECT_TRUE(copied.GetAcceptUnterminatedReply());
  EXPECT_TRUE(assigned.GetAcceptUnterminatedReply());
  EXPECT_FALSE(clone->GetAcceptUnterminatedReply());
  EXPECT_TRUE(original.GetAcceptUnterminatedReply());

  double value = 0;
  EXPECT_TRUE(clone->UnPack(value));
  EXPECT_EQ(value, 1.5);
}

TEST(SentenceObject, CompositionAndFailedRecognitionKeepTheFlag) {
  GeoComSentence sentence;
  sentence.SetAcceptUnterminatedReply(true);
  sentence.CreateRequest(5003, "1");
  EXPECT_TRUE(sentence.GetAcceptUnterminatedReply());
  sentence.CreateReply(1, GRC_OK, "");
  EXPECT_TRUE(sentence.GetAcceptUnterminatedReply());
  int last = -1;
  EXPECT_FALSE(sentence.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>("noise"), 5, last));
  EXPECT_TRUE(sentence.GetAcceptUnterminatedReply());
}
