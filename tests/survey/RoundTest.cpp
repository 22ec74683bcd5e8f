// Rounds against the virtual instrument: coordinates, faces, sets, hidden
// and moved prisms, cancellation, several instruments at once, and the
// blocking twin.
#include <DazoZazIdoRezeraro/survey/Round.h>
#include <DazoZazIdoRezeraro/survey/Store.h>
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/error.hpp>
#include <cmath>
#include <future>
#include <optional>
#include <string>

#include "Rig.h"
#include "ScratchDatabase.h"

namespace {

using namespace surveytest;
using survey::Outcome;
using survey::RoundResult;
using survey::RoundStatus;
using survey::TargetResult;

constexpr double kPi = 3.14159265358979323846;

const TargetResult& Find(const RoundResult& round, const std::string& id) {
  for (const TargetResult& result : round.targets) {
    if (result.target == id) return result;
  }
  throw std::runtime_error("no result for " + id);
}

simulator::Point PositionOf(const simulator::Scene& scene,
                            const std::string& id) {
  for (const simulator::Prism& prism : scene.prisms) {
    if (prism.id == id) return prism.position;
  }
  throw std::runtime_error("no prism " + id);
}

double Gap(const survey::Coordinates& a, const simulator::Point& b) {
  return std::hypot(a.easting - b.easting, a.northing - b.northing,
                    a.height - b.height);
}

double AngleGap(double a, double b) { return std::remainder(a - b, 2 * kPi); }

struct Layout {
  const char* name;
  int faces;
  int sets;
  survey::SetOrder order;
};

class RoundCoordinates : public testing::TestWithParam<Layout> {};

TEST_P(RoundCoordinates, MatchTheScenePrismsToAMillimetre) {
  const simulator::Scene scene = MonitoringScene();
  Rig rig(scene);
  survey::RoundPlan plan = PlanFor(scene, GetParam().faces);
  plan.sets = GetParam().sets;
  plan.order = GetParam().order;
  const RoundResult round = rig.Measure(plan);
  EXPECT_EQ(round.status, RoundStatus::kComplete);
  ASSERT_EQ(round.targets.size(), scene.prisms.size());
  for (const simulator::Prism& prism : scene.prisms) {
    const TargetResult& result = Find(round, prism.id);
    EXPECT_EQ(result.outcome, Outcome::kMeasured) << prism.id << result.message;
    ASSERT_TRUE(result.coordinates) << prism.id;
    EXPECT_LT(Gap(*result.coordinates, prism.position), 0.001) << prism.id;
    EXPECT_EQ(result.faces, GetParam().faces);
    EXPECT_EQ(result.sets, GetParam().sets);
    EXPECT_EQ(static_cast<int>(result.observations.size()),
              GetParam().faces * GetParam().sets);
    EXPECT_LT(result.hzSpread, 1e-9);
    EXPECT_TRUE(result.flaggedSets.empty());
    EXPECT_LE(result.started, result.time);
  }
  const auto readings =
      static_cast<std::size_t>(GetParam().faces * GetParam().sets);
  EXPECT_GE(round.calls, scene.prisms.size() * readings * 3);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RoundCoordinates,
    testing::Values(Layout{"FaceOne", 1, 1, survey::SetOrder::kTargetByTarget},
                    Layout{"TwoFaces", 2, 1, survey::SetOrder::kTargetByTarget},
                    Layout{"ThreeSetsTargetByTarget", 2, 3,
                           survey::SetOrder::kTargetByTarget},
                    Layout{"TwoSetsFacesInTurn", 2, 2,
                           survey::SetOrder::kFacesInTurn}),
    [](const testing::TestParamInfo<Layout>& layout) {
      return layout.param.name;
    });

TEST(RoundFaces, TwoFaceMeanRemovesInstrumentErrorsThatFaceOneShows) {
  simulator::Scene scene = MonitoringScene();
  scene.instrumentErrors = {3e-4, -2e-4};
  scene.noise.angle = 2e-6;
  Rig rig(scene);
  const RoundResult twoFaces = rig.Measure(PlanFor(scene, 2));
  const RoundResult faceOne = rig.Measure(PlanFor(scene, 1));
  for (const simulator::Prism& prism : scene.prisms) {
    const simulator::Direction truth =
        simulator::SightTo(scene.station, prism.position).direction;
    const TargetResult& mean = Find(twoFaces, prism.id);
    ASSERT_EQ(mean.outcome, Outcome::kMeasured) << mean.message;
    EXPECT_NEAR(AngleGap(mean.hz, truth.hz), 0, 2e-5) << prism.id;
    EXPECT_NEAR(mean.v, truth.v, 2e-5) << prism.id;
    EXPECT_NEAR(mean.collimation, 3e-4, 2e-5) << prism.id;
    EXPECT_NEAR(mean.verticalIndex, -2e-4, 2e-5) << prism.id;
    EXPECT_LT(Gap(*mean.coordinates, prism.position), 0.001) << prism.id;

    const TargetResult& biased = Find(faceOne, prism.id);
    ASSERT_EQ(biased.outcome, Outcome::kMeasured);
    EXPECT_NEAR(AngleGap(biased.hz, truth.hz), 3e-4 / std::sin(truth.v), 2e-5)
        << prism.id;
    EXPECT_NEAR(biased.v - truth.v, -2e-4, 2e-5) << prism.id;
    EXPECT_TRUE(std::isnan(biased.collimation));
    EXPECT_GT(Gap(*biased.coordinates, prism.position), 0.005) << prism.id;
  }
}

TEST(RoundFaces, FaceDifferenceBeyondToleranceIsOutOfTolerance) {
  simulator::Scene scene = MonitoringScene();
  scene.instrumentErrors = {5e-4, 0};
  Rig rig(scene);
  survey::RoundPlan plan = PlanFor(scene, 2);
  plan.targets[0].tolerances.faceDifference = 5e-4;  // 2c/sin v exceeds it
  plan.targets[1].tolerances.faceDifference = 5e-3;
  const RoundResult round = rig.Measure(plan);
  EXPECT_EQ(Find(round, "A").outcome, Outcome::kOutOfTolerance);
  EXPECT_TRUE(Find(round, "A").coordinates);
  EXPECT_EQ(Find(round, "B").outcome, Outcome::kMeasured);
}

TEST(RoundOutcome, HiddenPrismIsNotFoundAndTheRoundGoesOn) {
  simulator::Scene scene = MonitoringScene();
  scene.prisms[1].hidden = {{0, 1e6}};
  Rig rig(scene);
  for (const bool search : {false, true}) {
    survey::RoundPlan plan = PlanFor(scene, 2);
    if (search) plan.search = survey::SearchWindow{0.2, 0.2};
    const RoundResult round = rig.Measure(plan);
    EXPECT_EQ(round.status, RoundStatus::kComplete);
    ASSERT_EQ(round.targets.size(), 4u);
    const TargetResult& hidden = Find(round, "B");
    EXPECT_EQ(hidden.outcome, Outcome::kNotFound);
    EXPECT_FALSE(hidden.coordinates);
    EXPECT_NE(hidden.message.find("no prism"), std::string::npos);
    for (const char* id : {"A", "C", "D"}) {
      EXPECT_EQ(Find(round, id).outcome, Outcome::kMeasured) << id;
    }
  }
}

TEST(RoundOutcome, SearchFindsAPrismFineAdjustmentMisses) {
  const simulator::Scene scene = MonitoringScene();
  Rig rig(scene);
  survey::RoundPlan plan = PlanFor(scene, 1);
  plan.targets.resize(1);
  const survey::Direction truth =
      survey::ApproximateDirection(plan.station, plan.targets[0]);
  plan.targets[0].coordinates.reset();
  plan.targets[0].direction = survey::Direction{truth.hz + 0.03, truth.v};
  EXPECT_EQ(rig.Measure(plan).targets.at(0).outcome, Outcome::kNotFound);
  plan.search = survey::SearchWindow{0.1, 0.1};
  const RoundResult found = rig.Measure(plan);
  ASSERT_EQ(found.targets.at(0).outcome, Outcome::kMeasured);
  EXPECT_LT(Gap(*found.targets[0].coordinates, PositionOf(scene, "A")), 0.001);
}

TEST(RoundStore, APrismMovedFiveMillimetresShowsInTheStoredCoordinates) {
  const simulator::Scene scene = MonitoringScene();
  const surveytest::ScratchDatabase database("survey-moved");
  const std::string& path = database.path();
  {
    auto store = survey::OpenSqliteStore(path);
    Rig rig(scene);
    for (int round = 0; round < 2; ++round) {
      survey::RoundPlan plan = PlanFor(scene, 2);
      plan.round = store->BeginRound({"moved", "loopback", {}});
      const RoundResult result = rig.Measure(
          plan,
          [&](const TargetResult& target) { store->RecordTarget(target); });
      store->FinishRound(plan.round, result.status, result.finished);
      simulator::Point moved = PositionOf(scene, "C");
      moved.easting += 0.003;
      moved.northing -= 0.004;
      ASSERT_TRUE(rig.instrument().Control().MovePrism("C", moved));
    }
  }
  auto store = survey::OpenSqliteStore(path, survey::StoreMode::kReadOnly);
  std::vector<survey::Coordinates> seen;
  store->ReadResults({std::string("C"), {}, {}, false},
                     [&](const TargetResult& result) {
                       seen.push_back(*result.coordinates);
                       return true;
                     });
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_NEAR(seen[1].easting - seen[0].easting, 0.003, 1e-4);
  EXPECT_NEAR(seen[1].northing - seen[0].northing, -0.004, 1e-4);
  EXPECT_NEAR(seen[1].height - seen[0].height, 0, 1e-4);
}

struct Cancel {
  const char* name;
  double measureTime;  // seconds the scene takes for a distance
  int faces;
  // When the round is cancelled: as the first target ends, or this long
  // after it started, while the first target's distance is under way.
  std::optional<std::chrono::milliseconds> underWay;
  boost::asio::cancellation_type type;
  bool aborted;     // the round ends with operation_aborted
  Outcome outcome;  // of each target that ended
  std::size_t mostEnded;
  std::size_t firstObservations;  // 0: not checked
};

class RoundCancel : public testing::TestWithParam<Cancel> {};

// Catches a cancellation that is ignored, one that stops a target half
// measured when asked to let it finish, and one that lets it finish when
// asked to end it.
TEST_P(RoundCancel, EndsTheRoundIncompleteAsItsTypeSays) {
  const Cancel& cancel = GetParam();
  simulator::Scene scene = MonitoringScene();
  scene.edm.measureTime = cancel.measureTime;
  Rig rig(scene);
  boost::asio::cancellation_signal stop;
  std::promise<std::pair<boost::system::error_code, RoundResult>> ended;
  survey::TargetHandler progress;
  if (!cancel.underWay) {
    progress = [&](const TargetResult&) { stop.emit(cancel.type); };
  }
  survey::AsyncMeasureRound(
      rig.session(), PlanFor(scene, cancel.faces), progress,
      boost::asio::bind_cancellation_slot(
          stop.slot(), [&](boost::system::error_code error, RoundResult round) {
            ended.set_value({error, std::move(round)});
          }));
  auto future = ended.get_future();
  if (cancel.underWay) {
    EXPECT_EQ(future.wait_for(*cancel.underWay), std::future_status::timeout);
    boost::asio::post(rig.io(), [&] { stop.emit(cancel.type); });
  }
  const auto [error, round] = future.get();
  EXPECT_EQ(error == boost::asio::error::operation_aborted, cancel.aborted)
      << error.message();
  EXPECT_EQ(round.status, RoundStatus::kIncomplete);
  ASSERT_GE(round.targets.size(), 1u);
  EXPECT_LE(round.targets.size(), cancel.mostEnded);
  for (const TargetResult& result : round.targets) {
    EXPECT_EQ(result.outcome, cancel.outcome) << result.target;
  }
  if (cancel.firstObservations != 0) {
    EXPECT_EQ(round.targets[0].observations.size(), cancel.firstObservations);
  }
}

using std::chrono::milliseconds;
constexpr auto kPartial = boost::asio::cancellation_type::partial;
constexpr auto kTerminal = boost::asio::cancellation_type::terminal;

INSTANTIATE_TEST_SUITE_P(
    Types, RoundCancel,
    testing::Values(Cancel{"PartialAsATargetEnds", 0, 2, std::nullopt, kPartial,
                           false, Outcome::kMeasured, 3, 0},
                    Cancel{"PartialDuringATargetLetsItFinish", 0.4, 2,
                           milliseconds(200), kPartial, false,
                           Outcome::kMeasured, 1, 2},
                    Cancel{"TerminalEndsTheTargetUnderWay", 2, 1,
                           milliseconds(300), kTerminal, true,
                           Outcome::kCancelled, 1, 0}),
    [](const auto& test) { return std::string(test.param.name); });

struct InstrumentFault {
  const char* name;
  simulator::FaultKind kind;  // on every reply after the first target
  bool stopOnInstrumentError;
  std::size_t ended;  // targets ended
  RoundStatus status;
  bool closed;  // the round ends with the session's kClosed
};

class RoundInstrumentFault : public testing::TestWithParam<InstrumentFault> {};

// Catches an instrument error that fails the round instead of its target,
// a round that goes on when the job says stop or the line is gone, and a
// target ended without the session's message.
TEST_P(RoundInstrumentFault, EndsTheTargetAndTheRoundAsTheJobSays) {
  const InstrumentFault& fault = GetParam();
  const simulator::Scene scene = MonitoringScene();
  Rig rig(scene);
  survey::RoundPlan plan = PlanFor(scene, 2);
  plan.stopOnInstrumentError = fault.stopOnInstrumentError;
  std::promise<std::pair<boost::system::error_code, RoundResult>> ended;
  survey::AsyncMeasureRound(
      rig.session(), plan,
      [&](const TargetResult&) {
        ASSERT_TRUE(rig.instrument().Faults().SetRates({{fault.kind, 1}}));
      },
      [&](boost::system::error_code error, RoundResult round) {
        ended.set_value({error, std::move(round)});
      });
  const auto [error, round] = ended.get_future().get();
  EXPECT_EQ(error == host::make_error_code(host::ErrorKind::kClosed),
            fault.closed)
      << error.message();
  EXPECT_EQ(round.status, fault.status);
  ASSERT_EQ(round.targets.size(), fault.ended);
  EXPECT_EQ(round.targets[0].outcome, Outcome::kMeasured);
  for (std::size_t t = 1; t < round.targets.size(); ++t) {
    EXPECT_EQ(round.targets[t].outcome, Outcome::kInstrumentError);
    EXPECT_FALSE(round.targets[t].coordinates);
    EXPECT_FALSE(round.targets[t].message.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RoundInstrumentFault,
    testing::Values(InstrumentFault{"BadRepliesAndTheRoundGoesOn",
                                    simulator::FaultKind::kCorrupt, false, 4,
                                    RoundStatus::kComplete, false},
                    InstrumentFault{"BadReplyAndTheJobSaysStop",
                                    simulator::FaultKind::kCorrupt, true, 2,
                                    RoundStatus::kIncomplete, false},
                    InstrumentFault{"ConnectionClosed",
                                    simulator::FaultKind::kDisconnect, false, 2,
                                    RoundStatus::kIncomplete, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(RoundConcurrency, SeveralInstrumentsMeasureAtOnceOnOneIoContext) {
  const simulator::Scene scene = MonitoringScene();
  Rig rig(scene, 2);
  simulator::Scene shifted = scene;
  for (simulator::Prism& prism : shifted.prisms) prism.position.height += 1;
  simulator::LoopbackOptions options;
  options.scene = shifted;
  simulator::LoopbackInstrument second(options);
  host::Session other =
      host::Session::AsyncConnect(rig.io().get_executor(), second.Address(), {},
                                  boost::asio::use_future)
          .get();
  auto first = survey::AsyncMeasureRound(rig.session(), PlanFor(scene, 2), {},
                                         boost::asio::use_future);
  auto next = survey::AsyncMeasureRound(other, PlanFor(shifted, 2), {},
                                        boost::asio::use_future);
  const RoundResult a = first.get();
  const RoundResult b = next.get();
  for (const simulator::Prism& prism : scene.prisms) {
    EXPECT_LT(Gap(*Find(a, prism.id).coordinates, prism.position), 0.001);
    EXPECT_LT(
        Gap(*Find(b, prism.id).coordinates, PositionOf(shifted, prism.id)),
        0.001);
  }
  other.Close();
}

TEST(RoundBlocking, TwinMeasuresAndStopsAfterTheTargetUnderWay) {
  const simulator::Scene scene = MonitoringScene();
  Rig rig(scene);
  host::BlockingSession session =
      host::BlockingSession::Connect(rig.instrument().Address());
  const RoundResult whole = survey::MeasureRound(session, PlanFor(scene, 2));
  EXPECT_EQ(whole.status, RoundStatus::kComplete);
  for (const simulator::Prism& prism : scene.prisms) {
    EXPECT_LT(Gap(*Find(whole, prism.id).coordinates, prism.position), 0.001);
  }
  std::atomic<bool> stop{false};
  const RoundResult stopped = survey::MeasureRound(
      session, PlanFor(scene, 2), [&](const TargetResult&) { stop = true; },
      &stop);
  EXPECT_EQ(stopped.status, RoundStatus::kIncomplete);
  EXPECT_EQ(stopped.targets.size(), 1u);
  EXPECT_THROW(survey::MeasureRound(session, PlanFor(scene, 2),
                                    [](const TargetResult&) {
                                      throw std::runtime_error("disk full");
                                    }),
               std::runtime_error);
}

}  // namespace
