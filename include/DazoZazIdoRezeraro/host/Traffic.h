#ifndef DAZOZAZIDOREZERARO_HOST_TRAFFIC_H
#define DAZOZAZIDOREZERARO_HOST_TRAFFIC_H

#include <chrono>
#include <functional>
#include <string_view>

/// @file
/// What a traffic tap sees: every piece of bytes that crosses a connection,
/// with its direction and the moment it crossed. A Session, a relay and the
/// virtual instrument's server all report through the same callback type,
/// so one capture writer serves them all.

namespace Core::GEOCOM::host {

/// Which way bytes went, seen from the side that reports them.
enum class TrafficDirection {
  kSent,      ///< Written to the peer.
  kReceived,  ///< Read from the peer.
};

/// One piece of traffic. The bytes are valid only during the callback.
struct TrafficEvent {
  TrafficDirection direction = TrafficDirection::kSent;  ///< Which way.
  std::string_view bytes;                      ///< The bytes, as they crossed.
  std::chrono::system_clock::time_point time;  ///< When they crossed.
  /// Which connection they crossed: 0 for a session's one connection, the
  /// client's number for a server with several.
  unsigned connection = 0;
};

/// Sees traffic as it happens; called on the connection's own strand, so it
/// must not block. A tap shared by several connections must be safe to call
/// from several threads.
using TrafficTap = std::function<void(const TrafficEvent&)>;

}  // namespace Core::GEOCOM::host

#endif
