#ifndef DAZOZAZIDOREZERARO_HOST_TRANSPORT_H
#define DAZOZAZIDOREZERARO_HOST_TRANSPORT_H

#include <boost/asio/any_completion_handler.hpp>
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/associator.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "Export.h"

/// @file
/// The byte stream under a session: sockets, serial ports, pseudo-terminals
/// or any Asio stream a host owns.

namespace Core::GEOCOM::host {

/// The byte stream under a Session: a socket, a serial port, a pty, or any
/// Asio stream a host already owns. Every operation completes through the
/// handler's associated executor (the stream's when it has none), and
/// honours the handler's cancellation slot, so that a session on a strand
/// sees its completions on that strand whatever thread runs the context.
class DAZOZAZIDOREZERARO_HOST_EXPORT Transport {
 public:
  /// Receives the error and how many bytes were read.
  using ReadHandler = boost::asio::any_completion_handler<void(
      boost::system::error_code, std::size_t)>;
  /// Receives the error, or success once every byte is written.
  using WriteHandler =
      boost::asio::any_completion_handler<void(boost::system::error_code)>;

  virtual ~Transport();

  /// The executor the stream's operations complete on.
  virtual boost::asio::any_io_executor Executor() = 0;
  /// Reads some bytes into the buffer.
  virtual void AsyncReadSome(boost::asio::mutable_buffer buffer,
                             ReadHandler handler) = 0;
  /// Writes all of the buffer.
  virtual void AsyncWrite(boost::asio::const_buffer buffer,
                          WriteHandler handler) = 0;
  /// Cancels the outstanding read and write; their handlers still run.
  virtual void Cancel() = 0;
  /// Closes the stream.
  virtual void Close() = 0;
  /// Throws away bytes received but not yet read, where the stream can.
  virtual void DiscardInput() {}
  /// Tells the peer no more bytes will come while still reading its bytes
  /// (a TCP half-close); false where the stream cannot say that (a serial
  /// line), so that the caller has to close instead.
  virtual bool ShutdownSend() { return false; }
  /// The descriptor a thread may wait on with poll() for bytes to read,
  /// after which ReadSomeNow and WriteSomeNow move bytes without waiting;
  /// -1 where the stream has none, or moves its bytes a way of its own
  /// that only the asynchronous operations take.
  virtual int PollableDescriptor() { return -1; }
  /// Reads what has arrived without waiting for more; would_block when
  /// nothing has. Only where PollableDescriptor is not -1.
  virtual std::size_t ReadSomeNow(boost::asio::mutable_buffer buffer,
                                  boost::system::error_code& error);
  /// Writes what the stream takes now, without waiting; would_block when it
  /// takes nothing. Only where PollableDescriptor is not -1.
  virtual std::size_t WriteSomeNow(boost::asio::const_buffer buffer,
                                   boost::system::error_code& error);
  /// Reads, waiting at most about `bound` for bytes to arrive: one system
  /// call where poll() and a read take two. timed_out when nothing came,
  /// interrupted when a signal came first; operation_not_supported where
  /// the stream cannot wait this way (the caller polls instead). Only where
  /// PollableDescriptor is not -1.
  virtual std::size_t ReadSomeWaiting(boost::asio::mutable_buffer buffer,
                                      std::chrono::nanoseconds bound,
                                      boost::system::error_code& error);
  /// What the stream is connected to, for messages ("127.0.0.1:4000").
  const std::string& Name() const { return name_; }

 protected:
  /// Names the stream for messages.
  explicit Transport(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
};

/// Whether a read or write error means the peer has gone (end of stream, a
/// reset or aborted connection, a broken pipe, a pseudo-terminal whose other
/// side closed) rather than a fault of the system.
DAZOZAZIDOREZERARO_HOST_EXPORT bool PeerClosed(
    const boost::system::error_code& error);

namespace detail {
/// Passes a whole write's outcome on without its byte count, keeping the
/// handler's associated executor and cancellation slot.
struct WrittenAll {
  Transport::WriteHandler handler;  ///< The handler of the whole write.
  /// Hands the outcome on, the byte count left out.
  void operator()(const boost::system::error_code& error, std::size_t) {
    std::move(handler)(error);
  }
};

template <typename Stream, typename = void>
struct CanMoveBytesNow : std::false_type {};
template <typename Stream>
struct CanMoveBytesNow<
    Stream, std::void_t<decltype(std::declval<Stream&>().non_blocking(
                            true, std::declval<boost::system::error_code&>())),
                        decltype(int{std::declval<Stream&>().native_handle()})>>
    : std::true_type {};

/// A descriptor that a thread reads from waiting in the read itself: it is
/// switched to blocking reads for that and back before anything else
/// touches it, since the event loop expects it not to block.
class DAZOZAZIDOREZERARO_HOST_EXPORT WaitingReads {
 public:
  /// Reads from the descriptor, waiting at most about bound; see
  /// Transport::ReadSomeWaiting.
  std::size_t Read(int descriptor, boost::asio::mutable_buffer buffer,
                   std::chrono::nanoseconds bound,
                   boost::system::error_code& error);
  /// Reads what has arrived, without waiting.
  std::size_t ReadNow(int descriptor, boost::asio::mutable_buffer buffer,
                      boost::system::error_code& error);
  /// Writes what the descriptor takes now, without waiting.
  std::size_t WriteNow(int descriptor, boost::asio::const_buffer buffer,
                       boost::system::error_code& error);
  /// Makes the descriptor non-blocking again, as the event loop needs it.
  void Leave(int descriptor);
  /// Whether the descriptor waits in reads now.
  bool Blocking() const { return blocking_; }

 private:
  bool blocking_ = false;
  bool unsupported_ = false;
  long boundMicroseconds_ = -1;
};

template <typename Stream, typename = void>
struct CanShutdown : std::false_type {};
template <typename Stream>
struct CanShutdown<
    Stream,
    std::void_t<decltype(std::declval<Stream&>().shutdown(
        Stream::shutdown_send, std::declval<boost::system::error_code&>()))>>
    : std::true_type {};
}  // namespace detail

/// A Transport over any Asio stream with async_read_some, async_write_some,
/// cancel and close.
template <typename Stream>
class StreamTransport : public Transport {
 public:
  /// Takes the stream over; name says what it is connected to.
  StreamTransport(Stream stream, std::string name)
      : Transport(std::move(name)), stream_(std::move(stream)) {}

  /// See Transport::Executor.
  boost::asio::any_io_executor Executor() override {
    return stream_.get_executor();
  }
  /// See Transport::AsyncReadSome.
  void AsyncReadSome(boost::asio::mutable_buffer buffer,
                     ReadHandler handler) override {
    LeaveWaitingReads();
    stream_.async_read_some(buffer, std::move(handler));
  }
  /// See Transport::AsyncWrite.
  void AsyncWrite(boost::asio::const_buffer buffer,
                  WriteHandler handler) override {
    LeaveWaitingReads();
    boost::asio::async_write(stream_, buffer,
                             detail::WrittenAll{std::move(handler)});
  }
  /// See Transport::Cancel.
  void Cancel() override {
    boost::system::error_code ignored;
    stream_.cancel(ignored);
  }
  /// See Transport::ShutdownSend: a socket passes the half-close on.
  bool ShutdownSend() override {
    if constexpr (detail::CanShutdown<Stream>::value) {
      boost::system::error_code error;
      stream_.shutdown(Stream::shutdown_send, error);
      return !error;
    } else {
      return false;
    }
  }
  /// See Transport::Close.
  void Close() override {
    boost::system::error_code ignored;
    stream_.close(ignored);
  }
  /// See Transport::PollableDescriptor: a socket's or a descriptor's own,
  /// unless a class derived from this one moves the bytes its own way.
  int PollableDescriptor() override {
    if constexpr (detail::CanMoveBytesNow<Stream>::value) {
      if (typeid(*this) != typeid(StreamTransport) || !stream_.is_open()) {
        return -1;
      }
      if (!nonBlocking_) {
        boost::system::error_code error;
        stream_.non_blocking(true, error);
        if (error) return -1;
        nonBlocking_ = true;
      }
      return stream_.native_handle();
    } else {
      return -1;
    }
  }
  /// See Transport::ReadSomeNow.
  std::size_t ReadSomeNow(boost::asio::mutable_buffer buffer,
                          boost::system::error_code& error) override {
    if constexpr (detail::CanMoveBytesNow<Stream>::value) {
      if (waitingReads_.Blocking()) {
        return waitingReads_.ReadNow(stream_.native_handle(), buffer, error);
      }
      return stream_.read_some(buffer, error);
    } else {
      return Transport::ReadSomeNow(buffer, error);
    }
  }
  /// See Transport::WriteSomeNow.
  std::size_t WriteSomeNow(boost::asio::const_buffer buffer,
                           boost::system::error_code& error) override {
    if constexpr (detail::CanMoveBytesNow<Stream>::value) {
      if (waitingReads_.Blocking()) {
        return waitingReads_.WriteNow(stream_.native_handle(), buffer, error);
      }
      return stream_.write_some(buffer, error);
    } else {
      return Transport::WriteSomeNow(buffer, error);
    }
  }
  /// See Transport::ReadSomeWaiting.
  std::size_t ReadSomeWaiting(boost::asio::mutable_buffer buffer,
                              std::chrono::nanoseconds bound,
                              boost::system::error_code& error) override {
    if constexpr (detail::CanMoveBytesNow<Stream>::value) {
      if (nonBlocking_ && stream_.is_open()) {
        return waitingReads_.Read(stream_.native_handle(), buffer, bound,
                                  error);
      }
    }
    return Transport::ReadSomeWaiting(buffer, bound, error);
  }

 protected:
  /// The stream, for transports that do more with it.
  Stream& stream() { return stream_; }

 private:
  void LeaveWaitingReads() {
    if constexpr (detail::CanMoveBytesNow<Stream>::value) {
      if (waitingReads_.Blocking()) {
        waitingReads_.Leave(stream_.native_handle());
      }
    }
  }

  Stream stream_;
  bool nonBlocking_ = false;
  detail::WaitingReads waitingReads_;
};

}  // namespace Core::GEOCOM::host

namespace boost::asio {
/// A whole write's handler keeps what is associated with the handler it
/// wraps.
template <template <typename, typename> class Associator,
          typename DefaultCandidate>
struct associator<Associator, Core::GEOCOM::host::detail::WrittenAll,
                  DefaultCandidate>
    : Associator<Core::GEOCOM::host::Transport::WriteHandler,
                 DefaultCandidate> {
  /// What the wrapped handler has associated.
  static typename Associator<Core::GEOCOM::host::Transport::WriteHandler,
                             DefaultCandidate>::type
  get(const Core::GEOCOM::host::detail::WrittenAll& written,
      const DefaultCandidate& candidate = DefaultCandidate()) noexcept {
    return Associator<Core::GEOCOM::host::Transport::WriteHandler,
                      DefaultCandidate>::get(written.handler, candidate);
  }
};
}  // namespace boost::asio

#endif
