#include "alerts/alarm_mute_control.h"

#include <QMenu>
#include <QTime>
#include <chrono>

#include "alerts/alert_sound.h"

namespace kestrune {

AlarmMuteControl::AlarmMuteControl(std::function<void(const std::string&)> showStatus,
                                   QObject* parent)
    : QObject(parent), showStatus_(std::move(showStatus)) {
  setObjectName(QStringLiteral("AlarmMuteControl"));
  expiry_.setSingleShot(true);
  connect(&expiry_, &QTimer::timeout, this, &AlarmMuteControl::timeUp);
}

AlarmMuteControl* AlarmMuteControl::of(const QObject* owner) {
  return owner ? owner->findChild<AlarmMuteControl*>(QStringLiteral("AlarmMuteControl"),
                                                     Qt::FindDirectChildrenOnly)
               : nullptr;
}

QMenu* AlarmMuteControl::createMenu(QWidget* parent) {
  auto* menu = new QMenu(QStringLiteral("&Mute Alarms"), parent);
  menu->setObjectName(QStringLiteral("MuteAlarmsMenu"));
  for (const MuteChoice& choice : muteChoices()) {
    QAction* action = menu->addAction(QString::fromLatin1(choice.caption));
    const MuteLength length = choice.length;
    connect(action, &QAction::triggered, this, [this, length] { mute(length); });
  }
  menu->addSeparator();
  QAction* off = menu->addAction(QStringLiteral("U&nmute Alarms"));
  off->setObjectName(QStringLiteral("UnmuteAlarmsAction"));
  connect(off, &QAction::triggered, this, &AlarmMuteControl::unmute);
  // Built fresh or shown again: the item follows the mute as it is when the menu opens.
  connect(menu, &QMenu::aboutToShow, off, [this, off] { off->setEnabled(muted()); });
  off->setEnabled(muted());
  return menu;
}

void AlarmMuteControl::mute(MuteLength length) {
  const auto now = AlarmMute::Clock::now();
  mute_.mute(length, now);
  const auto left = mute_.remaining(now);
  if (left) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*left).count();
    expiry_.start(static_cast<int>(ms));
    const QTime t = QTime::currentTime();
    showStatus_(mutedStatusText(
        muteEndsAt(t.hour(), t.minute(), t.second(), static_cast<int>((ms + 999) / 1000))));
  } else {
    expiry_.stop();
    showStatus_(mutedStatusText(std::nullopt));
  }
  apply();
}

void AlarmMuteControl::unmute() {
  expiry_.stop();
  if (!mute_.unmute()) return;
  showStatus_(unmutedStatusText(false));
  apply();
}

void AlarmMuteControl::timeUp() {
  // The timer may fire a little early or late; the mute's own clock decides.
  const auto now = AlarmMute::Clock::now();
  if (!mute_.expire(now)) {
    if (const auto left = mute_.remaining(now)) {
      expiry_.start(static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*left).count() + 1));
    }
    return;
  }
  showStatus_(unmutedStatusText(true));
  apply();
}

void AlarmMuteControl::apply() {
  if (AlertSoundPlayer* player = AlertSoundPlayer::instance()) player->setMuted(muted());
  emit mutedChanged(muted());
}

}  // namespace kestrune
