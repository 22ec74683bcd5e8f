#include "Connection.h"

#include <boost/asio/post.hpp>
#include <utility>

namespace Core::GEOCOM::python {

Connection::Connection() : work_(io_.get_executor()) {}

std::unique_ptr<Connection> Connection::Connect(std::string_view address,
                                                host::SessionOptions options) {
  std::unique_ptr<Connection> connection(new Connection());
  connection->Start(
      host::Session::ConnectTcp(connection->io_, address, options));
  return connection;
}

std::unique_ptr<Connection> Connection::OpenSerial(
    const std::string& device, unsigned baud, host::SessionOptions options) {
  std::unique_ptr<Connection> connection(new Connection());
  connection->Start(
      host::Session::OpenSerial(connection->io_, device, baud, options));
  return connection;
}

void Connection::Start(host::Session session) {
  name_ = session.Name();
  session_.emplace(std::move(session));
  loop_ = std::thread([this] { io_.run(); });
}

Connection::~Connection() {
  Close();
  work_.reset();
  if (loop_.joinable()) loop_.join();
  session_.reset();
}

void Connection::AsyncCall(unsigned short procedure,
                           std::string_view parameters, Completion completion,
                           host::CallOptions options) {
  session_->AsyncCall(procedure, parameters, std::move(completion), options);
}

host::SessionCounts Connection::Counts() const { return session_->Counts(); }

std::string Connection::Name() const { return name_; }

void Connection::Close() {
  if (session_) session_->Close();
}

}  // namespace Core::GEOCOM::python
