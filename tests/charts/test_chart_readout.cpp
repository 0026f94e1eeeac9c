// Reading a chart at a pixel: the second under each column is the one the drawing put there.
#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace kestrune
