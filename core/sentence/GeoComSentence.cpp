#include <DazoZazIdoRezeraro/GeoComSentence.h>

namespace Core::GEOCOM {

unsigned short GeoComSentence::sequenceID = 0;

GeoComSentence::GeoComSentence()
    : type(TYPE_NONE),
      geocomID(0),
      command(),
      seqID(0),
      acceptUnterminatedReply(false) {}

GeoComSentence::GeoComSentence(unsigned short procedure) : GeoComSentence() {
  CreateRequest(procedure);
}

GeoComSentence::GeoComSentence(const GeoComSentence& other) = default;

GeoComSentence& GeoComSentence::operator=(const GeoComSentence& other) =
    default;

GeoComSentence::~GeoComSentence() = default;

std::shared_ptr<IProtocol> GeoComSentence::Copy() {
  auto clone = std::make_shared<GeoComSentence>(*this);
  clone->acceptUnterminatedReply = false;
  return clone;
}

void GeoComSentence::GetBuffer(const unsigned char*& data, int& length) const {
  data = reinterpret_cast<const unsigned char*>(command.data());
  length = static_cast<int>(command.size());
}

TYPE GeoComSentence::GetType() const { return type; }

unsigned short GeoComSentence::GetGeocomID() const { return geocomID; }

unsigned short GeoComSentence::GetRetCode() const { return geocomID; }

unsigned short GeoComSentence::GetSequenceID() const { return seqID; }

std::string GeoComSentence::GetStringCommand() const { return command; }

std::string GeoComSentence::GetGeocomCommand() {
  if (command.size() < 3) {
    return std::string();
  }
  return command.substr(0, command.size() - 2);
}

void GeoComSentence::ResetSequenceID() { sequenceID = 0; }

void GeoComSentence::SetAcceptUnterminatedReply(bool accept) {
  acceptUnterminatedReply = accept;
}

bool GeoComSentence::GetAcceptUnterminatedReply() const {
  return acceptUnterminatedReply;
}

void GeoComSentence::Reset() {
  type = TYPE_NONE;
  geocomID = 0;
  seqID = 0;
  command.clear();
}

}  // namespace Core::GEOCOM
