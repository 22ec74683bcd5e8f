// The instrument's round trip with browsers watching: the median and the
// 99th percentile of a call's round trip with none attached, then with
// N WebSocket clients of the live view reading its feed, in the same run.
// Counters *_ratio are attached / none; the goal is at most 1.2.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using namespace Core::GEOCOM;
using Clock = std::chrono::steady_clock;

constexpr int kCalls = 20000;

// A browser: reads the feed as fast as it comes, on a thread of its own.
class Watcher {
 public:
  explicit Watcher(const std::string& address) {
    const std::size_t colon = address.rfind(':');
    asio::ip::tcp::socket socket(io_);
    socket.connect(
        {asio::ip::make_address(address.substr(0, colon)),
         static_cast<unsigned short>(std::stoi(address.substr(colon + 1)))});
    feed_ = std::make_unique<websocket::stream<asio::ip::tcp::socket>>(
        std::move(socket));
    feed_->handshake(address, "/feed");
    thread_ = std::thread([this] {
      boost::beast::flat_buffer buffer;
      boost::system::error_code error;
      while (!error) {
        feed_->read(buffer, error);
        buffer.clear();
        if (!error) ++messages;
      }
    });
  }
  ~Watcher() {
    boost::system::error_code ignored;
    feed_->next_layer().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    thread_.join();
  }
  std::atomic<std::uint64_t> messages{0};

 private:
  asio::io_context io_;
  std::unique_ptr<websocket::stream<asio::ip::tcp::socket>> feed_;
  std::thread thread_;
};

struct Spread {
  double median;
  double p99;
};

Spread RoundTrips(host::BlockingSession& session, benchmark::State& state) {
  std::vector<double> micros;
  micros.reserve(kCalls);
  for (int i = 0; i < kCalls; ++i) {
    const Clock::time_point start = Clock::now();
    const host::Result<host::Reply> reply = session.TryCall(host::kAngles, "1");
    micros.push_back(
        std::chrono::duration<double, std::micro>(Clock::now() - start)
            .count());
    if (!reply) state.SkipWithError(reply.error().message.c_str());
  }
  std::sort(micros.begin(), micros.end());
  return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

void LiveView_RoundTrip(benchmark::State& state) {
  simulator::LoopbackOptions options;
  options.http = "127.0.0.1:0";
  simulator::LoopbackInstrument instrument(options);
  host::BlockingSession session =
      host::BlockingSession::Connect(instrument.Address());
  for (auto _ : state) {
    const Spread none = RoundTrips(session, state);
    std::vector<std::unique_ptr<Watcher>> watchers;
    for (std::int64_t i = 0; i < state.range(0); ++i) {
      watchers.push_back(std::make_unique<Watcher>(instrument.HttpAddress()));
    }
    const Spread watched = RoundTrips(session, state);
    std::uint64_t messages = 0;
    for (const auto& watcher : watchers) messages += watcher->messages;
    state.counters["none_median_us"] = none.median;
    state.counters["none_p99_us"] = none.p99;
    state.counters["watched_median_us"] = watched.median;
    state.counters["watched_p99_us"] = watched.p99;
    state.counters["median_ratio"] = watched.median / none.median;
    state.counters["p99_ratio"] = watched.p99 / none.p99;
    state.counters["feed_messages"] = static_cast<double>(messages);
  }
}

}  // namespace

BENCHMARK(LiveView_RoundTrip)->Arg(10)->Iterations(1)->UseRealTime();
