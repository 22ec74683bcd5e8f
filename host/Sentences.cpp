#include <DazoZazIdoRezeraro/host/Sentences.h>

namespace Core::GEOCOM::host {

std::string SentenceBytes(const GeoComSentence& sentence) {
  const unsigned char* data = nullptr;
  int length = 0;
  sentence.GetBuffer(data, length);
  return std::string(reinterpret_cast<const char*>(data),
                     static_cast<std::size_t>(length));
}

std::string ReplyParameters(const GeoComSentence& reply) {
  std::string text = SentenceBytes(reply);
  if (!text.empty() && text.front() == ',') text.erase(0, 1);
  return text;
}

std::string ReplyBytes(unsigned short sequence, unsigned short returnCode,
                       const std::string& parameters) {
  GeoComSentence reply;
  reply.CreateReply(sequence, static_cast<GRC_TYPE>(returnCode), parameters);
  return SentenceBytes(reply);
}

}  // namespace Core::GEOCOM::host
