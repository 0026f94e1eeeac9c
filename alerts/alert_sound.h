// The alarm player: one sound at a time for the whole program, asynchronous, once or looping
// until stopped or replaced. playAlertSound and stopAlertSound may be called from any thread;
// the work always happens on the window thread. An empty, missing or unplayable name plays a
// short fixed beep. Each file is read, checked and converted to plain PCM once and kept in memory
// until it changes on disk; the samples go straight from memory to the audio output, so starting,
// replacing or stopping a sound never waits on a file loader.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <map>
#include <optional>
#include <string_view>

#include "settings/regular_file.h"

class QAudioSink;
class QIODevice;

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

  // What is playing now: the file whose sound plays (empty for the beep), whether it loops and
  // whether it is the beep. Playing means started and neither stopped nor replaced; a sound that
  // played once to its end still counts, as does any sound where there is no audio output.
  QString currentSource() const { return currentSource_; }
  bool currentLoops() const { return currentLoop_; }
  bool currentIsBeep() const { return currentBeep_; }
  bool isPlaying() const { return playing_; }
  // How many times an alarm file was read from disk and checked, and how many of those reads
  // needed a conversion: each version of a file is read once.
  int filesRead() const { return filesRead_; }
  int conversions() const { return conversions_; }
  // True while the audio output holds an open stream for the current sound.
  bool outputOpen() const { return sink_ != nullptr; }

 signals:
  // Emitted for every sound started, after the name was resolved.
  void soundStarted(const QString& source, bool loop, bool beep);
  void soundStopped();
  // A file that is not played for a reason the user should know (once per version of the file).
  void soundRefused(const QString& message);

 private:
  explicit AlertSoundPlayer(QObject* parent);
  // A sound ready to play: its samples and their format. A file that cannot be played keeps
  // an invalid format, and the beep plays in its place.
  struct Sound {
    QAudioFormat format;
    QByteArray pcm;
  };
  struct Resolved {
    FileIdentity identity;
    Sound sound;
  };
  const Sound& resolve(const QString& fileName);
  Sound check(const QString& fileName);
  const Sound& beep();
  void start(const QString& source, const Sound& sound, bool loop);
  void closeOutput();
  // Tops the output up with the current sound, round and round when it loops.
  void feed();

  Sound beep_;
  int filesRead_ = 0;
  int conversions_ = 0;
  std::map<QString, Resolved> resolved_;
  std::size_t resolvedBytes_ = 0;
  std::optional<std::pair<QString, bool>> deferred_;
  QAudioSink* sink_ = nullptr;
  QIODevice* output_ = nullptr;  // the sink's own, written to
  QTimer feeder_;
  QByteArray pcm_;
  bool loop_ = false;
  qint64 fed_ = 0;  // bytes handed to the output so far
  bool playing_ = false;
  QString currentSource_;
  bool currentLoop_ = false;
  bool currentBeep_ = false;
};

}  // namespace kestrune
