// Series lines: the per-column reduction draws exactly the pixels of the point-by-point line.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "charts/chart_raster.h"
#include "charts/chart_series.h"

namespace kestrune {
namespace {

struct Canvas {
  std::vector<std::uint32_t> pixels;
  PixelSurface surface;
  Canvas(int w, int h) : pixels(static_cast<std::size_t>(w) * h, 0) {
    surface = PixelSurface{pixels.data(), w, h, w};
  }
};

std::vector<std::uint32_t> drawLine(const double* values, int first, int last,
                                    const SeriesMapping& map, bool reduce, int lineWidth,
                                    std::size_t* vertexCount = nullptr) {
  Canvas c(480, 210);
  std::vector<PixelPoint> points;
  const std::size_t n = seriesVertices(values, first, last, map, reduce, points);
  if (vertexCount != nullptr) *vertexCount = n;
  drawPolyline(c.surface, clipRect(5, 22, 418, 169), points, lineWidth, 0xFFFFFFFF);
  return c.pixels;
}

SeriesMapping mappingFor(int first, int last, double top) {
  SeriesMapping m;
  m.dataLeft = 6.0;
  m.pixelsPerPoint = 410.0 / (last - first + 1);
  m.baseY = 22 + 169;
  m.pixelsPerUnit = 169 / top;
  return m;
}

class ReducedLineTest : public ::testing::TestWithParam<int> {};

TEST_P(ReducedLineTest, SamePixelsOnRandomAndSpikyData) {
  const int lineWidth = GetParam();
  auto series = std::make_unique<ChartSeries>();
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> noise(0, 400);
  std::uniform_int_distribution<int> rare(0, 999);
  for (int i = 0; i < kSecondsPerDay; ++i) {
    double v = noise(rng) % 40;
    if (rare(rng) == 0) v = 5000 + noise(rng) * 100;  // spikes far above the top
    if (rare(rng) == 1) v = 380;
    series->values[i] = v;
  }
  struct Window {
    int first, last;
  };
  const Window windows[] = {{0, 86399},     {33901, 34200}, {1, 86399},   {1000, 1999},
                            {40000, 41234}, {86000, 86399}, {5, 5},       {0, 0},
                            {20000, 20409}, {20000, 20410}, {100, 100000}};
  for (const Window& w : windows) {
    const SeriesMapping map = mappingFor(w.first, w.last, 400);
    const int last = std::min(w.last, kLastSecondOfDay);
    std::size_t fullCount = 0, reducedCount = 0;
    const auto full = drawLine(series->values, w.first, last, map, false, lineWidth, &fullCount);
    const auto reduced =
        drawLine(series->values, w.first, last, map, true, lineWidth, &reducedCount);
    EXPECT_EQ(full, reduced) << w.first << ".." << w.last;
    EXPECT_LE(reducedCount, 4u * 420u) << w.first << ".." << w.last;
  }
}

INSTANTIATE_TEST_SUITE_P(LineWidths, ReducedLineTest, ::testing::Values(1, 3));

TEST(ChartRaster, LinesStayInsideTheClip) {
  Canvas c(100, 60);
  const PixelClip clip = clipRect(10, 10, 50, 30);
  drawLineSegment(c.surface, clip, -1000000, -5000, 2000000, 90000, 3, 0xFFFFFFFF);
  drawLineSegment(c.surface, clip, 30, -67108864, 31, 67108864, 1, 0xFFFFFFFF);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 100; ++x) {
      const bool inside = x >= 10 && x < 60 && y >= 10 && y < 40;
      if (!inside) {
        EXPECT_EQ(c.pixels[y * 100 + x], 0u) << x << "," << y;
      }
    }
  }
  // The near-vertical line crosses the whole clip.
  EXPECT_EQ(c.pixels[10 * 100 + 30] | c.pixels[10 * 100 + 31], 0xFFFFFFFFu);
  EXPECT_EQ(c.pixels[39 * 100 + 30] | c.pixels[39 * 100 + 31], 0xFFFFFFFFu);
}

TEST(ChartRaster, HugeAndNonFiniteCoordinatesAreHeldOutside) {
  EXPECT_EQ(toPixel(1e300), 67108864);
  EXPECT_EQ(toPixel(-1e300), -67108864);
  EXPECT_EQ(toPixel(std::numeric_limits<double>::quiet_NaN()), -67108864);
  EXPECT_EQ(toPixel(12.9), 12);
}

TEST(ChartRaster, ColourRefBecomesOpaquePixel) {
  EXPECT_EQ(surfacePixel(0x00FF9A00), 0xFF009AFFu);  // (0, 154, 255)
  EXPECT_EQ(surfacePixel(0x000000FF), 0xFFFF0000u);
}

}  // namespace
}  // namespace kestrune
