// Reading and writing captures, and the transports under relays and
// sessions: each test names the fault it would catch.
#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Connect.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Transport.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/write.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace Core::GEOCOM::host {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

struct Read {
  std::vector<CaptureRecord> records;
  std::string failure;  // empty when the capture read to its end
};

void ExpectSame(const CaptureRecord& reused, const CaptureRecord& fresh) {
  EXPECT_EQ(reused.time, fresh.time);
  EXPECT_EQ(reused.connection, fresh.connection);
  EXPECT_EQ(reused.event, fresh.event);
  EXPECT_EQ(reused.direction, fresh.direction);
  EXPECT_EQ(reused.bytes, fresh.bytes);
  EXPECT_EQ(reused.note, fresh.note);
  EXPECT_EQ(reused.fault, fresh.fault);
  EXPECT_EQ(reused.line, fresh.line);
  EXPECT_EQ(reused.length, fresh.length);
}

// Reads the capture twice: by Next, and by Read into one record reused line
// after line, which must give the same records and the same failure.
Read ReadAll(const std::string& text) {
  std::istringstream in(text);
  std::istringstream again(text);
  CaptureReader reader(in);
  CaptureReader reusing(again);
  CaptureRecord reused;
  Read read;
  for (;;) {
    Result<std::optional<CaptureRecord>> next = reader.Next();
    const Result<bool> into = reusing.Read(reused);
    if (!next) {
      read.failure = next.error().message;
      EXPECT_FALSE(into) << read.failure;
      if (!into) {
        EXPECT_EQ(into.error().message, read.failure);
      }
      return read;
    }
    EXPECT_TRUE(into && *into == next->has_value()) << text.substr(0, 200);
    if (!*next) return read;
    ExpectSame(reused, **next);
    read.records.push_back(std::move(**next));
  }
}

std::string AllBytes(const Read& read) {
  std::string bytes;
  for (const CaptureRecord& record : read.records) bytes += record.bytes;
  return bytes;
}

// Raw captures are their bytes, whatever they start with.
TEST(CaptureReader, RawBytesComeBackWhole) {
  const struct {
    const char* fault;
    std::string bytes;
  } cases[] = {
      {"a raw capture starting with { losing its newline",
       "{not a header}\n%R1Q,5003:\r\n"},
      {"a raw capture starting with { losing its last byte", "{\"a\":1}"},
      {"a JSON header of another format taken for a capture",
       "{\"format\":\"other\",\"version\":1}\nrest"},
      {"raw bytes cut at 64 KiB losing some", std::string(200000, 'x')},
  };
  for (const auto& raw : cases) {
    EXPECT_EQ(AllBytes(ReadAll(raw.bytes)), raw.bytes) << raw.fault;
  }
}

const std::string kHeader2 = "{\"format\":\"geocom-capture\",\"version\":2}\n";
const std::string kHeader1 = "{\"format\":\"geocom-capture\",\"version\":1}\n";

TEST(CaptureReader, RefusesWhatItCannotReadAfterTheRecordsBefore) {
  const std::string record =
      "{\"time\":1,\"direction\":\"to-host\",\"bytes\":\"ab\"}\n";
  const struct {
    const char* fault;
    std::string capture;
    std::size_t records;
    const char* failure;
  } cases[] = {
      {"a cut last line dropping the records before it",
       kHeader2 + record + "{\"time\":2,\"bytes\":\"a", 1,
       "line 3: the last line is cut short"},
      {"a malformed line accepted", kHeader2 + record + "[1]\n", 1,
       "line 3: not a JSON object"},
      {"an unknown version read",
       "{\"format\":\"geocom-capture\",\"version\":3}\n", 0,
       "capture version 3 is not supported (this reads versions 1 to 2)"},
      {"an unknown event taken for bytes",
       kHeader2 + "{\"event\":\"reboot\",\"connection\":1}\n", 0,
       "line 2: unknown event \"reboot\""},
      {"a negative connection number wrapped",
       kHeader2 + "{\"connection\":-1,\"bytes\":\"\"}\n", 0,
       "line 2: \"connection\" is not a connection number"},
  };
  for (const auto& bad : cases) {
    const Read read = ReadAll(bad.capture);
    EXPECT_EQ(read.records.size(), bad.records) << bad.fault;
    EXPECT_EQ(read.failure, bad.failure) << bad.fault;
  }
}

// The values a line gives are those of its own keys, of the types they must
// have; anything else is refused naming the key, or passed over.
TEST(CaptureReader, TakesOnlyTheLinesOwnKeysOfTheirTypes) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const struct {
    const char* fault;
    std::string line;
    std::string bytes;
    std::optional<double> time;
    unsigned connection;
    std::string failure;
  } cases[] = {
      {"a whole connection number written with a fraction refused",
       "{\"connection\":3.0,\"bytes\":\"a\"}", "a", std::nullopt, 3, ""},
      {"a connection number with a fraction truncated",
       "{\"connection\":1.5,\"bytes\":\"a\"}", "", std::nullopt, 0,
       "line 2: \"connection\" is not a connection number"},
      {"a connection number in a string taken",
       "{\"connection\":\"1\",\"bytes\":\"a\"}", "", std::nullopt, 0,
       "line 2: \"connection\" is not a connection number"},
      {"a connection number past 32 bits wrapped",
       "{\"connection\":4294967296,\"bytes\":\"a\"}", "", std::nullopt, 0,
       "line 2: \"connection\" is not a connection number"},
      {"the largest connection number refused",
       "{\"connection\":4294967295,\"bytes\":\"a\"}", "a", std::nullopt,
       4294967295u, ""},
      {"a writer's ten-digit connection number past 32 bits wrapped",
       "{\"time\":1,\"connection\":4294967297,\"direction\":\"to-host\","
       "\"bytes\":\"a\"}",
       "", std::nullopt, 0,
       "line 2: \"connection\" is not a connection number"},
      {"a writer's ten-digit connection number misread",
       "{\"time\":1,\"connection\":4294967295,\"direction\":\"to-host\","
       "\"bytes\":\"a\"}",
       "a", 1.0, 4294967295u, ""},
      {"keys inside a value taken for the line's",
       "{\"bytes\":\"a\",\"x\":{\"bytes\":\"b\",\"time\":5,\"connection\":-1}}",
       "a", std::nullopt, 0, ""},
      {"a time in a string taken", "{\"time\":\"5\",\"bytes\":\"a\"}", "a",
       std::nullopt, 0, ""},
      {"a whole time lost", "{\"time\":5,\"bytes\":\"a\"}", "a", 5.0, 0, ""},
      {"bytes in an array taken", "{\"bytes\":[\"a\"]}", "", std::nullopt, 0,
       "line 2: \"bytes\" is missing or not a string"},
      {"a later value of a key not replacing an earlier one",
       "{\"bytes\":\"a\",\"bytes\":7}", "", std::nullopt, 0,
       "line 2: \"bytes\" is missing or not a string"},
      {"a value nested deep overflowing the stack",
       "{\"x\":" + deep + ",\"bytes\":\"a\"}", "a", std::nullopt, 0, ""},
      {"bytes after the object accepted", "{\"bytes\":\"a\"} x", "",
       std::nullopt, 0, "line 2: not a JSON object"},
      // Lines as a writer gives them are read without the general parser;
      // every other shape must read as that parser reads it.
      {"a writer's time rounded otherwise than the parser rounds it",
       "{\"time\":0.004000,\"bytes\":\"a\"}", "a", 0.004, 0, ""},
      {"a time of more digits than a double holds misread",
       "{\"time\":0.12345678901234567891,\"bytes\":\"a\"}", "a",
       0.12345678901234567891, 0, ""},
      {"a time of fifteen digits misread",
       "{\"time\":123456789.012345,\"bytes\":\"a\"}", "a", 123456789.012345, 0,
       ""},
      {"a negative time losing its sign", "{\"time\":-1.5,\"bytes\":\"a\"}",
       "a", -1.5, 0, ""},
      {"a time of sixteen digits rounded twice",
       "{\"time\":1234567890.123457,\"bytes\":\"a\"}", "a", 1234567890.123457,
       0, ""},
      {"a time of fifteen digits after the point misread",
       "{\"time\":0.123456789012345,\"bytes\":\"a\"}", "a", 0.123456789012345,
       0, ""},
      {"a whole part's digits lost before the point",
       "{\"time\":9876.5,\"bytes\":\"a\"}", "a", 9876.5, 0, ""},
      {"a time with an exponent refused", "{\"time\":4E-3,\"bytes\":\"a\"}",
       "a", 0.004, 0, ""},
      {"a time past 64 bits lost",
       "{\"time\":18446744073709551616,\"bytes\":\"a\"}", "a",
       18446744073709551616.0, 0, ""},
      {"a number with a leading zero accepted", "{\"time\":01,\"bytes\":\"a\"}",
       "", std::nullopt, 0, "line 2: not a JSON object"},
      {"a number ending in its point accepted", "{\"time\":1.,\"bytes\":\"a\"}",
       "", std::nullopt, 0, "line 2: not a JSON object"},
      {"white space between the tokens refused",
       "{ \"time\" : 2 , \"bytes\" : \"a\" }", "a", 2.0, 0, ""},
      {"a line ending in CR refused", "{\"bytes\":\"a\"}\r", "a", std::nullopt,
       0, ""},
      {"an escaped quote or backslash misread",
       "{\"bytes\":\"\\\"x\\\\r\\\\\\\\\"}", "\"x\r\\", std::nullopt, 0, ""},
      {"a JSON escape other than quote and backslash misread",
       "{\"bytes\":\"\\u0041\\/\"}", "A/", std::nullopt, 0, ""},
      {"an escaped key not named", "{\"by\\u0074es\":\"a\"}", "a", std::nullopt,
       0, ""},
      {"a raw control byte in a string accepted", "{\"bytes\":\"a\tb\"}", "",
       std::nullopt, 0, "line 2: not a JSON object"},
      {"text that is not ASCII misread", "{\"bytes\":\"\xc3\xa9\x7f\"}",
       "\xc3\xa9\x7f", std::nullopt, 0, ""},
      {"an invalid escape before the closing brace accepted",
       "{\"bytes\":\"a\\}", "", std::nullopt, 0, "line 2: not a JSON object"},
      {"an invalid escape before a comma accepted", "{\"bytes\":\"a\\,\"x\":1}",
       "", std::nullopt, 0, "line 2: not a JSON object"},
      {"a comma before the closing brace accepted", "{\"bytes\":\"a\",}", "",
       std::nullopt, 0, "line 2: not a JSON object"},
      {"an empty object taken for bytes", "{}", "", std::nullopt, 0,
       "line 2: \"bytes\" is missing or not a string"},
      {"a connection written as minus zero refused",
       "{\"connection\":-0,\"bytes\":\"a\"}", "a", std::nullopt, 0, ""},
      {"a key that only starts as a known one taken for it",
       "{\"bytesx\":\"b\",\"timex\":5,\"bytes\":\"a\"}", "a", std::nullopt, 0,
       ""},
      {"a key cut short taken for a known one",
       "{\"byte\":\"b\",\"tim\":5,\"bytes\":\"a\"}", "a", std::nullopt, 0, ""},
      {"a key with an escaped quote after a known name taken for it",
       "{\"bytes\\\"\":\"b\",\"bytes\":\"a\"}", "a", std::nullopt, 0, ""},
      {"a line cut inside a known key accepted", "{\"bytes\":\"a\",\"time", "",
       std::nullopt, 0, "line 2: not a JSON object"},
      {"keys in the reverse of a writer's order missed",
       "{\"fault\":\"f\",\"note\":\"n\",\"bytes\":\"a\",\"direction\":"
       "\"to-host\",\"connection\":7,\"time\":2.5}",
       "a", 2.5, 7, ""},
      {"a key again after the others taking the first value",
       "{\"time\":1.5,\"connection\":2,\"bytes\":\"b\",\"time\":3.5,"
       "\"bytes\":\"a\"}",
       "a", 3.5, 2, ""},
      {"a string value of an unknown key taken",
       "{\"other\":\"\\\"\",\"bytes\":\"a\",\"connection\":7}", "a",
       std::nullopt, 7, ""},
  };
  for (const auto& line : cases) {
    const Read read = ReadAll(kHeader2 + line.line + "\n");
    EXPECT_EQ(read.failure, line.failure) << line.fault;
    if (!line.failure.empty()) continue;
    ASSERT_EQ(read.records.size(), 1u) << line.fault;
    EXPECT_EQ(read.records[0].bytes, line.bytes) << line.fault;
    EXPECT_EQ(read.records[0].time, line.time) << line.fault;
    EXPECT_EQ(read.records[0].connection, line.connection) << line.fault;
  }
}

// Traffic lines in a writer's own shape, and lines that differ from it in
// one member, read as the general reading reads them.
TEST(CaptureReader, ReadsTrafficLinesOfAWritersShape) {
  const auto line = [](std::string time, std::string connection,
                       std::string direction, std::string rest) {
    return "{\"time\":" + time + ",\"connection\":" + connection +
           ",\"direction\":\"" + direction + "\",\"bytes\":" + rest;
  };
  const std::string bytes = "\"%R1P,0,1:0\\\\r\\\\n\"}";
  const struct {
    const char* fault;
    std::string line;
    std::optional<double> time;
    unsigned connection;
    CaptureDirection direction;
    std::string failure;
  } cases[] = {
      {"a writer's line misread", line("1.500000", "3", "to-host", bytes), 1.5,
       3, CaptureDirection::kToHost, ""},
      {"the other direction misread",
       line("0.004000", "0", "to-instrument", bytes), 0.004, 0,
       CaptureDirection::kToInstrument, ""},
      {"a direction that only starts as a known one taken for it",
       line("1.5", "3", "to-hostx", bytes), 1.5, 3, CaptureDirection::kUnknown,
       ""},
      {"a direction cut short taken for a known one",
       line("1.5", "3", "to-", bytes), 1.5, 3, CaptureDirection::kUnknown, ""},
      {"a whole time refused", line("7", "3", "to-host", bytes), 7.0, 3,
       CaptureDirection::kToHost, ""},
      {"a time with a leading zero accepted",
       line("01.5", "3", "to-host", bytes), std::nullopt, 0,
       CaptureDirection::kUnknown, "line 2: not a JSON object"},
      {"a time ending in its point accepted", line("1.", "3", "to-host", bytes),
       std::nullopt, 0, CaptureDirection::kUnknown,
       "line 2: not a JSON object"},
      {"a time with two points accepted", line("1.5.3", "3", "to-host", bytes),
       std::nullopt, 0, CaptureDirection::kUnknown,
       "line 2: not a JSON object"},
      {"a time below one with its zero refused",
       line("0.5", "3", "to-host", bytes), 0.5, 3, CaptureDirection::kToHost,
       ""},
      {"a negative time misread", line("-1.5", "3", "to-host", bytes), -1.5, 3,
       CaptureDirection::kToHost, ""},
      {"a time with an exponent misread", line("1.5e3", "3", "to-host", bytes),
       1500.0, 3, CaptureDirection::kToHost, ""},
      {"a time starting at its point accepted",
       line(".5", "3", "to-host", bytes), std::nullopt, 0,
       CaptureDirection::kUnknown, "line 2: not a JSON object"},
      {"a time of sixteen digits rounded twice",
       line("1234567890.123457", "3", "to-host", bytes), 1234567890.123457, 3,
       CaptureDirection::kToHost, ""},
      {"a connection with a leading zero accepted",
       line("1.5", "03", "to-host", bytes), std::nullopt, 0,
       CaptureDirection::kUnknown, "line 2: not a JSON object"},
      {"a connection of nine digits misread",
       line("1.5", "123456789", "to-host", bytes), 1.5, 123456789u,
       CaptureDirection::kToHost, ""},
      {"the largest connection number refused",
       line("1.5", "4294967295", "to-host", bytes), 1.5, 4294967295u,
       CaptureDirection::kToHost, ""},
      {"a connection number past 32 bits wrapped",
       line("1.5", "4294967296", "to-host", bytes), std::nullopt, 0,
       CaptureDirection::kUnknown,
       "line 2: \"connection\" is not a connection number"},
      {"a member after the bytes lost",
       line("1.5", "3", "to-host", "\"a\",\"time\":2.5}"), 2.5, 3,
       CaptureDirection::kToHost, ""},
      {"bytes after the object accepted",
       line("1.5", "3", "to-host", bytes + "x"), std::nullopt, 0,
       CaptureDirection::kUnknown, "line 2: not a JSON object"},
      {"a line without its closing brace accepted",
       line("1.5", "3", "to-host", "\"a\""), std::nullopt, 0,
       CaptureDirection::kUnknown, "line 2: not a JSON object"},
  };
  for (const auto& row : cases) {
    const Read read = ReadAll(kHeader2 + row.line + "\n");
    EXPECT_EQ(read.failure, row.failure) << row.fault;
    if (!row.failure.empty()) continue;
    ASSERT_EQ(read.records.size(), 1u) << row.fault;
    EXPECT_EQ(read.records[0].time, row.time) << row.fault;
    EXPECT_EQ(read.records[0].connection, row.connection) << row.fault;
    EXPECT_EQ(read.records[0].direction, row.direction) << row.fault;
  }
  // The bytes, with their escapes, as the general reading gives them.
  const Read read = ReadAll(
      kHeader2 + line("1.5", "3", "to-host", "\"a\\\"b\\\\x07\\\\r\\\\n\"}") +
      "\n");
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_EQ(read.records[0].bytes, "a\"b\x07\r\n");
  // A line's bytes are its own after a longer line's.
  const Read twice = ReadAll(
      kHeader2 + line("1.5", "3", "to-host", "\"0123456789abcdef\\\\r\"}") +
      "\n" + line("1.6", "3", "to-host", "\"ab\"}") + "\n");
  ASSERT_EQ(twice.records.size(), 2u);
  EXPECT_EQ(twice.records[0].bytes, "0123456789abcdef\r");
  EXPECT_EQ(twice.records[1].bytes, "ab");
}

// A writer's line has its bytes read in one pass, both layers of escapes
// undone together; the same line with a space in it goes the general way.
TEST(CaptureReader, ReadsAWritersBytesAsTheGeneralReadingDoes) {
  const struct {
    const char* fault;
    std::string bytes;  // the JSON string, quotes included
    std::string expected;
    std::string failure;
  } cases[] = {
      {"plain bytes misread", R"("%R1Q,5003,7:")", "%R1Q,5003,7:", ""},
      {"no bytes misread", R"("")", "", ""},
      {"a quote lost", R"("a\"b")", "a\"b", ""},
      {"a CR escape misread", R"("a\\r")", "a\r", ""},
      {"an LF escape misread", R"("\\nb")", "\nb", ""},
      {"a tab escape misread", R"("\\t")", "\t", ""},
      {"a byte escape misread", R"("\\x07\\xff\\x5c")", "\x07\xff\\", ""},
      {"a backslash misread", R"("a\\\\b")", "a\\b", ""},
      {"escapes in a row misread", R"("\\r\\n\"\\\\\\x00")",
       std::string("\r\n\"\\\0", 5), ""},
      {"a long run before an escape cut", R"("0123456789abcdefghij\\r\\n")",
       "0123456789abcdefghij\r\n", ""},
      {"an upper-case hex digit taken", R"("\\xA0")", "",
       "line 2: \"bytes\" holds a malformed escape"},
      {"a byte escape cut short taken", R"("\\x0")", "",
       "line 2: \"bytes\" holds a malformed escape"},
      {"a byte escape of no hex taken", R"("\\xg0")", "",
       "line 2: \"bytes\" holds a malformed escape"},
      {"an unknown escape taken", R"("\\q")", "",
       "line 2: \"bytes\" holds a malformed escape"},
      {"a backslash alone at the end taken", R"("a\\")", "",
       "line 2: \"bytes\" holds a malformed escape"},
      {"a backslash before a quote taken", R"("\\\"")", "",
       "line 2: \"bytes\" holds a malformed escape"},
      {"a JSON LF refused", R"("a\nb")", "a\nb", ""},
      {"a JSON unicode escape refused", R"("\u0041\\r")", "A\r", ""},
      {"a JSON slash escape refused", R"("\/")", "/", ""},
      {"a string cut at its backslash accepted", R"("a\)", "",
       "line 2: not a JSON object"},
      {"a string without its end accepted", R"("ab)", "",
       "line 2: not a JSON object"},
      {"a control byte accepted", "\"a\x01\"", "", "line 2: not a JSON object"},
  };
  const auto line = [](const std::string& start, const std::string& bytes) {
    return kHeader2 + start +
           R"("time":1.5,"connection":3,"direction":"to-host","bytes":)" +
           bytes + "}\n";
  };
  for (const auto& row : cases) {
    const Read written = ReadAll(line("{", row.bytes));
    const Read general = ReadAll(line("{ ", row.bytes));
    EXPECT_EQ(written.failure, row.failure) << row.fault;
    EXPECT_EQ(general.failure, row.failure) << row.fault;
    if (!row.failure.empty()) continue;
    ASSERT_EQ(written.records.size(), 1u) << row.fault;
    ASSERT_EQ(general.records.size(), 1u) << row.fault;
    EXPECT_EQ(written.records[0].bytes, row.expected) << row.fault;
    EXPECT_EQ(general.records[0].bytes, row.expected) << row.fault;
    EXPECT_EQ(written.records[0].direction, CaptureDirection::kToHost)
        << row.fault;
  }
}

// A record read into one already holding every member leaves none of the
// earlier line's members behind (ReadAll compares each with a fresh one).
TEST(CaptureReader, ReadIntoAUsedRecordKeepsNothingOfTheLineBefore) {
  const std::string full =
      "{\"time\":1.5,\"connection\":4,\"direction\":\"to-host\","
      "\"bytes\":\"%R1P\\\\r\",\"note\":\"n\\\\x01\",\"fault\":\"f\"}\n";
  const std::string between[] = {
      "{\"bytes\":\"b\"}\n",
      "{\"connection\":4,\"event\":\"close\"}\n",
      "{\"bytes\":\"\",\"note\":\"a\\\\q\"}\n",
      "{\"time\":" + std::string(kMaxCaptureLine, '1') + "}\n",
  };
  for (const std::string& line : between) {
    const Read read = ReadAll(kHeader2 + full + line + full);
    EXPECT_EQ(read.failure, "") << line.substr(0, 60);
    ASSERT_EQ(read.records.size(), 3u) << line.substr(0, 60);
    EXPECT_EQ(read.records[0].note, "n\x01");
    EXPECT_EQ(read.records[2].bytes, "%R1P\r");
  }
  // A raw capture read into a record left from a capture line.
  std::istringstream capture(kHeader2 + full);
  std::istringstream raw("%R1Q,1:\r\n");
  CaptureReader lines(capture);
  CaptureReader bytes(raw);
  CaptureRecord record;
  ASSERT_TRUE(lines.Read(record).value());
  ASSERT_TRUE(bytes.Read(record).value());
  CaptureRecord fresh;
  fresh.bytes = "%R1Q,1:\r\n";
  ExpectSame(record, fresh);
  EXPECT_FALSE(bytes.Read(record).value());
}

// A header with a version this reader cannot take names it as written.
TEST(CaptureReader, NamesAnUnreadableVersionAsWritten) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"2\"", "\"2\""},
      {"2.0", "2.0"},
      {"2.50,\"time\":1.25", "2.50"},
      {"true", "true"},
      {"0", "0"},
      {"null", "null"},
      {"[2]", "[...]"},
      {"18446744073709551615", "18446744073709551615"},
  };
  for (const auto& [written, named] : cases) {
    const Read read = ReadAll(
        "{\"format\":\"geocom-capture\",\"version\":" + written + "}\n");
    EXPECT_EQ(read.failure, "capture version " + named +
                                " is not supported (this reads versions 1 "
                                "to 2)")
        << written;
  }
  EXPECT_EQ(ReadAll("{\"format\":\"geocom-capture\"}\n").failure,
            "capture version (none) is not supported (this reads versions 1 "
            "to 2)");
}

// A line too long to read is one record of its own, whatever piece of the
// input its end falls in, and the lines after it are read as before.
TEST(CaptureReader, PassesOverALongLineAndReadsOn) {
  const std::string record = "{\"bytes\":\"ab\"}\n";
  const auto line = [](std::size_t length) {
    return "{\"bytes\":\"" + std::string(length - 12, 'a') + "\"}";
  };
  const struct {
    const char* fault;
    std::string capture;
    std::size_t length;  // of the long line; 0: none is long
    std::uint64_t line;  // its number
    std::size_t recordsAfter;
  } cases[] = {
      {"a line at the cap taken for a long one",
       kHeader2 + line(kMaxCaptureLine) + "\n" + record, 0, 0, 2},
      {"a line one past the cap read",
       kHeader2 + line(kMaxCaptureLine + 1) + "\n" + record + record,
       kMaxCaptureLine + 1, 2, 2},
      {"a line ending pieces after the cap losing the lines after",
       kHeader2 + line(2 * kMaxCaptureLine + 5) + "\n" + record,
       2 * kMaxCaptureLine + 5, 2, 1},
      {"a long last line without its newline lost",
       kHeader2 + record + line(kMaxCaptureLine + 100), kMaxCaptureLine + 100,
       3, 0},
  };
  for (const auto& long_ : cases) {
    const Read read = ReadAll(long_.capture);
    EXPECT_EQ(read.failure, "") << long_.fault;
    std::size_t after = 0;
    const CaptureRecord* passed = nullptr;
    for (const CaptureRecord& each : read.records) {
      if (passed != nullptr) ++after;
      if (each.event == CaptureEvent::kLongLine) passed = &each;
    }
    if (long_.length == 0) {
      EXPECT_EQ(passed, nullptr) << long_.fault;
      EXPECT_EQ(read.records.size(), long_.recordsAfter) << long_.fault;
      continue;
    }
    ASSERT_NE(passed, nullptr) << long_.fault;
    EXPECT_EQ(passed->length, long_.length) << long_.fault;
    EXPECT_EQ(passed->line, long_.line) << long_.fault;
    EXPECT_EQ(passed->bytes, line(kMaxCaptureLine).substr(0, kLongLineStart))
        << long_.fault;
    EXPECT_EQ(after, long_.recordsAfter) << long_.fault;
  }
}

// A writer handed a reader's long-line mark writes nothing for it: it holds
// no traffic, and a reader would not take it back.
TEST(CaptureWriter, LeavesOutLongLineMarks) {
  std::ostringstream out;
  CaptureWriter writer(out);
  CaptureRecord mark;
  mark.event = CaptureEvent::kLongLine;
  mark.bytes = "{\"time\":1";
  EXPECT_TRUE(writer.Write(mark));
  EXPECT_EQ(out.str(), kHeader2);
}

// A stream that failed (a full disk) fails every record after it, the
// marks a reader makes included, though the stream is good again.
TEST(CaptureWriter, AFailedStreamFailsEveryRecordAfter) {
  std::ostringstream out;
  CaptureWriter writer(out);
  CaptureRecord record;
  record.bytes = "%R1Q,1:\r\n";
  EXPECT_TRUE(writer.Write(record));
  out.setstate(std::ios::badbit);
  EXPECT_FALSE(writer.Write(record));
  out.clear();
  EXPECT_FALSE(writer.Write(record));
  CaptureRecord mark;
  mark.event = CaptureEvent::kLongLine;
  EXPECT_FALSE(writer.Write(mark));
  EXPECT_FALSE(writer.Ok());
}

// Version 1 relay captures marked connections with notes; version 2 with
// events. Both must open and close connections for the decoder.
TEST(CaptureReader, ReadsConnectionsOfBothVersions) {
  const Read v1 = ReadAll(
      kHeader1 +
      "{\"time\":0,\"direction\":\"unknown\",\"bytes\":\"\",\"note\":\"host "
      "connected from 127.0.0.1:5\"}\n"
      "{\"time\":1,\"direction\":\"to-host\",\"bytes\":\"\\\\r\"}\n"
      "{\"time\":2,\"direction\":\"unknown\",\"bytes\":\"\",\"note\":\"host "
      "disconnected\"}\n");
  ASSERT_EQ(v1.records.size(), 3u) << v1.failure;
  EXPECT_EQ(v1.records[0].event, CaptureEvent::kOpen);
  EXPECT_EQ(v1.records[1].bytes, "\r");
  EXPECT_EQ(v1.records[1].direction, CaptureDirection::kToHost);
  EXPECT_EQ(v1.records[2].event, CaptureEvent::kClose);

  std::stringstream written;
  CaptureWriter writer(written);
  writer.Open(4, "host");
  const TrafficTap tap = writer.Tap(CaptureDirection::kToInstrument);
  tap({TrafficDirection::kReceived, "\x01\"\\",
       std::chrono::system_clock::now(), 4});
  writer.Close(4);
  const Read v2 = ReadAll(written.str());
  ASSERT_EQ(v2.records.size(), 3u) << v2.failure;
  EXPECT_EQ(v2.records[0].event, CaptureEvent::kOpen);
  EXPECT_EQ(v2.records[0].note, "host");
  EXPECT_EQ(v2.records[1].connection, 4u);
  EXPECT_EQ(v2.records[1].bytes, "\x01\"\\");
  // A host's received bytes came from the instrument.
  EXPECT_EQ(v2.records[1].direction, CaptureDirection::kToHost);
  EXPECT_EQ(v2.records[2].event, CaptureEvent::kClose);
}

// Catches a writer that lets time run backwards when a tap's clock and the
// writer's own disagree.
TEST(CaptureWriter, TimeNeverRunsBackwards) {
  std::stringstream written;
  CaptureWriter writer(written);
  CaptureRecord later;
  later.time = 5.0;
  writer.Write(later);
  const TrafficTap tap = writer.Tap(CaptureDirection::kToHost);
  tap({TrafficDirection::kSent, "x", std::chrono::system_clock::now(), 0});
  const Read read = ReadAll(written.str());
  ASSERT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.records[1].time, 5.0);
  EXPECT_EQ(read.records[1].direction, CaptureDirection::kToHost);
}

// Catches the LF after noise left out of the noise count when it arrives in
// a piece of its own.
TEST(SentenceStream, ALoneLfAfterNoiseIsCounted) {
  SentenceStream stream;
  stream.Append("noise\r");
  stream.Append("\n");
  EXPECT_EQ(stream.Counts().noiseBytes, 7u);
}

// Catches a reset connection reported as an I/O error instead of closed.
TEST(Transport, AResetIsThePeerClosing) {
  asio::io_context io;
  tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  tcp::socket client(io);
  client.connect(acceptor.local_endpoint());
  tcp::socket server = acceptor.accept();
  // Closing with a zero linger sends a reset instead of an end of stream.
  server.set_option(asio::socket_base::linger(true, 0));
  server.close();
  char byte = 0;
  boost::system::error_code error;
  client.read_some(asio::buffer(&byte, 1), error);
  EXPECT_EQ(error, asio::error::connection_reset);
  EXPECT_TRUE(PeerClosed(error));
  EXPECT_TRUE(PeerClosed(asio::error::eof));
  EXPECT_FALSE(PeerClosed(asio::error::operation_aborted));
  EXPECT_FALSE(PeerClosed(asio::error::timed_out));
}

// Catches a half-close that a socket transport cannot pass on.
TEST(Transport, ASocketPassesItsHalfCloseOn) {
  asio::io_context io;
  tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  tcp::socket client(io);
  client.connect(acceptor.local_endpoint());
  StreamTransport<tcp::socket> transport(acceptor.accept(), "peer");
  EXPECT_TRUE(transport.ShutdownSend());
  char byte = 0;
  boost::system::error_code error;
  client.read_some(asio::buffer(&byte, 1), error);
  EXPECT_EQ(error, asio::error::eof);
}

// Catches an unbounded connect, and a failure that does not name the
// address and the bound: a listener whose queue is full never answers.
TEST(Connect, ASilentPeerEndsAtTheBound) {
  asio::io_context io;
  tcp::acceptor full(io, {asio::ip::address_v4::loopback(), 0});
  full.listen(0);
  // Connections that fill the queue, pending or made: the listener never
  // accepts them.
  std::vector<tcp::socket> queued;
  for (int i = 0; i < 4; ++i) {
    queued.emplace_back(io);
    queued.back().async_connect(full.local_endpoint(),
                                [](const boost::system::error_code&) {});
  }
  const Endpoint endpoint{"127.0.0.1", full.local_endpoint().port()};
  boost::system::error_code outcome;
  bool completed = false;
  AsyncConnectTcp(io.get_executor(), endpoint, std::chrono::milliseconds(200),
                  [&](const boost::system::error_code& error, tcp::socket) {
                    outcome = error;
                    completed = true;
                  });
  const auto giveUp =
      std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!completed && std::chrono::steady_clock::now() < giveUp) {
    io.run_one_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(completed);
  EXPECT_EQ(outcome, asio::error::timed_out);
  EXPECT_EQ(ConnectFailure(endpoint, std::chrono::milliseconds(200), outcome),
            "cannot connect to " + endpoint.ToString() + " within 200 ms");
}

TEST(Connect, ARefusedPortAndACancelEndOnce) {
  asio::io_context io;
  Endpoint endpoint{"127.0.0.1", 0};
  {
    tcp::acceptor freed(io, {asio::ip::address_v4::loopback(), 0});
    endpoint.port = freed.local_endpoint().port();
  }
  int calls = 0;
  boost::system::error_code outcome;
  const auto handler = [&](const boost::system::error_code& error,
                           tcp::socket) {
    outcome = error;
    ++calls;
  };
  AsyncConnectTcp(io.get_executor(), endpoint, std::chrono::seconds(5),
                  handler);
  io.run();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(outcome, asio::error::connection_refused);

  io.restart();
  const std::function<void()> cancel = AsyncConnectTcp(
      io.get_executor(), endpoint, std::chrono::seconds(5), handler);
  cancel();
  io.run();
  cancel();
  io.restart();
  io.run();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(outcome, asio::error::operation_aborted);
}

}  // namespace
}  // namespace Core::GEOCOM::host
