// Choosing the vertical scale of a chart: a top that is a whole number of nice steps.
#pragma once

#include <cstdint>

#include "charts/chart_series.h"

namespace kestrune {

constexpr double kScaleFloor = 25.0;       // the smallest top a chart shows
constexpr double kScaleCeiling = 10000.0;  // the largest

// The grid step for a top of 5 * q: the first of 1000, 500, 250, 200, 150, 100, 75, 50, 25, 20,
// 10 that q reaches, else 5.
double niceTickStep(double q);

// Clamps a maximum into 25 .. 10,000; anything that is not a number becomes 25.
double clampScaleMaximum(double m);

// The largest of values[first..last], and never below 0.
double rangeMax(const double* values, std::int32_t first, std::int32_t last);

// Scales one series over values[first..last], starting from startMax (0 for a first series).
void scaleFirstSeries(ChartSeries& series, std::int32_t first, std::int32_t last,
                      std::int32_t plotInnerH, double startMax = 0.0);

// Scales a further series so that the result covers it and the first series; the first series
// takes the combined scale.
void scaleNextSeries(ChartSeries& series, ChartSeries& first, std::int32_t firstIndex,
                     std::int32_t lastIndex, std::int32_t plotInnerH);

// A fixed top (clamped to 25 .. 10,000), not rounded up.
void scaleFixed(ChartSeries& series, double maximum, std::int32_t plotInnerH);

// Copies the scale of one series into another (windowMax, top, bottom, pixels per unit).
void shareScale(const ChartSeries& from, ChartSeries& to);

}  // namespace kestrune
