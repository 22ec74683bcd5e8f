#ifndef DAZOZAZIDOREZERARO_HOST_SESSION_H
#define DAZOZAZIDOREZERARO_HOST_SESSION_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <atomic>
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/cancellation_type.hpp>
#include <boost/asio/deferred.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "Errors.h"
#include "Export.h"
#include "Records.h"
#include "Result.h"
#include "Traffic.h"
#include "Transport.h"

/// @file
/// The asynchronous session: one connection to an instrument, calls in
/// Asio's conventions (completion tokens, handlers with an error_code first,
/// associated executors and per-call cancellation honoured).

namespace Core::GEOCOM::host {

/// How a Session behaves; every field has a sensible default.
struct SessionOptions {
  /// The bound on resolving and connecting.
  std::chrono::milliseconds connectTimeout{5000};
  /// How often a call that timed out is sent again, with a new sequence
  /// number and a new time-out.
  unsigned retries = 0;
  /// Throws away bytes that arrived before each request is written; what
  /// a serial line sets, since it keeps what a peer sent earlier.
  bool discardBeforeRequest = false;
  /// Sees every byte written and read, with its direction and time.
  TrafficTap tap;
};

/// What may differ for one call.
struct CallOptions {
  /// Replaces the procedure's own time-out, counted from the first byte
  /// written.
  std::optional<std::chrono::milliseconds> timeout;
  /// Replaces SessionOptions::retries.
  std::optional<unsigned> retries;
  /// Bounds the whole call, the wait behind other calls included; when it
  /// passes the call ends with ErrorKind::kTimeout.
  std::optional<std::chrono::milliseconds> deadline;
};

/// Totals of what a Session met while it waited for its replies.
struct SessionCounts {
  std::uint64_t calls = 0;         ///< Calls completed, successful or not.
  std::uint64_t timeouts = 0;      ///< Waits that ran out, retries included.
  std::uint64_t staleReplies = 0;  ///< Replies to other sequence numbers.
  std::uint64_t echoes = 0;        ///< Requests met in the received bytes.
  std::uint64_t noiseBytes = 0;    ///< Bytes outside any sentence.
  std::uint64_t unrecognised = 0;  ///< Lines the core did not accept.
  std::uint64_t droppedBytes = 0;  ///< Bytes of over-long lines dropped.
};

/// The longest parameter text a request may carry; a longer one is refused
/// before anything is sent, since no instrument takes a line that long.
inline constexpr std::size_t kMaxParameterBytes = 16384;

namespace detail {
/// Who waits for a call and where its reply is made. A thread that waits
/// and runs the session's event loop itself (a BlockingSession's): when the
/// call starts on that thread, it may write, wait for the reply and read it
/// right there, until the end of the thread's current wait, instead of going
/// through the event loop. An asynchronous call has no such thread, only a
/// place for its reply beside its handler.
struct CallWaiter {
  /// The thread waiting now; none for an asynchronous call.
  std::atomic<std::thread::id> thread{};
  /// When its current wait ends.
  std::atomic<std::chrono::steady_clock::time_point> until{};
  /// A default reply where the waiting thread keeps the outcome, for the
  /// session to make the reply there instead of moving one over; nullptr
  /// when the thread takes it from the completion.
  Reply* reply = nullptr;
};

/// How the session hands a call's outcome over. mayDispatch is false while
/// the session is inside an initiating function (the call failed on the
/// spot), where the handler must be posted; otherwise it may run at once.
using CallCompletion =
    std::function<void(boost::system::error_code, Reply&&, bool mayDispatch)>;
}  // namespace detail

/// One connection to an instrument, with one request outstanding at a time.
///
/// A call writes its request and waits at most the procedure's time-out,
/// counted from the first byte written, whatever arrives meanwhile. Only the
/// reply that carries the request's sequence number answers it: replies to
/// other numbers (a late answer to a call that timed out or was cancelled)
/// and echoed requests are counted and passed over. Calls are served one
/// after the other, from any thread. While a reply is awaited, the session
/// composes the next request: the call queued next, or the same call again
/// when it repeats the one before it (a loop that polls). Requests are
/// numbered in the order they are made, so only a loop of one call that
/// turns to another leaves a gap of one number. The session never runs an
/// event loop: its executor's context must be run by the application
/// (BlockingSession runs one of its own).
///
/// A call completes with (error_code, Reply): an ErrorKind value of
/// SessionCategory(), or boost::asio::error::operation_aborted when it was
/// cancelled through its handler's cancellation slot; the reply's
/// diagnostics say what happened. A cancelled call leaves the session
/// usable. Closing or destroying the session completes every call still
/// queued or waiting with kClosed, exactly once.
class DAZOZAZIDOREZERARO_HOST_EXPORT Session {
 public:
  /// The executor the session's work runs on.
  using executor_type = boost::asio::any_io_executor;
  /// The signature a call completes with.
  using CallSignature = void(boost::system::error_code, Reply);
  /// The signature a connection completes with.
  using ConnectSignature = void(boost::system::error_code, Session);

  /// An empty session: every call fails with kClosed.
  Session() = default;

  /// A session over a transport the host already owns.
  Session(std::unique_ptr<Transport> transport, SessionOptions options = {});

  /// A session over any Asio stream the host already owns; name says what it
  /// is connected to, for messages.
  template <typename Stream>
  static Session Over(Stream stream, std::string name,
                      SessionOptions options = {}) {
    return Session(std::make_unique<StreamTransport<Stream>>(std::move(stream),
                                                             std::move(name)),
                   options);
  }

  /// Resolves and connects to "HOST:PORT" within options.connectTimeout;
  /// completes with (error_code, Session). A bad address completes with
  /// kInvalidArgument, a refusal or the bound with kConnect, a cancellation
  /// through the handler's slot (of any type) with operation_aborted; the
  /// empty session of a failure names the address and the cause in
  /// Failure(). Without a token it returns a deferred operation.
  template <typename CompletionToken = boost::asio::deferred_t>
  static auto AsyncConnect(executor_type executor, std::string address,
                           SessionOptions options,
                           CompletionToken&& token = CompletionToken()) {
    return boost::asio::async_initiate<CompletionToken, ConnectSignature>(
        [](auto handler, executor_type on, std::string where,
           SessionOptions with) {
          auto stop = std::make_shared<LateStop>();
          auto slot = boost::asio::get_associated_cancellation_slot(handler);
          if (slot.is_connected()) {
            slot.assign([stop](boost::asio::cancellation_type type) {
              if (type != boost::asio::cancellation_type::none) stop->Request();
            });
          }
          auto work = boost::asio::make_work_guard(
              boost::asio::get_associated_executor(handler, on));
          auto shared = std::make_shared<decltype(handler)>(std::move(handler));
          stop->Arm(StartConnect(
              on, std::move(where), std::move(with),
              [shared, work](boost::system::error_code error, Session session,
                             std::string) mutable {
                // The handler and its work guard move into the posted
                // function, so both are released on the handler's own thread.
                auto target = work.get_executor();
                boost::asio::post(
                    target,
                    [shared = std::move(shared), error, work = std::move(work),
                     session = std::move(session)]() mutable {
                      (*shared)(error, std::move(session));
                      work.reset();
                    });
              }));
        },
        token, std::move(executor), std::move(address), std::move(options));
  }

  /// Opens a serial device raw, 8 data bits, no parity, one stop bit, no
  /// flow control; throws SessionError naming the device or the baud rate.
  static Session OpenSerial(executor_type executor, const std::string& device,
                            unsigned baud, SessionOptions options = {});

  /// Takes the other session's connection; the other is left empty.
  Session(Session&&) noexcept;
  /// Takes the other session's connection; the other is left empty.
  Session& operator=(Session&&) noexcept;
  /// Closes the connection: calls still queued or waiting end with kClosed.
  ~Session();

  /// Starts one call of the procedure with the parameter text; token
  /// receives (error_code, Reply) when it ends (a callback, use_future,
  /// use_awaitable, as_tuple, a parallel group, ...; without a token the
  /// call is returned as a deferred operation). A return code other than 0
  /// ends the call with kReturnCode and the reply. The handler runs on its
  /// associated executor (the session's when it has none). Cancellation
  /// through its slot ends the call with operation_aborted as Asio defines
  /// the types: total and partial only while the call is queued, before its
  /// first byte is written (nothing reached the instrument); terminal at
  /// any time, the late reply then passed over.
  template <typename CompletionToken = boost::asio::deferred_t>
  auto AsyncCall(unsigned short procedure, std::string_view parameters,
                 CompletionToken&& token = CompletionToken(),
                 CallOptions options = {}) {
    return boost::asio::async_initiate<CompletionToken, CallSignature>(
        [this](auto handler, unsigned short number, std::string text,
               CallOptions with) {
          // The session's own executor may belong to a context already
          // destroyed: it is asked for only while the session is alive.
          auto work =
              boost::asio::make_work_guard(boost::asio::get_associated_executor(
                  handler, CompletionExecutor()));
          const std::uint64_t id = NewCallId();
          auto slot = boost::asio::get_associated_cancellation_slot(handler);
          if (slot.is_connected() && id != 0) {
            slot.assign(
                [cancel = Canceller(id)](boost::asio::cancellation_type type) {
                  cancel(type);
                });
          }
          // The session makes the reply where the handler is kept, so that
          // it is not moved from one function object to the next.
          using Handler = decltype(handler);
          struct Held {
            explicit Held(Handler&& taken) : call(std::move(taken)) {
              waiter.reply = &reply;
            }
            Handler call;
            Reply reply;
            detail::CallWaiter waiter;
          };
          auto shared = std::make_shared<Held>(std::move(handler));
          std::shared_ptr<const detail::CallWaiter> destination(
              shared, &shared->waiter);
          Enqueue(
              id, number, std::move(text), with,
              [shared, work](boost::system::error_code error, Reply&& reply,
                             bool mayDispatch) mutable {
                // A failure's reply comes another way.
                if (&reply != &shared->reply) shared->reply = std::move(reply);
                // The handler and its work guard move into the function
                // handed over, so both are released on the handler's own
                // thread. Outside an initiating function the handler runs at
                // once when its executor allows it.
                auto target = work.get_executor();
                auto deliver = [shared = std::move(shared), error,
                                work = std::move(work)]() mutable {
                  shared->call(error, std::move(shared->reply));
                  work.reset();
                };
                if (mayDispatch) {
                  boost::asio::dispatch(target, std::move(deliver));
                } else {
                  boost::asio::post(target, std::move(deliver));
                }
              },
              std::move(destination));
        },
        token, procedure, std::string(parameters), options);
  }

  /// The executor the session's work runs on; a default-constructed
  /// executor for an empty session.
  executor_type get_executor() const;

  /// Totals so far.
  SessionCounts Counts() const;

  /// What the session is connected to, e.g. "127.0.0.1:4000".
  std::string Name() const;

  /// Whether the session has a connection that was not closed.
  bool IsOpen() const;

  /// Why the session is empty when it came from a failed AsyncConnect: the
  /// message naming the address and the cause; empty otherwise.
  const std::string& Failure() const { return failure_; }

  /// Closes the connection; calls still queued or waiting end with kClosed.
  void Close();

  /// Receives a call's outcome on the session's strand.
  using Completion = std::function<void(boost::system::error_code, Reply)>;
  /// Receives a connection's outcome and its diagnostics.
  using ConnectCompletion =
      std::function<void(boost::system::error_code, Session, std::string)>;

  /// What AsyncConnect runs, with the diagnostics as a third argument: the
  /// message naming the address and the cause. Returns what stops the
  /// attempt early (completing it with operation_aborted); calling it after
  /// completion does nothing.
  static std::function<void()> StartConnect(executor_type executor,
                                            std::string address,
                                            SessionOptions options,
                                            ConnectCompletion completion);

  /// Stops an operation whose stopping function is known only once it has
  /// started: a request made earlier is kept and acted on by Arm.
  class DAZOZAZIDOREZERARO_HOST_EXPORT LateStop {
   public:
    /// Stops the operation now, or as soon as it is armed.
    void Request();
    /// Gives the function that stops the operation.
    void Arm(std::function<void()> stop);

   private:
    std::mutex mutex_;
    bool requested_ = false;
    std::function<void()> stop_;
  };

 private:
  friend class BlockingSession;
  class Impl;

  std::uint64_t NewCallId() const;
  executor_type CompletionExecutor() const;
  // completion runs on the session's strand; waiter, when given, may make
  // the call on its own thread. startHere says that the calling thread has
  // the session's context to itself (nobody runs it meanwhile), so that the
  // call may start right here instead of going round the context's queue.
  void Enqueue(std::uint64_t id, unsigned short procedure,
               std::string parameters, CallOptions options,
               detail::CallCompletion completion,
               std::shared_ptr<const detail::CallWaiter> waiter = nullptr,
               bool startHere = false);
  std::function<void(boost::asio::cancellation_type)> Canceller(
      std::uint64_t id) const;

  std::shared_ptr<Impl> impl_;
  std::string failure_;
};

/// Composes a request under the lock that every session of the process
/// shares, since the core's sequence counter is process-wide. Fails with
/// kInvalidArgument when the parameter text is longer than
/// kMaxParameterBytes, holds a CR, or the core refuses it.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<GeoComSentence> ComposeRequest(
    unsigned short procedure, std::string_view parameters);

/// Moves the process-wide sequence counter so that the next request takes
/// the number start (modulo kSequenceNumbers); a tool that starts often uses
/// it to avoid reusing the numbers of a previous run on the same line.
DAZOZAZIDOREZERARO_HOST_EXPORT void StartSequenceAt(unsigned short start);

/// Starts the sequence counter at a random number: a late reply left on the
/// line by an earlier run then carries a number this run is unlikely to use.
DAZOZAZIDOREZERARO_HOST_EXPORT void StartSequenceAtRandom();

}  // namespace Core::GEOCOM::host

#endif
