#ifndef DAZOZAZIDOREZERARO_SURVEY_ROUNDENGINE_H
#define DAZOZAZIDOREZERARO_SURVEY_ROUNDENGINE_H

#include <DazoZazIdoRezeraro/host/NamedCall.h>
#include <DazoZazIdoRezeraro/survey/Round.h>

#include <exception>
#include <functional>
#include <memory>
#include <string_view>

namespace Core::GEOCOM::survey {

/// Makes catalogued calls by name for a round; every completion of one
/// caller runs in order, never two at once.
class NamedCaller {
 public:
  using Completion =
      std::function<void(boost::system::error_code, host::NamedReply)>;
  virtual ~NamedCaller() = default;
  virtual void Call(std::string_view procedure, host::Fields arguments,
                    Completion completion) = 0;
  /// Ends the call under way with operation_aborted, where the caller can.
  virtual void CancelCall() = 0;
  /// Runs work in order with the completions.
  virtual void Post(std::function<void()> work) = 0;
};

/// One round's progress, step by step: the algorithm both faces share.
class RoundEngine : public std::enable_shared_from_this<RoundEngine> {
 public:
  RoundEngine(std::unique_ptr<NamedCaller> caller, RoundPlan plan,
              TargetHandler progress, detail::RoundCompletion completion,
              std::function<bool()> stopAsked);
  /// Starts the round; call once.
  void Start();
  /// Terminal: ends the call under way; any other: ends after the target
  /// under way. Call in order with the completions (through Post).
  void Cancel(boost::asio::cancellation_type type);
  NamedCaller& caller() { return *caller_; }
  /// What the target handler threw, which ended the round; null if none.
  std::exception_ptr failure() const { return failure_; }

 private:
  struct Step {
    std::size_t target;
    int set;
    int face;
  };
  enum class Phase {
    kPosition,
    kFine,
    kFineAgain,
    kSearchArea,
    kSearch,
    kFineAfterSearch,
    kMeasure
  };

  void Next();
  void RunPhase();
  void Called(boost::system::error_code error, host::NamedReply reply);
  // The observation of the step from the reply's angles and, when named,
  // its distance.
  static Observation ObservationOf(const Step& step,
                                   const host::NamedReply& reply,
                                   const char* distance);
  void Measured(host::NamedReply& reply);
  void NotFound();
  void Failed(boost::system::error_code error, const host::NamedReply& reply);
  void EndTarget(std::size_t target, Outcome outcome);
  void EndOpenTargets(Outcome outcome);
  void Finish(boost::system::error_code error);
  bool TargetOpen() const;
  Direction AimFor(const Step& step) const;

  std::unique_ptr<NamedCaller> caller_;
  RoundPlan plan_;
  TargetHandler progress_;
  detail::RoundCompletion completion_;
  std::function<bool()> stopAsked_;

  std::vector<Step> schedule_;
  std::vector<int> remaining_;
  std::vector<bool> ended_;
  std::vector<TargetResult> results_;
  RoundResult round_;
  std::size_t index_ = 0;
  Phase phase_ = Phase::kPosition;
  bool started_ = false;
  bool stopAfterTarget_ = false;
  bool cancelled_ = false;
  bool finished_ = false;
  std::exception_ptr failure_;
};

}  // namespace Core::GEOCOM::survey

#endif
