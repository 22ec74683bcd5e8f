#ifndef DAZOZAZIDOREZERARO_CODEC_REPLYFIELDS_H
#define DAZOZAZIDOREZERARO_CODEC_REPLYFIELDS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

// How a structured decoder walks a reply: one cursor, one field after the
// other, through the sentence's positional reads. A field is named either by
// its target alone, which goes straight to the primitive read (a failed read
// leaves whatever that primitive leaves there), or by one of the descriptors
// below, which read into a zeroed temporary and write the target only when
// the read and its check passed.
namespace Core::GEOCOM::codec {

template <typename Target>
struct StoredField {
  Target& target;
};

// A 32-bit integer accepted only within [minimum, maximum].
template <typename Target>
struct RangedField {
  Target& target;
  int minimum;
  int maximum;
};

// A signed 16-bit value: any non-zero value is true.
struct FlagField {
  bool& target;
};

template <typename Target>
StoredField<Target> Stored(Target& target) {
  return {target};
}

template <typename Target>
RangedField<Target> Stored(Target& target, int minimum, int maximum) {
  return {target, minimum, maximum};
}

inline FlagField Flag(bool& target) { return {target}; }

class ReplyFields {
 public:
  explicit ReplyFields(const GeoComSentence& reply) : reply_(reply) {}

  template <typename Target>
  bool Read(Target& target) {
    return reply_.unPack(target, cursor_);
  }

  template <typename Target>
  bool Read(StoredField<Target> field) {
    Target value{};
    if (!reply_.unPack(value, cursor_)) {
      return false;
    }
    field.target = value;
    return true;
  }

  template <typename Target>
  bool Read(RangedField<Target> field) {
    int value = 0;
    if (!reply_.unPack(value, cursor_) || value < field.minimum ||
        value > field.maximum) {
      return false;
    }
    field.target = static_cast<Target>(value);
    return true;
  }

  bool Read(FlagField field) {
    short value = 0;
    if (!reply_.unPack(value, cursor_)) {
      return false;
    }
    field.target = value != 0;
    return true;
  }

  // Stops at the first field that fails: the targets after it stay untouched.
  template <typename... Fields>
  bool Each(Fields&&... fields) {
    return (Read(fields) && ...);
  }

  // Reads every field whatever the earlier ones gave; true when all passed.
  template <typename... Fields>
  bool Every(Fields&&... fields) {
    bool allRead = true;
    ((allRead = Read(fields) && allRead), ...);
    return allRead;
  }

 private:
  const GeoComSentence& reply_;
  unsigned short cursor_ = 0;
};

}  // namespace Core::GEOCOM::codec

#endif
