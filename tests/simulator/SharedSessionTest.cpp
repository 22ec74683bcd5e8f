// Threads sharing one session, blocking and asynchronous, against a virtual
// instrument that applies every fault: a call may fail, but a success always
// carries its own request's answer.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>
#include <gtest/gtest.h>

#include "EchoCalls.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

namespace {

using namespace Core::GEOCOM;
using std::chrono::milliseconds;

constexpr int kThreads = 8;
constexpr int kCallsPerThread = 1000;

struct Tally {
  std::atomic<int> succeeded{0};
  std::atomic<int> mispaired{0};
};

// The session the threads share; the instrument's disconnect fault ends a
// connection, and the first thread to see that connects again.
class SharedLine {
 public:
  explicit SharedLine(std::string address) : address_(std::move(address)) {
    Reconnect(nullptr);
  }

  std::shared_ptr<host::BlockingSession> Session() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return session_;
  }

  void Reconnect(const host::BlockingSession* closed) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (session_.get() != closed) return;
    session_ = std::make_shared<host::BlockingSession>(
        host::BlockingSession::Connect(address_));
  }

 private:
  std::string address_;
  std::mutex mutex_;
  std::shared_ptr<host::BlockingSession> session_;
};

TEST(SharedSession, BlockingCallsUnderEveryFaultNeverMispair) {
  const milliseconds timeout(20);
  simulator::LoopbackInstrument instrument(echo::EveryFault(timeout, 17));
  SharedLine line(instrument.Address());
  host::CallOptions call;
  call.timeout = timeout;
  Tally tally;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        const int mine = t * kCallsPerThread + i;
        const auto session = line.Session();
        const host::Result<host::Reply> reply =
            session->TryCall(host::kAuthenticate, echo::Parameters(mine), call);
        if (!reply) {
          if (reply.error().kind == host::ErrorKind::kClosed) {
            line.Reconnect(session.get());
          }
          continue;
        }
        ++tally.succeeded;
        if (!echo::Answers(*reply, mine)) ++tally.mispaired;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(tally.mispaired.load(), 0);
  EXPECT_GT(tally.succeeded.load(), kThreads * kCallsPerThread / 2);
}

TEST(SharedSession, AsynchronousCallsUnderEveryFaultNeverMispair) {
  const milliseconds timeout(20);
  simulator::LoopbackInstrument instrument(echo::EveryFault(timeout, 17));
  SharedLine line(instrument.Address());
  host::CallOptions call;
  call.timeout = timeout;
  Tally tally;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread keeps a window of calls in flight at once, and
      // connects again after a window that met a closed connection.
      for (int i = 0; i < kCallsPerThread; i += 16) {
        const auto session = line.Session();
        std::vector<std::future<bool>> closed;
        for (int k = i; k < std::min(i + 16, kCallsPerThread); ++k) {
          const int mine = t * kCallsPerThread + k;
          auto done = std::make_shared<std::promise<bool>>();
          closed.push_back(done->get_future());
          session->AsyncCall(
              host::kAuthenticate, echo::Parameters(mine),
              [&tally, mine, done](boost::system::error_code error,
                                   host::Reply reply) {
                if (!error) {
                  ++tally.succeeded;
                  if (!echo::Answers(reply, mine)) ++tally.mispaired;
                }
                done->set_value(error == host::ErrorKind::kClosed);
              },
              call);
        }
        bool reconnect = false;
        for (auto& future : closed) reconnect = future.get() || reconnect;
        if (reconnect) line.Reconnect(session.get());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(tally.mispaired.load(), 0);
  // A disconnect ends every call queued on its connection at once.
  EXPECT_GT(tally.succeeded.load(), kThreads * kCallsPerThread / 20);
}

}  // namespace
