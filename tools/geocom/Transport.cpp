#include "Transport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace geocom {

namespace {

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// The poll time-out for the deadline: -1 waits without end.
int MillisecondsUntil(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return -1;
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Rounded up, so that the wait never ends before the deadline.
  const auto milliseconds =
      std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(
      std::min<decltype(milliseconds)>(milliseconds, INT_MAX));
}

// Waits for the events on fd; false on time-out, stop or poll failure.
bool WaitFor(int fd, short events, Clock::time_point deadline, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int ready =
        poll(fds, stopFd >= 0 ? 2 : 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (stopFd >= 0 && fds[1].revents != 0)) return false;
    return true;
  }
}

speed_t BaudConstant(int baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      throw std::invalid_argument("unsupported baud rate " +
                                  std::to_string(baud));
  }
}

}  // namespace

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) close(fd_);
}

HostPort ParseHostPort(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
    throw std::invalid_argument("expected HOST:PORT, not '" + text + "'");
  }
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  return {host, text.substr(colon + 1)};
}

void SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    throw TransportError(
        SystemError("cannot make the descriptor non-blocking"));
  }
}

bool WriteAll(int fd, const std::string& bytes, Clock::time_point deadline,
              int stopFd) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count =
        write(fd, bytes.data() + written, bytes.size() - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline, stopFd)) return false;
    } else {
      return false;
    }
  }
  return true;
}

ReadStatus ReadSome(int fd, char* buffer, std::size_t capacity,
                    std::size_t& received, Clock::time_point deadline,
                    int stopFd) {
  for (;;) {
    const ssize_t count = read(fd, buffer, capacity);
    if (count > 0) {
      received = static_cast<std::size_t>(count);
      return ReadStatus::kData;
    }
    // A terminal whose other side has gone answers EIO.
    if (count == 0 || (count < 0 && errno == EIO)) return ReadStatus::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return ReadStatus::kError;
    if (!WaitFor(fd, POLLIN, deadline, stopFd)) return ReadStatus::kTimeout;
  }
}

FileDescriptor ConnectTcp(const HostPort& endpoint) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  const int status = getaddrinfo(endpoint.host.c_str(), endpoint.port.c_str(),
                                 &hints, &addresses);
  if (status != 0) {
    throw TransportError("cannot resolve " + endpoint.host + ":" +
                         endpoint.port + ": " + gai_strerror(status));
  }
  std::string failure = "no address";
  for (const addrinfo* address = addresses; address != nullptr;
       address = address->ai_next) {
    FileDescriptor socket_fd(socket(address->ai_family,
                                    address->ai_socktype | SOCK_CLOEXEC,
                                    address->ai_protocol));
    if (!socket_fd.valid()) {
      failure = std::strerror(errno);
      continue;
    }
    if (connect(socket_fd.get(), address->ai_addr, address->ai_addrlen) < 0) {
      failure = std::strerror(errno);
      continue;
    }
    freeaddrinfo(addresses);
    const int on = 1;
    setsockopt(socket_fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    SetNonBlocking(socket_fd.get());
    return socket_fd;
  }
  freeaddrinfo(addresses);
  throw TransportError("cannot connect to " + endpoint.host + ":" +
                       endpoint.port + ": " + failure);
}

void MakeRaw(int fd, int baud) {
  termios settings{};
  if (tcgetattr(fd, &settings) < 0) {
    throw TransportError(SystemError("not a terminal"));
  }
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (baud != 0) {
    const speed_t speed = BaudConstant(baud);
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
  }
  if (tcsetattr(fd, TCSANOW, &settings) < 0) {
    throw TransportError(SystemError("cannot configure the terminal"));
  }
}

FileDescriptor OpenSerial(const std::string& device, int baud) {
  BaudConstant(baud);
  FileDescriptor fd(
      open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    throw TransportError(SystemError("cannot open " + device));
  }
  MakeRaw(fd.get(), baud);
  // Bytes left over from an earlier session would be taken for the reply.
  tcflush(fd.get(), TCIOFLUSH);
  return fd;
}

}  // namespace geocom
