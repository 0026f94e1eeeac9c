// Alarms as desktop notifications, for a user whose monitor is behind another window or on
// another desktop. At most one notification is on screen: each alarm replaces it in place, and
// alarms that come in quick succession show as one running count (alarm_notice.h). Clicking the
// notification raises the monitor. Nothing is shown while the window is active, while alarms are
// muted (the player tells no alarm then), or where no notification service runs.
//
// Nothing here waits on the bus: the connection is made on a thread of its own, and every call is
// asynchronous; while one is on its way, later alarms wait for its answer (so they can replace
// what it showed) and only the newest of them is sent.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "alerts/alarm_notice.h"

class QDBusPendingCallWatcher;

namespace kestrune {

class AlertSoundPlayer;

class AlarmNotifier : public QObject {
  Q_OBJECT

 public:
  struct Options {
    std::function<bool()> windowActive;  // no notification while it answers true
    std::function<void()> raiseWindow;   // a click on the notification
    QString busAddress;                  // empty: the user's session bus
  };
  AlarmNotifier(Options options, QObject* parent = nullptr);
  ~AlarmNotifier() override;

  // Tells every alarm the player sounds.
  void follow(AlertSoundPlayer* player);
  void alarm(const AlarmNotice& notice, int alarms);

  bool busConnected() const { return bus_.has_value(); }
  // Notifications the service took, and calls it refused or nobody answered.
  int shown() const { return shown_; }
  int failed() const { return failed_; }
  // True while a call is on its way or waiting to be sent.
  bool busy() const { return inFlight_ != nullptr || pending_.has_value(); }

 signals:
  void busReady();
  void notified(uint id);

 private slots:
  void actionInvoked(uint id, const QString& action);
  void notificationClosed(uint id, uint reason);

 private:
  void connected(const QDBusConnection& bus);
  void send();
  void answered(QDBusPendingCallWatcher* call);

  Options options_;
  std::optional<QDBusConnection> bus_;
  AlarmNotificationText text_;
  std::optional<AlarmNotificationText::Text> pending_;
  QDBusPendingCallWatcher* inFlight_ = nullptr;
  uint id_ = 0;  // the notification on screen, to be replaced; 0 for none
  int shown_ = 0;
  int failed_ = 0;
  std::shared_ptr<bool> alive_;
};

}  // namespace kestrune
