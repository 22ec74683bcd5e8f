#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Core::GEOCOM;

struct PackCase {
  std::string packed;
  std::string expected;
};

TEST(ServicePackers, ComposeTheExactRequestText) {
  const GeoComSentence sentence;
  const std::string withNul("a\0b", 3);
  const std::vector<PackCase> cases = {
      {sentence.PackCsvSetupList(static_cast<CSV_DEVICETYPE>(1000),
                                 static_cast<CSV_OBJECTTYPE>(-5)),
       "1000,-5"},
      {sentence.PackCsvDelete2(CSV_DEVICE_CARD, CSV_OBJECT_FILE, "a,\"b"),
       "1,0,\"a,\"b\""},
      {sentence.PackCsvDelete2(CSV_DEVICE_CARD, CSV_OBJECT_FILE, withNul),
       "1,0,\"" + withNul + "\""},
      {sentence.PackFtrSetupList(FTR_DEVICE_CARD, FTR_FILE_IMAGES, "d/x"),
       "1,170,\"d/x\""},
      {sentence.PackFtrDelete(FTR_DEVICE_CARD, static_cast<FTR_FILETYPE>(2),
                              FTR_MODDATE{{12, 5, 24}}, "a.txt"),
       "1,2,'0c','05','18',\"a.txt\""},
      {sentence.PackFtrDelete(FTR_DEVICE_INTERNAL, FTR_FILE_UNKNOWN,
                              FTR_MODDATE{{1, 2, 255}}, ""),
       "0,0,'01','02','ff',\"\""},
      {sentence.PackUploadObject(LOD_OBJECT_APPLICATION, "x", LOD_DEVICE_NONE),
       "1,\"x\""},
      {sentence.PackUploadObject(LOD_OBJECT_APPLICATION, "x",
                                 LOD_DEVICE_INTERNAL),
       "1,\"x\",0"},
      {sentence.PackUploadObject(LOD_OBJECT_APPLICATION, "x",
                                 static_cast<LOD_DEVICETYPE>(-2)),
       "1,\"x\",-2"},
      {sentence.PackRequestSetDateTime(DATIME{2024, 3, 15, 10, 30, 0}),
       "2024,'03','0f','0a','1e','00'"},
      {sentence.PackRequestSetDateTime(DATIME{65535, 255, 255, 255, 255, 255}),
       "65535,'ff','ff','ff','ff','ff'"},
      {sentence.PackRequestSetDateTime(DATIME{0, 0, 0, 0, 0, 0}),
       "0,'00','00','00','00','00'"},
      {sentence.PackRequestGetInterfacePort(static_cast<CSV_INTERFACE>(-5)),
       "-5"},
      {sentence.PackRequestConfigurePort(-2147483647 - 1, 2147483647),
       "-2147483648,2147483647"},
      {sentence.PackRequestPowerOnPort(2, true), "2,1"},
      {sentence.PackRequestPowerOnPort(-1, false), "-1,0"},
      {sentence.PackRequestSetDeviceOnPort(1, 2, 3, -4), "1,2,3,-4"},
      {sentence.PackRequestSetDeviceOnPort(1, "a\"b"), "1,\"a\"b\""},
      {sentence.PackRequestSetupPortForwarding(3, 4), "3,4"},
      {sentence.PackRequestRemovePortForwarding(5, -6), "5,-6"},
      {sentence.PackRequestSetRadio("net,1", 7, -8), "\"net,1\",7,-8"},
      {sentence.PackRequestEnableRCS(5, 7), "1,5,1,7"},
      {sentence.PackRequestDisableRCS(5), "1,5,0"},
      {sentence.PackRequestCSVAuthenticate("", 0), "\"\",0"},
      {sentence.PackRequestCSVAuthenticate("secret", 2), "\"secret\",2"},
      {sentence.PackRequestCSVAuthenticateEx("k\"y", -1, 4294967295u),
       "\"k\"y\",-1,4294967295"},
  };
  for (const PackCase& packCase : cases) {
    EXPECT_EQ(packCase.packed, packCase.expected);
  }
}

}  // namespace
