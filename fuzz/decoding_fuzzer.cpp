// Every decoder and primitive read on arbitrary parameter text. The first
// input byte chooses how the text is loaded (low bit clear: as the
// parameters of a composed and recognised reply; set: as the parameter text
// of a recognised request, which has no leading comma); the rest is the
// text, with CR dropped since a recognised text never holds one.
//
// Every decoder runs twice on the sentence and once on a copy, from the same
// starting outputs; results and outputs (doubles bit for bit) must agree.
// Decoders published under several names, and each single-argument read and
// its positional form from cursor 0, must agree with each other. Walking the
// text field by field, the cursor only moves forward within the text and the
// outputs stay untouched where a read must leave them. No decoder may change
// the sentence.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "FuzzCheck.h"
#include "support/Exercise.h"

namespace {

using namespace Core::GEOCOM;
using test_support::Sentinel;

// Reads the whole text with one positional primitive.
template <typename Value>
void CheckWalk(const GeoComSentence& sentence) {
  const std::size_t length = sentence.GetStringCommand().size();
  // A longer text is walked modulo 65536, so its cursor is not checked.
  const bool cursorFits = length <= 65535;
  const bool ended = test_support::WalkFields<Value>(
      sentence, [&](bool read, const Value& value, unsigned short before,
                    unsigned short after) {
        FUZZ_CHECK(!cursorFits || (after >= before && after <= length));
        const bool foundNothing = !read && after == before;
        FUZZ_CHECK(!foundNothing || value == Sentinel<Value>());
        if constexpr (std::is_same_v<Value, short> ||
                      std::is_same_v<Value, unsigned short> ||
                      std::is_same_v<Value, std::string>) {
          FUZZ_CHECK(read || value == Sentinel<Value>());
        }
        if constexpr (std::is_same_v<Value, std::string>) {
          FUZZ_CHECK(!read || value.find('"') == std::string::npos);
        }
      });
  FUZZ_CHECK(ended || !cursorFits);
}

template <typename... Values>
void CheckWalks(const GeoComSentence& sentence) {
  (CheckWalk<Values>(sentence), ...);
}

GeoComSentence Load(bool asRequest, const std::string& text) {
  GeoComSentence composed;
  FUZZ_CHECK(asRequest ? composed.CreateRequest(1, text)
                       : composed.CreateReply(1, GRC_OK, "," + text));
  GeoComSentence received = RecogniseComposed(composed);
  FUZZ_CHECK(asRequest || received.GetStringCommand() == "," + text);
  return received;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const bool asRequest = size > 0 && (data[0] & 1U) != 0;
  const GeoComSentence sentence = Load(asRequest, ParameterText(data, size, 1));
  const GeoComSentence copy(sentence);
  const std::string before = sentence.GetStringCommand();

  CheckWalks<unsigned char, short, unsigned short, int, unsigned int, long,
             unsigned long, double, std::string>(sentence);

  const std::string decoded = test_support::DecodeEverything(sentence);
  FUZZ_CHECK(test_support::DecodeEverything(sentence) == decoded);
  FUZZ_CHECK(test_support::DecodeEverything(copy) == decoded);
  for (const auto& group : test_support::DecoderGroups()) {
    for (std::size_t twin = 1; twin < group.size(); ++twin) {
      FUZZ_CHECK(test_support::DigestOf(group[twin], sentence) ==
                 test_support::DigestOf(group[0], sentence));
    }
  }

  FUZZ_CHECK(sentence.GetStringCommand() == before);
  FUZZ_CHECK(sentence.GetType() == copy.GetType());
  FUZZ_CHECK(sentence.GetGeocomID() == copy.GetGeocomID());
  FUZZ_CHECK(sentence.GetSequenceID() == copy.GetSequenceID());
  return 0;
}
