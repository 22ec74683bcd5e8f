#include <DazoZazIdoRezeraro/host/Angles.h>
#include <DazoZazIdoRezeraro/survey/Reduction.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Core::GEOCOM::survey {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

SetMean MeanOfFaces(const Observation& faceOne, const Observation* faceTwo) {
  SetMean mean;
  if (faceTwo == nullptr) {
    mean.hz = host::NormalisedAngle(faceOne.hz);
    mean.v = faceOne.v;
    mean.distance = faceOne.distance;
    mean.collimation = kNaN;
    mean.verticalIndex = kNaN;
    return mean;
  }
  // hz2 − π points where hz1 does; their half difference is what the
  // collimation error adds to face I and takes from face II.
  const double hzDifference =
      host::ShortestTurn(faceOne.hz - (faceTwo->hz - kPi));
  const double vSum = faceOne.v + faceTwo->v - kTwoPi;
  mean.hz = host::NormalisedAngle(faceOne.hz - hzDifference / 2);
  mean.v = faceOne.v - vSum / 2;
  mean.distance = (faceOne.distance + faceTwo->distance) / 2;
  mean.collimation = hzDifference / 2 * std::sin(mean.v);
  mean.verticalIndex = vSum / 2;
  mean.faceDifference = std::max(std::fabs(hzDifference), std::fabs(vSum));
  return mean;
}

double AtmosphericPpm(double pressure, double temperature) {
  return 286.34 - 0.29525 * pressure / (1 + temperature / 273.15);
}

double CorrectedDistance(double measured, double ppm, double prismConstant) {
  return measured * (1 + ppm * 1e-6) + prismConstant;
}

Coordinates PointAt(const Station& station, double hz, double v,
                    double distance) {
  const double horizontal = distance * std::sin(v);
  const double bearing = hz + station.orientation;
  return {station.easting + horizontal * std::sin(bearing),
          station.northing + horizontal * std::cos(bearing),
          station.height + station.instrumentHeight + distance * std::cos(v)};
}

void Reduce(const Station& station, const Target& target, double ppm,
            TargetResult& result) {
  std::vector<SetMean> sets;
  for (int set = 1;; ++set) {
    const Observation* faces[2] = {nullptr, nullptr};
    for (const Observation& observation : result.observations) {
      if (observation.set == set && observation.returnCode == 0 &&
          (observation.face == 1 || observation.face == 2)) {
        faces[observation.face - 1] = &observation;
      }
    }
    if (faces[0] == nullptr || (target.faces == 2 && faces[1] == nullptr)) {
      break;
    }
    sets.push_back(MeanOfFaces(*faces[0], faces[1]));
  }
  if (sets.empty()) return;

  // Angles are averaged as departures from the first set, so that a
  // direction near 0 does not average with one near 2π to π.
  const double first = sets.front().hz;
  double hzOffset = 0, v = 0, distance = 0, collimation = 0, index = 0;
  double faceDifference = 0;
  for (const SetMean& set : sets) {
    hzOffset += host::ShortestTurn(set.hz - first);
    v += set.v;
    distance += set.distance;
    collimation += set.collimation;
    index += set.verticalIndex;
    faceDifference = std::max(faceDifference, set.faceDifference);
  }
  const double count = static_cast<double>(sets.size());
  result.sets = static_cast<int>(sets.size());
  result.faces = target.faces;
  result.hz = host::NormalisedAngle(first + hzOffset / count);
  result.v = v / count;
  result.collimation = collimation / count;
  result.verticalIndex = index / count;

  result.hzSpread = result.vSpread = result.distanceSpread = 0;
  result.flaggedSets.clear();
  const double meanDistance = distance / count;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const double hzOff = std::fabs(host::ShortestTurn(sets[i].hz - result.hz));
    const double vOff = std::fabs(sets[i].v - result.v);
    const double dOff = std::fabs(sets[i].distance - meanDistance);
    result.hzSpread = std::max(result.hzSpread, hzOff);
    result.vSpread = std::max(result.vSpread, vOff);
    result.distanceSpread = std::max(result.distanceSpread, dOff);
    if (hzOff > target.tolerances.setAngle ||
        vOff > target.tolerances.setAngle ||
        dOff > target.tolerances.setDistance) {
      result.flaggedSets.push_back(static_cast<int>(i) + 1);
    }
  }
  result.distance = CorrectedDistance(meanDistance, ppm, target.prismConstant);
  result.coordinates = PointAt(station, result.hz, result.v, result.distance);
  const bool withinTolerance =
      faceDifference <= target.tolerances.faceDifference &&
      result.flaggedSets.empty();
  result.outcome =
      withinTolerance ? Outcome::kMeasured : Outcome::kOutOfTolerance;
}

}  // namespace Core::GEOCOM::survey
