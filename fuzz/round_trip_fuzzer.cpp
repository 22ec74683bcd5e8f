// Composition followed by recognition gives back what was composed.
//
// Input layout: byte 0 chooses a reply when its low bit is clear (as in "P")
// and a request when it is set (as in "Q"); bytes 1-2 are the procedure
// number of a request or the sequence number of a reply (little-endian);
// bytes 3-6 are the return code of a reply (little-endian, any 32-bit
// value); the rest is the parameter text, with CR dropped. Missing bytes
// count as zero.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"

namespace {

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_TYPE;

// The sequence number that the library's counter hands out next; the
// counter is reset once when the fuzzer starts.
unsigned short nextSequence = 0;

std::uint32_t LittleEndian(const std::uint8_t* data, std::size_t size,
                           std::size_t offset, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i-- > 0;) {
    const std::uint8_t byte = offset + i < size ? data[offset + i] : 0;
    value = (value << 8U) | byte;
  }
  return value;
}

void RoundTripRequest(unsigned short procedure, const std::string& text,
                      bool withoutText) {
  GeoComSentence composed;
  const unsigned short sequence = nextSequence;
  FUZZ_CHECK(withoutText ? composed.CreateRequest(procedure)
                         : composed.CreateRequest(procedure, text));
  nextSequence = static_cast<unsigned short>((nextSequence + 1) & 0x7FFF);

  FUZZ_CHECK(composed.GetType() == Core::GEOCOM::TYPE_REQUEST);
  FUZZ_CHECK(composed.GetGeocomID() == procedure);
  FUZZ_CHECK(composed.GetSequenceID() == sequence);
  const std::string head = "%R1Q," + std::to_string(procedure) + "," +
                           std::to_string(sequence) + ":" + text;
  FUZZ_CHECK(composed.GetStringCommand() == head + "\r\n");
  FUZZ_CHECK(composed.GetGeocomCommand() == head);

  const GeoComSentence received = RecogniseComposed(composed);
  if (received.GetType() == Core::GEOCOM::TYPE_RESPONSE) {
    // A reply inside the parameter text is found before the request.
    FUZZ_CHECK(text.find("%R1P,0,") != std::string::npos);
    return;
  }
  FUZZ_CHECK(received.GetType() == Core::GEOCOM::TYPE_REQUEST);
  FUZZ_CHECK(received.GetGeocomID() == procedure);
  FUZZ_CHECK(received.GetSequenceID() == sequence);
  FUZZ_CHECK(received.GetStringCommand() == text);
}

void RoundTripReply(unsigned short sequence, std::uint32_t returnCode,
                    const std::string& text) {
  // Parameters follow the return code behind a comma; a text without one
  // would run into the return code's digits.
  const std::string parameters =
      text.empty() || text[0] == ',' ? text : "," + text;
  const auto code = static_cast<unsigned short>(returnCode & 0xFFFFU);

  GeoComSentence composed;
  FUZZ_CHECK(composed.CreateReply(
      sequence, static_cast<GRC_TYPE>(static_cast<std::int32_t>(returnCode)),
      parameters));
  FUZZ_CHECK(composed.GetType() == Core::GEOCOM::TYPE_RESPONSE);
  FUZZ_CHECK(composed.GetSequenceID() == sequence);
  FUZZ_CHECK(composed.GetRetCode() == code);
  FUZZ_CHECK(composed.GetStringCommand() ==
             "%R1P,0," + std::to_string(sequence) + ":" + std::to_string(code) +
                 parameters + "\r\n");

  const GeoComSentence received = RecogniseComposed(composed);
  FUZZ_CHECK(received.GetType() == Core::GEOCOM::TYPE_RESPONSE);
  FUZZ_CHECK(received.GetSequenceID() == sequence);
  FUZZ_CHECK(received.GetRetCode() == code);
  FUZZ_CHECK(received.GetStringCommand() == parameters);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  GeoComSentence::ResetSequenceID();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::uint8_t control = size > 0 ? data[0] : 0;
  const auto number =
      static_cast<unsigned short>(LittleEndian(data, size, 1, 2));
  const std::uint32_t returnCode = LittleEndian(data, size, 3, 4);
  const std::string text = ParameterText(data, size, 7);

  if ((control & 1U) != 0) {
    const bool withoutText = text.empty() && (control & 2U) != 0;
    RoundTripRequest(number, text, withoutText);
  } else {
    RoundTripReply(number, returnCode, text);
  }
  return 0;
}
