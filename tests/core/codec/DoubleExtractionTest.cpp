#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstring>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "support/Sentences.h"

namespace {

using test_support::Received;

// What the formatted extraction of a double leaves: its result and the bits
// of the output, which starts at a value no extraction produces.
struct Extracted {
  bool read;
  std::uint64_t bits;
};

constexpr double kSentinel = 42.5;

std::uint64_t Bits(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

Extracted ByStream(const std::string& field) {
  std::istringstream stream(field);
  stream.imbue(std::locale::classic());
  double value = kSentinel;
  stream >> value;
  return {!stream.fail(), Bits(value)};
}

Extracted ByDecoder(const std::string& field) {
  double value = kSentinel;
  unsigned short cursor = 0;
  const bool read = Received("," + field + ",9").unPack(value, cursor);
  return {read, Bits(value)};
}

void ExpectSameAsTheStream(const std::string& field) {
  const Extracted expected = ByStream(field);
  const Extracted actual = ByDecoder(field);
  EXPECT_EQ(actual.read, expected.read) << "field '" << field << "'";
  EXPECT_EQ(actual.bits, expected.bits) << "field '" << field << "'";
}

// The decoder reads doubles without a stream; every field of up to four
// characters from the characters that matter to a number, and the forms
// below, must come out exactly as the stream's extraction leaves them.
TEST(DoubleExtraction, EveryShortFieldReadsAsTheStreamReadsIt) {
  const std::string alphabet = " 019.+-eEx";
  std::vector<std::string> fields = {""};
  std::size_t from = 0;
  for (int length = 1; length <= 4; ++length) {
    const std::size_t to = fields.size();
    for (std::size_t i = from; i < to; ++i) {
      for (char c : alphabet) fields.push_back(fields[i] + c);
    }
    from = to;
  }
  for (std::size_t i = 1; i < fields.size(); ++i) {
    ExpectSameAsTheStream(fields[i]);
  }
}

TEST(DoubleExtraction, NumbersAtTheEdgesReadAsTheStreamReadsThem) {
  const char* const kFields[] = {
      "0.785398163",
      "-0.000245",
      "123456790",
      "42.0",
      "1.5e3",
      "1.5E-3",
      "+.5",
      "-.5e+2",
      "000.000",
      "0000123.4500",
      "1e308",
      "1.7976931348623157e308",
      "1.7976931348623159e308",
      "1e309",
      "-1e400",
      "4.9e-324",
      "2e-324",
      "1e-400",
      "2.2250738585072011e-308",
      "0x1A",
      "inf",
      "-inf",
      "nan",
      "infinity",
      "1.0000000000000000000000000000000000000000000000001",
      "9007199254740993",
      "0.1e",
      "1e+",
      "1e-",
      "1..2",
      "1.2.3",
      "1ee5",
      "1e5e5",
      "\t\v\f 7",
      "7 ",
      "1\x80",
      "\xff",
      "12abc",
      "1'5",
      "-",
      "+",
      ".",
      "e5",
      "-e5",
      "+-1",
      "--1",
      "0e0",
      "-0",
      "-0.0",
      // Longer than any field a reply carries: read through a stream.
      "0.000000000000000000000000000000000000000000000000000000000000001234",
      "1234567890123456789012345678901234567890123456789012345678901234567890",
      "                                                                    5",
  };
  for (const char* field : kFields) ExpectSameAsTheStream(field);
}

}  // namespace
