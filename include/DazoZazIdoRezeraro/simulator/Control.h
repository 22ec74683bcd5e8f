#ifndef DAZOZAZIDOREZERARO_SIMULATOR_CONTROL_H
#define DAZOZAZIDOREZERARO_SIMULATOR_CONTROL_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"
#include "Faults.h"
#include "Server.h"
#include "VirtualInstrument.h"

/// @file
/// Steering a running virtual instrument: the one API behind the live
/// view's page, its JSON API and the Python package.

namespace Core::GEOCOM::simulator {

class ControlState;

/// An exchange as the traffic log keeps it.
struct LoggedExchange {
  std::uint64_t number = 0;  ///< Counts from 1 in the order answered.
  Exchange exchange;         ///< What passed.
};

/// Totals of the traffic so far.
struct TrafficCounts {
  std::uint64_t calls = 0;  ///< Exchanges answered (or cut off).
  /// Exchanges each fault hit, by the fault's name.
  std::map<std::string, std::uint64_t> faults;
};

/// Moves prisms, sets fault rates, pauses and resets a virtual instrument
/// while a Server serves it, and keeps its traffic log. Thread-safe.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT InstrumentControl {
 public:
  /// How many exchanges the traffic log keeps, the latest.
  static constexpr std::size_t kTrafficKept = 1000;

  /// Controls instrument and faults, which must outlive it; served by
  /// server once Attach is called.
  InstrumentControl(VirtualInstrument& instrument, FaultInjector& faults);
  ~InstrumentControl();
  InstrumentControl(const InstrumentControl&) = delete;
  InstrumentControl& operator=(const InstrumentControl&) = delete;

  /// The callback to give ServerOptions::exchanges, so that the traffic
  /// log and the observers see every exchange; valid while this lives.
  std::function<void(const Exchange&)> Recorder();
  /// The server that serves the instrument, which must outlive this;
  /// pausing and the client list need it.
  void Attach(Server& server);

  /// Puts the prism at the position, standing still from now on; a
  /// measurement afterwards sees it there and a telescope locked onto it
  /// turns after it. Fails with kInvalidArgument, changing nothing, for an
  /// unknown id or a coordinate that is not finite or beyond
  /// kCoordinateLimit.
  host::Result<host::Done> MovePrism(std::string_view id,
                                     const Point& position);
  /// What the instrument is doing now.
  InstrumentView State();
  /// Replaces the random fault rates; fails with kInvalidArgument, keeping
  /// the old ones, as FaultInjector::SetRates does.
  host::Result<host::Done> SetFaultRates(FaultRates rates);
  /// The random fault rates in force.
  FaultRates Rates() const;
  /// Holds requests unanswered until Resume.
  void Pause();
  /// Answers the held requests, in order, and those that follow.
  void Resume();
  /// Whether answering is paused.
  bool Paused() const;
  /// Puts the instrument back as its scene makes it, and clears the
  /// injected faults; the rates stay.
  void Reset();
  /// The clients connected now, as Server::Clients names them.
  std::vector<std::string> Clients() const;
  /// The latest exchanges, oldest first, at most kTrafficKept.
  std::vector<LoggedExchange> Traffic() const;
  /// Totals of calls and of faults by kind.
  TrafficCounts Counts() const;

  /// Calls observer with every exchange from now on, on the thread that
  /// runs the server; returns the number Unsubscribe takes.
  std::uint64_t Subscribe(std::function<void(const LoggedExchange&)> observer);
  /// Stops calling the observer; it is not called once this returns.
  void Unsubscribe(std::uint64_t subscription);

 private:
  std::shared_ptr<ControlState> state_;
};

}  // namespace Core::GEOCOM::simulator

#endif
