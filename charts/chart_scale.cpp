#include "charts/chart_scale.h"

#include <algorithm>
#include <cmath>

namespace kestrune {

double niceTickStep(double q) {
  static constexpr double kSteps[] = {1000, 500, 250, 200, 150, 100, 75, 50, 25, 20, 10};
  for (double step : kSteps) {
    if (q >= step) return step;
  }
  return 5.0;
}

double clampScaleMaximum(double m) {
  if (!(m >= kScaleFloor)) return kScaleFloor;  // also catches NaN
  if (m > kScaleCeiling) return kScaleCeiling;
  return m;
}

namespace {

void finishScale(ChartSeries& series, std::int32_t plotInnerH) {
  series.axisTop = series.windowMax;
  series.axisBottom = 0.0;
  series.pixelsPerUnit = series.axisTop != 0.0 ? plotInnerH / series.axisTop : 1.0;
}

}  // namespace

void scaleFirstSeries(ChartSeries& series, std::int32_t first, std::int32_t last,
                      std::int32_t plotInnerH, double startMax) {
  first = std::max(first, 0);
  last = std::min(last, kLastSecondOfDay);
  double m = startMax;
  for (std::int32_t i = first; i <= last; ++i) m = std::max(m, series.values[i]);
  const double clamped = clampScaleMaximum(m);
  series.tickStep = niceTickStep(clamped / 5.0);
  double top = std::floor(clamped / series.tickStep) * series.tickStep;
  if (top < clamped) top += series.tickStep;
  series.windowMax = top;
  finishScale(series, plotInnerH);
}

void scaleNextSeries(ChartSeries& series, ChartSeries& first, std::int32_t firstIndex,
                     std::int32_t lastIndex, std::int32_t plotInnerH) {
  scaleFirstSeries(series, firstIndex, lastIndex, plotInnerH, first.axisTop);
  first.windowMax = series.windowMax;
  first.axisTop = series.axisTop;
  first.tickStep = series.tickStep;
  first.pixelsPerUnit = series.pixelsPerUnit;
  first.axisBottom = 0.0;
}

void scaleFixed(ChartSeries& series, double maximum, std::int32_t plotInnerH) {
  series.windowMax = clampScaleMaximum(maximum);
  series.tickStep = niceTickStep(series.windowMax / 5.0);
  finishScale(series, plotInnerH);
}

void shareScale(const ChartSeries& from, ChartSeries& to) {
  to.windowMax = from.windowMax;
  to.axisTop = from.axisTop;
  to.axisBottom = from.axisBottom;
  to.pixelsPerUnit = from.pixelsPerUnit;
}

}  // namespace kestrune
