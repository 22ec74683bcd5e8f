// Faults are seeded and deterministic, and each one reaches a host Session
// as its documented outcome.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <algorithm>
#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <map>
#include <optional>
#include <thread>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using std::chrono::milliseconds;

// A plan as text, each step's delay, bytes and hang-up, so that two runs
// compare with ==.
std::string Transcript(const ReplyPlan& plan) {
  std::string text = plan.fault + "|";
  for (const ReplyStep& step : plan.steps) {
    text += std::to_string(step.delay.count()) + ":" + step.bytes +
            (step.disconnect ? "!" : "") + "|";
  }
  return text + "\n";
}

// Noise and every fault kind together, over 200 requests of five kinds.
std::string PlansFor(std::uint64_t seed) {
  host::StartSequenceAt(0);
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
  std::string plans;
  for (int i = 0; i < 200; ++i) {
    const auto& [procedure, parameters] = requests[i % 5];
    plans += Transcript(faults.Respond(Request(procedure, parameters),
                                       start + milliseconds(100 * i)));
  }
  return plans;
}

// Catches noise or faults drawn from an unseeded source, and a seed that
// is ignored. Requests take the process's sequence numbers, so each run
// starts the counter afresh.
TEST(Determinism, SameSeedAndSceneGiveTheSameRepliesByteForByte) {
  const std::string first = PlansFor(7);
  EXPECT_EQ(PlansFor(7), first);
  EXPECT_NE(PlansFor(8), first);
}

struct SeededFaults {
  const char* name;
  const char* rates;
};

class FaultSeed : public testing::TestWithParam<SeededFaults> {};

// The faults alone, over an instrument whose own seed and noise stay
// fixed: what a fault seed fixed at any value, or shared with the noise,
// would not change.
std::string FaultSequence(const char* rates, std::uint64_t faultSeed) {
  host::StartSequenceAt(0);
  const Clock::time_point start{};
  VirtualInstrument instrument(DefaultScene(), 0, start);
  FaultInjector faults(instrument, faultSeed);
  EXPECT_TRUE(faults.SetRates(ParseFaultRates(rates).value()));
  std::string sequence;
  for (int i = 0; i < 100; ++i) {
    sequence += Transcript(
        faults.Respond(Request(i % 2 == 0 ? host::kAngles : host::kPower,
                               i % 2 == 0 ? "1" : ""),
                       start + milliseconds(100 * i)));
  }
  return sequence;
}

// Catches a fault seed that is ignored (fixed, or taken from elsewhere)
// in the choice of a fault or in the bytes and times each kind draws.
TEST_P(FaultSeed, RepeatsTheSequenceByteForByteAndAnotherSeedChangesIt) {
  const char* rates = GetParam().rates;
  const std::string first = FaultSequence(rates, 42);
  EXPECT_EQ(FaultSequence(rates, 42), first);
  EXPECT_NE(FaultSequence(rates, 43), first);
  EXPECT_NE(FaultSequence(rates, 0), first);
}

INSTANTIATE_TEST_SUITE_P(
    Determinism, FaultSeed,
    testing::Values(
        SeededFaults{"WhichKind",
                     "drop=0.1,late=0.1,split=0.1,noise=0.1,corrupt=0.1,"
                     "duplicate=0.1,wrong-sequence=0.1,disconnect=0.1"},
        SeededFaults{"WhetherAtAll", "duplicate=0.5"},
        SeededFaults{"SplitCuts", "split=1"},
        SeededFaults{"NoiseBytes", "noise=1"},
        SeededFaults{"CorruptDigit", "corrupt=1"},
        SeededFaults{"WrongSequenceNumber", "wrong-sequence=1"},
        SeededFaults{"DisconnectCut", "disconnect=1"}),
    [](const auto& test) { return test.param.name; });

// Catches a rate beyond 0 to 1 or with text after the number, a kind
// unknown or given twice, and rates adding up beyond 1, each accepted.
TEST(FaultRates, AreReadOrRefusedNamingWhatIsWrong) {
  const struct {
    const char* text;
    const char* refusal;  // in the message; nullptr: read
  } rows[] = {
      {"drop=1", nullptr},
      {"drop=0.5,late=0.5", nullptr},
      {"drop=1.5", "the rate of drop must be a number from 0 to 1, not '1.5'"},
      {"drop=-0.1", "not '-0.1'"},
      {"drop=nan", "not 'nan'"},
      {"drop=0.5x", "not '0.5x'"},
      {"drop=", "not ''"},
      {"drop", "expected KIND=RATE, not 'drop'"},
      {"fire=0.1", "unknown fault kind 'fire'"},
      {"drop=0.1,drop=0.2", "the rate of drop is given twice"},
      {"drop=0.6,late=0.6", "the fault rates add up to more than 1"},
  };
  for (const auto& row : rows) {
    const host::Result<FaultRates> rates = ParseFaultRates(row.text);
    if (row.refusal == nullptr) {
      EXPECT_TRUE(rates) << row.text << ": " << rates.error().message;
      continue;
    }
    ASSERT_FALSE(rates) << row.text;
    EXPECT_EQ(rates.error().kind, host::ErrorKind::kInvalidArgument);
    EXPECT_NE(rates.error().message.find(row.refusal), std::string::npos)
        << rates.error().message;
  }
}

// Catches a late reply that does not come just after the host's time-out
// when the reply itself takes time, and a cut that keeps no byte or the
// whole reply.
TEST(FaultShapes, LateComesAfterTheTimeOutAndACutKeepsPartOfTheReply) {
  Scene scene = DefaultScene();
  scene.telescope.maxSpeed = 1;  // the turn takes about a second
  const Clock::time_point start{};
  VirtualInstrument instrument(scene, 0, start);
  FaultInjector faults(instrument, 5,
                       {milliseconds(5000), milliseconds(100), {}});
  faults.Inject(host::kPosition, FaultKind::kLate);
  Clock::duration late{0};
  for (const ReplyStep& step :
       faults.Respond(Request(host::kPosition, "1,1.5707963,0,0,0"), start)
           .steps) {
    late += step.delay;
  }
  EXPECT_EQ(late, milliseconds(5100));

  faults.Inject(host::kInstrumentNumber, FaultKind::kDisconnect,
                FaultInjector::kEveryTime);
  std::size_t shortest = ~std::size_t{0};
  bool allButOne = false;
  for (int i = 0; i < 200; ++i) {
    const GeoComSentence request = Request(host::kInstrumentNumber);
    const std::string whole =
        instrument.Respond(request, start).steps.back().bytes;
    const ReplyStep cut = faults.Respond(request, start).steps.back();
    EXPECT_TRUE(cut.disconnect);
    EXPECT_EQ(whole.rfind(cut.bytes, 0), 0u) << cut.bytes;
    EXPECT_LT(cut.bytes.size(), whole.size());
    shortest = std::min(shortest, cut.bytes.size());
    allButOne = allButOne || cut.bytes.size() + 1 == whole.size();
  }
  EXPECT_EQ(shortest, 1u);
  EXPECT_TRUE(allButOne);
}

struct Shares {
  const char* name;
  const char* rates;
  double drop, split, none;  // the expected share of each
};

class RandomRates : public testing::TestWithParam<Shares> {};

// Catches rates that do not accumulate (a second kind never fires), a
// rate applied to the wrong kind, and faults beyond the rates' total.
TEST_P(RandomRates, EachKindHitsItsShare) {
  const Shares& expected = GetParam();
  const Clock::time_point start{};
  VirtualInstrument instrument(DefaultScene(), 3, start);
  FaultInjector faults(instrument, 3);
  ASSERT_TRUE(faults.SetRates(ParseFaultRates(expected.rates).value()));
  constexpr int kReplies = 2000;
  std::map<std::string, int> seen;
  for (int i = 0; i < kReplies; ++i) {
    ++seen[faults.Respond(Request(host::kPower), start).fault];
  }
  EXPECT_NEAR(seen["drop"], expected.drop * kReplies, 0.05 * kReplies);
  EXPECT_NEAR(seen["split"], expected.split * kReplies, 0.05 * kReplies);
  EXPECT_NEAR(seen[""], expected.none * kReplies, 0.05 * kReplies);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RandomRates,
    testing::Values(Shares{"OneKind", "split=0.3", 0, 0.3, 0.7},
                    Shares{"TwoKinds", "drop=0.5,split=0.5", 0.5, 0.5, 0},
                    Shares{"SecondKindAfterAGap", "drop=0.2,split=0.3", 0.2,
                           0.3, 0.5},
                    Shares{"Zero", "drop=0", 0, 0, 1}),
    [](const auto& test) { return test.param.name; });

struct Outcome {
  FaultKind kind;
  const char* name;                      // on the command line and in logs
  std::optional<host::ErrorKind> error;  // nullopt: the call succeeds
  std::uint64_t staleReplies;            // after the call that follows
  bool noise;
};

class SessionSees : public testing::TestWithParam<Outcome> {};

// Each fault hits the first reply only: the call that follows must get its
// own reply, never the faulty one's. Also catches two kinds' names swapped.
TEST_P(SessionSees, TheDocumentedOutcome) {
  const Outcome& expected = GetParam();
  EXPECT_STREQ(FaultName(expected.kind), expected.name);
  EXPECT_EQ(FindFault(expected.name), expected.kind);
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
        Outcome{FaultKind::kDrop, "drop", host::ErrorKind::kTimeout, 0, false},
        Outcome{FaultKind::kLate, "late", host::ErrorKind::kTimeout, 1, false},
        Outcome{FaultKind::kSplit, "split", std::nullopt, 0, false},
        Outcome{FaultKind::kNoise, "noise", std::nullopt, 0, true},
        Outcome{FaultKind::kCorrupt, "corrupt", host::ErrorKind::kInvalidReply,
                0, false},
        Outcome{FaultKind::kDuplicate, "duplicate", std::nullopt, 1, false},
        Outcome{FaultKind::kWrongSequence, "wrong-sequence", std::nullopt, 1,
                false},
        Outcome{FaultKind::kDisconnect, "disconnect", host::ErrorKind::kClosed,
                0, false}),
    [](const auto& test) {
      std::string name = FaultName(test.param.kind);
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

// A pty cannot be hung up from the instrument's side: a disconnect there
// is a reply left unwritten, and the line goes on serving.
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
  // A host that reads every reply loses none of it to a full terminal.
  EXPECT_EQ(instrument.Counts().droppedReplies, 0u);
}

// Catches a client cap off by one either way, and a default that lets
// silent clients hold every place for good.
TEST(Clients, CapServesExactlyMaxClients) {
  EXPECT_GT(ServerOptions{}.idleTimeout.count(), 0);
  LoopbackOptions options;
  options.server.maxClients = 2;
  LoopbackInstrument instrument(options);
  host::CallOptions call;
  call.timeout = milliseconds(500);
  host::BlockingSession first =
      host::BlockingSession::Connect(instrument.Address());
  host::BlockingSession second =
      host::BlockingSession::Connect(instrument.Address());
  EXPECT_TRUE(first.TryCall(host::kInstrumentNumber, "", call));
  EXPECT_TRUE(second.TryCall(host::kInstrumentNumber, "", call));
  host::BlockingSession third =
      host::BlockingSession::Connect(instrument.Address());
  const host::Result<host::Reply> refused =
      third.TryCall(host::kInstrumentNumber, "", call);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, host::ErrorKind::kClosed);
  EXPECT_EQ(instrument.Counts().refused, 1u);
}

struct Idle {
  const char* name;
  bool chatter;     // the client sends a byte every 100 ms meanwhile
  bool longMotion;  // then asks for a turn that lasts 1 s
  bool closed;      // the client is closed for idleness
};

class IdleClients : public testing::TestWithParam<Idle> {};

// With a 300 ms limit. Catches an idle clock that a read does not reset,
// one that runs on while a reply is under way, and one that never fires.
TEST_P(IdleClients, ClosedOnlyWhenSilentAndNotBeingAnswered) {
  const Idle& expected = GetParam();
  LoopbackOptions options;
  options.scene.telescope.maxSpeed = 1;
  options.server.idleTimeout = milliseconds(300);
  LoopbackInstrument instrument(options);
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io);
  const std::string address = instrument.Address();
  const std::size_t colon = address.rfind(':');
  socket.connect(
      {boost::asio::ip::make_address(address.substr(0, colon)),
       static_cast<unsigned short>(std::stoi(address.substr(colon + 1)))});
  for (int i = 0; i < 6; ++i) {
    if (expected.chatter) boost::asio::write(socket, boost::asio::buffer(" "));
    std::this_thread::sleep_for(milliseconds(100));
  }
  const std::string request =
      host::ComposeRequest(expected.longMotion ? host::kPosition : host::kPower,
                           expected.longMotion ? "1,1.5707963,0,0,0" : "")
          .value()
          .GetStringCommand();
  boost::system::error_code error;
  boost::asio::write(socket, boost::asio::buffer(request), error);
  std::array<char, 256> reply{};
  const std::size_t received =
      boost::asio::read(socket, boost::asio::buffer(reply),
                        boost::asio::transfer_at_least(1), error);
  EXPECT_EQ(received == 0, expected.closed) << error.message();
  EXPECT_EQ(instrument.Counts().idleClosed, expected.closed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Clients, IdleClients,
                         testing::Values(Idle{"Silent", false, false, true},
                                         Idle{"Chatting", true, false, false},
                                         Idle{"ChattingThenTurning", true, true,
                                              false}),
                         [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace simtest
