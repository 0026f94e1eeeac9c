// The alarm player: one sound at a time for the whole program, asynchronous, once or looping
// until stopped or replaced. playAlertSound and stopAlertSound may be called from any thread;
// the work always happens on the window thread. An empty, missing or unplayable name plays a
// short fixed beep; valid WAV files the platform player refuses are converted in memory first.
// Each file is read, checked and converted once and kept until it changes on disk.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "settings/regular_file.h"

class QSoundEffect;

namespace kestrune {

void playAlertSound(std::string_view fileName, bool loop);
void stopAlertSound();

// Window thread, while one batch of live records is applied: every sound started replaces the
// one before, so of all the sounds the batch asks for only the last could be heard. It alone is
// started, by startDeferredAlertSound at the end of the batch.
void deferAlertSound(std::string_view fileName, bool loop);
void startDeferredAlertSound();

class AlertSoundPlayer : public QObject {
  Q_OBJECT

 public:
  // The player of the process, created on first use as a child of the application (window
  // thread only; null without an application object).
  static AlertSoundPlayer* instance();

  void play(const QString& fileName, bool loop);
  void stop();
  // Keeps the request as the one to start at the end of the batch; see deferAlertSound.
  void defer(const QString& fileName, bool loop);
  void startDeferred();

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
  // A file that is not played for a reason the user should know (once per version of the file).
  void soundRefused(const QString& message);

 private:
  explicit AlertSoundPlayer(QObject* parent);
  // What a file name resolved to: the file handed to the platform player, or the beep.
  struct Resolved {
    FileIdentity identity;
    QString source;
    bool beep = true;
    QString convertedCopy;  // our own converted copy, removed when the entry goes
  };
  QString resolve(const QString& fileName, bool& beep);
  Resolved check(const QString& fileName);
  void forget(const QString& fileName);
  QString beepFile();
  void start(const QString& source, bool loop, bool beep);

  QTemporaryDir scratch_;
  QString beepPath_;
  int converted_ = 0;
  std::map<QString, Resolved> resolved_;
  std::optional<std::pair<QString, bool>> deferred_;
  QSoundEffect* effect_ = nullptr;
  QString currentSource_;
  bool currentLoop_ = false;
  bool currentBeep_ = false;
};

}  // namespace kestrune
