#include "alerts/alert_sound.h"

#include <QCoreApplication>
#include <QFile>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>
#include <utility>

#include "alerts/wav_data.h"

namespace kestrune {

namespace {

// Alarm files are short; anything much larger is not read into memory for conversion.
constexpr std::size_t kMaxWavBytes = 64 * 1024 * 1024;

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

bool writeFile(const QString& path, std::span<const std::uint8_t> bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  auto n = static_cast<qint64>(bytes.size());
  return f.write(reinterpret_cast<const char*>(bytes.data()), n) == n;
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

AlertSoundPlayer::AlertSoundPlayer(QObject* parent) : QObject(parent) {}

QString AlertSoundPlayer::beepFile() {
  if (beepPath_.isEmpty() && scratch_.isValid()) {
    QString path = scratch_.filePath(QStringLiteral("beep.wav"));
    if (writeFile(path, makeBeepWav())) beepPath_ = path;
  }
  return beepPath_;
}

AlertSoundPlayer::Resolved AlertSoundPlayer::check(const QString& fileName) {
  Resolved r;
  // A FIFO, a device or a folder is never read (it would hang or flood the window): it beeps,
  // as a missing file does.
  RegularFile file = openRegularFile(fileName.toLocal8Bit().toStdString());
  if (!file.isOpen()) return r;
  r.identity = file.identity();
  std::optional<std::vector<std::uint8_t>> bytes;
  if (file.identity().size <= kMaxWavBytes) bytes = file.readAll(kMaxWavBytes);
  if (!bytes) {
    if (file.identity().size > kMaxWavBytes) {
      emit soundRefused(QStringLiteral("Alarm sound %1 is larger than 64 MB: a beep plays instead")
                            .arg(fileName));
    }
    return r;
  }
  std::optional<WavFormat> format = parseWav(*bytes);
  if (!format) return r;
  if (wavPlaysAsIs(*format, *bytes)) {
    r.source = fileName;
    r.beep = false;
    return r;
  }
  std::optional<std::vector<std::uint8_t>> converted = convertWavToPcm16(*bytes);
  // Each conversion gets a name of its own: the player may still hold an earlier one open.
  QString path = scratch_.filePath(QStringLiteral("converted-%1.wav").arg(++converted_));
  if (converted && scratch_.isValid() && writeFile(path, *converted)) {
    r.source = r.convertedCopy = path;
    r.beep = false;
  }
  return r;
}

void AlertSoundPlayer::forget(const QString& fileName) {
  auto it = resolved_.find(fileName);
  if (it == resolved_.end()) return;
  if (!it->second.convertedCopy.isEmpty()) QFile::remove(it->second.convertedCopy);
  resolved_.erase(it);
}

QString AlertSoundPlayer::resolve(const QString& fileName, bool& beep) {
  beep = true;
  if (fileName.isEmpty()) return beepFile();
  // One look at the file's identity per sound started; it is read again only once it changed.
  const std::optional<FileIdentity> now = fileIdentity(fileName.toLocal8Bit().toStdString());
  auto it = resolved_.find(fileName);
  if (it == resolved_.end() || !now || !(it->second.identity == *now)) {
    forget(fileName);
    if (!now) return beepFile();
    // Seven slots' worth of names is the usual; a long session of changing names stays bounded.
    constexpr std::size_t kKeptSounds = 32;
    while (resolved_.size() >= kKeptSounds) forget(resolved_.begin()->first);
    Resolved r = check(fileName);
    r.identity = *now;
    it = resolved_.emplace(fileName, std::move(r)).first;
  }
  if (it->second.beep) return beepFile();
  beep = false;
  return it->second.source;
}

void AlertSoundPlayer::play(const QString& fileName, bool loop) {
  deferred_.reset();  // this request is newer
  bool beep = false;
  QString source = resolve(fileName, beep);
  start(source, loop, beep);
}

void AlertSoundPlayer::defer(const QString& fileName, bool loop) {
  deferred_.emplace(fileName, loop);
}

void AlertSoundPlayer::startDeferred() {
  if (!deferred_) return;
  const auto [fileName, loop] = *std::exchange(deferred_, std::nullopt);
  play(fileName, loop);
}

void AlertSoundPlayer::start(const QString& source, bool loop, bool beep) {
  if (effect_) {
    effect_->stop();
    effect_->deleteLater();
    effect_ = nullptr;
  }
  currentSource_ = source;
  currentLoop_ = loop;
  currentBeep_ = beep;
  if (source.isEmpty()) return;
  effect_ = new QSoundEffect(this);
  effect_->setLoopCount(loop ? QSoundEffect::Infinite : 1);
  effect_->setVolume(1.0);
  QSoundEffect* effect = effect_;
  // A file the player still refuses falls back to the beep, once.
  connect(effect, &QSoundEffect::statusChanged, this, [this, effect, loop, beep] {
    if (effect == effect_ && effect->status() == QSoundEffect::Error && !beep) {
      start(beepFile(), loop, true);
    }
  });
  effect_->setSource(QUrl::fromLocalFile(source));
  effect_->play();
  emit soundStarted(source, loop, beep);
}

void AlertSoundPlayer::stop() {
  deferred_.reset();
  bool was = effect_ != nullptr;
  start(QString(), false, false);
  if (was) emit soundStopped();
}

}  // namespace kestrune
