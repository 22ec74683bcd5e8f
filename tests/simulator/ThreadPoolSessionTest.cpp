// One session on an io_context run by four threads, against a virtual
// instrument that applies every fault, with calls cancelled at random with
// every type: each call completes exactly once, and a success carries its
// own request's answer. Handlers off the session's strand race its timers
// and queue, and show here as a crash, a hang, a call completed twice or a
// reply paired with the wrong call.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>
#include <gtest/gtest.h>

#include "EchoCalls.h"

#include <atomic>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_future.hpp>
#include <cstdlib>
#include <future>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace Core::GEOCOM;
using boost::asio::cancellation_type;
using boost::system::error_code;
using std::chrono::milliseconds;

// The whole run by default; DAZO_POOL_CALLS scales it down for the slower
// sanitizer builds.
int Calls() {
  const char* calls = std::getenv("DAZO_POOL_CALLS");
  return calls != nullptr ? std::atoi(calls) : 20000;
}

constexpr int kThreads = 4;
constexpr int kWindow = 32;

// One call: its cancellation signal and its handler share a strand, so that
// emitting and completing never overlap, as Asio asks of a signal.
struct Call {
  explicit Call(boost::asio::io_context& io) : strand(make_strand(io)) {}
  boost::asio::strand<boost::asio::io_context::executor_type> strand;
  boost::asio::cancellation_signal cancel;
  std::atomic<int> completions{0};
  std::promise<error_code> done;
};

TEST(ThreadPoolSession, EveryCallCompletesOnceUnderFaultsAndCancellation) {
  const milliseconds timeout(20);
  simulator::LoopbackInstrument instrument(echo::EveryFault(timeout, 23));
  boost::asio::io_context io;
  auto work = boost::asio::make_work_guard(io);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([&io] { io.run(); });
  const auto connect = [&] {
    return host::Session::AsyncConnect(io.get_executor(), instrument.Address(),
                                       {}, boost::asio::use_future)
        .get();
  };
  host::Session session = connect();
  host::CallOptions options;
  options.timeout = timeout;
  std::mt19937 random(7);
  const cancellation_type types[] = {cancellation_type::total,
                                     cancellation_type::partial,
                                     cancellation_type::terminal};
  std::atomic<int> succeeded{0};
  std::atomic<int> aborted{0};
  std::atomic<int> mispaired{0};
  int twice = 0;
  const int calls = Calls();
  for (int first = 0; first < calls; first += kWindow) {
    std::vector<std::unique_ptr<Call>> window;
    for (int mine = first; mine < std::min(first + kWindow, calls); ++mine) {
      auto& call = *window.emplace_back(std::make_unique<Call>(io));
      session.AsyncCall(
          host::kAuthenticate, echo::Parameters(mine),
          boost::asio::bind_cancellation_slot(
              call.cancel.slot(),
              boost::asio::bind_executor(
                  call.strand,
                  [&, mine](error_code error, host::Reply reply) {
                    if (++call.completions > 1) return;
                    if (!error) {
                      ++succeeded;
                      if (!echo::Answers(reply, mine)) ++mispaired;
                    }
                    aborted += error == boost::asio::error::operation_aborted;
                    call.done.set_value(error);
                  })),
          options);
      if (random() % 10 == 0) {
        boost::asio::post(call.strand, [&call, type = types[random() % 3]] {
          call.cancel.emit(type);
        });
      }
    }
    bool closed = false;
    for (auto& call : window) {
      closed =
          call->done.get_future().get() == host::ErrorKind::kClosed || closed;
    }
    // A late second completion would arrive while the next window runs.
    std::this_thread::sleep_for(milliseconds(1));
    for (auto& call : window) twice += call->completions.load() > 1;
    // The instrument's disconnect fault ends the connection.
    if (closed) session = connect();
  }
  session.Close();
  work.reset();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(twice, 0);
  EXPECT_EQ(mispaired.load(), 0);
  // A disconnect ends every call of its window at once.
  EXPECT_GT(succeeded.load(), calls / 5);
  EXPECT_GT(aborted.load(), 0);
}

}  // namespace
