// Reading a chart at a pixel: the second under each column is the one the drawing put there, the
// values come largest first, and a double-click's Goto puts the second in the window's middle.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "charts/chart_navigation.h"
#include "charts/chart_raster.h"
#include "charts/chart_readout.h"

namespace kestrune {
namespace {

ChartArea standardPlot() {
  ChartGeometry g;
  g.marginLeft = 5;
  g.marginTop = 5;
  g.plotRightPadding = 8;
  g.width = 480;
  g.height = 210;
  std::array<ChartArea, kChartAreaCount> areas;
  layoutChartAreas(g, areas);
  return areas[kPlotArea];
}

// Every pixel column of the plot reads as the last second the series line puts at or left of
// it, for windows whose seconds lie many pixels apart down to many seconds per pixel.
TEST(ChartReadout, ColumnsReadAsTheSecondsTheDrawingPutsThere) {
  const ChartArea plot = standardPlot();
  const std::pair<std::int32_t, std::int32_t> windows[] = {
      {33901, 34200}, {0, 86399}, {0, 36}, {86390, 86399}, {500, 500}, {1000, 1149}};
  std::vector<double> values(kSecondsPerDay, 0.0);
  std::vector<PixelPoint> vertices;
  for (const auto& [first, last] : windows) {
    SCOPED_TRACE(testing::Message() << first << ".." << last);
    const double ppp = pixelsPerPointFor(plot.innerW, first, last);
    const ChartTimeAxis axis = chartTimeAxis(plot, first, last, ppp);
    SeriesMapping map;
    map.dataLeft = plot.dataLeft;
    map.pixelsPerPoint = ppp;
    seriesVertices(values.data(), first, last, map, false, vertices);
    const std::int32_t start = std::max(first - 1, 0);
    std::vector<std::int32_t> drawnX;  // drawnX[i - first]: where the line has second i
    for (std::int32_t i = first; i <= last; ++i) drawnX.push_back(vertices[i - start].x);
    for (std::int32_t i = first; i <= last; ++i) {
      ASSERT_EQ(pixelOfSecond(axis, i), drawnX[i - first]) << i;
    }
    const std::int32_t y = plot.y + plot.h / 2;
    for (std::int32_t x = axis.left - 3; x <= axis.right + 3; ++x) {
      std::optional<std::int32_t> expected;
      for (std::int32_t i = first; i <= last && drawnX[i - first] <= x; ++i) expected = i;
      const double lastEnd = plot.dataLeft + (last - first + 1) * ppp;
      if (expected == last && x >= std::max(drawnX.back() + 1, toPixel(lastEnd))) expected.reset();
      if (x < axis.left || x > axis.right) expected.reset();
      ASSERT_EQ(secondAtPixel(axis, x, y), expected) << "column " << x;
      if (ppp >= 1.0 && expected) {
        EXPECT_EQ(secondAtPixel(axis, drawnX[*expected - first], y), *expected);
      }
    }
    EXPECT_FALSE(secondAtPixel(axis, drawnX[0], axis.top - 1));  // above the plot
    EXPECT_FALSE(secondAtPixel(axis, drawnX[0], axis.bottom + 1));
  }
}

TEST(ChartReadout, ShownExchangesLargestFirstEqualOnesInLegendOrder) {
  auto series = std::make_unique<ChartSeriesSet>();
  const double at[kChartExchangeCount] = {5, 9, 0, 9, 12, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (int e = 0; e < kChartExchangeCount; ++e) (*series)[e].values[100] = at[e];
  (*series)[kTotalSeries].values[100] = 41;
  std::array<std::uint8_t, kChartExchangeCount> shown{};
  shown.fill(1);
  shown[4] = 0;  // switched off: not drawn, not read
  const ChartReadout r = chartReadoutAt(*series, 100, shown, false);
  ASSERT_EQ(r.exchangeCount, 15);
  const int order[] = {1, 3, 0, 5, 15, 2, 6};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(r.exchanges[k].series, order[k]) << k;
  EXPECT_EQ(r.exchanges[0].value, 9);
  EXPECT_EQ(r.total, 41);
  const ChartReadout totalOnly = chartReadoutAt(*series, 100, shown, true);
  EXPECT_EQ(totalOnly.exchangeCount, 0);
  EXPECT_EQ(totalOnly.total, 41);
  EXPECT_EQ(timeOfDayText(34877), "09:41:17");
}

TEST(ChartReadout, CentringPutsTheSecondInTheMiddleOfTheDrawnWindow) {
  for (std::int32_t points : {1, 2, 300, 301}) {
    ChartWindow w;
    w.dataPoints = points;
    w.latestSecond = kLastSecondOfDay;
    centreWindowOn(w, 40000);
    const std::int32_t first = w.windowEnd - points + 1;
    EXPECT_EQ(40000 - first, (points - 1) / 2) << points;
    EXPECT_EQ(w.windowEnd - 40000, points / 2) << points;
    EXPECT_FALSE(w.followLive);
  }
  ChartWindow early;
  early.latestSecond = kLastSecondOfDay;
  centreWindowOn(early, 100);  // no window starts before the day
  EXPECT_EQ(early.windowStart, 0);
  EXPECT_EQ(early.windowEnd, 300);
}

}  // namespace
}  // namespace kestrune
