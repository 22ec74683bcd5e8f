#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "codec/Compose.h"

namespace Core::GEOCOM {

namespace {

constexpr const char* kBareRequestFormat = "%%R1Q,%1%,%2%:\r\n";
constexpr const char* kRequestFormat = "%%R1Q,%1%,%2%:%3%\r\n";
constexpr const char* kReplyFormat = "%%R1P,%1%,%2%:%3%%4%\r\n";
// Every reply carries the leading code 0; recognition insists on it.
constexpr unsigned short kReplyLeadingCode = 0;

}  // namespace

unsigned short GeoComSentence::TakeSequenceID() {
  const unsigned short taken = sequenceID;
  sequenceID = static_cast<unsigned short>((sequenceID + 1) & 0x7FFF);
  return taken;
}

bool GeoComSentence::StoreComposed(std::string sentence) {
  // A composed sentence is never empty: empty means composing failed.
  if (sentence.empty()) {
    Reset();
    return false;
  }
  command = std::move(sentence);
  return true;
}

bool GeoComSentence::CreateRequest(unsigned short procedure) {
  type = TYPE_REQUEST;
  geocomID = procedure;
  seqID = TakeSequenceID();
  return StoreComposed(codec::Compose(kBareRequestFormat, geocomID, seqID));
}

bool GeoComSentence::CreateRequest(unsigned short procedure,
                                   std::string parameters) {
  type = TYPE_REQUEST;
  geocomID = procedure;
  seqID = TakeSequenceID();
  return StoreComposed(
      codec::Compose(kRequestFormat, geocomID, seqID, parameters));
}

bool GeoComSentence::CreateReply(unsigned short sequence, GRC_TYPE returnCode,
                                 std::string parameters) {
  type = TYPE_RESPONSE;
  seqID = sequence;
  geocomID = static_cast<unsigned short>(returnCode);
  return StoreComposed(codec::Compose(kReplyFormat, kReplyLeadingCode, seqID,
                                      geocomID, parameters));
}

}  // namespace Core::GEOCOM
