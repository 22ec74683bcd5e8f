// A capture replayed answers each request it recorded, with the request's
// own sequence number.
#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/Replay.h>

#include <sstream>
#include <tuple>
#include <vector>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using Direction = host::CaptureDirection;

// Catches replies paired across directions or by arrival instead of
// sequence number, a recorded sequence number sent back, repeated requests
// all given the first reply, and unknown requests left unanswered.
TEST(Replay, AnswersRecordedRequestsInOrderAndOthersWithFive) {
  std::stringstream capture;
  host::CaptureWriter writer(capture);
  const std::pair<Direction, const char*> records[] = {
      {Direction::kToInstrument, "%R1Q,5003,10:\r\n%R1Q,5003,11:\r\n"},
      {Direction::kToHost, "%R1P,0,11:0,222\r\n%R1P,0,10:0,1"},
      {Direction::kToInstrument, "%R1Q,2107,12:1\r\n"},
      {Direction::kToHost, "11\r\n%R1P,0,12:0,0.5,1.5\r\n"},
  };
  for (const auto& [direction, bytes] : records) {
    host::CaptureRecord record;
    record.direction = direction;
    record.bytes = bytes;
    ASSERT_TRUE(writer.Write(record));
  }
  auto replay = ReplayResponder::Read(capture, "capture").value();

  const Clock::time_point t{};
  const auto serial = [&] {
    const GeoComSentence request = Request(host::kInstrumentNumber);
    const GeoComSentence reply = ReplyOf(replay->Respond(request, t));
    EXPECT_EQ(reply.GetSequenceID(), request.GetSequenceID());
    std::int32_t number = 0;
    EXPECT_TRUE(reply.UnPackGetInstrumentNo(number));
    return number;
  };
  EXPECT_EQ(serial(), 111);
  EXPECT_EQ(serial(), 222);
  EXPECT_EQ(serial(), 222);
  TMC_Hz_V_Ang angles{};
  EXPECT_TRUE(Ask(*replay, t, host::kAngles, "1").UnPack(angles));
  EXPECT_EQ(angles.v, 1.5);
  EXPECT_EQ(Ask(*replay, t, host::kAngles, "0").GetRetCode(), GRC_NOT_IMPL);
  EXPECT_EQ(Ask(*replay, t, host::kNull).GetRetCode(), GRC_NOT_IMPL);
}

std::shared_ptr<ReplayResponder> Replay(
    const std::vector<std::tuple<double, Direction, std::string>>& records,
    bool timing) {
  std::stringstream capture;
  host::CaptureWriter writer(capture);
  for (const auto& [time, direction, bytes] : records) {
    host::CaptureRecord record;
    record.time = time;
    record.direction = direction;
    record.bytes = bytes;
    writer.Write(record);
  }
  return ReplayResponder::Read(capture, "capture", timing).value();
}

// Catches a stray second reply to the same number taking the place of the
// first, and a delay measured backwards (from the reply to its request).
TEST(Replay, FirstReplyWinsAndKeepsItsDelay) {
  const auto replay =
      Replay({{1.0, Direction::kToInstrument, "%R1Q,5003,4:\r\n"},
              {1.25, Direction::kToHost, "%R1P,0,4:0,1\r\n"},
              {1.5, Direction::kToHost, "%R1P,0,4:0,2\r\n"}},
             true);
  const ReplyPlan plan =
      replay->Respond(Request(host::kInstrumentNumber), Clock::time_point{});
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(plan.steps[0].delay, std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::milliseconds(250)));
  std::int32_t number = 0;
  EXPECT_TRUE(ReplyOf(plan).UnPackGetInstrumentNo(number));
  EXPECT_EQ(number, 1);
}

// Catches pairing by sequence number alone: a reply that went towards the
// instrument answers nothing.
TEST(Replay, PairsByDirectionAsWellAsNumber) {
  const auto replay =
      Replay({{1.0, Direction::kToInstrument, "%R1Q,5003,4:\r\n"},
              {1.1, Direction::kToInstrument, "%R1P,0,4:0,1\r\n"}},
             false);
  EXPECT_EQ(
      Ask(*replay, Clock::time_point{}, host::kInstrumentNumber).GetRetCode(),
      GRC_NOT_IMPL);
}

// Catches a missing capture reported without its cause.
TEST(Replay, AMissingCaptureNamesTheCause) {
  const auto missing = ReplayResponder::Load("/nonexistent/capture");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message,
            "cannot read capture /nonexistent/capture: No such file or "
            "directory");
}

}  // namespace
}  // namespace simtest
