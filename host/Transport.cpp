#include <DazoZazIdoRezeraro/host/Transport.h>

#include <boost/asio/error.hpp>

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

bool PeerClosed(const boost::system::error_code& error) {
  namespace error_codes = boost::asio::error;
  return error == error_codes::eof || error == error_codes::connection_reset ||
         error == error_codes::broken_pipe ||
         error == error_codes::connection_aborted ||
         // A pseudo-terminal whose other side has gone answers EIO.
         error == boost::system::errc::io_error;
}

}  // namespace Core::GEOCOM::host
