#include "Exchange.h"

#include "Transport.h"

namespace geocom {

using namespace Core::GEOCOM;

namespace {

std::string Bytes(const GeoComSentence& sentence) {
  const unsigned char* data = nullptr;
  int length = 0;
  sentence.GetBuffer(data, length);
  return std::string(reinterpret_cast<const char*>(data),
                     static_cast<std::size_t>(length));
}

}  // namespace

ExchangeResult HostSession::Exchange(unsigned short procedure,
                                     const std::string& parameters) {
  ExchangeResult result;
  GeoComSentence request;
  if (!request.CreateRequest(procedure, parameters)) {
    return result;
  }
  result.request = Bytes(request);
  result.sequence = request.GetSequenceID();
  result.timeoutMs = request.GetTimeout();
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline =
      start + std::chrono::milliseconds(result.timeoutMs);
  const auto finish = [&](Outcome outcome) {
    result.outcome = outcome;
    result.roundTrip = Clock::now() - start;
    return result;
  };
  if (!WriteAll(fd_, result.request, deadline)) {
    return finish(Clock::now() >= deadline ? Outcome::kTimeout
                                           : Outcome::kIoError);
  }

  std::string piece;
  char chunk[4096];
  for (;;) {
    while (framer_.Next(piece)) {
      int last = 0;
      if (!result.reply.CreateMessageFromBuffer(
              reinterpret_cast<const unsigned char*>(piece.data()),
              static_cast<int>(piece.size()), last) ||
          !result.reply.isResponseMessageValid()) {
        continue;
      }
      result.replyBytes = piece;
      return finish(result.reply.GetSequenceID() == result.sequence
                        ? Outcome::kReply
                        : Outcome::kSequenceMismatch);
    }
    std::size_t received = 0;
    switch (ReadSome(fd_, chunk, sizeof chunk, received, deadline)) {
      case ReadStatus::kData:
        framer_.Append(chunk, received);
        break;
      case ReadStatus::kClosed:
        return finish(Outcome::kClosed);
      case ReadStatus::kTimeout:
        return finish(Outcome::kTimeout);
      case ReadStatus::kError:
        return finish(Outcome::kIoError);
    }
  }
}

}  // namespace geocom
