#ifndef DAZOZAZIDOREZERARO_SERVICES_REPLYFIELDS_H
#define DAZOZAZIDOREZERARO_SERVICES_REPLYFIELDS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

namespace Core::GEOCOM::services {

// Walks a reply's parameters in order with one cursor, through the
// sentence's primitive reads. Two ways of storing, since decoders differ in
// what a failed read may leave behind:
// - Direct hands the caller's target to the primitive, so a failed read
//   leaves whatever the primitive left there;
// - Stored reads into a zeroed temporary and writes the target only when the
//   read (and the range check, if any) passed.
class ReplyFields {
 public:
  explicit ReplyFields(const GeoComSentence& sentence) : sentence_(sentence) {}

  template <typename Target>
  bool Direct(Target& target) {
    return sentence_.unPack(target, cursor_);
  }

  template <typename Target>
  bool Stored(Target& target) {
    Target value{};
    if (!sentence_.unPack(value, cursor_)) {
      return false;
    }
    target = value;
    return true;
  }

  // Reads a 32-bit integer and accepts it only within [minimum, maximum].
  template <typename Target>
  bool Stored(Target& target, int minimum, int maximum) {
    int value = 0;
    if (!sentence_.unPack(value, cursor_) || value < minimum ||
        value > maximum) {
      return false;
    }
    target = static_cast<Target>(value);
    return true;
  }

 private:
  const GeoComSentence& sentence_;
  unsigned short cursor_ = 0;
};

}  // namespace Core::GEOCOM::services

#endif
