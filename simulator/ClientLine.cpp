#include "ClientLine.h"

#include <fcntl.h>
#include <stdlib.h>

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cerrno>
#include <climits>
#include <cstring>

namespace Core::GEOCOM::simulator {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

class WriteDeadline final : public host::Transport {
 public:
  WriteDeadline(std::unique_ptr<host::Transport> inner,
                std::chrono::milliseconds limit)
      : Transport(inner->Name()),
        inner_(std::move(inner)),
        timer_(inner_->Executor()),
        limit_(limit) {}

  asio::any_io_executor Executor() override { return inner_->Executor(); }
  void AsyncReadSome(asio::mutable_buffer buffer,
                     ReadHandler handler) override {
    inner_->AsyncReadSome(buffer, std::move(handler));
  }
  void AsyncWrite(asio::const_buffer buffer, WriteHandler handler) override {
    timer_.expires_after(limit_);
    timer_.async_wait([this](const error_code& error) {
      if (!error) inner_->Close();
    });
    // The inner write completes where the outer handler would have.
    auto executor = asio::get_associated_executor(handler, inner_->Executor());
    inner_->AsyncWrite(
        buffer,
        asio::bind_executor(executor, [this, handler = std::move(handler)](
                                          const error_code& error) mutable {
          timer_.cancel();
          std::move(handler)(error);
        }));
  }
  void Cancel() override { inner_->Cancel(); }
  void Close() override {
    timer_.cancel();
    inner_->Close();
  }
  void DiscardInput() override { inner_->DiscardInput(); }
  bool ShutdownSend() override { return inner_->ShutdownSend(); }

 private:
  std::unique_ptr<host::Transport> inner_;
  asio::steady_timer timer_;
  std::chrono::milliseconds limit_;
};

// The master side of a pseudo-terminal, whose writes take what the terminal
// takes now and drop the rest, so that a host that stops reading costs it
// replies, never the line. The terminal side is held open with it.
class PtyMaster final
    : public host::StreamTransport<asio::posix::stream_descriptor> {
 public:
  PtyMaster(asio::posix::stream_descriptor master, asio::serial_port terminal)
      : StreamTransport(std::move(master), "pty"),
        terminal_(std::move(terminal)) {}

  void AsyncWrite(asio::const_buffer buffer, WriteHandler handler) override {
    error_code error;
    std::size_t written = 0;
    while (written < buffer.size() && !error) {
      written += stream().write_some(buffer + written, error);
    }
    dropped_ += buffer.size() - written;
    if (error == asio::error::would_block || error == asio::error::try_again) {
      error = {};
    }
    auto executor = asio::get_associated_executor(handler, Executor());
    asio::post(Executor(),
               asio::bind_executor(
                   executor, [handler = std::move(handler), error]() mutable {
                     std::move(handler)(error);
                   }));
  }

  void Close() override {
    error_code ignored;
    StreamTransport::Close();
    terminal_.close(ignored);
  }

  std::uint64_t Dropped() const { return dropped_; }

 private:
  asio::serial_port terminal_;
  std::uint64_t dropped_ = 0;
};

}  // namespace

std::unique_ptr<host::Transport> WithWriteDeadline(
    std::unique_ptr<host::Transport> inner, std::chrono::milliseconds limit) {
  return std::make_unique<WriteDeadline>(std::move(inner), limit);
}

Line MakeTcpLine(asio::ip::tcp::socket socket,
                 std::chrono::milliseconds writeTimeout) {
  Line line;
  line.transport = WithWriteDeadline(
      std::make_unique<host::StreamTransport<asio::ip::tcp::socket>>(
          std::move(socket), "client"),
      writeTimeout);
  return line;
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
  auto transport =
      std::make_unique<PtyMaster>(std::move(master), std::move(terminal));
  const PtyMaster& counted = *transport;
  PseudoTerminal pty;
  pty.line.transport = std::move(transport);
  pty.line.canDisconnect = false;
  pty.line.dropped = [&counted] { return counted.Dropped(); };
  pty.path = path;
  return pty;
}

}  // namespace Core::GEOCOM::simulator
