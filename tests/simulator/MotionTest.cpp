// The telescope takes time to turn, keeps turning under constant speed,
// follows a locked prism, and target recognition works only when switched
// on and a prism is in view.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <chrono>
#include <cmath>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using std::chrono::duration;
using std::chrono::seconds;
constexpr double kPi = 3.14159265358979323846;
const Clock::time_point kStart{};

TMC_Hz_V_Ang AnglesAt(VirtualInstrument& instrument, Clock::time_point at) {
  TMC_Hz_V_Ang angles{};
  EXPECT_TRUE(Ask(instrument, at, host::kAngles, "1").UnPack(angles));
  return angles;
}

// Catches instant positioning, a turn the long way round, and a reply that
// does not wait for the telescope to arrive.
TEST(Motion, PositioningAcrossPiTakesPiOverTheMaximumSpeed) {
  Scene scene;
  scene.telescope = {0.75, 0, kPi / 2};
  VirtualInstrument instrument(scene, 0, kStart);
  const ReplyPlan plan = instrument.Respond(
      Request(host::kPosition, "3.141592,1.570796,0,0,0"), kStart);
  const double taken = duration<double>(plan.steps.at(0).delay).count();
  EXPECT_NEAR(taken, 3.141592 / 0.75, 1e-6);
  const auto halfway = kStart + std::chrono::duration_cast<Clock::duration>(
                                    duration<double>(taken / 2));
  EXPECT_NEAR(AnglesAt(instrument, halfway).hz, 3.141592 / 2, 1e-6);
  EXPECT_NEAR(AnglesAt(instrument, kStart + seconds(10)).hz, 3.141592, 1e-9);
}

// Catches a telescope that only moves while a request is answered.
TEST(Motion, ConstantSpeedKeepsTurningBetweenRequests) {
  VirtualInstrument instrument(Scene{}, 0, kStart);
  ASSERT_EQ(Ask(instrument, kStart, host::kMotorStart, "1").GetRetCode(), 0);
  ASSERT_EQ(
      Ask(instrument, kStart, host::kMotorVelocity, "0.1,-0.05").GetRetCode(),
      0);
  const TMC_Hz_V_Ang angles = AnglesAt(instrument, kStart + seconds(2));
  EXPECT_NEAR(angles.hz, 0.2, 1e-9);
  EXPECT_NEAR(angles.v, kPi / 2 - 0.1, 1e-9);
}

struct LockCase {
  const char* name;
  double maxSpeed;
  bool lockedAfter;
};

class Lock : public testing::TestWithParam<LockCase> {};

// A prism walking past 5 m north at 1 m/s turns the line of sight at up to
// 0.2 rad/s: a telescope turning 1 rad/s follows it, one turning 0.1 rad/s
// loses it. Catches a lock that never follows, and one that never breaks.
TEST_P(Lock, FollowsThePrismUntilItOutrunsTheTelescope) {
  Scene scene;
  scene.prisms = {{"P", {-50, 5, 0}, {{{50, 5, 0}}, 1.0, false}, {}, {}, 0}};
  const Sight first = SightTo(scene.station, scene.prisms[0].position);
  scene.telescope = {GetParam().maxSpeed, first.direction.hz,
                     first.direction.v};
  VirtualInstrument instrument(scene, 0, kStart);
  const Clock::time_point ready = kStart;
  Ask(instrument, ready, host::kSetAtrState, "1");
  Ask(instrument, ready, host::kSetLockState, "1");
  ASSERT_EQ(Ask(instrument, ready, host::kLockIn).GetRetCode(), 0);

  const Clock::time_point later = ready + seconds(70);
  MOT_LOCK_STATUS status{};
  ASSERT_TRUE(Ask(instrument, later, host::kLockStatus)
                  .UnPackLockInStatusResponse(status));
  EXPECT_EQ(status == MOT_LOCKED_IN, GetParam().lockedAfter);
  const Sight now = SightTo(scene.station, *instrument.PrismAt("P", later));
  EXPECT_EQ(std::fabs(AnglesAt(instrument, later).hz - now.direction.hz) < 1e-9,
            GetParam().lockedAfter);
}

INSTANTIATE_TEST_SUITE_P(Speeds, Lock,
                         testing::Values(LockCase{"Fast", 1.0, true},
                                         LockCase{"Slow", 0.1, false}),
                         [](const auto& test) { return test.param.name; });

struct GateCase {
  const char* name;
  bool atrOn;
  host::ProcedureId procedure;
  const char* parameters;
  unsigned short code;
};

class Gate : public testing::TestWithParam<GateCase> {};

// The default scene's telescope starts looking north, where no prism is.
// Catches target recognition that works while switched off, and a
// measurement or search that succeeds without a prism.
TEST_P(Gate, RefusesWhatTheStateDoesNotAllow) {
  const GateCase& c = GetParam();
  VirtualInstrument instrument(DefaultScene(), 0, kStart);
  if (c.atrOn) Ask(instrument, kStart, host::kSetAtrState, "1");
  EXPECT_EQ(Ask(instrument, kStart, c.procedure, c.parameters).GetRetCode(),
            c.code);
}

INSTANTIATE_TEST_SUITE_P(
    States, Gate,
    testing::Values(GateCase{"LockInWithLockSwitchOff", true, host::kLockIn, "",
                             GRC_IVRESULT},
                    GateCase{"FineAdjustWithAtrOff", false, host::kFineAdjust,
                             "0.01,0.01,0", GRC_IVRESULT},
                    GateCase{"FineAdjustWithoutPrism", true, host::kFineAdjust,
                             "0.01,0.01,0", kNoTargetCode},
                    GateCase{"DistanceWithoutPrism", false,
                             host::kSimpleMeasurement, "100,1", kNoTargetCode},
                    GateCase{"VelocityWithoutConstantSpeedMode", false,
                             host::kMotorVelocity, "0.1,0", GRC_IVRESULT},
                    GateCase{"PositionNotANumber", false, host::kPosition,
                             "nan,1,0,0,0", GRC_IVPARAM}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace simtest
