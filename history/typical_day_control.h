// "Show Typical Day" in each chart's context menu: off by default and remembered per chart beside
// Kestrune.cfg. While it is on, the chart's band is taken from the index across days on the
// index's own thread whenever the day shown changes, and handed to the chart when ready.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "charts/chart_series.h"

namespace kestrune {

class ChartWidget;
class ExchangeCharts;
class HistoryWorker;

class TypicalDayControl : public QObject {
  Q_OBJECT
 public:
  struct Options {
    std::string baseDir;  // the folder holding Data/ (empty: the working directory)
    QString memoryPath;   // the file the switches are remembered in
    // A chart has a new picture for its surface.
    std::function<void(ChartId)> pictureReady;
  };
  // widgets by chart index (Reporting, Listing, Algo); a null one has no menu item.
  TypicalDayControl(ExchangeCharts& charts, std::array<ChartWidget*, kChartCount> widgets,
                    Options options, QObject* parent = nullptr);
  ~TypicalDayControl() override;

  // The day the charts show changed: the Date box's text (MM/DD/YYYY); no date means the days
  // up to the newest recorded one count. The first call starts the bands that are on.
  void showDay(const QString& date);
  // Turns a chart's band on or off as its menu item does.
  void setShown(ChartId chart, bool on);
  bool shown(ChartId chart) const { return on_[static_cast<std::size_t>(chartIndex(chart))]; }

 signals:
  // A chart's band was handed over (or taken away); for tests.
  void bandChanged(ChartId chart);

 private:
  void request(ChartId chart);

  ExchangeCharts& charts_;
  Options options_;
  std::array<bool, kChartCount> on_{};
  std::array<unsigned, kChartCount> asked_{};  // answers to an older question are dropped
  int day_ = -1;                               // none yet
  std::unique_ptr<HistoryWorker> worker_;
};

}  // namespace kestrune
