#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using Steps = std::vector<ScriptedPeer::Step>;

namespace {

// An instrument that answers every request with the same reply parameters
// and remembers the parameter text of the last request it received.
class RecordingPeer {
 public:
  explicit RecordingPeer(std::string replyParameters = "",
                         unsigned short returnCode = 0)
      : peer_([this, replyParameters, returnCode](const GeoComSentence& r) {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            lastRequest_ = SentenceBytes(r);
          }
          return Steps{
              {0ms, ScriptedPeer::ReplyTo(r, returnCode, replyParameters)}};
        }) {}

  std::string Address() const { return peer_.Address(); }
  std::string LastRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastRequest_;
  }
  int RequestsSeen() const { return peer_.RequestsSeen(); }

 private:
  std::mutex mutex_;
  std::string lastRequest_;
  ScriptedPeer peer_;
};

struct DefaultCase {
  const char* procedure;
  Fields required;         // every argument without a default, and no other
  const char* parameters;  // the request's parameter text on the wire
};

// The defaults a host relies on when it leaves an argument out, as printed
// by `geocom call --help` and the Python signatures. The round trips of the
// catalogue feed a default back into itself and cannot see one change.
const DefaultCase kDefaults[] = {
    {"angles", {}, "1"},
    {"simple-measurement", {}, "1000,1"},
    {"motor-stop", {}, "0"},
    {"position", {{"hz", 1.5}, {"v", 0.25}}, "1.500000,0.250000,0,0,0"},
    {"fast-position",
     {{"hz", 1.5}, {"v", 0.25}, {"accuracy", 0.125}},
     "1.500000,0.250000,0.125000,0"},
    {"file-list-setup", {}, "0,0,\"\""},
    {"file-list", {}, "0"},
};

TEST(NamedCall, DocumentedDefaultsReachTheWire) {
  RecordingPeer peer;
  BlockingSession session = BlockingSession::Connect(peer.Address());
  std::set<std::string> covered;
  for (const DefaultCase& row : kDefaults) {
    SCOPED_TRACE(row.procedure);
    covered.insert(row.procedure);
    // The empty reply need not decode: only the request matters here.
    (void)CallNamed(session, row.procedure, row.required);
    EXPECT_EQ(peer.LastRequest(), row.parameters);
  }
  for (const Procedure& procedure : Procedures()) {
    for (const ValueSpec& argument : procedure.arguments) {
      if (!argument.fallback) continue;
      EXPECT_TRUE(covered.count(std::string(procedure.name)))
          << procedure.name << " leaves out " << argument.name
          << " with no row here";
    }
  }
  EXPECT_EQ(peer.RequestsSeen(), static_cast<int>(std::size(kDefaults)));
}

// Each way into a named call, reduced to the Error it ends with: its kind,
// its message and the reply's bytes.
struct Entry {
  const char* name;
  std::function<Error(const std::string& address)> call;
};

Error Succeeded() { return Error(ErrorKind::kIo, "the call succeeded"); }

const Entry kEntries[] = {
    {"CallNamed",
     [](const std::string& address) {
       BlockingSession session = BlockingSession::Connect(address);
       return CallNamed(session, "instrument-number", {}).error();
     }},
    {"BlockingSessionCallByName",
     [](const std::string& address) {
       BlockingSession session = BlockingSession::Connect(address);
       try {
         session.Call("instrument-number", {});
       } catch (const SessionError& failure) {
         return failure.error();
       }
       return Succeeded();
     }},
    {"TypedCall",
     [](const std::string& address) {
       BlockingSession session = BlockingSession::Connect(address);
       return GetInstrumentNumber(session).error();
     }},
    {"AsyncCallNamed",
     [](const std::string& address) {
       boost::asio::io_context io;
       std::future<Session> connecting = Session::AsyncConnect(
           io.get_executor(), address, {}, boost::asio::use_future);
       io.run();
       Session session = connecting.get();
       Error error = Succeeded();
       AsyncCallNamed(
           session, "instrument-number", {},
           [&error](boost::system::error_code code, NamedReply named) {
             if (!code) return;
             error = Error(KindOf(code), named.reply.diagnostics);
             error.bytes = named.reply.bytes;
           });
       io.restart();
       io.run();
       return error;
     }},
};

struct BadReply {
  const char* name;
  std::string parameters;
  unsigned short returnCode;
  ErrorKind kind;
  const char* named;  // what the message must name
};

const BadReply kBadReplies[] = {
    {"NotWhollyAnInteger", "12abc", 0, ErrorKind::kInvalidReply, "12abc"},
    {"NoValue", "", 0, ErrorKind::kInvalidReply, "instrument-number"},
    {"ReturnCode", "", 5, ErrorKind::kReturnCode, "5"},
};

class EveryEntry : public testing::TestWithParam<std::tuple<Entry, BadReply>> {
};

// Every way in fails alike, and a failure that came with a reply carries
// the reply's bytes as they were received.
TEST_P(EveryEntry, FailsAlikeCarryingTheReplyBytes) {
  const auto& [entry, bad] = GetParam();
  std::mutex mutex;
  std::string received;
  ScriptedPeer peer([&](const GeoComSentence& r) {
    std::lock_guard<std::mutex> lock(mutex);
    received = ScriptedPeer::ReplyTo(r, bad.returnCode, bad.parameters);
    return Steps{{0ms, received}};
  });
  const Error error = entry.call(peer.Address());
  EXPECT_EQ(error.kind, bad.kind) << error.message;
  EXPECT_NE(error.message.find(bad.named), std::string::npos) << error.message;
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(error.bytes, received);
}

INSTANTIATE_TEST_SUITE_P(NamedCalls, EveryEntry,
                         testing::Combine(testing::ValuesIn(kEntries),
                                          testing::ValuesIn(kBadReplies)),
                         [](const auto& row) {
                           return std::string(std::get<0>(row.param).name) +
                                  "_" + std::get<1>(row.param).name;
                         });

// An argument that must not reach the wire, or a name the catalogue does not
// know, fails every way in before anything is sent.
TEST(NamedCall, RefusesBeforeAnythingIsSent) {
  RecordingPeer peer;
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Result<NamedReply> unknown = CallNamed(session, "no-such-call", {});
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().kind, ErrorKind::kInvalidArgument);
  EXPECT_NE(unknown.error().message.find("no-such-call"), std::string::npos);
  const Result<NamedReply> bad =
      CallNamed(session, "angles", {{"incline_mode", std::int64_t{7}}});
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().kind, ErrorKind::kInvalidArgument);
  EXPECT_EQ(peer.RequestsSeen(), 0);
}

TEST(NamedCall, ASuccessfulReplyIsReadIntoNamedValues) {
  RecordingPeer peer("0.5,1.25");
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Result<NamedReply> angles = CallNamed(session, "angles", {});
  ASSERT_TRUE(angles) << angles.error().message;
  ASSERT_EQ(angles->values.size(), 2u);
  EXPECT_EQ(angles->values[0].name, "hz");
  EXPECT_EQ(std::get<double>(angles->values[0].value), 0.5);
  EXPECT_EQ(std::get<double>(angles->values[1].value), 1.25);
  EXPECT_NE(angles->reply.bytes.find("0.5,1.25"), std::string::npos);
  const Result<TMC_Hz_V_Ang> typed = GetAngles(session);
  ASSERT_TRUE(typed) << typed.error().message;
  EXPECT_EQ(typed->hz, 0.5);
  EXPECT_EQ(typed->v, 1.25);
}

}  // namespace
