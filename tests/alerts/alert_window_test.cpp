// The real monitor window: records fed through the live and replay intakes show in its three
// lists in their colours, and "Clear Alerts" stops the alarm. Runs in a scratch directory with a
// scratch per-user store, so the user's own settings are never touched.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdlib>

#include "alerts/alarm_mute_control.h"
#include "alerts/alert_center.h"
#include "alerts/alert_sound.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "tests/alerts/sound_settled.h"

namespace kestrune {
namespace {

QColor cellPixel(CColorListCtrl* list, int row) {
  QImage img = list->viewport()->grab().toImage();
  QRect r = list->visualRect(list->model()->index(row, 1));
  return img.pixelColor(r.left() + 2, r.center().y());
}

// The real window, its settings file in a folder of its own.
struct AlertWindow {
  AlertWindow() {
    CQuillfernViewerView::Options options;
    options.configPath = dir.filePath("Kestrune.cfg").toStdString();
    started = app.initInstance(options);
  }
  QTemporaryDir dir;
  CQuillfernViewerApp app;
  bool started = false;
};

TEST(AlertWindowTest, IntakeRowsShowInTheThreeListsInTheirColours) {
  AlertWindow w;
  ASSERT_TRUE(w.started);
  CQuillfernViewerApp& app = w.app;
  CQuillfernViewerView* view = app.view();
  AlertCenter* alerts = AlertCenter::of(view);
  ASSERT_NE(alerts, nullptr);
  auto* raw = qobject_cast<CColorListCtrl*>(view->list(AlertCenter::kRawListId));
  auto* seq = qobject_cast<CColorListCtrl*>(view->list(AlertCenter::kSeqListId));
  auto* algo = qobject_cast<CColorListCtrl*>(view->list(AlertCenter::kAlgoListId));
  ASSERT_TRUE(raw && seq && algo);
  EXPECT_EQ(raw->model()->headerData(3, Qt::Horizontal).toString(), "Trades");
  EXPECT_EQ(algo->model()->columnCount(), 6);

  AlertLists& lists = alerts->lists();
  lists.apply(lists.takeRawAlert("IBM|7|093015|3200|X|45"));
  lists.apply(lists.takeRawAlert("MSFT|7|093016|12|X|4"));
  lists.apply(lists.takeSeqAlert("AAPL|NYSE|093017|600|B"));
  lists.replayAlgoAlert("DELL|BATS|desc|093018|10|A");
  QCoreApplication::processEvents();

  ASSERT_EQ(raw->model()->rowCount(), 2);
  EXPECT_EQ(raw->model()->data(raw->model()->index(1, 1)).toString(), "IBM");
  EXPECT_EQ(cellPixel(raw, 1), QColor(255, 0, 0));      // over 3000: HIGHLIGHT
  EXPECT_EQ(cellPixel(raw, 0), QColor(255, 255, 255));  // NORMAL
  EXPECT_EQ(cellPixel(seq, 0), QColor(255, 0, 0));      // over 500
  EXPECT_EQ(cellPixel(algo, 0), QColor(255, 255, 255));

  // "Clear Alerts" stops a looping alarm and leaves the rows.
  playAlertSound("", true);
  ASSERT_TRUE(test::soundSettled());
  ASSERT_TRUE(AlertSoundPlayer::instance()->isPlaying());
  auto* clear = qobject_cast<QPushButton*>(view->control(AlertCenter::kClearAlertsId));
  ASSERT_NE(clear, nullptr);
  clear->click();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_FALSE(AlertSoundPlayer::instance()->isPlaying());
  EXPECT_EQ(raw->model()->rowCount(), 2);
  app.frame()->close();
}

// Mute Alarms from the real Preferences menu: the live alarm is not heard, its row still shows in
// its colour, and the status line says when alarms are back.
TEST(AlertWindowTest, MuteSilencesAlarmsButKeepsRowsAndColours) {
  AlertWindow w;
  ASSERT_TRUE(w.started);
  CQuillfernViewerApp& app = w.app;
  CQuillfernViewerView* view = app.view();
  QMenu* prefs = app.frame()->menu(QStringLiteral("&Preferences"));
  ASSERT_NE(prefs, nullptr);
  const QList<QAction*> items = prefs->actions();
  ASSERT_EQ(items.size(), 8);  // the six of its own, a separator, Mute Alarms
  EXPECT_EQ(items[5]->text(), "S&ymbol Filters");
  ASSERT_NE(items[7]->menu(), nullptr);
  EXPECT_EQ(items[7]->text(), "&Mute Alarms");
  items[7]->menu()->actions()[2]->trigger();  // 1 hour
  EXPECT_EQ(view->statusText().rfind("Alarms muted until ", 0), 0u) << view->statusText();

  view->settings().audioAlert[3].use = 1;
  view->settings().audioAlert[3].threshold = 0;
  AlertLists& lists = AlertCenter::of(view)->lists();
  lists.refreshRules();
  AlertDecision d = lists.takeRawAlert("IBM|7|093015|3200|X|45");
  ASSERT_TRUE(d.sound.play);
  lists.apply(d);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_FALSE(AlertSoundPlayer::instance()->isPlaying());
  auto* raw = qobject_cast<CColorListCtrl*>(view->list(AlertCenter::kRawListId));
  QCoreApplication::processEvents();
  ASSERT_EQ(raw->model()->rowCount(), 1);
  EXPECT_EQ(cellPixel(raw, 0), QColor(255, 0, 0));

  AlarmMuteControl::of(view)->unmute();
  EXPECT_EQ(view->statusText(), "Alarms are back on");
  lists.apply(d);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(AlertSoundPlayer::instance()->isPlaying());
  stopAlertSound();
  ASSERT_TRUE(test::soundSettled());
  app.frame()->close();
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  // A scratch working directory and per-user store before anything reads them.
  QTemporaryDir scratch;
  qputenv("XDG_CONFIG_HOME", scratch.path().toLocal8Bit());
  QDir::setCurrent(scratch.path());
  // Test listing runs without the test environment; never reach for a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
