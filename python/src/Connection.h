#ifndef DAZOZAZIDOREZERARO_PYTHON_CONNECTION_H
#define DAZOZAZIDOREZERARO_PYTHON_CONNECTION_H

#include <DazoZazIdoRezeraro/host/Session.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace Core::GEOCOM::python {

/// A host::Session on an event loop of its own, run by its own thread:
/// calls are started from any thread and complete on the loop's thread.
class Connection {
 public:
  using Completion = std::function<void(host::Result<host::Reply>)>;

  /// Connects to "HOST:PORT"; throws host::SessionError.
  static std::unique_ptr<Connection> Connect(std::string_view address,
                                             host::SessionOptions options);
  /// Opens the serial device; throws host::SessionError.
  static std::unique_ptr<Connection> OpenSerial(const std::string& device,
                                                unsigned baud,
                                                host::SessionOptions options);
  /// Closes the session and joins the loop's thread.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// Starts a call; completion runs on the loop's thread.
  void AsyncCall(unsigned short procedure, std::string_view parameters,
                 Completion completion, host::CallOptions options);
  host::SessionCounts Counts() const;
  std::string Name() const;
  /// Ends the connection; queued calls complete with kClosed. Idempotent.
  void Close();

 private:
  Connection();
  void Start(host::Session session);

  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
      work_;
  std::optional<host::Session> session_;
  std::string name_;
  std::thread loop_;
};

}  // namespace Core::GEOCOM::python

#endif
