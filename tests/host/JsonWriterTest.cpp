// The JSON writer against the JSON library's own dump: the same bytes for
// every string, number and shape a record can hold.
#include <DazoZazIdoRezeraro/host/JsonWriter.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace Core::GEOCOM::host {
namespace {

using nlohmann::ordered_json;

std::string Dump(const ordered_json& value) {
  return value.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

std::string Written(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

// Every byte alone, and every byte at every place of the first words, where
// the writer tests sixteen or eight bytes at a time and then the last ones.
TEST(JsonWriter, WritesEveryByteAsTheLibraryDoes) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::string alone(1, static_cast<char>(byte));
    EXPECT_EQ(Written(alone), Dump(alone)) << "byte " << byte;
    for (std::size_t length : {7u, 8u, 9u, 15u, 16u, 17u, 33u, 300u}) {
      for (std::size_t at :
           {std::size_t{0}, std::size_t{3}, length / 2, length - 1}) {
        std::string text(length, 'a');
        text[at] = static_cast<char>(byte);
        ASSERT_EQ(Written(text), Dump(text))
            << "byte " << byte << " at " << at << " of " << length;
      }
    }
  }
}

// A record's bytes go out in their escaped form, written in one pass: the
// same text as escaping them first and writing that as a string.
TEST(JsonWriter, WritesEscapedBytesAsTheirEscapedFormAsAString) {
  const auto escaped = [](std::string_view bytes) {
    std::string out;
    JsonWriter(out).EscapedBytes(bytes);
    return out;
  };
  for (int byte = 0; byte < 256; ++byte) {
    for (std::size_t length : {1u, 7u, 9u, 17u, 33u, 300u}) {
      for (std::size_t at : {std::size_t{0}, length / 2, length - 1}) {
        std::string bytes(length, 'a');
        bytes[at] = static_cast<char>(byte);
        ASSERT_EQ(escaped(bytes), Dump(EscapeBytes(bytes)))
            << "byte " << byte << " at " << at << " of " << length;
      }
    }
  }
}

// Keys written in the source are copied whole when they need no escape, so
// those that do, and keys that fall where the writer's gathered text is
// full, are held to the library as well.
TEST(JsonWriter, WritesKeysAsTheLibraryDoes) {
  std::string out;
  JsonWriter writer(out);
  writer.Begin()
      .Key("plain")
      .Integer(1)
      .Key("quote\"d")
      .Integer(2)
      .Key("back\\slash")
      .Integer(3)
      .Key("tab\t")
      .Integer(4)
      .Key("caf\xc3\xa9")
      .Integer(5)
      .Key("")
      .Integer(6)
      .Key("del\x7f")
      .Integer(7);
  std::vector<std::pair<std::string, ordered_json>> expected = {
      {"plain", 1},       {"quote\"d", 2}, {"back\\slash", 3}, {"tab\t", 4},
      {"caf\xc3\xa9", 5}, {"", 6},         {"del\x7f", 7}};
  // Enough short members to fill the gathered text several times, at every
  // offset of its end.
  for (int member = 0; member < 200; ++member) {
    const std::string value(static_cast<std::size_t>(member % 13), 'v');
    writer.Key("abcdefghijklmnopq").String(value);
    expected.emplace_back("abcdefghijklmnopq", value);
    writer.Key(std::to_string(member)).String(value);
    expected.emplace_back(std::to_string(member), value);
  }
  writer.End();
  std::string text = "{";
  for (const auto& [key, value] : expected) {
    if (text.size() > 1) text += ',';
    text += Dump(key) + ':' + Dump(value);
  }
  EXPECT_EQ(out, text + '}');
}

TEST(JsonWriter, WritesTextThatIsNotUtf8AsTheLibraryReplacesIt) {
  const std::string cases[] = {
      "caf\xc3\xa9",                   // UTF-8, kept
      "\xe2\x82\xac\xf0\x9f\x98\x80",  // three and four bytes, kept
      "a\xff"
      "b",                                           // never UTF-8
      "\xc3",                                        // cut short at the end
      "\xc3(",                                       // cut short before ASCII
      "\xed\xa0\x80",                                // a surrogate
      "\xc0\xaf",                                    // an overlong slash
      std::string(300, 'a') + "\xc3\xa9\xff\"\x01",  // after a long run
  };
  for (const std::string& text : cases) {
    EXPECT_EQ(Written(text), Dump(text)) << ordered_json(text).dump(
        -1, ' ', true, ordered_json::error_handler_t::replace);
    // Whatever it writes parses back.
    EXPECT_TRUE(ordered_json::accept(Written(text)));
  }
}

TEST(JsonWriter, WritesNumbersAsTheLibraryDoes) {
  const double doubles[] = {0.0,
                            -0.0,
                            0.004,
                            4.0,
                            1.6,
                            100.0,
                            0.7853981634,
                            1e-7,
                            1e-5,
                            0.0001,
                            1e15,
                            1e16,
                            1e20,
                            -2.5e-300,
                            123456789.125,
                            0.1 + 0.2,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest()};
  for (double value : doubles) {
    std::string out;
    AppendJsonNumber(out, value);
    EXPECT_EQ(out, Dump(value)) << value;
    EXPECT_EQ(ordered_json::parse(out).get<double>(), value) << out;
  }
  // NaN and the infinities are null, as the library writes them.
  for (double value : {std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
    std::string out;
    AppendJsonNumber(out, value);
    EXPECT_EQ(out, Dump(value)) << value;
  }
  for (std::int64_t value : {std::int64_t{0}, std::int64_t{-1},
                             std::numeric_limits<std::int64_t>::min(),
                             std::numeric_limits<std::int64_t>::max()}) {
    std::string out;
    JsonWriter(out).Integer(value);
    EXPECT_EQ(out, Dump(value));
  }
  // Under a hundred the digits come from a table: its ends and each width.
  for (std::uint64_t value :
       {std::uint64_t{0}, std::uint64_t{7}, std::uint64_t{9}, std::uint64_t{10},
        std::uint64_t{42}, std::uint64_t{99}, std::uint64_t{100},
        std::numeric_limits<std::uint64_t>::max()}) {
    std::string out;
    JsonWriter(out).Unsigned(value);
    EXPECT_EQ(out, Dump(value));
  }
}

// Doubles read from short decimals are written without the library's
// routine, and must still come out as it writes them: decimals it writes
// with more digits than they have, decimals at the edge of their double's
// spacing, powers of two (closer to the double below), the ends of the
// plain range and of fifteen digits, and their neighbours.
TEST(JsonWriter, WritesDecimalsAsTheLibraryDoes) {
  std::istringstream decimals(
      "5.75766 0.497752 1.6 0.07 0.1 0.3 0.001 0.0009999 0.00123 0.0001 "
      "99999999999999.9 99999999999999 100000000000000 12345678901234.5 "
      "123456789012345 1234567890123456 0.123456789012345 0.7853981634 "
      "4503599627370496 9007199254740993 0.5 1024 0.0009765625 0.001953125 "
      "12345678.123456 100 4 0.004 10000000000000.5 2.9999999999999996 "
      "0.30000000000000004 7.0000000000000009 "
      // Just below and at powers of ten, where the power guessed from the
      // double's power of two is one short; and whole numbers whose
      // fifteen-digit grid point ends in each count of zeros.
      "9.999999999999999 10 999.999999999999 1000 0.0099999999999999 0.01 "
      "9999999999999.99 10000000000000 8 16 0.015625 123456789 1234567 "
      "12345 123 1 120000000000000 1.5 0.05 0.25");
  for (std::string text; decimals >> text;) {
    const double read = std::strtod(text.c_str(), nullptr);
    for (double value : {read, -read, std::nextafter(read, 0.0),
                         std::nextafter(read, 1e300)}) {
      std::string out;
      AppendJsonNumber(out, value);
      EXPECT_EQ(out, Dump(value)) << text;
    }
  }
  // Decimals of 1 to 17 digits with the point anywhere in them.
  std::mt19937_64 random(25);
  for (int row = 0; row < 200000; ++row) {
    const std::size_t digits = 1 + random() % 17;
    std::string text = std::to_string(random() % 100000000000000000ULL);
    text.resize(std::min(text.size(), digits));
    const std::size_t point = random() % (text.size() + 4);
    text = point <= text.size()
               ? text.substr(0, point) + "." + text.substr(point) + "0"
               : "0." + std::string(point - text.size(), '0') + text;
    const double value = std::strtod(text.c_str(), nullptr);
    std::string out;
    AppendJsonNumber(out, value);
    ASSERT_EQ(out, Dump(value)) << text;
  }
}

// The longest numbers at every place of the text the writer gathers before
// it appends it: none cut, none written twice.
TEST(JsonWriter, WritesNumbersWhereverTheGatheredTextEnds) {
  for (std::size_t before = 0; before < 300; ++before) {
    const std::string key(before, 'k');
    std::string out;
    JsonWriter(out)
        .Begin()
        .Key(key)
        .Number(std::numeric_limits<double>::lowest())
        .Key("i")
        .Integer(std::numeric_limits<std::int64_t>::min())
        .Key("u")
        .Unsigned(std::numeric_limits<std::uint64_t>::max())
        .Key("d")
        .Number(-2.5e-300)
        .End();
    const ordered_json expected = {
        {key, std::numeric_limits<double>::lowest()},
        {"i", std::numeric_limits<std::int64_t>::min()},
        {"u", std::numeric_limits<std::uint64_t>::max()},
        {"d", -2.5e-300}};
    EXPECT_EQ(out, Dump(expected)) << before;
  }
}

// Objects, nested objects, every kind of value and the separators between
// them, including a record longer than the writer gathers at once.
TEST(JsonWriter, WritesObjectsAsTheLibraryDoes) {
  const Fields fields = {{"count", std::int64_t{-3}},
                         {"angle", 0.5},
                         {"on", true},
                         {"off", false},
                         {"name", std::string("a\"b\\c\x01")},
                         {"long", std::string(400, 'x')},
                         {"text", std::string("caf\xc3\xa9\xff")}};
  std::string out;
  JsonWriter writer(out);
  writer.Begin()
      .Key("empty")
      .Begin()
      .End()
      .Key("values")
      .Begin()
      .Members(fields)
      .End()
      .Key("none")
      .Optional(std::optional<double>())
      .Key("time")
      .Optional(std::optional<double>(2.5))
      .Key("code")
      .Optional(std::optional<unsigned short>(7))
      .Key("offset")
      .Optional(std::optional<int>(-7))
      .Key("null")
      .Null()
      .Key("bytes")
      .EscapedBytes("%R1Q,1:\r\n\"\\\xff")
      .Key(std::string(300, 'k'))
      .String("")
      .End();
  // Objects one after another at the outermost level are not separated.
  writer.Begin().Key("next").Bool(true).End();

  ordered_json values = ordered_json::object();
  for (const Field& field : fields) {
    std::visit([&](const auto& held) { values[field.name] = held; },
               field.value);
  }
  const ordered_json expected = {{"empty", ordered_json::object()},
                                 {"values", values},
                                 {"none", nullptr},
                                 {"time", 2.5},
                                 {"code", 7},
                                 {"offset", -7},
                                 {"null", nullptr},
                                 {"bytes", "%R1Q,1:\\r\\n\"\\\\\\xff"},
                                 {std::string(300, 'k'), ""}};
  EXPECT_EQ(out, Dump(expected) + Dump({{"next", true}}));
}

// Members composed beforehand read as if written in turn: first in an
// object, after a value (behind its comma), in an inner object, and
// wherever the gathered text ends.
TEST(JsonWriter, PutsComposedMembersAsIfWrittenInTurn) {
  std::string composed;
  JsonWriter(composed).Key("kind").String("reply").Key("connection");
  const auto write = [](JsonWriter& writer, const std::string* members,
                        std::size_t filler) {
    const auto opening = [&]() -> JsonWriter& {
      if (members != nullptr) return writer.Composed(*members);
      return writer.Key("kind").String("reply").Key("connection");
    };
    writer.Begin();
    opening().Unsigned(3).Key("pad").String(std::string(filler, 'p'));
    opening().Bool(false).Key("inner").Begin();
    opening().Null().End().End();
  };
  for (std::size_t filler : {0u, 200u, 214u, 230u, 250u, 300u}) {
    std::string put;
    std::string written;
    {
      JsonWriter writer(put);
      write(writer, &composed, filler);
    }
    {
      JsonWriter writer(written);
      write(writer, nullptr, filler);
    }
    EXPECT_EQ(put, written) << filler;
  }
  EXPECT_EQ(composed, R"("kind":"reply","connection":)");
}

// Lines written in place into an output's buffer read as the same lines
// written into a string, wherever the buffer fills: within a key, a string
// longer than the buffer, a number, text that is not UTF-8. The output
// hands its text on only when full and at Flush.
TEST(JsonWriter, WritesIntoAnOutputAsIntoAString) {
  struct Collected final : JsonOutput {
    using JsonOutput::JsonOutput;
    void Drain(std::string_view text) override {
      drained += text;
      ++drains;
    }
    std::string drained;
    int drains = 0;
  };
  const auto line = [](JsonWriter& writer, std::size_t filler) {
    writer.Begin()
        .Key("kind")
        .String("reply")
        .Key(std::string(filler % 40, 'k'))
        .String(std::string(filler, 'p'))
        .Key("bytes")
        .EscapedBytes("%R1P,0,1:0\r\n\xff")
        .Key("values")
        .Begin()
        .Key("angle")
        .Number(-1.2345678901234567e-300)
        .Key("name")
        .String("caf\xc3\xa9\xff")
        .Key("quoted")
        .String("a\"b")
        .End()
        .EndLine();
  };
  const std::size_t fillers[] = {0, 1, 7, 31, 200, 255, 256, 600};
  for (std::size_t capacity : {0u, 256u, 300u, 1000u}) {
    std::string expected;
    Collected output(capacity);
    for (std::size_t filler : fillers) {
      JsonWriter into(output);
      line(into, filler);
      const ordered_json values = {{"angle", -1.2345678901234567e-300},
                                   {"name", "caf\xc3\xa9\xff"},
                                   {"quoted", "a\"b"}};
      expected +=
          Dump({{"kind", "reply"},
                {std::string(filler % 40, 'k'), std::string(filler, 'p')},
                {"bytes", EscapeBytes("%R1P,0,1:0\r\n\xff")},
                {"values", values}}) +
          '\n';
    }
    const int drainsBeforeFlush = output.drains;
    output.Flush();
    EXPECT_EQ(output.drained, expected) << capacity;
    EXPECT_EQ(output.drains, drainsBeforeFlush + 1) << capacity;
    EXPECT_LT(static_cast<std::size_t>(drainsBeforeFlush),
              expected.size() / std::max<std::size_t>(capacity, 256) * 2 + 2)
        << capacity;
  }
  // A line that fills the buffer to its last byte waits for the next one.
  Collected full(256);
  JsonWriter(full).Begin().Key("k").String(std::string(247, 'f')).EndLine();
  EXPECT_EQ(full.drains, 0);
  full.Flush();
  EXPECT_EQ(full.drained, R"({"k":")" + std::string(247, 'f') + "\"}\n");
}

}  // namespace
}  // namespace Core::GEOCOM::host
