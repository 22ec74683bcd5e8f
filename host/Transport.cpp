#include <DazoZazIdoRezeraro/host/Transport.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <boost/asio/error.hpp>
#include <cerrno>

namespace Core::GEOCOM::host {

std::size_t Transport::ReadSomeNow(boost::asio::mutable_buffer,
                                   boost::system::error_code& error) {
  error = boost::asio::error::operation_not_supported;
  return 0;
}

std::size_t Transport::WriteSomeNow(boost::asio::const_buffer,
                                    boost::system::error_code& error) {
  error = boost::asio::error::operation_not_supported;
  return 0;
}

std::size_t Transport::ReadSomeWaiting(boost::asio::mutable_buffer,
                                       std::chrono::nanoseconds,
                                       boost::system::error_code& error) {
  error = boost::asio::error::operation_not_supported;
  return 0;
}

namespace {

boost::system::error_code LastError() {
  return {errno, boost::system::system_category()};
}

// A read's or write's outcome as the stream's own operations give it: a
// read of nothing into room for something is the end of the stream.
std::size_t Moved(ssize_t moved, std::size_t room,
                  boost::system::error_code& error) {
  if (moved < 0) {
    error = LastError();
    return 0;
  }
  error = moved == 0 && room > 0 ? boost::asio::error::eof
                                 : boost::system::error_code();
  return static_cast<std::size_t>(moved);
}

}  // namespace

std::size_t detail::WaitingReads::Read(int descriptor,
                                       boost::asio::mutable_buffer buffer,
                                       std::chrono::nanoseconds bound,
                                       boost::system::error_code& error) {
  if (unsupported_) {
    error = boost::asio::error::operation_not_supported;
    return 0;
  }
  // A receive time-out of zero would mean no bound at all.
  const long microseconds = std::max<long>(
      1, static_cast<long>(
             std::chrono::ceil<std::chrono::microseconds>(bound).count()));
  if (microseconds != boundMicroseconds_) {
    const timeval limit{microseconds / 1000000, microseconds % 1000000};
    // Only a socket bounds a read this way; anything else is polled.
    if (::setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit,
                     sizeof limit) != 0) {
      unsupported_ = true;
      error = boost::asio::error::operation_not_supported;
      return 0;
    }
    boundMicroseconds_ = microseconds;
  }
  if (!blocking_) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      error = LastError();
      return 0;
    }
    blocking_ = true;
  }
  const ssize_t received = ::recv(descriptor, buffer.data(), buffer.size(), 0);
  // Linux answers a receive time-out with EAGAIN.
  if (received < 0 && errno == EAGAIN) {
    error = boost::asio::error::timed_out;
    return 0;
  }
  return Moved(received, buffer.size(), error);
}

std::size_t detail::WaitingReads::ReadNow(int descriptor,
                                          boost::asio::mutable_buffer buffer,
                                          boost::system::error_code& error) {
  return Moved(::recv(descriptor, buffer.data(), buffer.size(), MSG_DONTWAIT),
               buffer.size(), error);
}

std::size_t detail::WaitingReads::WriteNow(int descriptor,
                                           boost::asio::const_buffer buffer,
                                           boost::system::error_code& error) {
  // Nothing written is never the end of a stream.
  return Moved(::send(descriptor, buffer.data(), buffer.size(),
                      MSG_DONTWAIT | MSG_NOSIGNAL),
               0, error);
}

void detail::WaitingReads::Leave(int descriptor) {
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags >= 0) ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
  blocking_ = false;
}

bool PeerClosed(const boost::system::error_code& error) {
  namespace error_codes = boost::asio::error;
  return error == error_codes::eof || error == error_codes::connection_reset ||
         error == error_codes::broken_pipe ||
         error == error_codes::connection_aborted ||
         // A pseudo-terminal whose other side has gone answers EIO.
         error == boost::system::errc::io_error;
}

}  // namespace Core::GEOCOM::host
