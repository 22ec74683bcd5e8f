#ifndef DAZOZAZIDOREZERARO_SIMULATOR_LIVEVIEW_H
#define DAZOZAZIDOREZERARO_SIMULATOR_LIVEVIEW_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Control.h"
#include "Export.h"
#include "PageServer.h"

/// @file
/// A page that shows a running virtual instrument live, and a JSON API to
/// steer it, served over HTTP and WebSocket; docs/live-view.md describes
/// both.

namespace Core::GEOCOM::simulator {

class LiveViewState;

/// How a LiveView treats its browsers.
struct LiveViewOptions {
  /// Listening on an address that is not loopback is refused unless set.
  bool allowRemote = false;
  /// The names, besides the bound address and localhost, that browsers
  /// reach the view by (e.g. "survey-laptop.local"); the port is the
  /// bound one. A request naming any other host is refused (403), so that
  /// a site whose name is pointed at this address cannot use it.
  std::vector<std::string> remoteNames;
  /// The largest request body the API reads; a larger one gets 413.
  std::size_t maxBodyBytes = 16 * 1024;
  /// Messages waiting for one browser; a browser that falls further
  /// behind is dropped, so that it never slows the instrument.
  std::size_t maxQueuedMessages = 256;
  /// How often the instrument's state is sent to each browser.
  std::chrono::milliseconds statePeriod{50};
  /// An HTTP client that sends nothing this long is closed.
  std::chrono::milliseconds idleTimeout{30000};
};

/// Serves the live view's page, its WebSocket feed and the JSON API of a
/// controlled instrument over a host's io_context, on a strand of its own.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT LiveView {
 public:
  /// Serves control, which must outlive the view and every handler the
  /// io_context still holds.
  LiveView(boost::asio::io_context& io, InstrumentControl& control,
           LiveViewOptions options = {});
  /// Closes everything; call it when the io_context no longer runs, or on
  /// its thread.
  ~LiveView();
  LiveView(const LiveView&) = delete;
  LiveView& operator=(const LiveView&) = delete;

  /// Listens on "HOST:PORT" (port 0 lets the system choose); returns the
  /// bound address, e.g. "127.0.0.1:41235". Fails with kInvalidArgument for
  /// a bad address or one that is not loopback without allowRemote, or
  /// kIo. Call before the io_context runs.
  host::Result<std::string> Listen(std::string_view address);

  /// Shows more on the page than the instrument (a job's results): the
  /// handlers answer the API paths the view does not, and a browser that
  /// opens the feed is sent their greeting after the instrument's state.
  /// Call before Listen.
  void Extend(PageHandlers more);

  /// Sends the message to every browser with the feed open; thread-safe.
  void Publish(std::shared_ptr<const std::string> message);

  /// The strand the view and its handlers run on.
  boost::asio::any_io_executor Executor() const;

  /// Stops listening and closes every connection; thread-safe.
  void Stop();

 private:
  std::shared_ptr<LiveViewState> impl_;
};

}  // namespace Core::GEOCOM::simulator

#endif
