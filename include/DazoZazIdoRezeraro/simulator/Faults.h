#ifndef DAZOZAZIDOREZERARO_SIMULATOR_FAULTS_H
#define DAZOZAZIDOREZERARO_SIMULATOR_FAULTS_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Export.h"
#include "Responder.h"

/// @file
/// Faults applied to replies, at random rates from a seeded generator or
/// to chosen procedures. docs/scene.md says what a host Session sees of
/// each.

namespace Core::GEOCOM::simulator {

class FaultState;

/// What can go wrong with a reply.
enum class FaultKind {
  kDrop,           ///< No reply at all.
  kLate,           ///< The reply comes after the procedure's time-out.
  kSplit,          ///< The reply is written in pieces with pauses.
  kNoise,          ///< Random bytes without '%' come before the reply.
  kCorrupt,        ///< The reply's leading code 0 becomes another digit.
  kDuplicate,      ///< The reply is written twice.
  kWrongSequence,  ///< A reply with another sequence number comes first.
  kDisconnect,     ///< The connection closes mid-reply (TCP only).
};

/// Every fault kind, in declaration order.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT const std::vector<FaultKind>& FaultKinds();

/// The kind's name on the command line and in logs, e.g. "wrong-sequence".
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT const char* FaultName(FaultKind kind);

/// The kind with the name; nullopt when none has it.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT std::optional<FaultKind> FindFault(
    std::string_view name);

/// A fault and the probability that it hits a reply.
struct FaultRate {
  FaultKind kind = FaultKind::kDrop;  ///< The fault.
  double rate = 0;                    ///< From 0 to 1.
};

/// Rates of several faults; at most one fault hits a reply, so they add up
/// to 1 at most.
using FaultRates = std::vector<FaultRate>;

/// Reads "KIND=RATE[,KIND=RATE...]"; fails with kInvalidArgument naming
/// the unknown kind or the bad rate (not a number from 0 to 1, a kind
/// given twice, rates adding up to more than 1).
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT host::Result<FaultRates> ParseFaultRates(
    std::string_view text);

/// The times that faults are made of.
struct FaultTiming {
  /// The time-out the host waits for every procedure; nullopt for each
  /// procedure's own (host::ReplyTimeout).
  std::optional<std::chrono::milliseconds> hostTimeout;
  /// How long after the time-out a late reply comes.
  std::chrono::milliseconds lateBy{250};
  /// The pause before each piece of a split reply after the first.
  std::chrono::milliseconds splitPause{20};
};

/// Applies faults to the replies of another responder: the procedure's
/// injected faults first, then the random rates. The generator is seeded,
/// so the same requests in the same order meet the same faults.
/// Thread-safe.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT FaultInjector final
    : public Responder {
 public:
  /// Injects into the replies of inner, which must outlive the injector;
  /// no random faults until SetRates.
  FaultInjector(Responder& inner, std::uint64_t seed, FaultTiming timing = {});
  ~FaultInjector() override;
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  /// Count for Inject: every reply to the procedure, until ClearInjected.
  static constexpr unsigned kEveryTime = ~0u;

  /// Replaces the random rates; fails with kInvalidArgument, keeping the old
  /// ones, when a rate is outside [0, 1] or they add up to more than 1.
  host::Result<host::Done> SetRates(FaultRates rates);
  /// Applies the fault to the next count replies to the procedure.
  void Inject(unsigned short procedure, FaultKind kind, unsigned count = 1);
  /// Forgets every injected fault not yet applied.
  void ClearInjected();

  /// The inner responder's plan with a fault applied to its last step.
  ReplyPlan Respond(const GeoComSentence& request,
                    Clock::time_point now) override;

 private:
  std::unique_ptr<FaultState> state_;
};

}  // namespace Core::GEOCOM::simulator

#endif
