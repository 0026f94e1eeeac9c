#include "history/typical_day_control.h"

#include <QAction>
#include <QMetaObject>

#include "charts/chart_widget.h"
#include "charts/exchange_charts.h"
#include "history/history_worker.h"
#include "history/typical_day.h"
#include "settings/view_memory.h"

namespace kestrune {

namespace {

QString memoryKey(ChartId chart) {
  const char* name = chart == ChartId::Reporting ? "Reporting"
                     : chart == ChartId::Listing ? "Listing"
                                                 : "Algo";
  return QStringLiteral("TypicalDay/%1").arg(QLatin1String(name));
}

}  // namespace

TypicalDayControl::TypicalDayControl(ExchangeCharts& charts,
                                     std::array<ChartWidget*, kChartCount> widgets, Options options,
                                     QObject* parent)
    : QObject(parent), charts_(charts), options_(std::move(options)) {
  worker_ = std::make_unique<HistoryWorker>(options_.baseDir, [this](HistoryWorker::Reply reply) {
    QMetaObject::invokeMethod(this, std::move(reply), Qt::QueuedConnection);
  });
  for (int i = 0; i < kChartCount; ++i) {
    const ChartId chart = ChartId(i);
    on_[static_cast<std::size_t>(i)] = readViewFlag(options_.memoryPath, memoryKey(chart), false);
    ChartWidget* w = widgets[static_cast<std::size_t>(i)];
    if (w == nullptr) continue;
    w->typicalDayAction()->setChecked(shown(chart));
    connect(w->typicalDayAction(), &QAction::toggled, this, [this, chart](bool on) {
      writeViewFlag(options_.memoryPath, memoryKey(chart), on);
      setShown(chart, on);
    });
  }
}

TypicalDayControl::~TypicalDayControl() { worker_.reset(); }

void TypicalDayControl::showDay(const QString& date) {
  QString digits = date;
  digits.remove(QLatin1Char('/'));
  const int day = historyDayKey(digits.trimmed().toLatin1().toStdString());
  if (day == day_) return;
  day_ = day;
  for (int i = 0; i < kChartCount; ++i) {
    if (on_[static_cast<std::size_t>(i)]) request(ChartId(i));
  }
}

void TypicalDayControl::setShown(ChartId chart, bool on) {
  const auto i = static_cast<std::size_t>(chartIndex(chart));
  if (on_[i] == on) return;
  on_[i] = on;
  if (on) {
    request(chart);
    return;
  }
  ++asked_[i];
  charts_.setTypicalBand(chart, nullptr);
  if (options_.pictureReady) options_.pictureReady(chart);
  emit bandChanged(chart);
}

void TypicalDayControl::request(ChartId chart) {
  const auto i = static_cast<std::size_t>(chartIndex(chart));
  const unsigned asked = ++asked_[i];
  worker_->post([this, chart, asked, day = day_,
                 dir = options_.baseDir](HistoryIndex& index) -> HistoryWorker::Reply {
    // The index follows the day files first, so the band covers every day recorded by now.
    HistoryUpdateReport report;
    std::string error;
    HistoryWorker::openAndUpdate(index, dir, report, error);
    auto band = std::make_shared<const TypicalBand>(typicalDayBand(index, day, chart));
    return [this, chart, asked, band = std::move(band)] {
      const auto c = static_cast<std::size_t>(chartIndex(chart));
      if (asked != asked_[c] || !on_[c]) return;
      charts_.setTypicalBand(chart, band);
      if (options_.pictureReady) options_.pictureReady(chart);
      emit bandChanged(chart);
    };
  });
}

}  // namespace kestrune
