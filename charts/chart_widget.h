// The surface of one chart on the monitor view: it shows the chart's last finished picture in
// its client area, inside whatever frame the form gives it.
#pragma once

#include <QFrame>

#include "charts/chart_series.h"

namespace kestrune {

class ExchangeCharts;

class ChartWidget : public QFrame {
  Q_OBJECT
 public:
  ChartWidget(ExchangeCharts& charts, ChartId chart, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ExchangeCharts& charts_;
  ChartId chart_;
};

}  // namespace kestrune
