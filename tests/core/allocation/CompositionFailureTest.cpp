// Composing while memory runs out. This program replaces the global
// allocator with one that, once armed, grants N allocations and throws
// std::bad_alloc for every one after them (or for the next one only), and
// tries each composition with N = 0, 1, 2, ... until it completes without
// running out. Whatever N, the object must then hold the new sentence or
// nothing, never the sentence it held before.
#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "support/Sentences.h"

namespace {

// Allocations still granted before all fail; negative while disarmed.
long allocationsBeforeFailure = -1;
bool memoryRanOut = false;
// Whether only one allocation fails, the later ones being granted again.
bool failOnlyOnce = false;
long allocationsSeen = 0;

class ExhaustMemoryAfter {
 public:
  ExhaustMemoryAfter(long granted, bool once) {
    memoryRanOut = false;
    failOnlyOnce = once;
    allocationsBeforeFailure = granted;
  }
  ExhaustMemoryAfter(const ExhaustMemoryAfter&) = delete;
  ExhaustMemoryAfter& operator=(const ExhaustMemoryAfter&) = delete;
  ~ExhaustMemoryAfter() { allocationsBeforeFailure = -1; }
};

}  // namespace

// Out of line, so that a memory checker that brings its own allocator (as
// valgrind does) replaces all of these together rather than a part of them.
__attribute__((noinline)) void* operator new(std::size_t size) {
  ++allocationsSeen;
  if (allocationsBeforeFailure == 0) {
    memoryRanOut = true;
    if (failOnlyOnce) allocationsBeforeFailure = -1;
    throw std::bad_alloc();
  }
  if (allocationsBeforeFailure > 0) {
    --allocationsBeforeFailure;
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}

__attribute__((noinline)) void operator delete(void* block) noexcept {
  std::free(block);
}

__attribute__((noinline)) void operator delete(void* block,
                                               std::size_t) noexcept {
  std::free(block);
}

namespace {

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_TYPE;
using Core::GEOCOM::TYPE_NONE;
using test_support::BufferText;

const std::string kParameters = ",parameters long enough to live on the heap";

TEST(CompositionUnderExhaustedMemory, LeavesTheNewSentenceOrNothing) {
  // Each request takes sequence number 0, the counter being reset first.
  const struct {
    bool (*compose)(GeoComSentence&, std::string parameters);
    std::string expected;
  } compositions[] = {
      {[](GeoComSentence& s, std::string) { return s.CreateRequest(9027); },
       "%R1Q,9027,0:\r\n"},
      {[](GeoComSentence& s, std::string parameters) {
         return s.CreateRequest(9027, std::move(parameters));
       },
       "%R1Q,9027,0:" + kParameters + "\r\n"},
      {[](GeoComSentence& s, std::string parameters) {
         return s.CreateReply(7, static_cast<GRC_TYPE>(1283),
                              std::move(parameters));
       },
       "%R1P,0,7:1283" + kParameters + "\r\n"},
  };
  const long seenBefore = allocationsSeen;
  GeoComSentence probe(5003);
  if (allocationsSeen == seenBefore) {
    GTEST_SKIP() << "the library's allocations do not reach this program's "
                    "allocator: a memory checker has replaced it";
  }
  // Memory that stays exhausted, and one allocation that fails while the
  // stream inside the composition writes a value and swallows the failure.
  for (const bool once : {false, true})
    for (const auto& composition : compositions) {
      SCOPED_TRACE(composition.expected + (once ? " (one failure)" : ""));
      int failedCompositions = 0;
      for (long granted = 0;; ++granted) {
        ASSERT_LT(granted, 100000) << "the composition never completed";
        GeoComSentence sentence;
        ASSERT_TRUE(sentence.CreateRequest(5003, "the previous sentence"));
        GeoComSentence::ResetSequenceID();
        // Built before memory runs out: the caller's allocations are not the
        // library's.
        std::string parameters = kParameters;
        bool composed = false;
        {
          const ExhaustMemoryAfter exhausted(granted, once);
          composed = composition.compose(sentence, std::move(parameters));
        }
        if (composed) {
          EXPECT_EQ(BufferText(sentence), composition.expected)
              << granted << " allocations granted";
        } else {
          ++failedCompositions;
          EXPECT_EQ(BufferText(sentence), "")
              << granted << " allocations granted";
          EXPECT_EQ(sentence.GetType(), TYPE_NONE);
        }
        if (!memoryRanOut) {
          EXPECT_TRUE(composed);
          break;
        }
      }
      EXPECT_GT(failedCompositions, 0);
    }
}

}  // namespace
