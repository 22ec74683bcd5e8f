// Calls per second through a host Session over loopback TCP against the
// in-process virtual instrument, set against a ping-pong of the same request
// and reply bytes over a plain loopback socket in the same run: what the
// machine's loopback allows.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <string>
#include <thread>

namespace {

namespace asio = boost::asio;
using namespace Core::GEOCOM;

void Session_NullCall_Library(benchmark::State& state) {
  simulator::LoopbackInstrument instrument;
  asio::io_context io;
  host::Session session = host::Session::ConnectTcp(io, instrument.Address());
  for (auto _ : state) {
    const host::Result<host::Reply> reply = session.Call(host::kNull);
    if (!reply) state.SkipWithError(reply.error().message.c_str());
  }
  state.SetItemsProcessed(state.iterations());
}

// The same bytes each way, with nothing but the sockets in between: the
// peer answers each request line with a fixed reply line.
void Session_NullCall_Baseline(benchmark::State& state) {
  const std::string request = "%R1Q,0,1:\r\n";
  const std::string reply = "%R1P,0,1:0\r\n";
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  std::thread peer([&] {
    asio::ip::tcp::socket socket = acceptor.accept();
    socket.set_option(asio::ip::tcp::no_delay(true));
    std::string received;
    boost::system::error_code error;
    for (;;) {
      const std::size_t line =
          asio::read_until(socket, asio::dynamic_buffer(received), '\n', error);
      if (error) return;
      received.erase(0, line);
      asio::write(socket, asio::buffer(reply), error);
    }
  });
  asio::ip::tcp::socket socket(io);
  socket.connect(acceptor.local_endpoint());
  socket.set_option(asio::ip::tcp::no_delay(true));
  std::string received;
  for (auto _ : state) {
    asio::write(socket, asio::buffer(request));
    const std::size_t line =
        asio::read_until(socket, asio::dynamic_buffer(received), '\n');
    received.erase(0, line);
  }
  socket.close();
  peer.join();
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(Session_NullCall_Library)->UseRealTime();
BENCHMARK(Session_NullCall_Baseline)->UseRealTime();
