#ifndef DAZOZAZIDOREZERARO_HOST_LISTENER_H
#define DAZOZAZIDOREZERARO_HOST_LISTENER_H

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <functional>
#include <memory>

#include "Endpoint.h"
#include "Export.h"
#include "Result.h"

/// @file
/// A TCP listener for the servers a host runs: bound on the first address
/// a name resolves to that accepts it, loopback unless asked otherwise, and
/// an accept loop that pauses rather than spins when out of descriptors.

namespace Core::GEOCOM::host {

/// How Listen binds and accepts.
struct ListenOptions {
  /// Binding to an address that is not loopback is refused unless set:
  /// whoever reaches it is served.
  bool allowRemote = false;
  /// How long accepting pauses after a failed accept (out of descriptors
  /// or memory): the listener stays readable, so retrying at once spins.
  std::chrono::milliseconds acceptPause{100};
  /// Told of each failed accept before the pause; may be empty.
  std::function<void(const boost::system::error_code&)> acceptFailed;
};

class ListenerState;

/// A bound, listening TCP socket. Its operations and handlers run on the
/// executor it was made with; a strand keeps them in one line.
class DAZOZAZIDOREZERARO_HOST_EXPORT Listener {
 public:
  /// Receives each connection accepted.
  using AcceptHandler = std::function<void(boost::asio::ip::tcp::socket)>;

  /// The address bound, its port chosen by the system when 0 was asked.
  const Endpoint& Local() const;
  /// Accepts one connection and hands it to handler; a failed accept is
  /// retried after the pause. Nothing is called once closed.
  void AcceptOne(AcceptHandler handler);
  /// Accepts connections until closed, handing each to handler.
  void AcceptEach(AcceptHandler handler);
  /// Stops listening; call it on the executor.
  void Close();

 private:
  friend DAZOZAZIDOREZERARO_HOST_EXPORT Result<Listener> Listen(
      const boost::asio::any_io_executor&, const Endpoint&,
      const ListenOptions&);
  explicit Listener(std::shared_ptr<ListenerState> state);
  std::shared_ptr<ListenerState> state_;
};

/// Resolves endpoint (a name or an address, port 0 to let the system
/// choose) and listens on the first address that binds. Fails with
/// kInvalidArgument when an address is not loopback and
/// options.allowRemote is not set, or kIo, naming the endpoint.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Listener> Listen(
    const boost::asio::any_io_executor& executor, const Endpoint& endpoint,
    const ListenOptions& options = {});

}  // namespace Core::GEOCOM::host

#endif
