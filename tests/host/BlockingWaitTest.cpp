// A blocking call waits for its reply on the caller's own thread where the
// stream allows it, in the caller's slices: each row is something that may
// happen during that wait, and what the call must end with, and how soon.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/error.hpp>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using boost::system::error_code;
using Steps = std::vector<ScriptedPeer::Step>;
using Clock = std::chrono::steady_clock;

namespace {

struct WaitCase {
  const char* name;
  ScriptedPeer::Script script;
  CallOptions options;
  std::chrono::milliseconds slice;
  // What another thread does 50 ms into the call, if anything.
  std::function<void(BlockingSession&, PendingCall&)> meanwhile;
  error_code outcome;
  std::chrono::milliseconds within;
};

CallOptions Timeout(std::chrono::milliseconds timeout,
                    std::optional<unsigned> retries = std::nullopt) {
  CallOptions options;
  options.timeout = timeout;
  options.retries = retries;
  return options;
}

CallOptions Deadline(std::chrono::milliseconds deadline) {
  CallOptions options = Timeout(5000ms);
  options.deadline = deadline;
  return options;
}

ScriptedPeer::Script After(std::chrono::milliseconds delay) {
  return [delay](const GeoComSentence& r) {
    return Steps{{delay, ScriptedPeer::ReplyTo(r)}};
  };
}

// Answers every second request only, the first of each pair left alone.
ScriptedPeer::Script EverySecond() {
  auto seen = std::make_shared<std::atomic<int>>(0);
  return [seen](const GeoComSentence& r) {
    return ++*seen % 2 == 0 ? Steps{{0ms, ScriptedPeer::ReplyTo(r)}} : Steps{};
  };
}

class BlockingWait : public testing::TestWithParam<WaitCase> {};

TEST_P(BlockingWait, EndsAsTheRowSays) {
  const WaitCase& row = GetParam();
  ScriptedPeer peer(row.script);
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Clock::time_point start = Clock::now();
  PendingCall call = session.Start(kNull, "", row.options);
  std::thread other;
  if (row.meanwhile) {
    other = std::thread([&] {
      std::this_thread::sleep_for(50ms);
      row.meanwhile(session, call);
    });
  }
  while (!call.WaitFor(row.slice)) {
  }
  const auto took = Clock::now() - start;
  if (other.joinable()) other.join();
  error_code error;
  const Reply reply = call.Take(error);
  EXPECT_EQ(error, row.outcome) << reply.diagnostics;
  EXPECT_LT(took, row.within);
  if (!error) {
    EXPECT_EQ(reply.returnCode, GRC_OK);
  }
}

const auto kCancel = [](BlockingSession&, PendingCall& call) { call.Cancel(); };
const auto kClose = [](BlockingSession& session, PendingCall&) {
  session.Close();
};

const WaitCase kWaitCases[] = {
    {"AReplySplitAcrossReads",
     [](const GeoComSentence& r) {
       const std::string reply = ScriptedPeer::ReplyTo(r);
       return Steps{{0ms, reply.substr(0, 5)},
                    {30ms, reply.substr(5, 4)},
                    {30ms, reply.substr(9)}};
     },
     Timeout(2000ms),
     1000ms,
     nullptr,
     {},
     1500ms},
    {"AStaleReplyThenTheAnswer",
     [](const GeoComSentence& r) {
       return Steps{
           {0ms, ReplyBytes(static_cast<unsigned short>(r.GetSequenceID() + 3),
                            GRC_OK, "")},
           {20ms, ScriptedPeer::ReplyTo(r)}};
     },
     Timeout(2000ms),
     1000ms,
     nullptr,
     {},
     1500ms},
    {"AReplyLaterThanTheSlice",
     After(150ms),
     Timeout(2000ms),
     20ms,
     nullptr,
     {},
     1500ms},
    {"ATimeoutWithinTheSlice", After(1500ms), Timeout(100ms), 1000ms, nullptr,
     ErrorKind::kTimeout, 1000ms},
    {"ATimeoutAfterManySlices", After(1500ms), Timeout(100ms), 15ms, nullptr,
     ErrorKind::kTimeout, 1000ms},
    {"ARetryAnswered",
     EverySecond(),
     Timeout(100ms, 1),
     1000ms,
     nullptr,
     {},
     1000ms},
    {"ADeadline", After(1500ms), Deadline(100ms), 1000ms, nullptr,
     ErrorKind::kTimeout, 1000ms},
    {"ACancelFromAnotherThread", After(1500ms), Timeout(5000ms), 2000ms,
     kCancel, boost::asio::error::operation_aborted, 1000ms},
    {"ACloseFromAnotherThread", After(1500ms), Timeout(5000ms), 2000ms, kClose,
     ErrorKind::kClosed, 1000ms},
    {"ThePeerClosing",
     [](const GeoComSentence&) {
       return Steps{{20ms, "", true}};
     },
     Timeout(5000ms), 2000ms, nullptr, ErrorKind::kClosed, 1000ms},
};

// A call made and waited for at once (Call, TryCall) takes its own way
// through the session: it ends as the rows say too, except those that
// cancel, which need a call to hold.
TEST_P(BlockingWait, EndsTheSameWayWhenCalledDirectly) {
  const WaitCase& row = GetParam();
  if (row.meanwhile && !row.meanwhile.target<decltype(kClose)>()) {
    GTEST_SKIP() << "cancelling needs a started call";
  }
  ScriptedPeer peer(row.script);
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Clock::time_point start = Clock::now();
  std::thread other;
  if (row.meanwhile) {
    other = std::thread([&] {
      std::this_thread::sleep_for(50ms);
      session.Close();
    });
  }
  error_code error;
  const Reply reply = session.Call(kNull, "", row.options, error);
  const auto took = Clock::now() - start;
  if (other.joinable()) other.join();
  EXPECT_EQ(error, row.outcome) << reply.diagnostics;
  EXPECT_LT(took, row.within);
  EXPECT_EQ(reply.procedure, kNull);
  if (!error) {
    EXPECT_EQ(reply.returnCode, GRC_OK);
  } else {
    EXPECT_FALSE(reply.diagnostics.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BlockingWait, testing::ValuesIn(kWaitCases),
                         [](const auto& row) { return row.param.name; });

// A started call reaches the session at its first wait (where the waiting
// thread may start it itself), or earlier when something else needs the
// session first: each row does something between starting calls and waiting
// for them, and says how each call ends and what reached the instrument, in
// which order.
struct StartCase {
  const char* name;
  // Starts calls and does what the row is about; returns the calls to wait
  // for, in the order to wait for them.
  std::function<std::vector<PendingCall>(BlockingSession&)> before;
  std::vector<error_code> outcomes;
  std::vector<unsigned short> reached;
};

class BlockingStart : public testing::TestWithParam<StartCase> {};

TEST_P(BlockingStart, EndsAsTheRowSays) {
  const StartCase& row = GetParam();
  std::mutex mutex;
  std::vector<unsigned short> reached;
  ScriptedPeer peer([&](const GeoComSentence& r) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      reached.push_back(r.GetGeocomID());
    }
    return Steps{
        {r.GetGeocomID() == kNull ? 100ms : 0ms, ScriptedPeer::ReplyTo(r)}};
  });
  {
    BlockingSession session = BlockingSession::Connect(peer.Address());
    std::vector<PendingCall> calls = row.before(session);
    ASSERT_EQ(calls.size(), row.outcomes.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
      error_code error;
      const Reply reply = calls[i].Take(error);
      EXPECT_EQ(error, row.outcomes[i]) << i << ": " << reply.diagnostics;
    }
  }
  // Whatever was written has arrived by now.
  std::this_thread::sleep_for(50ms);
  const std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(reached, row.reached);
}

const error_code kOk;

const StartCase kStartCases[] = {
    {"TwoWaitedForLastFirstGoOutInTheirOrder",
     [](BlockingSession& session) {
       PendingCall first = session.Start(kNull, "", Timeout(2000ms));
       PendingCall second = session.Start(kInstrumentName, "", Timeout(2000ms));
       return std::vector<PendingCall>{second, first};
     },
     {kOk, kOk},
     {kNull, kInstrumentName}},
    {"OneNeverWaitedForStillGoesOut",
     [](BlockingSession& session) {
       session.Start(kNull, "", Timeout(2000ms));
       return std::vector<PendingCall>{
           session.Start(kInstrumentName, "", Timeout(2000ms))};
     },
     {kOk},
     {kNull, kInstrumentName}},
    {"CancelledBeforeItsFirstWait",
     [](BlockingSession& session) {
       PendingCall call = session.Start(kNull, "", Timeout(2000ms));
       call.Cancel();
       return std::vector<PendingCall>{call};
     },
     {boost::asio::error::operation_aborted},
     {kNull}},
    {"ClosedBeforeItsFirstWait",
     [](BlockingSession& session) {
       PendingCall call = session.Start(kNull, "", Timeout(2000ms));
       session.Close();
       return std::vector<PendingCall>{call};
     },
     {ErrorKind::kClosed},
     {kNull}},
    {"StartedAfterACloseSendsNothing",
     [](BlockingSession& session) {
       session.Close();
       return std::vector<PendingCall>{
           session.Start(kNull, "", Timeout(2000ms))};
     },
     {ErrorKind::kClosed},
     {}},
    {"AnAsynchronousCallAfterItGoesOutSecond",
     [](BlockingSession& session) {
       PendingCall call = session.Start(kNull, "", Timeout(2000ms));
       auto done = std::make_shared<std::promise<error_code>>();
       session.AsyncCall(kInstrumentName, "", [done](error_code error, Reply) {
         done->set_value(error);
       });
       PendingCall waited = call;
       EXPECT_EQ(done->get_future().get(), kOk);
       return std::vector<PendingCall>{waited};
     },
     {kOk},
     {kNull, kInstrumentName}},
    {"OneKeptThenADirectCallGoOutInTheirOrder",
     [](BlockingSession& session) {
       PendingCall kept = session.Start(kNull, "", Timeout(2000ms));
       EXPECT_TRUE(session.TryCall(kInstrumentName, "", Timeout(2000ms)));
       return std::vector<PendingCall>{kept};
     },
     {kOk},
     {kNull, kInstrumentName}},
    {"ADirectCallAfterACloseSendsNothing",
     [](BlockingSession& session) {
       session.Close();
       const Result<Reply> reply =
           session.TryCall(kInstrumentName, "", Timeout(2000ms));
       EXPECT_FALSE(reply);
       if (!reply) {
         EXPECT_EQ(reply.error().kind, ErrorKind::kClosed);
       }
       return std::vector<PendingCall>{};
     },
     {},
     {}},
    {"TwoKeptThenAnAsynchronousCallGoOutInTheirOrder",
     [](BlockingSession& session) {
       PendingCall first = session.Start(kNull, "", Timeout(2000ms));
       PendingCall second = session.Start(kInstrumentName, "", Timeout(2000ms));
       auto done = std::make_shared<std::promise<error_code>>();
       session.AsyncCall(
           kInstrumentNumber, "",
           [done](error_code error, Reply) { done->set_value(error); });
       EXPECT_EQ(done->get_future().get(), kOk);
       return std::vector<PendingCall>{first, second};
     },
     {kOk, kOk},
     {kNull, kInstrumentName, kInstrumentNumber}},
};

INSTANTIATE_TEST_SUITE_P(Rows, BlockingStart, testing::ValuesIn(kStartCases),
                         [](const auto& row) { return row.param.name; });

// A call cancelled while its thread waited leaves the session usable: the
// late reply is passed over and the next call gets its own.
TEST(BlockingWaitThen, ACancelledCallLeavesTheSessionUsable) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{
        {r.GetGeocomID() == kNull ? 300ms : 0ms, ScriptedPeer::ReplyTo(r)}};
  });
  BlockingSession session = BlockingSession::Connect(peer.Address());
  PendingCall call = session.Start(kNull, "", Timeout(5000ms));
  std::thread canceller([&] {
    std::this_thread::sleep_for(30ms);
    call.Cancel();
  });
  error_code error;
  call.Take(error);
  canceller.join();
  EXPECT_EQ(error, boost::asio::error::operation_aborted);
  const Result<Reply> next =
      session.TryCall(kInstrumentName, "", Timeout(2000ms));
  ASSERT_TRUE(next) << next.error().message;
  EXPECT_EQ(next->procedure, kInstrumentName);
  EXPECT_EQ(session.Counts().staleReplies, 1u);
}

}  // namespace
