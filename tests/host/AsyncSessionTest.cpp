// The asynchronous session in Asio's conventions and the blocking session
// over it: cancellation, completion executors, closing and destroying with
// calls in flight, and event loops that are not the session's to run.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_future.hpp>
#include <functional>
#include <future>
#include <thread>

#include "ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using boost::system::error_code;
using Steps = std::vector<ScriptedPeer::Step>;
using Clock = std::chrono::steady_clock;

namespace {

// A peer that answers every request after the delay.
ScriptedPeer::Script AnswerAfter(std::chrono::milliseconds delay) {
  return [delay](const GeoComSentence& r) {
    return Steps{{delay, ScriptedPeer::ReplyTo(r, 0, "\"TS\"")}};
  };
}

// An io_context on a thread of its own, with a session connected through it.
struct Loop {
  explicit Loop(const std::string& address)
      : work(boost::asio::make_work_guard(io)), thread([this] { io.run(); }) {
    session = Session::AsyncConnect(io.get_executor(), address, {},
                                    boost::asio::use_future)
                  .get();
  }
  ~Loop() {
    session.Close();
    work.reset();
    thread.join();
  }

  boost::asio::io_context io;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work;
  std::thread thread;
  Session session;
};

struct Outcome {
  std::promise<std::pair<error_code, Reply>> promise;
  std::future<std::pair<error_code, Reply>> future = promise.get_future();
  std::atomic<int> completions{0};
  auto Handler() {
    return [this](error_code error, Reply reply) {
      ++completions;
      promise.set_value({error, std::move(reply)});
    };
  }
  error_code Error() { return future.get().first; }
};

TEST(AsyncSession, CancellingAWaitingCallLeavesTheSessionUsable) {
  ScriptedPeer peer(AnswerAfter(300ms));
  Loop loop(peer.Address());
  boost::asio::cancellation_signal cancel;
  Outcome first;
  loop.session.AsyncCall(
      kInstrumentName, "",
      boost::asio::bind_cancellation_slot(cancel.slot(), first.Handler()));
  std::this_thread::sleep_for(50ms);
  const auto start = Clock::now();
  cancel.emit(boost::asio::cancellation_type::terminal);
  EXPECT_EQ(first.Error(), boost::asio::error::operation_aborted);
  EXPECT_LT(Clock::now() - start, 200ms);
  // The late reply to the cancelled call is passed over as stale.
  auto second =
      loop.session.AsyncCall(kInstrumentName, "", boost::asio::use_future);
  EXPECT_EQ(second.get().returnCode, 0);
  EXPECT_EQ(loop.session.Counts().staleReplies, 1u);
}

TEST(AsyncSession, CancellingAQueuedCallEndsItAtOnce) {
  ScriptedPeer peer(AnswerAfter(300ms));
  Loop loop(peer.Address());
  auto first = loop.session.AsyncCall(kNull, "", boost::asio::use_future);
  boost::asio::cancellation_signal cancel;
  Outcome queued;
  loop.session.AsyncCall(
      kNull, "",
      boost::asio::bind_cancellation_slot(cancel.slot(), queued.Handler()));
  std::this_thread::sleep_for(20ms);
  cancel.emit(boost::asio::cancellation_type::terminal);
  EXPECT_EQ(queued.Error(), boost::asio::error::operation_aborted);
  EXPECT_EQ(first.wait_for(0s), std::future_status::timeout);
  EXPECT_EQ(first.get().returnCode, 0);
  EXPECT_EQ(peer.RequestsSeen(), 1);
}

TEST(AsyncSession, HandlersRunOnTheirAssociatedExecutor) {
  // The handler's context outlives the session, as an application's must.
  boost::asio::io_context other;
  auto strand = boost::asio::make_strand(other);
  ScriptedPeer peer(AnswerAfter(0ms));
  Loop loop(peer.Address());
  std::atomic<bool> onStrand{false};
  loop.session.AsyncCall(
      kNull, "", boost::asio::bind_executor(strand, [&](error_code, Reply) {
        onStrand = strand.running_in_this_thread();
      }));
  other.run_for(2s);
  EXPECT_TRUE(onStrand.load());
}

// Closing, destroying the session and the io_context going first each
// complete every call exactly once (or drop it with the context), and touch
// no freed memory: the sanitizer builds run these.
TEST(AsyncSession, ClosingCompletesEveryCallOnceWithClosed) {
  ScriptedPeer peer(AnswerAfter(2s));
  Loop loop(peer.Address());
  Outcome waiting;
  Outcome queued;
  loop.session.AsyncCall(kNull, "", waiting.Handler());
  loop.session.AsyncCall(kNull, "", queued.Handler());
  std::this_thread::sleep_for(20ms);
  const auto start = Clock::now();
  loop.session.Close();
  EXPECT_EQ(waiting.Error(), ErrorKind::kClosed);
  EXPECT_EQ(queued.Error(), ErrorKind::kClosed);
  EXPECT_LT(Clock::now() - start, 1s);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(waiting.completions.load() + queued.completions.load(), 2);
  Outcome after;
  loop.session.AsyncCall(kNull, "", after.Handler());
  EXPECT_EQ(after.Error(), ErrorKind::kClosed);
}

TEST(AsyncSession, DestroyingTheSessionInFlightCompletesItsCalls) {
  ScriptedPeer peer(AnswerAfter(2s));
  Loop loop(peer.Address());
  Outcome waiting;
  {
    Session session = std::move(loop.session);
    session.AsyncCall(kNull, "", waiting.Handler());
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(waiting.Error(), ErrorKind::kClosed);
}

TEST(AsyncSession, IsOpenUntilClosed) {
  ScriptedPeer peer(AnswerAfter(0ms));
  Loop loop(peer.Address());
  EXPECT_TRUE(loop.session.IsOpen());
  loop.session.Close();
  EXPECT_FALSE(loop.session.IsOpen());
}

TEST(AsyncSession, TheContextMayGoBeforeTheSession) {
  ScriptedPeer peer(AnswerAfter(2s));
  std::optional<boost::asio::io_context> io(std::in_place);
  auto connected = Session::AsyncConnect(io->get_executor(), peer.Address(), {},
                                         boost::asio::use_future);
  io->run_for(2s);
  Session session = connected.get();
  io->restart();
  session.AsyncCall(kNull, "", [](error_code, Reply) {});
  session.AsyncCall(kNull, "", [](error_code, Reply) {});
  io->run_for(50ms);
  io.reset();
  session.Close();
  EXPECT_FALSE(session.IsOpen());
}

TEST(AsyncSession, AMovedFromOrEmptySessionFailsCallsClearly) {
  ScriptedPeer peer(AnswerAfter(0ms));
  Loop loop(peer.Address());
  Session taken = std::move(loop.session);
  Outcome outcome;
  loop.session.AsyncCall(kNull, "", outcome.Handler());
  const auto [error, reply] = outcome.future.get();
  EXPECT_EQ(error, ErrorKind::kClosed);
  EXPECT_NE(reply.diagnostics.find("moved from"), std::string::npos);
  EXPECT_EQ(
      taken.AsyncCall(kNull, "", boost::asio::use_future).get().returnCode, 0);
}

TEST(AsyncSession, ADeadlineBoundsTheWaitInTheQueue) {
  ScriptedPeer peer(AnswerAfter(500ms));
  Loop loop(peer.Address());
  CallOptions patient;
  patient.timeout = 2s;
  // A later deadline of its own, not yet reached when the queued one ends.
  patient.deadline = 5s;
  auto first =
      loop.session.AsyncCall(kNull, "", boost::asio::use_future, patient);
  CallOptions bounded;
  bounded.deadline = 100ms;
  Outcome queued;
  const auto start = Clock::now();
  loop.session.AsyncCall(kNull, "", queued.Handler(), bounded);
  const auto [error, reply] = queued.future.get();
  EXPECT_EQ(error, ErrorKind::kTimeout);
  EXPECT_NE(reply.diagnostics.find("deadline of 100 ms"), std::string::npos);
  EXPECT_LT(Clock::now() - start, 400ms);
  EXPECT_EQ(first.get().returnCode, 0);
}

TEST(AsyncSession, NamedCallsDecodeByTheCatalogue) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(r, 0, "12abc")}};
  });
  Loop loop(peer.Address());
  // The error through a callback: an exception handed from the session's
  // thread to this one through a future is freed by whichever thread lets
  // go of it last, which ThreadSanitizer cannot follow into the standard
  // library.
  const auto callError = [&loop](std::string_view name, Fields arguments) {
    auto done = std::make_shared<std::promise<error_code>>();
    std::future<error_code> outcome = done->get_future();
    AsyncCallNamed(
        loop.session, name, std::move(arguments),
        [done](error_code error, NamedReply) { done->set_value(error); });
    return outcome.get();
  };
  EXPECT_EQ(callError("instrument-number", {}), ErrorKind::kInvalidReply)
      << "12abc read as a serial number";
  EXPECT_EQ(callError("angles", {{"incline_mode", std::int64_t{7}}}),
            ErrorKind::kInvalidArgument);
  EXPECT_EQ(peer.RequestsSeen(), 1);
}

// The blocking session runs its own loop: an application that stops its
// own io_context, or runs none, does not affect it.
TEST(BlockingSession, NeverRunsOrMindsTheCallersEventLoop) {
  ScriptedPeer peer(AnswerAfter(100ms));
  BlockingSession session = BlockingSession::Connect(peer.Address());
  boost::asio::io_context application;
  auto work = boost::asio::make_work_guard(application);
  std::atomic<int> ran{0};
  boost::asio::post(application, [&ran] { ++ran; });
  std::thread other([&] {
    std::this_thread::sleep_for(20ms);
    application.stop();
  });
  EXPECT_TRUE(session.TryCall(kNull));
  other.join();
  EXPECT_EQ(ran.load(), 0);
}

TEST(BlockingSession, AStreamOnAContextNobodyRunsIsStillBounded) {
  ScriptedPeer peer(AnswerAfter(0ms));
  boost::asio::io_context nobodyRunsThis;
  BlockingSession session = BlockingSession::Make([&](Session::executor_type) {
    return Session::Over(peer.Connect(nobodyRunsThis), peer.Address());
  });
  CallOptions brief;
  brief.timeout = 100ms;
  const auto start = Clock::now();
  const Result<Reply> reply = session.TryCall(kNull, "", brief);
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.error().kind, ErrorKind::kTimeout);
  EXPECT_LT(Clock::now() - start, 3s);
}

// Every way of making a blocking call, each giving the error it ended with.
using CallWay = std::function<error_code(BlockingSession&)>;
const std::pair<const char*, CallWay> kCallWays[] = {
    {"TryCall",
     [](BlockingSession& session) {
       const Result<Reply> reply = session.TryCall(kNull, "");
       return reply ? error_code() : error_code(reply.error().kind);
     }},
    {"Call with an error code",
     [](BlockingSession& session) {
       error_code error;
       session.Call(kNull, "", {}, error);
       return error;
     }},
    {"Call that throws",
     [](BlockingSession& session) {
       try {
         session.Call(kNull);
         return error_code();
       } catch (const SessionError& error) {
         return error_code(error.error().kind);
       }
     }},
    {"Start then Take",
     [](BlockingSession& session) {
       error_code error;
       session.Start(kNull, "").Take(error);
       return error;
     }},
};

// A session on a context the application runs, and a moved-from one: every
// way of calling takes the way such a session needs.
TEST(BlockingSession, EveryWayOfCallingServesAForeignContextAndFailsAMovedOne) {
  ScriptedPeer peer(AnswerAfter(0ms));
  boost::asio::io_context applications;
  auto work = boost::asio::make_work_guard(applications);
  std::thread runner([&applications] { applications.run(); });
  BlockingSession foreign = BlockingSession::Make([&](Session::executor_type) {
    return Session::Over(peer.Connect(applications), peer.Address());
  });
  BlockingSession moved = BlockingSession::Connect(peer.Address());
  const BlockingSession taken = std::move(moved);
  for (const auto& [name, call] : kCallWays) {
    EXPECT_EQ(call(foreign), error_code()) << name;
    EXPECT_EQ(call(moved), error_code(ErrorKind::kClosed)) << name;
  }
  foreign.Close();
  work.reset();
  runner.join();
}

TEST(BlockingSession, APendingCallCanBeCancelledFromAnotherThread) {
  ScriptedPeer peer(AnswerAfter(300ms));
  BlockingSession session = BlockingSession::Connect(peer.Address());
  PendingCall call = session.Start(kNull, "");
  EXPECT_FALSE(call.WaitFor(20ms));
  call.Cancel();
  boost::system::error_code error;
  call.Take(error);
  EXPECT_EQ(error, boost::asio::error::operation_aborted);
  CallOptions patient;
  patient.timeout = 2s;
  const Result<Reply> next = session.TryCall(kNull, "", patient);
  EXPECT_TRUE(next) << next.error().message;
}

TEST(BlockingSession, NamedCallsCheckArgumentsAndReadRepliesStrictly) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(r, 0, "0,1,x,3")}};
  });
  BlockingSession session = BlockingSession::Connect(peer.Address());
  try {
    session.Call("station", {});
    ADD_FAILURE() << "a station with height x decoded";
  } catch (const SessionError& error) {
    EXPECT_EQ(error.error().kind, ErrorKind::kInvalidReply);
    EXPECT_NE(std::string(error.what()).find("height"), std::string::npos);
  }
  EXPECT_THROW(session.Call("position", {{"hz", 1.0}}), SessionError);
  EXPECT_THROW(session.Call("no-such-thing", {}), SessionError);
  EXPECT_EQ(peer.RequestsSeen(), 1);
}

}  // namespace
