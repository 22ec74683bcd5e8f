#ifndef DAZOZAZIDOREZERARO_SIMULATOR_PAGESERVER_H
#define DAZOZAZIDOREZERARO_SIMULATOR_PAGESERVER_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"

/// @file
/// The web server behind the built-in pages (the live view, the monitor's
/// page): built-in files, a JSON API and a WebSocket feed at /feed, served
/// to the pages' own names and origins only.

namespace Core::GEOCOM::simulator {

class PageServerState;

/// How a PageServer treats its browsers and which page it serves.
struct PageServerOptions {
  /// Listening on an address that is not loopback is refused unless set.
  bool allowRemote = false;
  /// The names, besides the bound address and localhost, that browsers
  /// reach the server by; the port is the bound one. A request naming any
  /// other host is refused (403).
  std::vector<std::string> remoteNames;
  /// The largest request body read; a larger one gets 413.
  std::size_t maxBodyBytes = 16 * 1024;
  /// Messages waiting for one browser; a browser that falls further
  /// behind is dropped, so that it never slows the server.
  std::size_t maxQueuedMessages = 256;
  /// An HTTP client that sends nothing this long is closed.
  std::chrono::milliseconds idleTimeout{30000};
  /// What the server is called in its messages ("live view").
  std::string name = "live view";
  /// What a request that changes something changes ("the instrument").
  std::string steers = "the instrument";
  /// The built-in file served at "/".
  std::string index = "index.html";
  /// The built-in files served by name, index among them.
  std::vector<std::string> files = {"index.html", "live-view.js",
                                    "series.js", "page.css"};
};

/// A request of the API, past the checks on its Host, Origin and type.
struct PageRequest {
  std::string method;  ///< "GET", "PUT", ...
  std::string path;    ///< The target without its query, e.g. "/api/state".
  std::string body;    ///< The body as sent.
};

/// The API's answer: a JSON body.
struct PageAnswer {
  unsigned status = 200;  ///< The HTTP status.
  std::string json;       ///< The body.
  std::string allow;      ///< The methods allowed, for a 405.
};

/// What the page's own code does: its API and its feed.
struct PageHandlers {
  /// Answers a request whose path is not a file of the page; nullopt for
  /// none (404). Runs on the server's strand.
  std::function<std::optional<PageAnswer>(const PageRequest&)> api;
  /// A browser has opened the feed: returns the messages it is sent
  /// first, before any broadcast. Runs on the server's strand.
  std::function<std::vector<std::string>()> greeting;
};

/// Serves built-in pages over a host's io_context, on a strand of its own.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT PageServer {
 public:
  /// A server of the page; the handlers must outlive every handler the
  /// io_context still holds.
  PageServer(boost::asio::io_context& io, PageServerOptions options,
             PageHandlers handlers);
  /// Closes everything; call it when the io_context no longer runs, or on
  /// its thread.
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  /// Listens on "HOST:PORT" (port 0 lets the system choose); returns the
  /// bound address. Fails with kInvalidArgument for a bad address or one
  /// that is not loopback without allowRemote, or kIo. Call before the
  /// io_context runs.
  host::Result<std::string> Listen(std::string_view address);

  /// Sends the message to every open feed; call it on the strand.
  void Broadcast(std::shared_ptr<const std::string> message);

  /// Whether any browser has the feed open; call it on the strand.
  bool Watched() const;

  /// The strand everything of the server runs on.
  boost::asio::any_io_executor Executor() const;

  /// Stops listening and closes every connection; thread-safe.
  void Stop();

  /// Stops and closes at once; call it on the strand, or when the
  /// io_context no longer runs.
  void Close();

 private:
  std::shared_ptr<PageServerState> impl_;
};

}  // namespace Core::GEOCOM::simulator

#endif
