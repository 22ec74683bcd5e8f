#ifndef DAZOZAZIDOREZERARO_HOST_CONNECT_H
#define DAZOZAZIDOREZERARO_HOST_CONNECT_H

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <functional>
#include <string>

#include "Endpoint.h"
#include "Export.h"

/// @file
/// Connecting to an instrument over TCP, name resolution included, within a
/// bound.

namespace Core::GEOCOM::host {

/// Receives the outcome of AsyncConnectTcp: success and the connected socket
/// (Nagle's delay off), or the error and a closed socket.
using ConnectHandler = std::function<void(const boost::system::error_code&,
                                          boost::asio::ip::tcp::socket)>;

/// Resolves the endpoint's host and connects to the first of its addresses
/// that answers, all within bound. The handler runs once, on a strand of
/// executor: with boost::asio::error::timed_out when the bound ran out, with
/// boost::asio::error::operation_aborted when the returned function was
/// called first. Calling that function after completion does nothing.
DAZOZAZIDOREZERARO_HOST_EXPORT std::function<void()> AsyncConnectTcp(
    const boost::asio::any_io_executor& executor, const Endpoint& endpoint,
    std::chrono::milliseconds bound, ConnectHandler handler);

/// One line for people on why AsyncConnectTcp failed: "cannot connect to
/// HOST:PORT within N ms" or "cannot connect to HOST:PORT: CAUSE".
DAZOZAZIDOREZERARO_HOST_EXPORT std::string ConnectFailure(
    const Endpoint& endpoint, std::chrono::milliseconds bound,
    const boost::system::error_code& error);

}  // namespace Core::GEOCOM::host

#endif
