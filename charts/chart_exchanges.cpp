#include "charts/chart_exchanges.h"

#include <QCheckBox>

#include "charts/exchange_charts.h"
#include "forms/dialog_layout.h"
#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

constexpr int kColumnX[4] = {7, 54, 101, 141};
constexpr int kListingRowY[4] = {17, 27, 37, 47};
constexpr int kReportingRowY[4] = {74, 84, 94, 104};
constexpr int kListingIds[16] = {1054, 1055, 1056, 1057, 1058, 1059, 1060, 1061,
                                 1062, 1063, 1064, 1065, 1066, 1067, 1069, 1084};
constexpr int kReportingIds[16] = {1068, 1070, 1071, 1072, 1073, 1074, 1075, 1076,
                                   1077, 1078, 1079, 1080, 1081, 1082, 1083, 1085};
const char* const kListingCaptions[16] = {"NQEX", "NYSE", "BOST", "PACF", "BATS", "ISEX",
                                          "CINC", "CBOE", "CHIC", "AMEX", "EDGX", "EDGE",
                                          "BATY", "PHIL", "NQNM", "NSMLL"};
// The reporting group names exchange 0 "NEQX"; it still switches the series whose legend
// reads "NQEX".
const char* const kReportingCaptions[16] = {"NEQX", "NYSE", "BOST", "PACF", "BATS", "ISEX",
                                            "CINC", "CBOE", "CHIC", "AMEX", "EDGX", "EDGE",
                                            "BATY", "PHIL", "NQNM", "NSMLL"};

std::array<ChartExchangeBox, 32> makeBoxes() {
  std::array<ChartExchangeBox, 32> boxes{};
  for (int i = 0; i < 16; ++i) {
    // Four boxes down each column, four columns across.
    const int column = i / 4;
    const int row = i % 4;
    boxes[i] = {i, false, kListingIds[i], kListingCaptions[i], kColumnX[column], kListingRowY[row]};
    boxes[16 + i] = {
        i, true, kReportingIds[i], kReportingCaptions[i], kColumnX[column], kReportingRowY[row]};
  }
  return boxes;
}

const ControlRow kFixedRows[] = {
    {0, ControlKind::Label, "Listing Exchanges:", 7, 7, 80, 8, kNoFlags},
    {0, ControlKind::Label, "Reporting Exchanges:", 9, 65, 80, 8, kNoFlags},
    {1, ControlKind::Button, "OK", 44, 129, 50, 14, kDefault},
    {2, ControlKind::Button, "Cancel", 96, 129, 50, 14, kNoFlags},
};

}  // namespace

const std::array<ChartExchangeBox, 32>& chartExchangeBoxes() {
  static const std::array<ChartExchangeBox, 32> boxes = makeBoxes();
  return boxes;
}

CChartExchanges::CChartExchanges(const ExchangeSwitches& listingExchangeOn,
                                 const ExchangeSwitches& reportingExchangeOn, QWidget* parent)
    : QDialog(parent), listing_(listingExchangeOn), reporting_(reportingExchangeOn) {
  setWindowTitle(QStringLiteral("Charting Exchanges"));
  const double scale = setUpDialog(this, 192, 150, kFixedRows);
  for (const ChartExchangeBox& box : chartExchangeBoxes()) {
    const ControlRow row{box.id,  ControlKind::CheckBox, box.caption, box.x, box.y, 40, 10,
                         kNoFlags};
    auto* check = static_cast<QCheckBox*>(buildControl(this, row, scale));
    ExchangeSwitches& group = box.reporting ? reporting_ : listing_;
    const int index = box.index;
    check->setChecked(group[index] != 0);
    connect(check, &QCheckBox::clicked, this, [&group, index] { group[index] ^= 1; });
  }
  connectOkCancel(this);
}

void applyChartExchanges(const CChartExchanges& dialog, bool confirmed,
                         ExchangeSwitches& listingExchangeOn, ExchangeSwitches& reportingExchangeOn,
                         const std::function<void()>& redrawAllCharts) {
  if (confirmed) {
    listingExchangeOn = dialog.listingExchangeOn();
    reportingExchangeOn = dialog.reportingExchangeOn();
  }
  if (redrawAllCharts) redrawAllCharts();
}

bool chooseChartExchanges(ExchangeSwitches& listingExchangeOn,
                          ExchangeSwitches& reportingExchangeOn,
                          const std::function<void()>& redrawAllCharts, QWidget* parent) {
  CChartExchanges dialog(listingExchangeOn, reportingExchangeOn, parent);
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  applyChartExchanges(dialog, confirmed, listingExchangeOn, reportingExchangeOn, redrawAllCharts);
  return confirmed;
}

bool chooseChartExchanges(MonitorSettings& settings, ExchangeCharts& charts, QWidget* parent) {
  return chooseChartExchanges(
      settings.listingExchangeOn, settings.reportingExchangeOn,
      [&charts] { charts.redrawAllCharts(); }, parent);
}

}  // namespace kestrune
