#include "Server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "SentenceFramer.h"

namespace geocom {

using namespace Core::GEOCOM;

namespace {

// A write may wait this long for a client that does not read.
constexpr std::chrono::seconds kWriteTimeout(10);

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

std::string NumericAddress(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(address, length, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  const bool v6 = address->sa_family == AF_INET6;
  return (v6 ? "[" : "") + std::string(host) + (v6 ? "]:" : ":") + port;
}

}  // namespace

Server::Server(Simulator& simulator) : simulator_(simulator) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) < 0) {
    throw TransportError(SystemError("cannot create a pipe"));
  }
  stopRead_ = FileDescriptor(fds[0]);
  stopWrite_ = FileDescriptor(fds[1]);
}

Server::~Server() { Stop(); }

std::string Server::ListenTcp(const HostPort& endpoint) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* addresses = nullptr;
  const int status = getaddrinfo(endpoint.host.c_str(), endpoint.port.c_str(),
                                 &hints, &addresses);
  if (status != 0) {
    throw TransportError("cannot resolve " + endpoint.host + ": " +
                         gai_strerror(status));
  }
  FileDescriptor listener(socket(addresses->ai_family,
                                 addresses->ai_socktype | SOCK_CLOEXEC,
                                 addresses->ai_protocol));
  const int on = 1;
  const bool listening =
      listener.valid() &&
      setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) ==
          0 &&
      bind(listener.get(), addresses->ai_addr, addresses->ai_addrlen) == 0 &&
      listen(listener.get(), 16) == 0;
  freeaddrinfo(addresses);
  if (!listening) {
    throw TransportError(
        SystemError("cannot listen on " + endpoint.host + ":" + endpoint.port));
  }
  SetNonBlocking(listener.get());
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &length);
  listener_ = std::move(listener);
  return NumericAddress(reinterpret_cast<sockaddr*>(&bound), length);
}

std::string Server::OpenPty() {
  FileDescriptor master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  char path[PATH_MAX];
  if (!master.valid() || grantpt(master.get()) < 0 ||
      unlockpt(master.get()) < 0 ||
      ptsname_r(master.get(), path, sizeof path) != 0) {
    throw TransportError(SystemError("cannot open a pseudo-terminal"));
  }
  FileDescriptor terminal(open(path, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!terminal.valid()) {
    throw TransportError(SystemError(std::string("cannot open ") + path));
  }
  // Until a host configures the line, CR must not become LF nor be echoed.
  MakeRaw(terminal.get(), 0);
  SetNonBlocking(master.get());
  ptyMaster_ = std::move(master);
  ptyTerminal_ = std::move(terminal);
  return path;
}

void Server::Start() {
  if (listener_.valid()) {
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  }
  if (ptyMaster_.valid()) {
    ptyThread_ = std::thread([this] { Serve(ptyMaster_.get()); });
  }
}

void Server::Stop() {
  if (stopWrite_.valid()) {
    const char byte = 0;
    if (write(stopWrite_.get(), &byte, 1) < 0) {
      // The pipe cannot be full: Stop writes one byte, once.
    }
    stopWrite_ = FileDescriptor();
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  if (ptyThread_.joinable()) ptyThread_.join();
  const std::lock_guard<std::mutex> lock(clientsMutex_);
  for (Client& client : clients_) {
    if (client.thread.joinable()) client.thread.join();
  }
  clients_.clear();
}

void Server::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener_.get(), POLLIN, 0},
                     {stopRead_.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
    ReapFinishedClients();
    if (fds[0].revents == 0) continue;
    const int accepted = accept4(listener_.get(), nullptr, nullptr,
                                 SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (accepted < 0) {
      // Out of descriptors or memory: the listener stays readable, so pause
      // rather than spin until a client leaves.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS ||
          errno == ENOMEM) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    const std::lock_guard<std::mutex> lock(clientsMutex_);
    Client& client = clients_.emplace_back();
    client.thread = std::thread([this, accepted, &client] {
      const FileDescriptor connection(accepted);
      Serve(connection.get());
      client.done = true;
    });
  }
}

void Server::ReapFinishedClients() {
  const std::lock_guard<std::mutex> lock(clientsMutex_);
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (it->done) {
      it->thread.join();
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::Serve(int fd) {
  SentenceFramer framer;
  std::string piece;
  char chunk[4096];
  for (;;) {
    std::size_t received = 0;
    if (ReadSome(fd, chunk, sizeof chunk, received, Clock::time_point::max(),
                 stopRead_.get()) != ReadStatus::kData) {
      return;
    }
    framer.Append(chunk, received);
    while (framer.Next(piece)) {
      GeoComSentence request;
      int last = 0;
      if (!request.CreateMessageFromBuffer(
              reinterpret_cast<const unsigned char*>(piece.data()),
              static_cast<int>(piece.size()), last) ||
          request.GetType() != TYPE_REQUEST) {
        continue;
      }
      if (!WriteAll(fd, simulator_.Answer(request),
                    Clock::now() + kWriteTimeout, stopRead_.get())) {
        return;
      }
    }
  }
}

}  // namespace geocom
