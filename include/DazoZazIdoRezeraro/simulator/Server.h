#ifndef DAZOZAZIDOREZERARO_SIMULATOR_SERVER_H
#define DAZOZAZIDOREZERARO_SIMULATOR_SERVER_H

#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Result.h>

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"
#include "Responder.h"

/// @file
/// The virtual instrument served to host programs over TCP and a
/// pseudo-terminal, with the traffic log and limits on each client.

namespace Core::GEOCOM::simulator {

class ServerState;

/// One request and what was written in answer to it, as bytes and by
/// name (as the responder read and composed them; see ReplyPlan).
struct Exchange {
  std::string client;   ///< "HOST:PORT" of a TCP client, or "pty".
  std::string request;  ///< The request's bytes.
  std::string reply;    ///< Every byte written in answer; empty if none.
  std::string fault;    ///< The fault applied (its name), empty for none.
  Clock::time_point received;    ///< When the request was taken up.
  Clock::time_point answered;    ///< When the last write ended.
  unsigned short procedure = 0;  ///< The procedure the request calls.
  /// The request's arguments; nullopt when they were not read.
  std::optional<host::Fields> arguments;
  /// The reply's return code; nullopt when no whole reply was planned.
  std::optional<unsigned short> returnCode;
  /// The reply's values; nullopt when it carries none a host would read.
  std::optional<host::Fields> values;
};

/// How a Server treats its clients.
struct ServerOptions {
  /// Listening on an address that is not loopback is refused unless set:
  /// whoever reaches the port can steer the instrument.
  bool allowRemote = false;
  /// TCP clients served at once; one more is accepted and closed at once.
  std::size_t maxClients = 8;
  /// A TCP client that sends nothing this long, while no reply to it is
  /// under way, is closed, so that silent clients cannot hold every place;
  /// 0 for never.
  std::chrono::milliseconds idleTimeout{60000};
  /// A TCP client that does not take a reply within this is closed.
  std::chrono::milliseconds writeTimeout{10000};
  /// Receives every piece of traffic as it passes: requests and other
  /// bytes received, and each write of a reply with the fault applied.
  /// Called on the io_context's thread.
  std::function<void(host::CaptureRecord)> monitor;
  /// Receives each exchange once its answer is written (or cut off by a
  /// closed connection). Called on the io_context's thread.
  std::function<void(const Exchange&)> exchanges;
};

/// Totals of what a Server has done.
struct ServerCounts {
  std::uint64_t connections = 0;  ///< TCP clients accepted and served.
  std::uint64_t refused = 0;      ///< TCP clients closed beyond the cap.
  std::uint64_t requests = 0;     ///< Requests answered.
  std::uint64_t idleClosed = 0;   ///< TCP clients closed for idleness.
  /// Replies, or their ends, dropped because the pty's host did not read.
  std::uint64_t droppedReplies = 0;
};

/// Serves a responder on TCP (several clients) and on a pseudo-terminal,
/// over a host's io_context. Requests are framed with host::SentenceStream,
/// answered one at a time and in order on each connection, at the time the
/// previous answer has been written, and their plans written with timers.
/// Everything runs on one strand of the io_context.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Server {
 public:
  /// Serves responder, which must outlive the server and every handler the
  /// io_context still holds.
  Server(boost::asio::io_context& io, Responder& responder,
         ServerOptions options = {});
  /// Closes everything; call it when the io_context no longer runs, or on
  /// its thread.
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  /// Listens on "HOST:PORT" (port 0 lets the system choose); returns the
  /// bound address, e.g. "127.0.0.1:41234", or fails with kInvalidArgument
  /// (a bad address, or one that is not loopback without
  /// ServerOptions::allowRemote) or kIo naming the address. Call before the
  /// io_context runs.
  host::Result<std::string> ListenTcp(std::string_view address);

  /// Opens a pseudo-terminal in raw mode and serves its master side;
  /// returns the path a host opens as a serial device, or fails with kIo.
  /// Its writer drops replies that do not fit the line while the host does
  /// not read, and never closes it. Call before the io_context runs.
  host::Result<std::string> OpenPty();

  /// Stops listening and closes every connection and the pty; thread-safe.
  void Stop();

  /// Totals so far; thread-safe.
  ServerCounts Counts() const;

  /// Holds every request unanswered while paused; answering goes on, in
  /// order, on resuming. Thread-safe.
  void SetPaused(bool paused);
  /// Whether answering is paused; thread-safe.
  bool Paused() const;
  /// The clients connected now: "HOST:PORT" of each TCP client, and "pty"
  /// while a pty is served. Thread-safe.
  std::vector<std::string> Clients() const;

 private:
  std::shared_ptr<ServerState> impl_;
};

}  // namespace Core::GEOCOM::simulator

#endif
