// The session's calls with the completion tokens Asio programs compose:
// coroutines, as_tuple, the default (deferred) token and parallel groups.
// Built as C++20 for the coroutines; the libraries stay C++17.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <gtest/gtest.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/deferred.hpp>
#include <boost/asio/experimental/parallel_group.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>

#include "../ScriptedPeer.h"

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using boost::system::error_code;
using Steps = std::vector<ScriptedPeer::Step>;
namespace asio = boost::asio;

namespace {

// The null procedure is answered late, every other one at once.
ScriptedPeer::Script NullIsSlow() {
  return [](const GeoComSentence& r) {
    return Steps{{r.GetGeocomID() == kNull ? 300ms : 0ms,
                  ScriptedPeer::ReplyTo(r, 0, "\"TS\"")}};
  };
}

CallOptions Patient() {
  CallOptions options;
  options.timeout = 2s;
  return options;
}

Session Connect(asio::io_context& io, const std::string& address) {
  auto connected =
      Session::AsyncConnect(io.get_executor(), address, {}, asio::use_future);
  io.run();
  io.restart();
  return connected.get();
}

TEST(Coroutines, CallsAwaitWithEveryToken) {
  ScriptedPeer peer([](const GeoComSentence& r) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(
                           r, r.GetGeocomID() == kNull ? 0 : 5, "\"TS\"")}};
  });
  asio::io_context io;
  Session session = Connect(io, peer.Address());
  auto done = asio::co_spawn(
      io,
      [&]() -> asio::awaitable<std::vector<error_code>> {
        std::vector<error_code> outcomes;
        // use_awaitable throws a failure; as_tuple hands it over instead.
        const Reply reply =
            co_await session.AsyncCall(kNull, "", asio::use_awaitable);
        outcomes.push_back(reply.returnCode == 0 ? error_code()
                                                 : ErrorKind::kReturnCode);
        auto [error, refused] = co_await session.AsyncCall(
            kInstrumentName, "", asio::as_tuple(asio::use_awaitable));
        outcomes.push_back(error);
        EXPECT_EQ(refused.returnCode, 5);
        try {
          co_await session.AsyncCall(kInstrumentName, "", asio::use_awaitable);
        } catch (const boost::system::system_error& failure) {
          outcomes.push_back(failure.code());
        }
        // Without a token the call is a deferred operation to await.
        const Reply deferred = co_await session.AsyncCall(kNull, "");
        outcomes.push_back(deferred.returnCode == 0 ? error_code()
                                                    : ErrorKind::kReturnCode);
        co_return outcomes;
      },
      asio::use_future);
  io.run();
  const std::vector<error_code> outcomes = done.get();
  ASSERT_EQ(outcomes.size(), 4u);
  EXPECT_FALSE(outcomes[0]);
  EXPECT_EQ(outcomes[1], ErrorKind::kReturnCode);
  EXPECT_EQ(outcomes[2], ErrorKind::kReturnCode);
  EXPECT_FALSE(outcomes[3]);
}

TEST(ParallelGroups, WaitingForAllGivesEveryReply) {
  ScriptedPeer peer(NullIsSlow());
  asio::io_context io;
  Session session = Connect(io, peer.Address());
  std::vector<error_code> errors;
  asio::experimental::make_parallel_group(
      session.AsyncCall(kInstrumentName, "", asio::deferred),
      session.AsyncCall(kNull, "", asio::deferred, Patient()))
      .async_wait(asio::experimental::wait_for_all(),
                  [&](std::array<std::size_t, 2>, error_code first, Reply,
                      error_code second, Reply) {
                    errors = {first, second};
                  });
  io.run();
  EXPECT_EQ(errors, (std::vector<error_code>{{}, {}}));
  EXPECT_EQ(peer.RequestsSeen(), 2);
}

// A timer raced against a call: the group cancels the call with terminal
// when the timer ends first. The call is on the wire, and terminal is the
// type that may end it there.
TEST(ParallelGroups, WaitingForOneCancelsTheOther) {
  ScriptedPeer peer(NullIsSlow());
  asio::io_context io;
  Session session = Connect(io, peer.Address());
  asio::steady_timer timer(io, 50ms);
  std::array<std::size_t, 2> order{};
  error_code call;
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration took{};
  asio::experimental::make_parallel_group(
      session.AsyncCall(kNull, "", asio::deferred, Patient()),
      timer.async_wait(asio::deferred))
      .async_wait(asio::experimental::wait_for_one(),
                  [&](std::array<std::size_t, 2> finished, error_code first,
                      Reply, error_code) {
                    order = finished;
                    call = first;
                    took = std::chrono::steady_clock::now() - start;
                  });
  io.run();
  EXPECT_EQ(order[0], 1u);
  EXPECT_EQ(call, asio::error::operation_aborted);
  EXPECT_LT(took, 250ms);
}

}  // namespace
