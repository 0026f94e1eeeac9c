#include "recording/file_times.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "forms/dialog_layout.h"

namespace kestrune {
namespace {

// The application lives in main() so it is torn down before the program exits.
void app() { ASSERT_NE(QApplication::instance(), nullptr); }

MonitorSettings regularSession() {
  MonitorSettings s;
  s.collectStartHour = 9;
  s.collectStartMinute = 30;
  s.collectStopHour = 16;
  s.collectStopMinute = 0;
  s.collectStartMinuteOfDay = 570;
  s.collectStopMinuteOfDay = 960;
  return s;
}

QLineEdit* edit(QWidget* dialog, int id) { return findControlAs<QLineEdit>(dialog, id); }

// Runs the dialog modally; act works on it once it is showing and ends it.
bool runWith(MonitorSettings& settings, const std::function<void(FileTimes*)>& act) {
  app();
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<FileTimes*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(dialog);
  });
  return runFileTimes(nullptr, settings);
}

TEST(FileTimesTest, ShowsTheFourTimesInTheirBoxes) {
  app();
  const MonitorSettings settings = regularSession();
  FileTimes dialog(settings);
  EXPECT_EQ(dialog.windowTitle(), "File Data Collection Times");
  ASSERT_NE(edit(&dialog, kIdStartHour), nullptr);
  EXPECT_EQ(edit(&dialog, kIdStartHour)->text(), "9");
  EXPECT_EQ(edit(&dialog, kIdStartMinute)->text(), "30");
  EXPECT_EQ(edit(&dialog, kIdStopHour)->text(), "16");
  EXPECT_EQ(edit(&dialog, kIdStopMinute)->text(), "0");
  EXPECT_EQ(findControlAs<QPushButton>(&dialog, 1)->text(), "OK");
  EXPECT_EQ(findControlAs<QPushButton>(&dialog, 2)->text(), "Cancel");
  // Captions in the 8-point dialog font whatever the platform's own: 8 x 96 / 72 = 10.7 pixels,
  // and 13.3 at 120 dots per inch.
  for (QLabel* label : dialog.findChildren<QLabel*>()) EXPECT_EQ(label->font().pixelSize(), 11);
  FileTimes scaled(settings, 1.25);
  EXPECT_EQ(scaled.findChildren<QLabel*>().first()->font().pixelSize(), 13);
}

TEST(FileTimesTest, EachBoxSetsOnlyItsOwnValueAndAnEmptiedBoxKeepsIt) {
  app();
  FileTimes dialog(regularSession());
  QLineEdit* stopMinute = edit(&dialog, kIdStopMinute);
  stopMinute->selectAll();
  QTest::keyClicks(stopMinute, "15");
  EXPECT_EQ(dialog.values().stopMinute, 15);
  EXPECT_EQ(dialog.values().stopHour, 16);
  EXPECT_EQ(dialog.values().startHour, 9);
  EXPECT_EQ(dialog.values().startMinute, 30);

  edit(&dialog, kIdStartHour)->clear();
  EXPECT_EQ(dialog.values().startHour, 9);
  // Letters never get in; a huge number stops at the int32 limit.
  QTest::keyClicks(edit(&dialog, kIdStartHour), "1x2");
  EXPECT_EQ(dialog.values().startHour, 12);
  edit(&dialog, kIdStartHour)->setText("99999999999999");
  EXPECT_EQ(dialog.values().startHour, INT32_MAX);
}

TEST(FileTimesTest, OkComputesTheMinutesOfTheDay) {
  MonitorSettings settings;
  const bool accepted = runWith(settings, [](FileTimes* dialog) {
    edit(dialog, kIdStartHour)->setText("9");
    edit(dialog, kIdStartMinute)->setText("30");
    edit(dialog, kIdStopHour)->setText("25");  // no range is enforced
    edit(dialog, kIdStopMinute)->setText("5");
    QTest::mouseClick(findControlAs<QPushButton>(dialog, 1), Qt::LeftButton);
  });
  EXPECT_TRUE(accepted);
  EXPECT_EQ(settings.collectStartHour, 9);
  EXPECT_EQ(settings.collectStartMinute, 30);
  EXPECT_EQ(settings.collectStopHour, 25);
  EXPECT_EQ(settings.collectStopMinute, 5);
  EXPECT_EQ(settings.collectStartMinuteOfDay, 570);
  EXPECT_EQ(settings.collectStopMinuteOfDay, 1505);
  EXPECT_EQ(collectionWindowOf(settings).stopMinuteOfDay, 1505);
}

TEST(FileTimesTest, CancelChangesNothing) {
  MonitorSettings settings = regularSession();
  const bool accepted = runWith(settings, [](FileTimes* dialog) {
    edit(dialog, kIdStartHour)->setText("1");
    edit(dialog, kIdStopMinute)->setText("7");
    QTest::mouseClick(findControlAs<QPushButton>(dialog, 2), Qt::LeftButton);
  });
  EXPECT_FALSE(accepted);
  const MonitorSettings before = regularSession();
  EXPECT_EQ(settings.collectStartHour, before.collectStartHour);
  EXPECT_EQ(settings.collectStopMinute, before.collectStopMinute);
  EXPECT_EQ(settings.collectStartMinuteOfDay, 570);
  EXPECT_EQ(settings.collectStopMinuteOfDay, 960);
}

}  // namespace
}  // namespace kestrune
