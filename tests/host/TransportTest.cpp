// A stream transport's reads that wait in the read itself: what they return,
// and that the event loop always finds the descriptor non-blocking again.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Transport.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace Core::GEOCOM::host;
using boost::system::error_code;
using namespace std::chrono_literals;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

bool Blocks(int descriptor) {
  return (::fcntl(descriptor, F_GETFL) & O_NONBLOCK) == 0;
}

// A connected pair on loopback: the transport's end and the peer's.
struct Connected {
  asio::io_context io;
  tcp::socket peer{io};
  std::unique_ptr<StreamTransport<tcp::socket>> transport;
  int descriptor = -1;

  Connected() {
    tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    tcp::socket mine(io);
    mine.connect(acceptor.local_endpoint());
    peer = acceptor.accept();
    descriptor = mine.native_handle();
    transport =
        std::make_unique<StreamTransport<tcp::socket>>(std::move(mine), "peer");
    EXPECT_EQ(transport->PollableDescriptor(), descriptor);
  }
};

struct WaitRow {
  const char* name;
  const char* sent;  // what the peer sends first
  bool peerCloses;
  std::chrono::nanoseconds bound;
  const char* expectedBytes;
  error_code expectedError;
};

class WaitingRead : public testing::TestWithParam<WaitRow> {};

TEST_P(WaitingRead, ReturnsAsTheRowSays) {
  const WaitRow& row = GetParam();
  Connected pair;
  asio::write(pair.peer, asio::buffer(std::string(row.sent)));
  if (row.peerCloses) pair.peer.close();
  // A bound that meant "no bound" would never return.
  auto read = std::async(std::launch::async, [&] {
    std::array<char, 64> buffer{};
    error_code error;
    const std::size_t n =
        pair.transport->ReadSomeWaiting(asio::buffer(buffer), row.bound, error);
    return std::make_pair(std::string(buffer.data(), n), error);
  });
  ASSERT_EQ(read.wait_for(10s), std::future_status::ready);
  const auto [bytes, error] = read.get();
  EXPECT_EQ(bytes, row.expectedBytes);
  EXPECT_EQ(error, row.expectedError) << error.message();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WaitingRead,
    testing::Values(
        WaitRow{
            "BytesThere", "%R1P,0,1:0\r\n", false, 1s, "%R1P,0,1:0\r\n", {}},
        WaitRow{"NothingWithinTheBound", "", false, 20ms, "",
                asio::error::timed_out},
        WaitRow{"AZeroBoundStillEnds", "", false, 0ns, "",
                asio::error::timed_out},
        WaitRow{"ABoundUnderAMicrosecondStillEnds", "", false, 300ns, "",
                asio::error::timed_out},
        WaitRow{"PeerGone", "", true, 1s, "", asio::error::eof},
        WaitRow{"BytesThenPeerGone", "ab", true, 1s, "ab", {}}),
    [](const auto& row) { return std::string(row.param.name); });

// The wait switches the descriptor to blocking reads; moving bytes now
// still never waits, and whatever the event loop does next finds it
// non-blocking.
TEST(WaitingRead, NeverLeavesTheLoopABlockingDescriptor) {
  Connected pair;
  std::array<char, 64> buffer{};
  error_code error;
  pair.transport->ReadSomeWaiting(asio::buffer(buffer), 1ms, error);
  EXPECT_EQ(error, asio::error::timed_out);
  EXPECT_TRUE(Blocks(pair.descriptor));

  pair.transport->ReadSomeNow(asio::buffer(buffer), error);
  EXPECT_EQ(error, asio::error::would_block);
  // A peer that stops reading fills the line: the write says so at once.
  const std::string chunk(1 << 16, 'x');
  std::size_t written = 0;
  do {
    written = pair.transport->WriteSomeNow(asio::buffer(chunk), error);
  } while (!error && written > 0);
  EXPECT_EQ(error, asio::error::would_block);
  EXPECT_TRUE(Blocks(pair.descriptor));

  bool read = false;
  pair.transport->AsyncReadSome(asio::buffer(buffer),
                                [&](error_code, std::size_t) { read = true; });
  EXPECT_FALSE(Blocks(pair.descriptor));
  pair.transport->Cancel();
  pair.io.run_for(1s);
  EXPECT_TRUE(read);
  pair.io.restart();

  pair.transport->ReadSomeWaiting(asio::buffer(buffer), 1ms, error);
  EXPECT_TRUE(Blocks(pair.descriptor));
  bool wrote = false;
  pair.transport->AsyncWrite(asio::buffer(chunk, 1),
                             [&](error_code) { wrote = true; });
  EXPECT_FALSE(Blocks(pair.descriptor));
  pair.transport->Cancel();
  pair.io.run_for(1s);
  EXPECT_TRUE(wrote);
}

// Between a waiting read and the loop, reading on the spot still never
// waits, and still sees the peer go.
TEST(WaitingRead, ReadingOnTheSpotAfterAWaitSeesThePeerGo) {
  Connected pair;
  std::array<char, 64> buffer{};
  error_code error;
  pair.transport->ReadSomeWaiting(asio::buffer(buffer), 1ms, error);
  ASSERT_TRUE(Blocks(pair.descriptor));
  EXPECT_EQ(pair.transport->ReadSomeNow(asio::buffer(buffer), error), 0u);
  EXPECT_EQ(error, asio::error::would_block);
  asio::write(pair.peer, asio::buffer(std::string("a")));
  pair.peer.close();
  std::string bytes;
  for (int read = 0; read < 1000 && error != asio::error::eof; ++read) {
    const std::size_t n =
        pair.transport->ReadSomeNow(asio::buffer(buffer), error);
    bytes.append(buffer.data(), n);
  }
  EXPECT_EQ(bytes, "a");
  EXPECT_EQ(error, asio::error::eof);
}

// A descriptor that is not a socket cannot bound a read by itself: the
// caller is told to poll, and the descriptor stays as the loop needs it.
TEST(WaitingRead, AStreamThatIsNotASocketAsksToBePolled) {
  asio::io_context io;
  std::array<int, 2> pipe{};
  ASSERT_EQ(::pipe(pipe.data()), 0);
  StreamTransport<asio::posix::stream_descriptor> transport(
      asio::posix::stream_descriptor(io, pipe[0]), "pipe");
  ASSERT_EQ(transport.PollableDescriptor(), pipe[0]);
  std::array<char, 8> buffer{};
  for (int attempt = 0; attempt < 2; ++attempt) {
    error_code error;
    transport.ReadSomeWaiting(asio::buffer(buffer), 1s, error);
    EXPECT_EQ(error, asio::error::operation_not_supported);
    EXPECT_FALSE(Blocks(pipe[0]));
  }
  ASSERT_EQ(::write(pipe[1], "z", 1), 1);
  error_code error;
  EXPECT_EQ(transport.ReadSomeNow(asio::buffer(buffer), error), 1u);
  EXPECT_FALSE(error);
  ::close(pipe[1]);
}

// A blocking session over a stream that is not a socket (a pseudo-terminal
// as a plain descriptor) waits with poll(): an answer, a silent peer's
// time-out and a close from another thread all end the call.
TEST(WaitingRead, ABlockingSessionOverADescriptorPolls) {
  int master = -1;
  int terminal = -1;
  ASSERT_EQ(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ASSERT_EQ(::tcgetattr(terminal, &raw), 0);
  ::cfmakeraw(&raw);
  ASSERT_EQ(::tcsetattr(terminal, TCSANOW, &raw), 0);
  std::atomic<bool> done{false};
  // Answers the null procedure only.
  std::thread instrument([master, &done] {
    SentenceStream stream;
    std::array<char, 256> chunk{};
    while (!done) {
      pollfd ready{master, POLLIN, 0};
      if (::poll(&ready, 1, 20) <= 0) continue;
      const ssize_t n = ::read(master, chunk.data(), chunk.size());
      if (n <= 0) return;
      stream.Append(std::string_view(chunk.data(), static_cast<size_t>(n)));
      Frame frame;
      while (stream.Next(frame)) {
        if (frame.kind != FrameKind::kRequest ||
            frame.sentence.GetGeocomID() != kNull) {
          continue;
        }
        const std::string reply =
            "%R1P,0," + std::to_string(frame.sentence.GetSequenceID()) +
            ":0\r\n";
        if (::write(master, reply.data(), reply.size()) < 0) return;
      }
    }
  });
  BlockingSession session =
      BlockingSession::Make([terminal](Session::executor_type executor) {
        return Session::Over(asio::posix::stream_descriptor(executor, terminal),
                             "pty");
      });
  EXPECT_TRUE(session.TryCall(kNull));
  CallOptions shortWait;
  shortWait.timeout = 100ms;
  const Result<Reply> silent = session.TryCall(kInstrumentName, "", shortWait);
  ASSERT_FALSE(silent);
  EXPECT_EQ(silent.error().kind, ErrorKind::kTimeout);
  CallOptions longWait;
  longWait.timeout = 60s;
  std::thread closer([&session] {
    std::this_thread::sleep_for(100ms);
    session.Close();
  });
  const Result<Reply> closed = session.TryCall(kInstrumentName, "", longWait);
  closer.join();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().kind, ErrorKind::kClosed);
  done = true;
  instrument.join();
  ::close(master);
}

}  // namespace
