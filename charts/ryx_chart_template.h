// The chart engine behind each of the three charts: five areas on one surface, the vertical
// scale, and the painting of frames, grid, series lines, labels, legend and title into an
// off-screen picture that a chart widget then shows whole.
#pragma once

#include <QFont>
#include <QImage>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "charts/chart_layout.h"
#include "charts/chart_raster.h"
#include "charts/chart_series.h"
#include "charts/typical_band.h"

namespace kestrune {

struct ChartColorTable;

// Colours the template takes from the chart colour preferences (0x00BBGGRR).
struct ChartTemplateColors {
  std::uint32_t insetsBk = 0x00373737;
  std::uint32_t insetsFg = 0x00FFFFFF;
  std::uint32_t graphAreaBk = 0x00000000;
  std::uint32_t outlineFg = 0x00C8C8C8;
  std::uint32_t chartAuxFg = 0x00FFFFFF;
  std::uint32_t chartDotLineColor = 0x000000FF;
  std::uint32_t gridlineFg = 0x00A0A0A0;
};

class RyxChartTemplate {
 public:
  RyxChartTemplate();
  virtual ~RyxChartTemplate() = default;
  RyxChartTemplate(const RyxChartTemplate&) = delete;
  RyxChartTemplate& operator=(const RyxChartTemplate&) = delete;

  // Stores the size, computes the areas and makes the off-screen picture.
  virtual void init(std::int32_t width, std::int32_t height);
  // Inner geometry of the plot, time and value areas and pixelsPerPoint.
  virtual void layoutPlot();
  // Makes the picture afresh at a new size.
  virtual void resize(std::int32_t width, std::int32_t height);
  // Fills the whole picture with the plot's outer fill.
  virtual void clear();
  virtual void drawFrames();
  virtual void drawArea(int index);
  virtual void drawAreaFrame(const ChartArea& area);
  virtual void drawCaption(const ChartArea& area);

  void applyColors(const ChartTemplateColors& colors);
  void setSeriesLabel(ChartSeries& series, const char* name, std::uint32_t color);

  // startMax: a top the scale must reach at least (0: the series alone decides).
  void scaleFirstSeries(ChartSeries& series, double startMax = 0.0);
  void scaleNextSeries(ChartSeries& series, ChartSeries& first);
  void scaleFixed(ChartSeries& series, double maximum);

  // Shades the seconds of the drawing between the first and the newest sample that no sample
  // covers, as bands across the plot's height; drawn before the grid and the lines.
  void drawGapBands(const SecondCoverage& coverage);
  // The band's colour: the plot background moved a quarter of the way to the outline colour.
  std::uint32_t gapBandColor() const;
  // The typical day on the scale of the given series: its 10-90 % band as a light fill across
  // each pixel column's seconds, drawn before the grid; then its median as a thin line
  // (drawTypicalMedian), drawn before the series lines. lineColor is TOTAL's.
  void drawTypicalBand(const TypicalBand& band, const ChartSeries& scale, std::uint32_t lineColor);
  void drawTypicalMedian(const TypicalBand& band, const ChartSeries& scale,
                         std::uint32_t lineColor);
  // The plot background moved a quarter (the band) or half (the median) of the way to lineColor.
  std::uint32_t typicalBandColor(std::uint32_t lineColor) const;
  std::uint32_t typicalMedianColor(std::uint32_t lineColor) const;
  void drawValueGrid(const ChartSeries& series);
  void drawSeries(const ChartSeries& series, std::int32_t lineWidth);
  void drawValueLabels(const ChartSeries& series);
  void drawTimeGrid(const std::int32_t* secondOf, const std::int32_t* minuteOf);
  void drawTimeLabels(const std::int32_t* hourOf, const std::int32_t* minuteOf,
                      const std::int32_t* secondOf);
  void drawLegendEntry(const ChartSeries& series, std::int32_t y, std::int32_t xOffset);
  void drawTitle(const char* text);
  // Publishes the picture just drawn as the chart's finished picture.
  void copyTo();

  // Point-by-point drawing of series lines instead of the per-column reduction (for comparison).
  void setReduceColumns(bool reduce) { reduceColumns_ = reduce; }

  // The last finished picture (callers hold the chart lock while a drawing may run).
  const QImage& finishedImage() const { return finished_; }

  // Layout and state, in the template's own terms.
  std::array<ChartArea, kChartAreaCount> areas;
  char caption[256] = {};
  ChartGeometry geometry;
  std::int32_t firstIndex = 0;
  std::int32_t lastIndex = 0;
  double pixelsPerPoint = 0.0;
  std::optional<QFont> font;  // none until the owner assigns one
  ChartTemplateColors colors;
  ChartSeriesSet series;
  SecondCoverage coverage;  // seconds that hold a sample, for the gap bands and the readout

  ChartArea& plotArea() { return areas[kPlotArea]; }
  ChartArea& timeAxisArea() { return areas[kTimeAxisArea]; }
  ChartArea& valueAxisArea() { return areas[kValueAxisArea]; }
  ChartArea& titleArea() { return areas[kTitleArea]; }
  ChartArea& titleRightArea() { return areas[kTitleRightArea]; }

 private:
  void computeAreas();
  void copyColorsToAreas();
  PixelSurface surface();
  PixelClip plotClip() const;
  PixelClip gridClip() const;
  // The seconds of the drawing the band covers; false when there is nothing to draw.
  bool typicalSpan(const TypicalBand& band, std::int32_t& first, std::int32_t& last) const;
  std::int32_t valueY(const ChartSeries& series, double v) const;
  void drawText(int x, int y, const char* text, std::uint32_t color, std::uint32_t background,
                const PixelClip* clip = nullptr);

  QImage image_;
  QImage finished_;
  bool reduceColumns_ = true;
  std::vector<PixelPoint> vertices_;  // reused by every series line
};

}  // namespace kestrune
