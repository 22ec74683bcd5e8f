// Replies of the central-service object listing and the file-transfer
// directory listing, one entry per reply.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "services/ReplyFields.h"

namespace Core::GEOCOM {

// Texts are found by their quotes and numbers by their commas, so the reply
// holds two quoted texts, two numbers and a quoted text, in that order.
bool GeoComSentence::UnPackCsvListResponse(std::string& first,
                                           std::string& second,
                                           unsigned short& firstNumber,
                                           unsigned short& secondNumber,
                                           std::string& third) const {
  services::ReplyFields fields(*this);
  return fields.Direct(first) && fields.Direct(second) &&
         fields.Stored(firstNumber, 0, 65535) &&
         fields.Stored(secondNumber, 0, 65535) && fields.Direct(third);
}

// The first parameter is a flag: any non-zero number is true.
bool GeoComSentence::UnPackFtrListResponse(bool& last,
                                           FTR_DIRINFO& entry) const {
  services::ReplyFields fields(*this);
  int lastFlag = 0;
  if (!fields.Direct(lastFlag)) {
    return false;
  }
  last = lastFlag != 0;
  if (!fields.Direct(entry.name) || !fields.Direct(entry.size)) {
    return false;
  }
  for (unsigned char& byte : entry.modTime) {
    if (!fields.Direct(byte)) {
      return false;
    }
  }
  for (unsigned char& byte : entry.modDate.parts) {
    if (!fields.Direct(byte)) {
      return false;
    }
  }
  return true;
}

}  // namespace Core::GEOCOM
