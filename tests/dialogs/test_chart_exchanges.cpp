// "Charting Exchanges": the 32 boxes, OK copying both switch arrays back, and the charts
// redrawn whichever button closes the dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <set>

#include "charts/chart_exchanges.h"
#include "forms/dialog_layout.h"

namespace kestrune {
namespace {

ExchangeSwitches allOn() {
  ExchangeSwitches s;
  s.fill(1);
  return s;
}

QCheckBox* box(const QWidget* dialog, int id) { return findControlAs<QCheckBox>(dialog, id); }

void press(const QWidget* dialog, int id) { findControlAs<QPushButton>(dialog, id)->click(); }

TEST(ChartExchangesDialog, BoxesCarryTheirCaptionsIdsAndColumns) {
  CChartExchanges dialog(allOn(), allOn());
  EXPECT_EQ(dialog.windowTitle(), "Charting Exchanges");
  std::set<int> ids;
  for (const ChartExchangeBox& b : chartExchangeBoxes()) {
    QCheckBox* check = box(&dialog, b.id);
    ASSERT_NE(check, nullptr) << b.id;
    EXPECT_EQ(check->text(), QString::fromLatin1(b.caption));
    EXPECT_TRUE(check->isChecked());
    ids.insert(b.id);
  }
  EXPECT_EQ(ids.size(), 32u);
  // The reporting group calls exchange 0 "NEQX"; the listing group "NQEX".
  EXPECT_EQ(box(&dialog, 1054)->text(), "NQEX");
  EXPECT_EQ(box(&dialog, 1068)->text(), "NEQX");
  EXPECT_EQ(box(&dialog, 1084)->text(), "NSMLL");
  EXPECT_EQ(box(&dialog, 1085)->text(), "NSMLL");
  // Four down each column: BATS (index 4) heads the second column, level with NQEX.
  EXPECT_EQ(box(&dialog, 1058)->y(), box(&dialog, 1054)->y());
  EXPECT_GT(box(&dialog, 1058)->x(), box(&dialog, 1054)->x());
  EXPECT_GT(box(&dialog, 1055)->y(), box(&dialog, 1054)->y());
  EXPECT_GT(box(&dialog, 1068)->y(), box(&dialog, 1057)->y());
}

TEST(ChartExchangesDialog, ClearingEveryListingBoxAndOkCopiesBothArrays) {
  ExchangeSwitches listing = allOn();
  ExchangeSwitches reporting = allOn();
  reporting[5] = 0;
  CChartExchanges dialog(listing, reporting);
  EXPECT_FALSE(box(&dialog, 1074)->isChecked());  // ISEX, reporting
  for (const ChartExchangeBox& b : chartExchangeBoxes()) {
    if (!b.reporting) box(&dialog, b.id)->click();
  }
  box(&dialog, 1074)->click();  // ISEX back on
  box(&dialog, 1068)->click();  // NEQX off
  int redraws = 0;
  press(&dialog, 1);
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  applyChartExchanges(dialog, true, listing, reporting, [&] { ++redraws; });
  EXPECT_EQ(listing, ExchangeSwitches{});
  ExchangeSwitches expected = allOn();
  expected[0] = 0;
  EXPECT_EQ(reporting, expected);
  EXPECT_EQ(redraws, 1);
}

TEST(ChartExchangesDialog, CancelKeepsTheSwitchesButStillRedraws) {
  ExchangeSwitches listing = allOn();
  ExchangeSwitches reporting = allOn();
  int redraws = 0;
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    box(dialog, 1055)->click();
    box(dialog, 1085)->click();
    press(dialog, 2);
  });
  EXPECT_FALSE(chooseChartExchanges(
      listing, reporting, [&] { ++redraws; }, nullptr));
  EXPECT_EQ(listing, allOn());
  EXPECT_EQ(reporting, allOn());
  EXPECT_EQ(redraws, 1);
}

TEST(ChartExchangesDialog, ReopeningShowsTheStateLastConfirmed) {
  ExchangeSwitches listing = allOn();
  ExchangeSwitches reporting = allOn();
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    box(dialog, 1063)->click();  // AMEX listing off
    press(dialog, 1);
  });
  EXPECT_TRUE(chooseChartExchanges(listing, reporting, nullptr, nullptr));
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    box(dialog, 1054)->click();  // changed, then cancelled
    press(dialog, 2);
  });
  chooseChartExchanges(listing, reporting, nullptr, nullptr);

  CChartExchanges reopened(listing, reporting);
  EXPECT_FALSE(box(&reopened, 1063)->isChecked());
  EXPECT_TRUE(box(&reopened, 1054)->isChecked());
  EXPECT_TRUE(box(&reopened, 1078)->isChecked());  // AMEX reporting untouched
}

}  // namespace
}  // namespace kestrune
