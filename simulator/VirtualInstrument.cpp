#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>

#include <algorithm>
#include <cmath>

#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

using namespace host;

namespace {

// How often the track of a locked prism is checked against the turning
// speed, and at most how many checks one Advance makes.
constexpr double kLockStep = 0.02;
constexpr double kMaxLockSteps = 10000;

// Every procedure whose answer depends on the instrument's state, by the
// catalogue's number. A catalogued procedure whose reply carries nothing
// needs no handler: reading its arguments is all it does here.
const Handlers& AllHandlers() {
  static const Handlers handlers = [] {
    Handlers all;
    AddMotionHandlers(all);
    AddMeasurementHandlers(all);
    AddServiceHandlers(all);
    return all;
  }();
  return handlers;
}

}  // namespace

namespace {

Point PathPosition(const Prism& prism, double seconds) {
  const Path& path = prism.path;
  if (path.points.empty() || seconds <= 0) return prism.position;
  std::vector<Point> corners{prism.position};
  corners.insert(corners.end(), path.points.begin(), path.points.end());
  if (path.loop) corners.push_back(prism.position);
  const auto length = [](const Point& a, const Point& b) {
    return std::hypot(b.easting - a.easting, b.northing - a.northing,
                      b.height - a.height);
  };
  double total = 0;
  for (std::size_t i = 1; i < corners.size(); ++i) {
    total += length(corners[i - 1], corners[i]);
  }
  if (total == 0) return prism.position;
  double along = path.speed * seconds;
  along = path.loop ? std::fmod(along, total) : std::min(along, total);
  for (std::size_t i = 1; i < corners.size(); ++i) {
    const Point& a = corners[i - 1];
    const Point& b = corners[i];
    const double segment = length(a, b);
    if (along <= segment && segment > 0) {
      const double f = along / segment;
      return {a.easting + f * (b.easting - a.easting),
              a.northing + f * (b.northing - a.northing),
              a.height + f * (b.height - a.height)};
    }
    along -= segment;
  }
  return corners.back();
}

// Uniform in [0, 1) from the numbers, the same for the same numbers.
double Draw(std::uint64_t seed, std::uint64_t prism, std::uint64_t slot) {
  return Random(seed ^ (prism * 0x9e3779b97f4a7c15ull) ^
                (slot * 0xc2b2ae3d27d4eb4full))
      .Uniform();
}

}  // namespace

Point PrismPosition(const Prism& prism, double seconds, double timeScale) {
  Point at = PathPosition(prism, seconds);
  const double days = std::max(0.0, seconds) * timeScale / 86400;
  at.easting += prism.drift.easting * days;
  at.northing += prism.drift.northing * days;
  at.height += prism.drift.height * days;
  return at;
}

bool InstrumentState::Hidden(std::size_t index, Clock::time_point t) const {
  const Prism& prism = scene.prisms[index];
  const double seconds = InSeconds(t - start);
  for (const HiddenWindow& window : prism.hidden) {
    if (seconds >= window.from && seconds < window.to) return true;
  }
  if (prism.hiddenProbability <= 0) return false;
  const auto slot =
      static_cast<std::uint64_t>(std::max(0.0, seconds) / kHiddenDrawSeconds);
  return Draw(seed_, index, slot) < prism.hiddenProbability;
}

std::time_t ToSeconds(const DATIME& dateTime) {
  std::tm parts{};
  parts.tm_year = dateTime.year - 1900;
  parts.tm_mon = dateTime.month - 1;
  parts.tm_mday = dateTime.day;
  parts.tm_hour = dateTime.hour;
  parts.tm_min = dateTime.minute;
  parts.tm_sec = dateTime.second;
  return timegm(&parts);
}

DATIME FromSeconds(std::time_t seconds) {
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  return {static_cast<std::uint16_t>(parts.tm_year + 1900),
          static_cast<unsigned char>(parts.tm_mon + 1),
          static_cast<unsigned char>(parts.tm_mday),
          static_cast<unsigned char>(parts.tm_hour),
          static_cast<unsigned char>(parts.tm_min),
          static_cast<unsigned char>(parts.tm_sec)};
}

InstrumentState::InstrumentState(Scene sceneGiven, std::uint64_t seed,
                                 Clock::time_point startTime)
    : scene(std::move(sceneGiven)),
      start(startTime),
      latest(startTime),
      telescope({scene.telescope.hz, scene.telescope.v},
                scene.telescope.maxSpeed),
      random_(seed),
      seed_(seed),
      station_(scene.station),
      searchArea_{0, 1.5707963267948966, 0.1, 0.1, true},
      clockBase_(ToSeconds(scene.clockStart)),
      clockSetAt_(startTime),
      files_(scene.files) {
  telescope.Hold(telescope.At(startTime), startTime);
}

Sight InstrumentState::SightOfPrism(std::size_t index,
                                    Clock::time_point t) const {
  return SightTo(station_,
                 PrismPosition(scene.prisms[index], InSeconds(t - start),
                               scene.timeScale));
}

std::optional<std::size_t> InstrumentState::PrismNear(
    const Direction& direction, double angle, double range,
    Clock::time_point t) const {
  std::optional<std::size_t> nearest;
  double nearestAngle = angle;
  for (std::size_t i = 0; i < scene.prisms.size(); ++i) {
    const Sight sight = SightOfPrism(i, t);
    const double off = AngleBetween(direction, sight.direction);
    if (sight.slopeDistance <= range && off <= nearestAngle && !Hidden(i, t)) {
      nearest = i;
      nearestAngle = off;
    }
  }
  return nearest;
}

Answer InstrumentState::TurnOntoPrism(std::size_t index, Clock::time_point now,
                                      AUT_AUTEVENT activity) {
  const Direction here = telescope.At(now);
  const Clock::duration first = telescope.TurnTime(
      here, SameFace(here, SightOfPrism(index, now).direction));
  const Clock::time_point arrival = telescope.TurnTo(
      SameFace(here, SightOfPrism(index, now + first).direction), now);
  activity_ = activity;
  activityUntil_ = arrival;
  Answer answer;
  answer.delay = arrival - now;
  return answer;
}

void InstrumentState::Advance(Clock::time_point now) {
  if (!locked_) return;
  const double span = InSeconds(now - lockCheckedAt_);
  if (span <= 0) return;
  const double steps = std::min(std::ceil(span / kLockStep), kMaxLockSteps);
  const double step = span / steps;
  Direction previous = telescope.At(lockCheckedAt_);
  for (double i = 1; i <= steps; ++i) {
    const Clock::time_point t = lockCheckedAt_ + Seconds(i * step);
    const Direction sighted =
        SameFace(previous, SightOfPrism(*locked_, t).direction);
    const Sight sight{sighted, SightOfPrism(*locked_, t).slopeDistance};
    const double turn =
        std::max(std::fabs(ShortestTurn(sight.direction.hz - previous.hz)),
                 std::fabs(ShortestTurn(sight.direction.v - previous.v)));
    // A prism faster than the telescope, or beyond the recognition range,
    // leaves the field of view: the telescope stops where it saw it last.
    if (turn > scene.telescope.maxSpeed * step ||
        sight.slopeDistance > scene.atr.range || Hidden(*locked_, t)) {
      telescope.Hold(previous, t);
      Unlock();
      return;
    }
    previous = sight.direction;
  }
  telescope.Hold(SameFace(previous, SightOfPrism(*locked_, now).direction),
                 now);
  lockCheckedAt_ = now;
}

double InstrumentState::BatteryLevel(Clock::time_point now) const {
  const double hours = InSeconds(now - start) / 3600;
  const double level =
      scene.battery.level -
      scene.battery.drainPerRequest * static_cast<double>(requests_) -
      scene.battery.drainPerHour * hours;
  return std::max(0.0, level);
}

std::time_t InstrumentState::ClockSeconds(Clock::time_point now) const {
  return clockBase_ +
         static_cast<std::time_t>(std::floor(InSeconds(now - clockSetAt_)));
}

// Procedures the catalogue does not describe answer 5 as unknown ones do,
// unless a handler takes them whatever their arguments (change-face);
// arguments the catalogue refuses answer GRC_IVPARAM before any handler
// sees them.
Outcome InstrumentState::Handle(const GeoComSentence& request,
                                Clock::time_point now) {
  ++requests_;
  const Procedure* procedure = FindProcedure(request.GetGeocomID());
  Outcome outcome;
  const bool handled =
      procedure != nullptr && AllHandlers().count(procedure->id) != 0;
  if (procedure == nullptr || (!procedure->known && !handled)) {
    outcome.code = GRC_NOT_IMPL;
    return outcome;
  }
  Result<Fields> arguments =
      procedure->known ? ReadArguments(*procedure, SentenceBytes(request))
                       : Result<Fields>(Fields{});
  if (!arguments) {
    outcome.code = GRC_IVPARAM;
    return outcome;
  }
  Answer answer;
  const auto handler = AllHandlers().find(procedure->id);
  if (handler != AllHandlers().end()) {
    answer = (this->*handler->second)(Arguments(*arguments), now);
  } else if (!procedure->reply.empty()) {
    answer.code = GRC_NOT_IMPL;
  }
  outcome.code = answer.code;
  outcome.delay = answer.delay;
  outcome.arguments = std::move(*arguments);
  if (!answer.values.empty()) {
    Result<std::string> text = ComposeReply(*procedure, answer.values);
    // Values the catalogue refuses are this instrument's fault, not the
    // host's: it answers as a failed instrument would.
    if (!text) {
      outcome.code = GRC_FATAL;
      return outcome;
    }
    outcome.text = std::move(*text);
    outcome.values = std::move(answer.values);
  }
  return outcome;
}

VirtualInstrument::VirtualInstrument(Scene scene, std::uint64_t seed,
                                     Clock::time_point start)
    : original_(std::move(scene)),
      seed_(seed),
      state_(std::make_unique<InstrumentState>(original_, seed, start)) {}

VirtualInstrument::~VirtualInstrument() = default;

ReplyPlan VirtualInstrument::Respond(const GeoComSentence& request,
                                     Clock::time_point now) {
  const std::lock_guard<std::mutex> kept(resetMutex_);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  now = std::max(now, state_->latest);
  state_->latest = now;
  state_->Advance(now);
  const Outcome outcome = state_->Handle(request, now);
  ReplyPlan plan;
  plan.steps.push_back(
      {outcome.delay,
       ReplyBytes(request.GetSequenceID(), outcome.code, outcome.text), false});
  plan.arguments = outcome.arguments;
  plan.returnCode = outcome.code;
  if (outcome.code == GRC_OK) plan.values = outcome.values;
  return plan;
}

Direction VirtualInstrument::TelescopeAt(Clock::time_point now) {
  const std::lock_guard<std::mutex> kept(resetMutex_);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  now = std::max(now, state_->latest);
  state_->latest = now;
  state_->Advance(now);
  return state_->telescope.At(now);
}

std::optional<Point> VirtualInstrument::PrismAt(std::string_view id,
                                                Clock::time_point now) const {
  const std::lock_guard<std::mutex> kept(resetMutex_);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  for (const Prism& prism : state_->scene.prisms) {
    if (prism.id == id) {
      return PrismPosition(prism, InSeconds(now - state_->start),
                           state_->scene.timeScale);
    }
  }
  return std::nullopt;
}

const Scene& VirtualInstrument::scene() const { return original_; }

}  // namespace Core::GEOCOM::simulator
