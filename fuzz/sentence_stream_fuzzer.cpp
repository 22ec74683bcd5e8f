// Framing does not depend on how the bytes arrive: the input fed whole and
// the same input cut at points chosen by its first bytes give the same
// frames, the same counts, and every byte accounted for.
//
// Input layout: byte 0 is the cap (times 16) on bytes held without a CR;
// bytes 1-8 give eight piece lengths; the rest is the traffic.
#include <DazoZazIdoRezeraro/host/SentenceStream.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"

namespace {

using namespace Core::GEOCOM::host;

constexpr std::size_t kHeader = 9;

struct Outcome {
  std::vector<Frame> frames;
  StreamCounts counts;
};

Outcome FrameAll(std::string_view traffic, std::size_t cap,
                 const std::vector<std::size_t>& pieces) {
  SentenceStream stream(cap);
  std::size_t at = 0;
  for (std::size_t i = 0; at < traffic.size(); ++i) {
    const std::size_t piece =
        pieces.empty() ? traffic.size() : pieces[i % pieces.size()];
    stream.Append(traffic.substr(at, piece));
    at += piece;
  }
  stream.Finish();
  Outcome outcome;
  Frame frame;
  while (stream.Next(frame)) outcome.frames.push_back(frame);
  outcome.counts = stream.Counts();
  return outcome;
}

bool SameSentence(const Frame& a, const Frame& b) {
  return a.sentence.GetType() == b.sentence.GetType() &&
         a.sentence.GetGeocomID() == b.sentence.GetGeocomID() &&
         a.sentence.GetSequenceID() == b.sentence.GetSequenceID() &&
         a.sentence.GetStringCommand() == b.sentence.GetStringCommand();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < kHeader) return 0;
  const std::size_t cap = 16 * (std::size_t{data[0]} + 1);
  std::vector<std::size_t> pieces;
  for (std::size_t i = 1; i < kHeader; ++i) pieces.push_back(data[i] % 32 + 1);
  const std::string_view traffic(reinterpret_cast<const char*>(data) + kHeader,
                                 size - kHeader);

  const Outcome whole = FrameAll(traffic, cap, {});
  const Outcome cut = FrameAll(traffic, cap, pieces);
  FUZZ_CHECK(whole.frames.size() == cut.frames.size());
  FUZZ_CHECK(whole.counts.sentences == cut.counts.sentences);
  FUZZ_CHECK(whole.counts.noiseBytes == cut.counts.noiseBytes);
  FUZZ_CHECK(whole.counts.droppedBytes == cut.counts.droppedBytes);
  FUZZ_CHECK(whole.counts.unrecognised == cut.counts.unrecognised);

  std::size_t accounted = 0;
  for (std::size_t i = 0; i < whole.frames.size(); ++i) {
    const Frame& frame = whole.frames[i];
    FUZZ_CHECK(frame.kind == cut.frames[i].kind);
    FUZZ_CHECK(SameSentence(frame, cut.frames[i]));
    accounted += frame.size;
    if (frame.kind == FrameKind::kDropped) continue;
    FUZZ_CHECK(frame.size == frame.bytes.size());
    if (frame.kind == FrameKind::kRequest || frame.kind == FrameKind::kReply) {
      // The frame's bytes alone hold the same sentence, from its first byte.
      Core::GEOCOM::GeoComSentence alone;
      int last = -1;
      FUZZ_CHECK(alone.CreateMessageFromBuffer(
          reinterpret_cast<const unsigned char*>(frame.bytes.data()),
          static_cast<int>(frame.bytes.size()), last));
      FUZZ_CHECK(static_cast<std::size_t>(last) + 1 == frame.bytes.size());
      FUZZ_CHECK(frame.bytes[0] == '%');
    }
  }
  // Fed whole, every byte is in exactly one frame.
  FUZZ_CHECK(accounted == traffic.size());
  return 0;
}
