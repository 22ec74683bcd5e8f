// Several threads run every decoder on one shared recognised reply while
// others run packers; each must see exactly what a single thread sees.
// Built with ThreadSanitizer (the "tsan" preset) this also proves that no
// decoder or packer touches shared state.
#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/Exercise.h"
#include "support/Sentences.h"

namespace {

using test_support::DecodeEverything;
using test_support::PackEverything;

struct SharedReply {
  const char* name;
  const char* parameters;
};

class ConcurrentUse : public ::testing::TestWithParam<SharedReply> {};

TEST_P(ConcurrentUse, EveryThreadSeesWhatOneThreadSees) {
  const Core::GEOCOM::GeoComSentence sentence =
      test_support::Received(GetParam().parameters);
  ASSERT_TRUE(sentence.isResponseMessageValid());
  const std::string decoded = DecodeEverything(sentence);
  const std::string packed = PackEverything(sentence);

  constexpr int kDecoderThreads = 4;
  constexpr int kPackerThreads = 2;
  constexpr int kRounds = 40;
  std::vector<int> mismatches(kDecoderThreads + kPackerThreads, 0);
  std::promise<void> start;
  const std::shared_future<void> started = start.get_future().share();

  std::vector<std::thread> threads;
  for (int t = 0; t < kDecoderThreads + kPackerThreads; ++t) {
    const bool decoder = t < kDecoderThreads;
    threads.emplace_back([&, t, decoder] {
      started.wait();
      for (int round = 0; round < kRounds; ++round) {
        const bool same = decoder ? DecodeEverything(sentence) == decoded
                                  : PackEverything(sentence) == packed;
        mismatches[static_cast<std::size_t>(t)] += same ? 0 : 1;
      }
    });
  }
  start.set_value();
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  }
}

// An angle reply, a file-list entry, a station and texts that make most
// decoders fail part-way, so that success and failure paths both run.
INSTANTIATE_TEST_SUITE_P(
    Replies, ConcurrentUse,
    ::testing::Values(
        SharedReply{"Angles",
                    ",0.785398,1.570796,0.000003,12345,0.0001,-0.0002,0.00001,"
                    "12346,0,1,0.1,0.2,0.3,0.4,777,0,1.1,1.2,1.3,778"},
        SharedReply{"FileEntry",
                    ",0,\"a.txt\",120,'0a','1e','00','00','18','05','0c'"},
        SharedReply{"Station", ",1000.123,2000.456,,1.55"},
        SharedReply{"Malformed", ",1,70000,'zz',\"x,y\",-1,abc,1e999,"}),
    [](const ::testing::TestParamInfo<SharedReply>& reply) {
      return std::string(reply.param.name);
    });

}  // namespace
