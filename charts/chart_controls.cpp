#include "charts/chart_controls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <optional>

#include "charts/chart_navigation.h"
#include "charts/exchange_charts.h"

namespace kestrune {
namespace {

enum class SwitchKind { SmartScale, ColorLegend, TotalOnly };

struct SwitchControl {
  ChartId chart;
  SwitchKind kind;
};

std::optional<SwitchControl> switchControlOf(int id) {
  for (int i = 0; i < kChartCount; ++i) {
    const ChartControlIds& ids = kChartControlIds[i];
    if (id == ids.smartScale) return SwitchControl{ChartId(i), SwitchKind::SmartScale};
    if (id == ids.colorLegend) return SwitchControl{ChartId(i), SwitchKind::ColorLegend};
    if (id == ids.totalOnly) return SwitchControl{ChartId(i), SwitchKind::TotalOnly};
  }
  return std::nullopt;
}

std::uint8_t& switchValue(ExchangeCharts& charts, SwitchControl s) {
  switch (s.kind) {
    case SwitchKind::SmartScale:
      return charts.smartScale(s.chart);
    case SwitchKind::ColorLegend:
      return charts.colorLegend(s.chart);
    case SwitchKind::TotalOnly:
      break;
  }
  return charts.totalOnly(s.chart);
}

// The order the start-up ticks the boxes in: smart scale, legend, total only.
constexpr int kTickOrder[] = {1100, 1101, 1102, 1103, 1104, 1105, 1107, 1106, 1108};

}  // namespace

ChartControls::ChartControls(ExchangeCharts& charts, ControlLookup control,
                             PictureReady pictureReady)
    : charts_(charts), control_(std::move(control)), pictureReady_(std::move(pictureReady)) {}

void ChartControls::showStoredValues() {
  for (int id : kTickOrder) {
    const std::optional<SwitchControl> s = switchControlOf(id);
    if (!s || switchValue(charts_, *s) == 0) continue;
    if (auto* box = qobject_cast<QCheckBox*>(control_(id))) box->setChecked(true);
  }
  for (int i = 0; i < kChartCount; ++i) {
    if (auto* edit = qobject_cast<QLineEdit*>(control_(kChartControlIds[i].hardMaxEdit))) {
      edit->setText(QString::asprintf("%0.0f", charts_.hardMax(ChartId(i))));
    }
  }
  if (auto* edit = qobject_cast<QLineEdit*>(control_(kDataPointsEditId))) {
    edit->setText(QString::asprintf("%d", charts_.settings().dataPoints));
  }
}

bool ChartControls::switchClicked(int id, bool checked) {
  const std::optional<SwitchControl> s = switchControlOf(id);
  if (!s) return false;
  // The handlers toggle the switch: only a box that no longer shows it calls one.
  if ((switchValue(charts_, *s) != 0) != checked) {
    switch (s->kind) {
      case SwitchKind::SmartScale:
        charts_.onSmartScaleClicked(s->chart);
        break;
      case SwitchKind::ColorLegend:
        charts_.onColorLegendClicked(s->chart);
        break;
      case SwitchKind::TotalOnly:
        charts_.onTotalOnlyClicked(s->chart);
        break;
    }
    pictureReady_(s->chart);
  }
  updateHardMaxEnables();
  return true;
}

bool ChartControls::editChanged(int id, const QString& text) {
  if (id == kDataPointsEditId) {
    dataPointsEdited(text);
    return true;
  }
  for (int i = 0; i < kChartCount; ++i) {
    if (id != kChartControlIds[i].hardMaxEdit) continue;
    hardMaxEdited(ChartId(i), text);
    return true;
  }
  return false;
}

void ChartControls::hardMaxEdited(ChartId chart, const QString& text) {
  // An emptied box keeps the value; otherwise the chart takes it and is drawn again.
  charts_.onHardMaxEdited(chart, text.toLatin1().constData());
  pictureReady_(chart);
}

void ChartControls::dataPointsEdited(const QString& text) {
  const QByteArray typed = text.toLatin1();
  const bool applied = charts_.editWindow([&](ChartWindow& w) {
    if (!applyDataPointsText(w, typed.constData())) return false;
    charts_.settings().dataPoints = w.dataPoints;
    return true;
  });
  if (!applied) return;
  charts_.redrawAllCharts();
  for (int i = 0; i < kChartCount; ++i) pictureReady_(ChartId(i));
}

void ChartControls::updateHardMaxEnables() {
  // Algo, Listing, Reporting, as the start-up walks them.
  for (int i = kChartCount - 1; i >= 0; --i) {
    const bool editable = charts_.smartScale(ChartId(i)) == 0;
    for (int id : {kChartControlIds[i].hardMaxCaption, kChartControlIds[i].hardMaxEdit}) {
      if (QWidget* w = control_(id)) w->setEnabled(editable);
    }
  }
}

}  // namespace kestrune
