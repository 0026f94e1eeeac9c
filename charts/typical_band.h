// The typical day behind a chart: at each second, the 10th percentile, the median and the 90th
// percentile of TOTAL over a number of earlier recorded days. Plain data and arithmetic, no Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "charts/chart_series.h"

namespace kestrune {

struct TypicalBand {
  int days = 0;  // how many days it was taken over
  // kSecondsPerDay values each; NaN at a second none of the days has a sample for.
  std::vector<double> low, median, high;
  bool empty() const { return days == 0 || median.size() != kSecondsPerDay; }
};

// The q-th quantile (0..1) of sorted values, between the two nearest ranks: the smallest value
// at 0, the largest at 1, the middle one (or the mean of the middle two) at 0.5. NaN when empty.
double quantileOfSorted(const double* sorted, int count, double q);

// The band over the given days, each kSecondsPerDay TOTALs with NaN where it has no sample
// (a day of another length is left out). Days is how many were taken.
TypicalBand typicalBandOf(const std::vector<std::vector<double>>& days);

// The highest 90th percentile over seconds first..last; 0 when there is none.
double typicalBandTop(const TypicalBand& band, std::int32_t first, std::int32_t last);

// "310 (10-90 %: 220-450)" for a second, in whole counts; empty where the band has no value.
std::string typicalReadoutText(const TypicalBand& band, std::int32_t second);

}  // namespace kestrune
