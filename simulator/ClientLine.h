#ifndef DAZOZAZIDOREZERARO_SIMULATOR_CLIENTLINE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_CLIENTLINE_H

#include <DazoZazIdoRezeraro/host/Result.h>
#include <DazoZazIdoRezeraro/host/Transport.h>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Core::GEOCOM::simulator {

// The byte stream of one client of the server, a host transport with the
// line's policy on a peer that does not read built in, and what the server
// may do with it.
struct Line {
  std::unique_ptr<host::Transport> transport;
  // Whether closing it is something the peer sees (a pty stays open).
  bool canDisconnect = true;
  // Bytes of replies dropped so far because the peer did not read; empty
  // for a line whose writes wait for the peer instead.
  std::function<std::uint64_t()> dropped;
};

// Closes the transport under it when a write does not end within the limit:
// a peer that takes nothing for this long is not coming back.
std::unique_ptr<host::Transport> WithWriteDeadline(
    std::unique_ptr<host::Transport> inner, std::chrono::milliseconds limit);

// A TCP connection whose writes that do not end within the limit close it.
Line MakeTcpLine(boost::asio::ip::tcp::socket socket,
                 std::chrono::milliseconds writeTimeout);

// A pseudo-terminal: the master side, served, and the terminal side held
// open so that the line survives the hosts that open and close it.
struct PseudoTerminal {
  Line line;
  std::string path;  // the terminal side, which a host opens
};

// Opens a pseudo-terminal whose terminal side is raw. Its writes never
// wait: what does not fit while the host does not read is dropped.
host::Result<PseudoTerminal> OpenPseudoTerminal(
    const boost::asio::any_io_executor& executor);

}  // namespace Core::GEOCOM::simulator

#endif
