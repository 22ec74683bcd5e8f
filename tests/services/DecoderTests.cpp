#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace {

using namespace Core::GEOCOM;

// Loads the parameters into a sentence the way a host receives them: as the
// bytes of a reply sentence.
GeoComSentence ReplyCarrying(const std::string& parameters) {
  GeoComSentence composed;
  EXPECT_TRUE(composed.CreateReply(9, GRC_OK,
                                   parameters.empty() ? "" : "," + parameters));
  const unsigned char* bytes = nullptr;
  int length = 0;
  composed.GetBuffer(bytes, length);
  GeoComSentence reply;
  int lastByteIndex = 0;
  EXPECT_TRUE(reply.CreateMessageFromBuffer(bytes, length, lastByteIndex));
  return reply;
}

void Put(std::ostream& out, const std::string& text) {
  out << '"' << text << '"';
}
template <typename Number>
void Put(std::ostream& out, const Number& number) {
  out << +number;
}
template <std::size_t Count>
void Put(std::ostream& out, const unsigned char (&bytes)[Count]) {
  for (std::size_t index = 0; index < Count; ++index) {
    out << (index == 0 ? "" : " ") << +bytes[index];
  }
}

// The result and every output, in one line that a table can spell out.
template <typename... Outputs>
std::string Outcome(bool result, const Outputs&... outputs) {
  std::ostringstream text;
  text << (result ? "true" : "false");
  ((text << ' ', Put(text, outputs)), ...);
  return text.str();
}

// Each decoder runs on outputs pre-filled with sentinels, so that an output
// left untouched shows up as its sentinel.
using Decoder = std::function<std::string(const GeoComSentence&)>;
const std::map<std::string, Decoder> kDecoders = {
    {"power",
     [](const GeoComSentence& reply) {
       CSV_PowerStatus status{-7, static_cast<CSV_POWER_PATH>(9),
                              static_cast<CSV_POWER_PATH>(9)};
       return Outcome(reply.UnPack(status), status.level, status.firstPath,
                      status.secondPath);
     }},
    {"date",
     [](const GeoComSentence& reply) {
       DATE_TYPE date{1999, 0xAA, 0xBB};
       return Outcome(reply.UnPack(date), date.year, date.month, date.day);
     }},
    {"device",
     [](const GeoComSentence& reply) {
       TPS_Device device{77, 77};
       return Outcome(reply.UnPack(device), device.deviceClass,
                      device.deviceType);
     }},
    {"devicetype",
     [](const GeoComSentence& reply) {
       std::int32_t deviceClass = 77;
       std::int32_t deviceType = 77;
       return Outcome(reply.UnPackCsvDeviceType(deviceClass, deviceType),
                      deviceClass, deviceType);
     }},
    {"csvlist",
     [](const GeoComSentence& reply) {
       std::string first = "s1", second = "s2", third = "s3";
       unsigned short firstNumber = 7, secondNumber = 7;
       return Outcome(reply.UnPackCsvListResponse(first, second, firstNumber,
                                                  secondNumber, third),
                      first, second, firstNumber, secondNumber, third);
     }},
    {"ftrlist",
     [](const GeoComSentence& reply) {
       bool last = true;
       FTR_DIRINFO entry{"old", 99, {1, 1, 1, 1}, {{1, 1, 1}}};
       return Outcome(reply.UnPackFtrListResponse(last, entry), last,
                      entry.name, entry.size, entry.modTime,
                      entry.modDate.parts);
     }},
    {"battery",
     [](const GeoComSentence& reply) {
       double capacity = -1.0;
       CSV_POWER_PATH path = static_cast<CSV_POWER_PATH>(9);
       return Outcome(reply.UnPackGetBatteryStatusResponse(capacity, path),
                      capacity, path);
     }},
    {"instrument",
     [](const GeoComSentence& reply) {
       std::int32_t number = 77;
       return Outcome(reply.UnPackGetInstrumentNo(number), number);
     }},
    {"activity",
     [](const GeoComSentence& reply) {
       AUT_AUTEVENT event = static_cast<AUT_AUTEVENT>(77);
       return Outcome(reply.UnPackGetAutomationActivity(event), event);
     }},
    {"version",
     [](const GeoComSentence& reply) {
       unsigned short release = 7, version = 7, subversion = 7;
       return Outcome(
           reply.UnPackGetSWVersionResponse(release, version, subversion),
           release, version, subversion);
     }},
};

struct DecodeCase {
  const char* decoder;
  const char* parameters;
  const char* expected;
};

const DecodeCase kCases[] = {
    {"power", "85,1,2", "true 85 1 2"},
    {"power", "-32768,0,0,5", "true -32768 0 0"},
    {"power", "85,3,1", "false 85 0 0"},
    {"power", "85,1,-1", "false 85 1 0"},
    {"power", "40000,1,1", "false 0 0 0"},
    {"power", "", "false 0 0 0"},
    {"date", "2024,'03','0f',1", "true 2024 3 15"},
    {"date", "70000,'01','01'", "false 1999 170 187"},
    {"date", "-1,'01','01'", "false 1999 170 187"},
    {"date", "2024,'03'", "false 2024 3 187"},
    {"date", "2024,'0g','0f'", "false 2024 170 187"},
    {"date", "", "false 1999 170 187"},
    {"device", "301,32767,4", "true 301 32767"},
    {"device", "500,0", "true 500 0"},
    {"device", "509,1", "true 509 1"},
    {"device", "302,1", "false 302 0"},
    {"device", "499,1", "false 499 0"},
    {"device", "510,1", "false 510 0"},
    {"device", "0,32768", "false 0 32768"},
    {"device", "0,65536", "false 0 0"},
    {"device", "", "false 0 0"},
    {"devicetype", "3,-4,5", "true 3 -4"},
    {"devicetype", "3", "false 3 77"},
    {"devicetype", "", "false 77 77"},
    {"csvlist", "\"x\",\"y\",1,2,\"z\"", "true \"x\" \"y\" 1 2 \"z\""},
    {"csvlist", "\"a,b\",\"\",0,65535,\"c\",9",
     "true \"a,b\" \"\" 0 65535 \"c\""},
    {"csvlist", "\"x\",\"y\",-1,2,\"z\"", "false \"x\" \"y\" 7 7 \"s3\""},
    {"csvlist", "\"x\",\"y\",1,65536,\"z\"", "false \"x\" \"y\" 1 7 \"s3\""},
    {"csvlist", "", "false \"s1\" \"s2\" 7 7 \"s3\""},
    {"ftrlist", "0,\"a.txt\",120,'0a','1e','00','00','18','05','0c'",
     "true 0 \"a.txt\" 120 10 30 0 0 24 5 12"},
    {"ftrlist", "7,\"\",4294967295,'ff','00','00','00','00','00','00',1",
     "true 1 \"\" 4294967295 255 0 0 0 0 0 0"},
    {"ftrlist", "0,\"a\",1,'0a','1e','00','00','18','05'",
     "false 0 \"a\" 1 10 30 0 0 24 5 1"},
    {"ftrlist", "0,\"a\",1,'0a','1e','00','0'",
     "false 0 \"a\" 1 10 30 0 0 1 1 1"},
    {"ftrlist", "0,a", "false 0 \"old\" 99 1 1 1 1 1 1 1"},
    {"ftrlist", "x,\"a\"", "false 1 \"old\" 99 1 1 1 1 1 1 1"},
    {"ftrlist", "", "false 1 \"old\" 99 1 1 1 1 1 1 1"},
    {"battery", "12.5,1,3", "true 12.5 1"},
    {"battery", "12.5,1e0", "true 12.5 1"},
    {"battery", "12.5,0", "true 12.5 2"},
    {"battery", "12.5,2", "true 12.5 2"},
    {"battery", "12.5,0.5", "true 12.5 2"},
    {"battery", "12.5", "false 12.5 9"},
    {"battery", "", "false -1 9"},
    {"instrument", "123456,5", "true 123456"},
    {"instrument", "2147483648", "false 77"},
    {"instrument", "", "false 77"},
    {"activity", "-2147483648", "true -2147483648"},
    {"activity", "abc", "false 77"},
    {"activity", "", "false 77"},
    {"version", "1,2,3,4", "true 1 2 3"},
    {"version", "65535,0,65535", "true 65535 0 65535"},
    {"version", "1,2,70000", "false 1 2 7"},
    {"version", "1,-2,3", "false 1 7 7"},
    {"version", "", "false 7 7 7"},
};

TEST(ServiceDecoders, StoreExactlyWhatEachReplyAllows) {
  for (const DecodeCase& decodeCase : kCases) {
    SCOPED_TRACE(std::string(decodeCase.decoder) + " on " +
                 decodeCase.parameters);
    EXPECT_EQ(
        kDecoders.at(decodeCase.decoder)(ReplyCarrying(decodeCase.parameters)),
        decodeCase.expected);
  }
}

}  // namespace
