// The surface of one chart on the monitor view: it shows the chart's last finished picture in
// its client area, inside whatever frame the form gives it.
//
// Over the data, a tooltip that follows the pointer reads the second under it and the values
// drawn there, and a thin vertical line marks that second (on the surface only, never in the
// picture). A double-click moves the window the three charts share so that the second lies in
// its middle, as Goto with that time does. The context menu copies the picture, saves it as PNG
// or exports the seconds of the window as CSV.
#pragma once

#include <QColor>
#include <QFrame>
#include <QPoint>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "charts/chart_readout.h"
#include "charts/chart_series.h"
#include "forms/save_file.h"

class QAction;

namespace kestrune {

class ExchangeCharts;

// The readout's tip: a small window beside the pointer listing the time, then each value with its
// name in its legend colour, on the legend's background. Painted directly, so it keeps up with
// every pointer move even over a full day.
class ChartReadoutTip : public QWidget {
  Q_OBJECT
 public:
  struct Row {
    QString name;
    QString value;
    QColor color;
  };
  explicit ChartReadoutTip(QWidget* owner);

  // Shows the rows next to the pointer at globalPos, kept on its screen.
  void showReadout(QPoint globalPos, const QString& time, std::vector<Row> rows,
                   const QColor& background, const QColor& textColor);
  // What the tip shows, one line per row ("NYSE 17"), the time first.
  QStringList lines() const;
  const std::vector<Row>& rows() const { return rows_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString time_;
  std::vector<Row> rows_;
  QColor background_, textColor_;
};

class ChartWidget : public QFrame {
  Q_OBJECT
 public:
  ChartWidget(ExchangeCharts& charts, ChartId chart, QWidget* parent = nullptr);

  // What the last picture shows under a point of the surface (widget coordinates, the frame
  // included); none off the data.
  std::optional<ChartReadout> readoutAt(QPoint pos) const;
  // The tip that follows the pointer over the data (hidden while it is off the data).
  const ChartReadoutTip* readoutTip() const { return tip_; }
  // The widget's pixel column marked for the pointer; none while the pointer is off the data.
  std::optional<int> markedColumn() const { return marked_; }

  // The context menu's actions, in menu order.
  QAction* copyAction() const { return copyAction_; }
  QAction* savePngAction() const { return savePngAction_; }
  QAction* exportCsvAction() const { return exportCsvAction_; }
  // "Show Typical Day", checkable; what it does is wired by the owner (toggled).
  QAction* typicalDayAction() const { return typicalDayAction_; }

  void copyChart();
  SaveOutcome saveChartAsPng();
  SaveOutcome exportWindowCsv();

  // The file chooser and the message box, replaceable so the chart can be driven by a test.
  SaveFileChooser chooseFile = chooseSaveFile;
  MessageSink showMessage;

 signals:
  // A double-click moved the shared window; all three charts have been drawn again.
  void chartWindowMoved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  struct Hit {
    ChartReadout readout;
    int column = 0;
    int top = 0, bottom = 0;
    std::string typical;  // the typical day's readout there, when the band is shown
    int typicalDays = 0;
  };
  std::optional<Hit> hitAt(QPoint pos) const;
  void showReadoutAt(QPoint pos);
  void hideReadout();
  void setMark(std::optional<int> column, int top, int bottom);
  QString suggestedName(const char* extension) const;

  ExchangeCharts& charts_;
  ChartId chart_;
  ChartReadoutTip* tip_ = nullptr;
  std::optional<int> marked_;
  int markTop_ = 0, markBottom_ = 0;
  QPoint pointer_;
  bool pointerOver_ = false;
  qint64 shownPicture_ = 0;  // cache key of the picture last painted
  QAction* copyAction_ = nullptr;
  QAction* savePngAction_ = nullptr;
  QAction* exportCsvAction_ = nullptr;
  QAction* typicalDayAction_ = nullptr;
};

}  // namespace kestrune
