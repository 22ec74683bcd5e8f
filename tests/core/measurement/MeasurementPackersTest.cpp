#include <gtest/gtest.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <string>

using namespace Core::GEOCOM;

TEST(MeasurementPackers, ComposeExactParameterTexts) {
  const GeoComSentence s;
  const TMC_ANGLE angle{0.1, 0.2, 0.3, 4, {0.5, 0.6, 0.7, 8}, TMC_FACE_TYPE(1)};
  const TMC_ANGLE other{1e20, -0.0, 2, 3, {4, 5, 6, 7}, TMC_FACE_TYPE(-5)};
  const struct {
    std::string packed;
    const char* expected;
  } cases[] = {
      {s.PackDeviceFastPositionRequest(1.0, -2.5, 0.25, AUT_ATRMODE(7)),
       "1.000000,-2.500000,0.250000,7"},
      {s.PackDevicePositionRequest(0.5, 1.25, AUT_POSMODE(2), AUT_ATRMODE(1),
                                   true),
       "0.500000,1.250000,2,1,1"},
      {s.PackFineAdjustRequest(0.1, 0.2, false), "0.100000,0.200000,0"},
      {s.PackFineAdjustRetryRequest(3.0, 1e20, ATA_VISIBILITY(-3)),
       "3.000000,100000000000000000000.000000,-3"},
      // Fixed six decimals here, against six significant digits below.
      {s.PackMotorSetVelocityRequest(1.23456789, -0.00000025),
       "1.234568,-0.000000"},
      {s.PackSetSearchAreaRequest(1.0, -0.25, 0.1, 0.2, false),
       "1.000000,-0.250000,0.100000,0.200000,0"},
      {s.Pack(1.23456789, 100.0, 1234567.0, 0.5, -0.0001, 0.00001, "a,\"b"),
       "1.23457,100,1.23457e+06,0.5,-0.0001,1e-05,\"a,\"b\""},
      {s.Pack(TMC_RAW_ANGLE{true, 1.5, 2.25, 0.125, 100},
              TMC_RAW_ANGLE{false, 0, 0, 0, -2147483647 - 1}),
       "1,1.5,2.25,0.125,100,0,0,0,0,-2147483648"},
      {s.Pack(TMC_RAW_INCLINE{true, 0.1, 0.2, 0.3, 0.4, 5},
              TMC_RAW_INCLINE{false, 1e20, -1, 123456.7, 0.00001, -6}),
       "1,0.1,0.2,0.3,0.4,5,0,1e+20,-1,123457,1e-05,-6"},
      // Two raw angles and two angles: twenty-eight values.
      {s.Pack(TMC_RAW_ANGLE{true, 1.5, 2.25, 0.125, 100}, angle,
              TMC_RAW_ANGLE{false, 1.23456789, 0, -1, -7}, other),
       "1,1.5,2.25,0.125,100,0.1,0.2,0.3,4,0.5,0.6,0.7,8,1,"
       "0,1.23457,0,-1,-7,1e+20,-0,2,3,4,5,6,7,-5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.packed, c.expected);
  }
}
