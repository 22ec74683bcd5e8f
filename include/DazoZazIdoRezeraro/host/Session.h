#ifndef DAZOZAZIDOREZERARO_HOST_SESSION_H
#define DAZOZAZIDOREZERARO_HOST_SESSION_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Export.h"
#include "Result.h"
#include "Transport.h"

namespace Core::GEOCOM::host {

/// A reply paired with its request.
struct Reply {
  GeoComSentence sentence;  ///< The recognised reply, ready for the decoders.
  std::string request;      ///< The request's bytes as written.
  std::string bytes;        ///< The reply's bytes as received.
  unsigned short sequence = 0;  ///< The sequence number both carry.
  /// From the request's first byte written to the reply's last byte read.
  std::chrono::microseconds roundTrip{0};
};

/// How a Session behaves; every field has a sensible default.
struct SessionOptions {
  /// The bound on resolving and connecting.
  std::chrono::milliseconds connectTimeout{5000};
  /// How often a call that timed out is sent again, with a new sequence
  /// number and a new time-out.
  unsigned retries = 0;
  /// Throws away bytes that arrived before each request is written; what
  /// OpenSerial sets, since a serial line keeps what a peer sent earlier.
  bool discardBeforeRequest = false;
};

/// What may differ for one call.
struct CallOptions {
  /// Replaces the procedure's own time-out.
  std::optional<std::chrono::milliseconds> timeout;
  /// Replaces SessionOptions::retries.
  std::optional<unsigned> retries;
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

/// One connection to an instrument, with one request outstanding at a time.
///
/// A call writes its request and waits at most the procedure's time-out,
/// counted from the first byte written, whatever arrives meanwhile. Only the
/// reply that carries the request's sequence number answers it: replies to
/// other numbers (a late answer to a call that timed out) and echoed requests
/// are counted and passed over. Several threads may share a session; their
/// calls are served one after the other.
class DAZOZAZIDOREZERARO_HOST_EXPORT Session {
 public:
  /// The signature an AsyncCall completes with.
  using CallSignature = void(Result<Reply>);

  /// Connects to "HOST:PORT" within options.connectTimeout; throws
  /// SessionError (kInvalidArgument, kConnect or kIo) naming the address.
  static Session ConnectTcp(boost::asio::io_context& io,
                            std::string_view address,
                            SessionOptions options = {});

  /// Opens a serial device raw, 8 data bits, no parity, one stop bit, no
  /// flow control; throws SessionError naming the device or the baud rate.
  static Session OpenSerial(boost::asio::io_context& io,
                            const std::string& device, unsigned baud,
                            SessionOptions options = {});

  /// A session over a transport the host already owns.
  Session(boost::asio::io_context& io, std::unique_ptr<Transport> transport,
          SessionOptions options = {});

  /// A session over any Asio stream the host already owns; name says what it
  /// is connected to, for messages.
  template <typename Stream>
  static Session Over(boost::asio::io_context& io, Stream stream,
                      std::string name, SessionOptions options = {}) {
    return Session(io,
                   std::make_unique<StreamTransport<Stream>>(std::move(stream),
                                                             std::move(name)),
                   options);
  }

  /// Takes the other session's connection; the other is left empty.
  Session(Session&&) noexcept;
  /// Takes the other session's connection; the other is left empty.
  Session& operator=(Session&&) noexcept;
  /// Closes the connection once the calls already queued have ended.
  ~Session();

  /// Makes one call and waits for its reply, running the io_context on this
  /// thread until then. Do not call it from a handler of the same
  /// io_context. Returns the reply, or the error that ended the call: the
  /// reply's return code not 0 is an error of kind kReturnCode.
  Result<Reply> Call(unsigned short procedure, std::string_view parameters = {},
                     CallOptions options = {});

  /// Starts one call; token receives a Result<Reply> when it ends (a
  /// callback, boost::asio::use_future, ...). The io_context must be run.
  template <typename CompletionToken>
  auto AsyncCall(unsigned short procedure, std::string_view parameters,
                 CompletionToken&& token, CallOptions options = {}) {
    return boost::asio::async_initiate<CompletionToken, CallSignature>(
        [impl = impl_, procedure, options](auto handler, std::string text) {
          auto shared = std::make_shared<decltype(handler)>(std::move(handler));
          auto executor =
              boost::asio::get_associated_executor(*shared, Executor(*impl));
          auto work = boost::asio::make_work_guard(executor);
          Enqueue(*impl, procedure, std::move(text), options,
                  [shared, work](Result<Reply> result) mutable {
                    boost::asio::post(
                        work.get_executor(),
                        [shared, result = std::move(result)]() mutable {
                          (*shared)(std::move(result));
                        });
                    work.reset();
                  });
        },
        token, std::string(parameters));
  }

  /// Totals so far.
  SessionCounts Counts() const;

  /// What the session is connected to, e.g. "127.0.0.1:4000".
  std::string Name() const;

  /// Closes the connection; calls still queued fail with kClosed.
  void Close();

 private:
  class Impl;

  static boost::asio::any_io_executor Executor(Impl& impl);
  static void Enqueue(Impl& impl, unsigned short procedure,
                      std::string parameters, CallOptions options,
                      std::function<void(Result<Reply>)> completion);

  std::shared_ptr<Impl> impl_;
};

/// Composes a request under the lock that every session of the process
/// shares, since the core's sequence counter is process-wide. Fails with
/// kInvalidArgument when the core refuses the parameter text.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<GeoComSentence> ComposeRequest(
    unsigned short procedure, std::string_view parameters);

/// Moves the process-wide sequence counter so that the next request takes
/// the number start (modulo 32768); a tool that starts often uses it to
/// avoid reusing the numbers of a previous run on the same line.
DAZOZAZIDOREZERARO_HOST_EXPORT void StartSequenceAt(unsigned short start);

}  // namespace Core::GEOCOM::host

#endif
