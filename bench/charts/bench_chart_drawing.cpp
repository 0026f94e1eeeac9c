// One 480 x 210 chart, 16 exchange series: a full-day window and the default 300-second window,
// each drawn with the per-column reduction and point by point, every second holding a sample; the
// same windows with every other second missing (the worst case for the shaded gap bands); and the
// readout under the pointer over a full-day window; and the full day with the typical day's
// band drawn behind the lines, in both drawings.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>
#include <mutex>
#include <random>

#include "charts/chart_lock.h"
#include "charts/chart_readout.h"
#include "charts/chart_widget.h"
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
    coverAll(true);
  }
  // Every second holds a sample, or every other one is missing.
  void coverAll(bool all) {
    SecondCoverage& c = charts->chart(ChartId::Listing).coverage;
    c.clear();
    for (int t = 0; t < kSecondsPerDay; ++t) {
      if (all || t % 2 == 0) c.mark(t);
    }
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void drawListing(benchmark::State& state, int dataPoints, bool reduce, bool gaps = false) {
  Fixture& f = fixture();
  f.coverAll(!gaps);
  f.charts->chart(ChartId::Listing).setReduceColumns(reduce);
  ChartWindow& w = f.charts->window();
  w.dataPoints = dataPoints;
  w.windowEnd = dataPoints >= kSecondsPerDay ? kLastSecondOfDay : 43200;
  for (auto _ : state) {
    std::lock_guard<std::mutex> lock(chartLock());
    f.charts->drawChart(ChartId::Listing);
  }
  f.charts->chart(ChartId::Listing).setReduceColumns(true);
  f.coverAll(true);
}

void BM_FullDayReduced(benchmark::State& s) { drawListing(s, kSecondsPerDay, true); }
void BM_FullDayPointByPoint(benchmark::State& s) { drawListing(s, kSecondsPerDay, false); }
void BM_Default300Reduced(benchmark::State& s) { drawListing(s, 300, true); }
void BM_Default300PointByPoint(benchmark::State& s) { drawListing(s, 300, false); }
void BM_FullDayReducedEveryOtherSecondMissing(benchmark::State& s) {
  drawListing(s, kSecondsPerDay, true, true);
}
void BM_Default300ReducedEveryOtherSecondMissing(benchmark::State& s) {
  drawListing(s, 300, true, true);
}

BENCHMARK(BM_FullDayReduced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullDayPointByPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Default300Reduced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Default300PointByPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullDayReducedEveryOtherSecondMissing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Default300ReducedEveryOtherSecondMissing)->Unit(benchmark::kMillisecond);

// A typical day that moves every second, so that every column has a span of its own.
std::shared_ptr<const TypicalBand> busyBand() {
  auto band = std::make_shared<TypicalBand>();
  band->days = 20;
  for (int t = 0; t < kSecondsPerDay; ++t) {
    const double m = 400 + (t * 37) % 300;
    band->low.push_back(m - 120);
    band->median.push_back(m);
    band->high.push_back(m + 150);
  }
  return band;
}

void drawFullDayWithBand(benchmark::State& state, bool totalOnly) {
  Fixture& f = fixture();
  ChartWindow& w = f.charts->window();
  w.dataPoints = kSecondsPerDay;
  w.windowEnd = kLastSecondOfDay;
  f.charts->totalOnly(ChartId::Listing) = totalOnly ? 1 : 0;
  f.charts->setTypicalBand(ChartId::Listing, busyBand());
  for (auto _ : state) {
    std::lock_guard<std::mutex> lock(chartLock());
    f.charts->drawChart(ChartId::Listing);
  }
  f.charts->setTypicalBand(ChartId::Listing, nullptr);
  f.charts->totalOnly(ChartId::Listing) = 0;
}
void BM_FullDayWithTypicalBand(benchmark::State& s) { drawFullDayWithBand(s, false); }
void BM_FullDayTotalOnlyWithTypicalBand(benchmark::State& s) { drawFullDayWithBand(s, true); }
BENCHMARK(BM_FullDayWithTypicalBand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullDayTotalOnlyWithTypicalBand)->Unit(benchmark::kMillisecond);

// The full-day window drawn once, its time axis.
ChartTimeAxis drawnFullDay(Fixture& f) {
  ChartWindow& w = f.charts->window();
  w.dataPoints = kSecondsPerDay;
  w.windowEnd = kLastSecondOfDay;
  std::lock_guard<std::mutex> lock(chartLock());
  f.charts->drawChart(ChartId::Listing);
  const RyxChartTemplate& t = f.charts->chart(ChartId::Listing);
  return chartTimeAxis(t.areas[kPlotArea], t.firstIndex, t.lastIndex, t.pixelsPerPoint);
}

// The second under a column and the values drawn there, column after column.
void BM_ReadoutCoreFullDay(benchmark::State& state) {
  Fixture& f = fixture();
  const ChartTimeAxis axis = drawnFullDay(f);
  const RyxChartTemplate& t = f.charts->chart(ChartId::Listing);
  std::int32_t x = axis.left;
  for (auto _ : state) {
    if (++x > axis.right) x = axis.left;
    const auto second = secondAtPixel(axis, x, 100);
    if (second) {
      benchmark::DoNotOptimize(
          chartReadoutAt(t.series, *second, f.charts->exchangeOn(ChartId::Listing), false));
    }
  }
}
BENCHMARK(BM_ReadoutCoreFullDay)->Unit(benchmark::kMicrosecond);

// One pointer move over the chart widget: the readout, its tip moved, refilled and painted, and
// the marker line's repaint, column after column.
void BM_ReadoutPointerMoveFullDay(benchmark::State& state) {
  Fixture& f = fixture();
  const ChartTimeAxis axis = drawnFullDay(f);
  ChartWidget widget(*f.charts, ChartId::Listing);
  widget.resize(480, 210);
  widget.show();
  QCoreApplication::processEvents();
  std::int32_t x = axis.left;
  for (auto _ : state) {
    if (++x > axis.right) x = axis.left;
    const QPoint at(x, 100);
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
    QCoreApplication::processEvents();  // the repaints of the marker and the tip
  }
}
BENCHMARK(BM_ReadoutPointerMoveFullDay)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
