#include "charts/typical_band.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kestrune {

double quantileOfSorted(const double* sorted, int count, double q) {
  if (count <= 0) return std::numeric_limits<double>::quiet_NaN();
  const double rank = std::clamp(q, 0.0, 1.0) * (count - 1);
  const int below = static_cast<int>(std::floor(rank));
  const int above = std::min(below + 1, count - 1);
  const double part = rank - below;
  return sorted[below] + (sorted[above] - sorted[below]) * part;
}

TypicalBand typicalBandOf(const std::vector<std::vector<double>>& days) {
  std::vector<const double*> taken;
  for (const std::vector<double>& d : days) {
    if (d.size() == kSecondsPerDay) taken.push_back(d.data());
  }
  TypicalBand band;
  band.days = static_cast<int>(taken.size());
  const double none = std::numeric_limits<double>::quiet_NaN();
  band.low.assign(kSecondsPerDay, none);
  band.median.assign(kSecondsPerDay, none);
  band.high.assign(kSecondsPerDay, none);
  std::vector<double> at(taken.size());
  for (std::size_t s = 0; s < kSecondsPerDay; ++s) {
    int n = 0;
    for (const double* d : taken) {
      if (std::isfinite(d[s])) at[static_cast<std::size_t>(n++)] = d[s];
    }
    if (n == 0) continue;
    // A few values a second: an insertion sort beats anything cleverer here.
    for (int i = 1; i < n; ++i) {
      const double v = at[static_cast<std::size_t>(i)];
      int j = i;
      for (; j > 0 && at[static_cast<std::size_t>(j - 1)] > v; --j) {
        at[static_cast<std::size_t>(j)] = at[static_cast<std::size_t>(j - 1)];
      }
      at[static_cast<std::size_t>(j)] = v;
    }
    band.low[s] = quantileOfSorted(at.data(), n, 0.1);
    band.median[s] = quantileOfSorted(at.data(), n, 0.5);
    band.high[s] = quantileOfSorted(at.data(), n, 0.9);
  }
  return band;
}

double typicalBandTop(const TypicalBand& band, std::int32_t first, std::int32_t last) {
  if (band.empty()) return 0.0;
  double top = 0.0;
  for (std::int32_t s = std::max(first, 0); s <= std::min(last, kLastSecondOfDay); ++s) {
    const double v = band.high[static_cast<std::size_t>(s)];
    if (v > top) top = v;  // false for NaN
  }
  return top;
}

std::string typicalReadoutText(const TypicalBand& band, std::int32_t second) {
  if (band.empty() || second < 0 || second > kLastSecondOfDay) return {};
  const auto s = static_cast<std::size_t>(second);
  if (!std::isfinite(band.median[s])) return {};
  char text[96];
  std::snprintf(text, sizeof text, "%.0f (10-90 %%: %.0f-%.0f)", band.median[s], band.low[s],
                band.high[s]);
  return text;
}

}  // namespace kestrune
