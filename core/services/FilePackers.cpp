// Requests of the central-service listing, file-transfer, upload and date
// commands.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "codec/Compose.h"

namespace Core::GEOCOM {

std::string GeoComSentence::PackCsvSetupList(CSV_DEVICETYPE device,
                                             CSV_OBJECTTYPE object) const {
  return codec::Compose("%1%,%2%", device, object);
}

std::string GeoComSentence::PackCsvDelete2(CSV_DEVICETYPE device,
                                           CSV_OBJECTTYPE object,
                                           std::string name) const {
  return codec::Compose("%1%,%2%,\"%3%\"", device, object, name);
}

std::string GeoComSentence::PackFtrSetupList(FTR_DEVICETYPE device,
                                             FTR_FILETYPE fileType,
                                             std::string path) const {
  return codec::Compose("%1%,%2%,\"%3%\"", device, fileType, path);
}

// The date bytes are widened so that the hex directive renders numbers, not
// characters.
std::string GeoComSentence::PackFtrDelete(FTR_DEVICETYPE device,
                                          FTR_FILETYPE fileType,
                                          FTR_MODDATE date,
                                          std::string name) const {
  return codec::Compose("%1%,%2%,'%3$02x','%4$02x','%5$02x',\"%6%\"", device,
                        fileType, static_cast<unsigned short>(date.parts[0]),
                        static_cast<unsigned short>(date.parts[1]),
                        static_cast<unsigned short>(date.parts[2]), name);
}

// Device -1 names no device, and the request then carries no device field.
std::string GeoComSentence::PackUploadObject(LOD_OBJECT object,
                                             std::string name,
                                             LOD_DEVICETYPE device) const {
  if (device == LOD_DEVICE_NONE) {
    return codec::Compose("%1%,\"%2%\"", object, name);
  }
  return codec::Compose("%1%,\"%2%\",%3%", object, name, device);
}

std::string GeoComSentence::PackRequestSetDateTime(DATIME dateTime) const {
  return codec::Compose(
      "%1%,'%2$02x','%3$02x','%4$02x','%5$02x','%6$02x'",
      static_cast<unsigned short>(dateTime.year),
      static_cast<short>(dateTime.month), static_cast<short>(dateTime.day),
      static_cast<short>(dateTime.hour), static_cast<short>(dateTime.minute),
      static_cast<short>(dateTime.second));
}

}  // namespace Core::GEOCOM
