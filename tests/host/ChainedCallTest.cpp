// Calls chained from completions, on an io_context run by the test's own
// thread: a completion may run at once on its executor instead of going round
// the queue, but never inside the initiating function of the call that
// produced it; a chained call keeps its own reply time-out; a call waiting
// for its reply leaves the loop idle; the event loop runs out of work as soon
// as the chain ends; a handler that throws loses no other call's completion;
// requests the loop writes follow each other too, and one it fails to write
// ends its call at once and closes the session.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/host/Transport.h>
#include <gtest/gtest.h>

#include <boost/asio/append.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using boost::system::error_code;
using Steps = std::vector<ScriptedPeer::Step>;
using Clock = std::chrono::steady_clock;

namespace {

// A peer that answers the first `answered` requests at once and then stays
// silent.
ScriptedPeer::Script AnswerFirst(int answered) {
  auto seen = std::make_shared<std::atomic<int>>(0);
  return [answered, seen](const GeoComSentence& request) {
    if (seen->fetch_add(1) >= answered) return Steps{};
    return Steps{{0ms, ScriptedPeer::ReplyTo(request)}};
  };
}

// Connects through the context, run here until connected.
Session ConnectOn(boost::asio::io_context& io, Session::executor_type on,
                  const std::string& address) {
  Session session;
  Session::AsyncConnect(on, address, {},
                        [&session](error_code error, Session connected) {
                          EXPECT_FALSE(error) << error.message();
                          session = std::move(connected);
                        });
  io.run();
  io.restart();
  return session;
}

TEST(ChainedCalls, ACallFailingOnTheSpotInsideACompletionIsStillPosted) {
  struct Row {
    const char* name;
    bool emptySession;
    std::string parameters;
  };
  const Row rows[] = {
      {"a request with a CR", false, "1\r2"},
      {"an empty session", true, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedPeer peer(AnswerFirst(1));
    boost::asio::io_context io;
    Session session = ConnectOn(io, io.get_executor(), peer.Address());
    Session empty;
    Session& target = row.emptySession ? empty : session;
    bool returned = false;
    int completions = 0;
    error_code failure;
    session.AsyncCall(kNull, "", [&](error_code error, Reply) {
      ASSERT_FALSE(error) << error.message();
      target.AsyncCall(
          kNull, row.parameters,
          boost::asio::bind_executor(io, [&](error_code outcome, Reply) {
            EXPECT_TRUE(returned) << "ran inside its initiating function";
            ++completions;
            failure = outcome;
          }));
      returned = true;
    });
    io.run_for(5s);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(failure == ErrorKind::kInvalidArgument ||
                failure == ErrorKind::kClosed)
        << failure.message();
  }
}

TEST(ChainedCalls, TheLoopRunsOutOfWorkWhenTheChainEnds) {
  ScriptedPeer peer(AnswerFirst(1000));
  boost::asio::io_context io;
  Session session = ConnectOn(io, io.get_executor(), peer.Address());
  CallOptions patient;
  patient.timeout = 30s;
  int left = 50;
  int answered = 0;
  std::function<void(error_code, Reply)> next = [&](error_code error, Reply) {
    if (!error) ++answered;
    if (--left > 0) session.AsyncCall(kNull, "", next, patient);
  };
  const auto start = Clock::now();
  session.AsyncCall(kNull, "", next, patient);
  io.run();
  EXPECT_LT(Clock::now() - start, 10s) << "a reply timer outlived the chain";
  EXPECT_EQ(answered, 50);
  EXPECT_EQ(session.Counts().timeouts, 0u);
}

TEST(ChainedCalls, AChainedCallTimesOutOnItsOwnTimeOut) {
  struct Row {
    const char* name;
    std::chrono::milliseconds first;
    std::chrono::milliseconds second;
  };
  const Row rows[] = {
      {"a longer wait armed first is brought forward", 20s, 200ms},
      {"a shorter wait armed first looks again", 100ms, 700ms},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedPeer peer(AnswerFirst(1));
    boost::asio::io_context io;
    Session session = ConnectOn(io, io.get_executor(), peer.Address());
    CallOptions first;
    first.timeout = row.first;
    CallOptions second;
    second.timeout = row.second;
    Clock::time_point secondStarted;
    Clock::duration secondTook{};
    error_code secondError;
    session.AsyncCall(
        kNull, "",
        [&](error_code error, Reply) {
          ASSERT_FALSE(error) << error.message();
          secondStarted = Clock::now();
          session.AsyncCall(
              kNull, "",
              [&](error_code outcome, Reply) {
                secondTook = Clock::now() - secondStarted;
                secondError = outcome;
                // The read stays armed for a late reply: stop here.
                io.stop();
              },
              second);
        },
        first);
    io.run_for(10s);
    EXPECT_EQ(secondError, ErrorKind::kTimeout);
    EXPECT_GE(secondTook, row.second);
    EXPECT_LT(secondTook, row.second + 3s);
    EXPECT_EQ(session.Counts().timeouts, 1u);
  }
}

TEST(ChainedCalls, AHandlerThatThrowsLosesNoOtherCompletion) {
  struct Row {
    const char* name;
    bool onStrand;  // the session's own executor a strand, which lets a
                    // handler's exception through where it runs
  };
  const Row rows[] = {{"on the context's executor", false},
                      {"on a strand", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedPeer peer(AnswerFirst(0));
    boost::asio::io_context io;
    const Session::executor_type on =
        row.onStrand ? Session::executor_type(boost::asio::make_strand(io))
                     : Session::executor_type(io.get_executor());
    Session session = ConnectOn(io, on, peer.Address());
    constexpr int kCalls = 3;
    int completions[kCalls] = {};
    for (int call = 0; call < kCalls; ++call) {
      session.AsyncCall(kNull, "", [&completions, call](error_code, Reply) {
        ++completions[call];
        if (call == 0) throw std::runtime_error("handler failed");
      });
    }
    io.run_for(50ms);
    io.restart();
    // Closing ends the three at once, in one of the session's handlers.
    session.Close();
    int thrown = 0;
    for (int run = 0; run < 5; ++run) {
      try {
        io.run_for(200ms);
      } catch (const std::runtime_error&) {
        ++thrown;
      }
      io.restart();
    }
    EXPECT_EQ(thrown, 1);
    for (int call = 0; call < kCalls; ++call) {
      EXPECT_EQ(completions[call], 1) << "call " << call;
    }
  }
}

TEST(ChainedCalls, ACallAwaitingItsReplyLeavesTheLoopIdle) {
  struct Row {
    const char* name;
    int answeredFirst;  // calls answered before the one left waiting
  };
  const Row rows[] = {{"the first call", 0}, {"a chained call", 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedPeer peer(AnswerFirst(row.answeredFirst));
    boost::asio::io_context io;
    Session session = ConnectOn(io, io.get_executor(), peer.Address());
    CallOptions patient;
    patient.timeout = 10s;
    std::function<void(error_code, Reply)> next = [&](error_code, Reply) {
      session.AsyncCall(
          kNull, "", [](error_code, Reply) {}, patient);
    };
    if (row.answeredFirst > 0) {
      session.AsyncCall(kNull, "", next, patient);
    } else {
      next({}, {});
    }
    // Waiting for a reply is one wait on the socket and one on the timer,
    // not a timer that keeps going off.
    const std::size_t handlers = io.run_for(400ms);
    EXPECT_LT(handlers, 20u);
  }
}

// A stream the session cannot write on the spot: every request goes through
// the loop's write.
class LoopWrittenStream : public StreamTransport<boost::asio::ip::tcp::socket> {
 public:
  using StreamTransport::StreamTransport;
};

boost::asio::ip::tcp::socket ConnectedTo(boost::asio::io_context& io,
                                         const std::string& address) {
  boost::asio::ip::tcp::socket socket(io);
  socket.connect({boost::asio::ip::address_v4::loopback(),
                  static_cast<unsigned short>(
                      std::stoi(address.substr(address.rfind(':') + 1)))});
  return socket;
}

TEST(ChainedCalls, CallsFollowEachOtherWhenTheLoopWritesTheRequests) {
  ScriptedPeer peer(AnswerFirst(1000));
  boost::asio::io_context io;
  Session session(std::make_unique<LoopWrittenStream>(
      ConnectedTo(io, peer.Address()), "peer"));
  int left = 3;
  int answered = 0;
  std::function<void(error_code, Reply)> next = [&](error_code error, Reply) {
    if (!error) ++answered;
    if (--left > 0) session.AsyncCall(kNull, "", next);
  };
  session.AsyncCall(kNull, "", next);
  io.run_for(5s);
  EXPECT_EQ(answered, 3);
}

// A stream whose writes through the loop fail as a peer that went away
// makes them fail.
class BrokenPipeStream : public LoopWrittenStream {
 public:
  using LoopWrittenStream::LoopWrittenStream;
  void AsyncWrite(boost::asio::const_buffer, WriteHandler handler) override {
    ++writes;
    boost::asio::post(
        Executor(),
        boost::asio::append(std::move(handler),
                            error_code(boost::asio::error::broken_pipe)));
  }
  int writes = 0;
};

// A write the loop fails ends its call at once, long before its time-out,
// and leaves the session closed: the next call fails without writing.
TEST(ChainedCalls, AWriteTheLoopFailsEndsTheCallAndClosesTheSession) {
  ScriptedPeer peer(AnswerFirst(1000));
  boost::asio::io_context io;
  auto owned = std::make_unique<BrokenPipeStream>(
      ConnectedTo(io, peer.Address()), "peer");
  BrokenPipeStream& stream = *owned;
  Session session(std::move(owned));
  CallOptions patient;
  patient.timeout = 10s;
  std::vector<std::pair<error_code, std::string>> outcomes;
  auto record = [&](error_code error, Reply reply) {
    outcomes.emplace_back(error, reply.diagnostics);
    if (outcomes.size() == 2) io.stop();
  };
  session.AsyncCall(
      kNull, "",
      [&](error_code error, Reply reply) {
        record(error, std::move(reply));
        session.AsyncCall(kNull, "", record, patient);
      },
      patient);
  io.run_for(5s);
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].first, ErrorKind::kClosed) << outcomes[0].second;
  EXPECT_EQ(outcomes[1].first, ErrorKind::kClosed) << outcomes[1].second;
  EXPECT_NE(outcomes[1].second.find("is closed"), std::string::npos)
      << outcomes[1].second;
  EXPECT_EQ(stream.writes, 1);
}

}  // namespace
