// The mute's deadline and its status lines, and the wording of the alarm notification.
#include "alerts/alarm_mute.h"

#include <gtest/gtest.h>

#include "alerts/alarm_notice.h"

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using Clock = AlarmMute::Clock;

// A timed mute ends once at its deadline, a later choice replaces the last one, and "until
// unmuted" never runs out.
TEST(AlarmMuteTest, ALaterChoiceReplacesTheLastAndOnlyATimedMuteRunsOut) {
  const Clock::time_point t0{100s};
  AlarmMute m;
  EXPECT_FALSE(m.unmute());  // nothing to end
  m.mute(MuteLength::OneHour, t0);
  m.mute(MuteLength::FiveMinutes, t0 + 10s);  // shorter, still wins
  EXPECT_EQ(m.remaining(t0 + 10s), Clock::duration(5min));
  EXPECT_FALSE(m.expire(t0 + 5min + 9s));
  EXPECT_TRUE(m.muted());
  EXPECT_TRUE(m.expire(t0 + 5min + 10s));
  EXPECT_FALSE(m.muted());
  EXPECT_FALSE(m.expire(t0 + 6min));  // said once

  m.mute(MuteLength::FifteenMinutes, t0);
  m.mute(MuteLength::UntilUnmuted, t0 + 1s);
  EXPECT_FALSE(m.remaining(t0 + 1s).has_value());
  EXPECT_FALSE(m.expire(t0 + 24h));
  EXPECT_TRUE(m.unmute());
  EXPECT_FALSE(m.muted());
}

TEST(AlarmMuteTest, StatusLineNeverPromisesTheAlarmsBackEarlierThanTheyAre) {
  EXPECT_EQ(mutedStatusText(muteEndsAt(10, 30, 0, 15 * 60)), "Alarms muted until 10:45");
  // Muted at 10:30:40 for 15 minutes: back at 10:45:40, so the line says 10:46.
  EXPECT_EQ(mutedStatusText(muteEndsAt(10, 30, 40, 15 * 60)), "Alarms muted until 10:46");
  EXPECT_EQ(mutedStatusText(muteEndsAt(23, 58, 30, 60 * 60)), "Alarms muted until 00:59");
  EXPECT_NE(mutedStatusText(std::nullopt).find("until you unmute"), std::string::npos);
}

TEST(AlarmNotificationTextTest, QuickAlarmsRunUpACountAndAQuietGapStartsAgain) {
  AlarmNotificationText text;
  AlarmNotice raw{"Raw list", "IBM", "3200", "09:30:15"};
  const Clock::time_point t0{1000s};
  auto first = text.take(raw, 1, t0);
  EXPECT_EQ(first.summary, "Kestrune alarm: Raw list");
  EXPECT_EQ(first.body, "IBM, count 3200 at 09:30:15");
  text.take(raw, 1, t0 + 4s);
  auto third = text.take(AlarmNotice{"Listing chart", "", "", "09:30:20"}, 3, t0 + 8s);
  EXPECT_EQ(text.runCount(), 5);  // each gap under 5 s; the batch of three counts three
  EXPECT_EQ(third.summary, "Kestrune alarm: Listing chart (5 alarms)");
  EXPECT_EQ(third.body, "5 alarms in quick succession; latest: at 09:30:20");
  auto later = text.take(raw, 1, t0 + 13s);
  EXPECT_EQ(text.runCount(), 1);
  EXPECT_EQ(later.body, first.body);
}

TEST(AlarmNotificationTextTest, ListNoticeNamesSymbolExchangeAndCount) {
  AlertDecision d;
  d.kind = AlertKind::Seq;
  splitAlertRecord(AlertKind::Seq, "AAPL|NYSE|093017|600|B", d.cells);
  d.sound.symbolAlarm = true;
  const AlarmNotice n = listAlarmNotice(d);
  EXPECT_EQ(n.source, "Watched symbol, Seq list");
  EXPECT_EQ(n.subject, "AAPL on NYSE");
  EXPECT_EQ(n.count, "600");
  EXPECT_EQ(n.time, "09:30:17");
}

}  // namespace
}  // namespace kestrune
