#include "alerts/alert_sound.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "alerts/wav_data.h"

namespace kestrune {

namespace {

// Alarm files are short; anything much larger is not read into memory.
constexpr std::size_t kMaxWavBytes = 64 * 1024 * 1024;
// Seven slots' worth of sounds is the usual; a long session of changing names or a few very
// long recordings stays bounded, in entries and in bytes held.
constexpr std::size_t kKeptSounds = 32;
constexpr std::size_t kKeptBytes = 128 * 1024 * 1024;
// The output holds about a fifth of a second ahead; it is topped up from memory every 40 ms, so
// only a window thread held up for longer than the rest of that could be heard as a gap.
constexpr qint64 kOutputBufferUs = 200'000;
constexpr int kFeedMs = 40;

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

}  // namespace

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

void deferAlertSound(std::string_view fileName, bool loop) {
  if (auto* p = AlertSoundPlayer::instance()) {
    p->defer(QString::fromLocal8Bit(fileName.data(), static_cast<qsizetype>(fileName.size())),
             loop);
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

AlertSoundPlayer::AlertSoundPlayer(QObject* parent) : QObject(parent) {
  connect(&feeder_, &QTimer::timeout, this, &AlertSoundPlayer::feed);
}

const AlertSoundPlayer::Sound& AlertSoundPlayer::beep() {
  if (!beep_.format.isValid()) {
    const std::vector<std::uint8_t> wav = makeBeepWav();
    const std::optional<WavFormat> f = parseWav(wav);
    beep_.format = *pcmFormat(*f);
    beep_.pcm = framesOf(*f, wav);
  }
  return beep_;
}

AlertSoundPlayer::Sound AlertSoundPlayer::check(const QString& fileName) {
  // A FIFO, a device or a folder is never read (it would hang or flood the window): it beeps,
  // as a missing file does.
  RegularFile file = openRegularFile(fileName.toLocal8Bit().toStdString());
  if (!file.isOpen()) return {};
  ++filesRead_;
  std::optional<std::vector<std::uint8_t>> bytes;
  if (file.identity().size <= kMaxWavBytes) bytes = file.readAll(kMaxWavBytes);
  if (!bytes) {
    if (file.identity().size > kMaxWavBytes) {
      emit soundRefused(QStringLiteral("Alarm sound %1 is larger than 64 MB: a beep plays instead")
                            .arg(fileName));
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

const AlertSoundPlayer::Sound& AlertSoundPlayer::resolve(const QString& fileName) {
  if (fileName.isEmpty()) return beep();
  // One look at the file's identity per sound started; it is read again only once it changed.
  const std::optional<FileIdentity> now = fileIdentity(fileName.toLocal8Bit().toStdString());
  auto it = resolved_.find(fileName);
  if (it != resolved_.end() && now && it->second.identity == *now) {
    return it->second.sound.format.isValid() ? it->second.sound : beep();
  }
  if (it != resolved_.end()) {
    resolvedBytes_ -= static_cast<std::size_t>(it->second.sound.pcm.size());
    resolved_.erase(it);
  }
  if (!now) return beep();
  Resolved r{*now, check(fileName)};
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

void AlertSoundPlayer::play(const QString& fileName, bool loop) {
  deferred_.reset();  // this request is newer
  const Sound& sound = resolve(fileName);
  start(&sound == &beep_ ? QString() : fileName, sound, loop);
}

void AlertSoundPlayer::defer(const QString& fileName, bool loop) {
  deferred_.emplace(fileName, loop);
}

void AlertSoundPlayer::startDeferred() {
  if (!deferred_) return;
  const auto [fileName, loop] = *std::exchange(deferred_, std::nullopt);
  play(fileName, loop);
}

void AlertSoundPlayer::closeOutput() {
  feeder_.stop();
  output_ = nullptr;
  pcm_.clear();
  if (!sink_) return;
  // Stopping only closes the output's stream; nothing here waits for a loader or a thread. The
  // sink goes later, as this may run inside one of its own signals.
  disconnect(sink_, nullptr, this, nullptr);
  sink_->stop();
  sink_->deleteLater();
  sink_ = nullptr;
}

void AlertSoundPlayer::feed() {
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

void AlertSoundPlayer::start(const QString& source, const Sound& sound, bool loop) {
  closeOutput();
  const bool isBeep = &sound == &beep_;
  // Where there is no audio output at all (a server without sound), nothing is heard and
  // nothing fails: the sound still counts as playing until stopped or replaced.
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (!isBeep && !device.isNull() && !device.isFormatSupported(sound.format)) {
    start(QString(), beep(), loop);
    return;
  }
  playing_ = true;
  currentSource_ = source;
  currentLoop_ = loop;
  currentBeep_ = isBeep;
  emit soundStarted(source, loop, isBeep);
  if (device.isNull() || !device.isFormatSupported(sound.format) || sound.pcm.isEmpty()) return;
  sink_ = new QAudioSink(device, sound.format, this);
  QAudioSink* sink = sink_;
  sink->setBufferSize(static_cast<qsizetype>(sound.format.bytesForDuration(kOutputBufferUs)));
  // An output that fails to open or breaks off falls back to the beep, once.
  auto failed = [this, sink, loop, isBeep] {
    if (sink != sink_ || sink->state() != QAudio::StoppedState) return;
    // Running out of samples is how a sound that plays once ends, not a failure.
    if (sink->error() == QAudio::NoError || sink->error() == QAudio::UnderrunError) return;
    if (isBeep) {
      closeOutput();
    } else {
      start(QString(), beep(), loop);
    }
  };
  connect(sink, &QAudioSink::stateChanged, this, failed);
  output_ = sink->start();
  failed();
  if (sink != sink_ || !output_) return;
  pcm_ = sound.pcm;
  loop_ = loop;
  fed_ = 0;
  feed();
  feeder_.start(kFeedMs);
}

void AlertSoundPlayer::stop() {
  deferred_.reset();
  closeOutput();
  const bool was = playing_;
  playing_ = false;
  currentSource_.clear();
  currentLoop_ = false;
  currentBeep_ = false;
  if (was) emit soundStopped();
}

}  // namespace kestrune
