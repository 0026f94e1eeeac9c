#include "alerts/alert_sound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "alerts/wav_data.h"
#include "settings/regular_file.h"

namespace kestrune {

namespace {

// Alarm files are short; anything much larger is not read into memory.
constexpr std::size_t kMaxWavBytes = 64 * 1024 * 1024;
// Seven slots' worth of sounds is the usual; a long session of changing names or a few very
// long recordings stays bounded, in entries and in bytes held.
constexpr std::size_t kKeptSounds = 32;
constexpr std::size_t kKeptBytes = 128 * 1024 * 1024;
// The output holds about a fifth of a second ahead; it is topped up from memory every 40 ms.
constexpr qint64 kOutputBufferUs = 200'000;
constexpr int kFeedMs = 40;
// Loading the largest file takes a fraction of a second; a request left waiting on the sound
// thread for this long means the sound server (or the file) does not answer.
constexpr int kStalledMs = 2000;
constexpr int kWatchMs = 250;
// How long the program's end waits for the sound thread to close its output.
constexpr int kTeardownMs = 800;

QPointer<AlertSoundPlayer>& playerSlot() {
  static QPointer<AlertSoundPlayer> player;
  return player;
}

bool onWindowThread() {
  auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

template <typename Fn>
void onWindow(Fn fn) {
  auto* app = QCoreApplication::instance();
  if (!app) return;
  if (onWindowThread()) {
    fn();
  } else {
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
  }
}

// The samples of a WAV file the output takes as they stand (8 or 16-bit PCM, whole frames);
// nothing for any other layout.
std::optional<QAudioFormat> pcmFormat(const WavFormat& f) {
  if (f.formatTag != 1 || (f.bitsPerSample != 8 && f.bitsPerSample != 16) || f.channels > 2 ||
      f.blockAlign != f.channels * f.bitsPerSample / 8 ||
      f.sampleRate > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  QAudioFormat format;
  format.setSampleRate(static_cast<int>(f.sampleRate));
  format.setChannelCount(f.channels);
  format.setSampleFormat(f.bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
  return format;
}

QByteArray framesOf(const WavFormat& f, std::span<const std::uint8_t> wav) {
  const std::size_t bytes = f.dataSize - f.dataSize % f.blockAlign;
  return QByteArray(reinterpret_cast<const char*>(wav.data() + f.dataOffset),
                    static_cast<qsizetype>(bytes));
}

const QString kNoOutput = QStringLiteral("No sound output is available: alarms cannot be heard");

}  // namespace

// What the sound thread tells the window after each request, and whenever its output changes on
// its own: the whole state, and what happened in order.
struct AlertSoundReport {
  struct Event {
    enum Kind { Started, Stopped, Refused } kind;
    QString text;  // the source started, or the message
    bool loop = false;
    bool beep = false;
  };
  quint64 handled = 0;
  std::vector<Event> events;
  int filesRead = 0;
  int conversions = 0;
  bool outputOpen = false;
  bool playing = false;
  QString source;
  bool loop = false;
  bool beep = false;
};

// Shared by the player (window thread) and its engine (sound thread). Only the latest request
// waits here: while the sound thread is held up, newer requests replace older ones, as the sounds
// themselves would.
struct AlertSoundLink {
  struct Request {
    quint64 seq = 0;
    std::optional<std::pair<QString, bool>> sound;  // nothing: stop
  };
  std::mutex mutex;
  AlertSoundPlayer* player = nullptr;  // null once the player is gone
  std::optional<Request> pending;
  bool wakePosted = false;
  bool shutdown = false;
  std::atomic<bool> readingFile = false;
};

// The player's work, on the sound thread: the file cache, the beep and the audio output.
class AlertSoundEngine : public QObject {
 public:
  explicit AlertSoundEngine(std::shared_ptr<AlertSoundLink> link) : link_(std::move(link)) {
    connect(&feeder_, &QTimer::timeout, this, [this] { feed(); });
  }
  ~AlertSoundEngine() override { closeOutput(); }

  // Takes the latest request left by the player (queued to this thread).
  void take();

 private:
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
  void play(const QString& fileName, bool loop);
  void start(const QString& source, const Sound& sound, bool loop);
  void stop();
  void closeOutput();
  void feed();
  void noOutput();
  void event(AlertSoundReport::Event e) { events_.push_back(std::move(e)); }
  void report();

  std::shared_ptr<AlertSoundLink> link_;
  quint64 handled_ = 0;
  std::vector<AlertSoundReport::Event> events_;
  bool noOutputSaid_ = false;
  Sound beep_;
  int filesRead_ = 0;
  int conversions_ = 0;
  std::map<QString, Resolved> resolved_;
  std::size_t resolvedBytes_ = 0;
  QAudioSink* sink_ = nullptr;
  QIODevice* output_ = nullptr;  // the sink's own, written to
  QTimer feeder_{this};
  QByteArray pcm_;
  bool loop_ = false;
  qint64 fed_ = 0;  // bytes handed to the output so far
  bool playing_ = false;
  QString currentSource_;
  bool currentLoop_ = false;
  bool currentBeep_ = false;
};

void AlertSoundEngine::take() {
  std::optional<AlertSoundLink::Request> request;
  {
    std::lock_guard lock(link_->mutex);
    link_->wakePosted = false;
    if (link_->shutdown) {
      // Deleted as the thread finishes, closing the output.
      deleteLater();
      QThread::currentThread()->quit();
      return;
    }
    request = std::exchange(link_->pending, std::nullopt);
  }
  if (!request) return;
  if (request->sound) {
    play(request->sound->first, request->sound->second);
  } else {
    stop();
  }
  handled_ = request->seq;
  report();
}

void AlertSoundEngine::report() {
  AlertSoundReport r{handled_,         std::exchange(events_, {}),
                     filesRead_,       conversions_,
                     sink_ != nullptr, playing_,
                     currentSource_,   currentLoop_,
                     currentBeep_};
  std::lock_guard lock(link_->mutex);
  if (AlertSoundPlayer* player = link_->player) {
    QMetaObject::invokeMethod(
        player, [player, r = std::move(r)] { player->take(r); }, Qt::QueuedConnection);
  }
}

void AlertSoundEngine::noOutput() {
  if (std::exchange(noOutputSaid_, true)) return;
  event({AlertSoundReport::Event::Refused, kNoOutput});
}

const AlertSoundEngine::Sound& AlertSoundEngine::beep() {
  if (!beep_.format.isValid()) {
    const std::vector<std::uint8_t> wav = makeBeepWav();
    const std::optional<WavFormat> f = parseWav(wav);
    beep_.format = *pcmFormat(*f);
    beep_.pcm = framesOf(*f, wav);
  }
  return beep_;
}

AlertSoundEngine::Sound AlertSoundEngine::check(const QString& fileName) {
  // A FIFO, a device or a folder is never read (it would hang or flood the player): it beeps,
  // as a missing file does.
  RegularFile file = openRegularFile(fileName.toLocal8Bit().toStdString());
  if (!file.isOpen()) return {};
  ++filesRead_;
  std::optional<std::vector<std::uint8_t>> bytes;
  if (file.identity().size <= kMaxWavBytes) bytes = file.readAll(kMaxWavBytes);
  if (!bytes) {
    if (file.identity().size > kMaxWavBytes) {
      event({AlertSoundReport::Event::Refused,
             QStringLiteral("Alarm sound %1 is larger than 64 MB: a beep plays instead")
                 .arg(fileName)});
    }
    return {};
  }
  std::optional<WavFormat> f = parseWav(*bytes);
  if (!f) return {};
  if (!wavPlaysAsIs(*f, *bytes)) {
    // 24/32-bit, float, extensible headers, more than two channels: plain 16-bit PCM instead.
    std::optional<std::vector<std::uint8_t>> converted = convertWavToPcm16(*bytes);
    if (!converted) return {};
    ++conversions_;
    *bytes = std::move(*converted);
    f = parseWav(*bytes);
    if (!f) return {};
  }
  const std::optional<QAudioFormat> format = pcmFormat(*f);
  if (!format) return {};
  return {*format, framesOf(*f, *bytes)};
}

const AlertSoundEngine::Sound& AlertSoundEngine::resolve(const QString& fileName) {
  if (fileName.isEmpty()) return beep();
  // One look at the file's identity per sound started; it is read again only once it changed.
  link_->readingFile = true;
  const std::optional<FileIdentity> now = fileIdentity(fileName.toLocal8Bit().toStdString());
  auto it = resolved_.find(fileName);
  if (it != resolved_.end() && now && it->second.identity == *now) {
    link_->readingFile = false;
    return it->second.sound.format.isValid() ? it->second.sound : beep();
  }
  if (it != resolved_.end()) {
    resolvedBytes_ -= static_cast<std::size_t>(it->second.sound.pcm.size());
    resolved_.erase(it);
  }
  if (!now) {
    link_->readingFile = false;
    return beep();
  }
  Resolved r{*now, check(fileName)};
  link_->readingFile = false;
  const auto bytes = static_cast<std::size_t>(r.sound.pcm.size());
  while (!resolved_.empty() &&
         (resolved_.size() >= kKeptSounds || resolvedBytes_ + bytes > kKeptBytes)) {
    resolvedBytes_ -= static_cast<std::size_t>(resolved_.begin()->second.sound.pcm.size());
    resolved_.erase(resolved_.begin());
  }
  resolvedBytes_ += bytes;
  it = resolved_.emplace(fileName, std::move(r)).first;
  return it->second.sound.format.isValid() ? it->second.sound : beep();
}

void AlertSoundEngine::play(const QString& fileName, bool loop) {
  const Sound& sound = resolve(fileName);
  start(&sound == &beep_ ? QString() : fileName, sound, loop);
}

void AlertSoundEngine::closeOutput() {
  feeder_.stop();
  output_ = nullptr;
  pcm_.clear();
  if (!sink_) return;
  // The sink goes later, as this may run inside one of its own signals.
  disconnect(sink_, nullptr, this, nullptr);
  sink_->stop();
  sink_->deleteLater();
  sink_ = nullptr;
}

void AlertSoundEngine::feed() {
  if (!sink_ || !output_) return;
  const qint64 frame = sink_->format().bytesPerFrame();
  qint64 room = sink_->bytesFree();
  room -= room % frame;
  // A sound that plays once is followed by silence until the output's buffer was filled once:
  // the output starts playing only when it is full, and a short beep alone would never fill it.
  const qint64 size = pcm_.size();
  const qint64 end = loop_ ? -1 : std::max(size, sink_->bufferSize() - sink_->bufferSize() % frame);
  while (room > 0 && (end < 0 || fed_ < end)) {
    const qint64 at = loop_ ? fed_ % size : fed_;
    qint64 n = std::min(room, at < size ? size - at : end - fed_);
    const char* from = pcm_.constData() + at;
    QByteArray silence;
    if (at >= size) {
      const bool unsignedSamples = sink_->format().sampleFormat() == QAudioFormat::UInt8;
      silence = QByteArray(static_cast<qsizetype>(n), unsignedSamples ? '\x80' : '\0');
      from = silence.constData();
    }
    n = output_->write(from, n);
    if (n <= 0) break;
    fed_ += n;
    room -= n;
  }
  if (!loop_ && fed_ >= end) feeder_.stop();
}

void AlertSoundEngine::start(const QString& source, const Sound& sound, bool loop) {
  closeOutput();
  const bool isBeep = &sound == &beep_;
  // Where there is no audio output at all, nothing is heard (said once) and nothing else fails:
  // the sound still counts as playing until stopped or replaced.
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (!isBeep && !device.isNull() && !device.isFormatSupported(sound.format)) {
    start(QString(), beep(), loop);
    return;
  }
  playing_ = true;
  currentSource_ = source;
  currentLoop_ = loop;
  currentBeep_ = isBeep;
  event({AlertSoundReport::Event::Started, source, loop, isBeep});
  if (device.isNull()) {
    noOutput();
    return;
  }
  noOutputSaid_ = false;
  if (!device.isFormatSupported(sound.format) || sound.pcm.isEmpty()) return;
  sink_ = new QAudioSink(device, sound.format, this);
  QAudioSink* sink = sink_;
  sink->setBufferSize(static_cast<qsizetype>(sound.format.bytesForDuration(kOutputBufferUs)));
  // An output that fails to open or breaks off falls back to the beep, once; a beep that cannot
  // be played either means there is no sound output.
  auto failed = [this, sink, loop, isBeep] {
    if (sink != sink_ || sink->state() != QAudio::StoppedState) return false;
    // Running out of samples is how a sound that plays once ends, not a failure.
    if (sink->error() == QAudio::NoError || sink->error() == QAudio::UnderrunError) return false;
    if (isBeep) {
      closeOutput();
      noOutput();
    } else {
      start(QString(), beep(), loop);
    }
    return true;
  };
  // Later failures come on their own, outside any request: they are reported by themselves.
  connect(sink, &QAudioSink::stateChanged, this, [this, failed] {
    if (failed()) report();
  });
  output_ = sink->start();
  failed();
  if (sink != sink_ || !output_) return;
  pcm_ = sound.pcm;
  loop_ = loop;
  fed_ = 0;
  feed();
  feeder_.start(kFeedMs);
}

void AlertSoundEngine::stop() {
  closeOutput();
  const bool was = playing_;
  playing_ = false;
  currentSource_.clear();
  currentLoop_ = false;
  currentBeep_ = false;
  if (was) event({AlertSoundReport::Event::Stopped, {}});
}

void playAlertSound(std::string_view fileName, bool loop) {
  QString name = QString::fromLocal8Bit(fileName.data(), static_cast<qsizetype>(fileName.size()));
  onWindow([name, loop] {
    if (auto* p = AlertSoundPlayer::instance()) p->play(name, loop);
  });
}

void stopAlertSound() {
  onWindow([] {
    if (auto* p = AlertSoundPlayer::instance()) p->stop();
  });
}

void deferAlertSound(std::string_view fileName, bool loop, AlarmNotice notice) {
  if (auto* p = AlertSoundPlayer::instance()) {
    p->defer(QString::fromLocal8Bit(fileName.data(), static_cast<qsizetype>(fileName.size())), loop,
             std::move(notice));
  }
}

void startDeferredAlertSound() {
  if (auto* p = AlertSoundPlayer::instance()) p->startDeferred();
}

AlertSoundPlayer* AlertSoundPlayer::instance() {
  auto& slot = playerSlot();
  if (!slot && onWindowThread()) slot = new AlertSoundPlayer(QCoreApplication::instance());
  return slot;
}

AlertSoundPlayer::AlertSoundPlayer(QObject* parent)
    : QObject(parent), link_(std::make_shared<AlertSoundLink>()), thread_(new QThread) {
  link_->player = this;
  thread_->setObjectName(QStringLiteral("alarm sound"));
  auto* engine = new AlertSoundEngine(link_);
  engine->moveToThread(thread_);
  engine_ = engine;
  thread_->start();
  watchdog_.setInterval(kWatchMs);
  connect(&watchdog_, &QTimer::timeout, this, &AlertSoundPlayer::checkStalled);
}

AlertSoundPlayer::~AlertSoundPlayer() {
  {
    std::lock_guard lock(link_->mutex);
    link_->player = nullptr;
    link_->shutdown = true;
    if (!std::exchange(link_->wakePosted, true)) {
      QMetaObject::invokeMethod(engine_, &AlertSoundEngine::take, Qt::QueuedConnection);
    }
  }
  // The engine closes its output and ends the thread. A thread held by a stalled sound server
  // is let go: it holds nothing the rest of the program needs.
  if (thread_->wait(QDeadlineTimer(kTeardownMs))) {
    delete thread_;
    return;
  }
  // The audio library's own teardown at exit would free the locks that thread still waits on,
  // and abort the program. So the process then ends as soon as exit begins, with the status it
  // was given and its output flushed, before that teardown runs.
  static std::once_flag endAtExit;
  std::call_once(endAtExit, [] {
    ::on_exit(
        [](int status, void*) {
          std::fflush(nullptr);
          std::_Exit(status);
        },
        nullptr);
  });
}

void AlertSoundPlayer::post(std::optional<std::pair<QString, bool>> sound) {
  ++requested_;
  {
    std::lock_guard lock(link_->mutex);
    link_->pending = AlertSoundLink::Request{requested_, std::move(sound)};
    if (!std::exchange(link_->wakePosted, true)) {
      QMetaObject::invokeMethod(engine_, &AlertSoundEngine::take, Qt::QueuedConnection);
    }
  }
  if (!watchdog_.isActive()) {
    waiting_.start();
    watchdog_.start();
  }
}

void AlertSoundPlayer::take(const AlertSoundReport& r) {
  reported_ = r.handled;
  filesRead_ = r.filesRead;
  conversions_ = r.conversions;
  outputOpen_ = r.outputOpen;
  playing_ = r.playing;
  currentSource_ = r.source;
  currentLoop_ = r.loop;
  currentBeep_ = r.beep;
  if (settled()) {
    watchdog_.stop();
    stallSaid_ = false;
  } else {
    // The sound thread answered; the next request is timed from here.
    waiting_.start();
  }
  for (const AlertSoundReport::Event& e : r.events) {
    switch (e.kind) {
      case AlertSoundReport::Event::Started:
        emit soundStarted(e.text, e.loop, e.beep);
        break;
      case AlertSoundReport::Event::Stopped:
        emit soundStopped();
        break;
      case AlertSoundReport::Event::Refused:
        emit soundRefused(e.text);
        break;
    }
  }
}

void AlertSoundPlayer::checkStalled() {
  if (settled()) {
    watchdog_.stop();
    return;
  }
  if (stallSaid_ || waiting_.elapsed() < kStalledMs) return;
  stallSaid_ = true;
  emit soundRefused(link_->readingFile
                        ? QStringLiteral("An alarm sound file does not answer: alarms cannot be "
                                         "heard until it does")
                        : QStringLiteral("The sound server does not answer: alarms cannot be "
                                         "heard, not even a beep, until it does"));
}

void AlertSoundPlayer::play(const QString& fileName, bool loop) {
  deferred_.reset();  // this request is newer
  deferredAlarms_ = 0;
  if (muted_) return;
  post(std::pair{fileName, loop});
}

void AlertSoundPlayer::stop() {
  deferred_.reset();
  deferredAlarms_ = 0;
  post(std::nullopt);
}

void AlertSoundPlayer::defer(const QString& fileName, bool loop, AlarmNotice notice) {
  if (muted_) return;
  deferred_.emplace(fileName, loop);
  deferredNotice_ = std::move(notice);
  ++deferredAlarms_;
}

void AlertSoundPlayer::startDeferred() {
  if (!deferred_) return;
  const auto [fileName, loop] = *std::exchange(deferred_, std::nullopt);
  const int alarms = std::exchange(deferredAlarms_, 0);
  play(fileName, loop);
  emit alarmRaised(deferredNotice_, alarms);
}

void AlertSoundPlayer::setMuted(bool muted) {
  if (muted == muted_) return;
  muted_ = muted;
  if (muted_ && (playing_ || !settled() || deferred_)) stop();
}

}  // namespace kestrune
