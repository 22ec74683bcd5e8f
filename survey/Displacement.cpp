#include <DazoZazIdoRezeraro/survey/Displacement.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace Core::GEOCOM::survey {

namespace {

constexpr double kSecondsPerDay = 86400;

constexpr std::array<std::pair<std::string_view, Component>, 7> kComponentNames{
    {
        {"east", Component::East},
        {"north", Component::North},
        {"height", Component::Height},
        {"horizontal", Component::Horizontal},
        {"3d", Component::Spatial},
        {"along", Component::Along},
        {"velocity", Component::Velocity},
    }};

// The slope of value over time by least squares, per day; times are taken
// relative to the first so that epoch seconds keep their precision.
double Slope(const std::vector<Displacement>& window,
             double (*value)(const Displacement&)) {
  const double origin = window.front().time;
  double meanTime = 0;
  double meanValue = 0;
  for (const Displacement& d : window) {
    meanTime += d.time - origin;
    meanValue += value(d);
  }
  const double count = static_cast<double>(window.size());
  meanTime /= count;
  meanValue /= count;
  double covariance = 0;
  double variance = 0;
  for (const Displacement& d : window) {
    const double t = d.time - origin - meanTime;
    covariance += t * (value(d) - meanValue);
    variance += t * t;
  }
  return covariance / variance * kSecondsPerDay;
}

}  // namespace

std::optional<Component> ComponentNamed(std::string_view name) {
  for (const auto& [word, component] : kComponentNames) {
    if (word == name) return component;
  }
  return std::nullopt;
}

const char* NameOf(Component component) {
  for (const auto& [word, named] : kComponentNames) {
    if (named == component) return word.data();
  }
  return "";
}

std::optional<Epoch> ReferenceEpoch(const std::vector<Epoch>& series,
                                    const std::optional<std::int64_t>& round) {
  const auto found =
      std::find_if(series.begin(), series.end(), [&round](const Epoch& epoch) {
        return round ? epoch.round == *round : epoch.roundComplete;
      });
  if (found == series.end()) return std::nullopt;
  return *found;
}

Displacement DisplacementBetween(const Epoch& reference, const Epoch& epoch,
                                 const std::optional<Axis>& axis) {
  Displacement d;
  d.round = epoch.round;
  d.time = epoch.time;
  d.east = epoch.easting - reference.easting;
  d.north = epoch.northing - reference.northing;
  d.height = epoch.height - reference.height;
  d.horizontal = std::hypot(d.east, d.north);
  d.spatial = std::hypot(d.horizontal, d.height);
  if (axis) {
    const double level = std::cos(axis->elevation);
    d.along = d.east * std::sin(axis->bearing) * level +
              d.north * std::cos(axis->bearing) * level +
              d.height * std::sin(axis->elevation);
  }
  return d;
}

std::vector<Displacement> Displacements(const std::vector<Epoch>& series,
                                        const Epoch& reference,
                                        const std::optional<Axis>& axis,
                                        const TimeRange& range) {
  std::vector<Displacement> displacements;
  for (const Epoch& epoch : series) {
    if (range.Contains(epoch.time)) {
      displacements.push_back(DisplacementBetween(reference, epoch, axis));
    }
  }
  return displacements;
}

std::optional<Velocity> VelocityOver(
    const std::vector<Displacement>& displacements, double windowSeconds) {
  if (displacements.empty()) return std::nullopt;
  const double start = displacements.back().time - windowSeconds;
  const auto first =
      std::find_if(displacements.begin(), displacements.end(),
                   [start](const Displacement& d) { return d.time >= start; });
  const std::vector<Displacement> window(first, displacements.end());
  if (window.size() < 2 || window.front().time == window.back().time) {
    return std::nullopt;
  }
  Velocity v;
  v.epochs = window.size();
  v.east = Slope(window, [](const Displacement& d) { return d.east; });
  v.north = Slope(window, [](const Displacement& d) { return d.north; });
  v.height = Slope(window, [](const Displacement& d) { return d.height; });
  v.horizontal = std::hypot(v.east, v.north);
  v.spatial = std::hypot(v.horizontal, v.height);
  if (window.front().along) {
    v.along = Slope(window, [](const Displacement& d) { return *d.along; });
  }
  return v;
}

std::optional<double> ValueOf(const Displacement& displacement,
                              Component component) {
  switch (component) {
    case Component::East:
      return displacement.east;
    case Component::North:
      return displacement.north;
    case Component::Height:
      return displacement.height;
    case Component::Horizontal:
      return displacement.horizontal;
    case Component::Spatial:
      return displacement.spatial;
    case Component::Along:
      return displacement.along;
    case Component::Velocity:
      break;
  }
  return std::nullopt;
}

}  // namespace Core::GEOCOM::survey
