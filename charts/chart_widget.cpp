#include "charts/chart_widget.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIODevice>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cstring>
#include <memory>
#include <mutex>

#include "charts/chart_lock.h"
#include "charts/exchange_charts.h"

namespace kestrune {

namespace {

QColor colorOf(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QString countText(double v) { return QString::number(v, 'f', 0); }

QString seriesName(const ChartSeries& s) {
  return QString::fromLatin1(s.name, static_cast<qsizetype>(strnlen(s.name, sizeof s.name)));
}

constexpr int kTipMargin = 4;       // inside the tip's border
constexpr int kTipColumnGap = 12;   // between a name and its value
constexpr int kTipPointerGap = 16;  // between the pointer and the tip

}  // namespace

ChartReadoutTip::ChartReadoutTip(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_WindowPropagation);  // the chart's font
  setObjectName(QStringLiteral("chartReadoutTip"));
}

void ChartReadoutTip::showReadout(QPoint globalPos, const QString& time, std::vector<Row> rows,
                                  const QColor& background, const QColor& textColor) {
  time_ = time;
  rows_ = std::move(rows);
  background_ = background;
  textColor_ = textColor;
  const QFontMetrics fm(font());
  int nameWidth = fm.horizontalAdvance(time_);
  int valueWidth = 0;
  for (const Row& r : rows_) {
    nameWidth = std::max(nameWidth, fm.horizontalAdvance(r.name));
    valueWidth = std::max(valueWidth, fm.horizontalAdvance(r.value));
  }
  const QSize size(2 * kTipMargin + nameWidth + kTipColumnGap + valueWidth,
                   2 * kTipMargin + fm.height() * static_cast<int>(rows_.size() + 1));
  // Below right of the pointer, or on its other side where the screen ends.
  QPoint at = globalPos + QPoint(kTipPointerGap, kTipPointerGap);
  if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
    const QRect room = screen->availableGeometry();
    if (at.x() + size.width() > room.right())
      at.rx() = globalPos.x() - kTipPointerGap - size.width();
    if (at.y() + size.height() > room.bottom()) at.ry() = room.bottom() - size.height();
    at.ry() = std::max(at.y(), room.top());
  }
  setGeometry(QRect(at, size));
  update();
  if (!isVisible()) show();
}

QStringList ChartReadoutTip::lines() const {
  QStringList out{time_};
  for (const Row& r : rows_) out << r.name + QLatin1Char(' ') + r.value;
  return out;
}

void ChartReadoutTip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), background_);
  p.setPen(textColor_);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const QFontMetrics fm(font());
  const int right = width() - kTipMargin;
  int y = kTipMargin + fm.ascent();
  p.drawText(kTipMargin, y, time_);
  for (const Row& r : rows_) {
    y += fm.height();
    p.setPen(r.color);
    p.drawText(kTipMargin, y, r.name);
    p.drawText(right - fm.horizontalAdvance(r.value), y, r.value);
  }
}

ChartWidget::ChartWidget(ExchangeCharts& charts, ChartId chart, QWidget* parent)
    : QFrame(parent), charts_(charts), chart_(chart) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  tip_ = new ChartReadoutTip(this);
  showMessage = warningBox(this);
  copyAction_ = new QAction(QStringLiteral("Copy Chart"), this);
  savePngAction_ = new QAction(QStringLiteral("Save Chart as PNG..."), this);
  exportCsvAction_ = new QAction(QStringLiteral("Export Chart Window as CSV..."), this);
  typicalDayAction_ = new QAction(QStringLiteral("Show Typical Day"), this);
  typicalDayAction_->setCheckable(true);
  connect(copyAction_, &QAction::triggered, this, &ChartWidget::copyChart);
  connect(savePngAction_, &QAction::triggered, this, [this] { saveChartAsPng(); });
  connect(exportCsvAction_, &QAction::triggered, this, [this] { exportWindowCsv(); });
}

void ChartWidget::paintEvent(QPaintEvent*) {
  // Copied under the chart lock (a cheap shared copy), painted after it is released.
  const QImage picture = charts_.finishedPicture(chart_);
  QPainter p(this);
  p.drawImage(contentsRect().topLeft(), picture);
  if (marked_) {
    const RyxChartTemplate& t = charts_.chart(chart_);
    p.setPen(colorOf(t.colors.chartDotLineColor));
    p.drawLine(*marked_, markTop_, *marked_, markBottom_);
  }
  drawFrame(&p);
  // A new picture may show other seconds under a pointer that has not moved.
  if (picture.cacheKey() != shownPicture_) {
    shownPicture_ = picture.cacheKey();
    if (pointerOver_) {
      QTimer::singleShot(0, this, [this] {
        if (pointerOver_) showReadoutAt(pointer_);
      });
    }
  }
}

std::optional<ChartWidget::Hit> ChartWidget::hitAt(QPoint pos) const {
  // The picture lies inside the frame.
  const QPoint origin = contentsRect().topLeft();
  pos -= origin;
  std::lock_guard<std::mutex> lock(chartLock());
  const RyxChartTemplate& t = charts_.chart(chart_);
  const ChartTimeAxis axis =
      chartTimeAxis(t.areas[kPlotArea], t.firstIndex, t.lastIndex, t.pixelsPerPoint);
  const std::optional<std::int32_t> second = secondAtPixel(axis, pos.x(), pos.y());
  if (!second) return std::nullopt;
  Hit hit;
  hit.readout = chartReadoutAt(t.series, *second, charts_.exchangeOn(chart_),
                               charts_.totalOnly(chart_) != 0, &t.coverage);
  hit.column = origin.x() + pixelOfSecond(axis, *second);
  // Inside the plot's frame, as the grid lines are.
  if (const TypicalBand* band = charts_.typicalBand(chart_)) {
    hit.typical = typicalReadoutText(*band, *second);
    hit.typicalDays = band->days;
  }
  hit.top = origin.y() + axis.top + 1;
  hit.bottom = origin.y() + axis.bottom - 1;
  return hit;
}

std::optional<ChartReadout> ChartWidget::readoutAt(QPoint pos) const {
  const std::optional<Hit> hit = hitAt(pos);
  if (!hit) return std::nullopt;
  return hit->readout;
}

void ChartWidget::setMark(std::optional<int> column, int top, int bottom) {
  if (column == marked_ && top == markTop_ && bottom == markBottom_) return;
  // Only the old and the new line are painted again.
  if (marked_) update(QRect(*marked_, markTop_, 1, markBottom_ - markTop_ + 1));
  marked_ = column;
  markTop_ = top;
  markBottom_ = bottom;
  if (marked_) update(QRect(*marked_, markTop_, 1, markBottom_ - markTop_ + 1));
}

void ChartWidget::showReadoutAt(QPoint pos) {
  const std::optional<Hit> hit = hitAt(pos);
  if (!hit) {
    hideReadout();
    return;
  }
  setMark(hit->column, hit->top, hit->bottom);
  // The names and values in their legend colours on the legend's background, as the chart shows
  // them; TOTAL last.
  const RyxChartTemplate& t = charts_.chart(chart_);
  const ChartReadout& r = hit->readout;
  std::vector<ChartReadoutTip::Row> rows;
  rows.reserve(static_cast<std::size_t>(r.exchangeCount) + 3);
  // The typical day under TOTAL, and how many days it was taken over.
  auto addTypical = [&] {
    if (hit->typicalDays == 0) return;
    const QColor c = colorOf(t.series[kTotalSeries].color);
    rows.push_back(
        {QStringLiteral("typical"),
         hit->typical.empty() ? QStringLiteral("none") : QString::fromStdString(hit->typical), c});
    rows.push_back({QStringLiteral("typical of"),
                    hit->typicalDays == 1 ? QStringLiteral("1 day")
                                          : QStringLiteral("%1 days").arg(hit->typicalDays),
                    c});
  };
  if (r.noData) {
    rows.push_back({QStringLiteral("no data"), QString(), colorOf(t.colors.insetsFg)});
    addTypical();
    tip_->showReadout(mapToGlobal(pos), QString::fromStdString(timeOfDayText(r.second)),
                      std::move(rows), colorOf(t.colors.graphAreaBk), colorOf(t.colors.insetsFg));
    return;
  }
  for (int k = 0; k < r.exchangeCount; ++k) {
    const ChartSeries& s = t.series[r.exchanges[k].series];
    rows.push_back({seriesName(s), countText(r.exchanges[k].value), colorOf(s.color)});
  }
  const ChartSeries& total = t.series[kTotalSeries];
  rows.push_back({seriesName(total), countText(r.total), colorOf(total.color)});
  addTypical();
  tip_->showReadout(mapToGlobal(pos), QString::fromStdString(timeOfDayText(r.second)),
                    std::move(rows), colorOf(t.colors.graphAreaBk), colorOf(t.colors.insetsFg));
}

void ChartWidget::hideReadout() {
  setMark(std::nullopt, 0, 0);
  tip_->hide();
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event) {
  pointer_ = event->position().toPoint();
  pointerOver_ = true;
  showReadoutAt(pointer_);
}

void ChartWidget::leaveEvent(QEvent*) {
  pointerOver_ = false;
  hideReadout();
}

void ChartWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  const std::optional<ChartReadout> readout = readoutAt(event->position().toPoint());
  if (!readout) return;
  charts_.editWindow([&](ChartWindow& w) { centreWindowOn(w, readout->second); });
  charts_.redrawAllCharts();
  emit chartWindowMoved();
}

void ChartWidget::contextMenuEvent(QContextMenuEvent* event) {
  hideReadout();
  QMenu menu(this);
  menu.addAction(copyAction_);
  menu.addAction(savePngAction_);
  menu.addAction(exportCsvAction_);
  menu.addSeparator();
  menu.addAction(typicalDayAction_);
  menu.exec(event->globalPos());
}

QString ChartWidget::suggestedName(const char* extension) const {
  const char* name = chart_ == ChartId::Reporting ? "ReportingChart"
                     : chart_ == ChartId::Listing ? "ListingChart"
                                                  : "AlgoChart";
  return QStringLiteral("%1.%2").arg(QLatin1String(name), QLatin1String(extension));
}

void ChartWidget::copyChart() {
  QGuiApplication::clipboard()->setImage(charts_.finishedPicture(chart_));
}

SaveOutcome ChartWidget::saveChartAsPng() {
  const QString title = QStringLiteral("Save Chart as PNG");
  const QString path =
      chooseFile(this, title, suggestedName("png"), QStringLiteral("PNG images (*.png)"));
  if (path.isEmpty()) return SaveOutcome::Cancelled;
  const QImage picture = charts_.finishedPicture(chart_);
  return saveFileTelling(
      path, title,
      [&picture](QIODevice& out) {
        return picture.save(&out, "PNG") ? SaveOutcome::Saved : SaveOutcome::Failed;
      },
      showMessage);
}

SaveOutcome ChartWidget::exportWindowCsv() {
  const QString title = QStringLiteral("Export Chart Window as CSV");
  const QString path = chooseFile(this, title, suggestedName("csv"),
                                  QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return SaveOutcome::Cancelled;
  // The seconds the picture shows. The values are copied under the chart lock (live samples
  // write them under it) and turned into text after it is released.
  auto values = std::make_unique<ChartSeriesSet>();
  std::int32_t first = 0, last = -1;
  {
    std::lock_guard<std::mutex> lock(chartLock());
    const RyxChartTemplate& t = charts_.chart(chart_);
    *values = t.series;
    first = t.firstIndex;
    last = t.lastIndex;
  }
  const std::string csv = chartWindowCsv(*values, first, last);
  return saveFileTelling(
      path, title,
      [&csv](QIODevice& out) {
        const auto size = static_cast<qint64>(csv.size());
        return out.write(csv.data(), size) == size ? SaveOutcome::Saved : SaveOutcome::Failed;
      },
      showMessage);
}

}  // namespace kestrune
