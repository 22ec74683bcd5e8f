#ifndef GEOCOM_TOOL_SERVER_H
#define GEOCOM_TOOL_SERVER_H

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Simulator.h"
#include "Transport.h"

namespace geocom {

// Serves a simulated instrument on loopback TCP (a thread per client) and on
// a pseudo-terminal, until Stop. Garbage between requests is skipped and a
// client that disconnects, mid-sentence or not, affects no other.
class Server {
 public:
  explicit Server(Simulator& simulator);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens; returns the bound address as HOST:PORT.
  std::string ListenTcp(const HostPort& endpoint);
  // Opens a pseudo-terminal in raw mode; returns the path of its terminal
  // side, which a host opens as its serial device.
  std::string OpenPty();
  // Starts serving what ListenTcp and OpenPty opened.
  void Start();
  void Stop();

 private:
  struct Client {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void Serve(int fd);
  void ReapFinishedClients();

  Simulator& simulator_;
  FileDescriptor listener_;
  FileDescriptor ptyMaster_;
  FileDescriptor ptyTerminal_;  // held open so the line survives its hosts
  FileDescriptor stopRead_;
  FileDescriptor stopWrite_;
  std::thread acceptThread_;
  std::thread ptyThread_;
  std::mutex clientsMutex_;
  std::list<Client> clients_;
};

}  // namespace geocom

#endif
