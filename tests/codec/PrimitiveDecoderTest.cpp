#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "support/Sentences.h"

namespace {

using test_support::Received;

constexpr int kUntouched = -99;

TEST(PrimitiveDecoderTest, IntReadsFollowTheCursorRule) {
  struct Case {
    const char* text;
    unsigned short from;
    bool read;
    int value;
    unsigned short to;
  };
  const Case cases[] = {
      {"", 0, false, kUntouched, 0},
      {",5,,7", 0, true, 5, 2},
      {",5,,7", 2, false, kUntouched, 3},  // empty field: just past its comma
      {",5,,7", 3, true, 7, 5},
      {",5,,7", 5, false, kUntouched, 5},  // no comma left
      {",5,", 2, false, kUntouched, 3},
      {",5,7", 1, true, 7, 4},  // a cursor inside a field skips its rest
      {",12abc", 0, true, 12, 6},
      {", 7", 0, true, 7, 3},
      {",0x1A", 0, true, 0, 5},
      {",5,7", 60000, false, kUntouched, 60000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.from));
    int value = kUntouched;
    unsigned short cursor = c.from;
    EXPECT_EQ(Received(c.text).unPack(value, cursor), c.read);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(cursor, c.to);
  }
}

TEST(PrimitiveDecoderTest, RequestTextHasNoLeadingCommaSoReadsStartAtField2) {
  int value = 0;
  unsigned short cursor = 0;
  EXPECT_TRUE(Received("5,7", true).unPack(value, cursor));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(cursor, 3);
}

struct NumberCase {
  const char* field;
  bool read;
  double value;
};

// Reads ",<field>,9" with both forms: they must agree, the cursor must end on
// the field's closing comma whatever the outcome, and the next read gets 9.
template <typename Number>
void CheckNumbers(std::initializer_list<NumberCase> cases,
                  bool untouchedOnFailure) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    const auto reply = Received(std::string(",") + c.field + ",9");
    Number value = 42, single = 42, next = 0;
    unsigned short cursor = 0;
    EXPECT_EQ(reply.unPack(value, cursor), c.read);
    EXPECT_EQ(reply.unPack(single), c.read);
    EXPECT_EQ(cursor, 1 + std::strlen(c.field));
    if (c.read || untouchedOnFailure) {
      const Number expected = c.read ? static_cast<Number>(c.value) : 42;
      EXPECT_EQ(value, expected);
      EXPECT_EQ(single, expected);
    }
    EXPECT_TRUE(reply.unPack(next, cursor));
    EXPECT_EQ(next, 9);
  }
}

TEST(PrimitiveDecoderTest, NumbersAreReadWithinTheirWidths) {
  CheckNumbers<short>({{"-32768", true, -32768},
                       {"32767", true, 32767},
                       {"32768", false, 0},
                       {"-32769", false, 0},
                       {"x", false, 0}},
                      true);
  CheckNumbers<unsigned short>(
      {{"65535", true, 65535}, {"65536", false, 0}, {"-1", false, 0}}, true);
  const auto signed32 = {NumberCase{"2147483647", true, 2147483647.0},
                         NumberCase{"-2147483648", true, -2147483648.0},
                         NumberCase{"2147483648", false, 0},
                         NumberCase{"-2147483649", false, 0}};
  const auto unsigned32 = {NumberCase{"4294967295", true, 4294967295.0},
                           NumberCase{"4294967296", false, 0},
                           NumberCase{"abc", false, 0}};
  CheckNumbers<int>(signed32, false);
  CheckNumbers<long>(signed32, false);
  CheckNumbers<unsigned int>(unsigned32, false);
  CheckNumbers<unsigned long>(unsigned32, false);
  CheckNumbers<double>({{"1.5e3", true, 1500},
                        {"-0.25", true, -0.25},
                        {"7", true, 7},
                        {".", false, 0}},
                       false);
}

TEST(PrimitiveDecoderTest, ByteFieldsReadTheirTwoMiddleHexDigits) {
  struct Case {
    std::string field;
    bool read;
    unsigned char value;
  };
  const Case cases[] = {
      {"'a3'", true, 163},
      {"'A3'", true, 163},
      {"xa3x", true, 163},
      {"'fF'", true, 255},
      {"'a3", false, 0},
      {"'a3''", false, 0},
      {"'g3'", false, 3},
      {"'ag'", false, 10},
      {"'\xff"
       "3'",
       false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    const auto reply = Received("," + c.field + ",'01'");
    unsigned char value = 77;
    unsigned short cursor = 0;
    EXPECT_EQ(reply.unPack(value, cursor), c.read);
    EXPECT_EQ(value, c.value);
    EXPECT_TRUE(reply.unPack(value, cursor));
    EXPECT_EQ(value, 1);
  }
  unsigned char untouched = 77;
  EXPECT_FALSE(Received(",,'01'").unPack(untouched));
  EXPECT_EQ(untouched, 77);
}

TEST(PrimitiveDecoderTest, StringReadsSkipFieldsAndKeepCommas) {
  std::string text;
  int value = 0;
  unsigned short cursor = 0;
  const auto reply = Received(",5,\"AB\",7");
  EXPECT_TRUE(reply.unPack(text, cursor));
  EXPECT_EQ(text, "AB");
  EXPECT_EQ(cursor, 7);
  EXPECT_TRUE(reply.unPack(value, cursor));
  EXPECT_EQ(value, 7);

  const auto withComma = Received(",\"a,b\",\"\"");
  cursor = 0;
  EXPECT_TRUE(withComma.unPack(text, cursor));
  EXPECT_EQ(text, "a,b");
  EXPECT_TRUE(withComma.unPack(text, cursor));
  EXPECT_EQ(text, "");
  EXPECT_EQ(cursor, 9);
  EXPECT_FALSE(withComma.unPack(value));

  text = "kept";
  cursor = 1;
  EXPECT_FALSE(Received(",\"open").unPack(text, cursor));
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(cursor, 1);
}

TEST(PrimitiveDecoderTest, NumberAndStringFormKeepsEachOutputOnItsOwnFailure) {
  struct Case {
    const char* text;
    unsigned short number;
    const char* name;
  };
  // In the last case the number read consumes the quoted field, so the
  // string read that continues from there finds no quotes.
  const Case cases[] = {{",12,\"name\"", 12, "name"},
                        {",70000,\"name\"", 5, "name"},
                        {",\"name\"", 5, "old"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned short number = 5;
    std::string name = "old";
    Received(c.text).UnPack(number, name);
    EXPECT_EQ(number, c.number);
    EXPECT_EQ(name, c.name);
  }
}

// Positions are kept modulo 65536: such a text is walked wrongly, but never
// outside its bytes.
TEST(PrimitiveDecoderTest, TextLongerThanTheCursorRangeIsReadSafely) {
  const auto reply = Received(",1," + std::string(70000, 'x') + ",5,\"s\"");
  int value = 0;
  unsigned short cursor = 0;
  EXPECT_TRUE(reply.unPack(value, cursor));
  EXPECT_FALSE(reply.unPack(value, cursor));
  EXPECT_EQ(cursor, (3 + 70000) % 65536);
  EXPECT_TRUE(reply.unPack(value, cursor));
  EXPECT_EQ(value, 5);
  EXPECT_EQ(cursor, (3 + 70000 + 2) % 65536);

  std::string text;
  cursor = 65535;
  EXPECT_TRUE(reply.unPack(text, cursor));
  EXPECT_EQ(text, "s");
  EXPECT_EQ(cursor, (3 + 70000 + 6) % 65536);
}

}  // namespace
