#include "history/typical_day.h"

#include <algorithm>

namespace kestrune {

int historyChartFile(ChartId chart) {
  switch (chart) {
    case ChartId::Listing:
      return 3;
    case ChartId::Reporting:
      return 4;
    case ChartId::Algo:
      break;
  }
  return 5;
}

TypicalBand typicalDayBand(const HistoryIndex& index, int day, ChartId chart, int maxDays) {
  const std::vector<int> keys = index.dayKeys();
  std::vector<std::vector<double>> days;
  for (auto it = keys.rbegin(); it != keys.rend() && static_cast<int>(days.size()) < maxDays;
       ++it) {
    if (day != 0 && *it >= day) continue;
    std::vector<double> totals = index.totals(*it, historyChartFile(chart));
    if (!totals.empty()) days.push_back(std::move(totals));
  }
  return typicalBandOf(days);
}

}  // namespace kestrune
