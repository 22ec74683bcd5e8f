#ifndef DAZOZAZIDOREZERARO_PYTHON_WAITING_H
#define DAZOZAZIDOREZERARO_PYTHON_WAITING_H

#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <pybind11/pybind11.h>

#include <chrono>

namespace Core::GEOCOM::python {

/// How often a thread that waits for a call looks for a signal (Ctrl-C).
inline constexpr std::chrono::milliseconds kSignalPollInterval{50};

/// Waits for the call without the GIL, which the caller holds, and returns
/// its reply or raises its error. Every kSignalPollInterval it takes the GIL
/// to run Python's signal handlers: one that raises (KeyboardInterrupt)
/// cancels the call, which ends at once and leaves the session usable, and
/// the exception propagates.
host::Reply WaitWithSignals(host::PendingCall call);

/// The error a failed call's error_code and reply make.
host::Error CallError(const boost::system::error_code& code,
                      const host::Reply& reply);

}  // namespace Core::GEOCOM::python

#endif
