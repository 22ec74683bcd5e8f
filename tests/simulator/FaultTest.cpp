// Faults are seeded and deterministic, and each one reaches a host Session
// as its documented outcome.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <algorithm>
#include <optional>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using std::chrono::milliseconds;

std::vector<ReplyPlan> PlansFor(std::uint64_t seed) {
  Scene scene = DefaultScene();
  scene.noise = {1e-4, 0.002};
  const Clock::time_point start{};
  VirtualInstrument instrument(scene, seed, start);
  FaultInjector faults(instrument, seed);
  FaultRates rates;
  for (const FaultKind kind : FaultKinds()) rates.push_back({kind, 0.1});
  EXPECT_TRUE(faults.SetRates(rates));
  const std::pair<host::ProcedureId, const char*> requests[] = {
      {host::kAngles, "1"},
      {host::kSimpleMeasurement, "0,1"},
      {host::kPower, ""},
      {host::kDateTime, ""},
      {host::kPosition, "0.6,1.4,0,0,0"}};
  std::vector<ReplyPlan> plans;
  for (int i = 0; i < 200; ++i) {
    const auto& [procedure, parameters] = requests[i % 5];
    plans.push_back(faults.Respond(Request(procedure, parameters),
                                   start + milliseconds(100 * i)));
  }
  return plans;
}

bool SamePlans(const std::vector<ReplyPlan>& a,
               const std::vector<ReplyPlan>& b) {
  const auto same = [](const ReplyPlan& x, const ReplyPlan& y) {
    if (x.fault != y.fault || x.steps.size() != y.steps.size()) return false;
    for (std::size_t i = 0; i < x.steps.size(); ++i) {
      if (x.steps[i].delay != y.steps[i].delay ||
          x.steps[i].bytes != y.steps[i].bytes ||
          x.steps[i].disconnect != y.steps[i].disconnect) {
        return false;
      }
    }
    return true;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

// Catches noise or faults drawn from an unseeded source, and a seed that
// is ignored. Requests take the process's sequence numbers, so each run
// starts the counter afresh.
TEST(Determinism, SameSeedAndSceneGiveTheSameRepliesByteForByte) {
  host::StartSequenceAt(0);
  const std::vector<ReplyPlan> first = PlansFor(7);
  host::StartSequenceAt(0);
  const std::vector<ReplyPlan> again = PlansFor(7);
  host::StartSequenceAt(0);
  const std::vector<ReplyPlan> other = PlansFor(8);
  EXPECT_TRUE(SamePlans(first, again));
  EXPECT_FALSE(SamePlans(first, other));
}

struct Outcome {
  FaultKind kind;
  std::optional<host::ErrorKind> error;  // nullopt: the call succeeds
  std::uint64_t staleReplies;            // after the call that follows
  bool noise;
};

class SessionSees : public testing::TestWithParam<Outcome> {};

// Each fault hits the first reply only: the call that follows must get its
// own reply, never the faulty one's.
TEST_P(SessionSees, TheDocumentedOutcome) {
  const Outcome& expected = GetParam();
  LoopbackOptions options;
  options.faultTiming = {milliseconds(300), milliseconds(100),
                         milliseconds(20)};
  LoopbackInstrument instrument(options);
  instrument.Faults().Inject(host::kInstrumentNumber, expected.kind);
  host::BlockingSession session =
      host::BlockingSession::Connect(instrument.Address());
  host::CallOptions call;
  call.timeout = milliseconds(300);

  const host::Result<host::Reply> first =
      session.TryCall(host::kInstrumentNumber, "", call);
  ASSERT_EQ(first.ok(), !expected.error)
      << (first ? first->bytes : first.error().message);
  if (expected.error) {
    EXPECT_EQ(first.error().kind, *expected.error);
  }
  if (expected.kind == FaultKind::kDisconnect) return;

  const host::Result<host::Reply> second =
      session.TryCall(host::kInstrumentNumber, "", call);
  ASSERT_TRUE(second) << second.error().message;
  std::int32_t serial = 0;
  EXPECT_TRUE(second->sentence.UnPackGetInstrumentNo(serial));
  EXPECT_EQ(serial, DefaultScene().instrument.serialNumber);
  EXPECT_EQ(session.Counts().staleReplies, expected.staleReplies);
  EXPECT_EQ(session.Counts().noiseBytes > 0, expected.noise);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SessionSees,
    testing::Values(
        Outcome{FaultKind::kDrop, host::ErrorKind::kTimeout, 0, false},
        Outcome{FaultKind::kLate, host::ErrorKind::kTimeout, 1, false},
        Outcome{FaultKind::kSplit, std::nullopt, 0, false},
        Outcome{FaultKind::kNoise, std::nullopt, 0, true},
        Outcome{FaultKind::kCorrupt, host::ErrorKind::kInvalidReply, 0, false},
        Outcome{FaultKind::kDuplicate, std::nullopt, 1, false},
        Outcome{FaultKind::kWrongSequence, std::nullopt, 1, false},
        Outcome{FaultKind::kDisconnect, host::ErrorKind::kClosed, 0, false}),
    [](const auto& test) {
      std::string name = FaultName(test.param.kind);
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

// A pty cannot be hung up from the instrument's side: a disconnect there
// is a dropped reply, and the line goes on serving.
TEST(Pty, ServesAndTurnsADisconnectIntoADrop) {
  LoopbackOptions options;
  options.pty = true;
  LoopbackInstrument instrument(options);
  instrument.Faults().Inject(host::kInstrumentNumber, FaultKind::kDisconnect);
  host::BlockingSession session =
      host::BlockingSession::OpenSerial(instrument.PtyPath(), 115200);
  host::CallOptions call;
  call.timeout = milliseconds(300);
  const host::Result<host::Reply> first =
      session.TryCall(host::kInstrumentNumber, "", call);
  ASSERT_FALSE(first);
  EXPECT_EQ(first.error().kind, host::ErrorKind::kTimeout);
  EXPECT_TRUE(session.TryCall(host::kInstrumentNumber, "", call));
}

}  // namespace
}  // namespace simtest
