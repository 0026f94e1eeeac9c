// Mute Alarms through the real player: while muted no sound is asked for and no alarm is told;
// the status line says when alarms come back, and says so again when they do.
#include "alerts/alarm_mute_control.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "alerts/alert_sound.h"

namespace kestrune {
namespace {

TEST(AlarmMuteControlTest, MutedAlarmsAreNeitherPlayedNorToldAndComeBack) {
  AlertSoundPlayer* player = AlertSoundPlayer::instance();
  ASSERT_NE(player, nullptr);
  std::vector<std::string> status;
  AlarmMuteControl control([&](const std::string& s) { status.push_back(s); }, nullptr);
  QSignalSpy told(player, &AlertSoundPlayer::alarmRaised);
  QSignalSpy started(player, &AlertSoundPlayer::soundStarted);

  std::unique_ptr<QMenu> menu(control.createMenu(nullptr));
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(items.size(), 6);  // four lengths, a separator, Unmute
  EXPECT_EQ(items[3]->text(), "&Until I Unmute");
  QAction* unmute = menu->findChild<QAction*>(QStringLiteral("UnmuteAlarmsAction"));
  ASSERT_NE(unmute, nullptr);
  EXPECT_FALSE(unmute->isEnabled());

  items[1]->trigger();  // 15 minutes
  EXPECT_TRUE(player->muted());
  EXPECT_TRUE(control.expiry().isActive());
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].rfind("Alarms muted until ", 0), 0u) << status[0];
  emit menu->aboutToShow();
  EXPECT_TRUE(unmute->isEnabled());

  deferAlertSound("", false, AlarmNotice{"Raw list", "IBM", "3200", "09:30:15"});
  startDeferredAlertSound();
  playAlertSound("", true);
  QTest::qWait(50);
  EXPECT_EQ(told.count(), 0);
  EXPECT_EQ(started.count(), 0);

  unmute->trigger();
  EXPECT_FALSE(player->muted());
  EXPECT_FALSE(control.expiry().isActive());
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[1], "Alarms are back on");
  deferAlertSound("", false, AlarmNotice{"Raw list", "IBM", "3200", "09:30:15"});
  deferAlertSound("", false, AlarmNotice{"Raw list", "MSFT", "900", "09:30:16"});
  startDeferredAlertSound();
  ASSERT_EQ(told.count(), 1);
  EXPECT_EQ(told[0][1].toInt(), 2);
  EXPECT_TRUE(QTest::qWaitFor([&] { return started.count() == 1; }, 5000));
  stopAlertSound();
}

}  // namespace
}  // namespace kestrune
