#ifndef DAZOZAZIDOREZERARO_MEASUREMENT_FIELDREADS_H
#define DAZOZAZIDOREZERARO_MEASUREMENT_FIELDREADS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

// Reads consecutive reply fields into a list of targets, so that a decoder
// reads as the list of its fields. A plain target (double, 32-bit integer,
// 16-bit unsigned, text) is handed to the primitive read itself; the wrappers
// below read into a temporary and write their target only as they say.
namespace Core::GEOCOM::measurement {

// A signed 16-bit field: any non-zero value is true.
struct FlagField {
  bool& target;
};

// A signed 16-bit field widened into the telescope face.
struct FaceField {
  TMC_FACE_TYPE& target;
};

// An integer field that must be 0 or 1; written only then.
struct SwitchField {
  ON_OFF_TYPE& target;
};

template <typename Target>
bool ReadField(const GeoComSentence& reply, unsigned short& cursor,
               Target& target) {
  return reply.unPack(target, cursor);
}

inline bool ReadField(const GeoComSentence& reply, unsigned short& cursor,
                      FlagField field) {
  short value = 0;
  if (!reply.unPack(value, cursor)) {
    return false;
  }
  field.target = value != 0;
  return true;
}

inline bool ReadField(const GeoComSentence& reply, unsigned short& cursor,
                      FaceField field) {
  short value = 0;
  if (!reply.unPack(value, cursor)) {
    return false;
  }
  field.target = static_cast<TMC_FACE_TYPE>(value);
  return true;
}

inline bool ReadField(const GeoComSentence& reply, unsigned short& cursor,
                      SwitchField field) {
  int value = 0;
  if (!reply.unPack(value, cursor) || (value != 0 && value != 1)) {
    return false;
  }
  field.target = static_cast<ON_OFF_TYPE>(value);
  return true;
}

// Stops at the first field that fails: the targets after it stay untouched.
template <typename... Targets>
bool ReadEach(const GeoComSentence& reply, unsigned short& cursor,
              Targets&&... targets) {
  return (ReadField(reply, cursor, targets) && ...);
}

// Reads every field whatever the earlier ones gave; true when all succeeded.
template <typename... Targets>
bool ReadEvery(const GeoComSentence& reply, unsigned short& cursor,
               Targets&&... targets) {
  bool allRead = true;
  ((allRead = ReadField(reply, cursor, targets) && allRead), ...);
  return allRead;
}

}  // namespace Core::GEOCOM::measurement

#endif
