#include "Relay.h"

#include <DazoZazIdoRezeraro/host/Connect.h>

#include <array>
#include <stdexcept>
#include <utility>

namespace geocom {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;
using Core::GEOCOM::host::Endpoint;
using Core::GEOCOM::host::StreamTransport;
using Core::GEOCOM::host::TrafficDirection;
using Core::GEOCOM::host::TrafficEvent;
using Core::GEOCOM::host::Transport;

namespace {

// Enough for any sentence in one piece, small enough that a side that stops
// reading holds up little.
constexpr std::size_t kBufferSize = 16384;

std::string Describe(const tcp::endpoint& endpoint) {
  return Endpoint{endpoint.address().to_string(), endpoint.port()}.ToString();
}

std::unique_ptr<Transport> SocketTransport(tcp::socket socket) {
  error_code ignored;
  const std::string name = Describe(socket.remote_endpoint(ignored));
  return std::make_unique<StreamTransport<tcp::socket>>(std::move(socket),
                                                        name);
}

}  // namespace

// One host's connection: a pipe each way, each reading again only once the
// other side has taken everything it read.
class Relay::Link : public std::enable_shared_from_this<Link> {
 public:
  Link(std::unique_ptr<Transport> host, std::unique_ptr<Transport> instrument,
       unsigned connection, RelayCapture& capture,
       std::function<void(bool)> ended)
      : host_(std::move(host)),
        instrument_(std::move(instrument)),
        connection_(connection),
        capture_(capture),
        tap_(capture.Tap()),
        ended_(std::move(ended)) {
    pipes_[0].from = pipes_[1].to = host_.get();
    pipes_[0].to = pipes_[1].from = instrument_.get();
    // The capture sees the traffic as the host does.
    pipes_[0].direction = TrafficDirection::kSent;
    pipes_[1].direction = TrafficDirection::kReceived;
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
    Transport* from = nullptr;
    Transport* to = nullptr;
    TrafficDirection direction = TrafficDirection::kSent;
    std::array<char, kBufferSize> buffer{};
    bool ended = false;
  };

  void Read(Pipe& pipe) {
    pipe.from->AsyncReadSome(asio::buffer(pipe.buffer),
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
      TrafficEvent event;
      event.direction = pipe.direction;
      event.bytes = std::string_view(pipe.buffer.data(), count);
      event.time = std::chrono::system_clock::now();
      event.connection = connection_;
      tap_(event);
      if (!capture_.Ok()) return End(true);
      pipe.to->AsyncWrite(
          asio::buffer(pipe.buffer.data(), count),
          [self = shared_from_this(), &pipe](const error_code& failure) {
            if (self->closed_) return;
            if (failure) return self->End(false);
            self->Read(pipe);
          });
      return;
    }
    // A side that closed its sending side may still read: the connection
    // ends once both have, or at once where the other side cannot be told.
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

  std::unique_ptr<Transport> host_;
  std::unique_ptr<Transport> instrument_;
  unsigned connection_;
  RelayCapture& capture_;
  Core::GEOCOM::host::TrafficTap tap_;
  std::function<void(bool)> ended_;
  std::array<Pipe, 2> pipes_;
  bool closed_ = false;
};

Relay::Relay(asio::io_context& io, const Endpoint& listen,
             InstrumentLine instrument, RelayEvents events)
    : io_(io), instrument_(std::move(instrument)), events_(std::move(events)) {
  namespace host = Core::GEOCOM::host;
  if (!instrument_.tcp) {
    host::Result<std::unique_ptr<asio::serial_port>> port =
        host::OpenSerialPort(io.get_executor(), instrument_.serial,
                             instrument_.baud);
    if (!port) {
      if (port.error().kind == host::ErrorKind::kInvalidArgument) {
        throw std::invalid_argument(port.error().message);
      }
      throw std::runtime_error(port.error().message);
    }
    serial_.emplace(std::move(*port), instrument_.serial);
  }

  // A relay answers whoever its owner points at it, as the instrument does.
  host::ListenOptions options;
  options.allowRemote = true;
  options.acceptFailed = [this](const error_code& error) {
    if (events_.warning) {
      events_.warning("cannot accept a connection: " + error.message());
    }
  };
  host::Result<host::Listener> listener =
      host::Listen(io.get_executor(), listen, options);
  if (!listener) throw std::runtime_error(listener.error().message);
  listener_.emplace(std::move(*listener));
}

Relay::~Relay() = default;

Endpoint Relay::Local() const { return listener_->Local(); }

void Relay::Start(RelayCapture& capture) {
  capture_ = &capture;
  Accept();
}

void Relay::Stop() {
  stopped_ = true;
  error_code ignored;
  listener_->Close();
  if (cancelConnect_) std::exchange(cancelConnect_, nullptr)();
  if (connectingHost_) connectingHost_->close(ignored);
  if (link_) std::exchange(link_, nullptr)->Close();
  if (serial_) serial_->Close();
}

void Relay::Accept() {
  listener_->AcceptOne([this](tcp::socket host) {
    if (stopped_) return;
    error_code ignored;
    host.set_option(tcp::no_delay(true), ignored);
    ++connection_;
    if (!capture_->Open(
            connection_,
            "host connected from " + Describe(host.remote_endpoint(ignored)))) {
      return Ended(true);
    }
    if (serial_) return Serve(std::move(host), serial_->Lend());
    ConnectInstrument(std::move(host));
  });
}

void Relay::ConnectInstrument(tcp::socket host) {
  connectingHost_.emplace(std::move(host));
  cancelConnect_ = Core::GEOCOM::host::AsyncConnectTcp(
      io_.get_executor(), *instrument_.tcp, instrument_.connectTimeout,
      [this](const error_code& error, tcp::socket instrument) {
        if (stopped_) return;
        cancelConnect_ = nullptr;
        tcp::socket waiting = std::move(*connectingHost_);
        connectingHost_.reset();
        if (error) {
          const std::string message = Core::GEOCOM::host::ConnectFailure(
              *instrument_.tcp, instrument_.connectTimeout, error);
          if (events_.warning) events_.warning(message);
          if (!capture_->Note(connection_, message)) return Ended(true);
          error_code ignored;
          waiting.close(ignored);
          return Ended(false);
        }
        Serve(std::move(waiting), SocketTransport(std::move(instrument)));
      });
}

void Relay::Serve(tcp::socket host, std::unique_ptr<Transport> instrument) {
  link_ = std::make_shared<Link>(SocketTransport(std::move(host)),
                                 std::move(instrument), connection_, *capture_,
                                 [this](bool captureFailed) {
                                   link_.reset();
                                   Ended(captureFailed);
                                 });
  link_->Start();
}

void Relay::Ended(bool captureFailed) {
  if (!captureFailed && !stopped_) {
    captureFailed = !capture_->Close(connection_, "host disconnected");
    if (!captureFailed) return Accept();
  }
  Stop();
  if (captureFailed && events_.failed) events_.failed(capture_->Error());
}

}  // namespace geocom
