// The chart navigation controls of the real monitor form: Data Points, the goto time edits, Goto
// and the step buttons, driven as a user drives them; and Retrieve and File > Open, which bring a
// past day back.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <array>
#include <fstream>
#include <memory>
#include <vector>

#include "app/chart_navigation_controls.h"
#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "app/quillfern_viewer_view.h"
#include "charts/chart_widget.h"
#include "charts/exchange_charts.h"
#include "recording/open_day_dialog.h"
#include "tests/app/app_test_support.h"

namespace kestrune {
namespace {

// Counts the finished pictures of each chart: one per drawing.
class PictureCounter : public ChartHost {
 public:
  void showSampleTime(const char*) override {}
  void driveCollectionWindow(std::int32_t) override {}
  void playChartAlarm(int) override {}
  void chartPictureReady(ChartId chart) override { ++pictures[chartIndex(chart)]; }
  std::array<int, kChartCount> pictures{};
};

class NavigationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chartColors() = ChartColorTable{};
    frame_ = std::make_unique<CMainFrame>();
    CQuillfernViewerView::Options o;
    o.dpiScale = 1.0;
    o.configPath = profile_.configPath();
    view_ = new CQuillfernViewerView(frame_.get(), o);
    frame_->setView(view_);
    view_->hooks().stopClient = [] {};
    // Whatever was installed before the navigation must still get the ids that are not its own.
    view_->hooks().buttonClicked = [this](int id) { otherButtons_.push_back(id); };
    view_->hooks().editChanged = [this](int id, const QString&) { otherEdits_.push_back(id); };
    nav_ = &installChartNavigation(*view_);
    view_->initialUpdate();
    charts().setHost(&counter_);
  }
  void TearDown() override {
    charts().setHost(nullptr);
    frame_.reset();
    chartColors() = ChartColorTable{};
  }

  ExchangeCharts& charts() { return view_->charts(); }
  ChartWindow& window() { return charts().window(); }
  QLineEdit* edit(int id) { return qobject_cast<QLineEdit*>(view_->control(id)); }

  void type(int id, const char* text) {
    QLineEdit* e = edit(id);
    e->clear();
    QTest::keyClicks(e, QString::fromLatin1(text));
  }
  void click(int id) {
    auto* b = qobject_cast<QPushButton*>(view_->control(id));
    ASSERT_NE(b, nullptr) << id;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  // Drawings of all three charts since the last call; -1 when the charts were not drawn alike.
  int redrawsSinceLastLook() {
    const std::array<int, kChartCount> now = counter_.pictures;
    std::array<int, kChartCount> d{};
    for (int i = 0; i < kChartCount; ++i) d[i] = now[i] - seen_[i];
    seen_ = now;
    return d[0] == d[1] && d[1] == d[2] ? d[0] : -1;
  }
  // Every chart was last drawn over the window's seconds.
  void expectDrawnOver(std::int32_t first, std::int32_t last) {
    for (ChartId id : {ChartId::Reporting, ChartId::Listing, ChartId::Algo}) {
      EXPECT_EQ(charts().chart(id).firstIndex, first) << chartIndex(id);
      EXPECT_EQ(charts().chart(id).lastIndex, last) << chartIndex(id);
    }
  }
  // The newest second as the first listing sample of the run sets it.
  void liveListingSampleAt(const char* hhmmss) {
    const std::string text = std::string(hhmmss) + "|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|";
    ASSERT_TRUE(charts().takeListingSample(text.c_str()));
    redrawsSinceLastLook();
  }
  void gotoTimeOfDay(const char* h, const char* m, const char* s) {
    type(IDC_GOTO_HOUR, h);
    type(IDC_GOTO_MINUTE, m);
    type(IDC_GOTO_SECOND, s);
    click(IDC_GOTO);
  }

  testing::ScratchProfile profile_;
  PictureCounter counter_;
  std::array<int, kChartCount> seen_{};
  std::unique_ptr<CMainFrame> frame_;
  CQuillfernViewerView* view_ = nullptr;
  ChartNavigationControls* nav_ = nullptr;
  std::vector<int> otherButtons_;
  std::vector<int> otherEdits_;
};

TEST_F(NavigationTest, TypingDataPointsAppliesEachValueAndRedrawsEachTime) {
  edit(IDC_DATA_POINTS)->clear();  // an empty box changes nothing
  EXPECT_EQ(window().dataPoints, 300);
  EXPECT_EQ(redrawsSinceLastLook(), 0);
  const std::pair<char, int> steps[] = {{'1', 1}, {'2', 12}, {'0', 120}};
  for (const auto& [key, width] : steps) {
    QTest::keyClick(edit(IDC_DATA_POINTS), key);
    EXPECT_EQ(window().dataPoints, width);
    EXPECT_EQ(window().windowEnd, width);
    EXPECT_EQ(view_->settings().dataPoints, width);
    EXPECT_EQ(redrawsSinceLastLook(), 1) << width;
    expectDrawnOver(1, width);
  }
}

TEST_F(NavigationTest, DataPointsWideningNearTheDayEndIsHeldInsideTheDay) {
  window().windowStart = 86200;
  window().windowEnd = 86399;
  QLineEdit* e = edit(IDC_DATA_POINTS);
  e->selectAll();
  QTest::keyClicks(e, "500");
  EXPECT_EQ(window().dataPoints, 500);
  EXPECT_EQ(window().windowEnd, 86399);
  EXPECT_EQ(window().windowStart, 85899);
  expectDrawnOver(85900, 86399);
}

TEST_F(NavigationTest, GotoEditsTakeTheirNumberWithoutDrawing) {
  type(IDC_GOTO_HOUR, "9");
  type(IDC_GOTO_MINUTE, "30");
  type(IDC_GOTO_SECOND, "15");
  EXPECT_EQ(nav_->gotoHour(), 9);
  EXPECT_EQ(nav_->gotoMinute(), 30);
  EXPECT_EQ(nav_->gotoSecond(), 15);
  edit(IDC_GOTO_MINUTE)->clear();
  EXPECT_EQ(nav_->gotoMinute(), 0);
  edit(IDC_GOTO_SECOND)->setText("x7");  // a text that is not a number counts as 0
  EXPECT_EQ(nav_->gotoSecond(), 0);
  EXPECT_EQ(redrawsSinceLastLook(), 0);
  EXPECT_EQ(window().windowEnd, 300);
  EXPECT_TRUE(otherEdits_.empty());
}

TEST_F(NavigationTest, GotoIntoThePastParksAndBeyondTheNewestSecondFollows) {
  liveListingSampleAt("120000");
  ASSERT_EQ(window().latestSecond, 43200);

  gotoTimeOfDay("9", "30", "0");
  EXPECT_EQ(window().windowStart, 34200);
  EXPECT_EQ(window().windowEnd, 34500);
  EXPECT_FALSE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 1);
  expectDrawnOver(34201, 34500);
  // Parked: a newer live sample is stored but the window stays.
  charts().takeListingSample("120500|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|");
  EXPECT_EQ(window().windowEnd, 34500);
  redrawsSinceLastLook();

  gotoTimeOfDay("13", "0", "0");
  EXPECT_EQ(window().windowStart, 43200 - 300 + 1);
  EXPECT_EQ(window().windowEnd, 43200);
  EXPECT_TRUE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 1);
  expectDrawnOver(42901, 43200);
}

TEST_F(NavigationTest, GotoFarBeyondTheDayStaysInsideTheStore) {
  window().latestSecond = 86399;  // a replayed day
  gotoTimeOfDay("99", "99", "99");
  EXPECT_EQ(window().windowEnd, 86399);
  EXPECT_EQ(window().windowStart, 86399 - 300);
  EXPECT_TRUE(window().followLive);
  expectDrawnOver(86100, 86399);
}

TEST_F(NavigationTest, HourBackStopsAboveSecondZero) {
  window().windowEnd = 3000;
  click(IDC_HOUR_BACK);
  EXPECT_EQ(window().windowEnd, 3000);
  EXPECT_TRUE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 0);

  window().windowEnd = 3601;
  click(IDC_HOUR_BACK);
  EXPECT_EQ(window().windowEnd, 1);
  EXPECT_EQ(window().windowStart, 0);
  EXPECT_FALSE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 1);
  expectDrawnOver(0, 1);
}

TEST_F(NavigationTest, SecondStepsParkAndReachingTheNewestSecondFollowsAgain) {
  liveListingSampleAt("120000");
  click(IDC_SECOND_BACK);
  EXPECT_EQ(window().windowEnd, 43199);
  EXPECT_FALSE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 1);

  click(IDC_SECOND_FORWARD);
  EXPECT_EQ(window().windowEnd, 43200);
  EXPECT_TRUE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 1);
  expectDrawnOver(42901, 43200);

  // Already at the newest second: the charts are still drawn again.
  click(IDC_HOUR_FORWARD);
  EXPECT_EQ(window().windowEnd, 43200);
  EXPECT_EQ(redrawsSinceLastLook(), 1);
}

TEST_F(NavigationTest, MinuteAndHourStepsMoveTheEndOnly) {
  liveListingSampleAt("120000");
  click(IDC_HOUR_BACK);
  click(IDC_MINUTE_BACK);
  click(IDC_MINUTE_BACK);
  EXPECT_EQ(window().windowEnd, 43200 - 3600 - 120);
  EXPECT_EQ(window().windowStart, 43200 - 300);  // the start is not moved by steps
  EXPECT_EQ(redrawsSinceLastLook(), 3);
  click(IDC_MINUTE_FORWARD);
  click(IDC_HOUR_FORWARD);
  EXPECT_EQ(window().windowEnd, 43200 - 60);
  EXPECT_FALSE(window().followLive);
  click(IDC_MINUTE_FORWARD);  // reaches the newest second: follows again
  EXPECT_EQ(window().windowEnd, 43200);
  EXPECT_TRUE(window().followLive);
  EXPECT_EQ(redrawsSinceLastLook(), 3);
}

// A double-click on a chart moves the window as Goto with the time half a window before the
// clicked second does, parking or following by Goto's rules, and all three charts follow.
TEST_F(NavigationTest, DoubleClickOnAChartCentresTheWindowAsGotoWould) {
  liveListingSampleAt("120000");
  struct Case {
    const char* h;  // where the window is when the chart is double-clicked
    const char* m;
    std::int32_t second;
    const char* gotoH;  // the Goto that must give the same window
    const char* gotoM;
    const char* gotoS;
    bool follows;
  };
  const Case cases[] = {{"10", "0", 36100, "9", "59", "10", false},   // parks in the past
                        {"11", "58", 43100, "11", "55", "50", true},  // reaches the newest second
                        {"0", "0", 100, "0", "0", "0", false}};  // no earlier than the day's start
  auto* surface = qobject_cast<ChartWidget*>(view_->control(IDC_REPORTING_CHART));
  ASSERT_NE(surface, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    gotoTimeOfDay(c.h, c.m, "0");
    redrawsSinceLastLook();
    const RyxChartTemplate& t = charts().chart(ChartId::Reporting);
    const QPoint at = surface->contentsRect().topLeft() +  // the picture lies inside the frame
                      QPoint(pixelOfSecond(chartTimeAxis(t.areas[kPlotArea], t.firstIndex,
                                                         t.lastIndex, t.pixelsPerPoint),
                                           c.second),
                             100);
    QMouseEvent click(QEvent::MouseButtonDblClick, at, surface->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(surface, &click);
    const ChartWindow clicked = window();
    EXPECT_EQ(clicked.followLive, c.follows);
    EXPECT_EQ(redrawsSinceLastLook(), 1);
    const std::int32_t first = charts().chart(ChartId::Listing).firstIndex;
    const std::int32_t last = charts().chart(ChartId::Listing).lastIndex;
    EXPECT_TRUE(c.second == 100 || last - c.second == 150) << first << ".." << last;

    gotoTimeOfDay(c.h, c.m, "0");
    gotoTimeOfDay(c.gotoH, c.gotoM, c.gotoS);
    EXPECT_EQ(window().windowStart, clicked.windowStart);
    EXPECT_EQ(window().windowEnd, clicked.windowEnd);
    EXPECT_EQ(window().followLive, clicked.followLive);
    expectDrawnOver(first, last);
  }
}

TEST_F(NavigationTest, OtherButtonsAndEditsStillReachTheirHandlers) {
  click(IDC_CONNECT);
  click(IDC_GOTO);
  click(IDC_SECOND_BACK);
  edit(IDC_VIEW_DATE)->setText("10112010");
  EXPECT_EQ(otherButtons_, std::vector<int>{IDC_CONNECT});
  EXPECT_EQ(otherEdits_, std::vector<int>{IDC_VIEW_DATE});
}

// The window the application starts, with every control wired in, in a scratch profile.
class NavigationInApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    chartColors() = ChartColorTable{};
    CQuillfernViewerView::Options o;
    o.dpiScale = 1.0;
    o.configPath = profile_.configPath();
    ASSERT_TRUE(app_.initInstance(o));
  }
  void TearDown() override { chartColors() = ChartColorTable{}; }

  testing::ScratchProfile profile_;
  CQuillfernViewerApp app_;
};

TEST_F(NavigationInApplication, GotoAndStepsWorkInTheStartedWindow) {
  CQuillfernViewerView& view = *app_.view();
  ChartWindow& w = view.charts().window();
  w.latestSecond = 43200;
  qobject_cast<QLineEdit*>(view.control(IDC_GOTO_HOUR))->setText("10");
  QTest::mouseClick(qobject_cast<QPushButton*>(view.control(IDC_GOTO)), Qt::LeftButton);
  EXPECT_EQ(w.windowStart, 36000);
  EXPECT_EQ(w.windowEnd, 36300);
  EXPECT_FALSE(w.followLive);
  EXPECT_EQ(view.charts().chart(ChartId::Listing).lastIndex, 36300);
  QTest::mouseClick(qobject_cast<QPushButton*>(view.control(IDC_MINUTE_BACK)), Qt::LeftButton);
  EXPECT_EQ(w.windowEnd, 36240);
  EXPECT_EQ(view.charts().chart(ChartId::Algo).lastIndex, 36240);
}

// Retrieve replays the day last typed into the View Date box; before anything was typed it does
// nothing at all.
TEST_F(NavigationInApplication, RetrieveReplaysTheTypedDayInTheStartedWindow) {
  const QString home = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(profile_.path(".")));
  ASSERT_TRUE(QDir().mkpath("Data"));
  std::ofstream("Data/12062026_hft1.txt") << "IBM|7|093015|3200|X|45\r\n";
  CQuillfernViewerView& view = *app_.view();
  auto* retrieve = qobject_cast<QPushButton*>(view.control(IDC_RETRIEVE));
  auto* status = qobject_cast<QPlainTextEdit*>(view.control(IDC_STATUS));
  auto* viewDate = qobject_cast<QLineEdit*>(view.control(IDC_VIEW_DATE));
  const QAbstractItemModel* raw = view.list(IDC_RAW_LIST)->model();
  retrieve->click();
  EXPECT_EQ(status->toPlainText(), "");
  EXPECT_EQ(raw->rowCount(), 0);

  viewDate->setText("12062026");
  viewDate->clear();  // the typed day still counts
  retrieve->click();
  EXPECT_EQ(status->toPlainText(), "Viewing Historical Data for 12/06/2026");
  EXPECT_TRUE(QTest::qWaitFor([&] { return raw->rowCount() == 1; }, 5000));
  EXPECT_EQ(raw->data(raw->index(0, 1)).toString(), "IBM");
  QDir::setCurrent(home);
}

// File > Open lists the recorded days and retrieves the chosen one as typing it into View Date
// and pressing Retrieve does; it is usable exactly while Retrieve is, inside its dialog too.
TEST_F(NavigationInApplication, OpenListsTheRecordedDaysAndRetrievesTheChosenOne) {
  const QString home = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(profile_.path(".")));
  ASSERT_TRUE(QDir().mkpath("Data"));
  std::ofstream("Data/12062026_hft1.txt") << "IBM|7|093015|3200|X|45\r\n";
  std::ofstream("Data/12072026_hft1.txt") << "MSFT|7|093015|3200|X|45\r\n";
  std::ofstream("Data/12072026_hft4.txt") << "093000|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|\r\n";
  std::ofstream("Data/99999999_hft1.txt") << "not a day\r\n";
  CQuillfernViewerView& view = *app_.view();
  auto* open = view.window()->findChild<QAction*>(QString::number(ID_FILE_OPEN));
  ASSERT_NE(open, nullptr);
  EXPECT_TRUE(open->isEnabled());
  view.showConnectedControls();
  EXPECT_FALSE(open->isEnabled());
  view.onCommand(ID_FILE_OPEN);  // refused: no dialog, nothing retrieved
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(view.control(IDC_STATUS))->toPlainText(), "");
  view.showDisconnectedControls();
  EXPECT_TRUE(open->isEnabled());

  QTimer::singleShot(0, [&view] {
    auto* dialog = qobject_cast<OpenDayDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    const QTableWidget* days = dialog->table();
    ASSERT_EQ(days->rowCount(), 2);
    EXPECT_EQ(days->item(0, 0)->text(), "12/07/2026");
    EXPECT_EQ(days->item(1, 0)->text(), "12/06/2026");
    EXPECT_EQ(days->item(0, 1)->toolTip(), "25 bytes");
    EXPECT_EQ(days->item(0, 2)->text(), "missing");
    EXPECT_NE(days->item(0, 4)->text(), "missing");
    EXPECT_EQ(days->item(1, 4)->text(), "missing");
    view.showConnectedControls();  // a reconnection went through meanwhile
    EXPECT_FALSE(dialog->openButton()->isEnabled());
    view.showDisconnectedControls();
    dialog->table()->selectRow(1);
    ASSERT_TRUE(dialog->openButton()->isEnabled());
    dialog->openButton()->click();
  });
  open->trigger();
  EXPECT_EQ(qobject_cast<QLineEdit*>(view.control(IDC_VIEW_DATE))->text(), "12062026");
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(view.control(IDC_STATUS))->toPlainText(),
            "Viewing Historical Data for 12/06/2026");
  const QAbstractItemModel* raw = view.list(IDC_RAW_LIST)->model();
  EXPECT_TRUE(QTest::qWaitFor([&] { return raw->rowCount() == 1; }, 5000));
  EXPECT_EQ(raw->data(raw->index(0, 1)).toString(), "IBM");
  QDir::setCurrent(home);
}

}  // namespace
}  // namespace kestrune
