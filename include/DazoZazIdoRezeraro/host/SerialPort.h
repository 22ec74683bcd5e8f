#ifndef DAZOZAZIDOREZERARO_HOST_SERIALPORT_H
#define DAZOZAZIDOREZERARO_HOST_SERIALPORT_H

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/serial_port.hpp>
#include <memory>
#include <string>

#include "Export.h"
#include "Result.h"
#include "Transport.h"

/// @file
/// Serial lines: opening one the way an instrument expects, and the
/// transports over it.

namespace Core::GEOCOM::host {

/// Opens the device raw at the baud rate, 8 data bits, no parity, one stop
/// bit, no flow control, and throws away what it received before. Fails
/// with kIo naming the device when it cannot be opened or configured, and
/// with kInvalidArgument naming the device and the rate when the line
/// refuses the baud rate.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::unique_ptr<boost::asio::serial_port>>
OpenSerialPort(const boost::asio::any_io_executor& executor,
               const std::string& device, unsigned baud);

/// A serial line as a Transport: DiscardInput drops what the line received
/// but nobody read (a reply too late for its request).
class DAZOZAZIDOREZERARO_HOST_EXPORT SerialTransport final
    : public StreamTransport<boost::asio::serial_port> {
 public:
  using StreamTransport::StreamTransport;
  /// See Transport::DiscardInput.
  void DiscardInput() override;
};

/// A serial line kept open across clients and lent to one at a time: the
/// loan is a Transport whose Close cancels what the client started and
/// hands the line back, leaving it open for the next.
class DAZOZAZIDOREZERARO_HOST_EXPORT SharedSerialLine {
 public:
  /// Takes the open port over; name is the device, for messages.
  SharedSerialLine(std::unique_ptr<boost::asio::serial_port> port,
                   std::string name);
  ~SharedSerialLine();
  SharedSerialLine(const SharedSerialLine&) = delete;
  SharedSerialLine& operator=(const SharedSerialLine&) = delete;

  /// The line for one client, its input discarded first; nullptr while
  /// another loan is open or once the line is closed.
  std::unique_ptr<Transport> Lend();
  /// Whether a loan is open.
  bool Lent() const;
  /// Closes the line; an open loan's operations fail from now on.
  void Close();

  /// The line's state, shared with its loans so that a loan outliving the
  /// line fails instead of touching freed memory.
  struct Line;

 private:
  std::shared_ptr<Line> line_;
};

}  // namespace Core::GEOCOM::host

#endif
