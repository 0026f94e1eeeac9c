#include "charts/chart_scale.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

double rangeMax(const double* values, std::int32_t first, std::int32_t last) {
  double m = 0.0;
  std::int32_t i = first;
#if defined(__SSE2__)
  // The full-day pass covers 16 x 86,400 values per drawing: two lanes, four registers.
  __m128d a = _mm_setzero_pd(), b = a, c = a, d = a;
  for (; i + 7 <= last; i += 8) {
    a = _mm_max_pd(a, _mm_loadu_pd(values + i));
    b = _mm_max_pd(b, _mm_loadu_pd(values + i + 2));
    c = _mm_max_pd(c, _mm_loadu_pd(values + i + 4));
    d = _mm_max_pd(d, _mm_loadu_pd(values + i + 6));
  }
  a = _mm_max_pd(_mm_max_pd(a, b), _mm_max_pd(c, d));
  double lanes[2];
  _mm_storeu_pd(lanes, a);
  m = std::max(lanes[0], lanes[1]);
#endif
  for (; i <= last; ++i) m = values[i] > m ? values[i] : m;
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
  const double m = std::max(startMax, rangeMax(series.values, first, last));
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
