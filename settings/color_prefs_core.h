// The colour, font and threshold preferences without any widget: the working copies, the
// element list, the two schemes, the reset and the edit rules.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/monitor_settings.h"

namespace kestrune {

// The eight list colours, the same four pairs every list control paints its rows with.
struct ListColors {
  ColorRef normalBk, normalFg;
  ColorRef highlightBk, highlightFg;
  ColorRef symFilterBk, symFilterFg;
  ColorRef highSymfBk, highSymfFg;
};

ListColors listColorsOf(const MonitorSettings& settings);
void storeListColors(const ListColors& colors, MonitorSettings& settings);

// Every colour a "Bk", "Fg" or "Choose" button edits.
enum class PrefColor {
  GraphAreaBk,
  GraphAreaFg,
  OutlineFg,
  GridlineFg,
  InsetsBk,
  InsetsFg,
  NormalBk,
  NormalFg,
  HighlightBk,
  HighlightFg,
  SymFilterBk,
  SymFilterFg,
  HighSymfBk,
  HighSymfFg,
  CurrentElement,  // the element chosen in the element list
};

inline constexpr int kElementRows = 19;

// Text of element list row 0..18: the three TOTAL colours, then the 16 exchange colours.
const char* elementName(int row);
// The colour that element row 0..18 names; rows out of range give row 3 (NQEXColor).
ColorRef& elementColor(ChartColorTable& colors, int row);

enum class Threshold { QuoteCountRaw, QuoteCountSeq, HighAlgoCounts };

// The dialog's working copies. The chart, exchange, TOTAL and reserved colours travel in
// `colors`; `chartAuxFg` and `chartDotLineColor` ride along untouched.
struct ColorPrefsValues {
  ChartColorTable colors;
  ColorRef outlinePreviewBk = 0;   // OUTLINE sample background, follows graphAreaBk
  ColorRef gridlinePreviewBk = 0;  // GRIDLINE sample background, follows graphAreaBk
  ListColors list{};
  int32_t quoteCountRawThresh = 0;
  int32_t quoteCountSeqThresh = 0;
  int32_t highAlgoCountsThresh = 0;
  int32_t lineWidth = 1;
};

class ColorPrefsEditor {
 public:
  ColorPrefsEditor(const MonitorSettings& settings, const ChartColorTable& colors);

  const ColorPrefsValues& values() const { return values_; }
  void selectElement(int row);  // rows outside 0..18 are ignored

  ColorRef color(PrefColor which) const;
  // Stores a chosen colour; graphAreaBk also sets the OUTLINE and GRIDLINE sample backgrounds.
  void setColor(PrefColor which, ColorRef value);

  void blackScheme();
  void whiteScheme();
  // Every colour, threshold and the line width back to the built-in defaults (the fonts
  // are the dialog's part of the reset).
  void resetToDefaults();

  // Digit edits: an empty text keeps the last value; otherwise its leading digits count.
  void thresholdEdited(Threshold which, const std::string& text);
  // As above, then kept within 1..5; the edit's own text is left as typed.
  void lineWidthEdited(const std::string& text);
  int32_t threshold(Threshold which) const;

 private:
  ColorRef& slot(PrefColor which);

  ColorPrefsValues values_;
  int currentElement_ = 3;  // NQEXColor
};

}  // namespace kestrune
