// The alarm player: one sound at a time for the whole program, asynchronous, once or looping
// until stopped or replaced. playAlertSound and stopAlertSound may be called from any thread and
// return at once. An empty, missing or unplayable name plays a short fixed beep. Each file is
// read, checked and converted to plain PCM once and kept in memory until it changes on disk.
//
// Everything that touches a file or the sound server (the look at the file, its loading, the
// audio output) runs on a sound thread of its own: the window thread only leaves the latest
// request there and never waits on it. A sound server that stalls costs the sound, never the
// window; the player says so once through soundRefused.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "alerts/alarm_notice.h"

class QThread;

namespace kestrune {

void playAlertSound(std::string_view fileName, bool loop);
void stopAlertSound();

// Window thread, while one batch of live records is applied: every sound started replaces the
// one before, so of all the sounds the batch asks for only the last could be heard. It alone is
// started, by startDeferredAlertSound at the end of the batch. notice says what the alarm was
// about; the batch's alarms are counted and the last notice is told with alarmRaised.
void deferAlertSound(std::string_view fileName, bool loop, AlarmNotice notice = {});
void startDeferredAlertSound();

class AlertSoundEngine;
struct AlertSoundLink;
struct AlertSoundReport;

class AlertSoundPlayer : public QObject {
  Q_OBJECT

 public:
  // The player of the process, created on first use as a child of the application (window
  // thread only; null without an application object).
  static AlertSoundPlayer* instance();
  // Gives the sound thread a moment to stop its sound, then lets it go: a stalled sound server
  // never holds the program's end for more than about a second.
  ~AlertSoundPlayer() override;

  void play(const QString& fileName, bool loop);
  void stop();
  // Keeps the request as the one to start at the end of the batch; see deferAlertSound.
  void defer(const QString& fileName, bool loop, AlarmNotice notice = {});
  void startDeferred();
  // While muted, every request to play is dropped and no alarm is told; muting stops the sound
  // that plays. Stop requests still go through.
  void setMuted(bool muted);
  bool muted() const { return muted_; }

  // What the sound thread last reported as playing: the file whose sound plays (empty for the
  // beep), whether it loops and whether it is the beep. Playing means started and neither
  // stopped nor replaced; a sound that played once to its end still counts, as does any sound
  // where there is no audio output. A request is reflected here once settled() turns true.
  QString currentSource() const { return currentSource_; }
  bool currentLoops() const { return currentLoop_; }
  bool currentIsBeep() const { return currentBeep_; }
  bool isPlaying() const { return playing_; }
  // How many times an alarm file was read from disk and checked, and how many of those reads
  // needed a conversion: each version of a file is read once.
  int filesRead() const { return filesRead_; }
  int conversions() const { return conversions_; }
  // True while the audio output holds an open stream for the current sound.
  bool outputOpen() const { return outputOpen_; }
  // True once the sound thread has handled every request made so far and its report arrived.
  bool settled() const { return reported_ == requested_; }

 signals:
  // Emitted for every sound started, after the name was resolved.
  void soundStarted(const QString& source, bool loop, bool beep);
  void soundStopped();
  // A batch of live alarms was sounded: how many, and the notice of the last one.
  void alarmRaised(const kestrune::AlarmNotice& notice, int alarms);
  // A sound that is not heard for a reason the user should know: a file refused (once per
  // version of the file), no sound output, or a sound server that does not answer (once each
  // time it stops answering).
  void soundRefused(const QString& message);

 private:
  friend class AlertSoundEngine;
  explicit AlertSoundPlayer(QObject* parent);
  void post(std::optional<std::pair<QString, bool>> sound);
  void take(const AlertSoundReport& report);
  void checkStalled();

  std::shared_ptr<AlertSoundLink> link_;
  QThread* thread_ = nullptr;
  AlertSoundEngine* engine_ = nullptr;  // lives on thread_; gone with it
  std::optional<std::pair<QString, bool>> deferred_;
  AlarmNotice deferredNotice_;
  int deferredAlarms_ = 0;
  bool muted_ = false;
  quint64 requested_ = 0;
  quint64 reported_ = 0;
  // Runs while a request is waiting for the sound thread; when one waits too long, the sound
  // server is taken as stalled.
  QTimer watchdog_;
  QElapsedTimer waiting_;
  bool stallSaid_ = false;
  int filesRead_ = 0;
  int conversions_ = 0;
  bool outputOpen_ = false;
  bool playing_ = false;
  QString currentSource_;
  bool currentLoop_ = false;
  bool currentBeep_ = false;
};

}  // namespace kestrune
