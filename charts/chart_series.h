// The per-second store of one chart: 17 series of 86,400 values, one slot per second of the day.
#pragma once

#include <array>
#include <cstdint>

namespace kestrune {

constexpr int kSecondsPerDay = 86400;
constexpr int kLastSecondOfDay = kSecondsPerDay - 1;
constexpr int kChartExchangeCount = 16;  // series 0..15, in exchange-table order
constexpr int kTotalSeries = 16;         // series 16 is the sum of all 16 exchanges
constexpr int kSeriesPerChart = 17;
constexpr int kSeriesNameSize = 255;

// The three charts, in the order the view declares them.
enum class ChartId : int { Reporting = 0, Listing = 1, Algo = 2 };
constexpr int kChartCount = 3;
constexpr int chartIndex(ChartId id) { return static_cast<int>(id); }

struct ChartSeries {
  double values[kSecondsPerDay] = {};  // count for each second of the day
  double windowMax = 0.0;              // working maximum of the last scale pass
  double axisTop = 0.0;                // value at the top of the plot
  double axisBottom = 0.0;             // value at the bottom of the plot; always 0
  double pixelsPerUnit = 0.0;          // plot height / axisTop
  double tickStep = 0.0;               // distance between horizontal grid lines
  double smartMax = 0.0;               // "Smart Scale" maximum; used in series 0 and series 16 only
  char name[kSeriesNameSize] = {};     // legend text
  std::uint32_t color = 0;             // 0x00BBGGRR
};

using ChartSeriesSet = std::array<ChartSeries, kSeriesPerChart>;

// Which seconds of the day a chart holds a sample for. A second without one reads as 0 like a
// quiet second; only this tells the two apart (a link that was down, a late start).
class SecondCoverage {
 public:
  void mark(std::int32_t s) {
    if (s < 0 || s > kLastSecondOfDay) return;
    bits_[static_cast<std::size_t>(s) / 64] |= std::uint64_t{1} << (s % 64);
    if (first_ < 0 || s < first_) first_ = s;
    if (s > last_) last_ = s;
  }
  void clear() {
    bits_.fill(0);
    first_ = last_ = -1;
  }
  bool covered(std::int32_t s) const {
    return s >= 0 && s <= kLastSecondOfDay &&
           (bits_[static_cast<std::size_t>(s) / 64] >> (s % 64) & 1) != 0;
  }
  // The first and the newest second with a sample; -1 before any.
  std::int32_t first() const { return first_; }
  std::int32_t last() const { return last_; }
  // A second between the first and the newest sample that no sample covers.
  bool isGap(std::int32_t s) const { return s > first_ && s < last_ && !covered(s); }

 private:
  std::array<std::uint64_t, (kSecondsPerDay + 63) / 64> bits_{};
  std::int32_t first_ = -1;
  std::int32_t last_ = -1;
};

// Legend names of series 0..15.
extern const char* const kExchangeSeriesNames[kChartExchangeCount];
extern const char* const kTotalSeriesName;

// Copies a legend name into a series, cut to the field's size.
void setSeriesName(ChartSeries& series, const char* name);

}  // namespace kestrune
