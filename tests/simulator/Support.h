#ifndef DAZOZAZIDOREZERARO_TESTS_SIMULATOR_SUPPORT_H
#define DAZOZAZIDOREZERARO_TESTS_SIMULATOR_SUPPORT_H

#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/simulator/Responder.h>
#include <gtest/gtest.h>

#include <string>

namespace simtest {

using namespace Core::GEOCOM;
using Clock = simulator::Clock;

// A request as a host composes it and the instrument recognises it.
inline GeoComSentence Request(unsigned short procedure,
                              const std::string& parameters = "") {
  const GeoComSentence composed =
      host::ComposeRequest(procedure, parameters).value();
  const std::string bytes = composed.GetStringCommand();
  GeoComSentence request;
  int last = 0;
  EXPECT_TRUE(request.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()), last));
  return request;
}

// The reply of a one-step plan, recognised.
inline GeoComSentence ReplyOf(const simulator::ReplyPlan& plan) {
  EXPECT_EQ(plan.steps.size(), 1u);
  GeoComSentence reply;
  int last = 0;
  const std::string& bytes = plan.steps.at(0).bytes;
  EXPECT_TRUE(reply.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()), last))
      << bytes;
  return reply;
}

// Asks the responder at the time and gives the recognised reply.
inline GeoComSentence Ask(simulator::Responder& responder, Clock::time_point at,
                          unsigned short procedure,
                          const std::string& parameters = "") {
  return ReplyOf(responder.Respond(Request(procedure, parameters), at));
}

}  // namespace simtest

#endif
