#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <climits>
#include <locale>
#include <string>
#include <thread>

#include "support/Sentences.h"

namespace {

using Core::GEOCOM::GeoComSentence;

// The fixed directive always writes six decimals; the plain one, used inside
// the mixed triple, six significant digits with trailing zeros dropped.
TEST(ScalarPackerTest, FixedDecimalsContrastWithSignificantDigits) {
  struct Case {
    double value;
    const char* fixed;
    const char* plain;
  };
  const Case cases[] = {
      {3.14159265, "3.141593", "3.14159"},
      {1234567.0, "1234567.000000", "1.23457e+06"},
      {-0.00000025, "-0.000000", "-2.5e-07"},
      {-0.0, "-0.000000", "-0"},
  };
  const GeoComSentence sentence;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(sentence.Pack(c.value), c.fixed);
    EXPECT_EQ(sentence.Pack(7L, c.value, true),
              std::string("7,") + c.plain + ",1");
  }
  EXPECT_EQ(sentence.Pack(2147483648L, 0.5, false), "-2147483648,0.5,0");
}

// Numbers, truth values and enumerations in decimal; texts quoted as they are.
TEST(ScalarPackerTest, SingleValuesRenderWithoutConversionOrEscaping) {
  const GeoComSentence sentence;
  EXPECT_EQ(sentence.Pack(static_cast<short>(SHRT_MIN)), "-32768");
  EXPECT_EQ(sentence.Pack(static_cast<unsigned short>(USHRT_MAX)), "65535");
  EXPECT_EQ(sentence.Pack(UINT_MAX), "4294967295");
  EXPECT_EQ(sentence.Pack(true) + sentence.Pack(false), "10");
  EXPECT_EQ(sentence.Pack(static_cast<Core::GEOCOM::MOT_MODE>(-7)), "-7");
  EXPECT_EQ(sentence.Pack(std::string()), "\"\"");
  EXPECT_EQ(sentence.Pack(std::string("a,\"b")), "\"a,\"b\"");
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
  const auto reply = test_support::Received(",1234.5");
  std::string fixed, plain;
  double number = 0.0;
  bool read = false;
  // A fresh thread, so that nothing the library keeps per thread predates the
  // host's locale.
  std::thread([&] {
    fixed = reply.Pack(1234.5);
    plain = reply.Pack(1234567L, 1234.5, true);
    read = reply.unPack(number);
  }).join();
  std::locale::global(previous);

  EXPECT_EQ(fixed, "1234.500000");
  EXPECT_EQ(plain, "1234567,1234.5,1");
  EXPECT_TRUE(read);
  EXPECT_EQ(number, 1234.5);
}

}  // namespace
