// What one request leaves behind shows in the reply to a later one.
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <utility>
#include <vector>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using namespace host;

const Clock::time_point kStart{};

using Step = std::pair<ProcedureId, const char*>;

struct Row {
  const char* name;
  std::vector<Step> before;
  Step asked;
  unsigned short code;
  const char* value;  // a value of the reply; empty for none
  FieldValue expected;
};

class StateShows : public testing::TestWithParam<Row> {};

// Catches a switch, setting, cursor or range that a request does not set
// as it says, or a default the instrument starts with wrongly.
TEST_P(StateShows, InTheLaterReply) {
  const Row& row = GetParam();
  VirtualInstrument instrument(DefaultScene(), 0, kStart);
  for (const Step& step : row.before) {
    Ask(instrument, kStart, step.first, step.second);
  }
  const GeoComSentence reply =
      Ask(instrument, kStart, row.asked.first, row.asked.second);
  ASSERT_EQ(reply.GetRetCode(), row.code) << reply.GetStringCommand();
  if (*row.value == '\0') return;
  const std::optional<Fields> values = ReplyFields(row.asked.first, reply);
  ASSERT_TRUE(values) << reply.GetStringCommand();
  const FieldValue* value = FindValue(*values, row.value);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, StateShows,
    testing::Values(
        Row{"CompensatorStartsOn",
            {},
            {kAngleSwitches, ""},
            GRC_OK,
            "incline_correction",
            true},
        Row{"CompensatorStopped",
            {{kStopCompensator, ""}},
            {kAngleSwitches, ""},
            GRC_OK,
            "incline_correction",
            false},
        Row{"CompensatorStartedAgain",
            {{kStopCompensator, ""}, {kStartCompensator, ""}},
            {kAngleSwitches, ""},
            GRC_OK,
            "incline_correction",
            true},
        Row{"SearchWindowStartsAhead",
            {},
            {kSearchArea, ""},
            GRC_OK,
            "center_hz",
            0.0},
        Row{"SearchWindowStartsEnabled",
            {},
            {kSearchArea, ""},
            GRC_OK,
            "enabled",
            true},
        Row{"SearchWindowSet",
            {{kSetSearchArea, "7,1.5,0.2,0.3,0"}},
            {kSearchArea, ""},
            GRC_OK,
            "center_hz",
            7 - 2 * 3.14159265358979323846},
        Row{"FirstFileAgainWithoutNext",
            {{kFileListSetup, "0,0,\"\""}, {kFileList, "0"}},
            {kFileList, "0"},
            GRC_OK,
            "name",
            std::string("survey.gsi")},
        Row{"NextFile",
            {{kFileListSetup, "0,0,\"\""}, {kFileList, "0"}},
            {kFileList, "1"},
            GRC_OK,
            "name",
            std::string("points.txt")},
        Row{"SecondFileIsTheLast",
            {{kFileListSetup, "0,0,\"\""}, {kFileList, "0"}},
            {kFileList, "1"},
            GRC_OK,
            "last",
            true},
        Row{"PastTheLastFile",
            {{kFileListSetup, "0,0,\"\""}, {kFileList, "0"}, {kFileList, "1"}},
            {kFileList, "1"},
            GRC_IVRESULT,
            "",
            false},
        Row{"SearchRangeOfOneDistance",
            {},
            {kSetPowerSearchRange, "100,100"},
            GRC_OK,
            "",
            false},
        Row{"SearchRangeBackwards",
            {},
            {kSetPowerSearchRange, "100,99"},
            GRC_IVPARAM,
            "",
            false},
        Row{"AtrSetting",
            {{kSetAtrSetting, "3"}},
            {kAtrSetting, ""},
            GRC_OK,
            "setting",
            std::int64_t{3}},
        Row{"GuideLight",
            {{kSetGuideLight, "2"}},
            {kGuideLight, ""},
            GRC_OK,
            "intensity",
            std::int64_t{2}},
        Row{"DeletedFilesCounted",
            {},
            {kFileDelete, "0,0,'00','00','00',\"\""},
            GRC_OK,
            "deleted",
            std::int64_t{2}},
        Row{"OnlyOlderFilesDeleted",
            {},
            {kFileDelete, "0,0,'01','06','18',\"\""},
            GRC_OK,
            "deleted",
            std::int64_t{1}},
        Row{"BatteryDrainedByEachRequest",
            {{kNull, ""}, {kNull, ""}},
            {kBatteryStatus, ""},
            GRC_OK,
            "level",
            100 - 0.01 * 3}),
    [](const auto& test) { return std::string(test.param.name); });

// Catches a stop that leaves a telescope turning at constant speed.
TEST(Motors, StopEndsAConstantSpeedTurn) {
  VirtualInstrument instrument(DefaultScene(), 0, kStart);
  ASSERT_EQ(Ask(instrument, kStart, kMotorStart, "1").GetRetCode(), GRC_OK);
  ASSERT_EQ(Ask(instrument, kStart, kMotorVelocity, "0.1,0").GetRetCode(),
            GRC_OK);
  const Clock::time_point stopped = kStart + std::chrono::seconds(1);
  Ask(instrument, stopped, kMotorStop, "0");
  const double hz = instrument.TelescopeAt(stopped).hz;
  EXPECT_EQ(instrument.TelescopeAt(stopped + std::chrono::seconds(5)).hz, hz);
}

}  // namespace
}  // namespace simtest
