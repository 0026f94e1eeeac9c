// What one simulated second costs the simulator (three samples and the second's alerts,
// built into packets), and what a burst record costs; 1000x speed needs 1000 seconds a second.
#include <benchmark/benchmark.h>

#include "feedsim/market_day.h"
#include "feedsim/sim_packets.h"

namespace kestrune::feedsim {
namespace {

void BM_OneSimulatedSecond(benchmark::State& state) {
  int s = kMarketOpen;
  for (auto _ : state) {
    for (int kind = 1; kind <= 3; ++kind) {
      benchmark::DoNotOptimize(samplePacket(chartSample(1, kind, s), true));
      for (const AlertRecord& a : alertsForSecond(1, kind, s))
        benchmark::DoNotOptimize(alertPacket(a, true));
    }
    if (++s == kMarketClose) s = kMarketOpen;
  }
}
BENCHMARK(BM_OneSimulatedSecond);

void BM_BurstRecord(benchmark::State& state) {
  SimRandom rng(1, 777, 0);
  int kind = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(alertPacket(makeAlert(1, rng, kind, kMarketOpen), false));
    kind = kind % 3 + 1;
  }
}
BENCHMARK(BM_BurstRecord);

}  // namespace
}  // namespace kestrune::feedsim

BENCHMARK_MAIN();
