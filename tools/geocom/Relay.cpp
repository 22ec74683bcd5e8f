#include "Relay.h"

#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace geocom {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;
using Core::GEOCOM::host::Direction;
using Core::GEOCOM::host::Endpoint;

namespace {

// Enough for any sentence in one piece, small enough that a side that stops
// reading holds up little.
constexpr std::size_t kBufferSize = 16384;
constexpr std::chrono::milliseconds kAcceptRetry{100};

std::string Describe(const tcp::endpoint& endpoint) {
  return Endpoint{endpoint.address().to_string(), endpoint.port()}.ToString();
}

}  // namespace

// One side of a relayed connection.
class RelayEnd {
 public:
  using ReadHandler = std::function<void(const error_code&, std::size_t)>;
  using WriteHandler = std::function<void(const error_code&)>;

  virtual ~RelayEnd() = default;
  virtual void ReadSome(asio::mutable_buffer buffer, ReadHandler handler) = 0;
  virtual void Write(asio::const_buffer buffer, WriteHandler handler) = 0;
  // Passes the end of the other side's bytes on; false where the stream
  // cannot say that and the connection has to end instead.
  virtual bool ShutdownSend() = 0;
  virtual void Close() = 0;
};

namespace {

class SocketEnd final : public RelayEnd {
 public:
  explicit SocketEnd(tcp::socket socket) : socket_(std::move(socket)) {}
  void ReadSome(asio::mutable_buffer buffer, ReadHandler handler) override {
    socket_.async_read_some(buffer, std::move(handler));
  }
  void Write(asio::const_buffer buffer, WriteHandler handler) override {
    asio::async_write(
        socket_, buffer,
        [handler = std::move(handler)](const error_code& error, std::size_t) {
          handler(error);
        });
  }
  bool ShutdownSend() override {
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    return true;
  }
  void Close() override {
    error_code ignored;
    socket_.close(ignored);
  }

 private:
  tcp::socket socket_;
};

// The relay's serial line, lent to one host's connection at a time: closing
// the connection only cancels what it started on the line.
class SerialEnd final : public RelayEnd {
 public:
  explicit SerialEnd(asio::serial_port& port) : port_(port) {}
  void ReadSome(asio::mutable_buffer buffer, ReadHandler handler) override {
    port_.async_read_some(buffer, std::move(handler));
  }
  void Write(asio::const_buffer buffer, WriteHandler handler) override {
    asio::async_write(
        port_, buffer,
        [handler = std::move(handler)](const error_code& error, std::size_t) {
          handler(error);
        });
  }
  bool ShutdownSend() override { return false; }
  void Close() override {
    error_code ignored;
    port_.cancel(ignored);
  }

 private:
  asio::serial_port& port_;
};

}  // namespace

// One host's connection: a pipe each way, each reading again only once the
// other side has taken everything it read.
class Relay::Link : public std::enable_shared_from_this<Link> {
 public:
  Link(std::unique_ptr<RelayEnd> host, std::unique_ptr<RelayEnd> instrument,
       RelayCapture& capture, std::function<void(bool)> ended)
      : host_(std::move(host)),
        instrument_(std::move(instrument)),
        capture_(capture),
        ended_(std::move(ended)) {
    pipes_[0].from = pipes_[1].to = host_.get();
    pipes_[0].to = pipes_[1].from = instrument_.get();
    pipes_[0].direction = Direction::kToInstrument;
    pipes_[1].direction = Direction::kToHost;
  }

  void Start() {
    for (Pipe& pipe : pipes_) Read(pipe);
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    host_->Close();
    instrument_->Close();
  }

 private:
  struct Pipe {
    RelayEnd* from = nullptr;
    RelayEnd* to = nullptr;
    Direction direction = Direction::kUnknown;
    std::array<char, kBufferSize> buffer{};
    bool ended = false;
  };

  void Read(Pipe& pipe) {
    pipe.from->ReadSome(asio::buffer(pipe.buffer),
                        [self = shared_from_this(), &pipe](
                            const error_code& error, std::size_t count) {
                          self->OnRead(pipe, error, count);
                        });
  }

  void OnRead(Pipe& pipe, const error_code& error, std::size_t count) {
    if (closed_) return;
    if (count > 0) {
      // Recorded before it is passed on: the capture holds every byte the
      // other side may have seen.
      if (!capture_.Write(pipe.direction, {pipe.buffer.data(), count})) {
        return End(true);
      }
      pipe.to->Write(
          asio::buffer(pipe.buffer.data(), count),
          [self = shared_from_this(), &pipe](const error_code& failure) {
            if (self->closed_) return;
            if (failure) return self->End(false);
            self->Read(pipe);
          });
      return;
    }
    if (error == asio::error::eof && pipe.to->ShutdownSend()) {
      pipe.ended = true;
      if (pipes_[0].ended && pipes_[1].ended) End(false);
      return;
    }
    End(false);
  }

  void End(bool captureFailed) {
    Close();
    ended_(captureFailed);
  }

  std::unique_ptr<RelayEnd> host_;
  std::unique_ptr<RelayEnd> instrument_;
  RelayCapture& capture_;
  std::function<void(bool)> ended_;
  std::array<Pipe, 2> pipes_;
  bool closed_ = false;
};

Relay::Relay(asio::io_context& io, const Endpoint& listen,
             InstrumentLine instrument, RelayEvents events)
    : io_(io),
      acceptor_(io),
      acceptRetry_(io),
      instrument_(std::move(instrument)),
      events_(std::move(events)) {
  tcp::resolver resolver(io);
  error_code error;
  if (instrument_.tcp) {
    instrumentAddresses_ = resolver.resolve(
        instrument_.tcp->host, std::to_string(instrument_.tcp->port), error);
    if (error) {
      throw std::runtime_error("cannot resolve " + instrument_.tcp->ToString() +
                               ": " + error.message());
    }
  } else {
    serial_.emplace(io);
    serial_->open(instrument_.serial, error);
    if (error) {
      throw std::runtime_error("cannot open " + instrument_.serial + ": " +
                               error.message());
    }
    using Port = asio::serial_port_base;
    serial_->set_option(Port::baud_rate(instrument_.baud), error);
    if (error) {
      throw std::invalid_argument("cannot set " + instrument_.serial + " to " +
                                  std::to_string(instrument_.baud) +
                                  " baud: " + error.message());
    }
    serial_->set_option(Port::character_size(8), error);
    if (!error) serial_->set_option(Port::parity(Port::parity::none), error);
    if (!error)
      serial_->set_option(Port::stop_bits(Port::stop_bits::one), error);
    if (!error) {
      serial_->set_option(Port::flow_control(Port::flow_control::none), error);
    }
    if (error) {
      throw std::runtime_error("cannot configure " + instrument_.serial + ": " +
                               error.message());
    }
  }

  const auto bound = resolver.resolve(listen.host, std::to_string(listen.port),
                                      tcp::resolver::passive, error);
  if (!error && bound.empty()) error = asio::error::host_not_found;
  if (!error) acceptor_.open(bound.begin()->endpoint().protocol(), error);
  if (!error) acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) acceptor_.bind(bound.begin()->endpoint(), error);
  if (!error)
    acceptor_.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    throw std::runtime_error("cannot listen on " + listen.ToString() + ": " +
                             error.message());
  }
}

Relay::~Relay() = default;

Endpoint Relay::Local() const {
  const tcp::endpoint local = acceptor_.local_endpoint();
  return {local.address().to_string(), local.port()};
}

void Relay::Start(RelayCapture& capture) {
  capture_ = &capture;
  Accept();
}

void Relay::Stop() {
  stopped_ = true;
  error_code ignored;
  acceptor_.close(ignored);
  acceptRetry_.cancel();
  if (cancelConnect_) std::exchange(cancelConnect_, nullptr)();
  if (link_) std::exchange(link_, nullptr)->Close();
  if (serial_) serial_->close(ignored);
}

void Relay::Accept() {
  acceptor_.async_accept([this](const error_code& error, tcp::socket host) {
    if (stopped_) return;
    if (error) {
      if (events_.warning) {
        events_.warning("cannot accept a connection: " + error.message());
      }
      // Out of descriptors, say: try again a little later, not in a loop.
      acceptRetry_.expires_after(kAcceptRetry);
      acceptRetry_.async_wait([this](const error_code& cancelled) {
        if (!cancelled && !stopped_) Accept();
      });
      return;
    }
    error_code ignored;
    host.set_option(tcp::no_delay(true), ignored);
    if (!capture_->Write(
            Direction::kUnknown, {},
            "host connected from " + Describe(host.remote_endpoint(ignored)))) {
      return Ended(true);
    }
    if (serial_)
      return Serve(std::move(host), std::make_unique<SerialEnd>(*serial_));
    ConnectInstrument(std::move(host));
  });
}

void Relay::ConnectInstrument(tcp::socket host) {
  struct Attempt {
    tcp::socket host;
    tcp::socket instrument;
    asio::steady_timer timer;
    bool timedOut = false;
  };
  auto attempt = std::make_shared<Attempt>(Attempt{
      std::move(host), tcp::socket(io_), asio::steady_timer(io_), false});
  attempt->timer.expires_after(instrument_.connectTimeout);
  attempt->timer.async_wait([attempt](const error_code& error) {
    if (error) return;
    attempt->timedOut = true;
    error_code ignored;
    attempt->instrument.close(ignored);
  });
  cancelConnect_ = [attempt] {
    error_code ignored;
    attempt->timer.cancel();
    attempt->instrument.close(ignored);
    attempt->host.close(ignored);
  };
  asio::async_connect(
      attempt->instrument, instrumentAddresses_,
      [this, attempt](const error_code& error, const tcp::endpoint&) {
        attempt->timer.cancel();
        if (stopped_) return;
        cancelConnect_ = nullptr;
        if (error) {
          const std::string message =
              "cannot connect to the instrument at " +
              instrument_.tcp->ToString() + ": " +
              (attempt->timedOut
                   ? "no answer within " +
                         std::to_string(instrument_.connectTimeout.count()) +
                         " ms"
                   : error.message());
          if (events_.warning) events_.warning(message);
          if (!capture_->Write(Direction::kUnknown, {}, message)) {
            return Ended(true);
          }
          error_code ignored;
          attempt->host.close(ignored);
          return Accept();
        }
        error_code ignored;
        attempt->instrument.set_option(tcp::no_delay(true), ignored);
        Serve(std::move(attempt->host),
              std::make_unique<SocketEnd>(std::move(attempt->instrument)));
      });
}

void Relay::Serve(tcp::socket host, std::unique_ptr<RelayEnd> instrument) {
  link_ = std::make_shared<Link>(std::make_unique<SocketEnd>(std::move(host)),
                                 std::move(instrument), *capture_,
                                 [this](bool captureFailed) {
                                   link_.reset();
                                   Ended(captureFailed);
                                 });
  link_->Start();
}

void Relay::Ended(bool captureFailed) {
  if (!captureFailed && !stopped_) {
    captureFailed =
        !capture_->Write(Direction::kUnknown, {}, "host disconnected");
    if (!captureFailed) return Accept();
  }
  Stop();
  if (captureFailed && events_.failed) events_.failed(capture_->Error());
}

}  // namespace geocom
