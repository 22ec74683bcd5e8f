#include <DazoZazIdoRezeraro/survey/Limits.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>

namespace Core::GEOCOM::survey {

namespace {

using nlohmann::json;

constexpr int kLevels = 3;

struct Unit {
  std::string_view name;
  double metres;
};
constexpr std::array<Unit, 3> kLengthUnits{
    {{"mm", 0.001}, {"cm", 0.01}, {"m", 1}}};
constexpr std::array<std::string_view, 2> kPerDay{{"/d", "/day"}};

[[noreturn]] void Refuse(const std::string& key, const std::string& why) {
  throw LimitError(key + ": " + why);
}

// A length in metres, or a speed in metres per day for the velocity: a
// number in those units, or a string that names its unit.
double Quantity(const json& value, const std::string& key, bool perDay) {
  const std::string expected =
      perDay ? "a speed such as \"2 mm/d\"" : "a length such as \"5 mm\"";
  double quantity = 0;
  if (value.is_number()) {
    quantity = value.get<double>();
  } else if (value.is_string()) {
    const std::string text = value.get<std::string>();
    std::size_t used = 0;
    try {
      quantity = std::stod(text, &used);
    } catch (const std::exception&) {
      Refuse(key, "\"" + text + "\" is not " + expected);
    }
    std::string unit = text.substr(used);
    unit.erase(0, unit.find_first_not_of(' '));
    if (unit.empty())
      Refuse(key, "\"" + text + "\" has no unit; give " + expected);
    bool speed = false;
    for (std::string_view suffix : kPerDay) {
      if (unit.size() > suffix.size() &&
          unit.compare(unit.size() - suffix.size(), suffix.size(), suffix) ==
              0) {
        unit.resize(unit.size() - suffix.size());
        speed = true;
      }
    }
    const auto found =
        std::find_if(kLengthUnits.begin(), kLengthUnits.end(),
                     [&unit](const Unit& u) { return u.name == unit; });
    if (found == kLengthUnits.end() || speed != perDay) {
      Refuse(key, "\"" + text + "\" is not " + expected);
    }
    quantity *= found->metres;
  } else {
    Refuse(key, "expected " + expected);
  }
  if (!std::isfinite(quantity) || quantity <= 0) {
    Refuse(key, "must be more than zero");
  }
  return quantity;
}

Limit ReadLimit(const json& entry, const std::string& key) {
  if (!entry.is_object()) Refuse(key, "expected an object");
  for (const auto& [name, value] : entry.items()) {
    static const std::array<std::string_view, 6> known{
        {"targets", "component", "warning", "alarm", "consecutive",
         "hysteresis"}};
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      Refuse(key + "." + name, "unknown key");
    }
  }
  Limit limit;
  const auto targets = entry.find("targets");
  if (targets == entry.end()) Refuse(key + ".targets", "missing");
  if (*targets != "*") {
    if (!targets->is_array() || targets->empty()) {
      Refuse(key + ".targets", "expected \"*\" or a list of target ids");
    }
    for (const json& id : *targets) {
      if (!id.is_string()) Refuse(key + ".targets", "a target id is a string");
      limit.targets.push_back(id.get<std::string>());
    }
  }
  const auto component = entry.find("component");
  if (component == entry.end() || !component->is_string()) {
    Refuse(key + ".component", "missing");
  }
  const auto named = ComponentNamed(component->get<std::string>());
  if (!named) {
    Refuse(key + ".component",
           "\"" + component->get<std::string>() +
               "\" is not one of east, north, height, horizontal, 3d, along, "
               "velocity");
  }
  limit.component = *named;
  const bool perDay = limit.component == Component::Velocity;
  if (entry.contains("warning")) {
    limit.warning = Quantity(entry["warning"], key + ".warning", perDay);
  }
  if (entry.contains("alarm")) {
    limit.alarm = Quantity(entry["alarm"], key + ".alarm", perDay);
  }
  if (!limit.warning && !limit.alarm)
    Refuse(key, "needs a warning or an alarm");
  if (limit.warning && limit.alarm && *limit.alarm <= *limit.warning) {
    Refuse(key + ".alarm", "must be more than the warning");
  }
  if (entry.contains("consecutive")) {
    const json& rounds = entry["consecutive"];
    if (!rounds.is_number_integer() || rounds.get<long long>() < 1) {
      Refuse(key + ".consecutive",
             "expected a whole number of rounds, 1 or more");
    }
    limit.consecutive =
        static_cast<int>(std::min<long long>(rounds.get<long long>(), 1 << 20));
  }
  const double lower = limit.warning ? *limit.warning : *limit.alarm;
  limit.hysteresis = lower / 10;
  if (entry.contains("hysteresis")) {
    limit.hysteresis =
        Quantity(entry["hysteresis"], key + ".hysteresis", perDay);
    if (limit.hysteresis >= lower) {
      Refuse(key + ".hysteresis", "must be less than the lower limit");
    }
  }
  return limit;
}

std::optional<double> BoundOf(const Limit& limit, Level level) {
  switch (level) {
    case Level::Warning:
      return limit.warning;
    case Level::Alarm:
      return limit.alarm;
    case Level::Clear:
      break;
  }
  return std::nullopt;
}

// The level one round's value reaches. A level already reached is kept
// until the value falls the hysteresis under its limit.
Level RoundLevel(const Limit& limit, double magnitude, Level current) {
  for (Level level : {Level::Alarm, Level::Warning}) {
    const std::optional<double> bound = BoundOf(limit, level);
    if (!bound) continue;
    const double threshold =
        current >= level ? *bound - limit.hysteresis : *bound;
    if (magnitude >= threshold) return level;
  }
  return Level::Clear;
}

}  // namespace

const char* NameOf(Level level) {
  switch (level) {
    case Level::Warning:
      return "warning";
    case Level::Alarm:
      return "alarm";
    case Level::Clear:
      break;
  }
  return "clear";
}

std::optional<Level> LevelNamed(std::string_view name) {
  for (Level level : {Level::Clear, Level::Warning, Level::Alarm}) {
    if (name == NameOf(level)) return level;
  }
  return std::nullopt;
}

bool Limit::AppliesTo(const std::string& target) const {
  return targets.empty() ||
         std::find(targets.begin(), targets.end(), target) != targets.end();
}

std::vector<Limit> LimitsFromJson(std::string_view text) {
  const json limits = json::parse(text, nullptr, false);
  if (limits.is_discarded() || !limits.is_array()) {
    Refuse("limits", "expected a list of limits");
  }
  std::vector<Limit> read;
  for (std::size_t i = 0; i < limits.size(); ++i) {
    read.push_back(ReadLimit(limits[i], "limits[" + std::to_string(i) + "]"));
  }
  return read;
}

std::string IsoTime(double secondsSinceEpoch) {
  const long long millis = std::llround(secondsSinceEpoch * 1000);
  const std::time_t seconds = static_cast<std::time_t>(
      millis >= 0 ? millis / 1000 : (millis - 999) / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
                utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                utc.tm_min, utc.tm_sec,
                static_cast<int>(millis - seconds * 1000LL));
  return text;
}

std::string EventJson(const Event& event) {
  return json{{"target", event.target},
              {"level", NameOf(event.level)},
              {"component", NameOf(event.component)},
              {"value", event.value},
              {"unit", event.component == Component::Velocity ? "m/d" : "m"},
              {"limit", event.limit},
              {"time", IsoTime(event.time)},
              {"round", event.round}}
      .dump();
}

AlarmTracker::AlarmTracker(std::vector<Limit> limits)
    : limits_(std::move(limits)) {}

std::vector<Event> AlarmTracker::Observe(
    const std::string& target, std::int64_t round, double time,
    const std::map<Component, double>& values) {
  std::vector<Event> events;
  for (std::size_t index = 0; index < limits_.size(); ++index) {
    const Limit& limit = limits_[index];
    const auto value = values.find(limit.component);
    if (!limit.AppliesTo(target) || value == values.end()) continue;
    State& state = states_[{target, index}];
    const int current = static_cast<int>(state.level);
    const int reached = static_cast<int>(
        RoundLevel(limit, std::abs(value->second), state.level));
    for (int level = 0; level < kLevels; ++level) {
      const bool towards =
          level > current ? reached >= level : reached <= level;
      state.runs[level] =
          level != current && towards ? state.runs[level] + 1 : 0;
    }
    int next = current;
    for (int level = kLevels - 1; level > current; --level) {
      if (state.runs[level] >= limit.consecutive) {
        next = level;
        break;
      }
    }
    for (int level = 0; next == current && level < current; ++level) {
      if (state.runs[level] >= limit.consecutive) next = level;
    }
    if (next == current) continue;
    const Level left = state.level;
    state.level = static_cast<Level>(next);
    // Counts between the old level and the new one now look the other way.
    for (int level = std::min(current, next); level <= std::max(current, next);
         ++level) {
      state.runs[level] = 0;
    }
    Event event;
    event.target = target;
    event.level = state.level;
    event.component = limit.component;
    event.value = value->second;
    event.limit =
        *BoundOf(limit, state.level == Level::Clear ? left : state.level);
    event.time = time;
    event.round = round;
    events.push_back(std::move(event));
  }
  return events;
}

void AlarmTracker::Resume(const Event& event) {
  for (std::size_t index = 0; index < limits_.size(); ++index) {
    const Limit& limit = limits_[index];
    if (limit.component == event.component && limit.AppliesTo(event.target)) {
      states_[{event.target, index}] = State{event.level, {0, 0, 0}};
    }
  }
}

Level AlarmTracker::LevelOf(const std::string& target,
                            std::size_t limit) const {
  const auto state = states_.find({target, limit});
  return state == states_.end() ? Level::Clear : state->second.level;
}

}  // namespace Core::GEOCOM::survey
