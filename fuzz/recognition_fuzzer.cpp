// Recognition of arbitrary received bytes. The first input byte arms the
// unterminated-reply flag (low bit set); the remaining bytes are the buffer,
// copied to a heap block of exactly their length so that any read past the
// end is caught.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzCheck.h"

namespace {

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_TYPE;
using Core::GEOCOM::TYPE;

constexpr int kUntouched = -424242;
constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;

struct Outcome {
  bool recognised;
  int lastByte;
  TYPE type;
  unsigned short number;
  unsigned short sequence;
  std::string text;
  bool armedAfterwards;
};

bool SameSentence(const Outcome& a, const Outcome& b) {
  return a.recognised == b.recognised && a.lastByte == b.lastByte &&
         a.type == b.type && a.number == b.number && a.sequence == b.sequence &&
         a.text == b.text;
}

Outcome Recognise(const unsigned char* buffer, int length, bool armed) {
  GeoComSentence sentence;
  // Stale content that a failed recognition has to clear.
  sentence.CreateReply(7, static_cast<GRC_TYPE>(3), ",stale");
  sentence.SetAcceptUnterminatedReply(armed);

  Outcome outcome{};
  outcome.lastByte = kUntouched;
  outcome.recognised =
      sentence.CreateMessageFromBuffer(buffer, length, outcome.lastByte);
  outcome.type = sentence.GetType();
  outcome.number = sentence.GetGeocomID();
  outcome.sequence = sentence.GetSequenceID();
  outcome.text = sentence.GetStringCommand();
  outcome.armedAfterwards = sentence.GetAcceptUnterminatedReply();

  const unsigned char* exposed = nullptr;
  int exposedLength = -1;
  sentence.GetBuffer(exposed, exposedLength);
  FUZZ_CHECK(exposedLength >= 0 &&
             static_cast<std::size_t>(exposedLength) == outcome.text.size());
  FUZZ_CHECK(exposedLength == 0 || std::memcmp(exposed, outcome.text.data(),
                                               outcome.text.size()) == 0);
  FUZZ_CHECK(sentence.GetRetCode() == outcome.number);
  FUZZ_CHECK(sentence.isResponseMessageValid() ==
             (outcome.type == Core::GEOCOM::TYPE_RESPONSE));
  return outcome;
}

// A sentence ended by its terminator: the last byte is the CR, or the LF
// right after it; the parameter text is what stands just before that CR.
void CheckTerminated(const Outcome& outcome, const unsigned char* buffer,
                     int length) {
  const int last = outcome.lastByte;
  int carriageReturn = last;
  if (buffer[last] == kLF) {
    FUZZ_CHECK(last > 0 && buffer[last - 1] == kCR);
    carriageReturn = last - 1;
  } else {
    FUZZ_CHECK(buffer[last] == kCR);
    FUZZ_CHECK(last + 1 == length || buffer[last + 1] != kLF);
  }
  const auto textLength = static_cast<int>(outcome.text.size());
  FUZZ_CHECK(textLength <= carriageReturn);
  FUZZ_CHECK(std::memcmp(buffer + (carriageReturn - textLength),
                         outcome.text.data(), outcome.text.size()) == 0);
}

void CheckContract(const Outcome& outcome, const unsigned char* buffer,
                   int length, bool armed) {
  if (!outcome.recognised) {
    FUZZ_CHECK(outcome.lastByte == kUntouched);
    FUZZ_CHECK(outcome.type == Core::GEOCOM::TYPE_NONE);
    FUZZ_CHECK(outcome.number == 0 && outcome.sequence == 0);
    FUZZ_CHECK(outcome.text.empty());
    FUZZ_CHECK(outcome.armedAfterwards == armed);
    return;
  }
  FUZZ_CHECK(outcome.lastByte >= 0 && outcome.lastByte < length);
  FUZZ_CHECK(outcome.text.find('\r') == std::string::npos);
  FUZZ_CHECK(outcome.type == Core::GEOCOM::TYPE_REQUEST ||
             outcome.type == Core::GEOCOM::TYPE_RESPONSE);
  if (outcome.type == Core::GEOCOM::TYPE_RESPONSE) {
    FUZZ_CHECK(outcome.text.empty() || outcome.text[0] == ',');
  }

  const bool unterminatedRuleFired = armed && !outcome.armedAfterwards;
  if (unterminatedRuleFired) {
    FUZZ_CHECK(outcome.type == Core::GEOCOM::TYPE_RESPONSE);
    FUZZ_CHECK(outcome.lastByte == length - 1 && length >= 64);
  } else {
    FUZZ_CHECK(outcome.armedAfterwards == armed);
    CheckTerminated(outcome, buffer, length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool armed = (data[0] & 1U) != 0;
  const auto length = static_cast<int>(size - 1);
  std::unique_ptr<unsigned char[]> heap;
  if (length > 0) {
    heap = std::make_unique<unsigned char[]>(size - 1);
    std::memcpy(heap.get(), data + 1, size - 1);
  }
  // An empty buffer is handed over as a null pointer, which must not be read.
  const unsigned char* buffer = heap.get();

  const Outcome plain = Recognise(buffer, length, false);
  CheckContract(plain, buffer, length, false);
  if (armed) {
    const Outcome withFlag = Recognise(buffer, length, true);
    CheckContract(withFlag, buffer, length, true);
    // The flag only adds a way to complete a reply at the buffer's end, and
    // only where no terminated reply exists; anything else is unchanged.
    if (withFlag.armedAfterwards) {
      FUZZ_CHECK(SameSentence(withFlag, plain));
    } else {
      FUZZ_CHECK(plain.type != Core::GEOCOM::TYPE_RESPONSE);
    }
  }
  if (length > 0) {
    FUZZ_CHECK(std::memcmp(buffer, data + 1, size - 1) == 0);
  }
  return 0;
}
