// What a live view reads of the instrument, and the changes it makes while
// the instrument runs.
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <algorithm>

#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

InstrumentView InstrumentState::View(Clock::time_point now) {
  InstrumentView view;
  view.station = station_;
  for (std::size_t i = 0; i < scene.prisms.size(); ++i) {
    view.prisms.push_back(
        {scene.prisms[i].id,
         PrismPosition(scene.prisms[i], InSeconds(now - start),
                       scene.timeScale)});
  }
  view.telescope = telescope.At(now);
  view.moving = telescope.Moving(now);
  view.atr = atr_;
  view.lock = lockSwitch_;
  if (locked_) view.lockedPrism = scene.prisms[*locked_].id;
  view.searchCentre = {searchArea_.centerHz, searchArea_.centerV};
  view.searchRange = {searchArea_.rangeHz, searchArea_.rangeV};
  view.searchEnabled = searchArea_.enabled;
  view.fieldOfView = scene.atr.fieldOfView;
  view.beamDivergence = scene.edm.beamDivergence;
  view.battery = BatteryLevel(now);
  view.clock = FromSeconds(ClockSeconds(now));
  view.requests = requests_;
  return view;
}

host::Result<host::Done> InstrumentState::MovePrism(std::string_view id,
                                                    const Point& position,
                                                    Clock::time_point now) {
  const auto found =
      std::find_if(scene.prisms.begin(), scene.prisms.end(),
                   [&](const Prism& prism) { return prism.id == id; });
  if (found == scene.prisms.end()) {
    return host::Error(host::ErrorKind::kInvalidArgument,
                       "there is no prism " + std::string(id));
  }
  const host::Result<host::Done> checked =
      CheckPoint(position, "prism " + std::string(id));
  if (!checked) return checked;
  // Standing still there: neither its path nor its drift moves it on.
  found->position = position;
  found->path = {};
  found->drift = {};
  const auto index = static_cast<std::size_t>(found - scene.prisms.begin());
  if (locked_ == index) {
    // The telescope turns after the prism; the lock is checked again
    // once it arrives, or breaks now when the prism is out of range.
    const Sight sight = SightOfPrism(index, now);
    if (sight.slopeDistance > scene.atr.range) {
      telescope.Stop(now);
      Unlock();
    } else {
      lockCheckedAt_ = telescope.TurnTo(sight.direction, now);
    }
  }
  return host::Done{};
}

InstrumentView VirtualInstrument::View(Clock::time_point now) {
  const std::lock_guard<std::mutex> kept(resetMutex_);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  now = std::max(now, state_->latest);
  state_->latest = now;
  state_->Advance(now);
  return state_->View(now);
}

host::Result<host::Done> VirtualInstrument::MovePrism(std::string_view id,
                                                      const Point& position,
                                                      Clock::time_point now) {
  const std::lock_guard<std::mutex> kept(resetMutex_);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  now = std::max(now, state_->latest);
  state_->latest = now;
  state_->Advance(now);
  return state_->MovePrism(id, position, now);
}

void VirtualInstrument::Reset(Clock::time_point now) {
  const std::lock_guard<std::mutex> kept(resetMutex_);
  state_ = std::make_unique<InstrumentState>(original_, seed_, now);
}

}  // namespace Core::GEOCOM::simulator
