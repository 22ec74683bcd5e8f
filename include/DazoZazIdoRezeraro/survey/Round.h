#ifndef DAZOZAZIDOREZERARO_SURVEY_ROUND_H
#define DAZOZAZIDOREZERARO_SURVEY_ROUND_H

#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Session.h>

#include <atomic>
#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/cancellation_type.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Export.h"
#include "Store.h"
#include "Target.h"

/// @file
/// A measuring round: each target in turn, aimed at, fine-adjusted by
/// target recognition, measured in one or two faces and in sets, reduced to
/// coordinates. In Asio's conventions, with a blocking twin.

namespace Core::GEOCOM::survey {

/// In which order a round with sets measures the faces.
enum class SetOrder {
  /// Each target in every set and face before the next target.
  kTargetByTarget,
  /// Per set all targets in face I, then all in face II in reverse order.
  kFacesInTurn,
};

/// Where to search for a target that fine adjustment does not find: a
/// window centred on its approximate direction.
struct SearchWindow {
  double hzRange = 0.1;  ///< Full width, radians.
  double vRange = 0.1;   ///< Full height, radians.
};

/// What one round measures and how.
struct RoundPlan {
  std::int64_t round = 0;       ///< The id each result carries (a store's).
  Station station;              ///< Where the instrument stands.
  std::vector<Target> targets;  ///< In the order they are measured.
  int sets = 1;                 ///< Sets per round, at least 1.
  SetOrder order = SetOrder::kTargetByTarget;  ///< How sets go.
  /// How far from the aimed direction fine adjustment looks, radians.
  double fineAdjustRange = 0.01;
  /// Where to search after fine adjustment failed twice; none: not found.
  std::optional<SearchWindow> search;
  /// The atmospheric scale correction of distances, ppm.
  double ppm = 0;
  /// How long the instrument may take for a distance.
  std::chrono::milliseconds distanceWait{3000};
  /// Ends the round at a target's instrument error (otherwise it goes on
  /// to the next target); a closed connection always ends it.
  bool stopOnInstrumentError = false;
};

/// What a round did.
struct RoundResult {
  TimePoint started;   ///< When it started.
  TimePoint finished;  ///< When it ended.
  /// kComplete when every target ended, kIncomplete when it was stopped.
  RoundStatus status = RoundStatus::kIncomplete;
  std::vector<TargetResult> targets;  ///< Each ended target, in that order.
  std::uint64_t calls = 0;            ///< Calls made.
  /// The sum of the calls' round trips (write to reply): what the round
  /// cost the instrument and the line, against its own duration.
  std::chrono::microseconds callTime{0};
  /// Why the round ended early; empty when it did not.
  std::string message;
};

/// Told of each target as it ends, before the next one starts: where a
/// monitor writes it to its store and prints its line. Runs on the round's
/// strand; an exception it throws ends the round (kIo, its what() in the
/// result's message; the blocking twin throws it again).
using TargetHandler = std::function<void(const TargetResult&)>;

namespace detail {

/// Ends the round early: terminal cancellation at once (the target under
/// way ends as cancelled), any other after the target under way.
using RoundCanceller = std::function<void(boost::asio::cancellation_type)>;
/// Receives the round's outcome.
using RoundCompletion =
    std::function<void(boost::system::error_code, RoundResult)>;

/// Starts the round that AsyncMeasureRound wraps; returns its canceller.
DAZOZAZIDOREZERARO_SURVEY_EXPORT RoundCanceller
StartRound(host::Session& session, RoundPlan plan, TargetHandler progress,
           RoundCompletion completion);

}  // namespace detail

/// Measures one round on the session; token receives (error_code,
/// RoundResult). Several rounds on several sessions may run at once on one
/// io_context run by any number of threads: each round runs on a strand of
/// its session's executor. Cancellation through the handler's slot: a
/// terminal one ends the call under way and the round (its target
/// cancelled, the error operation_aborted); a partial or total one lets the
/// target under way finish and ends the round there (no error). Either way
/// the result holds every target that ended, the round kIncomplete. A
/// closed connection ends the round with kClosed; other errors end their
/// target only.
template <typename CompletionToken>
auto AsyncMeasureRound(host::Session& session, RoundPlan plan,
                       TargetHandler progress, CompletionToken&& token) {
  using Signature = void(boost::system::error_code, RoundResult);
  return boost::asio::async_initiate<CompletionToken, Signature>(
      [&session](auto handler, RoundPlan given, TargetHandler told) {
        auto slot = boost::asio::get_associated_cancellation_slot(handler);
        auto work =
            boost::asio::make_work_guard(boost::asio::get_associated_executor(
                handler, session.get_executor()));
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        detail::RoundCanceller canceller = detail::StartRound(
            session, std::move(given), std::move(told),
            [shared, work](boost::system::error_code error,
                           RoundResult result) mutable {
              auto target = work.get_executor();
              boost::asio::post(target, [shared = std::move(shared), error,
                                         work = std::move(work),
                                         result = std::move(result)]() mutable {
                (*shared)(error, std::move(result));
                work.reset();
              });
            });
        if (slot.is_connected()) {
          slot.assign([canceller](boost::asio::cancellation_type type) {
            canceller(type);
          });
        }
      },
      token, std::move(plan), std::move(progress));
}

/// The blocking twin: measures one round on the blocking session and
/// returns when it ends. When stop becomes true the target under way
/// finishes and the round ends there, kIncomplete. Throws host::SessionError
/// when the connection closes.
DAZOZAZIDOREZERARO_SURVEY_EXPORT RoundResult MeasureRound(
    host::BlockingSession& session, RoundPlan plan, TargetHandler progress = {},
    const std::atomic<bool>* stop = nullptr);

}  // namespace Core::GEOCOM::survey

#endif
