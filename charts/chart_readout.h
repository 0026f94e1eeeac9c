// Reading a chart under the pointer: which second a pixel column shows, the values drawn there,
// the window centred on a second, and one chart window as comma-separated text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "charts/chart_layout.h"
#include "charts/chart_series.h"
#include "charts/chart_window.h"

namespace kestrune {

// Where the seconds of a drawing lie across its plot: second i at pixel column
// toPixel(dataLeft + (i - firstIndex) * pixelsPerPoint), exactly as the lines are drawn.
struct ChartTimeAxis {
  double dataLeft = 0.0;
  double pixelsPerPoint = 0.0;
  std::int32_t firstIndex = 0;
  std::int32_t lastIndex = -1;
  // The plot's inner rectangle, inclusive: the pointer reads only inside it.
  std::int32_t left = 0, top = 0, right = -1, bottom = -1;
};

// The axis of a drawing over seconds firstIndex..lastIndex on the given plot area.
ChartTimeAxis chartTimeAxis(const ChartArea& plot, std::int32_t firstIndex, std::int32_t lastIndex,
                            double pixelsPerPoint);

// Pixel column of second i.
std::int32_t pixelOfSecond(const ChartTimeAxis& axis, std::int32_t second);

// The second under pixel column x: the last second drawn at or left of x, so that
// secondAtPixel(pixelOfSecond(i)) == i whenever seconds are at least a pixel apart, and a column
// holding several seconds reads as the newest of them. None left of the first second, past the
// last second's own span, or outside the plot.
std::optional<std::int32_t> secondAtPixel(const ChartTimeAxis& axis, std::int32_t x,
                                          std::int32_t y);

// "hh:mm:ss" of a second of the day.
std::string timeOfDayText(std::int32_t second);

// The values a chart draws at one second: its shown exchanges, largest first with equal values
// in legend (exchange-table) order, and TOTAL.
struct ChartReadout {
  struct Line {
    int series = 0;
    double value = 0.0;
  };
  std::int32_t second = 0;
  std::array<Line, kChartExchangeCount> exchanges{};
  int exchangeCount = 0;
  double total = 0.0;
  // No sample covers this second although earlier and later ones do (the link was down): the
  // zeros there are no counts, and no line is listed.
  bool noData = false;
};

// shown: the exchange switches of the chart; with totalOnly no exchange line is drawn. coverage,
// when given, tells a second without a sample from a quiet one.
ChartReadout chartReadoutAt(const ChartSeriesSet& series, std::int32_t second,
                            const std::array<std::uint8_t, kChartExchangeCount>& shown,
                            bool totalOnly, const SecondCoverage* coverage = nullptr);

// The Goto that puts a second in the middle of the window: the window then shows
// second - (dataPoints + 1) / 2 + 1 .. second + dataPoints / 2, parked or following exactly as
// Goto decides.
void centreWindowOn(ChartWindow& window, std::int32_t second);

// One line per second firstIndex..lastIndex (held inside the day): the time, the 16 exchanges in
// legend order, then TOTAL; a heading line first; lines end in CR LF. Every field is a time, a
// count or a legend name, none of which holds a comma, a quote or a line break.
std::string chartWindowCsv(const ChartSeriesSet& series, std::int32_t firstIndex,
                           std::int32_t lastIndex);

}  // namespace kestrune
