#ifndef GEOCOM_TOOL_RELAY_H
#define GEOCOM_TOOL_RELAY_H

#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/Listener.h>
#include <DazoZazIdoRezeraro/host/SerialPort.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "RelayCapture.h"

// A transparent relay between one host program at a time and an instrument,
// recording every byte with its direction and time. Each direction holds at
// most one buffer: it reads again only once the other side has taken what it
// read, so a side that stops reading stops the other side's sending.
namespace geocom {

// Where the instrument is: a TCP address connected anew for each host, or a
// serial line opened once and lent to each host in turn.
struct InstrumentLine {
  std::optional<Core::GEOCOM::host::Endpoint> tcp;
  std::string serial;
  unsigned baud = 115200;
  // How long resolving and connecting to a TCP instrument may take.
  std::chrono::milliseconds connectTimeout{5000};
};

// What the relay tells its owner.
struct RelayEvents {
  // The capture could not be written; the relay has stopped.
  std::function<void(const std::string& message)> failed;
  // Something went wrong with one host's connection; the relay goes on.
  std::function<void(const std::string& message)> warning;
};

class Relay {
 public:
  // Binds the listener and opens a serial instrument line. Throws
  // std::invalid_argument for a baud rate the line refuses and
  // std::runtime_error naming whatever else cannot be opened.
  Relay(boost::asio::io_context& io, const Core::GEOCOM::host::Endpoint& listen,
        InstrumentLine instrument, RelayEvents events = {});
  ~Relay();
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // The address the listener is bound to, its port chosen when 0 was asked.
  Core::GEOCOM::host::Endpoint Local() const;

  // Starts accepting hosts on the io_context, recording into capture, which
  // must outlive the relay.
  void Start(RelayCapture& capture);

  // Closes the listener and the connection it serves; what io_context::run
  // still has to do ends at once.
  void Stop();

 private:
  class Link;

  void Accept();
  void ConnectInstrument(boost::asio::ip::tcp::socket host);
  void Serve(boost::asio::ip::tcp::socket host,
             std::unique_ptr<Core::GEOCOM::host::Transport> instrument);
  void Ended(bool captureFailed);

  boost::asio::io_context& io_;
  std::optional<Core::GEOCOM::host::Listener> listener_;
  InstrumentLine instrument_;
  std::optional<Core::GEOCOM::host::SharedSerialLine> serial_;
  RelayCapture* capture_ = nullptr;
  RelayEvents events_;
  std::shared_ptr<Link> link_;
  std::function<void()> cancelConnect_;  // set while connecting
  std::optional<boost::asio::ip::tcp::socket> connectingHost_;
  unsigned connection_ = 0;  // the host connection served or last served
  bool stopped_ = false;
};

}  // namespace geocom

#endif
