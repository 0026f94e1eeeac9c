#include "settings/color_prefs_core.h"

namespace kestrune {
namespace {

const char* const kElementNames[kElementRows] = {
    "Total - Algo Seq/Per Reporting",
    "Total - HFT Quotes/Per Listed",
    "Total - HFT Quotes/Per Reporting",
    "NQEXColor",
    "NYSEColor",
    "BOSTColor",
    "PACFColor",
    "BATSColor",
    "ISEXColor",
    "CINCColor",
    "CBOEColor",
    "CHICColor",
    "AMEXColor",
    "EDGXColor",
    "EDGEColor",
    "BATYColor",
    "PHILColor",
    "NQNMColor",
    "NSMLLColor",
};

struct ChartScheme {
  ColorRef graphAreaBk, insetsBk, graphAreaFg, insetsFg, outlineFg, gridlineFg;
};
constexpr ChartScheme kBlackScheme = {rgbColor(0, 0, 0),       rgbColor(55, 55, 55),
                                      rgbColor(255, 255, 255), rgbColor(255, 255, 255),
                                      rgbColor(200, 200, 200), rgbColor(160, 160, 160)};
constexpr ChartScheme kWhiteScheme = {rgbColor(255, 255, 255), rgbColor(200, 200, 200),
                                      rgbColor(0, 0, 0),       rgbColor(0, 0, 0),
                                      rgbColor(50, 50, 50),    rgbColor(0, 0, 0)};

void applyScheme(const ChartScheme& s, ColorPrefsValues& v) {
  v.colors.graphAreaBk = s.graphAreaBk;
  v.outlinePreviewBk = s.graphAreaBk;
  v.gridlinePreviewBk = s.graphAreaBk;
  v.colors.insetsBk = s.insetsBk;
  v.colors.graphAreaFg = s.graphAreaFg;
  v.colors.insetsFg = s.insetsFg;
  v.colors.outlineFg = s.outlineFg;
  v.colors.gridlineFg = s.gridlineFg;
}

}  // namespace

ListColors listColorsOf(const MonitorSettings& s) {
  return {s.normalBk,    s.normalFg,    s.highlightBk, s.highlightFg,
          s.symFilterBk, s.symFilterFg, s.highSymfBk,  s.highSymfFg};
}

void storeListColors(const ListColors& c, MonitorSettings& s) {
  s.normalBk = c.normalBk;
  s.normalFg = c.normalFg;
  s.highlightBk = c.highlightBk;
  s.highlightFg = c.highlightFg;
  s.symFilterBk = c.symFilterBk;
  s.symFilterFg = c.symFilterFg;
  s.highSymfBk = c.highSymfBk;
  s.highSymfFg = c.highSymfFg;
}

const char* elementName(int row) {
  return row >= 0 && row < kElementRows ? kElementNames[row] : "";
}

ColorRef& elementColor(ChartColorTable& colors, int row) {
  switch (row) {
    case 0:
      return colors.totalColorAlgo;
    case 1:
      return colors.totalColorListing;
    case 2:
      return colors.totalColorReporting;
    default:
      return colors.exchangeColor(row >= 3 && row < kElementRows ? row - 3 : 0);
  }
}

ColorPrefsEditor::ColorPrefsEditor(const MonitorSettings& settings, const ChartColorTable& colors) {
  values_.colors = colors;
  values_.outlinePreviewBk = colors.graphAreaBk;
  values_.gridlinePreviewBk = colors.graphAreaBk;
  values_.list = listColorsOf(settings);
  values_.quoteCountRawThresh = settings.quoteCountRawThresh;
  values_.quoteCountSeqThresh = settings.quoteCountSeqThresh;
  values_.highAlgoCountsThresh = settings.highAlgoCountsThresh;
  values_.lineWidth = settings.lineWidth;
}

void ColorPrefsEditor::selectElement(int row) {
  if (row >= 0 && row < kElementRows) currentElement_ = row;
}

ColorRef& ColorPrefsEditor::slot(PrefColor which) {
  ChartColorTable& c = values_.colors;
  ListColors& l = values_.list;
  switch (which) {
    case PrefColor::GraphAreaBk:
      return c.graphAreaBk;
    case PrefColor::GraphAreaFg:
      return c.graphAreaFg;
    case PrefColor::OutlineFg:
      return c.outlineFg;
    case PrefColor::GridlineFg:
      return c.gridlineFg;
    case PrefColor::InsetsBk:
      return c.insetsBk;
    case PrefColor::InsetsFg:
      return c.insetsFg;
    case PrefColor::NormalBk:
      return l.normalBk;
    case PrefColor::NormalFg:
      return l.normalFg;
    case PrefColor::HighlightBk:
      return l.highlightBk;
    case PrefColor::HighlightFg:
      return l.highlightFg;
    case PrefColor::SymFilterBk:
      return l.symFilterBk;
    case PrefColor::SymFilterFg:
      return l.symFilterFg;
    case PrefColor::HighSymfBk:
      return l.highSymfBk;
    case PrefColor::HighSymfFg:
      return l.highSymfFg;
    case PrefColor::CurrentElement:
      break;
  }
  return elementColor(c, currentElement_);
}

ColorRef ColorPrefsEditor::color(PrefColor which) const {
  return const_cast<ColorPrefsEditor*>(this)->slot(which);
}

void ColorPrefsEditor::setColor(PrefColor which, ColorRef value) {
  slot(which) = value;
  if (which == PrefColor::GraphAreaBk) {
    values_.outlinePreviewBk = value;
    values_.gridlinePreviewBk = value;
  }
}

void ColorPrefsEditor::blackScheme() { applyScheme(kBlackScheme, values_); }

void ColorPrefsEditor::whiteScheme() { applyScheme(kWhiteScheme, values_); }

void ColorPrefsEditor::resetToDefaults() {
  const ChartColorTable defaults;
  ChartColorTable& c = values_.colors;
  for (int i = 0; i < kExchangeCount; ++i) c.exchangeColor(i) = defaults.exchangeColor(i);
  c.reservedColor = defaults.reservedColor;
  c.totalColorReporting = defaults.totalColorReporting;
  c.totalColorListing = defaults.totalColorListing;
  c.totalColorAlgo = defaults.totalColorAlgo;
  blackScheme();
  const MonitorSettings fresh;
  values_.list = listColorsOf(fresh);
  values_.quoteCountRawThresh = fresh.quoteCountRawThresh;
  values_.quoteCountSeqThresh = fresh.quoteCountSeqThresh;
  values_.highAlgoCountsThresh = fresh.highAlgoCountsThresh;
  values_.lineWidth = fresh.lineWidth;
}

void ColorPrefsEditor::thresholdEdited(Threshold which, const std::string& text) {
  if (text.empty()) return;
  const int32_t value = leadingDecimal(text);
  switch (which) {
    case Threshold::QuoteCountRaw:
      values_.quoteCountRawThresh = value;
      break;
    case Threshold::QuoteCountSeq:
      values_.quoteCountSeqThresh = value;
      break;
    case Threshold::HighAlgoCounts:
      values_.highAlgoCountsThresh = value;
      break;
  }
}

int32_t ColorPrefsEditor::threshold(Threshold which) const {
  switch (which) {
    case Threshold::QuoteCountRaw:
      return values_.quoteCountRawThresh;
    case Threshold::QuoteCountSeq:
      return values_.quoteCountSeqThresh;
    case Threshold::HighAlgoCounts:
      break;
  }
  return values_.highAlgoCountsThresh;
}

void ColorPrefsEditor::lineWidthEdited(const std::string& text) {
  if (text.empty()) return;
  int32_t value = leadingDecimal(text);
  if (value < 1) value = 1;
  if (value > 5) value = 5;
  values_.lineWidth = value;
}

}  // namespace kestrune
