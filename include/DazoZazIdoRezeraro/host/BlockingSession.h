#ifndef DAZOZAZIDOREZERARO_HOST_BLOCKINGSESSION_H
#define DAZOZAZIDOREZERARO_HOST_BLOCKINGSESSION_H

#include <boost/system/error_code.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Catalogue.h"
#include "Export.h"
#include "Session.h"

/// @file
/// The blocking session: the asynchronous Session on a private event loop
/// that the waiting thread runs itself, for programs that make one call
/// after the other. It never runs the caller's event loop.

namespace Core::GEOCOM::host {

/// A call started on a BlockingSession, to be waited for in slices (so that
/// a caller can look at other things meanwhile, such as an interrupt) or
/// cancelled. Movable; waiting and cancelling may happen from any thread.
class DAZOZAZIDOREZERARO_HOST_EXPORT PendingCall {
 public:
  /// Waits at most slice; true once the call has ended.
  bool WaitFor(std::chrono::milliseconds slice);
  /// Waits until the call has ended; it always does within its bound.
  void Wait();
  /// Asks the call to end at once with operation_aborted; the session stays
  /// usable and a late reply is passed over. Wait afterwards.
  void Cancel();
  /// The call's outcome once it has ended: the reply, whose diagnostics say
  /// what happened when error is set.
  Reply Take(boost::system::error_code& error);
  /// The reply once the call has ended; throws SessionError when it failed.
  Reply Take();

  /// The shared state of one call.
  struct State;
  /// A call whose outcome arrives in state.
  explicit PendingCall(std::shared_ptr<State> state);

 private:
  std::shared_ptr<State> state_;
};

/// One connection to an instrument, with a private event loop that nobody
/// runs but the threads waiting on it: a thread waiting for its call runs
/// the loop itself, so a call costs no hop to another thread and back. Every
/// call ends within its bound (the procedure's time-out from the first byte
/// written, times the tries, or the call's deadline), never runs an event
/// loop of the caller's, and may be made from several threads at once: the
/// calls are served one after the other, and one waiting thread runs the
/// loop for all of them.
class DAZOZAZIDOREZERARO_HOST_EXPORT BlockingSession {
 public:
  /// Connects to "HOST:PORT" within options.connectTimeout; throws
  /// SessionError (kInvalidArgument or kConnect) naming the address.
  static BlockingSession Connect(std::string_view address,
                                 SessionOptions options = {});

  /// Opens a serial device raw, 8N1, at the baud rate; throws SessionError
  /// naming the device or the baud rate.
  static BlockingSession OpenSerial(const std::string& device, unsigned baud,
                                    SessionOptions options = {});

  /// A session over a stream made on the executor make is given (the
  /// private loop's), or on a context the application runs; make is called
  /// on the calling thread and returns the Session to wrap.
  static BlockingSession Make(
      const std::function<Session(Session::executor_type)>& make);

  /// Moves the connection and its thread.
  BlockingSession(BlockingSession&&) noexcept;
  /// Moves the connection and its thread.
  BlockingSession& operator=(BlockingSession&&) noexcept;
  /// Closes the connection and ends every call still outstanding with
  /// kClosed before it returns. Called from inside a completion of the
  /// session's own AsyncCall, it returns at once and the loop ends those
  /// calls once the completion has returned.
  ~BlockingSession();

  /// Makes one call of the procedure with the parameter text and waits for
  /// it; throws SessionError when it fails (ErrorKind::kReturnCode for a
  /// return code other than 0).
  Reply Call(unsigned short procedure, std::string_view parameters = {},
             CallOptions options = {});
  /// The same, reporting a failure through error instead of throwing.
  Reply Call(unsigned short procedure, std::string_view parameters,
             CallOptions options, boost::system::error_code& error);

  /// The same, with the outcome as a Result: the reply, or the Error that
  /// ended the call (its returnCode and bytes set for kReturnCode).
  Result<Reply> TryCall(unsigned short procedure,
                        std::string_view parameters = {},
                        CallOptions options = {});

  /// Calls the catalogued procedure with named arguments (defaults filled
  /// in, each checked against the catalogue before anything is sent) and
  /// decodes its reply strictly into named values; throws SessionError.
  Fields Call(std::string_view procedure, const Fields& arguments,
              CallOptions options = {});

  /// Starts one call and returns at once.
  PendingCall Start(unsigned short procedure, std::string_view parameters,
                    CallOptions options = {});

  /// Starts one call; completion runs when it ends, on the thread then
  /// running the private loop: one waiting in a blocking call of this
  /// session, or a helper thread that lives only while asynchronous calls
  /// are outstanding. It must not block, but may start calls or destroy the
  /// session.
  void AsyncCall(unsigned short procedure, std::string_view parameters,
                 Session::Completion completion, CallOptions options = {});

  /// Totals so far.
  SessionCounts Counts() const;
  /// What the session is connected to.
  std::string Name() const;
  /// Closes the connection; calls still waiting end with kClosed.
  void Close();

 private:
  friend class PendingCall;
  struct Loop;
  explicit BlockingSession(std::shared_ptr<Loop> loop);
  std::shared_ptr<Loop> loop_;
};

}  // namespace Core::GEOCOM::host

#endif
