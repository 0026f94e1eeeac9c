// The list model and the coloured view: rows from the intakes, batching, recolouring, and the
// colours as painted pixels.
#include "alerts/alert_lists.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>

#include "alerts/color_list_ctrl.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

class AlertListsTest : public ::testing::Test {
 protected:
  AlertListsTest() : table_(dir_.file("SymbolFilter.txt")), lists_(settings_, table_) {}

  void watch(std::vector<std::string> symbols) {
    std::vector<SymbolEntry> e;
    for (auto& s : symbols) e.push_back(makeSymbolEntry(s));
    table_.replaceSymbolFilters(e, "", settings_.symbolAlarmFile);
  }
  QString cell(AlertKind k, int row, int col) {
    auto* m = lists_.model(k);
    return m->data(m->index(row, col)).toString();
  }

  test::TempDir dir_;
  MonitorSettings settings_;
  SymbolFilterTable table_;
  AlertLists lists_;
};

TEST_F(AlertListsTest, LiveRowsArriveInOneBatchNewestOnTop) {
  AlertListModel* raw = lists_.model(AlertKind::Raw);
  QAbstractItemModelTester tester(raw, QAbstractItemModelTester::FailureReportingMode::Warning);
  QSignalSpy inserted(raw, &QAbstractItemModel::rowsInserted);
  std::vector<AlertDecision> batch = {lists_.takeRawAlert("IBM|7|093015|3200|X|45"),
                                      lists_.takeRawAlert("MSFT|7|093016|10|Y|2"),
                                      lists_.takeSeqAlert("AAPL|NYSE|093017|600|B")};
  lists_.apply(batch);
  EXPECT_EQ(inserted.count(), 1);
  ASSERT_EQ(raw->rowCount(), 2);
  EXPECT_EQ(cell(AlertKind::Raw, 0, 1), "MSFT");
  EXPECT_EQ(cell(AlertKind::Raw, 1, 0), "09:30:15");
  EXPECT_EQ(cell(AlertKind::Raw, 1, 3), "45");
  EXPECT_EQ(raw->list().code(1), Highlight);
  EXPECT_EQ(lists_.model(AlertKind::Seq)->list().code(0), Highlight);
  EXPECT_EQ(raw->headerData(2, Qt::Horizontal).toString(), "Count");
  EXPECT_EQ(lists_.model(AlertKind::Algo)->columnCount(), 6);

  // A single apply shows up by itself on the next turn of the event loop.
  lists_.apply(lists_.takeRawAlert("NEW|7|093020|1"));
  EXPECT_EQ(raw->rowCount(), 2);
  QCoreApplication::processEvents();
  EXPECT_EQ(raw->rowCount(), 3);
  EXPECT_EQ(cell(AlertKind::Raw, 0, 1), "NEW");

  lists_.clearAll();
  EXPECT_EQ(raw->rowCount(), 0);
}

TEST_F(AlertListsTest, ReplayAndRecolour) {
  lists_.replayRawAlert("IBM|7|093015|3200|X|45\r");
  lists_.replayRawAlert("ibm|7|093016|0|X|1");
  lists_.replaySeqAlert("IBM|NYSE|093017|100|B");
  lists_.commitPending();
  AlertListModel* raw = lists_.model(AlertKind::Raw);
  ASSERT_EQ(raw->rowCount(), 2);
  EXPECT_EQ(cell(AlertKind::Raw, 1, 3), "45");  // no carriage return in the last cell
  EXPECT_EQ(raw->list().code(1), Highlight);

  // Threshold 0: every row with a count of 0 or more gets bit 0.
  settings_.quoteCountRawThresh = 0;
  lists_.recolorByThreshold(AlertKind::Raw, 2, 0);
  EXPECT_EQ(raw->list().code(0), Highlight);
  lists_.recolorByThreshold(AlertKind::Raw, 2, 5000);
  EXPECT_EQ(raw->list().code(0), Normal);
  EXPECT_EQ(raw->list().code(1), Normal);

  watch({"IBM"});
  settings_.useSymbolFilters = 1;
  settings_.listEliminate = 1;  // plays no part in recolouring
  settings_.quoteCountRawThresh = 3000;
  lists_.recolorBySymbolFilter();
  EXPECT_EQ(raw->list().code(1), HighSymf);
  EXPECT_EQ(raw->list().code(0), Normal);  // "ibm" is not "IBM"
  EXPECT_EQ(lists_.model(AlertKind::Seq)->list().code(0), SymFilter);

  // The new rules are in force for later records too.
  lists_.apply(lists_.takeRawAlert("MSFT|7|093018|1"));
  lists_.commitPending();
  EXPECT_EQ(raw->rowCount(), 2);  // eliminated

  // The recolouring reads the symbol, and the threshold recolouring the count, as at most 24
  // characters: a long symbol matches the watched name it starts with, and only the first 24 of
  // a count's 27 digits count there (0, not 600).
  settings_.listEliminate = 0;
  lists_.refreshRules();
  lists_.replaySeqAlert("ABCDEFGHIJKLMNOPQRSTUVWXYZ|NYSE|093019|000000000000000000000000600|B");
  lists_.commitPending();
  const AlertList& seq = lists_.model(AlertKind::Seq)->list();
  EXPECT_EQ(seq.code(0), Highlight);           // the intake itself reads all of it
  watch({"ABCDEFGHIJKLMNOPQRSTUVWX", "IBM"});  // in table order
  lists_.recolorBySymbolFilter();
  EXPECT_EQ(seq.code(0), HighSymf);
  lists_.recolorByThreshold(AlertKind::Seq, 3, 500);
  EXPECT_EQ(seq.code(0), SymFilter);
}

QColor pixelAt(const QImage& img, QPoint p) { return img.pixelColor(p); }

TEST_F(AlertListsTest, RowsArePaintedInTheirCodesColours) {
  CColorListCtrl rawCtrl, seqCtrl, algoCtrl;
  settings_.normalBk = rgbColor(10, 200, 30);
  settings_.normalFg = rgbColor(0, 0, 0);
  lists_.setupControls(&rawCtrl, &seqCtrl, &algoCtrl, QFont("Arial", 8));
  rawCtrl.resize(265, 300);
  EXPECT_EQ(rawCtrl.columnWidth(1), 60);
  EXPECT_EQ(rawCtrl.columnWidths(6), (std::vector<std::int32_t>{50, 60, 50, 50, 40, 0}));

  AlertListModel* raw = lists_.model(AlertKind::Raw);
  lists_.replayRawAlert("A|7|093015|1");     // row 3: code 0
  lists_.replayRawAlert("B|7|093015|9999");  // row 2: code 1
  lists_.replayRawAlert("C|7|093015|1");     // row 1: will be code 7
  lists_.replayRawAlert("D|7|093015|1");     // row 0: will be code 3
  lists_.commitPending();
  raw->setRowCode(1, static_cast<RowColor>(7));
  raw->setRowCode(0, HighSymf);
  rawCtrl.show();
  QCoreApplication::processEvents();

  QImage img = rawCtrl.viewport()->grab().toImage();
  auto rowPixel = [&](int row) {
    QRect r = rawCtrl.visualRect(raw->index(row, 3));
    return pixelAt(img, QPoint(r.left() + 3, r.center().y()));
  };
  EXPECT_EQ(rowPixel(3), QColor(10, 200, 30));
  EXPECT_EQ(rowPixel(2), QColor(255, 0, 0));
  EXPECT_EQ(rowPixel(1), QColor(10, 200, 30));  // an unexpected code paints NORMAL
  EXPECT_EQ(rowPixel(0), QColor(0, 255, 0));
  // The empty area below the last row is NORMAL's background.
  QRect last = rawCtrl.visualRect(raw->index(3, 0));
  EXPECT_EQ(pixelAt(img, QPoint(20, last.bottom() + 40)), QColor(10, 200, 30));

  // New NORMAL colours reach rows and empty area alike.
  settings_.normalBk = rgbColor(200, 200, 0);
  lists_.applyListColors();
  QCoreApplication::processEvents();
  img = rawCtrl.viewport()->grab().toImage();
  EXPECT_EQ(rowPixel(3), QColor(200, 200, 0));
  EXPECT_EQ(pixelAt(img, QPoint(20, last.bottom() + 40)), QColor(200, 200, 0));
}

TEST_F(AlertListsTest, ScrolledAndResizedListsRepaintCleanly) {
  CColorListCtrl rawCtrl;
  lists_.setupControls(&rawCtrl, nullptr, nullptr, QFont("Arial", 8));
  rawCtrl.resize(265, 200);
  for (int i = 0; i < 500; ++i) {
    lists_.replayRawAlert(
        (std::string("S") + std::to_string(i) + "|7|093015|" + (i % 2 ? "9999" : "1")).c_str());
  }
  lists_.commitPending();
  rawCtrl.show();
  QCoreApplication::processEvents();
  rawCtrl.verticalScrollBar()->setValue(rawCtrl.verticalScrollBar()->maximum() / 2);
  rawCtrl.setColumnWidth(0, 90);
  QCoreApplication::processEvents();
  QImage img = rawCtrl.viewport()->grab().toImage();
  AlertListModel* raw = rawCtrl.alertModel();
  int row = rawCtrl.rowAt(50);
  ASSERT_GE(row, 0);
  QRect r = rawCtrl.visualRect(raw->index(row, 2));
  QColor expected = raw->list().code(static_cast<std::size_t>(row)) == Highlight
                        ? QColor(255, 0, 0)
                        : QColor(255, 255, 255);
  EXPECT_EQ(img.pixelColor(r.left() + 3, r.center().y()), expected);
}

}  // namespace
}  // namespace kestrune
