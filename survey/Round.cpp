#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>
#include <DazoZazIdoRezeraro/survey/Reduction.h>
#include <DazoZazIdoRezeraro/survey/Round.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/strand.hpp>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

#include "RoundEngine.h"

namespace Core::GEOCOM::survey {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Number(const host::Fields& values, std::string_view name) {
  const host::FieldValue* value = host::FindValue(values, name);
  if (value == nullptr) return kNaN;
  if (const auto* real = std::get_if<double>(value)) return *real;
  if (const auto* integer = std::get_if<std::int64_t>(value)) {
    return static_cast<double>(*integer);
  }
  return kNaN;
}

bool IsKind(boost::system::error_code error, host::ErrorKind kind) {
  return error == host::make_error_code(kind);
}

// Calls on an asynchronous session, every completion on one strand.
class SessionCaller final : public NamedCaller {
 public:
  explicit SessionCaller(host::Session& session)
      : session_(session),
        strand_(boost::asio::make_strand(session.get_executor())) {}

  void Call(std::string_view procedure, host::Fields arguments,
            Completion completion) override {
    host::AsyncCallNamed(
        session_, procedure, std::move(arguments),
        boost::asio::bind_cancellation_slot(
            cancel_.slot(),
            boost::asio::bind_executor(strand_, std::move(completion))));
  }

  void CancelCall() override {
    cancel_.emit(boost::asio::cancellation_type::terminal);
  }

  void Post(std::function<void()> work) override {
    boost::asio::post(strand_, std::move(work));
  }

 private:
  host::Session& session_;
  // Wrapped as the session's executor type, whose work counting the
  // session's calls use.
  host::Session::executor_type strand_;
  boost::asio::cancellation_signal cancel_;
};

// Calls on a blocking session's own thread, where its completions run one
// after the other.
class BlockingCaller final : public NamedCaller {
 public:
  explicit BlockingCaller(host::BlockingSession& session) : session_(session) {}

  void Call(std::string_view name, host::Fields arguments,
            Completion completion) override {
    const host::Procedure* procedure = host::FindProcedure(name);
    host::Result<std::string> parameters =
        procedure != nullptr
            ? host::PackArguments(*procedure, arguments)
            : host::Result<std::string>(host::Error(
                  host::ErrorKind::kInvalidArgument,
                  "no procedure is named '" + std::string(name) + "'"));
    if (!parameters) {
      host::NamedReply failed;
      failed.reply.diagnostics = parameters.error().message;
      completion(host::ErrorKind::kInvalidArgument, std::move(failed));
      return;
    }
    session_.AsyncCall(procedure->id, *parameters,
                       [procedure, completion = std::move(completion)](
                           boost::system::error_code error, host::Reply reply) {
                         host::NamedReply named;
                         if (!error) {
                           host::Result<host::Fields> values =
                               host::DecodeReply(*procedure, reply.sentence);
                           if (values) {
                             named.values = std::move(*values);
                           } else {
                             error = host::ErrorKind::kInvalidReply;
                             reply.diagnostics = values.error().message;
                           }
                         }
                         named.reply = std::move(reply);
                         completion(error, std::move(named));
                       });
  }

  void CancelCall() override {}

  // Work runs where the caller is; the blocking twin starts the round
  // before any call is made, so nothing runs beside it.
  void Post(std::function<void()> work) override { work(); }

 private:
  host::BlockingSession& session_;
};

}  // namespace

RoundEngine::RoundEngine(std::unique_ptr<NamedCaller> caller, RoundPlan plan,
                         TargetHandler progress,
                         detail::RoundCompletion completion,
                         std::function<bool()> stopAsked)
    : caller_(std::move(caller)),
      plan_(std::move(plan)),
      progress_(std::move(progress)),
      completion_(std::move(completion)),
      stopAsked_(std::move(stopAsked)) {
  const std::size_t count = plan_.targets.size();
  remaining_.assign(count, 0);
  ended_.assign(count, false);
  results_.resize(count);
  for (std::size_t t = 0; t < count; ++t) {
    results_[t].round = plan_.round;
    results_[t].target = plan_.targets[t].id;
    results_[t].hz = results_[t].v = results_[t].distance = kNaN;
    results_[t].collimation = results_[t].verticalIndex = kNaN;
  }
  const int sets = std::max(1, plan_.sets);
  const auto add = [&](std::size_t t, int set, int face) {
    schedule_.push_back({t, set, face});
    ++remaining_[t];
  };
  if (plan_.order == SetOrder::kTargetByTarget) {
    for (std::size_t t = 0; t < count; ++t) {
      for (int set = 1; set <= sets; ++set) {
        add(t, set, 1);
        if (plan_.targets[t].faces == 2) add(t, set, 2);
      }
    }
  } else {
    for (int set = 1; set <= sets; ++set) {
      for (std::size_t t = 0; t < count; ++t) add(t, set, 1);
      for (std::size_t t = count; t-- > 0;) {
        if (plan_.targets[t].faces == 2) add(t, set, 2);
      }
    }
  }
}

void RoundEngine::Start() {
  round_.started = std::chrono::system_clock::now();
  // Fine adjustment needs target recognition on.
  caller_->Call("set-atr-state", {{"on", true}},
                [self = shared_from_this()](boost::system::error_code error,
                                            host::NamedReply reply) {
                  ++self->round_.calls;
                  self->round_.callTime += reply.reply.roundTrip;
                  if (error) {
                    self->round_.message = reply.reply.diagnostics;
                    self->Finish(error);
                    return;
                  }
                  self->Next();
                });
}

void RoundEngine::Cancel(boost::asio::cancellation_type type) {
  if (finished_) return;
  if ((type & boost::asio::cancellation_type::terminal) !=
      boost::asio::cancellation_type::none) {
    cancelled_ = true;
    caller_->CancelCall();
  } else {
    stopAfterTarget_ = true;
  }
}

bool RoundEngine::TargetOpen() const {
  for (std::size_t t = 0; t < results_.size(); ++t) {
    if (!ended_[t] && !results_[t].observations.empty()) return true;
  }
  return false;
}

Direction RoundEngine::AimFor(const Step& step) const {
  const Target& target = plan_.targets[step.target];
  Direction aim = ApproximateDirection(plan_.station, target);
  if (step.face == 1) return aim;
  // Face II aims through the other face at where face I found the prism.
  for (const Observation& seen : results_[step.target].observations) {
    if (seen.face == 1 && seen.returnCode == 0) aim = {seen.hz, seen.v};
  }
  return {std::fmod(aim.hz + kPi, 2 * kPi), 2 * kPi - aim.v};
}

void RoundEngine::Next() {
  if (finished_) return;
  while (index_ < schedule_.size() && ended_[schedule_[index_].target]) {
    ++index_;
  }
  const bool stop = stopAfterTarget_ || (stopAsked_ && stopAsked_());
  if (cancelled_ || (stop && !TargetOpen())) {
    Finish(cancelled_ ? boost::asio::error::operation_aborted
                      : boost::system::error_code());
    return;
  }
  if (stop && plan_.order == SetOrder::kFacesInTurn) {
    // Every target is open until the last face of the last set: those
    // begun end here as cancelled.
    EndOpenTargets(Outcome::kCancelled);
    Finish({});
    return;
  }
  if (index_ == schedule_.size()) {
    Finish({});
    return;
  }
  TargetResult& result = results_[schedule_[index_].target];
  if (result.observations.empty() && phase_ == Phase::kPosition) {
    result.started = std::chrono::system_clock::now();
  }
  RunPhase();
}

void RoundEngine::RunPhase() {
  const Step& step = schedule_[index_];
  const Direction aim = AimFor(step);
  const Direction faceOne =
      ApproximateDirection(plan_.station, plan_.targets[step.target]);
  auto then = [self = shared_from_this()](boost::system::error_code error,
                                          host::NamedReply reply) {
    self->Called(error, std::move(reply));
  };
  const double range = plan_.fineAdjustRange;
  switch (phase_) {
    case Phase::kPosition:
      caller_->Call("position", {{"hz", aim.hz}, {"v", aim.v}}, then);
      return;
    case Phase::kFine:
    case Phase::kFineAgain:
    case Phase::kFineAfterSearch:
      caller_->Call("fine-adjust", {{"hz_range", range}, {"v_range", range}},
                    then);
      return;
    case Phase::kSearchArea:
      caller_->Call("set-search-area",
                    {{"center_hz", faceOne.hz},
                     {"center_v", faceOne.v},
                     {"range_hz", plan_.search->hzRange},
                     {"range_v", plan_.search->vRange},
                     {"enabled", true}},
                    then);
      return;
    case Phase::kSearch:
      caller_->Call("power-search",
                    {{"direction", std::int64_t{0}}, {"swing", false}}, then);
      return;
    case Phase::kMeasure:
      caller_->Call(
          "simple-measurement",
          {{"wait_ms", static_cast<std::int64_t>(plan_.distanceWait.count())}},
          then);
      return;
  }
}

void RoundEngine::Called(boost::system::error_code error,
                         host::NamedReply reply) {
  ++round_.calls;
  round_.callTime += reply.reply.roundTrip;
  if (finished_) return;
  const bool returnCode = IsKind(error, host::ErrorKind::kReturnCode);
  if (!error || (returnCode && phase_ == Phase::kSearch)) {
    // A search that found nothing still leaves fine adjustment to try.
    switch (phase_) {
      case Phase::kPosition:
        phase_ = Phase::kFine;
        break;
      case Phase::kFine:
      case Phase::kFineAgain:
      case Phase::kFineAfterSearch:
        phase_ = Phase::kMeasure;
        break;
      case Phase::kSearchArea:
        phase_ = Phase::kSearch;
        break;
      case Phase::kSearch:
        phase_ = Phase::kFineAfterSearch;
        break;
      case Phase::kMeasure:
        Measured(reply);
        return;
    }
    RunPhase();
    return;
  }
  if (returnCode && (phase_ == Phase::kFine || phase_ == Phase::kFineAgain ||
                     phase_ == Phase::kFineAfterSearch)) {
    if (phase_ == Phase::kFine) {
      phase_ = Phase::kFineAgain;
    } else if (phase_ == Phase::kFineAgain && plan_.search) {
      phase_ = Phase::kSearchArea;
    } else {
      NotFound();
      return;
    }
    RunPhase();
    return;
  }
  Failed(error, reply);
}

Observation RoundEngine::ObservationOf(const Step& step,
                                       const host::NamedReply& reply,
                                       const char* distance) {
  Observation observation;
  observation.set = step.set;
  observation.face = step.face;
  observation.time = std::chrono::system_clock::now();
  observation.hz = Number(reply.values, "hz");
  observation.v = Number(reply.values, "v");
  observation.distance =
      distance != nullptr ? Number(reply.values, distance) : kNaN;
  return observation;
}

void RoundEngine::Measured(host::NamedReply& reply) {
  const Step step = schedule_[index_];
  TargetResult& result = results_[step.target];
  result.observations.push_back(ObservationOf(step, reply, "slope_distance"));
  phase_ = Phase::kPosition;
  ++index_;
  if (--remaining_[step.target] == 0) {
    Reduce(plan_.station, plan_.targets[step.target], plan_.ppm, result);
    EndTarget(step.target, result.outcome);
  }
  Next();
}

void RoundEngine::NotFound() {
  const Step step = schedule_[index_];
  results_[step.target].message = "target recognition found no prism in face " +
                                  std::string(step.face == 1 ? "I" : "II") +
                                  " of set " + std::to_string(step.set);
  phase_ = Phase::kPosition;
  ++index_;
  EndTarget(step.target, Outcome::kNotFound);
  Next();
}

void RoundEngine::Failed(boost::system::error_code error,
                         const host::NamedReply& reply) {
  const Step step = schedule_[index_];
  TargetResult& result = results_[step.target];
  phase_ = Phase::kPosition;
  ++index_;
  if (error == boost::asio::error::operation_aborted) {
    result.message = "cancelled";
    EndTarget(step.target, Outcome::kCancelled);
    cancelled_ = true;
    Next();
    return;
  }
  result.returnCode = reply.reply.returnCode;
  result.message = reply.reply.diagnostics.empty() ? error.message()
                                                   : reply.reply.diagnostics;
  if (IsKind(error, host::ErrorKind::kReturnCode)) {
    // The angles of a measurement that failed are kept: they say where
    // the telescope looked.
    Observation observation = ObservationOf(step, reply, nullptr);
    observation.returnCode = reply.reply.returnCode;
    result.observations.push_back(observation);
  }
  EndTarget(step.target, Outcome::kInstrumentError);
  if (IsKind(error, host::ErrorKind::kClosed) || plan_.stopOnInstrumentError) {
    round_.message = result.message;
    EndOpenTargets(Outcome::kCancelled);
    Finish(IsKind(error, host::ErrorKind::kClosed)
               ? error
               : boost::system::error_code());
    return;
  }
  Next();
}

void RoundEngine::EndTarget(std::size_t target, Outcome outcome) {
  TargetResult& result = results_[target];
  ended_[target] = true;
  result.outcome = outcome;
  if (outcome != Outcome::kMeasured && outcome != Outcome::kOutOfTolerance) {
    result.coordinates.reset();
  }
  result.time = std::chrono::system_clock::now();
  if (result.started == TimePoint{}) result.started = result.time;
  round_.targets.push_back(result);
  if (progress_ && !finished_) {
    try {
      progress_(result);
    } catch (const std::exception& error) {
      failure_ = std::current_exception();
      round_.message = error.what();
      Finish(host::make_error_code(host::ErrorKind::kIo));
    }
  }
}

void RoundEngine::EndOpenTargets(Outcome outcome) {
  for (std::size_t t = 0; t < results_.size(); ++t) {
    if (!ended_[t] && !results_[t].observations.empty()) {
      results_[t].message = "the round ended before the target's last face";
      EndTarget(t, outcome);
    }
  }
}

void RoundEngine::Finish(boost::system::error_code error) {
  if (finished_) return;
  finished_ = true;
  round_.finished = std::chrono::system_clock::now();
  bool every = true;
  for (bool ended : ended_) every = every && ended;
  round_.status = every ? RoundStatus::kComplete : RoundStatus::kIncomplete;
  auto completion = std::move(completion_);
  completion(error, std::move(round_));
}

namespace detail {

RoundCanceller StartRound(host::Session& session, RoundPlan plan,
                          TargetHandler progress, RoundCompletion completion) {
  auto engine = std::make_shared<RoundEngine>(
      std::make_unique<SessionCaller>(session), std::move(plan),
      std::move(progress), std::move(completion), nullptr);
  engine->caller().Post([engine] { engine->Start(); });
  return [weak = std::weak_ptr<RoundEngine>(engine)](
             boost::asio::cancellation_type type) {
    if (auto running = weak.lock()) {
      running->caller().Post([running, type] { running->Cancel(type); });
    }
  };
}

}  // namespace detail

RoundResult MeasureRound(host::BlockingSession& session, RoundPlan plan,
                         TargetHandler progress,
                         const std::atomic<bool>* stop) {
  std::promise<std::pair<boost::system::error_code, RoundResult>> ended;
  std::future<std::pair<boost::system::error_code, RoundResult>> result =
      ended.get_future();
  auto engine = std::make_shared<RoundEngine>(
      std::make_unique<BlockingCaller>(session), std::move(plan),
      std::move(progress),
      [&ended](boost::system::error_code error, RoundResult round) {
        ended.set_value({error, std::move(round)});
      },
      [stop] { return stop != nullptr && stop->load(); });
  engine->Start();
  auto [error, round] = result.get();
  if (engine->failure()) std::rethrow_exception(engine->failure());
  if (IsKind(error, host::ErrorKind::kClosed)) {
    throw host::SessionError(host::Error(
        host::ErrorKind::kClosed, "the connection closed during the round"));
  }
  return std::move(round);
}

}  // namespace Core::GEOCOM::survey
