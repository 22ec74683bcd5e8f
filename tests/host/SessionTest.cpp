#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/asio/write.hpp>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <tuple>

#include "ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using Steps = std::vector<ScriptedPeer::Step>;
using Clock = std::chrono::steady_clock;
using boost::system::error_code;

namespace {

std::string Stale(const GeoComSentence& request) {
  return ReplyBytes(static_cast<unsigned short>(request.GetSequenceID() + 7),
                    GRC_OK, ",99");
}

CallOptions ShortWait() {
  CallOptions options;
  options.timeout = 300ms;
  return options;
}

// Each row: what the instrument does with every request, and what the host
// must make of it. The virtual instrument's fault tests cover late, split,
// duplicated, missing and corrupt replies.
struct PeerCase {
  const char* name;
  ScriptedPeer::Script script;
  std::optional<ErrorKind> error;  // nullopt: the call succeeds
};

class SessionOutcome : public testing::TestWithParam<PeerCase> {};

TEST_P(SessionOutcome, IsWhatTheHostSees) {
  ScriptedPeer peer(GetParam().script);
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Result<Reply> reply = session.TryCall(kInstrumentName, "", ShortWait());
  if (GetParam().error) {
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().kind, *GetParam().error) << reply.error().message;
  } else {
    ASSERT_TRUE(reply) << reply.error().message;
    std::string name;
    EXPECT_TRUE(reply->sentence.unPack(name));
    EXPECT_EQ(name, "TS");
  }
}

const PeerCase kPeerCases[] = {
    {"NoiseAndEchoBetweenReplies",
     [](const GeoComSentence& r) {
       return Steps{{0ms, "\x01\xff junk\r\n%R1Q,5004,3:\r\n"},
                    {0ms, ScriptedPeer::ReplyTo(r, 0, "\"TS\"")}};
     },
     std::nullopt},
    {"CrAloneEndsTheReply",
     [](const GeoComSentence& r) {
       std::string reply = ScriptedPeer::ReplyTo(r, 0, "\"TS\"");
       reply.pop_back();
       return Steps{{0ms, reply}};
     },
     std::nullopt},
    {"ARefusedReplyToAnotherCallIsStale",
     [](const GeoComSentence& r) {
       return Steps{
           {0ms, "%R1P,1," + std::to_string(r.GetSequenceID() + 1) + ":0\r\n"},
           {5ms, ScriptedPeer::ReplyTo(r, 0, "\"TS\"")}};
     },
     std::nullopt},
    {"OnlyStaleReplies",
     [](const GeoComSentence& r) {
       return Steps{{0ms, Stale(r)}};
     },
     ErrorKind::kTimeout},
    {"NonZeroReturnCode",
     [](const GeoComSentence& r) {
       return Steps{{0ms, ScriptedPeer::ReplyTo(r, 5)}};
     },
     ErrorKind::kReturnCode},
};

INSTANTIATE_TEST_SUITE_P(Peers, SessionOutcome, testing::ValuesIn(kPeerCases),
                         [](const auto& row) { return row.param.name; });

// An instrument reports a communication error as a reply with a leading
// code other than 0: it ends the call that carries its sequence number.
TEST(Session, AnInvalidReplyEndsTheCallAtOnce) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{
        {0ms, "%R1P,2," + std::to_string(r.GetSequenceID()) + ":0\r\n"}};
  });
  BlockingSession session = BlockingSession::Connect(peer.Address());
  CallOptions longWait;
  longWait.timeout = 20s;
  const auto start = Clock::now();
  const Result<Reply> reply = session.TryCall(kNull, "", longWait);
  ASSERT_FALSE(reply);
  EXPECT_LT(Clock::now() - start, 10s);
  EXPECT_EQ(reply.error().kind, ErrorKind::kInvalidReply);
  EXPECT_NE(reply.error().message.find("%R1P,2,"), std::string::npos);
}

// A flood of bytes must not stretch the wait: the deadline is a timer, not a
// quiet line.
TEST(Session, AFloodDoesNotStretchTheDeadline) {
  for (const std::string& flood : {std::string("\r\n"), std::string("%R1Q")}) {
    ScriptedPeer peer([&flood](const GeoComSentence&) {
      Steps steps;
      for (int i = 0; i < 3000; ++i)
        steps.push_back({1ms, std::string(512, 0) + flood});
      return steps;
    });
    BlockingSession session = BlockingSession::Connect(peer.Address());
    const auto start = Clock::now();
    const Result<Reply> reply = session.TryCall(kNull, "", ShortWait());
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().kind, ErrorKind::kTimeout);
    // The flood lasts three seconds or more; the call ends long before.
    EXPECT_LT(Clock::now() - start, 2s) << flood;
  }
}

TEST(Session, RetriesATimedOutCallWithANewSequenceNumber) {
  int calls = 0;
  ScriptedPeer peer([&calls](const GeoComSentence& r) {
    return ++calls == 1 ? Steps{} : Steps{{0ms, ScriptedPeer::ReplyTo(r)}};
  });
  SessionOptions options;
  options.retries = 1;
  BlockingSession session = BlockingSession::Connect(peer.Address(), options);
  EXPECT_TRUE(session.TryCall(kNull, "", ShortWait()));
  EXPECT_EQ(peer.RequestsSeen(), 2);
}

// A request longer than any instrument takes is refused before anything is
// sent; requests to a peer that stopped reading each end at their bound.
TEST(Session, APeerThatStopsReadingTimesOut) {
  ScriptedPeer peer(nullptr, false);
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Result<Reply> huge =
      session.TryCall(kNull, std::string(kMaxParameterBytes + 1, '1'));
  ASSERT_FALSE(huge);
  EXPECT_EQ(huge.error().kind, ErrorKind::kInvalidArgument);
  CallOptions brief;
  brief.timeout = 30ms;
  for (int i = 0; i < 60; ++i) {
    const auto start = Clock::now();
    const Result<Reply> reply =
        session.TryCall(kNull, std::string(kMaxParameterBytes, '1'), brief);
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().kind, ErrorKind::kTimeout);
    EXPECT_LT(Clock::now() - start, 1s);
  }
}

TEST(Session, RefusesParametersThatWouldEndTheSentenceEarly) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(r)}};
  });
  BlockingSession session = BlockingSession::Connect(peer.Address());
  EXPECT_EQ(session.TryCall(kNull, "1\r2").error().kind,
            ErrorKind::kInvalidArgument);
  EXPECT_EQ(peer.RequestsSeen(), 0);
}

TEST(Session, TheSequenceStartsWhereAskedModuloItsRange) {
  const std::pair<unsigned short, unsigned short> starts[] = {
      {0, 0}, {1, 1}, {7, 7}, {32767, 32767}, {32768, 0}, {40000, 7232}};
  for (const auto& [start, first] : starts) {
    StartSequenceAt(start);
    const Result<GeoComSentence> one = ComposeRequest(kNull, "");
    const Result<GeoComSentence> two = ComposeRequest(kNull, "");
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->GetSequenceID(), first) << start;
    EXPECT_EQ(two->GetSequenceID(), (first + 1) % kSequenceNumbers) << start;
  }
}

// A session composes the next request of a call that repeats while it
// waits for the reply; what reaches the instrument is still each call's own
// request. Each row: calls made one after another (restart: the counter
// moved to 100 first) and the numbers their requests carry.
// The requests a peer read, in the form they are written; each answered
// after the delay.
class SeenRequests {
 public:
  ScriptedPeer::Script Answering(std::chrono::milliseconds delay) {
    return [this, delay](const GeoComSentence& r) {
      const std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back("%R1Q," + std::to_string(r.GetGeocomID()) + "," +
                      std::to_string(r.GetSequenceID()) + ":" +
                      r.GetStringCommand());
      return Steps{{delay, ScriptedPeer::ReplyTo(r)}};
    };
  }
  std::vector<std::string> Seen() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> seen_;
};

struct NumberingCase {
  const char* name;
  struct Call {
    unsigned short procedure;
    const char* parameters;
    bool restart = false;
  };
  std::vector<Call> calls;
  std::vector<unsigned short> numbers;
};

TEST(Session, EachRequestIsItsCallsOwnWithTheNumbersItTakes) {
  const NumberingCase rows[] = {
      {"a polling loop numbers on",
       {{kAngles, "1"}, {kAngles, "1"}, {kAngles, "1"}, {kAngles, "1"}},
       {0, 1, 2, 3}},
      {"calls that change each time leave no gap",
       {{kAngles, "1"}, {kPower, ""}, {kAngles, "1"}, {kPower, ""}},
       {0, 1, 2, 3}},
      {"a loop that turns to another procedure leaves one gap",
       {{kAngles, "1"}, {kAngles, "1"}, {kPower, ""}, {kPower, ""}},
       {0, 1, 3, 4}},
      {"the first call guesses nothing",
       {{kNull, ""}, {kPower, ""}, {kPower, ""}},
       {0, 1, 2}},
      {"another procedure with the same parameters is another call",
       {{kPower, ""}, {kPower, ""}, {kInstrumentName, ""}},
       {0, 1, 3}},
      {"other parameters make another call",
       {{kAngles, "1"}, {kAngles, "1"}, {kAngles, "0"}},
       {0, 1, 3}},
      {"a moved counter holds for the next request",
       {{kAngles, "1"}, {kAngles, "1"}, {kAngles, "1", true}},
       {0, 1, 100}},
  };
  for (const NumberingCase& row : rows) {
    SeenRequests requests;
    ScriptedPeer peer(requests.Answering(0ms));
    BlockingSession session = BlockingSession::Connect(peer.Address());
    StartSequenceAt(0);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < row.calls.size(); ++i) {
      const NumberingCase::Call& call = row.calls[i];
      if (call.restart) StartSequenceAt(100);
      ASSERT_TRUE(session.TryCall(call.procedure, call.parameters)) << row.name;
      expected.push_back("%R1Q," + std::to_string(call.procedure) + "," +
                         std::to_string(row.numbers[i]) + ":" +
                         call.parameters);
    }
    EXPECT_EQ(requests.Seen(), expected) << row.name;
  }
}

// Calls queued behind each other go out in order, numbered one after
// another, each with its own procedure and parameters.
TEST(Session, QueuedCallsKeepTheirOwnRequestsAndNumbers) {
  SeenRequests requests;
  ScriptedPeer peer(requests.Answering(20ms));
  boost::asio::io_context io;
  Session session = Session::Over(peer.Connect(io), "peer");
  StartSequenceAt(0);
  auto first = session.AsyncCall(kAngles, "1", boost::asio::use_future);
  auto second = session.AsyncCall(kAngles, "0", boost::asio::use_future);
  auto third = session.AsyncCall(kPower, "", boost::asio::use_future);
  std::thread runner([&io] { io.run_for(5s); });
  EXPECT_EQ(first.get().sequence, 0);
  EXPECT_EQ(second.get().sequence, 1);
  EXPECT_EQ(third.get().sequence, 2);
  io.stop();
  runner.join();
  EXPECT_EQ(requests.Seen(),
            (std::vector<std::string>{"%R1Q,2107,0:1", "%R1Q,2107,1:0",
                                      "%R1Q,5039,2:"}));
}

TEST(Session, ConnectingNamesTheAddressAndBadPortsAreRefused) {
  boost::asio::io_context io;
  for (const char* address : {"127.0.0.1:99999", "127.0.0.1:0", "127.0.0.1:x",
                              "::1:4000", "nohost"}) {
    try {
      BlockingSession::Connect(address);
      ADD_FAILURE() << address;
    } catch (const SessionError& error) {
      EXPECT_EQ(error.error().kind, ErrorKind::kInvalidArgument) << address;
      EXPECT_NE(std::string(error.what()).find(address), std::string::npos);
    }
  }
  // A port the system just handed out and nobody listens on any more.
  boost::asio::ip::tcp::acceptor probe(
      io, {boost::asio::ip::address_v4::loopback(), 0});
  const std::string closed =
      "127.0.0.1:" + std::to_string(probe.local_endpoint().port());
  probe.close();
  try {
    BlockingSession::Connect(closed);
    ADD_FAILURE();
  } catch (const SessionError& error) {
    EXPECT_EQ(error.error().kind, ErrorKind::kConnect);
    EXPECT_NE(std::string(error.what()).find(closed), std::string::npos);
  }
}

// Each thread's calls carry its own values; the peer echoes them back, so a
// result paired with another call's reply shows as a wrong value. The
// threads call each of the blocking session's ways in turn: made and waited
// for at once, started and waited for, and asynchronously.
TEST(Session, ThreadsSharingASessionGetTheirOwnReplies) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(r, 0, r.GetStringCommand())}};
  });
  BlockingSession session = BlockingSession::Connect(peer.Address());
  constexpr int kThreads = 8;
  constexpr int kCalls = 1000;
  std::atomic<int> mispaired{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        const std::string mine = std::to_string(t * kCalls + i);
        error_code error;
        Reply reply;
        switch ((t + i) % 3) {
          case 0:
            reply = session.Call(kInstrumentNumber, mine, {}, error);
            break;
          case 1:
            reply = session.Start(kInstrumentNumber, mine).Take(error);
            break;
          default: {
            std::promise<std::pair<error_code, Reply>> ended;
            session.AsyncCall(kInstrumentNumber, mine,
                              [&ended](error_code outcome, Reply value) {
                                ended.set_value({outcome, std::move(value)});
                              });
            std::tie(error, reply) = ended.get_future().get();
          }
        }
        int echoed = -1;
        if (error || !reply.sentence.unPack(echoed) ||
            std::to_string(echoed) != mine) {
          ++mispaired;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mispaired.load(), 0);
}

// What a session counts of what came along with a reply, or instead of it:
// each count follows the stream's as soon as it moves, also when nothing
// else does (a run longer than the framing keeps, and no CR ever).
TEST(Session, CountsWhatCameAlongWithTheReply) {
  const std::string overLong(SentenceStream::kDefaultMaxPending + 100, 'x');
  const struct {
    const char* name;
    std::function<Steps(const GeoComSentence&)> answer;
    // calls (always 1), timeouts, stale replies, echoes, noise bytes,
    // unrecognised, dropped bytes
    SessionCounts counts;
  } kRows[] = {
      {"noise before the reply",
       [](const GeoComSentence& r) {
         return Steps{{0ms, "xyz" + ScriptedPeer::ReplyTo(r)}};
       },
       {1, 0, 0, 0, 3, 0, 0}},
      {"a line the core refuses, then the reply",
       [](const GeoComSentence& r) {
         return Steps{{0ms, "%R1P,9,x\r\n" + ScriptedPeer::ReplyTo(r)}};
       },
       {1, 0, 0, 0, 0, 1, 0}},
      {"a stale reply and an echo, then the reply",
       [](const GeoComSentence& r) {
         return Steps{{0ms, ReplyBytes(static_cast<unsigned short>(
                                           r.GetSequenceID() + 1),
                                       GRC_OK, "") +
                                "%R1Q,5004,3:\r\n" + ScriptedPeer::ReplyTo(r)}};
       },
       {1, 0, 1, 1, 0, 0, 0}},
      {"a run longer than the framing keeps, without its CR",
       [&overLong](const GeoComSentence&) {
         return Steps{{0ms, overLong}};
       },
       {1, 1, 0, 0, 0, 0, 100}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    ScriptedPeer peer(row.answer);
    BlockingSession session = BlockingSession::Connect(peer.Address());
    CallOptions options;
    options.timeout = 300ms;
    session.TryCall(kNull, "", options);
    const SessionCounts counts = session.Counts();
    EXPECT_EQ(counts.calls, row.counts.calls);
    EXPECT_EQ(counts.timeouts, row.counts.timeouts);
    EXPECT_EQ(counts.staleReplies, row.counts.staleReplies);
    EXPECT_EQ(counts.echoes, row.counts.echoes);
    EXPECT_EQ(counts.noiseBytes, row.counts.noiseBytes);
    EXPECT_EQ(counts.unrecognised, row.counts.unrecognised);
    EXPECT_EQ(counts.droppedBytes, row.counts.droppedBytes);
  }
}

TEST(Session, AsyncCallCompletesThroughACompletionToken) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(r, 0, "\"TS\"")}};
  });
  boost::asio::io_context io;
  auto connected = Session::AsyncConnect(io.get_executor(), peer.Address(), {},
                                         boost::asio::use_future);
  std::thread runner([&io] {
    auto work = boost::asio::make_work_guard(io);
    io.run_for(5s);
  });
  Session session = connected.get();
  auto first = session.AsyncCall(kInstrumentName, "", boost::asio::use_future);
  auto second = session.AsyncCall(kNull, "", boost::asio::use_future);
  EXPECT_EQ(first.get().sequence + 1, second.get().sequence);
  io.stop();
  runner.join();
}

TEST(Session, AMovedFromBlockingSessionFailsCallsClearly) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(r, 0, "")}};
  });
  BlockingSession moved = BlockingSession::Connect(peer.Address());
  BlockingSession taken = std::move(moved);
  const Result<Reply> blocking = moved.TryCall(kNull, "");
  ASSERT_FALSE(blocking);
  EXPECT_EQ(blocking.error().kind, ErrorKind::kClosed);
  std::promise<std::pair<boost::system::error_code, std::string>> ended;
  moved.AsyncCall(kNull, "",
                  [&ended](boost::system::error_code error, Reply reply) {
                    ended.set_value({error, reply.diagnostics});
                  });
  const auto [error, diagnostics] = ended.get_future().get();
  EXPECT_EQ(error, ErrorKind::kClosed);
  EXPECT_NE(diagnostics.find("moved from"), std::string::npos) << diagnostics;
  EXPECT_TRUE(taken.TryCall(kNull, ""));
}

// A serial line: the session opens the pty's terminal side as its device.
TEST(Session, TalksOverAPseudoTerminalAndDiscardsWhatCameBefore) {
  int master = -1;
  int terminal = -1;
  char path[256] = {};
  ASSERT_EQ(openpty(&master, &terminal, path, nullptr, nullptr), 0);
  BlockingSession session = BlockingSession::OpenSerial(path, 115200);
  close(terminal);
  // A reply left on the line before the request must not answer it.
  const std::string early = "%R1P,0,0:0,\"OLD\"\r\n";
  ASSERT_EQ(write(master, early.data(), early.size()),
            static_cast<ssize_t>(early.size()));
  std::thread instrument([master] {
    boost::asio::io_context peerIo;
    boost::asio::posix::stream_descriptor line(peerIo, master);
    SentenceStream stream;
    std::array<char, 256> chunk{};
    Frame frame;
    while (!stream.Next(frame) || frame.kind != FrameKind::kRequest) {
      boost::system::error_code error;
      const std::size_t n = line.read_some(boost::asio::buffer(chunk), error);
      if (error) return;
      stream.Append(std::string_view(chunk.data(), n));
    }
    boost::asio::write(line, boost::asio::buffer(ScriptedPeer::ReplyTo(
                                 frame.sentence, 0, "\"NEW\"")));
    // The line stays open until the host has read the reply.
    line.release();
  });
  const Result<std::string> name = GetInstrumentName(session);
  instrument.join();
  close(master);
  ASSERT_TRUE(name) << name.error().message;
  EXPECT_EQ(*name, "NEW");
}

}  // namespace
