// A whole exchange as a host runs it: compose a request, let an in-process
// "instrument" answer it, and recognise the reply from bytes that arrive in
// small pieces, the way a serial line delivers them.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_OK;

namespace {

constexpr unsigned short kGetInstrumentNumber = 5003;

std::vector<unsigned char> BytesOf(const Core::IProtocol& message) {
  const unsigned char* data = nullptr;
  int length = 0;
  message.GetBuffer(data, length);
  return std::vector<unsigned char>(data, data + length);
}

std::string Escaped(const std::vector<unsigned char>& bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    text += byte == '\r'   ? "\\r"
            : byte == '\n' ? "\\n"
                           : std::string(1, static_cast<char>(byte));
  }
  return text;
}

// The instrument's side: recognise the request and answer it.
std::vector<unsigned char> Answer(const std::vector<unsigned char>& request) {
  GeoComSentence received;
  int last = 0;
  if (!received.CreateMessageFromBuffer(
          request.data(), static_cast<int>(request.size()), last)) {
    return {};
  }
  GeoComSentence reply;
  reply.CreateReply(received.GetSequenceID(), GRC_OK, ",123456");
  return BytesOf(reply);
}

}  // namespace

int main() {
  GeoComSentence request;
  request.CreateRequest(kGetInstrumentNumber, request.PackGetInstrumentNo());
  const std::vector<unsigned char> requestBytes = BytesOf(request);
  std::cout << "request:  " << Escaped(requestBytes) << "  (wait at most "
            << request.GetTimeout() << " ms)\n";

  // Noise on the line before the reply, then the reply in 5-byte pieces.
  std::vector<unsigned char> line = {'~', '\0', '\n'};
  const std::vector<unsigned char> replyBytes = Answer(requestBytes);
  line.insert(line.end(), replyBytes.begin(), replyBytes.end());

  std::vector<unsigned char> received;
  GeoComSentence reply;
  bool recognised = false;
  constexpr std::size_t kChunk = 5;
  for (std::size_t offset = 0; offset < line.size() && !recognised;
       offset += kChunk) {
    const auto chunkEnd = line.begin() + static_cast<std::ptrdiff_t>(std::min(
                                             line.size(), offset + kChunk));
    received.insert(received.end(),
                    line.begin() + static_cast<std::ptrdiff_t>(offset),
                    chunkEnd);
    int last = 0;
    recognised = reply.CreateMessageFromBuffer(
        received.data(), static_cast<int>(received.size()), last);
    if (recognised) {
      std::cout << "reply:    "
                << Escaped(std::vector<unsigned char>(
                       received.begin(), received.begin() + last + 1))
                << "  (after " << received.size() << " bytes)\n";
      received.erase(received.begin(), received.begin() + last + 1);
    }
  }

  std::int32_t serialNumber = 0;
  if (!recognised || !reply.isResponseMessageValid() ||
      reply.GetSequenceID() != request.GetSequenceID() ||
      reply.GetRetCode() != GRC_OK ||
      !reply.UnPackGetInstrumentNo(serialNumber)) {
    std::cout << "the exchange failed\n";
    return 1;
  }
  std::cout << "sequence " << reply.GetSequenceID() << ", return code "
            << reply.GetRetCode() << ", instrument number " << serialNumber
            << '\n';
  return 0;
}
