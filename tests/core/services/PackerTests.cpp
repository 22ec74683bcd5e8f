#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Core::GEOCOM;

TEST(ServicePackers, ComposeTheExactRequestText) {
  const GeoComSentence s;
  const struct {
    std::string packed;
    const char* expected;
  } cases[] = {
      {s.PackCsvSetupList(static_cast<CSV_DEVICETYPE>(1000),
                          static_cast<CSV_OBJECTTYPE>(-5)),
       "1000,-5"},
      {s.PackCsvDelete2(CSV_DEVICE_CARD, CSV_OBJECT_FILE, "a,\"b"),
       "1,0,\"a,\"b\""},
      {s.PackFtrSetupList(FTR_DEVICE_CARD, FTR_FILE_IMAGES, "d/x"),
       "1,170,\"d/x\""},
      {s.PackFtrDelete(FTR_DEVICE_CARD, static_cast<FTR_FILETYPE>(2),
                       FTR_MODDATE{{12, 5, 24}}, "a.txt"),
       "1,2,'0c','05','18',\"a.txt\""},
      // Only the absent device is left out.
      {s.PackUploadObject(LOD_OBJECT_APPLICATION, "x", LOD_DEVICE_NONE),
       "1,\"x\""},
      {s.PackUploadObject(LOD_OBJECT_APPLICATION, "x",
                          static_cast<LOD_DEVICETYPE>(-2)),
       "1,\"x\",-2"},
      {s.PackRequestSetDateTime(DATIME{2024, 3, 15, 10, 30, 0}),
       "2024,'03','0f','0a','1e','00'"},
      // The top bit of a byte must not reach the text as a sign.
      {s.PackRequestSetDateTime(DATIME{65535, 255, 255, 255, 255, 255}),
       "65535,'ff','ff','ff','ff','ff'"},
      {s.PackRequestGetInterfacePort(static_cast<CSV_INTERFACE>(-5)), "-5"},
      {s.PackRequestPowerOnPort(2, true), "2,1"},
      {s.PackRequestSetDeviceOnPort(1, "a\"b"), "1,\"a\"b\""},
      {s.PackRequestSetRadio("net,1", 7, -8), "\"net,1\",7,-8"},
      {s.PackRequestEnableRCS(5, 7), "1,5,1,7"},
      {s.PackRequestDisableRCS(5), "1,5,0"},
      {s.PackRequestCSVAuthenticate("secret", 2), "\"secret\",2"},
      {s.PackRequestCSVAuthenticateEx("k\"y", -1, 4294967295u),
       "\"k\"y\",-1,4294967295"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.packed, c.expected);
  }
}

}  // namespace
