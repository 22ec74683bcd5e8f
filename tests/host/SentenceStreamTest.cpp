#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

using namespace Core::GEOCOM::host;

namespace {

struct Taken {
  FrameKind kind;
  std::string bytes;
  std::size_t size;
};

std::vector<Taken> TakeAll(SentenceStream& stream) {
  std::vector<Taken> taken;
  Frame frame;
  while (stream.Next(frame)) {
    taken.push_back({frame.kind, frame.bytes, frame.size});
  }
  return taken;
}

// Feeds the bytes in pieces of the given sizes (the rest in one piece).
std::vector<Taken> Feed(const std::string& bytes,
                        const std::vector<std::size_t>& pieces,
                        std::size_t cap = SentenceStream::kDefaultMaxPending) {
  SentenceStream stream(cap);
  std::size_t at = 0;
  for (const std::size_t piece : pieces) {
    stream.Append(std::string_view(bytes).substr(at, piece));
    at += piece;
  }
  stream.Append(std::string_view(bytes).substr(std::min(at, bytes.size())));
  stream.Finish();
  return TakeAll(stream);
}

const std::string kTraffic =
    "xx%R1Q,5004,3:\r\n%R1P,0,3:0,\"TS\"\r%R1P,2,7:0\r\nzz";

// Cuts on the CR, between CR and LF, inside the reply prefix and one byte at
// a time give the same frames as the whole traffic at once.
TEST(SentenceStream, ChunkingDoesNotChangeTheFrames) {
  const std::vector<Taken> whole = Feed(kTraffic, {});
  ASSERT_EQ(whole.size(), 5u);
  const FrameKind kinds[] = {FrameKind::kNoise, FrameKind::kRequest,
                             FrameKind::kReply, FrameKind::kRefusedReply,
                             FrameKind::kNoise};
  EXPECT_EQ(whole[0].bytes, "xx");
  EXPECT_EQ(whole[1].bytes, "%R1Q,5004,3:\r\n");
  EXPECT_EQ(whole[2].bytes, "%R1P,0,3:0,\"TS\"\r");
  EXPECT_EQ(whole[3].bytes, "%R1P,2,7:0\r\n");
  EXPECT_EQ(whole[4].kind, FrameKind::kNoise);
  EXPECT_EQ(whole[4].bytes, "zz");
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(whole[i].kind, kinds[i]) << i;

  const std::vector<std::vector<std::size_t>> cuts = {
      {15},     // between CR and LF
      {14},     // on the CR
      {19},     // inside "%R1P"
      {16, 3},  // inside the reply prefix, twice
      std::vector<std::size_t>(kTraffic.size(), 1)};
  for (const auto& cut : cuts) {
    const std::vector<Taken> pieces = Feed(kTraffic, cut);
    ASSERT_EQ(pieces.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
      EXPECT_EQ(pieces[i].kind, whole[i].kind);
      // An LF that arrives after its CR was handed out is not repeated.
      EXPECT_EQ(pieces[i].bytes.substr(0, whole[i].bytes.size() - 1),
                whole[i].bytes.substr(0, whole[i].bytes.size() - 1));
    }
  }
}

// A request or reply carries its sentence and its parameter text as the
// sentence has it, other frames none, whether taken by Next or read in place
// by Front and forgotten by Pop; Ready counts what is still to hand out.
TEST(SentenceStream, EachSentenceCarriesItsParameterText) {
  SentenceStream stream;
  stream.Append(
      "x%R1Q,2107,3:1\r\n%R1P,0,3:0,1.5,2\r\n%R1P,0,4:5\r\n"
      "%R1Q,5004,9:\r\nyy%R1Q,9:\r\n%R1Q,1:2,x\r\n"
      "%R1P,2,0000007:0\r");
  const struct {
    FrameKind kind;
    const char* parameters;
    unsigned short sequence;
  } kFrames[] = {
      {FrameKind::kNoise, "", 0},
      {FrameKind::kRequest, "1", 3},
      {FrameKind::kReply, ",1.5,2", 3},
      {FrameKind::kReply, "", 4},
      {FrameKind::kRequest, "", 9},
      {FrameKind::kNoise, "", 0},
      {FrameKind::kRequest, "", 0},
      {FrameKind::kRequest, "2,x", 0},
      // a sequence number of more than six digits is not read
      {FrameKind::kUnrecognised, "", 0},
  };
  std::size_t ready = std::size(kFrames);
  bool inPlace = false;
  Frame frame;
  for (const auto& expected : kFrames) {
    EXPECT_EQ(stream.Ready(), ready--);
    inPlace = !inPlace;
    const Frame* taken = &frame;
    if (inPlace) {
      taken = stream.Front();
      ASSERT_NE(taken, nullptr);
    } else {
      ASSERT_TRUE(stream.Next(frame));
    }
    EXPECT_EQ(taken->kind, expected.kind) << taken->bytes;
    EXPECT_EQ(taken->parameters, expected.parameters) << taken->bytes;
    if (expected.kind != FrameKind::kNoise) {
      EXPECT_EQ(taken->sentence.GetSequenceID(), expected.sequence)
          << taken->bytes;
    }
    if (inPlace) stream.Pop();
  }
  EXPECT_EQ(stream.Ready(), 0u);
  EXPECT_EQ(stream.Front(), nullptr);
  EXPECT_FALSE(stream.Next(frame));
}

// Noise in front of a line the core refuses stays noise, and a stream
// cleared after a CR takes a first LF as noise, not as that CR's.
TEST(SentenceStream, NoiseBeforeARefusedLineAndAfterAClear) {
  SentenceStream stream;
  stream.Append("ab%R1P,9,x\r\n");
  const std::vector<Taken> frames = TakeAll(stream);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].kind, FrameKind::kNoise);
  EXPECT_EQ(frames[0].bytes, "ab");
  EXPECT_EQ(frames[1].kind, FrameKind::kUnrecognised);
  EXPECT_EQ(frames[1].bytes, "%R1P,9,x\r\n");

  stream.Append("%R1Q,5003,1:\r");
  stream.Clear();
  stream.Append("\n");
  stream.Finish();
  const std::vector<Taken> after = TakeAll(stream);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].kind, FrameKind::kNoise);
  EXPECT_EQ(after[0].bytes, "\n");
}

std::string Describe(const Frame& frame) {
  return std::to_string(static_cast<int>(frame.kind)) + "|" + frame.bytes +
         "|" + std::to_string(frame.size) + "|" + frame.parameters + "|" +
         std::to_string(frame.sequence) + "|" +
         std::to_string(frame.sentence.GetType()) + "|" +
         std::to_string(frame.sentence.GetSequenceID()) + "|" +
         std::to_string(frame.sentence.GetGeocomID()) + "|" +
         std::to_string(frame.sentence.GetRetCode());
}

// A stream reuses the storage of frames taken for the next ones, but for
// long ones. Every kind after every other, taken as each arrives, in bursts
// that wrap round the frames kept and beyond them, or all at the end, gives the
// same frames as a new stream given each piece alone: nothing of a frame before
// remains.
TEST(SentenceStream, FramesInReusedStorageHoldOnlyTheirOwn) {
  const std::vector<std::string> pieces = {
      "%R1Q,2107,3:1\r\n", "%R1P,0,3:0,1.5,2\r\n", "%R1P,2,7:0\r\n",
      "noise\r\n", "%R1Q,9:\r\n", "yy%R1Q,5004,9:\r\n", "%R1P,0,4:5\r\n",
      "%R1Q,1:2,x\r\n",
      // longer than a kept frame
      "%R1P,0,5:0,\"" + std::string(300, 'a') + "\"\r\n",
      std::string(300, '~') + "\r\n"};
  std::vector<std::string> alone;
  std::vector<std::string> script;
  for (const std::string& first : pieces) {
    for (const std::string& second : pieces) {
      for (const std::string& piece : {first, second}) {
        SentenceStream fresh;
        fresh.Append(piece);
        while (const Frame* frame = fresh.Front()) {
          alone.push_back(Describe(*frame));
          fresh.Pop();
        }
        script.push_back(piece);
      }
    }
  }
  // How many pieces each burst appends before its frames are taken, and
  // how many frames each leaves waiting for the next (which then wrap round
  // the storage from where the first waiting one is).
  for (const std::size_t burst : {1u, 3u, 7u, 9u, 20u, 500u}) {
    for (const std::size_t waiting : {0u, 2u}) {
      SentenceStream stream;
      std::vector<std::string> taken;
      for (std::size_t at = 0; at < script.size(); at += burst) {
        const std::size_t end = std::min(at + burst, script.size());
        for (std::size_t i = at; i < end; ++i) stream.Append(script[i]);
        // Half the frames in place, the other half moved out.
        Frame frame;
        for (bool inPlace = burst % 2 == 0;
             stream.Ready() > (end == script.size() ? 0 : waiting);
             inPlace = !inPlace) {
          if (inPlace) {
            taken.push_back(Describe(*stream.Front()));
            stream.Pop();
          } else {
            ASSERT_TRUE(stream.Next(frame));
            taken.push_back(Describe(frame));
          }
        }
      }
      EXPECT_EQ(taken, alone)
          << "bursts of " << burst << ", " << waiting << " waiting";
    }
  }
}

// What a stream counts, piece by piece ("<finish>" ends the stream there),
// and how many frames it hands out: a refused reply and a line the core
// refuses are both unrecognised, an LF after a finished stream is noise of
// its own, not its last CR's, and a run one byte over the cap has its
// dropped frame.
TEST(SentenceStream, CountsEachKindOfPiece) {
  const struct {
    std::vector<std::string> pieces;
    StreamCounts counts;  // sentences, unrecognised, noise, dropped
    std::size_t frames;   // a dropped run's frame among them
  } kRows[] = {
      {{"%R1Q,5004,3:\r\n"}, {1, 0, 0, 0}, 1},
      {{"%R1P,2,7:0\r\n"}, {0, 1, 0, 0}, 1},
      {{"%R1P,9,x\r\n"}, {0, 1, 0, 0}, 1},
      {{"ab%R1P,9,x\r\n", "%R1P,0,3:0\r\n"}, {1, 1, 2, 0}, 3},
      {{"%R1Q,5004,3:\r", "<finish>", "\n", "<finish>"}, {1, 0, 1, 0}, 2},
      {{"%R1Q,5004,3:\r", "\n"}, {1, 0, 0, 0}, 1},
      // Noise before a request without a colon, its number of one digit.
      {{"ab%R1Q,5004,3\r\n"}, {1, 0, 2, 0}, 2},
      {{std::string(40, 'x'), "\r\n"}, {0, 0, 18, 24}, 2},
      {{std::string(40, 'x') + "\r\n"}, {0, 0, 18, 24}, 2},
      {{std::string(17, 'x') + "\r\n"}, {0, 0, 18, 1}, 2},
      // What follows the last CR of a piece is held for the next one, cut
      // down to the cap when the piece leaves more.
      {{"%R1Q,5004,3:\r\n%R1Q,50", "04,4:\r\n"}, {2, 0, 0, 0}, 2},
      {{"%R1Q,5004,3:\r\n" + std::string(40, 'x'), "\r\n"}, {1, 0, 18, 24}, 3},
  };
  for (const auto& row : kRows) {
    SentenceStream stream(16);
    std::string script;
    for (const std::string& piece : row.pieces) {
      piece == "<finish>" ? stream.Finish() : stream.Append(piece);
      script += piece;
    }
    const StreamCounts& counts = stream.Counts();
    EXPECT_EQ(counts.sentences, row.counts.sentences) << script;
    EXPECT_EQ(counts.unrecognised, row.counts.unrecognised) << script;
    EXPECT_EQ(counts.noiseBytes, row.counts.noiseBytes) << script;
    EXPECT_EQ(counts.droppedBytes, row.counts.droppedBytes) << script;
    EXPECT_EQ(TakeAll(stream).size(), row.frames) << script;
  }
}

TEST(SentenceStream, FindsWhereASentenceStartsAfterABrokenOne) {
  SentenceStream stream;
  stream.Append("%R1Q,5x%R1Q,5003,17:\r\n%R1Q,1,2:%R1Q,3,4:\r\n");
  const std::vector<Taken> frames = TakeAll(stream);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].bytes, "%R1Q,5x");
  EXPECT_EQ(frames[1].bytes, "%R1Q,5003,17:\r\n");
  // A prefix inside the parameter text belongs to the text.
  EXPECT_EQ(frames[2].bytes, "%R1Q,1,2:%R1Q,3,4:\r\n");
}

}  // namespace
