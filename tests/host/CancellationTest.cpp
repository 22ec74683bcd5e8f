// Cancellation as Asio defines its types, connecting that is cancelled or
// fails, sessions whose context or connection is gone, and the blocking
// session's bounds and lifetime. Each case names the fault it catches.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_future.hpp>
#include <future>
#include <optional>
#include <thread>

#include "ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using boost::asio::cancellation_type;
using boost::system::error_code;
using Steps = std::vector<ScriptedPeer::Step>;
using Clock = std::chrono::steady_clock;

namespace {

ScriptedPeer::Script AnswerAfter(std::chrono::milliseconds delay) {
  return [delay](const GeoComSentence& r) {
    return Steps{{delay, ScriptedPeer::ReplyTo(r)}};
  };
}

// An io_context run by two threads, as a pool would, with a session on it.
struct Pool {
  explicit Pool(const std::string& address) {
    for (auto& thread : threads) thread = std::thread([this] { io.run(); });
    session = Session::AsyncConnect(io.get_executor(), address, {},
                                    boost::asio::use_future)
                  .get();
  }
  ~Pool() {
    session.Close();
    work.reset();
    for (auto& thread : threads) thread.join();
  }

  boost::asio::io_context io;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
      work = boost::asio::make_work_guard(io);
  std::thread threads[2];
  Session session;
};

using Outcome = std::future<std::pair<error_code, Reply>>;

// Starts a call whose cancellation slot is the signal's.
Outcome Call(Session& session, unsigned short procedure,
             boost::asio::cancellation_signal& cancel) {
  auto promise = std::make_shared<std::promise<std::pair<error_code, Reply>>>();
  Outcome outcome = promise->get_future();
  session.AsyncCall(
      procedure, "",
      boost::asio::bind_cancellation_slot(
          cancel.slot(), [promise](error_code error, Reply reply) {
            promise->set_value({error, std::move(reply)});
          }));
  return outcome;
}

unsigned short Position() { return FindProcedure("position")->id; }

struct CancelCase {
  const char* fault;  // what goes wrong when the row fails
  cancellation_type type;
  bool onTheWire;  // cancelled once its request was written, or queued
  bool aborted;
};

class CancellationTypes : public testing::TestWithParam<CancelCase> {};

// Once a request is written its side effect (a telescope turning) is under
// way: only terminal may end it. A queued call has done nothing yet.
TEST_P(CancellationTypes, EndTheCallOnlyWhenTheTypeAllows) {
  const CancelCase& row = GetParam();
  ScriptedPeer peer(AnswerAfter(300ms));
  Pool pool(peer.Address());
  boost::asio::cancellation_signal first;
  boost::asio::cancellation_signal second;
  Outcome sent = Call(pool.session, Position(), first);
  Outcome queued = Call(pool.session, Position(), second);
  std::this_thread::sleep_for(50ms);
  boost::asio::post(pool.io,
                    [&] { (row.onTheWire ? first : second).emit(row.type); });
  auto [sentError, sentReply] = sent.get();
  auto [queuedError, queuedReply] = queued.get();
  const error_code cancelled = row.onTheWire ? sentError : queuedError;
  const error_code other = row.onTheWire ? queuedError : sentError;
  EXPECT_EQ(cancelled == boost::asio::error::operation_aborted, row.aborted)
      << row.fault << ": " << cancelled.message();
  EXPECT_FALSE(other) << row.fault;
  // A queued call that was cancelled never reaches the wire.
  EXPECT_EQ(peer.RequestsSeen(), !row.onTheWire && row.aborted ? 1 : 2)
      << row.fault;
}

INSTANTIATE_TEST_SUITE_P(
    Session, CancellationTypes,
    testing::Values(CancelCase{"a written position ended by total",
                               cancellation_type::total, true, false},
                    CancelCase{"a written position ended by partial",
                               cancellation_type::partial, true, false},
                    CancelCase{"terminal ignored on the wire",
                               cancellation_type::terminal, true, true},
                    CancelCase{"total ignored in the queue",
                               cancellation_type::total, false, true},
                    CancelCase{"partial ignored in the queue",
                               cancellation_type::partial, false, true},
                    CancelCase{"terminal ignored in the queue",
                               cancellation_type::terminal, false, true}));

// A peer that accepts no connection: the listening socket's queue is full,
// so further connection attempts wait for their bound.
struct Unanswered {
  Unanswered() : acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
    acceptor.listen(0);
    for (auto& socket : filling) {
      socket.emplace(io);
      // Started on a context nobody runs, never waited for: a connection
      // the queue has no room for stays in progress.
      socket->async_connect(acceptor.local_endpoint(), [](error_code) {});
    }
  }
  std::string Address() const {
    return "127.0.0.1:" + std::to_string(acceptor.local_endpoint().port());
  }
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor;
  std::optional<boost::asio::ip::tcp::socket> filling[2];
};

TEST(SessionConnect, ACancelledConnectEndsAtOnceNamingTheAddress) {
  Unanswered peer;
  boost::asio::io_context io;
  boost::asio::cancellation_signal cancel;
  std::promise<std::pair<error_code, Session>> done;
  SessionOptions options;
  options.connectTimeout = 3000ms;
  Session::AsyncConnect(
      io.get_executor(), peer.Address(), options,
      boost::asio::bind_cancellation_slot(
          cancel.slot(), [&done](error_code error, Session session) {
            done.set_value({error, std::move(session)});
          }));
  boost::asio::steady_timer timer(io, 100ms);
  Clock::time_point cancelledAt;
  timer.async_wait([&](error_code) {
    cancelledAt = Clock::now();
    cancel.emit(cancellation_type::total);
  });
  io.run();
  // The 3 s bound ending it instead means the slot was ignored.
  EXPECT_LT(Clock::now() - cancelledAt, 1s);
  auto [error, session] = done.get_future().get();
  EXPECT_EQ(error, boost::asio::error::operation_aborted);
  EXPECT_NE(session.Failure().find(peer.Address()), std::string::npos)
      << session.Failure();
  EXPECT_NE(session.Failure().find("cancelled"), std::string::npos);
}

TEST(SessionConnect, AFailedConnectKeepsItsDiagnostics) {
  boost::asio::io_context io;
  std::string address;
  {
    boost::asio::ip::tcp::acceptor closed(
        io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    address = "127.0.0.1:" + std::to_string(closed.local_endpoint().port());
  }
  std::vector<std::pair<error_code, Session>> failed;
  const auto keep = [&failed](error_code error, Session session) {
    failed.emplace_back(error, std::move(session));
  };
  Session::AsyncConnect(io.get_executor(), address, {}, keep);
  io.run();
  Session::AsyncConnect(io.get_executor(), "nowhere", {}, keep);
  io.restart();
  io.run();
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0].first, ErrorKind::kConnect);
  EXPECT_NE(failed[0].second.Failure().find(address), std::string::npos);
  EXPECT_EQ(failed[1].first, ErrorKind::kInvalidArgument);
  EXPECT_NE(failed[1].second.Failure().find("nowhere"), std::string::npos);
  // A call on the failed session says why it has no connection.
  std::string why;
  failed[0].second.AsyncCall(
      kNull, "",
      boost::asio::bind_executor(
          io, [&why](error_code, Reply reply) { why = reply.diagnostics; }));
  io.restart();
  io.run();
  EXPECT_NE(why.find(address), std::string::npos) << why;
}

// Sessions that cannot make the call complete on the handler's executor,
// not on one of their own (a dead context's, or the system's threads).
TEST(SessionLifetime, CallsWithoutAConnectionCompleteOnTheHandlersExecutor) {
  ScriptedPeer peer(AnswerAfter(0ms));
  std::optional<boost::asio::io_context> gone(std::in_place);
  auto connected = Session::AsyncConnect(gone->get_executor(), peer.Address(),
                                         {}, boost::asio::use_future);
  gone->run_for(2s);
  Session orphaned = connected.get();
  gone.reset();
  Session empty;
  boost::asio::io_context application;
  int onApplication = 0;
  std::vector<std::string> why;
  const auto handler = [&](error_code error, Reply reply) {
    EXPECT_EQ(error, ErrorKind::kClosed);
    onApplication += application.get_executor().running_in_this_thread();
    why.push_back(reply.diagnostics);
  };
  // The orphan's own executor belongs to freed memory: touching it is what
  // the sanitizer builds catch here.
  orphaned.AsyncCall(kNull, "",
                     boost::asio::bind_executor(application, handler));
  empty.AsyncCall(kNull, "", boost::asio::bind_executor(application, handler));
  application.run();
  EXPECT_EQ(onApplication, 2);
  ASSERT_EQ(why.size(), 2u);
  EXPECT_NE(why[0].find("destroyed"), std::string::npos) << why[0];
  EXPECT_NE(why[1].find("empty"), std::string::npos) << why[1];
}

TEST(BlockingSession, DestroyedInsideItsOwnCompletionEndsTheOthers) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{
        {r.GetGeocomID() == kNull ? 0ms : 2000ms, ScriptedPeer::ReplyTo(r)}};
  });
  auto session = std::make_unique<BlockingSession>(
      BlockingSession::Connect(peer.Address()));
  std::promise<error_code> first;
  std::promise<error_code> second;
  session->AsyncCall(kNull, "", [&](error_code error, Reply) {
    session.reset();
    first.set_value(error);
  });
  session->AsyncCall(kInstrumentName, "",
                     [&](error_code error, Reply) { second.set_value(error); });
  auto firstDone = first.get_future();
  auto secondDone = second.get_future();
  ASSERT_EQ(firstDone.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(firstDone.get());
  ASSERT_EQ(secondDone.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(secondDone.get(), ErrorKind::kClosed);
}

// The bound of a call on a context the application runs counts every try:
// a slow reply well within the time-out is an answer, not a time-out.
TEST(BlockingSession, ASlowReplyWithinTheTimeoutIsAccepted) {
  ScriptedPeer peer(AnswerAfter(1200ms));
  boost::asio::io_context application;
  auto work = boost::asio::make_work_guard(application);
  std::thread runner([&] { application.run(); });
  BlockingSession session = BlockingSession::Make([&](Session::executor_type) {
    return Session::Over(peer.Connect(application), peer.Address());
  });
  CallOptions slow;
  slow.timeout = 1500ms;
  const Result<Reply> reply = session.TryCall(kNull, "", slow);
  EXPECT_TRUE(reply) << reply.error().message;
  session.Close();
  work.reset();
  runner.join();
}

TEST(BlockingSession, CallsFromSeveralThreadsShareOneLoop) {
  ScriptedPeer peer(AnswerAfter(1ms));
  BlockingSession session = BlockingSession::Connect(peer.Address());
  std::atomic<int> succeeded{0};
  std::atomic<int> asyncSucceeded{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        succeeded += static_cast<bool>(session.TryCall(kNull));
        session.AsyncCall(kNull, "", [&](error_code error, Reply) {
          asyncSucceeded += !error;
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  // The last asynchronous calls are served by the helper with nobody
  // waiting any more.
  const auto until = Clock::now() + 5s;
  while (asyncSucceeded.load() < 100 && Clock::now() < until) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(succeeded.load(), 100);
  EXPECT_EQ(asyncSucceeded.load(), 100);
}

}  // namespace
