// Desktop notifications on a private session bus with a notification service of the test's own
// that records every Notify call: no desktop needed.
#include "alerts/alarm_notifier.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <vector>

#include "alerts/alert_sound.h"

namespace kestrune {
namespace {

struct NotifyCall {
  uint replacesId;
  QString summary;
  QString body;
  QStringList actions;
};

class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  std::vector<NotifyCall> calls;
  uint lastId = 0;

 public slots:
  uint Notify(const QString&, uint replacesId, const QString&, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap&, int) {
    calls.push_back({replacesId, summary, body, actions});
    return replacesId != 0 ? replacesId : ++lastId;
  }
};

// A session bus of the test's own, gone with it.
class PrivateBus {
 public:
  PrivateBus() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) return;
    process_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
    if (!process_.waitForStarted(5000)) return;
    if (!QTest::qWaitFor([this] { return process_.canReadLine(); }, 5000)) return;
    address_ = QString::fromLatin1(process_.readLine()).trimmed();
  }
  ~PrivateBus() {
    process_.terminate();
    process_.waitForFinished(5000);
  }
  const QString& address() const { return address_; }

 private:
  QProcess process_;
  QString address_;
};

class AlarmNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus_.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon to start";
  }
  // The notification service comes up on the bus.
  void startService() {
    service_.emplace(QDBusConnection::connectToBus(bus_.address(), QStringLiteral("fake")));
    ASSERT_TRUE(service_->isConnected());
    ASSERT_TRUE(service_->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake_,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service_->registerService(QStringLiteral("org.freedesktop.Notifications")));
  }
  void TearDown() override {
    if (service_) QDBusConnection::disconnectFromBus(service_->name());
  }
  std::unique_ptr<AlarmNotifier> makeNotifier() {
    AlarmNotifier::Options o;
    o.windowActive = [this] { return windowActive_; };
    o.raiseWindow = [this] { ++raised_; };
    o.busAddress = bus_.address();
    auto n = std::make_unique<AlarmNotifier>(std::move(o));
    EXPECT_TRUE(QTest::qWaitFor([&] { return n->busConnected(); }, 5000));
    return n;
  }

  PrivateBus bus_;
  FakeNotifications fake_;
  std::optional<QDBusConnection> service_;
  bool windowActive_ = false;
  int raised_ = 0;
};

const AlarmNotice kIbm{"Raw list", "IBM", "3200", "09:30:15"};

TEST_F(AlarmNotifierTest, NoServiceShowsNothingAndCostsNothing) {
  auto notifier = makeNotifier();
  notifier->alarm(kIbm, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier->busy(); }, 10000));
  EXPECT_EQ(notifier->shown(), 0);
  EXPECT_EQ(notifier->failed(), 1);
}

TEST_F(AlarmNotifierTest, QuickAlarmsShareOneNotificationWithARunningCount) {
  startService();
  auto notifier = makeNotifier();
  notifier->alarm(kIbm, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier->busy(); }, 5000));
  ASSERT_EQ(fake_.calls.size(), 1u);
  EXPECT_EQ(fake_.calls[0].replacesId, 0u);
  EXPECT_EQ(fake_.calls[0].summary, "Kestrune alarm: Raw list");
  EXPECT_EQ(fake_.calls[0].body, "IBM, count 3200 at 09:30:15");
  EXPECT_TRUE(fake_.calls[0].actions.contains("default"));

  for (int i = 0; i < 9; ++i) notifier->alarm(kIbm, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier->busy(); }, 5000));
  // Every later call replaces the first notification; the last one shows the whole run.
  EXPECT_EQ(fake_.lastId, 1u);
  for (std::size_t i = 1; i < fake_.calls.size(); ++i) EXPECT_EQ(fake_.calls[i].replacesId, 1u);
  EXPECT_EQ(fake_.calls.back().summary, "Kestrune alarm: Raw list (10 alarms)");

  // A click on it raises the monitor; a click on another program's notification does not.
  for (uint id : {7u, 1u}) {
    QDBusMessage click = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
    click << id << QStringLiteral("default");
    service_->send(click);
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return raised_ == 1; }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(raised_, 1);
}

TEST_F(AlarmNotifierTest, NothingWhileTheWindowIsActiveOrAlarmsAreMuted) {
  startService();
  auto notifier = makeNotifier();
  AlertSoundPlayer* player = AlertSoundPlayer::instance();
  ASSERT_NE(player, nullptr);
  notifier->follow(player);
  windowActive_ = true;
  deferAlertSound("", false, kIbm);
  startDeferredAlertSound();
  windowActive_ = false;
  player->setMuted(true);
  deferAlertSound("", false, kIbm);
  startDeferredAlertSound();
  player->setMuted(false);
  EXPECT_FALSE(notifier->busy());
  deferAlertSound("", false, kIbm);
  startDeferredAlertSound();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier->busy(); }, 5000));
  ASSERT_EQ(fake_.calls.size(), 1u);  // only the alarm sounded with the window in the background
  stopAlertSound();
}

}  // namespace
}  // namespace kestrune

#include "alarm_notifier_test.moc"
