#ifndef DAZO_TESTS_HOST_SCRIPTEDPEER_H
#define DAZO_TESTS_HOST_SCRIPTEDPEER_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// An instrument that does what a test tells it, on a loopback port: for each
// request it receives it performs the test's steps, so that a host can be
// driven against late, duplicated, noisy, split, flooding or vanishing
// replies.
class ScriptedPeer {
 public:
  struct Step {
    std::chrono::milliseconds delay{0};
    std::string bytes;
    bool close = false;
  };
  using Script =
      std::function<std::vector<Step>(const Core::GEOCOM::GeoComSentence&)>;

  // Serves one connection at a time; with readRequests false it accepts and
  // then never reads.
  explicit ScriptedPeer(Script script, bool readRequests = true);
  ~ScriptedPeer();

  std::string Address() const;
  // A socket of the context connected to this peer, for a session on a
  // context the test runs.
  boost::asio::ip::tcp::socket Connect(boost::asio::io_context& context) const;
  int RequestsSeen() const { return requests_; }

  // The reply a well-behaved instrument gives: the request's sequence number,
  // and the parameters behind the return code's comma.
  static std::string ReplyTo(const Core::GEOCOM::GeoComSentence& request,
                             unsigned short returnCode = 0,
                             const std::string& parameters = "");

 private:
  void Serve();

  Script script_;
  bool readRequests_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

#endif
