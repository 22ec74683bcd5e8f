// Replies of the central-service object listing and the file-transfer
// directory listing, one entry per reply.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "codec/ReplyFields.h"

namespace Core::GEOCOM {

using codec::ReplyFields;
using codec::Stored;

// Texts are found by their quotes and numbers by their commas, so the reply
// holds two quoted texts, two numbers and a quoted text, in that order.
bool GeoComSentence::UnPackCsvListResponse(std::string& first,
                                           std::string& second,
                                           unsigned short& firstNumber,
                                           unsigned short& secondNumber,
                                           std::string& third) const {
  return ReplyFields(*this).Each(first, second, Stored(firstNumber, 0, 65535),
                                 Stored(secondNumber, 0, 65535), third);
}

// The first parameter is a 32-bit flag, any non-zero number being true;
// unlike the 16-bit flags of the measurement replies it has no range check.
bool GeoComSentence::UnPackFtrListResponse(bool& last,
                                           FTR_DIRINFO& entry) const {
  ReplyFields fields(*this);
  int lastFlag = 0;
  if (!fields.Read(lastFlag)) {
    return false;
  }
  last = lastFlag != 0;
  return fields.Each(entry.name, entry.size, entry.modTime[0], entry.modTime[1],
                     entry.modTime[2], entry.modTime[3], entry.modDate.parts[0],
                     entry.modDate.parts[1], entry.modDate.parts[2]);
}

}  // namespace Core::GEOCOM
