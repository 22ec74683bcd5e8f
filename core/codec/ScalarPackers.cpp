#include <cstdint>
#include <string>
#include <string_view>

#include "DazoZazIdoRezeraro/GeoComSentence.h"
#include "codec/Compose.h"

namespace Core::GEOCOM {

namespace {

constexpr const char* kPlain = "%1%";

// Strings go out between double quotes, unescaped. When even that cannot be
// built the instrument still gets a well-formed empty string.
std::string Quote(std::string_view text) noexcept {
  try {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
  } catch (...) {
    return std::string(2, '"');
  }
}

}  // namespace

std::string GeoComSentence::Pack(short value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(unsigned short value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(int value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(unsigned int value) const {
  return codec::Compose(kPlain, value);
}

// The wire carries a 32-bit signed value whatever the platform's long.
std::string GeoComSentence::Pack(long value, double number, bool flag) const {
  return codec::Compose("%1%,%2%,%3%", static_cast<std::int32_t>(value), number,
                        flag);
}

std::string GeoComSentence::Pack(double value) const {
  return codec::Compose("%1$.6f", value);
}

std::string GeoComSentence::Pack(std::string text) const { return Quote(text); }

// A literal must be quoted as text, never converted to the truth value 1.
std::string GeoComSentence::Pack(const char* text) const {
  return Quote(text == nullptr ? std::string_view() : std::string_view(text));
}

std::string GeoComSentence::Pack(BAP_ATRSETTING value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(COM_TPS_STARTUP_MODE value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(COM_TPS_STOP_MODE value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(MOT_MODE value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(MOT_STOPMODE value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(ON_OFF_TYPE value) const {
  return codec::Compose(kPlain, value);
}

std::string GeoComSentence::Pack(bool value) const {
  return codec::Compose(kPlain, value);
}

}  // namespace Core::GEOCOM
