#include "alerts/alert_sound.h"

#include <QCoreApplication>
#include <QFile>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

#include "alerts/wav_data.h"

namespace kestrune {

namespace {

// Alarm files are short; anything much larger is not read into memory for conversion.
constexpr qint64 kMaxWavBytes = 64 * 1024 * 1024;

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

QString AlertSoundPlayer::resolve(const QString& fileName, bool& beep) {
  beep = true;
  if (fileName.isEmpty()) return beepFile();
  QFile f(fileName);
  if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxWavBytes) return beepFile();
  QByteArray bytes = f.readAll();
  std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                     static_cast<std::size_t>(bytes.size()));
  std::optional<WavFormat> format = parseWav(data);
  if (!format) return beepFile();
  beep = false;
  if (wavPlaysAsIs(*format, data)) return fileName;
  std::optional<std::vector<std::uint8_t>> converted = convertWavToPcm16(data);
  // Each conversion gets a fresh name: the player may still hold the previous file open.
  QString path = scratch_.filePath(QStringLiteral("converted-%1.wav").arg(++converted_ % 4));
  if (converted && scratch_.isValid() && writeFile(path, *converted)) return path;
  beep = true;
  return beepFile();
}

void AlertSoundPlayer::play(const QString& fileName, bool loop) {
  bool beep = false;
  QString source = resolve(fileName, beep);
  start(source, loop, beep);
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
  bool was = effect_ != nullptr;
  start(QString(), false, false);
  if (was) emit soundStopped();
}

}  // namespace kestrune
