#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <tuple>

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::string_literals;

namespace {

// An integer field value, spelt short for the tables below.
FieldValue Int(std::int64_t value) { return value; }

// The table and the core's time-out list must name the same procedures: any
// number the core gives other than the default time-out must be named.
TEST(Procedures, EveryEntryAgreesWithTheCoreAndNothingRepeats) {
  std::set<unsigned> numbers;
  std::set<std::string_view> names;
  for (const Procedure& procedure : Procedures()) {
    GeoComSentence probe;
    probe.CreateReply(0, static_cast<GRC_TYPE>(procedure.id), "");
    EXPECT_EQ(procedure.timeout.count(), probe.GetTimeout()) << procedure.name;
    EXPECT_TRUE(numbers.insert(procedure.id).second) << procedure.id;
    EXPECT_TRUE(names.insert(procedure.name).second) << procedure.name;
    EXPECT_EQ(FindProcedure(procedure.name), &procedure);
    EXPECT_EQ(FindProcedure(procedure.id), &procedure);
  }
  for (unsigned number = 0; number <= 65535; ++number) {
    if (ReplyTimeout(static_cast<unsigned short>(number)).count() != 1500) {
      EXPECT_TRUE(numbers.count(number)) << number << " has no name";
    }
    // Every other number, in the gaps and above the highest, has no row.
    if (numbers.count(number) == 0) {
      EXPECT_EQ(FindProcedure(static_cast<unsigned short>(number)), nullptr)
          << number;
    }
  }
}

TEST(Endpoint, PortsMustBeNumbersInRange) {
  const struct {
    const char* text;
    bool anyPort;
    bool valid;
  } rows[] = {
      {"127.0.0.1:4000", false, true}, {"[::1]:4000", false, true},
      {"host:65535", false, true},     {"127.0.0.1:0", true, true},
      {"127.0.0.1:0", false, false},   {"127.0.0.1:99999", true, false},
      {"127.0.0.1:-1", true, false},   {"127.0.0.1:4000x", false, false},
      {"127.0.0.1:", false, false},    {":4000", false, false},
      {"::1:4000", false, false},      {"[::1:4000", false, false},
  };
  for (const auto& row : rows) {
    const Result<Endpoint> endpoint = ParseEndpoint(row.text, row.anyPort);
    EXPECT_EQ(endpoint.ok(), row.valid) << row.text;
    if (!endpoint) {
      EXPECT_NE(endpoint.error().message.find(row.text), std::string::npos);
    }
  }
}

// Where in its range a sample lies: integers are tried at both ends too, so
// that a bound set one off refuses a value the instrument may send.
enum class Pick { kInside, kLowest, kHighest };

// A sample value of each type, inside the argument's range.
FieldValue Sample(const ValueSpec& valueSpec, Pick pick = Pick::kInside) {
  switch (valueSpec.type) {
    case ValueType::kInteger:
      if (pick == Pick::kLowest) {
        return static_cast<std::int64_t>(valueSpec.minimum);
      }
      if (pick == Pick::kHighest) {
        return static_cast<std::int64_t>(valueSpec.maximum);
      }
      return static_cast<std::int64_t>(
          std::max(valueSpec.minimum, 0.0) + 1 <= valueSpec.maximum
              ? std::max(valueSpec.minimum, 0.0) + 1
              : valueSpec.minimum);
    case ValueType::kReal:
      return std::max(valueSpec.minimum, 0.0) + 0.25;
    case ValueType::kBoolean:
      return true;
    case ValueType::kText:
      return "a,b"s;
    case ValueType::kDateTime:
      return "2024-02-29T23:59:58"s;
    case ValueType::kBytes: {
      std::string text = "1";
      for (unsigned i = 1; i < valueSpec.byteCount; ++i)
        text += "." + std::to_string(i * 60);
      return text;
    }
  }
  return std::int64_t{0};
}

GeoComSentence Recognised(const std::string& bytes) {
  GeoComSentence sentence;
  int last = 0;
  sentence.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()), last);
  return sentence;
}

// Every catalogued procedure packs its defaults, reads back what it packed,
// and decodes a reply composed by its own schema into the same values.
TEST(Catalogue, EveryRowRoundTripsThroughItsOwnSchema) {
  for (const Procedure& procedure : Procedures()) {
    if (!procedure.known) continue;
    SCOPED_TRACE(std::string(procedure.name));
    for (const auto* list : {&procedure.arguments, &procedure.reply}) {
      std::set<std::string_view> names;
      for (const ValueSpec& valueSpec : *list) {
        EXPECT_TRUE(names.insert(valueSpec.name).second) << valueSpec.name;
        EXPECT_EQ(
            valueSpec.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"),
            std::string_view::npos)
            << valueSpec.name;
        EXPECT_LE(valueSpec.minimum, valueSpec.maximum) << valueSpec.name;
      }
    }
    for (const Pick pick : {Pick::kInside, Pick::kLowest, Pick::kHighest}) {
      SCOPED_TRACE(static_cast<int>(pick));
      Fields required;
      Fields given;
      for (const ValueSpec& valueSpec : procedure.arguments) {
        if (!valueSpec.fallback) {
          required.push_back(
              {std::string(valueSpec.name), Sample(valueSpec, pick)});
        }
        given.push_back({std::string(valueSpec.name),
                         valueSpec.fallback ? *valueSpec.fallback
                                            : Sample(valueSpec, pick)});
      }
      const Result<std::string> packed = PackArguments(procedure, required);
      ASSERT_TRUE(packed) << packed.error().message;
      const Result<Fields> read = ReadArguments(procedure, *packed);
      ASSERT_TRUE(read) << read.error().message << " in " << *packed;
      ASSERT_EQ(read->size(), given.size());
      for (std::size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ((*read)[i].name, given[i].name);
        EXPECT_EQ(FormatValue((*read)[i].value), FormatValue(given[i].value))
            << given[i].name;
      }
      Fields values;
      for (const ValueSpec& valueSpec : procedure.reply) {
        values.push_back(
            {std::string(valueSpec.name), Sample(valueSpec, pick)});
      }
      const Result<std::string> text = ComposeReply(procedure, values);
      ASSERT_TRUE(text) << text.error().message;
      const Result<Fields> decoded =
          DecodeReply(procedure, Recognised(ReplyBytes(3, 0, *text)));
      ASSERT_TRUE(decoded) << decoded.error().message << " in " << *text;
      ASSERT_EQ(decoded->size(), values.size());
      for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ((*decoded)[i].name, values[i].name);
        EXPECT_EQ(FormatValue((*decoded)[i].value),
                  FormatValue(values[i].value));
      }
    }
  }
}

struct Refusal {
  const char* procedure;
  Fields arguments;
  const char* named;  // what the message must name; nullptr: packed
};

// Arguments that must not reach the wire, each refused naming itself.
TEST(Catalogue, RefusesArgumentsThatMustNotReachTheWire) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const Refusal kRefusals[] = {
      {"position", {{"hz", nan}, {"v", 1.0}}, "hz"},
      {"motor-velocity", {{"hz_speed", 0.0}, {"v_speed", inf}}, "v_speed"},
      {"file-list-setup", {{"path", "a\r\n"s}}, "path"},
      {"object-delete",
       {{"device", Int(0)},
        {"object_type", Int(0)},
        {"name", std::string("a\"b")}},
       "name"},
      {"set-date-time", {{"date_time", "2023-02-29T10:00:00"s}}, "2023-2-29"},
      {"set-date-time", {{"date_time", "1900-02-29T10:00:00"s}}, "1900-2-29"},
      {"set-date-time", {{"date_time", "2024-13-01T10:00:00"s}}, "2024-13-1"},
      {"set-date-time", {{"date_time", "2024-01-01T24:00:00"s}}, "24:0:0"},
      {"set-date-time", {{"date_time", "2024-01-01"s}}, "date_time"},
      {"set-date-time", {{"date_time", "2000-02-29T23:59:59"s}}, nullptr},
      {"set-date-time", {{"date_time", "2024-12-31T00:00:00"s}}, nullptr},
      {"set-guide-light", {{"intensity", Int(4)}}, "intensity"},
      {"set-guide-light", {{"intensity", Int(-1)}}, "intensity"},
      {"simple-measurement", {{"wait_ms", Int(-1)}}, "wait_ms"},
      {"fine-adjust", {{"hz_range", -0.1}, {"v_range", 0.1}}, "hz_range"},
      {"angles", {{"incline", Int(1)}}, "incline"},
      {"angles", {{"incline_mode", 1.5}}, "incline_mode"},
      {"angles", {{"incline_mode", Int(1)}, {"incline_mode", Int(1)}}, "twice"},
      {"set-station", {{"easting", 1.0}}, "northing"},
      {"set-atr-state", {{"on", Int(2)}}, "on"},
      {"set-atr-state", {{"on", "yes"s}}, "on"},
      {"set-atr-state", {{"on", Int(1)}}, nullptr},
      {"set-atr-state", {{"on", Int(0)}}, nullptr},
      {"file-delete",
       {{"device", Int(0)},
        {"file_type", Int(0)},
        {"date", "1.2"s},
        {"name", "x"s}},
       "date"},
      {"file-delete",
       {{"device", Int(0)},
        {"file_type", Int(0)},
        {"date", "1.2.256"s},
        {"name", "x"s}},
       "date"},
      {"file-delete",
       {{"device", Int(0)},
        {"file_type", Int(0)},
        {"date", "1.2.3."s},
        {"name", "x"s}},
       "date"},
      {"search", {}, "raw"},
  };
  for (const Refusal& refusal : kRefusals) {
    const Result<std::string> packed =
        PackArguments(*FindProcedure(refusal.procedure), refusal.arguments);
    if (refusal.named == nullptr) {
      EXPECT_TRUE(packed) << packed.error().message;
      continue;
    }
    ASSERT_FALSE(packed) << refusal.procedure << " " << refusal.named;
    EXPECT_EQ(packed.error().kind, ErrorKind::kInvalidArgument);
    EXPECT_NE(packed.error().message.find(refusal.named), std::string::npos)
        << packed.error().message;
  }
}

// A reply value that is not wholly of its type fails the decoding naming the
// value, though the core's own decoders read such fields leniently.
TEST(Catalogue, ReadsRepliesStrictly) {
  const struct {
    const char* procedure;
    const char* text;
    const char* says;  // what the failure says; nullptr: the reply decodes
  } kReplies[] = {
      {"station", ",0,1,x,3", "has 'x' for height, not a finite number"},
      {"station", ",0,1,2", "lacks instrument_height"},
      {"station", ",0,1,,3", "has '' for height"},
      {"station", ",0,1,2,3", nullptr},
      {"station", ",0,1,2,3,4", nullptr},
      {"instrument-number", ",12abc", "has '12abc' for serial_number"},
      {"instrument-number", ",12", nullptr},
      {"instrument-number", ",99999999999",
       "has '99999999999' for serial_number"},
      {"instrument-name", ",TS", "has 'TS' for name"},
      {"instrument-name", ",\"T,S\"", nullptr},
      {"angles", ",nan,1", "has 'nan' for hz"},
      {"angles", ",1e400,1", "has '1e400' for hz"},
      {"angles", ",-1.5e-3,+2", nullptr},
      {"atr-state", ",2", "has '2' for atr"},
      {"date-time", ",2024,'03','0f','0a','1e'", "lacks date_time"},
      {"date-time", ",2024,'03','0g','0a','1e','00'",
       "has '2024,'03','0g','0a','1e','00'' for date_time"},
      {"date-time", ",2024,'03','0f','0a','1e','00'", nullptr},
  };
  for (const auto& row : kReplies) {
    const Result<Fields> decoded = DecodeReply(
        *FindProcedure(row.procedure), Recognised(ReplyBytes(1, 0, row.text)));
    if (row.says == nullptr) {
      EXPECT_TRUE(decoded) << row.procedure << row.text << ": "
                           << decoded.error().message;
      continue;
    }
    ASSERT_FALSE(decoded) << row.procedure << row.text;
    EXPECT_EQ(decoded.error().kind, ErrorKind::kInvalidReply);
    EXPECT_NE(decoded.error().message.find(row.says), std::string::npos)
        << decoded.error().message;
  }
}

// A real is read as the correctly rounded double of its whole text, whether
// a short decimal read with one division or any other form read in full;
// any text that is not wholly a finite number fails.
TEST(Catalogue, ReadsEachRealAsItsNearestDouble) {
  const struct {
    const char* text;
    std::optional<double> value;  // nullopt: the reply does not decode
  } kReals[] = {
      {"0.7853981634", 0.7853981634},
      {"-0.25", -0.25},
      {"+2.5", 2.5},
      {"-0", -0.0},
      {"007.5", 7.5},
      {"123456789012345", 123456789012345.0},
      {"12345678901234.5", 12345678901234.5},
      {"0.000000000000001", 0.000000000000001},
      {"1234567890123456.7", 1234567890123456.7},
      {"0.1234567890123456789", 0.1234567890123456789},
      {"99999999999999999999", 99999999999999999999.0},
      {"5.75766", 5.75766},
      {"1.5e-3", 1.5e-3},
      {"1.", 1.0},
      {".5", 0.5},
      {"-", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1-2", std::nullopt},
      {"--1", std::nullopt},
      {"1.5x", std::nullopt},
  };
  const Procedure& angles = *FindProcedure("angles");
  for (const auto& row : kReals) {
    const Result<Fields> decoded = DecodeReply(
        angles,
        Recognised(ReplyBytes(1, 0, std::string(",") + row.text + ",1")));
    if (!row.value) {
      EXPECT_FALSE(decoded) << row.text;
      continue;
    }
    ASSERT_TRUE(decoded) << row.text << ": " << decoded.error().message;
    const double* hz = std::get_if<double>(&decoded->at(0).value);
    ASSERT_NE(hz, nullptr) << row.text;
    EXPECT_EQ(*hz, *row.value) << row.text;
    EXPECT_EQ(std::signbit(*hz), std::signbit(*row.value)) << row.text;
  }
}

// What a request packs, RequestFields reads back under the same names, as
// a decoder meets it in the bytes a host sent.
TEST(Fields, RequestArgumentsReadBackAsPacked) {
  const auto request = [](const char* name, const Fields& arguments) {
    const Procedure& procedure = *FindProcedure(name);
    return Recognised("%R1Q," + std::to_string(procedure.id) + ",1:" +
                      PackArguments(procedure, arguments).value() + "\r\n");
  };
  const std::optional<Fields> position = RequestFields(request(
      "position",
      {{"hz", 1.25}, {"v", 0.5}, {"pos_mode", Int(1)}, {"atr_mode", Int(1)}}));
  ASSERT_TRUE(position);
  ASSERT_EQ(position->size(), 4u);
  EXPECT_EQ(FormatValue((*position)[0].value), "1.25");
  EXPECT_EQ(FormatValue((*position)[3].value), "1");
  const std::optional<Fields> clock = RequestFields(
      request("set-date-time", {{"date_time", "2024-03-15T10:30:00"s}}));
  ASSERT_TRUE(clock);
  EXPECT_EQ(FormatValue(clock->at(0).value), "2024-03-15T10:30:00");
  EXPECT_FALSE(RequestFields(Recognised("%R1Q,9027,1:x\r\n")));
  EXPECT_FALSE(RequestFields(Recognised("%R1Q,9027,1:1.0,2.0x\r\n")));
}

// One reader and one list of values, read one sentence after another, give
// each sentence what a fresh reading gives it: nothing of the sentences
// before it, whatever their procedures, types and failures left behind.
TEST(FieldReader, ReadsEachSentenceAsAFreshReadingDoes) {
  const struct {
    bool reply;
    const char* procedure;
    const char* text;  // a reply's with its leading comma
  } kSentences[] = {
      {true, "object-list",
       R"(,"a-long-object-name.txt","2024-03-15 10:30",0,12,"file")"},
      {true, "object-list", R"(,"b","",1,0,"a-long-kind-of-object")"},
      {true, "station", ",1000.5,2000.25,100,1.6"},
      {true, "object-list", R"(,"c","d",1,7,"e")"},
      {true, "station", ",0,1,x,3"},
      {true, "instrument-number", ",412237"},
      {false, "position", "0.5,1.25"},
      {false, "position", "0.5,1.25,1,1"},
      {false, "position", "0.5,1.25,1,2"},
      {false, "position", "0.5"},
      {false, "set-guide-light", "0"},
      {false, "set-guide-light", "3"},
      {false, "set-guide-light", "4"},
      {false, "set-guide-light", "-1"},
      {false, "fine-adjust", "0,0"},
      {false, "fine-adjust", "0.25,-0.25"},
      {false, "fine-adjust", "1.5,2.5"},
      {false, "object-delete", R"(1,0,"a-long-file-name.txt")"},
      {false, "object-delete", R"(1,0,"short")"},
      {false, "object-delete", R"(1,0,"unclosed)"},
      {false, "set-radio", R"("radio",3,1)"},
      {false, "set-date-time", "2024,'02','1e','0a','1e','00'"},
      {false, "set-date-time", "2024,'03','0f','0a','1e','00'"},
      {true, "date-time", ",2024,'03','0f','0a','1e','00'"},
      {true, "instrument-name", R"(,"T,S")"},
  };
  FieldReader reader;
  Fields values;
  for (const auto& row : kSentences) {
    SCOPED_TRACE(std::string(row.procedure) + " " + row.text);
    const Procedure& procedure = *FindProcedure(row.procedure);
    Result<Done> read = Done{};
    Result<Fields> fresh = Fields{};
    if (row.reply) {
      const GeoComSentence reply = Recognised(ReplyBytes(1, 0, row.text));
      read = reader.Reply(procedure, reply, values);
      fresh = DecodeReply(procedure, reply);
    } else {
      read = reader.Arguments(procedure, row.text, values);
      fresh = ReadArguments(procedure, row.text);
    }
    ASSERT_EQ(bool(read), bool(fresh));
    if (!fresh) {
      EXPECT_EQ(read.error().kind, fresh.error().kind);
      EXPECT_EQ(read.error().message, fresh.error().message);
      continue;
    }
    ASSERT_EQ(values.size(), fresh->size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(values[i].name, (*fresh)[i].name);
      EXPECT_EQ(values[i].value, (*fresh)[i].value) << values[i].name;
    }
  }
}

// One field read alone by its type, wholly or not at all.
TEST(Catalogue, ReadsOneFieldByItsType) {
  const struct {
    ValueType type;
    const char* field;
    std::optional<FieldValue> value;
  } kFields[] = {
      {ValueType::kInteger, "-12", Int(-12)},
      {ValueType::kInteger, "12x", std::nullopt},
      {ValueType::kReal, "0.5", 0.5},
      {ValueType::kReal, "", std::nullopt},
      {ValueType::kBoolean, "1", true},
      {ValueType::kBoolean, "0", false},
      {ValueType::kBoolean, "2", std::nullopt},
      {ValueType::kText, R"("a,b")", "a,b"s},
      {ValueType::kText, R"("a)", std::nullopt},
      {ValueType::kBytes, "'0a'", "10"s},
      {ValueType::kBytes, "'0g'", std::nullopt},
      {ValueType::kDateTime, "2024", std::nullopt},
  };
  for (const auto& row : kFields) {
    EXPECT_EQ(ReadField(row.type, row.field), row.value) << row.field;
  }
}

// A parameter text splits at its commas, a quoted field keeping its commas
// and quotes; the text is a view, so nothing past its end is read (the
// backing text goes on with a quote after the last comma).
TEST(Catalogue, SplitsParameterTextAtItsCommas) {
  using Split = std::optional<std::vector<std::string>>;
  const struct {
    std::string_view text;
    Split fields;
  } kTexts[] = {
      {"", std::vector<std::string>{}},
      {"1", std::vector<std::string>{"1"}},
      {"1,,2", std::vector<std::string>{"1", "", "2"}},
      {R"("a,b",2)", std::vector<std::string>{R"("a,b")", "2"}},
      {R"("a)", std::nullopt},
      {R"("a"b)", std::nullopt},
      {std::string_view("1,\"x\"", 2), std::vector<std::string>{"1", ""}},
  };
  for (const auto& row : kTexts) {
    EXPECT_EQ(SplitParameters(row.text), row.fields) << row.text;
  }
}

// A request reads as the host would have packed it: the range of each
// integer and real argument holds at both ends, and where the packer writes
// fixed fields among the arguments, they are read around them and must hold
// their text.
TEST(Catalogue, ReadsArgumentsAsTheHostPacksThem) {
  const struct {
    const char* procedure;
    const char* text;
    const char* says;  // what the failure says; nullptr: the request reads
    const char* read = nullptr;  // what it reads, when given
  } kRequests[] = {
      {"set-guide-light", "0", nullptr},
      {"set-guide-light", "3", nullptr},
      {"set-guide-light", "-1", "intensity must be from 0 to 3, not -1"},
      {"set-guide-light", "4", "intensity must be from 0 to 3, not 4"},
      {"fine-adjust", "0,0", nullptr},
      {"fine-adjust", "0,-0.001", "v_range must be from 0 to"},
      {"fine-adjust", "-0.5,1", "hz_range must be from 0 to"},
      {"set-date-time", "2024,'02','1e','0a','1e','00'",
       "the date 2024-2-30 does not exist"},
      {"set-atr-state", "1", nullptr},
      {"enable-remote-control", "1,5,1,7", nullptr, "port=5 mode=7"},
      {"enable-remote-control", "1,0,1,2147483647", nullptr,
       "port=0 mode=2147483647"},
      {"enable-remote-control", "0,5,1,7", "'0' as field 1, which is always 1"},
      {"enable-remote-control", "1,5,0,7", "'0' as field 3, which is always 1"},
      {"enable-remote-control", "1,5,1", "lacks mode"},
      {"disable-remote-control", "1,5,0", nullptr, "port=5"},
      {"disable-remote-control", "1,5,1", "'1' as field 3, which is always 0"},
      {"disable-remote-control", "1,-1,0", "port must be from 0"},
  };
  for (const auto& row : kRequests) {
    SCOPED_TRACE(std::string(row.procedure) + " " + row.text);
    const Result<Fields> read =
        ReadArguments(*FindProcedure(row.procedure), row.text);
    if (row.says == nullptr) {
      ASSERT_TRUE(read) << read.error().message;
      if (row.read == nullptr) continue;
      std::string got;
      for (const Field& field : *read) {
        got += (got.empty() ? "" : " ") + field.name + "=" +
               FormatValue(field.value);
      }
      EXPECT_EQ(got, row.read);
      continue;
    }
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, ErrorKind::kInvalidArgument);
    EXPECT_NE(read.error().message.find(row.says), std::string::npos)
        << read.error().message;
  }
}

TEST(Text, EscapingIsReversedExactlyAndDoublesReadBack) {
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  EXPECT_EQ(UnescapeBytes(EscapeBytes(every)), every);
  // What each kind of byte becomes, alone and inside runs long enough to be
  // tested eight bytes at a time.
  const std::pair<std::string, std::string> escaped[] = {
      {" ~\"", " ~\""},
      {"\x7f\x80\xff\x1f", "\\x7f\\x80\\xff\\x1f"},
      {std::string("\0", 1), "\\x00"},
      {"\\\r\n\t", "\\\\\\r\\n\\t"},
      {"%R1Q,2107,0:1\r\n", "%R1Q,2107,0:1\\r\\n"},
      {"abcdefgh\x7fijklmnop", "abcdefgh\\x7fijklmnop"},
      {"abcdefghijklmno\\", "abcdefghijklmno\\\\"},
  };
  for (const auto& [bytes, text] : escaped) {
    EXPECT_EQ(EscapeBytes(bytes), text);
    EXPECT_EQ(UnescapeBytes(text), bytes) << text;
  }
  // Escapes cut short are refused without reading past the text: the bytes
  // after it, here hex digits, are none of its own.
  const std::string_view malformed[] = {
      "\\", "\\x4", "\\xzz", "\\q", {"\\x4f", 3}, {"\\x4f", 2}, {"a\\", 2}};
  for (const std::string_view text : malformed) {
    EXPECT_FALSE(UnescapeBytes(text)) << text;
  }
  for (const double value : {0.78539816339744828, 6.58e-07, 100.0, -0.1}) {
    EXPECT_EQ(std::stod(FormatDouble(value)), value);
  }
  EXPECT_EQ(FormatDouble(0.78539816339744828), "0.7853981633974483");
  // Fixed decimals: rounded, zero without its sign, the classic point.
  const std::tuple<double, int, const char*> fixed[] = {
      {2.5, 2, "2.50"},         {-0.04, 1, "0.0"},
      {-0.06, 1, "-0.1"},       {-0.0, 0, "0"},
      {0.125, 2, "0.12"},       {1234567.0, 0, "1234567"},
      {-12.3456, 3, "-12.346"}, {1e20, 1, "100000000000000000000.0"},
  };
  for (const auto& [value, decimals, text] : fixed) {
    EXPECT_EQ(FormatFixed(value, decimals), text) << value;
  }
}

}  // namespace
