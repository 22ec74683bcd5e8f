// Asynchronous calls in Asio's conventions against a virtual instrument: a
// coroutine awaiting calls (use_awaitable, as_tuple, the default deferred
// token), a parallel group of calls, and a call raced against a timer, all on
// one io_context run by a pool of threads.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/deferred.hpp>
#include <boost/asio/experimental/parallel_group.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <iostream>

namespace asio = boost::asio;
namespace host = Core::GEOCOM::host;
using namespace std::chrono_literals;

asio::awaitable<void> Survey(host::Session& session) {
  // A failure throws boost::system::system_error.
  const host::Reply name = co_await session.AsyncCall(host::kInstrumentName, "",
                                                      asio::use_awaitable);
  std::cout << "instrument: " << name.bytes;
  // as_tuple hands the error over instead of throwing.
  auto [error, angles] =
      co_await session.AsyncCall(host::FindProcedure("angles")->id, "1",
                                 asio::as_tuple(asio::use_awaitable));
  std::cout << "angles: " << (error ? angles.diagnostics : angles.bytes);
  // Without a token a call is a deferred operation, awaited like any other.
  const host::Reply null = co_await session.AsyncCall(host::kNull, "");
  std::cout << "null call: round trip " << null.roundTrip.count() << " us\n";
}

int main() {
  Core::GEOCOM::simulator::LoopbackInstrument instrument;
  asio::thread_pool pool(4);
  host::Session session =
      host::Session::AsyncConnect(pool.get_executor(), instrument.Address(), {},
                                  asio::use_future)
          .get();

  asio::co_spawn(pool, Survey(session), asio::use_future).get();

  // Two calls at once; the group completes when both have.
  asio::experimental::make_parallel_group(
      session.AsyncCall(host::kInstrumentName, "", asio::deferred),
      session.AsyncCall(host::kNull, "", asio::deferred))
      .async_wait(asio::experimental::wait_for_all(), asio::use_future)
      .get();
  std::cout << "a parallel group of two calls ended\n";

  // A call raced against a timer: whichever ends first cancels the other.
  asio::steady_timer timer(pool, 2s);
  auto [order, callError, reply, timerError] =
      asio::experimental::make_parallel_group(
          session.AsyncCall(host::kNull, "", asio::deferred),
          timer.async_wait(asio::deferred))
          .async_wait(asio::experimental::wait_for_one(), asio::use_future)
          .get();
  std::cout << (order[0] == 0 ? "the call" : "the timer") << " ended first\n";

  session.Close();
  pool.join();
}
