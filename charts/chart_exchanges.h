#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>

namespace kestrune {

class ExchangeCharts;
struct MonitorSettings;

// One switch per exchange, in exchange-table order: 1 draws that exchange's line.
using ExchangeSwitches = std::array<uint8_t, 16>;

// One check box of the "Charting Exchanges" dialog.
struct ChartExchangeBox {
  int index;       // exchange index 0..15
  bool reporting;  // false: Listing chart switch; true: Reporting and Algo chart switch
  int id;          // control id, also the box's objectName
  const char* caption;
  int x, y;  // dialog units
};

// The 32 boxes, the 16 listing ones first, each group in exchange order.
const std::array<ChartExchangeBox, 32>& chartExchangeBoxes();

// "Charting Exchanges": which exchanges the Listing chart and the two reporting charts draw.
class CChartExchanges : public QDialog {
  Q_OBJECT
 public:
  CChartExchanges(const ExchangeSwitches& listingExchangeOn,
                  const ExchangeSwitches& reportingExchangeOn, QWidget* parent = nullptr);

  const ExchangeSwitches& listingExchangeOn() const { return listing_; }
  const ExchangeSwitches& reportingExchangeOn() const { return reporting_; }

 private:
  ExchangeSwitches listing_;
  ExchangeSwitches reporting_;
};

// The apply step: OK copies both arrays back; OK and Cancel alike redraw all charts.
void applyChartExchanges(const CChartExchanges& dialog, bool confirmed,
                         ExchangeSwitches& listingExchangeOn, ExchangeSwitches& reportingExchangeOn,
                         const std::function<void()>& redrawAllCharts);

// The "Chart &Exchanges" menu command: runs the dialog and applies it. True on OK.
bool chooseChartExchanges(ExchangeSwitches& listingExchangeOn,
                          ExchangeSwitches& reportingExchangeOn,
                          const std::function<void()>& redrawAllCharts, QWidget* parent);
// The same over the settings' two switch arrays and the monitor's three charts.
bool chooseChartExchanges(MonitorSettings& settings, ExchangeCharts& charts, QWidget* parent);

}  // namespace kestrune
