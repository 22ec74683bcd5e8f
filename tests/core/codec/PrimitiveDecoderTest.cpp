#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <tuple>

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
    bool request = false;  // a request's text has no leading comma
  };
  const Case cases[] = {
      {",5,,7", 0, true, 5, 2},
      {",5,,7", 2, false, kUntouched, 3},  // empty field: just past its comma
      {",5,,7", 3, true, 7, 5},
      {",5,,7", 5, false, kUntouched, 5},  // no comma left
      {",5,7", 1, true, 7, 4},     // a cursor inside a field skips its rest
      {",12abc", 0, true, 12, 6},  // the unread rest still counts
      {"5,7", 0, true, 7, 3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.from));
    int value = kUntouched;
    unsigned short cursor = c.from;
    EXPECT_EQ(Received(c.text, c.request).unPack(value, cursor), c.read);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(cursor, c.to);
  }
}

struct NumberCase {
  const char* field;
  bool read;
  double value;
};

// Reads ",<field>,9" with both forms: they must agree, and the cursor must
// end on the field's closing comma whatever the outcome. Only the 16-bit
// forms promise to leave their output untouched on failure.
template <typename Number>
void CheckNumbers(std::initializer_list<NumberCase> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    const auto reply = Received(std::string(",") + c.field + ",9");
    Number value = 42, single = 42;
    unsigned short cursor = 0;
    EXPECT_EQ(reply.unPack(value, cursor), c.read);
    EXPECT_EQ(reply.unPack(single), c.read);
    EXPECT_EQ(cursor, 1 + std::strlen(c.field));
    if (c.read || sizeof(Number) == 2) {
      const Number expected = c.read ? static_cast<Number>(c.value) : 42;
      EXPECT_EQ(value, expected);
      EXPECT_EQ(single, expected);
    }
  }
}

TEST(PrimitiveDecoderTest, NumbersAreReadWithinTheirWidths) {
  CheckNumbers<short>({{"-32768", true, -32768},
                       {"32767", true, 32767},
                       {"32768", false, 0},
                       {"-32769", false, 0},
                       {"x", false, 0}});
  CheckNumbers<unsigned short>(
      {{"65535", true, 65535}, {"65536", false, 0}, {"-1", false, 0}});
  const auto signed32 = {NumberCase{"2147483647", true, 2147483647.0},
                         NumberCase{"-2147483648", true, -2147483648.0},
                         NumberCase{"2147483648", false, 0},
                         NumberCase{"-2147483649", false, 0}};
  const auto unsigned32 = {NumberCase{"4294967295", true, 4294967295.0},
                           NumberCase{"4294967296", false, 0},
                           NumberCase{"abc", false, 0}};
  CheckNumbers<int>(signed32);
  CheckNumbers<long>(signed32);
  CheckNumbers<unsigned int>(unsigned32);
  CheckNumbers<unsigned long>(unsigned32);
  CheckNumbers<double>({{"1.5e3", true, 1500}, {".", false, 0}});
}

// A field of the wrong length fails with 0; a bad digit fails with what the
// other digit accumulated; no field at all leaves the output untouched.
TEST(PrimitiveDecoderTest, ByteFieldsReadTheirTwoMiddleHexDigits) {
  const std::tuple<std::string, bool, unsigned char> cases[] = {
      {"xa3x", true, 163}, {"'fF'", true, 255}, {"'a3", false, 0},
      {"'a3''", false, 0}, {"'g3'", false, 3},  {"'\3773'", false, 3},
      {"", false, 77}};
  for (const auto& [field, read, expected] : cases) {
    SCOPED_TRACE(field);
    unsigned char value = 77;
    unsigned short cursor = 0;
    EXPECT_EQ(Received("," + field + ",'01'").unPack(value, cursor), read);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(cursor, 1 + field.size());
  }
}

TEST(PrimitiveDecoderTest, StringReadsSkipFieldsAndKeepCommas) {
  std::string text;
  unsigned short cursor = 0;
  EXPECT_TRUE(Received(",5,\"AB\",7").unPack(text, cursor) && text == "AB");
  EXPECT_EQ(cursor, 7);  // on the comma before 7

  const auto withComma = Received(",\"a,b\",\"\"");
  cursor = 0;
  EXPECT_TRUE(withComma.unPack(text, cursor) && text == "a,b");
  EXPECT_TRUE(withComma.unPack(text, cursor) && text.empty());
  EXPECT_EQ(cursor, 9);

  text = "kept";
  cursor = 1;
  EXPECT_FALSE(Received(",\"open").unPack(text, cursor));
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(cursor, 1);
}

TEST(PrimitiveDecoderTest, NumberAndStringFormKeepsEachOutputOnItsOwnFailure) {
  // In the last case the number read consumes the quoted field, so the
  // string read that continues from there finds no quotes.
  const std::tuple<const char*, unsigned short, const char*> cases[] = {
      {",12,\"name\"", 12, "name"},
      {",70000,\"name\"", 5, "name"},
      {",\"name\"", 5, "old"}};
  for (const auto& [text, expectedNumber, expectedName] : cases) {
    SCOPED_TRACE(text);
    unsigned short number = 5;
    std::string name = "old";
    Received(text).UnPack(number, name);
    EXPECT_EQ(number, expectedNumber);
    EXPECT_EQ(name, expectedName);
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

  std::string text;
  cursor = 65535;
  EXPECT_TRUE(reply.unPack(text, cursor) && text == "s");
  EXPECT_EQ(cursor, (3 + 70000 + 6) % 65536);
}

}  // namespace
