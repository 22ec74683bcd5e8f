#ifndef GEOCOM_TOOL_EXCHANGE_H
#define GEOCOM_TOOL_EXCHANGE_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <chrono>
#include <string>

#include "SentenceFramer.h"

namespace geocom {

enum class Outcome {
  kReply,             // a reply with the request's sequence number
  kTimeout,           // none within the procedure's time-out
  kClosed,            // the peer closed the connection first
  kSequenceMismatch,  // the first reply answers another request
  kIoError,
};

struct ExchangeResult {
  Outcome outcome = Outcome::kIoError;
  std::string request;          // the bytes sent
  unsigned short sequence = 0;  // the request's sequence number
  std::string replyBytes;       // the received bytes that held the reply
  Core::GEOCOM::GeoComSentence reply;
  int timeoutMs = 0;
  // From the request's first byte to the reply, or to the failure.
  std::chrono::duration<double, std::milli> roundTrip{0};
};

// The host side of a connection: one request, one reply at a time.
// Requests met in the received bytes (an echo) are passed over.
class HostSession {
 public:
  explicit HostSession(int fd) : fd_(fd) {}

  ExchangeResult Exchange(unsigned short procedure,
                          const std::string& parameters);

 private:
  int fd_;
  SentenceFramer framer_;
};

}  // namespace geocom

#endif
