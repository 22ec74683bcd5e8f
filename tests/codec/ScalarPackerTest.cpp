#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <climits>
#include <locale>
#include <string>

#include "support/Sentences.h"

namespace {

using Core::GEOCOM::GeoComSentence;

struct DoubleCase {
  double value;
  const char* text;
};

// Six significant digits, trailing zeros dropped, exponent form outside
// 1e-4..1e5.
TEST(ScalarPackerTest, PlainDirectiveRendersDoublesWithSixSignificantDigits) {
  const DoubleCase cases[] = {{0.5, "0.5"},
                              {100.0, "100"},
                              {3.14159265, "3.14159"},
                              {123456.7, "123457"},
                              {1234567.0, "1.23457e+06"},
                              {0.0001, "0.0001"},
                              {0.00001, "1e-05"},
                              {1e20, "1e+20"},
                              {-0.0, "-0"},
                              {0.1, "0.1"},
                              {2.0, "2"}};
  const GeoComSentence sentence;
  for (const auto& c : cases) {
    EXPECT_EQ(sentence.Pack(0L, c.value, false),
              std::string("0,") + c.text + ",0")
        << c.text;
  }
}

TEST(ScalarPackerTest, FixedDirectiveRendersDoublesWithSixDecimals) {
  const DoubleCase cases[] = {
      {1.5, "1.500000"},        {3.14159265, "3.141593"},
      {0.0, "0.000000"},        {-0.0, "-0.000000"},
      {0.00000025, "0.000000"}, {-0.00000025, "-0.000000"},
      {2.0, "2.000000"},        {1e20, "100000000000000000000.000000"},
  };
  const GeoComSentence sentence;
  for (const auto& c : cases) {
    EXPECT_EQ(sentence.Pack(c.value), c.text) << c.text;
  }
}

TEST(ScalarPackerTest, IntegersTruthValuesAndEnumerationsRenderInDecimal) {
  using namespace Core::GEOCOM;
  const GeoComSentence sentence;
  EXPECT_EQ(sentence.Pack(static_cast<short>(SHRT_MIN)), "-32768");
  EXPECT_EQ(sentence.Pack(static_cast<unsigned short>(USHRT_MAX)), "65535");
  EXPECT_EQ(sentence.Pack(INT_MIN), "-2147483648");
  EXPECT_EQ(sentence.Pack(UINT_MAX), "4294967295");
  EXPECT_EQ(sentence.Pack(true) + sentence.Pack(false), "10");
  EXPECT_EQ(sentence.Pack(static_cast<ON_OFF_TYPE>(-7)), "-7");
  EXPECT_EQ(sentence.Pack(static_cast<MOT_MODE>(2)), "2");
}

TEST(ScalarPackerTest, MixedTripleRendersItsLongAsA32BitValue) {
  const GeoComSentence sentence;
  EXPECT_EQ(sentence.Pack(-1L, 1234567.0, true), "-1,1.23457e+06,1");
  EXPECT_EQ(sentence.Pack(2147483648L, 0.5, false), "-2147483648,0.5,0");
}

TEST(ScalarPackerTest, StringsAreQuotedWithoutEscaping) {
  const GeoComSentence sentence;
  EXPECT_EQ(sentence.Pack(std::string()), "\"\"");
  EXPECT_EQ(sentence.Pack(std::string("a,b")), "\"a,b\"");
  EXPECT_EQ(sentence.Pack(std::string("say \"hi\"")), "\"say \"hi\"\"");
  EXPECT_EQ(sentence.Pack(std::string("a\0b", 3)), std::string("\"a\0b\"", 5));
  EXPECT_EQ(sentence.Pack("abc"), "\"abc\"");
  EXPECT_EQ(sentence.Pack(static_cast<const char*>(nullptr)), "\"\"");
}

// A host locale with a decimal comma and digit grouping must not reach the
// wire in either direction.
class CommaDecimalPoint : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(ScalarPackerTest, HostGlobalLocaleDoesNotChangeRenderingOrReading) {
  const std::locale previous = std::locale::global(
      std::locale(std::locale::classic(), new CommaDecimalPoint));
  const GeoComSentence sentence;
  const std::string fixed = sentence.Pack(1234.5);
  const std::string plain = sentence.Pack(1234567L, 1234.5, true);
  const auto reply = test_support::Received(",1234.5,1234567");
  unsigned short cursor = 0;
  double number = 0.0;
  int whole = 0;
  const bool read = reply.unPack(number, cursor) && reply.unPack(whole, cursor);
  std::locale::global(previous);

  EXPECT_EQ(fixed, "1234.500000");
  EXPECT_EQ(plain, "1234567,1234.5,1");
  EXPECT_TRUE(read);
  EXPECT_EQ(number, 1234.5);
  EXPECT_EQ(whole, 1234567);
}

}  // namespace
