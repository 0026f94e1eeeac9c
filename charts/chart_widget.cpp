#include "charts/chart_widget.h"

#include <QPainter>

#include "charts/exchange_charts.h"

namespace kestrune {

ChartWidget::ChartWidget(ExchangeCharts& charts, ChartId chart, QWidget* parent)
    : QFrame(parent), charts_(charts), chart_(chart) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartWidget::paintEvent(QPaintEvent*) {
  // Copied under the chart lock (a cheap shared copy), painted after it is released.
  const QImage picture = charts_.finishedPicture(chart_);
  QPainter p(this);
  p.drawImage(contentsRect().topLeft(), picture);
  drawFrame(&p);
}

}  // namespace kestrune
