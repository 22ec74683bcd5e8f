#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/Sentences.h"

namespace {

using Core::GEOCOM::GeoComSentence;

struct LateResults {
  std::string packed;
  std::string request;
  bool read = false;
  double number = 0.0;
};

// A host's thread-local object built before the thread first calls the
// library, so that it is destroyed after whatever the library keeps per
// thread, and whose destructor still composes and decodes.
class LateUser {
 public:
  explicit LateUser(LateResults& results) : results_(results) {}
  LateUser(const LateUser&) = delete;
  LateUser& operator=(const LateUser&) = delete;

  ~LateUser() {
    GeoComSentence sentence;
    results_.packed = sentence.Pack(7L, 0.25, true) + ";" + sentence.Pack(1.5);
    sentence.CreateRequest(5003, results_.packed);
    results_.request = test_support::BufferText(sentence);

    const test_support::ExactBuffer reply("%R1P,0,1:0,2.5\r\n");
    int lastByte = 0;
    unsigned short cursor = 0;
    results_.read = sentence.CreateMessageFromBuffer(reply.data(), reply.size(),
                                                     lastByte) &&
                    sentence.unPack(results_.number, cursor);
  }

 private:
  LateResults& results_;
};

TEST(ThreadEndTest, PackersAndDecodersWorkWhileTheThreadEnds) {
  LateResults results;
  std::thread([&results] {
    thread_local LateUser lateUser(results);
    const auto reply = test_support::Received(",3");
    int number = 0;
    EXPECT_EQ(reply.Pack(2), "2");
    EXPECT_TRUE(reply.unPack(number));
  }).join();

  EXPECT_EQ(results.packed, "7,0.25,1;1.500000");
  EXPECT_EQ(results.request.substr(results.request.find(':')),
            ":7,0.25,1;1.500000\r\n");
  EXPECT_TRUE(results.read);
  EXPECT_EQ(results.number, 2.5);
}

}  // namespace
