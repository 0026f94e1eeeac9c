// One 480 x 210 chart, 16 exchange series: a full-day window and the default 300-second window,
// each drawn with the per-column reduction and point by point.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <memory>
#include <mutex>
#include <random>

#include "charts/chart_lock.h"
#include "charts/exchange_charts.h"

namespace kestrune {
namespace {

struct Fixture {
  MonitorSettings settings;
  std::unique_ptr<ExchangeCharts> charts;
  Fixture() {
    charts = std::make_unique<ExchangeCharts>(settings);
    charts->resetSeriesStore(true);
    charts->setUpCharts(480, 210);
    charts->setChartsReady(true);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(0, 60);
    std::uniform_int_distribution<int> rare(0, 2999);
    ChartSeriesSet& s = charts->chart(ChartId::Listing).series;
    for (int t = 0; t < kSecondsPerDay; ++t) {
      double total = 0;
      for (int e = 0; e < kChartExchangeCount; ++e) {
        double v = noise(rng) + e * 5;
        if (rare(rng) == 0) v = 900;
        s[e].values[t] = v;
        total += v;
      }
      s[kTotalSeries].values[t] = total;
    }
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void drawListing(benchmark::State& state, int dataPoints, bool reduce) {
  Fixture& f = fixture();
  f.charts->chart(ChartId::Listing).setReduceColumns(reduce);
  ChartWindow& w = f.charts->window();
  w.dataPoints = dataPoints;
  w.windowEnd = dataPoints >= kSecondsPerDay ? kLastSecondOfDay : 43200;
  for (auto _ : state) {
    std::lock_guard<std::mutex> lock(chartLock());
    f.charts->drawChart(ChartId::Listing);
  }
  f.charts->chart(ChartId::Listing).setReduceColumns(true);
}

void BM_FullDayReduced(benchmark::State& s) { drawListing(s, kSecondsPerDay, true); }
void BM_FullDayPointByPoint(benchmark::State& s) { drawListing(s, kSecondsPerDay, false); }
void BM_Default300Reduced(benchmark::State& s) { drawListing(s, 300, true); }
void BM_Default300PointByPoint(benchmark::State& s) { drawListing(s, 300, false); }

BENCHMARK(BM_FullDayReduced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullDayPointByPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Default300Reduced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Default300PointByPoint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
