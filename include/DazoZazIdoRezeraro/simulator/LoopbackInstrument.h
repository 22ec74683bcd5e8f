#ifndef DAZOZAZIDOREZERARO_SIMULATOR_LOOPBACKINSTRUMENT_H
#define DAZOZAZIDOREZERARO_SIMULATOR_LOOPBACKINSTRUMENT_H

#include <cstdint>
#include <memory>
#include <string>

#include "Control.h"
#include "Export.h"
#include "Faults.h"
#include "LiveView.h"
#include "Scene.h"
#include "Server.h"
#include "VirtualInstrument.h"

/// @file
/// A virtual instrument on a loopback port and a thread of its own, for a
/// host's tests.

namespace Core::GEOCOM::simulator {

/// What a LoopbackInstrument is made of.
struct LoopbackOptions {
  Scene scene = DefaultScene();  ///< The scene.
  std::uint64_t seed = 0;        ///< Seeds the noise and the faults.
  FaultRates faults;             ///< Random fault rates.
  FaultTiming faultTiming;       ///< The times faults are made of.
  bool pty = false;              ///< Serve a pseudo-terminal as well.
  ServerOptions server;          ///< How clients are treated.
  /// Serve the live view and its JSON API on this "HOST:PORT" as well
  /// (e.g. "127.0.0.1:0"); empty for none.
  std::string http;
  LiveViewOptions liveView;  ///< How the live view treats its browsers.
};

/// A virtual instrument served on 127.0.0.1 at a port the system chooses
/// (and on a pty when asked), on a thread of its own: what a host's test
/// starts in its fixture and connects to with host::Session.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT LoopbackInstrument {
 public:
  /// Starts serving; throws host::SessionError when the fault rates are
  /// bad (kInvalidArgument) or it cannot listen or open the pty (kIo).
  explicit LoopbackInstrument(LoopbackOptions options = {});
  /// Stops serving and joins the thread.
  ~LoopbackInstrument();
  LoopbackInstrument(const LoopbackInstrument&) = delete;
  LoopbackInstrument& operator=(const LoopbackInstrument&) = delete;

  /// The TCP address, e.g. "127.0.0.1:41234".
  const std::string& Address() const;
  /// The pty's path; empty unless options.pty was set.
  const std::string& PtyPath() const;
  /// The instrument, e.g. to ask where a prism is now.
  VirtualInstrument& Instrument();
  /// The faults applied to its replies, e.g. to inject one into a procedure.
  FaultInjector& Faults();
  /// What the server has done so far.
  ServerCounts Counts() const;

  /// Moves prisms, sets fault rates, pauses, resets; the traffic log.
  InstrumentControl& Control();

  /// The live view's address, e.g. "127.0.0.1:41235"; empty unless
  /// options.http was set.
  const std::string& HttpAddress() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace Core::GEOCOM::simulator

#endif
