// Calls per second through a blocking session, and through asynchronous
// calls chained on one io_context (each completion starts the next), over
// loopback TCP, set against a ping-pong of the same request and reply bytes
// over a plain blocking socket, against the same plain peer, in the same
// run.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Session.h>

#include <algorithm>
#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

namespace asio = boost::asio;
using namespace Core::GEOCOM;

// A peer with nothing but sockets: it answers each request line with a
// reply carrying the request's sequence number, so that a session pairs it.
// One thread serves all the connections it is made for, so that clients set
// against each other meet the same peer, woken on the same processor.
class PlainPeer {
 public:
  explicit PlainPeer(std::size_t connections = 1)
      : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
    thread_ = std::thread([this, connections] { Serve(connections); });
  }
  ~PlainPeer() { thread_.join(); }

  std::string Address() const {
    return "127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port());
  }
  asio::ip::tcp::endpoint Endpoint() const {
    return acceptor_.local_endpoint();
  }

 private:
  struct Connection {
    asio::ip::tcp::socket socket;
    std::string received;
  };

  void Serve(std::size_t count) {
    std::vector<Connection> connections;
    std::vector<pollfd> watched;
    for (std::size_t made = 0; made < count; ++made) {
      connections.push_back({acceptor_.accept(), {}});
      connections.back().socket.set_option(asio::ip::tcp::no_delay(true));
      watched.push_back({connections.back().socket.native_handle(), POLLIN, 0});
    }
    for (std::size_t open = count; open > 0;) {
      if (count > 1 && ::poll(watched.data(), watched.size(), -1) < 0) return;
      for (std::size_t index = 0; index < count; ++index) {
        if (watched[index].fd < 0 ||
            (count > 1 && watched[index].revents == 0)) {
          continue;
        }
        if (!Answer(connections[index])) {
          watched[index].fd = -1;
          --open;
        }
      }
    }
  }

  // Answers one request; false once the client has gone.
  static bool Answer(Connection& connection) {
    boost::system::error_code error;
    const std::size_t line = asio::read_until(
        connection.socket, asio::dynamic_buffer(connection.received), '\n',
        error);
    if (error) return false;
    // "%R1Q,<procedure>,<sequence>:..." gives "%R1P,0,<sequence>:0".
    const std::string& received = connection.received;
    const std::size_t comma = received.find(',', 5);
    const std::size_t colon = received.find(':', comma);
    const std::string reply =
        "%R1P,0," + received.substr(comma + 1, colon - comma - 1) + ":0\r\n";
    connection.received.erase(0, line);
    asio::write(connection.socket, asio::buffer(reply), error);
    return !error;
  }

  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::thread thread_;
};

// A socket connected to the peer, sending each request at once.
asio::ip::tcp::socket ConnectedTo(asio::io_context& io, const PlainPeer& peer) {
  asio::ip::tcp::socket socket(io);
  socket.connect(peer.Endpoint());
  socket.set_option(asio::ip::tcp::no_delay(true));
  return socket;
}

// A plain blocking socket to the peer, sending the same bytes each way
// as a session's null call.
class RawClient {
 public:
  explicit RawClient(const PlainPeer& peer) : socket_(ConnectedTo(io_, peer)) {}

  void RoundTrip() {
    asio::write(socket_, asio::buffer(kRequest));
    const std::size_t line =
        asio::read_until(socket_, asio::dynamic_buffer(received_), '\n');
    received_.erase(0, line);
  }

 private:
  static constexpr std::string_view kRequest = "%R1Q,0,1:\r\n";
  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  std::string received_;
};

// Asynchronous null calls on one io_context, each completion starting the
// next.
class CallChain {
 public:
  CallChain(const PlainPeer& peer, benchmark::State& state) : state_(state) {
    host::Session::AsyncConnect(
        io_.get_executor(), peer.Address(), {},
        [this](boost::system::error_code, host::Session connected) {
          session_ = std::move(connected);
        });
    io_.run();
    io_.restart();
  }
  ~CallChain() { session_.Close(); }

  void Run(int calls) {
    left_ = calls;
    session_.AsyncCall(host::kNull, "", next_);
    io_.run();
    io_.restart();
  }

 private:
  benchmark::State& state_;
  asio::io_context io_{1};
  host::Session session_;
  int left_ = 0;
  std::function<void(boost::system::error_code, host::Reply)> next_ =
      [this](boost::system::error_code error, host::Reply) {
        if (error) state_.SkipWithError(error.message().c_str());
        if (!error && --left_ > 0) session_.AsyncCall(host::kNull, "", next_);
      };
};

// The same bytes each way with Asio alone, chained on one io_context as
// the session's calls are (a write, then a read until the line's end, each
// completion starting the next step): what Asio's event loop allows.
class AsioChain {
 public:
  explicit AsioChain(const PlainPeer& peer) : socket_(ConnectedTo(io_, peer)) {}

  void Run(int calls) {
    left_ = calls;
    Write();
    io_.run();
    io_.restart();
  }

 private:
  static constexpr std::string_view kRequest = "%R1Q,0,1:\r\n";

  void Write() {
    asio::async_write(socket_, asio::buffer(kRequest),
                      [this](boost::system::error_code error, std::size_t) {
                        if (!error) Read();
                      });
  }

  void Read() {
    asio::async_read_until(
        socket_, asio::dynamic_buffer(received_), '\n',
        [this](boost::system::error_code error, std::size_t line) {
          if (error) return;
          received_.erase(0, line);
          if (--left_ > 0) Write();
        });
  }

  asio::io_context io_{1};
  asio::ip::tcp::socket socket_;
  std::string received_;
  int left_ = 0;
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
  CallChain chain(peer, state);
  while (state.KeepRunningBatch(kChain)) chain.Run(kChain);
  state.SetItemsProcessed(state.iterations());
}

// The same bytes each way with a plain blocking socket against the same
// peer: what the machine's loopback allows.
void Session_NullCall_Baseline(benchmark::State& state) {
  PlainPeer peer;
  RawClient raw(peer);
  for (auto _ : state) raw.RoundTrip();
  state.SetItemsProcessed(state.iterations());
}

// The three side by side in short turns (a few calls of each in every
// iteration), so that a load that comes and goes meets each alike. The
// counters are the baseline's median turn over each one's: a turn that a
// stall of the machine hits (a millisecond now and then on a shared host)
// moves a median little, where it would decide a sum.
void Session_NullCall_Turns(benchmark::State& state) {
  constexpr int kTurn = 16;
  using Clock = std::chrono::steady_clock;
  PlainPeer peer(4);
  RawClient raw(peer);
  host::BlockingSession blocking =
      host::BlockingSession::Connect(peer.Address());
  CallChain chain(peer, state);
  AsioChain asioChain(peer);
  std::vector<Clock::duration> rawTurns;
  std::vector<Clock::duration> blockingTurns;
  std::vector<Clock::duration> chainedTurns;
  std::vector<Clock::duration> asioTurns;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (int call = 0; call < kTurn; ++call) raw.RoundTrip();
    const Clock::time_point rawDone = Clock::now();
    for (int call = 0; call < kTurn; ++call) {
      if (!blocking.TryCall(host::kNull)) state.SkipWithError("call failed");
    }
    const Clock::time_point blockingDone = Clock::now();
    chain.Run(kTurn);
    const Clock::time_point chainedDone = Clock::now();
    asioChain.Run(kTurn);
    const Clock::time_point asioDone = Clock::now();
    rawTurns.push_back(rawDone - start);
    blockingTurns.push_back(blockingDone - rawDone);
    chainedTurns.push_back(chainedDone - blockingDone);
    asioTurns.push_back(asioDone - chainedDone);
  }
  const auto median = [](std::vector<Clock::duration>& turns) {
    const auto middle =
        turns.begin() + static_cast<std::ptrdiff_t>(turns.size() / 2);
    std::nth_element(turns.begin(), middle, turns.end());
    return std::chrono::duration<double>(*middle).count();
  };
  const double rawMedian = median(rawTurns);
  state.counters["raw_round_trip_us"] = rawMedian / kTurn * 1e6;
  state.counters["blocking_share"] = rawMedian / median(blockingTurns);
  state.counters["chained_share"] = rawMedian / median(chainedTurns);
  state.counters["asio_chained_share"] = rawMedian / median(asioTurns);
  state.SetItemsProcessed(state.iterations() * 4 * kTurn);
}

}  // namespace

BENCHMARK(Session_NullCall_Turns)->UseRealTime();
BENCHMARK(Session_NullCall_Library)->UseRealTime();
BENCHMARK(Session_NullCall_AsyncChained)->UseRealTime();
BENCHMARK(Session_NullCall_Baseline)->UseRealTime();
