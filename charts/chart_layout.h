// The five areas of a chart surface and where everything in them lies.
#pragma once

#include <array>
#include <cstdint>

namespace kestrune {

struct ChartArea {
  bool drawFrame = false;  // 1-pixel frame round the inner rectangle
  std::int32_t x = 0, y = 0, w = 0, h = 0;
  std::int32_t insetLeft = 0, insetTop = 0, insetRight = 0, insetBottom = 0;
  std::int32_t innerW = 0, innerH = 0;  // inner size less the paddings
  std::int32_t innerX = 0;              // inner left + 2
  std::int32_t innerY = 0;              // inner top, plus half the vertical padding
  double dataLeft = 0.0;                // inner left + 1: x of the first data point
  std::uint32_t outerColor = 0, innerColor = 0, textColor = 0, frameColor = 0;  // 0x00BBGGRR
};

enum ChartAreaIndex : int {
  kPlotArea = 0,
  kTimeAxisArea = 1,
  kValueAxisArea = 2,
  kTitleArea = 3,
  kTitleRightArea = 4,
  kChartAreaCount = 5
};

struct ChartGeometry {
  std::int32_t marginLeft = 0, marginTop = 0;
  std::int32_t width = 0, height = 0;
  std::int32_t gap = 2;
  std::int32_t areaInsetLeft = 0, areaInsetTop = 0, areaInsetRight = 0, areaInsetBottom = 0;
  std::int32_t plotVerticalPadding = 0;
  std::int32_t titleHeight = 15;
  std::int32_t timeAxisHeight = 15;
  std::int32_t plotRightPadding = 0;
  std::int32_t valueAxisWidth = 60;
};

// Computes the rectangles of the five areas (colours are left alone).
void layoutChartAreas(const ChartGeometry& g, std::array<ChartArea, kChartAreaCount>& areas);

// Horizontal distance between two seconds for a plot of innerW pixels; 0 for an empty window.
double pixelsPerPointFor(std::int32_t innerW, std::int32_t firstIndex, std::int32_t lastIndex);

// Time-axis rules by the number of seconds shown, n.
bool timeAxisUsesSeconds(std::int32_t n);          // n < 150: second labels
std::int32_t timeGridMinuteStep(std::int32_t n);   // minute multiple of grid lines and labels
std::int32_t timeLabelSecondStep(std::int32_t n);  // second multiple of labels when n < 150

}  // namespace kestrune
