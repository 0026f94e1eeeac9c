// Moving the shared chart window: the "Data Points" width, Goto, and the hour, minute and second
// step buttons. Each function changes only the window and says whether the charts need a redraw.
#pragma once

#include <cstdint>

#include "charts/chart_window.h"

namespace kestrune {

// The widest window is the whole day.
constexpr std::int32_t kMaxDataPoints = 86400;

// "Data Points" edit text: an empty text, or a width below 1, leaves the window as it is (false).
// Otherwise the window keeps its start and takes the new width, held inside the day.
bool applyDataPointsText(ChartWindow& window, const char* text);

// Value of an hour, minute or second edit: its leading integer, 0 for an empty text.
std::int32_t gotoFieldValue(const char* text);

// Goto: the window starts at the given time; into the past it parks, at or beyond the newest
// second it ends there and follows again. The time is held inside the day. Always redraws.
void gotoTime(ChartWindow& window, std::int32_t hour, std::int32_t minute, std::int32_t second);

// "<": the window ends d seconds earlier and parks, unless that would not be above 0 (false).
bool stepBack(ChartWindow& window, std::int32_t d);

// ">": the window ends d seconds later; reaching the newest second ends it there and follows
// again. Always redraws.
void stepForward(ChartWindow& window, std::int32_t d);

}  // namespace kestrune
