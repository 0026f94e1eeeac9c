#include "charts/chart_readout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "charts/chart_navigation.h"
#include "charts/chart_raster.h"

namespace kestrune {

ChartTimeAxis chartTimeAxis(const ChartArea& plot, std::int32_t firstIndex, std::int32_t lastIndex,
                            double pixelsPerPoint) {
  ChartTimeAxis a;
  a.dataLeft = plot.dataLeft;
  a.pixelsPerPoint = pixelsPerPoint;
  a.firstIndex = firstIndex;
  a.lastIndex = lastIndex;
  // The rectangle the lines are clipped to.
  a.left = plot.x + plot.insetLeft;
  a.top = plot.y + plot.insetTop;
  a.right = plot.x + plot.w - plot.insetRight - 1;
  a.bottom = plot.y + plot.h - plot.insetBottom - 1;
  return a;
}

std::int32_t pixelOfSecond(const ChartTimeAxis& a, std::int32_t second) {
  // The same expression, in the same order, as the series lines are drawn with.
  return toPixel(a.dataLeft + (second - a.firstIndex) * a.pixelsPerPoint);
}

std::optional<std::int32_t> secondAtPixel(const ChartTimeAxis& a, std::int32_t x, std::int32_t y) {
  const std::int32_t first = std::max(a.firstIndex, 0);
  const std::int32_t last = std::min(a.lastIndex, kLastSecondOfDay);
  if (last < first || !(a.pixelsPerPoint > 0.0) || !std::isfinite(a.pixelsPerPoint)) {
    return std::nullopt;
  }
  if (x < a.left || x > a.right || y < a.top || y > a.bottom) return std::nullopt;
  if (x < pixelOfSecond(a, first)) return std::nullopt;
  // A first guess from the scale, then settled on the drawn pixels themselves, so rounding in
  // the guess can never pick a neighbour.
  const double guess = std::floor((x + 1 - a.dataLeft) / a.pixelsPerPoint) + a.firstIndex;
  std::int32_t i = static_cast<std::int32_t>(
      std::clamp(guess, static_cast<double>(first), static_cast<double>(last)));
  while (i < last && pixelOfSecond(a, i + 1) <= x) ++i;
  while (i > first && pixelOfSecond(a, i) > x) --i;
  if (i == last) {
    // The last second owns the pixels up to where a next one would be drawn, at least its own.
    const std::int32_t end = std::max(pixelOfSecond(a, last) + 1, pixelOfSecond(a, last + 1));
    if (x >= end) return std::nullopt;
  }
  return i;
}

std::string timeOfDayText(std::int32_t second) {
  const std::int32_t s = std::clamp(second, 0, kLastSecondOfDay);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, (s / 60) % 60, s % 60);
  return text;
}

ChartReadout chartReadoutAt(const ChartSeriesSet& series, std::int32_t second,
                            const std::array<std::uint8_t, kChartExchangeCount>& shown,
                            bool totalOnly, const SecondCoverage* coverage) {
  ChartReadout r;
  r.second = std::clamp(second, 0, kLastSecondOfDay);
  if (coverage != nullptr && coverage->isGap(r.second)) {
    r.noData = true;
    return r;
  }
  r.total = series[kTotalSeries].values[r.second];
  if (totalOnly) return r;
  for (int e = 0; e < kChartExchangeCount; ++e) {
    if (shown[e]) r.exchanges[r.exchangeCount++] = {e, series[e].values[r.second]};
  }
  std::stable_sort(
      r.exchanges.begin(), r.exchanges.begin() + r.exchangeCount,
      [](const ChartReadout::Line& a, const ChartReadout::Line& b) { return a.value > b.value; });
  return r;
}

void centreWindowOn(ChartWindow& window, std::int32_t second) {
  const std::int64_t start = static_cast<std::int64_t>(second) - (window.dataPoints + 1) / 2;
  gotoTime(window, 0, 0, static_cast<std::int32_t>(std::max<std::int64_t>(start, 0)));
}

namespace {

void appendNumber(std::string& out, double v) {
  // Counts are whole numbers; fixed notation keeps them whole and never exponent-formatted.
  char text[400];
  const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
  out.append(text, r.ec == std::errc() ? r.ptr : text);
}

}  // namespace

std::string chartWindowCsv(const ChartSeriesSet& series, std::int32_t firstIndex,
                           std::int32_t lastIndex) {
  std::string out = "Time";
  for (int e = 0; e <= kTotalSeries; ++e) {
    out += ',';
    out.append(series[e].name, strnlen(series[e].name, sizeof series[e].name));
  }
  out += "\r\n";
  const std::int32_t first = std::max(firstIndex, 0);
  const std::int32_t last = std::min(lastIndex, kLastSecondOfDay);
  if (last < first) return out;
  out.reserve(out.size() + static_cast<std::size_t>(last - first + 1) * 96);
  for (std::int32_t s = first; s <= last; ++s) {
    out += timeOfDayText(s);
    for (int e = 0; e <= kTotalSeries; ++e) {
      out += ',';
      appendNumber(out, series[e].values[s]);
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace kestrune
