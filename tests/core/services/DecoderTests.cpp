#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>

#include "support/Sentences.h"

namespace {

using namespace Core::GEOCOM;
using S = GeoComSentence;
using Decoder = std::function<std::string(const S&)>;

void Put(std::ostream& out, const std::string& text) {
  out << '"' << text << '"';
}
template <typename Number>
void Put(std::ostream& out, const Number& number) {
  out << +number;
}
void Put(std::ostream& out, const CSV_PowerStatus& status) {
  out << status.level << ' ' << status.firstPath << ' ' << status.secondPath;
}
void Put(std::ostream& out, const DATE_TYPE& date) {
  out << date.year << ' ' << +date.month << ' ' << +date.day;
}
void Put(std::ostream& out, const TPS_Device& device) {
  out << device.deviceClass << ' ' << device.deviceType;
}
void Put(std::ostream& out, const FTR_DIRINFO& entry) {
  Put(out, entry.name);
  out << ' ' << entry.size;
  for (const unsigned char byte : entry.modTime) out << ' ' << +byte;
  for (const unsigned char byte : entry.modDate.parts) out << ' ' << +byte;
}

// Runs a decoder on outputs that start at the given values (their types come
// from the decoder alone), so that an output left untouched shows its initial
// value; spells out the result and every output in one line.
template <typename... Outputs>
Decoder Call(bool (S::*decode)(Outputs&...) const,
             std::decay_t<Outputs>... initial) {
  return [=](const S& reply) {
    std::tuple<Outputs...> outputs(initial...);
    const bool ok = std::apply(
        [&](Outputs&... out) { return (reply.*decode)(out...); }, outputs);
    std::ostringstream text;
    text << std::boolalpha << ok;
    std::apply(
        [&](const Outputs&... out) { ((text << ' ', Put(text, out)), ...); },
        outputs);
    return text.str();
  };
}

TEST(ServiceDecoders, StoreExactlyWhatEachReplyAllows) {
  const auto unset = static_cast<CSV_POWER_PATH>(9);
  const Decoder power =
      Call<CSV_PowerStatus>(&S::UnPack, CSV_PowerStatus{-7, unset, unset});
  const Decoder date = Call<DATE_TYPE>(&S::UnPack, DATE_TYPE{1999, 0xAA, 0xBB});
  const Decoder device = Call<TPS_Device>(&S::UnPack, TPS_Device{77, 77});
  const Decoder deviceType = Call(&S::UnPackCsvDeviceType, 77, 77);
  const Decoder csvList =
      Call(&S::UnPackCsvListResponse, "s1", "s2", 7, 7, "s3");
  const Decoder ftrList =
      Call(&S::UnPackFtrListResponse, true,
           FTR_DIRINFO{"old", 99, {1, 1, 1, 1}, {{1, 1, 1}}});
  const Decoder battery = Call(&S::UnPackGetBatteryStatusResponse, -1.0, unset);
  const Decoder instrument = Call(&S::UnPackGetInstrumentNo, 77);
  const Decoder activity =
      Call(&S::UnPackGetAutomationActivity, static_cast<AUT_AUTEVENT>(77));
  const Decoder software = Call(&S::UnPackGetSWVersionResponse, 7, 7, 7);
  const struct {
    Decoder decode;
    const char* parameters;
    const char* expected;
  } cases[] = {
      {power, ",85,1,2", "true 85 1 2"},
      {power, ",-32768,0,0,5", "true -32768 0 0"},
      // Fields the decoder does not reach are cleared.
      {power, ",85,3,1", "false 85 0 0"},
      {power, ",85,1,-1", "false 85 1 0"},
      {power, ",40000,1,1", "false 0 0 0"},
      // Fields the decoder does not reach keep their values.
      {date, ",2024,'03','0f',1", "true 2024 3 15"},
      {date, ",70000,'01','01'", "false 1999 170 187"},
      {date, ",2024,'03'", "false 2024 3 187"},
      {date, ",2024,'0g','0f'", "false 2024 170 187"},
      // A code that fits 16 bits but is unknown is stored, then refused.
      {device, ",301,32767,4", "true 301 32767"},
      {device, ",500,0", "true 500 0"},
      {device, ",509,1", "true 509 1"},
      {device, ",302,1", "false 302 0"},
      {device, ",499,1", "false 499 0"},
      {device, ",510,1", "false 510 0"},
      {device, ",0,32768", "false 0 32768"},
      {device, "", "false 0 0"},
      {deviceType, ",3,-4,5", "true 3 -4"},
      {deviceType, ",3", "false 3 77"},
      {deviceType, ",,5", "false 77 77"},
      {csvList, ",\"x\",\"y\",1,2,\"z\"", "true \"x\" \"y\" 1 2 \"z\""},
      {csvList, ",\"a,b\",\"\",0,65535,\"c\",9",
       "true \"a,b\" \"\" 0 65535 \"c\""},
      {csvList, ",\"x\",\"y\",-1,2,\"z\"", "false \"x\" \"y\" 7 7 \"s3\""},
      {csvList, ",\"x\",\"y\",1,65536,\"z\"", "false \"x\" \"y\" 1 7 \"s3\""},
      {ftrList, ",0,\"a.txt\",120,'0a','1e','00','00','18','05','0c'",
       "true 0 \"a.txt\" 120 10 30 0 0 24 5 12"},
      // Any 32-bit number but 0 is true.
      {ftrList, ",-65536,\"\",4294967295,'ff','01','02','03','04','05','06',1",
       "true 1 \"\" 4294967295 255 1 2 3 4 5 6"},
      // Bytes are read straight into the entry: a short field leaves 0.
      {ftrList, ",0,\"a\",1,'0a','1e','00','00','18','05'",
       "false 0 \"a\" 1 10 30 0 0 24 5 1"},
      {ftrList, ",0,\"a\",1,'0a','1e','00','0'",
       "false 0 \"a\" 1 10 30 0 0 1 1 1"},
      {ftrList, ",x,\"a\"", "false 1 \"old\" 99 1 1 1 1 1 1 1"},
      {ftrList, ",0,a,1,'0a'", "false 0 \"old\" 99 1 1 1 1 1 1 1"},
      {battery, ",12.5,1,3", "true 12.5 1"},
      {battery, ",12.5,2", "true 12.5 2"},
      {battery, ",12.5,1.5", "true 12.5 2"},
      {battery, ",12.5", "false 12.5 9"},
      {instrument, ",-2147483648,5", "true -2147483648"},
      {instrument, ",2147483648", "false 77"},
      {activity, ",-2147483648,5", "true -2147483648"},
      {activity, ",2147483648", "false 77"},
      {software, ",65535,0,3,4", "true 65535 0 3"},
      {software, ",1,2,70000", "false 1 2 7"},
      {software, ",1,-2,3", "false 1 7 7"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.decode(test_support::Received(c.parameters)), c.expected)
        << c.parameters;
  }
}

}  // namespace
