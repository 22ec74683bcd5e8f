// A GoogleTest fixture that a host project can copy: every test starts a
// virtual instrument on a loopback port, on a thread of its own, and talks
// to it through host::BlockingSession and the typed calls, as the host program
// talks to a real instrument. No instrument on the desk, none in CI.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/Geometry.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>
#include <gtest/gtest.h>

namespace {

using namespace Core::GEOCOM;
namespace sim = Core::GEOCOM::simulator;

class InstrumentTest : public testing::Test {
 protected:
  static host::SessionOptions RetryOnce() {
    host::SessionOptions options;
    options.retries = 1;
    return options;
  }

  // The built-in scene; a project's own goes in options.scene, e.g.
  // sim::LoadScene("site.json").value().
  sim::LoopbackInstrument instrument_{sim::LoopbackOptions{}};
  host::BlockingSession session_ =
      host::BlockingSession::Connect(instrument_.Address(), RetryOnce());
};

TEST_F(InstrumentTest, MeasuresThePrismWhereTheSceneHasIt) {
  const sim::Scene& scene = instrument_.Instrument().scene();
  const sim::Sight expected =
      sim::SightTo(scene.station, scene.prisms.at(0).position);

  ASSERT_TRUE(host::SetAtrState(session_, true));
  ASSERT_TRUE(host::Position(session_, expected.direction.hz + 0.002,
                             expected.direction.v));
  ASSERT_TRUE(host::FineAdjust(session_, 0.01, 0.01));
  const host::Result<TMC_Simple_Meas> measured =
      host::GetSimpleMeasurement(session_);
  ASSERT_TRUE(measured) << measured.error().message;
  EXPECT_NEAR(measured->hz, expected.direction.hz, 1e-9);
  EXPECT_NEAR(measured->slopeDistance, expected.slopeDistance, 1e-6);
}

TEST_F(InstrumentTest, ReportsNoTargetWhereThereIsNone) {
  const host::Result<TMC_Simple_Meas> measured =
      host::GetSimpleMeasurement(session_);
  ASSERT_FALSE(measured);
  EXPECT_EQ(measured.error().returnCode, sim::kNoTargetCode);
}

TEST_F(InstrumentTest, RecoversFromADroppedReply) {
  instrument_.Faults().Inject(host::kNull, sim::FaultKind::kDrop);
  EXPECT_TRUE(host::Ping(session_));
  EXPECT_EQ(session_.Counts().timeouts, 1u);
}

}  // namespace
