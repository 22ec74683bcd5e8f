#include <DazoZazIdoRezeraro/host/SerialPort.h>
#include <termios.h>

#include <boost/asio/write.hpp>
#include <utility>

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// tcflush is the one terminal call Asio does not wrap.
void DiscardReceived(asio::serial_port& port) {
  ::tcflush(port.native_handle(), TCIFLUSH);
}

}  // namespace

Result<std::unique_ptr<asio::serial_port>> OpenSerialPort(
    const asio::any_io_executor& executor, const std::string& device,
    unsigned baud) {
  auto port = std::make_unique<asio::serial_port>(executor);
  error_code error;
  port->open(device, error);
  if (error) {
    return Error{ErrorKind::kIo,
                 "cannot open " + device + ": " + error.message()};
  }
  using Option = asio::serial_port_base;
  port->set_option(Option::baud_rate(baud), error);
  if (error) {
    return Error{ErrorKind::kInvalidArgument, "cannot set " + device + " to " +
                                                  std::to_string(baud) +
                                                  " baud: " + error.message()};
  }
  port->set_option(Option::character_size(8), error);
  if (!error) port->set_option(Option::parity(Option::parity::none), error);
  if (!error) {
    port->set_option(Option::stop_bits(Option::stop_bits::one), error);
  }
  if (!error) {
    port->set_option(Option::flow_control(Option::flow_control::none), error);
  }
  if (error) {
    return Error{ErrorKind::kIo,
                 "cannot configure " + device + ": " + error.message()};
  }
  DiscardReceived(*port);
  return port;
}

void SerialTransport::DiscardInput() { DiscardReceived(stream()); }

struct SharedSerialLine::Line {
  std::unique_ptr<asio::serial_port> port;
  std::string name;
  bool lent = false;
};

namespace {

// One client's use of a shared line.
class SerialLoan final : public Transport {
 public:
  explicit SerialLoan(std::shared_ptr<SharedSerialLine::Line> line)
      : Transport(line->name), line_(std::move(line)) {}
  ~SerialLoan() override { Close(); }

  asio::any_io_executor Executor() override {
    return line_->port->get_executor();
  }
  void AsyncReadSome(asio::mutable_buffer buffer,
                     ReadHandler handler) override {
    line_->port->async_read_some(buffer, std::move(handler));
  }
  void AsyncWrite(asio::const_buffer buffer, WriteHandler handler) override {
    asio::async_write(*line_->port, buffer,
                      detail::WrittenAll{std::move(handler)});
  }
  void Cancel() override {
    error_code ignored;
    line_->port->cancel(ignored);
  }
  void Close() override {
    if (returned_) return;
    returned_ = true;
    Cancel();
    line_->lent = false;
  }
  void DiscardInput() override {
    if (line_->port->is_open()) DiscardReceived(*line_->port);
  }

 private:
  std::shared_ptr<SharedSerialLine::Line> line_;
  bool returned_ = false;
};

}  // namespace

SharedSerialLine::SharedSerialLine(std::unique_ptr<asio::serial_port> port,
                                   std::string name)
    : line_(std::make_shared<Line>(Line{std::move(port), std::move(name)})) {}

SharedSerialLine::~SharedSerialLine() { Close(); }

std::unique_ptr<Transport> SharedSerialLine::Lend() {
  if (line_->lent || !line_->port->is_open()) return nullptr;
  line_->lent = true;
  auto loan = std::make_unique<SerialLoan>(line_);
  loan->DiscardInput();
  return loan;
}

bool SharedSerialLine::Lent() const { return line_->lent; }

void SharedSerialLine::Close() {
  error_code ignored;
  line_->port->close(ignored);
}

}  // namespace Core::GEOCOM::host
