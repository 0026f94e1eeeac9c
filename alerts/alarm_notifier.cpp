#include "alerts/alarm_notifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>
#include <atomic>
#include <thread>

#include "alerts/alert_sound.h"

namespace kestrune {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
constexpr int kCallTimeoutMs = 5000;

QString nextConnectionName() {
  static std::atomic<int> n{0};
  return QStringLiteral("kestrune-alarms-%1").arg(++n);
}

}  // namespace

AlarmNotifier::AlarmNotifier(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), alive_(std::make_shared<bool>(true)) {
  // Connecting asks the bus daemon (or, with no address known, may start a helper to find one):
  // that is done away from the window thread, which only takes the connection once made.
  std::weak_ptr<bool> alive = alive_;
  QPointer<AlarmNotifier> self(this);
  std::thread([address = options_.busAddress, alive, self] {
    const QString name = nextConnectionName();
    QDBusConnection bus = address.isEmpty()
                              ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                              : QDBusConnection::connectToBus(address, name);
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || alive.expired()) return;
    QMetaObject::invokeMethod(
        app,
        [alive, self, bus] {
          if (!alive.expired() && self) self->connected(bus);
        },
        Qt::QueuedConnection);
  }).detach();
}

AlarmNotifier::~AlarmNotifier() {
  alive_.reset();
  if (bus_) QDBusConnection::disconnectFromBus(bus_->name());
}

void AlarmNotifier::follow(AlertSoundPlayer* player) {
  if (player == nullptr) return;
  connect(player, &AlertSoundPlayer::alarmRaised, this, &AlarmNotifier::alarm);
}

void AlarmNotifier::connected(const QDBusConnection& bus) {
  if (!bus.isConnected()) return;  // no session bus: no notifications, silently
  bus_ = bus;
  // Any sender: asking the bus who owns the name would be a call that waits.
  bus_->connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(actionInvoked(uint, QString)));
  bus_->connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(notificationClosed(uint, uint)));
  emit busReady();
}

void AlarmNotifier::alarm(const AlarmNotice& notice, int alarms) {
  if (!bus_) return;
  if (options_.windowActive && options_.windowActive()) return;
  pending_ = text_.take(notice, alarms, AlarmNotificationText::Clock::now());
  if (inFlight_ == nullptr) send();
}

void AlarmNotifier::send() {
  if (!bus_ || !pending_) return;
  const AlarmNotificationText::Text text = *std::exchange(pending_, std::nullopt);
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("com.brenmoor.Kestrune"));
  hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
  call << QStringLiteral("Kestrune") << id_ << QStringLiteral("com.brenmoor.Kestrune")
       << QString::fromLocal8Bit(text.summary) << QString::fromLocal8Bit(text.body)
       << QStringList{QStringLiteral("default"), QStringLiteral("Show Monitor")} << hints
       << int{-1};
  inFlight_ = new QDBusPendingCallWatcher(bus_->asyncCall(call, kCallTimeoutMs), this);
  connect(inFlight_, &QDBusPendingCallWatcher::finished, this, &AlarmNotifier::answered);
}

void AlarmNotifier::answered(QDBusPendingCallWatcher* call) {
  call->deleteLater();
  if (call != inFlight_) return;
  inFlight_ = nullptr;
  QDBusPendingReply<uint> reply = *call;
  if (reply.isError()) {
    // No service, or one that does not answer: this alarm is not shown, and neither are those
    // that waited behind it; the next alarm tries again.
    ++failed_;
    pending_.reset();
    return;
  }
  id_ = reply.value();
  ++shown_;
  emit notified(id_);
  send();
}

void AlarmNotifier::actionInvoked(uint id, const QString& action) {
  if (id == 0 || id != id_) return;  // another program's notification
  if (action == QLatin1String("default") && options_.raiseWindow) options_.raiseWindow();
}

void AlarmNotifier::notificationClosed(uint id, uint) {
  if (id != 0 && id == id_) id_ = 0;  // the next alarm makes a new one
}

}  // namespace kestrune
