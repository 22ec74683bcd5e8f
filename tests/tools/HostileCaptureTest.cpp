// Captures made to hurt: each is generated piece by piece, decoded in
// records of about 64 KiB, and must end with every byte accounted for and
// with memory that does not grow with the capture. Pieces never part a CR
// from its LF, which the sentence stream passes over when they come apart.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "DecodeSummary.h"

namespace geocom {
namespace {

using namespace Core::GEOCOM::host;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kPiece = 64 * 1024;

// The most memory this process has held so far, from the kernel's count.
std::size_t PeakBytes() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "VmHWM:") {
      std::size_t kilobytes = 0;
      status >> kilobytes;
      return kilobytes * 1024;
    }
  }
  return 0;
}

struct HostileCase {
  const char* name;
  std::size_t size;
  std::size_t piece;  // bytes per record
  // The capture's bytes from offset on, at most length of them.
  std::function<std::string(std::size_t offset, std::size_t length)> bytes;
  std::uint64_t sentences;  // requests and replies it holds
};

std::string Repeat(const std::string& unit, std::size_t offset,
                   std::size_t length) {
  std::string piece;
  piece.reserve(length);
  while (piece.size() < length) {
    piece += unit[(offset + piece.size()) % unit.size()];
  }
  return piece;
}

// 64 bytes, so that pieces of 64 KiB never part its CR from its LF.
const std::string kNoiseLine =
    "garbage \x01\xff" + std::string(50, '\xfe') + "\n\r\r\n";
const std::string kTinyRequest = "%R1Q," + std::to_string(kNull) + ":\r\n";
const std::string kTinyReply = "%R1P,0,0:0\r\n";
const std::string kTinyPair = kTinyRequest + kTinyReply;
constexpr std::size_t kTinyPairs = 500000;
const std::string kLongHead = "%R1Q," + std::to_string(kAngles) + ",1:";
constexpr std::size_t kLongSize = 20 * kMiB;

class HostileCapture : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileCapture, EveryByteAccountedInBoundedMemory) {
  const HostileCase& hostile = GetParam();
  std::uint64_t bytes = 0;
  std::uint64_t sentences = 0;
  TrafficSummary summary;
  std::size_t longestRecord = 0;
  TrafficDecoder decoder([&](TrafficRecord&& record) {
    if (record.kind != TrafficKind::kTimeout) bytes += record.size;
    if (record.kind == TrafficKind::kRequest ||
        record.kind == TrafficKind::kReply) {
      ++sentences;
    }
    summary.Add(record);
    longestRecord = std::max(longestRecord, record.bytes.size());
  });
  [[maybe_unused]] const std::size_t peakBefore = PeakBytes();
  for (std::size_t offset = 0; offset < hostile.size; offset += hostile.piece) {
    CaptureRecord piece;
    piece.bytes =
        hostile.bytes(offset, std::min(hostile.piece, hostile.size - offset));
    decoder.Add(piece);
  }
  decoder.Finish();
  EXPECT_EQ(bytes, hostile.size);
  EXPECT_EQ(sentences, hostile.sentences);
  EXPECT_LE(longestRecord, SentenceStream::kDefaultMaxPending + 2);
  // AddressSanitizer keeps freed memory in quarantine: there the peak says
  // nothing about what the decoder holds.
#ifndef __SANITIZE_ADDRESS__
  EXPECT_LT(PeakBytes() - peakBefore, 64 * kMiB);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    TrafficDecoder, HostileCapture,
    testing::Values(
        HostileCase{"NoPercentAtAll", 20 * kMiB, kPiece,
                    [](std::size_t offset, std::size_t length) {
                      return Repeat(kNoiseLine, offset, length);
                    },
                    0},
        HostileCase{"OnlyPercent", 20 * kMiB, kPiece,
                    [](std::size_t, std::size_t length) {
                      return std::string(length, '%');
                    },
                    0},
        HostileCase{"OneLongSentence", kLongSize, kPiece,
                    [](std::size_t offset, std::size_t length) {
                      std::string piece = Repeat("1", offset, length);
                      for (std::size_t i = offset;
                           i < kLongHead.size() && i < offset + length; ++i) {
                        piece[i - offset] = kLongHead[i];
                      }
                      if (offset + length == kLongSize) {
                        piece.replace(length - 2, 2, "\r\n");
                      }
                      return piece;
                    },
                    0},
        HostileCase{"AMillionTinySentences", kTinyPairs* kTinyPair.size(),
                    kPiece - kPiece % kTinyPair.size(),
                    [](std::size_t offset, std::size_t length) {
                      return Repeat(kTinyPair, offset, length);
                    },
                    2 * kTinyPairs}),
    [](const testing::TestParamInfo<HostileCase>& param) {
      return std::string(param.param.name);
    });

}  // namespace
}  // namespace geocom
