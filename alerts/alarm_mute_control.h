// "Mute Alarms": the menu that silences sounds and notifications for a while, the timer that
// brings them back, and the status lines that say so. The window creates one as its child; the
// Preferences menu and the status line's context menu both show its menu.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "alerts/alarm_mute.h"

class QMenu;
class QWidget;

namespace kestrune {

class AlarmMuteControl : public QObject {
  Q_OBJECT

 public:
  // showStatus puts a line on the status box.
  AlarmMuteControl(std::function<void(const std::string&)> showStatus, QObject* parent);

  // The AlarmMuteControl among owner's children, or null.
  static AlarmMuteControl* of(const QObject* owner);

  // A fresh "Mute Alarms" submenu owned by parent: the four lengths, then "Unmute Alarms",
  // usable while muted.
  QMenu* createMenu(QWidget* parent);

  void mute(MuteLength length);
  void unmute();
  bool muted() const { return mute_.muted(); }
  // The timer that ends a timed mute; inactive otherwise.
  const QTimer& expiry() const { return expiry_; }

 signals:
  void mutedChanged(bool muted);

 private:
  void timeUp();
  void apply();

  AlarmMute mute_;
  QTimer expiry_;
  std::function<void(const std::string&)> showStatus_;
};

}  // namespace kestrune
