// The typical day of a chart taken from the index across days: TOTAL at each second over the
// last recorded days before the day shown. Plain C++ over the index, no Qt.
#pragma once

#include "charts/chart_series.h"
#include "charts/typical_band.h"
#include "history/history_index.h"

namespace kestrune {

inline constexpr int kTypicalDays = 20;

// The index's number for a chart's file: 3 Listing, 4 Reporting, 5 Algo.
int historyChartFile(ChartId chart);

// The band over the last maxDays days before day (YYYYMMDD; 0: after the newest) that hold
// samples of the chart; fewer when fewer exist.
TypicalBand typicalDayBand(const HistoryIndex& index, int day, ChartId chart,
                           int maxDays = kTypicalDays);

}  // namespace kestrune
