// The traffic decoder's pairing, its records and the summary built on them.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <DazoZazIdoRezeraro/host/TrafficDecoder.h>
#include "DecodeFormat.h"
#include "DecodeSummary.h"

namespace geocom {
namespace {

using namespace Core::GEOCOM::host;

std::string Request(ProcedureId procedure, unsigned sequence,
                    const std::string& parameters = "") {
  return "%R1Q," + std::to_string(procedure) + "," + std::to_string(sequence) +
         ":" + parameters + "\r\n";
}

std::string Reply(unsigned sequence, unsigned returnCode,
                  const std::string& values = "") {
  return "%R1P,0," + std::to_string(sequence) + ":" +
         std::to_string(returnCode) + values + "\r\n";
}

CaptureRecord Piece(std::optional<double> time, CaptureDirection direction,
                    std::string bytes, unsigned connection = 0) {
  CaptureRecord record;
  record.time = time;
  record.direction = direction;
  record.bytes = std::move(bytes);
  record.connection = connection;
  return record;
}

CaptureRecord ToInstrument(double time, std::string bytes) {
  return Piece(time, CaptureDirection::kToInstrument, std::move(bytes));
}
CaptureRecord ToHost(double time, std::string bytes) {
  return Piece(time, CaptureDirection::kToHost, std::move(bytes));
}
CaptureRecord Mark(CaptureEvent event, unsigned connection) {
  CaptureRecord record;
  record.event = event;
  record.connection = connection;
  return record;
}
CaptureRecord Raw(std::string bytes) {
  return Piece(std::nullopt, CaptureDirection::kUnknown, std::move(bytes));
}
CaptureRecord LongLine(std::uint64_t line, std::uint64_t length) {
  CaptureRecord record;
  record.event = CaptureEvent::kLongLine;
  record.line = line;
  record.length = length;
  record.bytes = "{\"time\":";
  return record;
}

std::vector<TrafficRecord> Decode(const std::vector<CaptureRecord>& records) {
  std::vector<TrafficRecord> decoded;
  TrafficDecoder decoder(
      [&](TrafficRecord&& record) { decoded.push_back(std::move(record)); });
  for (const CaptureRecord& record : records) decoder.Add(record);
  decoder.Finish();
  return decoded;
}

// "kind sequence procedure [late] [rtt=ms]", enough to tell pairings apart.
std::string Outline(const TrafficRecord& record) {
  std::string text = TrafficKindName(record.kind);
  if (record.kind == TrafficKind::kNoise ||
      record.kind == TrafficKind::kUnrecognised) {
    return text;
  }
  if (record.kind == TrafficKind::kLongLine) {
    return text + " line=" + std::to_string(record.line) +
           " size=" + std::to_string(record.size);
  }
  text += " " + std::to_string(record.sequence) + " " +
          (record.procedure ? std::to_string(*record.procedure) : "-");
  if (record.late) text += " late";
  if (record.roundTripMs) text += " rtt=" + FormatDouble(*record.roundTripMs);
  return text;
}

std::string Number(ProcedureId procedure) { return std::to_string(procedure); }

struct PairingCase {
  const char* fault;
  std::vector<CaptureRecord> records;
  std::vector<std::string> outline;
};

class Pairing : public testing::TestWithParam<PairingCase> {};

TEST_P(Pairing, EveryRecordInOrder) {
  std::vector<std::string> outline;
  for (const TrafficRecord& record : Decode(GetParam().records)) {
    outline.push_back(Outline(record));
  }
  EXPECT_EQ(outline, GetParam().outline) << GetParam().fault;
}

const double kInstrumentNumberTimeout =
    static_cast<double>(ReplyTimeout(kInstrumentNumber).count()) / 1000.0;

INSTANTIATE_TEST_SUITE_P(
    TrafficDecoder, Pairing,
    testing::Values(
        PairingCase{"a reply not paired or not timed",
                    {ToInstrument(1.0, Request(kInstrumentNumber, 7)),
                     ToHost(1.25, Reply(7, 0, ",412237"))},
                    {"request 7 " + Number(kInstrumentNumber),
                     "reply 7 " + Number(kInstrumentNumber) + " rtt=250"}},
        PairingCase{
            "a reply paired with a request that went the same way",
            {ToInstrument(1.0, Request(kInstrumentNumber, 7)),
             ToInstrument(1.1, Reply(7, 0))},
            {"request 7 " + Number(kInstrumentNumber), "unmatched-reply 7 -",
             "timeout 7 " + Number(kInstrumentNumber)}},
        PairingCase{
            "a long capture line ending the pairing or the time",
            {ToInstrument(1.0, Request(kInstrumentNumber, 7)),
             LongLine(3, 2u << 20), ToHost(1.25, Reply(7, 0, ",412237"))},
            {"request 7 " + Number(kInstrumentNumber),
             "long-line line=3 size=" + std::to_string(2u << 20),
             "reply 7 " + Number(kInstrumentNumber) + " rtt=250"}},
        PairingCase{
            "a long capture line cutting the sentence around it",
            {ToHost(1.0, "%R1P,0,7"), LongLine(9, 5), ToHost(1.25, ":0\r\n")},
            {"long-line line=9 size=5", "unmatched-reply 7 -"}},
        PairingCase{"a time-out reported late, or a late reply lost",
                    {ToInstrument(0.0, Request(kInstrumentNumber, 7)),
                     ToHost(kInstrumentNumberTimeout + 0.5, "~"),
                     ToHost(kInstrumentNumberTimeout + 0.5, Reply(7, 0))},
                    {"request 7 " + Number(kInstrumentNumber),
                     "timeout 7 " + Number(kInstrumentNumber), "noise",
                     "reply 7 " + Number(kInstrumentNumber) + " late rtt=" +
                         FormatDouble(kInstrumentNumberTimeout * 1000 + 500)}},
        PairingCase{"a raw capture not paired, or its unanswered request lost",
                    {Raw(Request(kAngles, 1, "1") + Request(kPower, 2) +
                         Reply(2, 0, ",1,1,1") + Reply(9, 0))},
                    {"request 1 " + Number(kAngles),
                     "request 2 " + Number(kPower), "reply 2 " + Number(kPower),
                     "unmatched-reply 9 -", "timeout 1 " + Number(kAngles)}},
        PairingCase{
            "a reused number pairing with the request it replaced",
            {Raw(Request(kAngles, 3, "1") + Request(kPower, 3) + Reply(3, 0))},
            {"request 3 " + Number(kAngles), "timeout 3 " + Number(kAngles),
             "request 3 " + Number(kPower), "reply 3 " + Number(kPower)}},
        PairingCase{"a reply the core refuses silently left out",
                    {Raw(Request(kLockIn, 4) + "%R1P,3,4:0\r\n")},
                    {"request 4 " + Number(kLockIn), "unrecognised",
                     "timeout 4 " + Number(kLockIn)}},
        PairingCase{
            "a stray second reply paired with an answered request",
            {ToInstrument(1.0, Request(kInstrumentNumber, 7)),
             ToHost(1.25, Reply(7, 0, ",1")), ToHost(1.5, Reply(7, 0, ",2"))},
            {"request 7 " + Number(kInstrumentNumber),
             "reply 7 " + Number(kInstrumentNumber) + " rtt=250",
             "unmatched-reply 7 -"}},
        PairingCase{"capture time allowed to run backwards",
                    {ToInstrument(5.0, Request(kInstrumentNumber, 7)),
                     ToHost(4.0, Reply(7, 0, ",1"))},
                    {"request 7 " + Number(kInstrumentNumber),
                     "reply 7 " + Number(kInstrumentNumber) + " rtt=0"}},
        PairingCase{
            "a reused sequence number reporting a second time-out",
            {ToInstrument(0.0, Request(kInstrumentNumber, 3)),
             ToInstrument(kInstrumentNumberTimeout + 1, Request(kPower, 3)),
             ToHost(kInstrumentNumberTimeout + 1, Reply(3, 0))},
            {"request 3 " + Number(kInstrumentNumber),
             "timeout 3 " + Number(kInstrumentNumber),
             "request 3 " + Number(kPower),
             "reply 3 " + Number(kPower) + " rtt=0"}},
        PairingCase{
            "a host's half request spoiling the next host's request",
            {Piece(0.0, CaptureDirection::kToInstrument, "%R1Q,57", 1),
             Mark(CaptureEvent::kClose, 1),
             Piece(0.1, CaptureDirection::kToInstrument, Request(kPower, 5), 2),
             Piece(0.2, CaptureDirection::kToHost, Reply(5, 0), 2)},
            {"unrecognised", "request 5 " + Number(kPower),
             "reply 5 " + Number(kPower) + " rtt=100"}},
        PairingCase{
            "a reply paired with another connection's request",
            {Piece(0.0, CaptureDirection::kToInstrument, Request(kPower, 5), 1),
             Piece(0.1, CaptureDirection::kToHost, Reply(5, 0), 2),
             Mark(CaptureEvent::kClose, 1)},
            {"request 5 " + Number(kPower), "unmatched-reply 5 -",
             "timeout 5 " + Number(kPower)}},
        PairingCase{
            "a request timed out by its connection's end timed out again",
            {Piece(0.0, CaptureDirection::kToInstrument,
                   Request(kInstrumentNumber, 7), 1),
             Mark(CaptureEvent::kClose, 1),
             ToHost(kInstrumentNumberTimeout + 1, Reply(9, 0))},
            {"request 7 " + Number(kInstrumentNumber),
             "timeout 7 " + Number(kInstrumentNumber), "unmatched-reply 9 -"}},
        PairingCase{"a request whose number was reused timed out again",
                    {ToInstrument(0.0, Request(kInstrumentNumber, 3)),
                     ToInstrument(0.5, Request(kInstrumentNumber, 3)),
                     ToHost(kInstrumentNumberTimeout + 0.25, "~")},
                    {"request 3 " + Number(kInstrumentNumber),
                     "timeout 3 " + Number(kInstrumentNumber),
                     "request 3 " + Number(kInstrumentNumber), "noise",
                     "timeout 3 " + Number(kInstrumentNumber)}},
        PairingCase{
            "a sentence held for its LF lost when its connection ends",
            {Piece(0.0, CaptureDirection::kToInstrument,
                   Request(kPower, 5).substr(0, Request(kPower, 5).size() - 1),
                   1),
             Mark(CaptureEvent::kClose, 1),
             Piece(0.1, CaptureDirection::kToHost, Reply(5, 0), 2)},
            {"request 5 " + Number(kPower), "timeout 5 " + Number(kPower),
             "unmatched-reply 5 -"}},
        PairingCase{
            "an answered request's entry passing its late mark, time or "
            "deadline on to the next request",
            {ToInstrument(0.0, Request(kInstrumentNumber, 7)),
             ToHost(kInstrumentNumberTimeout + 0.5, "~"),
             ToHost(kInstrumentNumberTimeout + 0.5, Reply(7, 0)),
             ToInstrument(kInstrumentNumberTimeout + 1, Request(kPower, 8)),
             ToHost(kInstrumentNumberTimeout + 1.25, Reply(8, 0)),
             Raw(Request(kPower, 9)), Raw(Reply(9, 0)),
             ToInstrument(kInstrumentNumberTimeout + 2,
                          Request(kInstrumentNumber, 10)),
             ToHost(2 * kInstrumentNumberTimeout + 1.5, "~\r\n"),
             ToHost(2 * kInstrumentNumberTimeout + 3, "~\r\n")},
            {"request 7 " + Number(kInstrumentNumber),
             "timeout 7 " + Number(kInstrumentNumber), "noise",
             "reply 7 " + Number(kInstrumentNumber) + " late rtt=" +
                 FormatDouble(kInstrumentNumberTimeout * 1000 + 500),
             "request 8 " + Number(kPower),
             "reply 8 " + Number(kPower) + " rtt=250",
             "request 9 " + Number(kPower),
             "reply 9 " + Number(kPower) + " rtt=0",
             "request 10 " + Number(kInstrumentNumber), "noise",
             "timeout 10 " + Number(kInstrumentNumber), "noise"}},
        PairingCase{"a reply at its request's very deadline timed out",
                    {ToInstrument(0.0, Request(kInstrumentNumber, 7)),
                     ToHost(kInstrumentNumberTimeout, Reply(7, 0))},
                    {"request 7 " + Number(kInstrumentNumber),
                     "reply 7 " + Number(kInstrumentNumber) + " rtt=" +
                         FormatDouble(kInstrumentNumberTimeout * 1000)}},
        PairingCase{
            "a reply to an older request lost while a newer one waits, or "
            "the newer one paired with it",
            {ToInstrument(0.0, Request(kInstrumentNumber, 7)),
             ToInstrument(0.1, Request(kPower, 8)), ToHost(0.2, Reply(7, 0)),
             ToHost(0.4, Reply(8, 0)), ToHost(0.5, Reply(8, 0))},
            {"request 7 " + Number(kInstrumentNumber),
             "request 8 " + Number(kPower),
             "reply 7 " + Number(kInstrumentNumber) + " rtt=200",
             "reply 8 " + Number(kPower) + " rtt=300", "unmatched-reply 8 -"}},
        PairingCase{
            "the newest request's time-out missed, or reported after an "
            "older request's that runs out later",
            {ToInstrument(0.0, Request(kSimpleMeasurement, 1)),
             ToInstrument(0.0, Request(kInstrumentNumber, 2)),
             ToHost(kInstrumentNumberTimeout + 1, "~"),
             ToHost(kInstrumentNumberTimeout + 1, Reply(2, 0)),
             ToInstrument(kInstrumentNumberTimeout + 2,
                          Request(kInstrumentNumber, 3)),
             ToHost(20.0, "~"), ToHost(20.0, Reply(1, 0))},
            {"request 1 " + Number(kSimpleMeasurement),
             "request 2 " + Number(kInstrumentNumber),
             "timeout 2 " + Number(kInstrumentNumber), "noise",
             "reply 2 " + Number(kInstrumentNumber) + " late rtt=" +
                 FormatDouble(kInstrumentNumberTimeout * 1000 + 1000),
             "request 3 " + Number(kInstrumentNumber),
             "timeout 3 " + Number(kInstrumentNumber),
             "timeout 1 " + Number(kSimpleMeasurement), "noise",
             "reply 1 " + Number(kSimpleMeasurement) + " late rtt=20000"}},
        PairingCase{"a sentence split across records lost or duplicated",
                    {ToInstrument(0.0, "xx%R1Q,"),
                     ToInstrument(0.1, Request(kPower, 5).substr(5)),
                     ToHost(0.2, Reply(5, 0).substr(0, 4)),
                     ToHost(0.3, Reply(5, 0).substr(4))},
                    {"noise", "request 5 " + Number(kPower),
                     "reply 5 " + Number(kPower) + " rtt=200"}}));

const std::set<std::string> kCommonKeys = {"kind", "direction", "connection",
                                           "time", "size",      "bytes"};

std::set<std::string> Keys(const std::string& line) {
  std::set<std::string> keys;
  const nlohmann::json object = nlohmann::json::parse(line);
  for (const auto& item : object.items()) keys.insert(item.key());
  return keys;
}

std::set<std::string> With(std::set<std::string> keys,
                           const std::vector<std::string>& more) {
  keys.insert(more.begin(), more.end());
  return keys;
}

// The keys are what tools rely on: each kind keeps exactly its documented
// set, whatever its values.
TEST(TrafficFormat, JsonKeysStayTheDocumentedOnes) {
  const std::vector<TrafficRecord> records = Decode(
      {ToInstrument(0, Request(kSetStation, 1, "1,2,3,4")),
       ToHost(0.001, Reply(1, 0)), ToHost(0.002, Reply(2, 0)),
       ToInstrument(0.003, Request(kAngles, 3, "1") + "~" + "%R1P,3,3:0\r\n"),
       LongLine(7, 2u << 20)});
  const std::vector<std::string> sentence = {"sequence", "procedure", "name",
                                             "timeout_ms"};
  const std::vector<std::string> reply = {"parameters",       "return_code",
                                          "return_code_name", "values",
                                          "round_trip_ms",    "late"};
  std::vector<std::set<std::string>> expected = {
      With(With(kCommonKeys, sentence), {"parameters", "arguments"}),
      With(With(kCommonKeys, sentence), reply),
      With(With(kCommonKeys, sentence), reply),
      With(With(kCommonKeys, sentence), {"parameters", "arguments"}),
      kCommonKeys,
      kCommonKeys,
      With(kCommonKeys, {"line"}),
      With(kCommonKeys, sentence)};
  ASSERT_EQ(records.size(), expected.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(Keys(FormatJson(records[i])), expected[i])
        << FormatJson(records[i]);
  }
}

// Each kind as a person and a tool read it, every key and value in place.
TEST(TrafficFormat, EachKindPrintsItsLine) {
  std::vector<TrafficRecord> records = Decode(
      {ToInstrument(0.5, Request(kSetStation, 1, "1,2,3,4")),
       ToHost(0.502, Reply(1, 0)), ToInstrument(1, Request(kAngles, 3, "1")),
       ToHost(1.25, Reply(3, 0, ",0.5,-1e-07")), ToHost(1.5, Reply(8, 0)),
       ToHost(1.75, "a\"\\~\r\n"), LongLine(7, 2u << 20),
       ToInstrument(2, Request(kPower, 4))});
  TrafficRecord dropped;
  dropped.kind = TrafficKind::kDropped;
  dropped.size = 70000;
  records.push_back(dropped);
  // A named procedure's request with a time-out of its own.
  TrafficRecord slower = records[2];
  slower.timeout = std::chrono::milliseconds(3000);
  records.push_back(slower);
  const std::vector<std::string> text = {
      R"(0.500000 to-instrument request seq=1 procedure=2010 name=set-station: easting=1 northing=2 height=3 instrument_height=4)",
      R"(0.502000 to-host reply seq=1 procedure=2010 name=set-station return_code=0 return_code_name=ok round_trip_ms=2.000)",
      R"(1.000000 to-instrument request seq=3 procedure=2107 name=angles: incline_mode=1)",
      R"(1.250000 to-host reply seq=3 procedure=2107 name=angles return_code=0 return_code_name=ok round_trip_ms=250.000: hz=0.5 v=-1e-07)",
      R"(1.500000 to-host unmatched-reply seq=8 return_code=0 return_code_name=ok: parameters="")",
      R"(1.750000 to-host noise size=6 bytes="a"\\~\r\n")",
      R"(long-line line=7 size=2097152 start="{"time":")",
      R"(2.000000 to-instrument request seq=4 procedure=5039 name=power)",
      R"(2.000000 to-instrument timeout seq=4 procedure=5039 name=power timeout_ms=1500 bytes="%R1Q,5039,4:\r\n")",
      R"(dropped size=70000)",
      R"(1.000000 to-instrument request seq=3 procedure=2107 name=angles: incline_mode=1)",
  };
  const std::vector<std::string> json = {
      R"({"kind":"request","direction":"to-instrument","connection":0,"time":0.5,"size":21,"bytes":"%R1Q,2010,1:1,2,3,4\\r\\n","sequence":1,"procedure":2010,"name":"set-station","timeout_ms":1500,"parameters":"1,2,3,4","arguments":{"easting":1.0,"northing":2.0,"height":3.0,"instrument_height":4.0}})",
      R"({"kind":"reply","direction":"to-host","connection":0,"time":0.502,"size":12,"bytes":"%R1P,0,1:0\\r\\n","sequence":1,"procedure":2010,"name":"set-station","timeout_ms":1500,"parameters":"","return_code":0,"return_code_name":"ok","values":{},"round_trip_ms":2.0,"late":false})",
      R"({"kind":"request","direction":"to-instrument","connection":0,"time":1.0,"size":15,"bytes":"%R1Q,2107,3:1\\r\\n","sequence":3,"procedure":2107,"name":"angles","timeout_ms":1500,"parameters":"1","arguments":{"incline_mode":1}})",
      R"({"kind":"reply","direction":"to-host","connection":0,"time":1.25,"size":23,"bytes":"%R1P,0,3:0,0.5,-1e-07\\r\\n","sequence":3,"procedure":2107,"name":"angles","timeout_ms":1500,"parameters":",0.5,-1e-07","return_code":0,"return_code_name":"ok","values":{"hz":0.5,"v":-1e-07},"round_trip_ms":250.0,"late":false})",
      R"({"kind":"unmatched-reply","direction":"to-host","connection":0,"time":1.5,"size":12,"bytes":"%R1P,0,8:0\\r\\n","sequence":8,"procedure":null,"name":null,"timeout_ms":null,"parameters":"","return_code":0,"return_code_name":"ok","values":null,"round_trip_ms":null,"late":false})",
      R"({"kind":"noise","direction":"to-host","connection":0,"time":1.75,"size":6,"bytes":"a\"\\\\~\\r\\n"})",
      R"({"kind":"long-line","direction":"unknown","connection":0,"time":null,"size":2097152,"bytes":"{\"time\":","line":7})",
      R"({"kind":"request","direction":"to-instrument","connection":0,"time":2.0,"size":14,"bytes":"%R1Q,5039,4:\\r\\n","sequence":4,"procedure":5039,"name":"power","timeout_ms":1500,"parameters":"","arguments":{}})",
      R"({"kind":"timeout","direction":"to-instrument","connection":0,"time":2.0,"size":14,"bytes":"%R1Q,5039,4:\\r\\n","sequence":4,"procedure":5039,"name":"power","timeout_ms":1500})",
      R"({"kind":"dropped","direction":"unknown","connection":0,"time":null,"size":70000,"bytes":""})",
      R"({"kind":"request","direction":"to-instrument","connection":0,"time":1.0,"size":15,"bytes":"%R1Q,2107,3:1\\r\\n","sequence":3,"procedure":2107,"name":"angles","timeout_ms":3000,"parameters":"1","arguments":{"incline_mode":1}})",
  };
  ASSERT_EQ(records.size(), text.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(FormatText(records[i]), text[i] + "\n");
    EXPECT_EQ(FormatJson(records[i]), json[i] + "\n");
  }
}

TEST(TrafficFormat, ProcedureWithoutDecoderShowsItsParameterText) {
  unsigned short unnamed = 1;
  while (FindProcedure(unnamed) != nullptr) ++unnamed;
  const std::vector<TrafficRecord> records =
      Decode({Raw("%R1Q," + std::to_string(unnamed) + ",1:a,\"b\"\r\n")});
  ASSERT_FALSE(records.empty());
  EXPECT_FALSE(records[0].fields);
  EXPECT_EQ(nlohmann::json::parse(FormatJson(records[0]))["parameters"],
            "a,\"b\"");
}

// A request's arguments are the catalogue's reading of its parameter text,
// or null when the procedure is not named or the text does not read.
TEST(TrafficFormat, RequestArgumentsReadFromTheParameterText) {
  unsigned short unnamed = 1;
  while (FindProcedure(unnamed) != nullptr) ++unnamed;
  const struct {
    std::string request;
    const char* arguments;
  } cases[] = {
      {Request(kSetStation, 1, "1,2,3,4"),
       R"({"easting":1.0,"northing":2.0,"height":3.0,"instrument_height":4.0})"},
      {Request(kSetStation, 1, "1,2,x,4"), "null"},
      {Request(kSetStation, 1, "1,2,3"), "null"},
      {Request(kAngles, 2, "0"), R"({"incline_mode":0})"},
      {Request(kAngles, 2, "\"1"), "null"},
      {Request(kPower, 3), "{}"},
      {"%R1Q," + std::to_string(unnamed) + ",4:1\r\n", "null"},
  };
  for (const auto& row : cases) {
    const std::vector<TrafficRecord> records = Decode({Raw(row.request)});
    ASSERT_FALSE(records.empty()) << row.request;
    ASSERT_EQ(records[0].kind, TrafficKind::kRequest) << row.request;
    EXPECT_EQ(nlohmann::json::parse(FormatJson(records[0]))["arguments"].dump(),
              nlohmann::json::parse(row.arguments).dump())
        << row.request;
  }
}

TrafficRecord Exchange(TrafficKind kind, unsigned short sequence,
                       unsigned short returnCode = 0,
                       std::optional<double> roundTrip = std::nullopt) {
  TrafficRecord record;
  record.kind = kind;
  record.direction = CaptureDirection::kToInstrument;
  record.procedure = kAngles;
  record.sequence = sequence;
  record.returnCode = returnCode;
  record.roundTripMs = roundTrip;
  return record;
}

// Catches a gap missed across the wrap, one reported there, and a gap
// counted between the two directions.
TEST(TrafficDecoder, MarksRequestsWhoseNumberDoesNotFollow) {
  std::vector<CaptureRecord> records;
  for (const unsigned sequence : {32766u, 32767u, 0u, 1u, 200u}) {
    records.push_back(ToInstrument(1.0, Request(kAngles, sequence)));
    records.push_back(ToHost(1.0, Request(kAngles, 5)));
  }
  std::vector<bool> gaps;
  for (const TrafficRecord& record : Decode(records)) {
    if (record.kind == TrafficKind::kRequest &&
        record.direction == CaptureDirection::kToInstrument) {
      gaps.push_back(record.sequenceGap);
    }
  }
  EXPECT_EQ(gaps, (std::vector<bool>{false, false, false, false, true}));
}

// Requests answered in turn give their room back in full: a bound on the
// bytes kept that leaked what a reply took would time out waiting requests.
// Each reply carries its request's parameter text.
TEST(TrafficDecoder, AnsweredRequestsGiveTheirRoomBack) {
  // Room for two requests of two-digit numbers and their one-byte text.
  TrafficLimits limits;
  limits.maxPendingBytes = 2 * (Request(kAngles, 20, "1").size() + 1);
  std::vector<TrafficRecord> decoded;
  TrafficDecoder decoder(
      [&](TrafficRecord&& record) { decoded.push_back(std::move(record)); },
      limits);
  for (unsigned sequence = 0; sequence < 20; ++sequence) {
    decoder.Add(ToInstrument(1.0, Request(kAngles, sequence, "1")));
    decoder.Add(ToHost(1.0, Reply(sequence, 0, ",1,2")));
  }
  decoder.Add(ToInstrument(1.0, Request(kAngles, 20, "1")));
  decoder.Add(ToInstrument(1.0, Request(kAngles, 21, "0")));
  ASSERT_EQ(decoded.size(), 42u);
  for (const TrafficRecord& record : decoded) {
    EXPECT_NE(record.kind, TrafficKind::kTimeout) << record.sequence;
    if (record.kind == TrafficKind::kReply) {
      EXPECT_EQ(record.requestParameters, "1") << record.sequence;
      EXPECT_EQ(record.parameters, ",1,2") << record.sequence;
    }
  }
  EXPECT_EQ(decoded.back().parameters, "0");
  // A third request waiting passes the bound: the oldest times out.
  decoder.Add(ToInstrument(1.0, Request(kAngles, 22, "1")));
  ASSERT_EQ(decoded.size(), 44u);
  EXPECT_EQ(decoded[42].kind, TrafficKind::kTimeout);
  EXPECT_EQ(decoded[42].sequence, 20u);
}

// Beyond the bound on waiting requests the oldest times out before the new
// one is recorded, wherever the newest waiting request is kept.
TEST(TrafficDecoder, RequestsBeyondTheWaitingBoundTimeOutTheOldest) {
  for (const std::size_t bound : {1u, 2u, 3u}) {
    TrafficLimits limits;
    limits.maxPending = bound;
    std::vector<std::pair<TrafficKind, unsigned>> decoded;
    TrafficDecoder decoder(
        [&](TrafficRecord&& record) {
          decoded.emplace_back(record.kind, record.sequence);
        },
        limits);
    std::vector<std::pair<TrafficKind, unsigned>> expected;
    for (unsigned sequence = 1; sequence <= 5; ++sequence) {
      decoder.Add(ToInstrument(1.0, Request(kAngles, sequence)));
      if (sequence > bound) {
        expected.emplace_back(TrafficKind::kTimeout, sequence - bound);
      }
      expected.emplace_back(TrafficKind::kRequest, sequence);
    }
    EXPECT_EQ(decoded, expected) << "bound " << bound;
  }
}

// Beyond the streams it frames at once, the decoder ends the connection
// quiet for longest, and its waiting request gets no reply then; up to the
// bound, none ends.
TEST(TrafficDecoder, AConnectionBeyondTheStreamBoundEndsTheQuietest) {
  TrafficLimits limits;
  limits.maxStreams = 2;
  std::vector<std::pair<TrafficKind, unsigned>> decoded;
  TrafficDecoder decoder(
      [&](TrafficRecord&& record) {
        decoded.emplace_back(record.kind, record.connection);
      },
      limits);
  for (unsigned connection = 1; connection <= 3; ++connection) {
    decoder.Add(Piece(1.0, CaptureDirection::kToInstrument,
                      Request(kAngles, connection), connection));
  }
  EXPECT_EQ(decoded, (std::vector<std::pair<TrafficKind, unsigned>>{
                         {TrafficKind::kRequest, 1},
                         {TrafficKind::kRequest, 2},
                         {TrafficKind::kTimeout, 1},
                         {TrafficKind::kRequest, 3}}));
}

TEST(TrafficSummary, CountsTimesAndGaps) {
  TrafficSummary summary;
  for (unsigned i = 0; i < 100; ++i) {
    const auto sequence = static_cast<unsigned short>((32765 + i) % 32768);
    summary.Add(Exchange(TrafficKind::kRequest, sequence));
    summary.Add(
        Exchange(TrafficKind::kReply, sequence, i == 0 ? 5 : 0, 100.0 - i));
  }
  TrafficRecord gap = Exchange(TrafficKind::kRequest, 200);
  gap.sequenceGap = true;
  summary.Add(gap);
  summary.Add(Exchange(TrafficKind::kTimeout, 200));
  const std::vector<ProcedureSummary> rows = summary.Procedures();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].calls, 101u);
  EXPECT_EQ(rows[0].timeouts, 1u);
  EXPECT_EQ(rows[0].sequenceGaps, 1u);
  EXPECT_EQ(rows[0].replies,
            (std::map<unsigned short, std::uint64_t>{{0, 99}, {5, 1}}));
  ASSERT_TRUE(rows[0].roundTrip);
  EXPECT_EQ(rows[0].roundTrip->min, 1);
  EXPECT_EQ(rows[0].roundTrip->median, 50);
  EXPECT_EQ(rows[0].roundTrip->p95, 95);
  EXPECT_EQ(rows[0].roundTrip->max, 100);
}

// A code this project names shows its name in every form; any other code
// shows its number alone.
TEST(TrafficFormat, ReturnCodesShowTheirNames) {
  TrafficSummary summary;
  const unsigned short codes[] = {0, 8710, 8710, 1234};
  std::vector<std::string> lines;
  std::vector<nlohmann::json> objects;
  for (unsigned short i = 0; i < 4; ++i) {
    TrafficRecord reply = Exchange(TrafficKind::kReply, i, codes[i], 1.5);
    reply.fields = Fields{};
    summary.Add(reply);
    lines.push_back(FormatText(reply));
    objects.push_back(nlohmann::json::parse(FormatJson(reply)));
  }
  EXPECT_NE(lines[0].find(" return_code=0 return_code_name=ok "),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(" return_code=8710 return_code_name=no-target "),
            std::string::npos)
      << lines[1];
  EXPECT_NE(lines[3].find(" return_code=1234 round_trip_ms=1.500"),
            std::string::npos)
      << lines[3];
  EXPECT_EQ(objects[1]["return_code_name"], "no-target");
  EXPECT_TRUE(objects[3]["return_code_name"].is_null());

  const std::string text = FormatSummaryText(summary);
  EXPECT_NE(text.find(" 0(ok):1 1234:1 8710(no-target):2\n"), std::string::npos)
      << text;
  const nlohmann::json row =
      nlohmann::json::parse(FormatSummaryJson(summary).substr(
          0, FormatSummaryJson(summary).find('\n')));
  EXPECT_EQ(row["replies"],
            nlohmann::json({{"0", 1}, {"1234", 1}, {"8710", 2}}));
  EXPECT_EQ(row["return_code_names"],
            nlohmann::json({{"0", "ok"}, {"8710", "no-target"}}));
}

// Beyond the sample size the quantiles come from a sample; a sample that
// favoured early or late times would move them far from the truth.
TEST(TrafficSummary, SampledQuantilesStayNearTheTruth) {
  TrafficSummary summary;
  const unsigned count = 100 * TrafficSummary::kSampleSize;
  for (unsigned i = 1; i <= count; ++i) {
    summary.Add(Exchange(TrafficKind::kReply, 0, 0, i));
  }
  const RoundTripStats stats = *summary.Procedures()[0].roundTrip;
  EXPECT_EQ(stats.count, count);
  EXPECT_EQ(stats.min, 1);
  EXPECT_EQ(stats.max, count);
  EXPECT_NEAR(stats.median, 0.5 * count, 0.05 * count);
  EXPECT_NEAR(stats.p95, 0.95 * count, 0.02 * count);
}

// Cut anywhere, even between a CR and its LF, a capture decodes to the same
// records, and their sizes add up to every byte.
TEST(TrafficDecoder, AnyCuttingGivesTheSameRecordsAndEveryByte) {
  std::mt19937 random(12);
  std::string bytes;
  for (unsigned i = 0; i < 2000; ++i) {
    const auto sequence = static_cast<unsigned short>(random() % 50);
    switch (random() % 4) {
      case 0:
        bytes += Request(kAngles, sequence, "1");
        break;
      case 1:
        bytes +=
            Reply(sequence, static_cast<unsigned>(random() % 2), ",0.5,1.25");
        break;
      case 2:
        bytes += "%R1P,1," + std::to_string(sequence) + ":0\r";
        break;
      default:
        bytes += std::string(random() % 40, static_cast<char>(random() % 37));
    }
  }
  const auto decode = [](const std::vector<CaptureRecord>& records) {
    std::string text;
    std::size_t total = 0;
    for (const TrafficRecord& record : Decode(records)) {
      text += FormatJson(record);
      if (record.kind != TrafficKind::kTimeout) total += record.size;
    }
    return std::make_pair(text, total);
  };
  const auto whole = decode({Raw(bytes)});
  EXPECT_EQ(whole.second, bytes.size());
  for (int round = 0; round < 5; ++round) {
    std::vector<CaptureRecord> pieces;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t length = 1 + random() % 300;
      pieces.push_back(Raw(bytes.substr(at, length)));
      at += length;
    }
    EXPECT_EQ(decode(pieces), whole) << "round " << round;
  }
}

// The decoder hands out the same record object each time: a sink that reads
// it in place must see only what belongs to the record, as a sink that
// moves it out does, for every kind after every other.
TEST(TrafficDecoder, ARecordReadInPlaceHoldsNothingOfTheOneBefore) {
  const std::vector<CaptureRecord> capture = {
      ToInstrument(0.0, Request(kSetStation, 1, "1.5,2.5,3.5,1.25")),
      ToHost(0.25, Reply(1, 0)),
      ToInstrument(0.5, Request(kAngles, 2, "1")),
      ToHost(0.75, Reply(2, 0, ",0.5,1.25")),
      ToHost(1.0, "noise"),
      ToHost(1.0, Reply(5, 0, ",1,2")),
      ToInstrument(1.25, Request(kAngles, 3, "1")),
      ToHost(1.5, Reply(3, 1283)),
      ToHost(1.75, "%R1P,2,4:0\r\n"),
      ToInstrument(2.0, Request(kInstrumentNumber, 4)),
      ToHost(2.25, Reply(4, 0, ",412237")),
      ToInstrument(2.5, Request(kAngles, 5, "x")),
      ToHost(2.75, "\x01"),
      // A late reply, then a reply that is not.
      ToInstrument(3.0, Request(kAngles, 6, "1")),
      ToHost(5.0, "noise"),
      ToHost(5.25, Reply(6, 0, ",0.5,1.25")),
      ToHost(5.5, Reply(7, 0)),
  };
  const auto describe = [](const TrafficRecord& record) {
    return FormatJson(record) + "|" + record.requestParameters + "|" +
           std::to_string(record.fields ? record.fields->size() : 99) + "|" +
           (record.roundTripMs ? FormatDouble(*record.roundTripMs) : "-") +
           "|" + std::to_string(record.exchange) + "|" +
           (record.sequenceGap ? "gap" : "");
  };
  std::vector<std::string> movedOut;
  for (const TrafficRecord& record : Decode(capture)) {
    movedOut.push_back(describe(record));
  }
  std::vector<std::string> inPlace;
  TrafficDecoder decoder(
      [&](TrafficRecord&& record) { inPlace.push_back(describe(record)); });
  for (const CaptureRecord& record : capture) decoder.Add(record);
  decoder.Finish();
  EXPECT_EQ(inPlace, movedOut);
  ASSERT_EQ(movedOut.size(), 18u);
  // What a record's kind does not carry is as a new record has it.
  const TrafficRecord fresh;
  for (const TrafficRecord& record : Decode(capture)) {
    if (record.kind != TrafficKind::kNoise) continue;
    EXPECT_EQ(record.sequence, fresh.sequence);
    EXPECT_EQ(record.exchange, fresh.exchange);
    EXPECT_EQ(record.returnCode, fresh.returnCode);
    EXPECT_EQ(record.late, fresh.late);
    EXPECT_EQ(record.sequenceGap, fresh.sequenceGap);
    EXPECT_EQ(record.line, fresh.line);
  }
  // A request before any time is known: its reply has no round trip.
  const std::vector<TrafficRecord> untimed =
      Decode({Piece(std::nullopt, CaptureDirection::kToInstrument,
                    Request(kAngles, 8, "1")),
              ToHost(1.0, Reply(8, 0, ",0.5,1.25"))});
  ASSERT_EQ(untimed.size(), 2u);
  EXPECT_EQ(untimed[1].kind, TrafficKind::kReply);
  EXPECT_FALSE(untimed[1].roundTripMs);
}

// Catches the LF lost when it arrives after its CR in a piece of its own,
// or another direction's bytes holding the sentence back.
TEST(TrafficDecoder, AnLfInAPieceOfItsOwnStaysWithItsSentence) {
  const std::string request = Request(kPower, 9);
  const std::string reply = "%R1P,0,9:0,1,1,1\r";
  // The request's LF comes next; the reply's only after the other
  // direction's bytes, so it has been handed out and the LF stands alone.
  const std::vector<TrafficRecord> decoded =
      Decode({ToInstrument(1.0, request.substr(0, request.size() - 1)),
              ToInstrument(1.5, "\n"), ToHost(2.0, reply),
              ToInstrument(2.5, "\n"), ToHost(3.0, "\n")});
  std::vector<std::string> outline;
  std::size_t total = 0;
  for (const TrafficRecord& record : decoded) {
    outline.push_back(Outline(record) + " " + FormatDouble(*record.time) + " " +
                      std::to_string(record.size));
    total += record.size;
  }
  EXPECT_EQ(outline, (std::vector<std::string>{
                         "request 9 " + Number(kPower) + " 1.5 " +
                             std::to_string(request.size()),
                         "reply 9 " + Number(kPower) + " rtt=500 2 " +
                             std::to_string(reply.size()),
                         "noise 3 1", "noise 3 1"}));
  EXPECT_EQ(total, request.size() + reply.size() + 2);
}

// Catches dropped bytes or long lines counted as noise in the summary.
TEST(TrafficSummary, DroppedBytesAreNotNoise) {
  TrafficSummary summary;
  TrafficRecord dropped;
  dropped.kind = TrafficKind::kDropped;
  dropped.size = 70000;
  summary.Add(dropped);
  TrafficRecord noise;
  noise.kind = TrafficKind::kNoise;
  noise.size = 3;
  summary.Add(noise);
  TrafficRecord longLine;
  longLine.kind = TrafficKind::kLongLine;
  longLine.size = 2u << 20;
  summary.Add(longLine);
  EXPECT_EQ(summary.Totals().droppedBytes, 70000u);
  EXPECT_EQ(summary.Totals().noiseBytes, 3u);
  EXPECT_EQ(summary.Totals().longLines, 1u);
  EXPECT_EQ(summary.Totals().records, 3u);
}

// The summary as people and tools read it: numbers right-aligned, names and
// times left-aligned, and every total in its place.
TEST(TrafficFormat, SummaryPrintsEveryColumnAndTotal) {
  TrafficSummary summary;
  for (const TrafficRecord& record :
       Decode({ToInstrument(0, Request(kPower, 1)),
               ToHost(0.0025, Reply(1, 0, ",1,1,1")),
               ToInstrument(1, Request(kPower, 5)), ToHost(1.5, Reply(5, 1)),
               ToInstrument(2, Request(kAngles, 6, "1")), ToHost(2.1, "~"),
               ToHost(2.2, Reply(9, 0)), LongLine(3, 5)})) {
    summary.Add(record);
  }
  EXPECT_EQ(
      FormatSummaryText(summary),
      R"(procedure name   calls time-outs gaps round trip ms min/median/p95/max replies by return code)"
      "\n"
      R"(     2107 angles     1         1    0 -                                -)"
      "\n"
      R"(     5039 power      2         0    1 2.500/2.500/500.000/500.000      0(ok):1 1(undefined):1)"
      "\n"
      R"(records=9 unmatched_replies=1 unrecognised=0 noise_bytes=1 dropped_bytes=0 long_lines=1)"
      "\n");
  EXPECT_EQ(
      FormatSummaryJson(summary),
      R"({"calls":1,"kind":"procedure","name":"angles","procedure":2107,"replies":{},"return_code_names":{},"round_trip_ms":null,"sequence_gaps":0,"timeouts":1})"
      "\n"
      R"({"calls":2,"kind":"procedure","name":"power","procedure":5039,"replies":{"0":1,"1":1},"return_code_names":{"0":"ok","1":"undefined"},"round_trip_ms":{"count":2,"max":500.0,"median":2.5,"min":2.5,"p95":500.0},"sequence_gaps":1,"timeouts":0})"
      "\n"
      R"({"dropped_bytes":0,"kind":"totals","long_lines":1,"noise_bytes":1,"records":9,"unmatched_replies":1,"unrecognised":0})"
      "\n");
}

// Catches columns that slip once a count has six digits: every row's
// columns start where the header's do.
TEST(TrafficFormat, SummaryColumnsStayAlignedAtSixDigits) {
  TrafficSummary summary;
  for (unsigned i = 0; i < 123456; ++i) {
    TrafficRecord request;
    request.kind = TrafficKind::kRequest;
    request.procedure = kPower;
    request.sequence = static_cast<unsigned short>((i * 2) % 32768);
    summary.Add(request);
  }
  TrafficRecord reply;
  reply.kind = TrafficKind::kReply;
  reply.procedure = kAngles;
  reply.roundTripMs = 123456.789;
  summary.Add(reply);
  const std::string text = FormatSummaryText(summary);
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 3u);
  const auto starts = [](const std::string& line) {
    std::vector<std::size_t> columns;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != ' ' && (i == 0 || line[i - 1] == ' ')) {
        columns.push_back(i);
      }
    }
    return columns;
  };
  // The header's "round trip ms ..." holds spaces: compare the columns up
  // to it, and where each row's round trip starts.
  const std::size_t roundTrip = lines[0].find("round trip");
  const std::size_t replies = lines[0].find("replies by");
  for (std::size_t row = 1; row + 1 < lines.size(); ++row) {
    const std::vector<std::size_t> columns = starts(lines[row]);
    ASSERT_GE(columns.size(), 7u) << lines[row];
    EXPECT_EQ(columns[5], roundTrip) << lines[row];
    EXPECT_EQ(columns[6], replies) << lines[row];
  }
}

}  // namespace
}  // namespace geocom
