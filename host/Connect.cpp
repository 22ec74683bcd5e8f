#include <DazoZazIdoRezeraro/host/Connect.h>

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <memory>
#include <utility>

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

// What one attempt holds until its handler has run; the timer, the resolver
// and the socket complete on one strand, so no lock is needed even when
// several threads run the context.
struct Attempt : std::enable_shared_from_this<Attempt> {
  Attempt(const asio::any_io_executor& executor, ConnectHandler done)
      : strand(asio::make_strand(executor)),
        resolver(executor),
        socket(executor),
        timer(executor),
        handler(std::move(done)) {}

  // Ends the attempt once: what is still running is stopped and completes
  // with an error that Complete then passes over.
  void Complete(const error_code& error) {
    if (!handler) return;
    ConnectHandler done = std::exchange(handler, nullptr);
    timer.cancel();
    resolver.cancel();
    error_code ignored;
    if (error) {
      socket.close(ignored);
    } else {
      socket.set_option(tcp::no_delay(true), ignored);
    }
    done(error, std::move(socket));
  }

  asio::strand<asio::any_io_executor> strand;
  tcp::resolver resolver;
  tcp::socket socket;
  asio::steady_timer timer;
  ConnectHandler handler;
};

}  // namespace

std::function<void()> AsyncConnectTcp(const asio::any_io_executor& executor,
                                      const Endpoint& endpoint,
                                      std::chrono::milliseconds bound,
                                      ConnectHandler handler) {
  auto attempt = std::make_shared<Attempt>(executor, std::move(handler));
  attempt->timer.expires_after(bound);
  attempt->timer.async_wait(
      asio::bind_executor(attempt->strand, [attempt](const error_code& error) {
        if (!error) attempt->Complete(asio::error::timed_out);
      }));
  attempt->resolver.async_resolve(
      endpoint.host, std::to_string(endpoint.port),
      asio::bind_executor(
          attempt->strand, [attempt](const error_code& error,
                                     const tcp::resolver::results_type& found) {
            if (error) return attempt->Complete(error);
            if (!attempt->handler) return;
            asio::async_connect(
                attempt->socket, found,
                asio::bind_executor(attempt->strand,
                                    [attempt](const error_code& connectError,
                                              const tcp::endpoint&) {
                                      attempt->Complete(connectError);
                                    }));
          }));
  return [weak = std::weak_ptr<Attempt>(attempt), strand = attempt->strand] {
    // On the attempt's strand, like every other step of it.
    asio::post(strand, [weak] {
      if (const auto live = weak.lock()) {
        live->Complete(asio::error::operation_aborted);
      }
    });
  };
}

std::string ConnectFailure(const Endpoint& endpoint,
                           std::chrono::milliseconds bound,
                           const error_code& error) {
  if (error == asio::error::timed_out) {
    return "cannot connect to " + endpoint.ToString() + " within " +
           std::to_string(bound.count()) + " ms";
  }
  return "cannot connect to " + endpoint.ToString() + ": " + error.message();
}

}  // namespace Core::GEOCOM::host
