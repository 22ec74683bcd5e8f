#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "Random.h"

namespace Core::GEOCOM::simulator {

namespace {

struct Named {
  FaultKind kind;
  const char* name;
};

constexpr Named kNames[] = {
    {FaultKind::kDrop, "drop"},
    {FaultKind::kLate, "late"},
    {FaultKind::kSplit, "split"},
    {FaultKind::kNoise, "noise"},
    {FaultKind::kCorrupt, "corrupt"},
    {FaultKind::kDuplicate, "duplicate"},
    {FaultKind::kWrongSequence, "wrong-sequence"},
    {FaultKind::kDisconnect, "disconnect"},
};

constexpr std::size_t kMaxNoise = 32;

std::string KindList() {
  std::string names;
  for (const Named& named : kNames) {
    names += (names.empty() ? "" : ", ") + std::string(named.name);
  }
  return names;
}

host::Result<host::Done> CheckRates(const FaultRates& rates) {
  double total = 0;
  for (const FaultRate& rate : rates) {
    if (!(rate.rate >= 0 && rate.rate <= 1)) {
      return host::Error(host::ErrorKind::kInvalidArgument,
                         std::string("the rate of ") + FaultName(rate.kind) +
                             " must be a number from 0 to 1");
    }
    total += rate.rate;
  }
  if (total > 1 + 1e-12) {
    return host::Error(host::ErrorKind::kInvalidArgument,
                       "the fault rates add up to more than 1");
  }
  return host::Done{};
}

}  // namespace

const std::vector<FaultKind>& FaultKinds() {
  static const std::vector<FaultKind> kinds = [] {
    std::vector<FaultKind> all;
    for (const Named& named : kNames) all.push_back(named.kind);
    return all;
  }();
  return kinds;
}

const char* FaultName(FaultKind kind) {
  for (const Named& named : kNames) {
    if (named.kind == kind) return named.name;
  }
  return "";
}

std::optional<FaultKind> FindFault(std::string_view name) {
  for (const Named& named : kNames) {
    if (name == named.name) return named.kind;
  }
  return std::nullopt;
}

host::Result<FaultRates> ParseFaultRates(std::string_view text) {
  FaultRates rates;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string_view item = text.substr(start, end - start);
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      return host::Error(host::ErrorKind::kInvalidArgument,
                         "expected KIND=RATE, not '" + std::string(item) + "'");
    }
    const std::string_view name = item.substr(0, equals);
    const std::string_view number = item.substr(equals + 1);
    const std::optional<FaultKind> kind = FindFault(name);
    if (!kind) {
      return host::Error(host::ErrorKind::kInvalidArgument,
                         "unknown fault kind '" + std::string(name) +
                             "' (one of " + KindList() + ")");
    }
    double rate = 0;
    const auto read =
        std::from_chars(number.data(), number.data() + number.size(), rate);
    if (number.empty() || read.ec != std::errc() ||
        read.ptr != number.data() + number.size() || !(rate >= 0) ||
        !(rate <= 1)) {
      return host::Error(host::ErrorKind::kInvalidArgument,
                         "the rate of " + std::string(name) +
                             " must be a number from 0 to 1, not '" +
                             std::string(number) + "'");
    }
    for (const FaultRate& given : rates) {
      if (given.kind == *kind) {
        return host::Error(
            host::ErrorKind::kInvalidArgument,
            "the rate of " + std::string(name) + " is given twice");
      }
    }
    rates.push_back({*kind, rate});
    if (end == text.size()) break;
    start = end + 1;
  }
  const host::Result<host::Done> checked = CheckRates(rates);
  if (!checked) return checked.error();
  return rates;
}

class FaultState {
 public:
  FaultState(Responder& innerGiven, std::uint64_t seed, FaultTiming timingGiven)
      : inner(innerGiven), random(seed), timing(timingGiven) {}

  std::optional<FaultKind> Choose(unsigned short procedure);
  void Apply(FaultKind kind, ReplyPlan& plan, unsigned short procedure);

  std::mutex mutex;
  Responder& inner;
  Random random;
  FaultRates rates;
  FaultTiming timing;
  struct Injected {
    FaultKind kind;
    unsigned remaining;
  };
  std::map<unsigned short, std::deque<Injected>> injected;
};

std::optional<FaultKind> FaultState::Choose(unsigned short procedure) {
  const auto found = injected.find(procedure);
  if (found != injected.end() && !found->second.empty()) {
    Injected& next = found->second.front();
    const FaultKind kind = next.kind;
    if (next.remaining != FaultInjector::kEveryTime && --next.remaining == 0) {
      found->second.pop_front();
    }
    return kind;
  }
  if (rates.empty()) return std::nullopt;
  double draw = random.Uniform();
  for (const FaultRate& rate : rates) {
    if (draw < rate.rate) return rate.kind;
    draw -= rate.rate;
  }
  return std::nullopt;
}

void FaultState::Apply(FaultKind kind, ReplyPlan& plan,
                       unsigned short procedure) {
  plan.fault = FaultName(kind);
  ReplyStep& reply = plan.steps.back();
  // A reply dropped, cut off or with another code is not the one planned.
  if (kind == FaultKind::kDrop || kind == FaultKind::kCorrupt ||
      kind == FaultKind::kDisconnect) {
    plan.returnCode.reset();
    plan.values.reset();
  }
  switch (kind) {
    case FaultKind::kDrop:
      plan.steps.pop_back();
      return;
    case FaultKind::kLate: {
      const Clock::duration due =
          timing.hostTimeout.value_or(host::ReplyTimeout(procedure)) +
          timing.lateBy;
      Clock::duration before{0};
      for (const ReplyStep& step : plan.steps) before += step.delay;
      if (before < due) reply.delay += due - before;
      return;
    }
    case FaultKind::kSplit: {
      const std::string bytes = reply.bytes;
      if (bytes.size() < 2) return;
      std::vector<std::size_t> cuts;
      const std::uint64_t pieces = 2 + random.Below(3);
      for (std::uint64_t i = 1; i < pieces; ++i) {
        cuts.push_back(1 + random.Below(bytes.size() - 1));
      }
      std::sort(cuts.begin(), cuts.end());
      cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
      cuts.push_back(bytes.size());
      const Clock::duration first = reply.delay;
      plan.steps.pop_back();
      std::size_t from = 0;
      for (const std::size_t cut : cuts) {
        plan.steps.push_back({from == 0 ? first : timing.splitPause,
                              bytes.substr(from, cut - from), false});
        from = cut;
      }
      return;
    }
    case FaultKind::kNoise: {
      std::string noise(1 + random.Below(kMaxNoise), '\0');
      for (char& byte : noise) {
        byte = static_cast<char>(random.Below(255));
        if (byte == '%') byte = static_cast<char>(255);
      }
      const ReplyStep before{reply.delay, noise, false};
      reply.delay = Clock::duration{0};
      plan.steps.insert(plan.steps.end() - 1, before);
      return;
    }
    case FaultKind::kCorrupt: {
      // The leading code is the field after the reply's prefix; any digit
      // but 0 there makes the line a reply that no host accepts.
      const std::size_t code = reply.bytes.find(',') + 1;
      if (code > 0 && code < reply.bytes.size()) {
        reply.bytes[code] = static_cast<char>('1' + random.Below(9));
      }
      return;
    }
    case FaultKind::kDuplicate:
      plan.steps.push_back({Clock::duration{0}, reply.bytes, false});
      return;
    case FaultKind::kWrongSequence: {
      GeoComSentence sentence;
      int last = 0;
      if (!sentence.CreateMessageFromBuffer(
              reinterpret_cast<const unsigned char*>(reply.bytes.data()),
              static_cast<int>(reply.bytes.size()), last) ||
          !sentence.isResponseMessageValid()) {
        return;
      }
      const auto other = static_cast<unsigned short>(
          (sentence.GetSequenceID() + 1 +
           random.Below(host::kSequenceNumbers - 1)) %
          host::kSequenceNumbers);
      const ReplyStep wrong{reply.delay,
                            host::ReplyBytes(other, sentence.GetRetCode(),
                                             sentence.GetStringCommand()),
                            false};
      reply.delay = Clock::duration{0};
      plan.steps.insert(plan.steps.end() - 1, wrong);
      return;
    }
    case FaultKind::kDisconnect: {
      const std::size_t keep =
          reply.bytes.size() < 2 ? 0 : 1 + random.Below(reply.bytes.size() - 1);
      reply.bytes.resize(keep);
      reply.disconnect = true;
      return;
    }
  }
}

FaultInjector::FaultInjector(Responder& inner, std::uint64_t seed,
                             FaultTiming timing)
    : state_(std::make_unique<FaultState>(inner, seed, timing)) {}

FaultInjector::~FaultInjector() = default;

host::Result<host::Done> FaultInjector::SetRates(FaultRates rates) {
  const host::Result<host::Done> checked = CheckRates(rates);
  if (!checked) return checked;
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->rates = std::move(rates);
  return host::Done{};
}

void FaultInjector::Inject(unsigned short procedure, FaultKind kind,
                           unsigned count) {
  if (count == 0) return;
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->injected[procedure].push_back({kind, count});
}

void FaultInjector::ClearInjected() {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->injected.clear();
}

ReplyPlan FaultInjector::Respond(const GeoComSentence& request,
                                 Clock::time_point now) {
  ReplyPlan plan = state_->inner.Respond(request, now);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  if (plan.steps.empty()) return plan;
  const std::optional<FaultKind> kind = state_->Choose(request.GetGeocomID());
  if (kind) state_->Apply(*kind, plan, request.GetGeocomID());
  return plan;
}

}  // namespace Core::GEOCOM::simulator
