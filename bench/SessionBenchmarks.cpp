// Calls per second through a blocking session, and through asynchronous
// calls chained on one io_context (each completion starts the next), over
// loopback TCP, set against a ping-pong of the same request and reply bytes
// over a plain blocking socket, against the same plain peer, in the same
// run.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Session.h>

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

namespace asio = boost::asio;
using namespace Core::GEOCOM;

// A peer with nothing but a socket: it answers each request line with a
// reply carrying the request's sequence number, so that a session pairs it.
class PlainPeer {
 public:
  PlainPeer() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~PlainPeer() { thread_.join(); }

  std::string Address() const {
    return "127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port());
  }

 private:
  void Serve() {
    asio::ip::tcp::socket socket = acceptor_.accept();
    socket.set_option(asio::ip::tcp::no_delay(true));
    std::string received;
    boost::system::error_code error;
    for (;;) {
      const std::size_t line =
          asio::read_until(socket, asio::dynamic_buffer(received), '\n', error);
      if (error) return;
      // "%R1Q,<procedure>,<sequence>:..." gives "%R1P,0,<sequence>:0".
      const std::size_t comma = received.find(',', 5);
      const std::size_t colon = received.find(':', comma);
      const std::string reply =
          "%R1P,0," + received.substr(comma + 1, colon - comma - 1) + ":0\r\n";
      received.erase(0, line);
      asio::write(socket, asio::buffer(reply), error);
    }
  }

  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::thread thread_;
};

void Session_NullCall_Library(benchmark::State& state) {
  PlainPeer peer;
  host::BlockingSession session =
      host::BlockingSession::Connect(peer.Address());
  for (auto _ : state) {
    const host::Result<host::Reply> reply = session.TryCall(host::kNull);
    if (!reply) state.SkipWithError(reply.error().message.c_str());
  }
  state.SetItemsProcessed(state.iterations());
}

constexpr int kChain = 1000;

void Session_NullCall_AsyncChained(benchmark::State& state) {
  PlainPeer peer;
  asio::io_context io(1);
  host::Session session;
  host::Session::AsyncConnect(
      io.get_executor(), peer.Address(), {},
      [&session](boost::system::error_code, host::Session connected) {
        session = std::move(connected);
      });
  io.run();
  io.restart();
  int left = 0;
  std::function<void(boost::system::error_code, host::Reply)> next =
      [&](boost::system::error_code error, host::Reply) {
        if (error) state.SkipWithError(error.message().c_str());
        if (!error && --left > 0) session.AsyncCall(host::kNull, "", next);
      };
  while (state.KeepRunningBatch(kChain)) {
    left = kChain;
    session.AsyncCall(host::kNull, "", next);
    io.run();
    io.restart();
  }
  session.Close();
  state.SetItemsProcessed(state.iterations());
}

// The same bytes each way with a plain blocking socket against the same
// peer: what the machine's loopback allows.
void Session_NullCall_Baseline(benchmark::State& state) {
  PlainPeer peer;
  const std::string request = "%R1Q,0,1:\r\n";
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  const std::string address = peer.Address();
  socket.connect({asio::ip::address_v4::loopback(),
                  static_cast<unsigned short>(
                      std::stoi(address.substr(address.rfind(':') + 1)))});
  socket.set_option(asio::ip::tcp::no_delay(true));
  std::string received;
  for (auto _ : state) {
    asio::write(socket, asio::buffer(request));
    const std::size_t line =
        asio::read_until(socket, asio::dynamic_buffer(received), '\n');
    received.erase(0, line);
  }
  socket.close();
  state.SetItemsProcessed(state.iterations());
}

// The three side by side in short turns (a few calls of each in every
// iteration), so that a load that comes and goes meets each alike: the
// counters are the baseline's time over each one's for the same number of
// calls.
void Session_NullCall_Turns(benchmark::State& state) {
  constexpr int kTurn = 16;
  using Clock = std::chrono::steady_clock;
  PlainPeer rawPeer;
  PlainPeer blockingPeer;
  PlainPeer chainedPeer;
  const std::string request = "%R1Q,0,1:\r\n";
  asio::io_context io(1);
  asio::ip::tcp::socket socket(io);
  const std::string address = rawPeer.Address();
  socket.connect({asio::ip::address_v4::loopback(),
                  static_cast<unsigned short>(
                      std::stoi(address.substr(address.rfind(':') + 1)))});
  socket.set_option(asio::ip::tcp::no_delay(true));
  std::string received;
  host::BlockingSession blocking =
      host::BlockingSession::Connect(blockingPeer.Address());
  host::Session chained;
  host::Session::AsyncConnect(
      io.get_executor(), chainedPeer.Address(), {},
      [&chained](boost::system::error_code, host::Session connected) {
        chained = std::move(connected);
      });
  io.run();
  io.restart();
  int left = 0;
  std::function<void(boost::system::error_code, host::Reply)> next =
      [&](boost::system::error_code error, host::Reply) {
        if (error) state.SkipWithError(error.message().c_str());
        if (!error && --left > 0) chained.AsyncCall(host::kNull, "", next);
      };
  Clock::duration raw{};
  Clock::duration library{};
  Clock::duration chain{};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (int call = 0; call < kTurn; ++call) {
      asio::write(socket, asio::buffer(request));
      const std::size_t line =
          asio::read_until(socket, asio::dynamic_buffer(received), '\n');
      received.erase(0, line);
    }
    const Clock::time_point rawDone = Clock::now();
    for (int call = 0; call < kTurn; ++call) {
      if (!blocking.TryCall(host::kNull)) state.SkipWithError("call failed");
    }
    const Clock::time_point blockingDone = Clock::now();
    left = kTurn;
    chained.AsyncCall(host::kNull, "", next);
    io.run();
    io.restart();
    const Clock::time_point chainedDone = Clock::now();
    raw += rawDone - start;
    library += blockingDone - rawDone;
    chain += chainedDone - blockingDone;
  }
  socket.close();
  chained.Close();
  state.counters["blocking_share"] =
      std::chrono::duration<double>(raw).count() /
      std::chrono::duration<double>(library).count();
  state.counters["chained_share"] =
      std::chrono::duration<double>(raw).count() /
      std::chrono::duration<double>(chain).count();
  state.SetItemsProcessed(state.iterations() * 3 * kTurn);
}

}  // namespace

BENCHMARK(Session_NullCall_Turns)->UseRealTime();
BENCHMARK(Session_NullCall_Library)->UseRealTime();
BENCHMARK(Session_NullCall_AsyncChained)->UseRealTime();
BENCHMARK(Session_NullCall_Baseline)->UseRealTime();
