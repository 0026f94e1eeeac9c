// The typical day behind a chart: the band taken through the index equals the percentiles of the
// day files themselves, it follows the day shown and its menu switch is remembered; and with the
// band off the chart is drawn exactly as without it.
#include "history/typical_day.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "charts/chart_lock.h"
#include "charts/chart_readout.h"
#include "charts/chart_widget.h"
#include "charts/exchange_charts.h"
#include "history/typical_day_control.h"
#include "settings/view_memory.h"
#include "tests/support/qt_application.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

// The q-th percentile of a second's values as a spreadsheet's PERCENTILE gives it.
double percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  const double rank = q * static_cast<double>(v.size() - 1);
  const auto below = static_cast<std::size_t>(rank);
  const std::size_t above = std::min(below + 1, v.size() - 1);
  return v[below] + (v[above] - v[below]) * (rank - static_cast<double>(below));
}

// 23 weekdays of Listing samples at a few seconds each; not every day has every second.
struct RecordedMonth {
  static constexpr int kSeconds[] = {34200, 34201, 40000, 57599};
  test::TempDir dir;
  std::vector<int> days;                        // YYYYMMDD, oldest first
  std::map<int, std::map<int, double>> totals;  // day -> second -> TOTAL

  RecordedMonth() {
    std::filesystem::create_directories(dir.path() + "/Data");
    for (int d = 1; static_cast<int>(days.size()) < 23; ++d) {
      const int key = 20261100 + d;
      days.push_back(key);
      std::ofstream out(dir.path() + "/Data/" + historyDayText(key) + "_hft4.txt",
                        std::ios::binary);
      for (int second : kSeconds) {
        if (second == 40000 && d % 3 == 0) continue;  // a link down that second
        char line[64];
        std::snprintf(line, sizeof line, "%02d%02d%02d", second / 3600, second / 60 % 60,
                      second % 60);
        std::string text = line;
        double total = 0;
        for (int e = 0; e < 16; ++e) {
          const int count = (d * 37 + e * 11 + second) % 50;
          text += "|" + std::to_string(count);
          total += count;
        }
        out << text << "|\r\n";
        totals[key][second] = total;
      }
    }
  }
  // What the files give at a second over the 20 days before the day at index shown.
  std::vector<double> valuesBefore(std::size_t shown, int second) const {
    std::vector<double> v;
    for (std::size_t i = shown - 20; i < shown; ++i) {
      const auto& day = totals.at(days[i]);
      if (day.count(second) != 0) v.push_back(day.at(second));
    }
    return v;
  }
};

TEST(TypicalDay, BandOfTheTwentyDaysBeforeTheShownOneEqualsThePercentilesOfTheFiles) {
  test::ensureApplication();
  RecordedMonth month;
  MonitorSettings settings;
  auto charts = std::make_unique<ExchangeCharts>(settings);
  charts->setUpCharts();
  charts->setChartsReady(true);
  ChartWidget listing(*charts, ChartId::Listing);
  const QString memory = QString::fromStdString(month.dir.file("KestruneView.ini"));

  TypicalDayControl control(*charts, {nullptr, &listing, nullptr}, {month.dir.path(), memory, {}});
  int changes = 0;
  QObject::connect(&control, &TypicalDayControl::bandChanged, [&](ChartId) { ++changes; });
  const std::size_t shown = 21;  // one day after it and one more than 20 before it
  const std::string date = historyDayText(month.days[shown]);
  control.showDay(
      QString::fromStdString(date.substr(0, 2) + "/" + date.substr(2, 2) + "/" + date.substr(4)));
  EXPECT_FALSE(listing.typicalDayAction()->isChecked());  // off by default
  listing.typicalDayAction()->trigger();
  ASSERT_TRUE(test::waitFor([&] { return changes == 1; }, 20000));

  std::unique_lock<std::mutex> lock(chartLock());
  const TypicalBand* band = charts->typicalBand(ChartId::Listing);
  ASSERT_NE(band, nullptr);
  EXPECT_EQ(band->days, 20);
  for (int second : RecordedMonth::kSeconds) {
    const std::vector<double> v = month.valuesBefore(shown, second);
    const auto s = static_cast<std::size_t>(second);
    EXPECT_DOUBLE_EQ(band->low[s], percentile(v, 0.1)) << second;
    EXPECT_DOUBLE_EQ(band->median[s], percentile(v, 0.5)) << second;
    EXPECT_DOUBLE_EQ(band->high[s], percentile(v, 0.9)) << second;
  }
  EXPECT_TRUE(std::isnan(band->median[34202]));  // no day has it
  EXPECT_EQ(typicalReadoutText(*band, 34202), "");
  char expected[96];
  const std::vector<double> v = month.valuesBefore(shown, 40000);
  std::snprintf(expected, sizeof expected, "%.0f (10-90 %%: %.0f-%.0f)", percentile(v, 0.5),
                percentile(v, 0.1), percentile(v, 0.9));
  EXPECT_EQ(typicalReadoutText(*band, 40000), expected);
  EXPECT_EQ(charts->typicalBand(ChartId::Reporting), nullptr);
  lock.unlock();

  // The pointer's tip lists the typical day at its second, and over how many days.
  charts->editWindow([](ChartWindow& w) {
    w.dataPoints = 300;
    w.windowEnd = 40100;
  });
  charts->redrawAllCharts();
  listing.resize(600, 300);
  ChartTimeAxis axis;
  {
    std::lock_guard<std::mutex> guard(chartLock());
    const RyxChartTemplate& t = charts->chart(ChartId::Listing);
    axis = chartTimeAxis(t.areas[kPlotArea], t.firstIndex, t.lastIndex, t.pixelsPerPoint);
  }
  const QPoint at = QPoint(pixelOfSecond(axis, 40000), (axis.top + axis.bottom) / 2) +
                    listing.contentsRect().topLeft();
  const std::optional<ChartReadout> under = listing.readoutAt(at);
  ASSERT_TRUE(under.has_value());
  QMouseEvent move(QEvent::MouseMove, at, listing.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&listing, &move);
  const QStringList tip = listing.readoutTip()->lines();
  ASSERT_GE(tip.size(), 2);
  const std::string text =
      typicalReadoutText(*charts->typicalBand(ChartId::Listing), under->second);
  EXPECT_EQ(under->second, 40000);
  EXPECT_EQ(tip[tip.size() - 2].toStdString(), "typical " + text);
  EXPECT_EQ(tip.back(), "typical of 20 days");

  // Remembered beside the settings file, and only there.
  EXPECT_TRUE(readViewFlag(memory, "TypicalDay/Listing", false));
  EXPECT_FALSE(readViewFlag(memory, "TypicalDay/Algo", false));
}

TEST(TypicalDay, ChartWithTheBandOffIsDrawnPixelForPixelAsWithout) {
  test::ensureApplication();
  MonitorSettings settings;
  auto charts = std::make_unique<ExchangeCharts>(settings);
  charts->resetSeriesStore(true);
  charts->setUpCharts();
  charts->setChartsReady(true);
  auto draw = [&] {
    std::lock_guard<std::mutex> lock(chartLock());
    charts->drawChart(ChartId::Listing);
    return charts->chart(ChartId::Listing).finishedImage().copy();
  };
  {
    std::lock_guard<std::mutex> lock(chartLock());
    RyxChartTemplate& t = charts->chart(ChartId::Listing);
    for (int s = 0; s < kSecondsPerDay; ++s) {
      // Quiet lines low on the plot, so that the band shows above them.
      for (int e = 0; e < 3; ++e) t.series[e].values[s] = s % 600 == 0 ? 40 : e;
      t.series[kTotalSeries].values[s] = s % 600 == 0 ? 90 : 3;
      t.coverage.mark(s);
    }
  }
  auto band = std::make_shared<TypicalBand>();
  band->days = 5;
  band->low.assign(kSecondsPerDay, 15);
  band->median.assign(kSecondsPerDay, 20);
  band->high.assign(kSecondsPerDay, 30);
  // Over a full day and the default window, in both drawings.
  for (int dataPoints : {kSecondsPerDay, 300}) {
    charts->editWindow([&](ChartWindow& w) {
      w.dataPoints = dataPoints;
      w.windowEnd = kLastSecondOfDay;
    });
    for (bool totalOnly : {false, true}) {
      charts->totalOnly(ChartId::Listing) = totalOnly ? 1 : 0;
      const QImage without = draw();
      charts->setTypicalBand(ChartId::Listing, band);
      const QImage with = draw();
      charts->setTypicalBand(ChartId::Listing, nullptr);
      EXPECT_NE(with, without) << dataPoints << totalOnly;
      EXPECT_EQ(draw(), without) << dataPoints << totalOnly;
    }
  }
}

}  // namespace
}  // namespace kestrune
