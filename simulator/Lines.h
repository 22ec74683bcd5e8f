#ifndef DAZOZAZIDOREZERARO_SIMULATOR_LINES_H
#define DAZOZAZIDOREZERARO_SIMULATOR_LINES_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Core::GEOCOM::simulator {

// The byte stream of one client of the server: a TCP connection, or the
// master side of a pseudo-terminal. Handlers run on the line's executor.
class Line {
 public:
  using ReadHandler =
      std::function<void(const boost::system::error_code&, std::size_t)>;
  // Receives whether the connection is still usable.
  using WriteHandler = std::function<void(bool usable)>;

  virtual ~Line() = default;
  virtual void AsyncRead(boost::asio::mutable_buffer buffer,
                         ReadHandler handler) = 0;
  // Writes the bytes; see each line for what happens when the peer does
  // not read.
  virtual void Write(std::string bytes, WriteHandler handler) = 0;
  virtual void Close() = 0;
  // Whether closing it is something the peer sees (a pty stays open).
  virtual bool CanDisconnect() const = 0;
  // Bytes of replies dropped because the peer did not read.
  virtual std::uint64_t Dropped() const { return 0; }
};

// A TCP connection whose writes that do not end within the limit close it.
std::unique_ptr<Line> MakeTcpLine(boost::asio::ip::tcp::socket socket,
                                  std::chrono::milliseconds writeTimeout);

// A pseudo-terminal: the master side, served, and the terminal side held
// open so that the line survives the hosts that open and close it.
struct PseudoTerminal {
  std::unique_ptr<Line> line;
  std::string path;  // the terminal side, which a host opens
};

// Opens a pseudo-terminal whose terminal side is raw. Its writes never
// wait: what does not fit while the host does not read is dropped.
host::Result<PseudoTerminal> OpenPseudoTerminal(
    const boost::asio::any_io_executor& executor);

}  // namespace Core::GEOCOM::simulator

#endif
