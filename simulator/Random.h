#ifndef DAZOZAZIDOREZERARO_SIMULATOR_RANDOM_H
#define DAZOZAZIDOREZERARO_SIMULATOR_RANDOM_H

#include <cmath>
#include <cstdint>

namespace Core::GEOCOM::simulator {

// A seeded generator (splitmix64) whose numbers are the same with every
// compiler and library; the standard distributions are not.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  // Uniform in [0, bound); bound must not be 0.
  std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }

  // Normal with mean 0 and the standard deviation (Box-Muller); 0 without
  // drawing when the deviation is 0, so that a noiseless scene draws nothing.
  double Gaussian(double deviation) {
    if (deviation == 0) return 0;
    const double u = 1.0 - Uniform();  // in (0, 1], so the log is finite
    const double w = Uniform();
    return deviation * std::sqrt(-2.0 * std::log(u)) *
           std::cos(2.0 * 3.14159265358979323846 * w);
  }

 private:
  std::uint64_t state_;
};

}  // namespace Core::GEOCOM::simulator

#endif
