// The chart window shared by the three charts: which seconds of the day they show.
#pragma once

#include <cstdint>

namespace kestrune {

struct ChartWindow {
  std::int32_t dataPoints = 300;  // width of the window in seconds ("Data Points")
  std::int32_t windowStart = 0;   // first second as last set by intake or Goto
  std::int32_t windowEnd =
      300;                 // last second; drawings show windowEnd - dataPoints + 1 .. windowEnd
  bool followLive = true;  // live samples move the window to end at them
  bool resetWindowOnNextSample = true;  // the next live sample places the window afresh
  std::int32_t latestSecond = 0;        // newest second known; limit of forward steps and Goto
};

}  // namespace kestrune
