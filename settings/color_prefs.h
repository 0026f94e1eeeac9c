// "Chart and List Colors / Font / Threshold Preferences": the dialog and the apply step that
// takes its working copies into the settings, the lists and the charts.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "settings/color_prefs_core.h"
#include "settings/monitor_settings.h"

class QLabel;
class QLineEdit;
class QTableWidget;

namespace kestrune {

class CColorPrefs : public QDialog {
  Q_OBJECT
 public:
  // listFont and chartFont are the settings' own font descriptions: "Select" and the reset
  // replace them at once, whatever button closes the dialog.
  CColorPrefs(const MonitorSettings& settings, const ChartColorTable& colors,
              LogFontRecord& listFont, LogFontRecord& chartFont, QWidget* parent = nullptr);

  const ColorPrefsEditor& editor() const { return editor_; }
  const ColorPrefsValues& values() const { return editor_.values(); }

  // The choosers and the question box, replaceable so the dialog can be driven without a
  // person in front of it. chooseColor and chooseFont return nothing when cancelled.
  std::function<std::optional<ColorRef>(ColorRef current)> chooseColor;
  std::function<std::optional<LogFontRecord>(const LogFontRecord& current)> chooseFont;
  std::function<bool(const QString& title, const QString& text)> askYesNo;
  // Called after the chart font was replaced, so the charts draw with it from their next redraw.
  std::function<void()> chartFontReplaced;

 private:
  void pickColor(PrefColor which);
  void pickFont(LogFontRecord& font, bool chart);
  void resetAll();
  void refreshSamples();
  void writeNumberEdits();

  ColorPrefsEditor editor_;
  LogFontRecord& listFont_;
  LogFontRecord& chartFont_;
};

// What the apply step needs from the lists and the charts; every hook may be left empty.
struct ColorPrefsHooks {
  std::function<void()> eraseLists;  // one clean repaint of the three lists
  // Give the three lists the settings' list font and their four colour pairs, each list's own
  // background and text in the NORMAL pair.
  std::function<void(const MonitorSettings&)> styleLists;
  // Recompute the highlight marks of list 0 (Raw), 1 (Seq) or 2 (Algo) on its count column.
  std::function<void(int list, int countColumn)> recolorByThreshold;
  // Runs the given steps under the chart lock.
  std::function<void(const std::function<void()>&)> underChartLock;
  std::function<void()> pointChartsAtFont;  // the chart templates take the chart font
  // Chart colours into the three templates, then the exchange names and colours and each
  // chart's TOTAL colour into its series.
  std::function<void()> applyChartColors;
  std::function<void()> redrawAllCharts;  // takes the chart lock itself; only when ready
};

// The OK steps: nothing for Cancel (the fonts already chosen stay). Returns `confirmed`.
bool applyColorPrefs(const ColorPrefsValues& result, bool confirmed, MonitorSettings& settings,
                     ChartColorTable& colors, const ColorPrefsHooks& hooks);

// The "Chart && List &Colors / Font / Thresholds" menu command: runs the dialog and applies it.
bool editColourPrefs(MonitorSettings& settings, ChartColorTable& colors,
                     const ColorPrefsHooks& hooks, QWidget* parent);

}  // namespace kestrune
