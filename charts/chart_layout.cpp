#include "charts/chart_layout.h"

namespace kestrune {

void layoutChartAreas(const ChartGeometry& g, std::array<ChartArea, kChartAreaCount>& areas) {
  for (ChartArea& a : areas) {
    a.insetLeft = g.areaInsetLeft;
    a.insetTop = g.areaInsetTop;
    a.insetRight = g.areaInsetRight;
    a.insetBottom = g.areaInsetBottom;
    a.drawFrame = false;
  }
  areas[kPlotArea].drawFrame = true;

  const std::int32_t W = g.width;
  const std::int32_t H = g.height;
  ChartArea& title = areas[kTitleArea];
  title.x = g.marginLeft;
  title.y = g.marginTop;
  title.w = W;
  title.h = g.titleHeight;
  ChartArea& titleRight = areas[kTitleRightArea];
  titleRight.x = 1 + W / 2;
  titleRight.y = g.marginTop;
  titleRight.w = W / 2 - 1;
  titleRight.h = g.titleHeight;
  ChartArea& plot = areas[kPlotArea];
  plot.x = g.marginLeft;
  plot.y = g.marginTop + g.titleHeight + g.gap;
  plot.w = W - g.valueAxisWidth - g.gap;
  plot.h = H - g.timeAxisHeight - plot.y - 2 * g.gap;
  ChartArea& value = areas[kValueAxisArea];
  value.x = plot.x + plot.w + g.gap;
  value.y = plot.y;
  value.w = g.valueAxisWidth;
  value.h = plot.h;
  ChartArea& time = areas[kTimeAxisArea];
  time.x = g.marginLeft;
  time.y = plot.y + plot.h + g.gap;
  time.w = plot.w;
  time.h = g.timeAxisHeight;

  for (ChartArea& a : areas) {
    a.innerW = a.w - a.insetLeft - a.insetRight;
    a.innerH = a.h - a.insetTop - a.insetBottom;
    a.dataLeft = a.x + a.insetLeft + 1;
    a.innerX = a.x + a.insetLeft + 2;
    a.innerY = a.y + a.insetTop;
  }
  plot.innerW -= g.plotRightPadding;
  time.innerW -= g.plotRightPadding;
  plot.innerH -= g.plotVerticalPadding;
  value.innerH -= g.plotVerticalPadding;
  plot.innerY += g.plotVerticalPadding / 2;
  value.innerY += g.plotVerticalPadding / 2;
}

double pixelsPerPointFor(std::int32_t innerW, std::int32_t firstIndex, std::int32_t lastIndex) {
  const std::int64_t n = static_cast<std::int64_t>(lastIndex) - firstIndex + 1;
  if (n <= 0) return 0.0;  // an empty window has no horizontal scale
  return static_cast<double>(innerW) / static_cast<double>(n);
}

bool timeAxisUsesSeconds(std::int32_t n) { return n < 150; }

std::int32_t timeGridMinuteStep(std::int32_t n) {
  if (n < 700) return 1;
  if (n < 2500) return 5;
  if (n < 5000) return 15;
  return 30;
}

std::int32_t timeLabelSecondStep(std::int32_t n) {
  if (n < 20) return 5;
  if (n < 40) return 10;
  if (n < 80) return 20;
  return 30;
}

}  // namespace kestrune
