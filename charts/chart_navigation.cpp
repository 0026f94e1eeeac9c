#include "charts/chart_navigation.h"

#include <algorithm>

#include "charts/chart_sample.h"
#include "charts/chart_series.h"

namespace kestrune {

namespace {

// Keeps the window's end inside the store, as the Data Points edit always has.
void holdInsideDay(ChartWindow& w) {
  if (w.windowEnd > kLastSecondOfDay) {
    w.windowEnd = kLastSecondOfDay;
    w.windowStart = std::max(0, kLastSecondOfDay - w.dataPoints);
  }
}

}  // namespace

bool applyDataPointsText(ChartWindow& w, const char* text) {
  if (text == nullptr || text[0] == '\0') return false;
  const std::int64_t n = leadingInteger(text, 32);
  // A width of 0 or less would show no seconds at all; keep the previous width.
  if (n < 1) return false;
  w.dataPoints = static_cast<std::int32_t>(std::min<std::int64_t>(n, kMaxDataPoints));
  const std::int64_t end = static_cast<std::int64_t>(w.windowStart) + w.dataPoints;
  if (end > kLastSecondOfDay) {
    w.windowEnd = kLastSecondOfDay;
    w.windowStart = std::max(0, kLastSecondOfDay - w.dataPoints);
  } else {
    w.windowEnd = static_cast<std::int32_t>(end);
  }
  return true;
}

std::int32_t gotoFieldValue(const char* text) {
  if (text == nullptr) return 0;
  return static_cast<std::int32_t>(leadingInteger(text, 32));
}

void gotoTime(ChartWindow& w, std::int32_t hour, std::int32_t minute, std::int32_t second) {
  // The edits take any number; the time is held inside the day so the window stays in the store.
  const std::int64_t raw =
      static_cast<std::int64_t>(hour) * 3600 + static_cast<std::int64_t>(minute) * 60 + second;
  const std::int32_t s =
      static_cast<std::int32_t>(std::clamp<std::int64_t>(raw, 0, kLastSecondOfDay));
  w.windowStart = s;
  w.windowEnd = s + w.dataPoints;
  if (w.windowEnd < w.latestSecond) {
    w.followLive = false;
  } else {
    if (w.latestSecond < s) {
      w.windowEnd = w.latestSecond;
      w.windowStart = w.latestSecond - w.dataPoints + 1;
    }
    w.followLive = true;
  }
  holdInsideDay(w);
}

bool stepBack(ChartWindow& w, std::int32_t d) {
  const std::int32_t e = w.windowEnd - d;
  if (e <= 0) return false;
  w.windowEnd = e;
  w.followLive = false;
  return true;
}

void stepForward(ChartWindow& w, std::int32_t d) {
  if (w.latestSecond - d <= w.windowEnd) {
    w.windowEnd = w.latestSecond;
    w.followLive = true;
    return;
  }
  w.windowEnd += d;
  if (w.windowEnd >= w.latestSecond) {
    w.windowEnd = w.latestSecond;
    w.followLive = true;
  }
}

}  // namespace kestrune
