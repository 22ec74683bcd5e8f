#ifndef GEOCOM_TOOL_TRANSPORT_H
#define GEOCOM_TOOL_TRANSPORT_H

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace geocom {

using Clock = std::chrono::steady_clock;

// A transport failure: the message says what failed and why.
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Owns one file descriptor.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

struct HostPort {
  std::string host;
  std::string port;
};

// "HOST:PORT", "[IPV6]:PORT"; throws std::invalid_argument.
HostPort ParseHostPort(const std::string& text);

// Puts the descriptor into non-blocking mode; throws TransportError.
void SetNonBlocking(int fd);

// Writes every byte before the deadline, waiting while the peer is slow;
// a second descriptor that becomes readable (a stop signal) ends the wait.
// Returns false on time-out, stop or error.
bool WriteAll(int fd, const std::string& bytes, Clock::time_point deadline,
              int stopFd = -1);

enum class ReadStatus { kData, kClosed, kTimeout, kError };

// Waits until bytes arrive, the peer closes or the deadline passes
// (Clock::time_point::max() waits without end).
ReadStatus ReadSome(int fd, char* buffer, std::size_t capacity,
                    std::size_t& received, Clock::time_point deadline,
                    int stopFd = -1);

// A connected TCP socket; throws TransportError.
FileDescriptor ConnectTcp(const HostPort& endpoint);

// A serial device opened raw, 8N1, at the baud rate; throws TransportError,
// std::invalid_argument for a baud rate the terminal interface lacks.
FileDescriptor OpenSerial(const std::string& device, int baud);

// Switches a terminal to raw 8N1 at the baud rate (0 keeps its speed).
void MakeRaw(int fd, int baud);

}  // namespace geocom

#endif
