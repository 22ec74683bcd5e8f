#include "Lines.h"

#include <DazoZazIdoRezeraro/host/Transport.h>
#include <fcntl.h>
#include <stdlib.h>

#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <climits>
#include <cstring>

namespace Core::GEOCOM::simulator {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// A client's socket through the host library's transport.
class TcpLine final : public Line {
 public:
  TcpLine(asio::ip::tcp::socket socket, std::chrono::milliseconds timeout)
      : transport_(std::move(socket), "client"),
        timer_(transport_.Executor()),
        timeout_(timeout) {}

  void AsyncRead(asio::mutable_buffer buffer, ReadHandler handler) override {
    transport_.AsyncReadSome(buffer, std::move(handler));
  }

  void Write(std::string bytes, WriteHandler handler) override {
    auto kept = std::make_shared<std::string>(std::move(bytes));
    timer_.expires_after(timeout_);
    timer_.async_wait([this](const error_code& error) {
      // A peer that takes nothing for this long is not coming back.
      if (!error) Close();
    });
    transport_.AsyncWrite(
        asio::buffer(*kept),
        [this, kept, handler = std::move(handler)](const error_code& error) {
          timer_.cancel();
          handler(!error);
        });
  }

  void Close() override {
    timer_.cancel();
    transport_.Close();
  }

  bool CanDisconnect() const override { return true; }

 private:
  host::StreamTransport<asio::ip::tcp::socket> transport_;
  asio::steady_timer timer_;
  std::chrono::milliseconds timeout_;
};

// The master side of a pseudo-terminal as a transport that can also write
// without waiting.
class MasterTransport final
    : public host::StreamTransport<asio::posix::stream_descriptor> {
 public:
  using StreamTransport::StreamTransport;
  // Writes what the terminal takes now; how much it took.
  std::size_t WriteNow(std::string_view bytes, error_code& error) {
    std::size_t written = 0;
    while (written < bytes.size() && !error) {
      written += stream().write_some(
          asio::buffer(bytes.data() + written, bytes.size() - written), error);
    }
    return written;
  }
};

class PtyLine final : public Line {
 public:
  PtyLine(asio::posix::stream_descriptor master, asio::serial_port terminal)
      : master_(std::move(master), "pty"), terminal_(std::move(terminal)) {}

  void AsyncRead(asio::mutable_buffer buffer, ReadHandler handler) override {
    master_.AsyncReadSome(buffer, std::move(handler));
  }

  // Writes what the line takes now; the rest is dropped, so that a host
  // that stops reading costs it replies, never the line.
  void Write(std::string bytes, WriteHandler handler) override {
    error_code error;
    dropped_ += bytes.size() - master_.WriteNow(bytes, error);
    const bool usable = !error || error == asio::error::would_block ||
                        error == asio::error::try_again;
    asio::post(master_.Executor(),
               [handler = std::move(handler), usable] { handler(usable); });
  }

  void Close() override {
    error_code ignored;
    master_.Close();
    terminal_.close(ignored);
  }

  bool CanDisconnect() const override { return false; }
  std::uint64_t Dropped() const override { return dropped_; }

 private:
  MasterTransport master_;
  asio::serial_port terminal_;
  std::uint64_t dropped_ = 0;
};

}  // namespace

std::unique_ptr<Line> MakeTcpLine(asio::ip::tcp::socket socket,
                                  std::chrono::milliseconds writeTimeout) {
  return std::make_unique<TcpLine>(std::move(socket), writeTimeout);
}

host::Result<PseudoTerminal> OpenPseudoTerminal(
    const asio::any_io_executor& executor) {
  const auto failure = [](const std::string& what) {
    return host::Error(host::ErrorKind::kIo,
                       "cannot open a pseudo-terminal: " + what);
  };
  const int descriptor = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return failure(std::strerror(errno));
  asio::posix::stream_descriptor master(executor, descriptor);
  char path[PATH_MAX];
  if (grantpt(descriptor) != 0 || unlockpt(descriptor) != 0 ||
      ptsname_r(descriptor, path, sizeof path) != 0) {
    return failure(std::strerror(errno));
  }
  error_code error;
  master.non_blocking(true, error);
  // Asio opens a serial port raw (no echo, no line editing, CR kept as
  // it is), which is what the terminal side must be before any host
  // configures it.
  asio::serial_port terminal(executor);
  if (!error) terminal.open(path, error);
  if (error) return failure(error.message());
  PseudoTerminal pty;
  pty.line = std::make_unique<PtyLine>(std::move(master), std::move(terminal));
  pty.path = path;
  return pty;
}

}  // namespace Core::GEOCOM::simulator
