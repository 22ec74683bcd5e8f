#include <DazoZazIdoRezeraro/host/Listener.h>

#include <boost/asio/steady_timer.hpp>

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using boost::system::error_code;
using tcp = asio::ip::tcp;

class ListenerState : public std::enable_shared_from_this<ListenerState> {
 public:
  ListenerState(const asio::any_io_executor& executor, ListenOptions given)
      : acceptor(executor), pause(executor), options(std::move(given)) {}

  void Accept(Listener::AcceptHandler handler, bool again) {
    acceptor.async_accept([self = shared_from_this(), handler, again](
                              const error_code& error, tcp::socket peer) {
      if (self->closed) return;
      if (error) {
        if (self->options.acceptFailed) self->options.acceptFailed(error);
        self->pause.expires_after(self->options.acceptPause);
        self->pause.async_wait(
            // Only Close cancels the pause.
            [self, handler, again](const error_code&) {
              if (!self->closed) self->Accept(handler, again);
            });
        return;
      }
      // The next accept is under way before the handler runs, so that a
      // handler that closes the listener ends it.
      if (again) self->Accept(handler, again);
      handler(std::move(peer));
    });
  }

  tcp::acceptor acceptor;
  asio::steady_timer pause;
  const ListenOptions options;
  Endpoint local;
  bool closed = false;
};

Listener::Listener(std::shared_ptr<ListenerState> state)
    : state_(std::move(state)) {}

const Endpoint& Listener::Local() const { return state_->local; }

void Listener::AcceptOne(AcceptHandler handler) {
  state_->Accept(std::move(handler), false);
}

void Listener::AcceptEach(AcceptHandler handler) {
  state_->Accept(std::move(handler), true);
}

void Listener::Close() {
  state_->closed = true;
  error_code ignored;
  state_->acceptor.close(ignored);
  state_->pause.cancel();
}

Result<Listener> Listen(const asio::any_io_executor& executor,
                        const Endpoint& endpoint,
                        const ListenOptions& options) {
  const auto failure = [&](ErrorKind kind, const std::string& why) {
    return Error(kind, "cannot listen on " + endpoint.ToString() + ": " + why);
  };
  error_code error;
  tcp::resolver resolver(executor);
  const tcp::resolver::results_type results = resolver.resolve(
      endpoint.host, std::to_string(endpoint.port),
      tcp::resolver::passive | tcp::resolver::numeric_service, error);
  if (error) return failure(ErrorKind::kIo, error.message());
  if (results.empty()) return failure(ErrorKind::kIo, "no address");
  if (!options.allowRemote) {
    for (const auto& entry : results) {
      if (!entry.endpoint().address().is_loopback()) {
        return failure(ErrorKind::kInvalidArgument,
                       entry.endpoint().address().to_string() +
                           " is not a loopback address, and listening "
                           "beyond this machine was not allowed");
      }
    }
  }
  auto state = std::make_shared<ListenerState>(executor, options);
  tcp::acceptor& acceptor = state->acceptor;
  for (const auto& entry : results) {
    error_code ignored;
    acceptor.close(ignored);
    error = {};
    acceptor.open(entry.endpoint().protocol(), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) acceptor.bind(entry.endpoint(), error);
    if (!error) {
      acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (!error) break;
  }
  tcp::endpoint bound;
  if (!error) bound = acceptor.local_endpoint(error);
  if (error) {
    error_code ignored;
    acceptor.close(ignored);
    return failure(ErrorKind::kIo, error.message());
  }
  state->local = {bound.address().to_string(), bound.port()};
  return Listener(std::move(state));
}

}  // namespace Core::GEOCOM::host
