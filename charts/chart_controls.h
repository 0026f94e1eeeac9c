// The form's chart controls: each chart's "Hard Max:" caption and edit, its Smart Scale, Color
// Legend and Total Only switches, and the Data Points edit the three charts share. The form
// builds the widgets; this keeps them, the settings record and the charts in step.
#pragma once

#include <QString>
#include <functional>

#include "charts/chart_series.h"

class QWidget;

namespace kestrune {

class ExchangeCharts;

// Form ids of one chart's controls.
struct ChartControlIds {
  int hardMaxCaption;
  int hardMaxEdit;
  int smartScale;
  int colorLegend;
  int totalOnly;
};

// By chart: Reporting, Listing, Algo.
inline constexpr ChartControlIds kChartControlIds[kChartCount] = {
    {1036, 1042, 1100, 1104, 1107},
    {1035, 1043, 1101, 1103, 1106},
    {1034, 1046, 1102, 1105, 1108},
};
inline constexpr int kDataPointsEditId = 1052;

class ChartControls {
 public:
  // Finds a form control by id (null when absent).
  using ControlLookup = std::function<QWidget*(int id)>;
  // Tells the form that a chart has a new picture to show.
  using PictureReady = std::function<void(ChartId chart)>;

  ChartControls(ExchangeCharts& charts, ControlLookup control, PictureReady pictureReady);

  // Start-up: ticks the switches that are on (the others stay as the form made them), then
  // writes the hard maxima and the data-point count into their edits. The edits' change
  // handlers read them back, so a stored fraction is dropped as the box shows none.
  void showStoredValues();
  // A check box was clicked; false when it is not one of the nine switches.
  bool switchClicked(int id, bool checked);
  // An edit changed; false when it is neither a Hard Max edit nor Data Points.
  bool editChanged(int id, const QString& text);
  // A chart's "Hard Max:" caption and edit are enabled only while its smart scale is off.
  void updateHardMaxEnables();

 private:
  void hardMaxEdited(ChartId chart, const QString& text);
  void dataPointsEdited(const QString& text);

  ExchangeCharts& charts_;
  ControlLookup control_;
  PictureReady pictureReady_;
};

}  // namespace kestrune
