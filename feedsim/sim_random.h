// Small deterministic random numbers for the simulated trading day. Everything the
// simulator generates for a second of the day is drawn from a generator seeded with
// (seed, stream, second), so a day looks the same for a given seed whatever the speed,
// the number of clients or the moment a client connects.
#pragma once

#include <cmath>
#include <cstdint>

namespace kestrune::feedsim {

constexpr uint64_t mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

constexpr uint64_t mixKey(uint64_t seed, uint64_t stream, uint64_t index) {
  return mix64(mix64(seed ^ mix64(stream)) ^ index);
}

class SimRandom {
 public:
  explicit SimRandom(uint64_t state) : state_(state) {}
  SimRandom(uint64_t seed, uint64_t stream, uint64_t index) : state_(mixKey(seed, stream, index)) {}

  uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  // Uniform integer in [0, n); n > 0.
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(uniform() * n); }

  double normal() {
    double u1 = 1.0 - uniform();  // (0, 1]: log stays finite
    double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

  // Poisson-distributed count with mean `lambda`; a normal approximation above 30.
  uint32_t poisson(double lambda) {
    if (lambda <= 0.0) return 0;
    if (lambda > 30.0) {
      double x = lambda + std::sqrt(lambda) * normal();
      return x < 0.0 ? 0 : static_cast<uint32_t>(std::lround(x));
    }
    double limit = std::exp(-lambda);
    double p = uniform();
    uint32_t k = 0;
    while (p > limit) {
      p *= uniform();
      ++k;
    }
    return k;
  }

  // Pareto-distributed value >= xmin with tail index alpha: heavy-tailed counts.
  double pareto(double xmin, double alpha) { return xmin / std::pow(1.0 - uniform(), 1.0 / alpha); }

 private:
  uint64_t state_;
};

}  // namespace kestrune::feedsim
