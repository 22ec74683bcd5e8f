#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

#include "support/Sentences.h"

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_OK;
using Core::GEOCOM::TYPE_NONE;
using Core::GEOCOM::TYPE_RESPONSE;
using test_support::BufferText;
using test_support::Received;

TEST(SentenceObject, DefaultConstructedIsEmpty) {
  GeoComSentence sentence;
  EXPECT_EQ(sentence.GetType(), TYPE_NONE);
  EXPECT_EQ(sentence.GetGeocomID(), 0);
  EXPECT_EQ(sentence.GetSequenceID(), 0);
  EXPECT_EQ(BufferText(sentence), "");
  EXPECT_FALSE(sentence.GetAcceptUnterminatedReply());
  EXPECT_FALSE(sentence.isResponseMessageValid());
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
  EXPECT_EQ(Received("ab", true).GetGeocomCommand(), "");
  EXPECT_EQ(Received("abc", true).GetGeocomCommand(), "a");
  GeoComSentence composed(5003);
  EXPECT_EQ(composed.GetGeocomCommand() + "\r\n", BufferText(composed));
}

TEST(SentenceObject, CopyAndAssignmentCarryTheFlagButCloneDoesNot) {
  GeoComSentence original = Received(",1.5,\"x\"");
  original.SetAcceptUnterminatedReply(true);

  const GeoComSentence copied(original);
  GeoComSentence assigned;
  assigned = original;
  const auto clone = std::dynamic_pointer_cast<GeoComSentence>(original.Copy());
  ASSERT_NE(clone, nullptr);

  const GeoComSentence* carriers[] = {&copied, &assigned, clone.get()};
  for (const GeoComSentence* sentence : carriers) {
    EXPECT_EQ(sentence->GetType(), TYPE_RESPONSE);
    EXPECT_EQ(sentence->GetSequenceID(), 1);
    EXPECT_EQ(sentence->GetStringCommand(), ",1.5,\"x\"");
  }
  EXPECT_TRUE(copied.GetAcceptUnterminatedReply());
  EXPECT_TRUE(assigned.GetAcceptUnterminatedReply());
  EXPECT_FALSE(clone->GetAcceptUnterminatedReply());
  EXPECT_TRUE(original.GetAcceptUnterminatedReply());
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
