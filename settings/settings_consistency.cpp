#include "settings/settings_consistency.h"

#include <cmath>
#include <span>

namespace kestrune {
namespace {

constexpr std::int32_t kDefaultFontWeight = 400;

// Every switch is tested as "not zero"; a stored 2 is on, and is kept as 1 so that a box that
// flips it turns it off.
void normalizeSwitch(std::uint8_t& flag) { flag = flag != 0 ? 1 : 0; }

void normalizeFont(LogFontRecord& font, std::int32_t defaultHeight) {
  // A height no screen draws (and whose scaling to the screen could overflow) is damage: the
  // default height of this screen takes its place.
  if (font.lfHeight < -kMaxFontHeight || font.lfHeight > kMaxFontHeight) {
    font.lfHeight = defaultHeight;
  }
  if (font.lfWeight < 0 || font.lfWeight > kMaxFontWeight) font.lfWeight = kDefaultFontWeight;
}

// A negative width or one wider than the whole list is damage: the column's default.
void normalizeWidths(std::span<std::int32_t> widths, std::span<const std::int32_t> defaults,
                     std::int32_t listWidth) {
  for (std::size_t c = 0; c < widths.size(); ++c) {
    if (widths[c] < 0 || widths[c] > listWidth) widths[c] = defaults[c];
  }
}

void normalizeHardMax(double& value) {
  // NaN and negative values (-0 too) scale automatically as 0 does; the box shows only digits.
  if (std::isnan(value) || std::signbit(value)) {
    value = 0.0;
  } else if (value > kMaxHardMax) {
    value = kMaxHardMax;  // drawn at the top of 10,000 all the same
  }
}

}  // namespace

void makeSettingsConsistent(MonitorSettings& s, const ScreenLimits& limits) {
  const MonitorSettings defaults;

  // The charts never show fewer than one second or more than the day; below 1 they kept using
  // the default, above the day they used the whole day.
  if (s.dataPoints < kMinDataPoints) s.dataPoints = defaults.dataPoints;
  if (s.dataPoints > kMaxDataPointsShown) s.dataPoints = kMaxDataPointsShown;
  // The colour dialog's own rule for the line width.
  if (s.lineWidth < kMinLineWidth) s.lineWidth = kMinLineWidth;
  if (s.lineWidth > kMaxLineWidth) s.lineWidth = kMaxLineWidth;
  for (double* hardMax : {&s.hardMaxReporting, &s.hardMaxListing, &s.hardMaxAlgo}) {
    normalizeHardMax(*hardMax);
  }

  for (std::uint8_t* flag :
       {&s.smartScaleReporting, &s.smartScaleListing, &s.smartScaleAlgo, &s.colorLegendReporting,
        &s.colorLegendListing, &s.colorLegendAlgo, &s.totalOnlyReporting, &s.totalOnlyListing,
        &s.totalOnlyAlgo, &s.useSymbolFilters, &s.listEliminate, &s.playAlarm, &s.loopAlarm}) {
    normalizeSwitch(*flag);
  }
  for (auto* group : {&s.listingExchangeOn, &s.reportingExchangeOn}) {
    for (std::uint8_t& flag : *group) normalizeSwitch(flag);
  }
  for (AudioAlertSlot& slot : s.audioAlert) {
    normalizeSwitch(slot.use);
    normalizeSwitch(slot.loop);
  }

  normalizeFont(s.listFont, limits.defaultFontHeight);
  normalizeFont(s.chartFont, limits.defaultFontHeight);

  // The Raw list's sixth slot belongs to no column: it is written as 0 whatever it holds.
  normalizeWidths(std::span(s.rawColumnWidths).first(5),
                  std::span(defaults.rawColumnWidths).first(5), limits.listWidths[0]);
  normalizeWidths(s.seqColumnWidths, defaults.seqColumnWidths, limits.listWidths[1]);
  normalizeWidths(s.algoColumnWidths, defaults.algoColumnWidths, limits.listWidths[2]);
}

}  // namespace kestrune
