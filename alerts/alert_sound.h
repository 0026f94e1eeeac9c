// The alarm player: one sound at a time for the whole program, asynchronous, once or looping
// until stopped or replaced. playAlertSound and stopAlertSound may be called from any thread;
// the work always happens on the window thread. An empty, missing or unplayable name plays a
// short fixed beep; valid WAV files the platform player refuses are converted in memory first.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string_view>

class QSoundEffect;

namespace kestrune {

void playAlertSound(std::string_view fileName, bool loop);
void stopAlertSound();

class AlertSoundPlayer : public QObject {
  Q_OBJECT

 public:
  // The player of the process, created on first use as a child of the application (window
  // thread only; null without an application object).
  static AlertSoundPlayer* instance();

  void play(const QString& fileName, bool loop);
  void stop();

  // What is playing now: the file handed to the platform player (the original, a converted copy
  // or the beep), whether it loops and whether it is the beep. Empty when nothing plays.
  QString currentSource() const { return currentSource_; }
  bool currentLoops() const { return currentLoop_; }
  bool currentIsBeep() const { return currentBeep_; }
  bool isPlaying() const { return effect_ != nullptr; }

 signals:
  // Emitted for every sound started, after the name was resolved.
  void soundStarted(const QString& source, bool loop, bool beep);
  void soundStopped();

 private:
  explicit AlertSoundPlayer(QObject* parent);
  QString resolve(const QString& fileName, bool& beep);
  QString beepFile();
  void start(const QString& source, bool loop, bool beep);

  QTemporaryDir scratch_;
  QString beepPath_;
  int converted_ = 0;
  QSoundEffect* effect_ = nullptr;
  QString currentSource_;
  bool currentLoop_ = false;
  bool currentBeep_ = false;
};

}  // namespace kestrune
