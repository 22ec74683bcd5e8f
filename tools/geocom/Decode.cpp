#include "Decode.h"

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>

#include "CommandTable.h"
#include "SentenceFramer.h"
#include "Text.h"
#include "Transport.h"

namespace geocom {

using namespace Core::GEOCOM;

namespace {

constexpr std::size_t kChunkSize = 4096;

struct RequestSeen {
  unsigned short procedure;
  int timeoutMs;
};

void PrintText(const GeoComSentence& sentence, const RequestSeen* request,
               std::ostream& out) {
  const bool isRequest = sentence.GetType() == TYPE_REQUEST;
  const Command* command =
      request != nullptr ? FindCommand(request->procedure) : nullptr;
  out << (isRequest ? "request" : "reply")
      << " seq=" << sentence.GetSequenceID()
      << (isRequest ? " procedure=" : " return-code=") << sentence.GetGeocomID()
      << " name=" << (command ? command->name : "-") << " timeout="
      << (request != nullptr ? std::to_string(request->timeoutMs) : "-")
      << " params=" << EscapeBytes(sentence.GetStringCommand()) << '\n';
}

void PrintJson(const GeoComSentence& sentence, const RequestSeen* request,
               std::ostream& out) {
  const bool isRequest = sentence.GetType() == TYPE_REQUEST;
  const Command* command =
      request != nullptr ? FindCommand(request->procedure) : nullptr;
  out << "{\"kind\":\"" << (isRequest ? "request" : "reply")
      << "\",\"sequence\":" << sentence.GetSequenceID()
      << (isRequest ? ",\"procedure\":" : ",\"return_code\":")
      << sentence.GetGeocomID()
      << ",\"name\":" << (command ? JsonString(command->name) : "null")
      << ",\"timeout_ms\":"
      << (request != nullptr ? std::to_string(request->timeoutMs) : "null")
      << ",\"parameters\":" << JsonString(sentence.GetStringCommand()) << "}\n";
}

}  // namespace

std::size_t DecodeCapture(int fd, bool json, std::ostream& out) {
  std::unordered_map<unsigned short, RequestSeen> requests;
  SentenceFramer framer;
  GeoComSentence sentence;
  std::string piece;
  char chunk[kChunkSize];
  std::size_t sentences = 0;
  for (;;) {
    const ssize_t count = read(fd, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      throw TransportError(std::string("cannot read the capture: ") +
                           std::strerror(errno));
    }
    if (count == 0) return sentences;
    framer.Append(chunk, static_cast<std::size_t>(count));
    while (framer.Next(piece)) {
      int last = 0;
      if (!sentence.CreateMessageFromBuffer(
              reinterpret_cast<const unsigned char*>(piece.data()),
              static_cast<int>(piece.size()), last)) {
        continue;
      }
      const RequestSeen* request = nullptr;
      if (sentence.GetType() == TYPE_REQUEST) {
        RequestSeen& seen = requests[sentence.GetSequenceID()];
        seen = {sentence.GetGeocomID(), sentence.GetTimeout()};
        request = &seen;
      } else {
        const auto found = requests.find(sentence.GetSequenceID());
        request = found != requests.end() ? &found->second : nullptr;
      }
      (json ? PrintJson : PrintText)(sentence, request, out);
      ++sentences;
    }
  }
}

}  // namespace geocom
