// The History window in the started monitor: opened from the File menu, it indexes the recorded
// days on its own thread, shows a symbol's alerts, copies them safe for a spreadsheet and
// retrieves the day of a double-clicked alert with the charts centred on its second, but only
// while the monitor could retrieve a day at all.
#include "history/history_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QCompleter>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <fstream>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "charts/exchange_charts.h"
#include "tests/app/app_test_support.h"

namespace kestrune {
namespace {

QString cell(const QTableView* table, int row, int column) {
  return table->model()->index(row, column).data().toString();
}

TEST(HistoryWindowInApplication, ShowsASymbolsAlertsAndRetrievesTheDoubleClickedOnesDay) {
  testing::ScratchProfile profile;
  const QString home = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(profile.path(".")));
  ASSERT_TRUE(QDir().mkpath("Data"));
  // A BBO field a spreadsheet would run as a formula, and a damaged line without a time.
  std::ofstream("Data/12072026_hft1.txt", std::ios::binary)
      << "NVDA|Q|094500|900|1.5x2|12\r\nIBM|N|094501|300|1x1|3\r\nNVDA|Q||77|x|1\r\n";
  std::ofstream("Data/12072026_hft4.txt", std::ios::binary)
      << "094500|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|\r\n";
  std::ofstream("Data/12062026_hft1.txt", std::ios::binary) << "NVDA|P|103015|3200|=1+2|45\r\n";

  CQuillfernViewerApp app;
  CQuillfernViewerView::Options o;
  o.dpiScale = 1.0;
  o.configPath = profile.configPath();
  ASSERT_TRUE(app.initInstance(o));
  CQuillfernViewerView& view = *app.view();

  // Right after Open..., usable whatever the connection does.
  const QList<QAction*> file = app.frame()->menuBar()->actions()[0]->menu()->actions();
  ASSERT_GE(file.size(), 3);
  EXPECT_EQ(file[1]->text(), "&Open...");
  EXPECT_EQ(file[2]->text(), "&History...");
  view.showConnectedControls();
  EXPECT_TRUE(file[2]->isEnabled());
  file[2]->trigger();
  auto* window = view.findChild<HistoryWindow*>();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->indexing(); }, 10000));
  EXPECT_EQ(window->statusLabel()->text().toStdString(),
            "2 days indexed; this time 5 lines read, 1 skipped");
  EXPECT_EQ(window->completer()->model()->rowCount(), 2);  // IBM, NVDA

  // The most active symbols and the days, as the index counts them.
  const QTableView* top = window->topTable();
  const QTableView* days = window->daysTable();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return top->model()->rowCount() == 2 && days->model()->rowCount() == 2; }, 5000));
  EXPECT_EQ(cell(top, 0, 0), "NVDA");
  EXPECT_EQ(cell(top, 0, 1), "2");
  EXPECT_EQ(cell(top, 0, 2), "3200");
  EXPECT_EQ(cell(top, 0, 3), "12062026");
  EXPECT_EQ(cell(top, 0, 4), "12072026");
  EXPECT_EQ(cell(days, 1, 0), "12072026");
  EXPECT_EQ(cell(days, 1, 1), "2");
  EXPECT_EQ(cell(days, 1, 4), "09:45:00");
  EXPECT_EQ(cell(days, 1, 5), "136");
  EXPECT_EQ(cell(days, 0, 4), "");  // no Listing samples that day

  // Oldest first, whatever order the files were written in.
  window->showSymbol("NVDA");
  const QTableView* alerts = window->symbolTable();
  ASSERT_TRUE(QTest::qWaitFor([&] { return alerts->model()->rowCount() == 2; }, 5000));
  EXPECT_EQ(cell(alerts, 0, 0), "12062026");
  EXPECT_EQ(cell(alerts, 0, 1), "10:30:15");
  EXPECT_EQ(cell(alerts, 0, 2), "Raw");
  EXPECT_EQ(cell(alerts, 0, 4), "3200");
  EXPECT_EQ(cell(alerts, 1, 0), "12072026");

  // Sorted by count, highest first, then copied as the view shows it.
  window->symbolTable()->sortByColumn(4, Qt::DescendingOrder);
  EXPECT_EQ(cell(alerts, 0, 4), "3200");
  window->symbolTable()->sortByColumn(4, Qt::AscendingOrder);
  EXPECT_EQ(cell(alerts, 0, 4), "900");
  window->symbolTable()->selectAll();
  QTest::keyClick(window->symbolTable(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "date\ttime\tlist\texchange\tcount\tfields\n"
            "12072026\t09:45:00\tRaw\tQ\t900\t1.5x2|12\n"
            "12062026\t10:30:15\tRaw\tP\t3200\t'=1+2|45\n");

  // Connected: the day is not retrieved, and the window says why.
  auto* raw = view.list(IDC_RAW_LIST)->model();
  const QModelIndex older = alerts->model()->index(1, 0);
  const QPoint at = alerts->visualRect(older).center();
  QTest::mouseClick(alerts->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(alerts->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(window->statusLabel()->text().toStdString(), kRetrieveWhileConnectedText);
  EXPECT_EQ(raw->rowCount(), 0);

  view.showDisconnectedControls();
  QTest::mouseDClick(alerts->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(window->statusLabel()->text(), "Retrieved 12062026");
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(view.control(IDC_STATUS))->toPlainText(),
            "Viewing Historical Data for 12/06/2026");
  EXPECT_TRUE(QTest::qWaitFor([&] { return raw->rowCount() == 1; }, 5000));
  const ChartWindow w = view.charts().editWindow([](ChartWindow& cw) { return cw; });
  const int second = 10 * 3600 + 30 * 60 + 15;
  EXPECT_EQ(w.windowEnd - second, w.dataPoints / 2);
  EXPECT_EQ(view.charts().chart(ChartId::Listing).lastIndex, w.windowEnd);

  window->close();  // deletes itself
  QDir::setCurrent(home);
}

// Closing the window while its index is still being built neither waits for the build nor
// receives its answer; the next window finds the index whole.
TEST(HistoryWindow, ClosedWhileIndexingNeitherWaitsNorHearsBackAndTheIndexStaysWhole) {
  testing::ScratchProfile profile;
  const std::string base = profile.path(".").toStdString();
  ASSERT_TRUE(QDir().mkpath(profile.path("Data")));
  for (const char* date : {"12012026", "12022026", "12032026"}) {
    std::ofstream out(base + "/Data/" + date + "_hft1.txt", std::ios::binary);
    for (int i = 0; i < 40000; ++i)
      out << "SYM" << i % 500 << "|Q|1000" << i % 60 / 10 << "0|5|x|1\r\n";
  }
  auto* first = new HistoryWindow(base, {});
  EXPECT_TRUE(first->indexing());
  delete first;
  test::waitFor([] { return false; }, 300);  // whatever the abandoned build hands back

  HistoryWindow second(base, {});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !second.indexing(); }, 20000));
  EXPECT_TRUE(second.statusLabel()->text().startsWith("3 days indexed"))
      << second.statusLabel()->text().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return second.topTable()->model()->rowCount() == 100; },
                              5000));               // the first 100
  EXPECT_EQ(cell(second.topTable(), 0, 1), "240");  // 80 a day, three days
}

}  // namespace
}  // namespace kestrune
