#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Requests.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;

namespace {

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

TEST(Requests, RefuseWhatMustNotReachTheWire) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(PositionParameters(nan, 1, AUT_NORMAL, AUT_POSITION));
  EXPECT_FALSE(MotorVelocityParameters(0, inf));
  EXPECT_FALSE(FileDeleteParameters(FTR_DEVICE_INTERNAL, FTR_FILE_UNKNOWN,
                                    FTR_MODDATE{}, "a\"b,c"));
  EXPECT_FALSE(
      FileListSetupParameters(FTR_DEVICE_INTERNAL, FTR_FILE_UNKNOWN, "a\r\n"));
  for (const DATIME& impossible :
       {DATIME{2024, 13, 1, 0, 0, 0}, DATIME{2023, 2, 29, 0, 0, 0},
        DATIME{2024, 4, 31, 0, 0, 0}, DATIME{2024, 1, 1, 24, 0, 0},
        DATIME{2024, 1, 0, 0, 0, 0}}) {
    EXPECT_FALSE(SetDateTimeParameters(impossible)) << int(impossible.month);
  }
  EXPECT_TRUE(SetDateTimeParameters(DATIME{2024, 2, 29, 23, 59, 59}));
}

// What a request packs, RequestFields reads back under the same names.
TEST(Fields, RequestArgumentsReadBackAsPacked) {
  // As a decoder meets it: recognised in the bytes a host sent.
  const auto request = [](ProcedureId procedure, const std::string& text) {
    const std::string bytes =
        "%R1Q," + std::to_string(procedure) + ",1:" + text + "\r\n";
    GeoComSentence sentence;
    int last = 0;
    sentence.CreateMessageFromBuffer(
        reinterpret_cast<const unsigned char*>(bytes.data()),
        static_cast<int>(bytes.size()), last);
    return sentence;
  };
  const std::optional<Fields> position = RequestFields(request(
      kPosition, *PositionParameters(1.25, 0.5, AUT_PRECISE, AUT_TARGET)));
  ASSERT_TRUE(position);
  ASSERT_EQ(position->size(), 5u);
  EXPECT_EQ(FormatValue((*position)[0].value), "1.25");
  EXPECT_EQ(FormatValue((*position)[3].value), "1");
  const std::optional<Fields> clock = RequestFields(
      request(kSetDateTime, *SetDateTimeParameters({2024, 3, 15, 10, 30, 0})));
  ASSERT_TRUE(clock);
  EXPECT_EQ(FormatValue(clock->at(0).value), "2024-03-15T10:30:00");
  EXPECT_FALSE(RequestFields(request(kPosition, "x")));
}

TEST(Text, EscapingIsReversedExactlyAndDoublesReadBack) {
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  EXPECT_EQ(UnescapeBytes(EscapeBytes(every)), every);
  for (const char* malformed : {"\\", "\\x4", "\\xzz", "\\q"}) {
    EXPECT_FALSE(UnescapeBytes(malformed)) << malformed;
  }
  for (const double value : {0.78539816339744828, 6.58e-07, 100.0, -0.1}) {
    EXPECT_EQ(std::stod(FormatDouble(value)), value);
  }
  EXPECT_EQ(FormatDouble(0.78539816339744828), "0.7853981633974483");
}

}  // namespace
