#ifndef DAZOZAZIDOREZERARO_TESTS_SIMULATOR_ECHOCALLS_H
#define DAZOZAZIDOREZERARO_TESTS_SIMULATOR_ECHOCALLS_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Records.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

// Calls whose replies say which call they answer, for tests that share one
// session among many calls under every fault.
namespace echo {

using namespace Core::GEOCOM;

// Every fault kind at 5 %, with the timing of a call's time-out.
inline simulator::LoopbackOptions EveryFault(std::chrono::milliseconds timeout,
                                             std::uint64_t seed) {
  simulator::LoopbackOptions options;
  options.seed = seed;
  for (const simulator::FaultKind kind : simulator::FaultKinds()) {
    options.faults.push_back({kind, 0.05});
  }
  options.faultTiming = {timeout, timeout / 2, std::chrono::milliseconds(2)};
  return options;
}

// The instrument answers authentication with the parameter it was given,
// so each call's own number must come back.
inline std::string Parameters(int mine) {
  return host::PackArguments(*host::FindProcedure(host::kAuthenticate),
                             {{"password", std::string("p")},
                              {"parameter", std::int64_t{mine}}})
      .value();
}

inline bool Answers(const host::Reply& reply, int mine) {
  auto fields = host::DecodeReply(*host::FindProcedure(host::kAuthenticate),
                                  reply.sentence);
  return fields && !fields->empty() &&
         std::get<std::int64_t>((*fields)[0].value) == mine;
}

}  // namespace echo

#endif
