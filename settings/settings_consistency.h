// Values read from Kestrune.cfg are made consistent once, at start-up, before anything shows or
// uses them: a value the window cannot show, or would show as one thing while using another,
// becomes the value it stands for. A value inside its range is kept exactly as stored, since the
// file is shared between machines and a narrow column or a large font is the user's choice.
#pragma once

#include <array>
#include <cstdint>

#include "settings/monitor_settings.h"

namespace kestrune {

// Bounds of the values the form shows and keeps. The Data Points edit and the line width edit
// keep their values inside these themselves; Hard Max 0 (or below) means automatic scale, and
// tops above 10,000 are drawn at 10,000, so larger values only need to stay showable.
inline constexpr std::int32_t kMinDataPoints = 1;
inline constexpr std::int32_t kMaxDataPointsShown = 86400;
inline constexpr std::int32_t kMinLineWidth = 1;
inline constexpr std::int32_t kMaxLineWidth = 5;
inline constexpr double kMaxHardMax = 1e9;
inline constexpr std::int32_t kMaxFontHeight = 1000;  // pixels, either sign
inline constexpr std::int32_t kMaxFontWeight = 1000;

struct ScreenLimits {
  // Width of the Raw, Seq and Algo lists in pixels on this screen: no column is wider.
  std::array<std::int32_t, 3> listWidths{};
  // The height of the default font on this screen (8 points).
  std::int32_t defaultFontHeight = -11;
};

// Brings every value of s into its range (see the note at each rule in the source).
void makeSettingsConsistent(MonitorSettings& s, const ScreenLimits& limits);

}  // namespace kestrune
