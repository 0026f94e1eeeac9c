// The surface of one chart on the monitor view: it shows the chart's last finished picture.
#pragma once

#include <QWidget>

#include "charts/chart_series.h"

namespace kestrune {

class ExchangeCharts;

class ChartWidget : public QWidget {
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
