#include <DazoZazIdoRezeraro/simulator/Control.h>

#include <deque>
#include <mutex>

namespace Core::GEOCOM::simulator {

class ControlState {
 public:
  ControlState(VirtualInstrument& instrumentGiven, FaultInjector& faultsGiven)
      : instrument(instrumentGiven), faults(faultsGiven) {}

  void Record(const Exchange& exchange) {
    std::vector<std::function<void(const LoggedExchange&)>> observing;
    LoggedExchange logged;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      logged = {++counts.calls, exchange};
      if (!exchange.fault.empty()) ++counts.faults[exchange.fault];
      traffic.push_back(logged);
      if (traffic.size() > InstrumentControl::kTrafficKept) {
        traffic.pop_front();
      }
    }
    // Called outside the log's lock, but under the observers', so that
    // none is called after Unsubscribe returns.
    const std::lock_guard<std::mutex> lock(observersMutex);
    for (const auto& [number, observer] : observers) observer(logged);
  }

  VirtualInstrument& instrument;
  FaultInjector& faults;
  Server* server = nullptr;
  mutable std::mutex mutex;
  FaultRates rates;
  std::deque<LoggedExchange> traffic;
  TrafficCounts counts;
  std::mutex observersMutex;
  std::map<std::uint64_t, std::function<void(const LoggedExchange&)>> observers;
  std::uint64_t nextObserver = 1;
};

InstrumentControl::InstrumentControl(VirtualInstrument& instrument,
                                     FaultInjector& faults)
    : state_(std::make_shared<ControlState>(instrument, faults)) {}

InstrumentControl::~InstrumentControl() = default;

std::function<void(const Exchange&)> InstrumentControl::Recorder() {
  return
      [state = state_](const Exchange& exchange) { state->Record(exchange); };
}

void InstrumentControl::Attach(Server& server) {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->server = &server;
}

host::Result<host::Done> InstrumentControl::MovePrism(std::string_view id,
                                                      const Point& position) {
  return state_->instrument.MovePrism(id, position, Clock::now());
}

InstrumentView InstrumentControl::State() {
  return state_->instrument.View(Clock::now());
}

host::Result<host::Done> InstrumentControl::SetFaultRates(FaultRates rates) {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  const host::Result<host::Done> set = state_->faults.SetRates(rates);
  if (set) state_->rates = std::move(rates);
  return set;
}

FaultRates InstrumentControl::Rates() const {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->rates;
}

void InstrumentControl::Pause() {
  if (state_->server != nullptr) state_->server->SetPaused(true);
}

void InstrumentControl::Resume() {
  if (state_->server != nullptr) state_->server->SetPaused(false);
}

bool InstrumentControl::Paused() const {
  return state_->server != nullptr && state_->server->Paused();
}

void InstrumentControl::Reset() {
  state_->instrument.Reset(Clock::now());
  state_->faults.ClearInjected();
}

std::vector<std::string> InstrumentControl::Clients() const {
  if (state_->server == nullptr) return {};
  return state_->server->Clients();
}

std::vector<LoggedExchange> InstrumentControl::Traffic() const {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  return {state_->traffic.begin(), state_->traffic.end()};
}

TrafficCounts InstrumentControl::Counts() const {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->counts;
}

std::uint64_t InstrumentControl::Subscribe(
    std::function<void(const LoggedExchange&)> observer) {
  const std::lock_guard<std::mutex> lock(state_->observersMutex);
  const std::uint64_t number = state_->nextObserver++;
  state_->observers.emplace(number, std::move(observer));
  return number;
}

void InstrumentControl::Unsubscribe(std::uint64_t subscription) {
  const std::lock_guard<std::mutex> lock(state_->observersMutex);
  state_->observers.erase(subscription);
}

}  // namespace Core::GEOCOM::simulator
