// The alarm slots dialog and the alarm player's one-sound-at-a-time rule.
#include "alerts/audio_alert_prefs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <thread>

#include "alerts/alert_sound.h"
#include "alerts/wav_data.h"
#include "forms/dialog_layout.h"
#include "tests/alerts/sound_settled.h"
#include "tests/alerts/wav_builder.h"

namespace kestrune {
namespace {

template <typename T>
T* control(QWidget* w, int id) {
  T* c = findControlAs<T>(w, id);
  EXPECT_NE(c, nullptr) << "control " << id;
  return c;
}

TEST(AudioAlertPrefsTest, EditsTheWorkingCopyAndShowsTheSlots) {
  std::array<AudioAlertSlot, kAudioAlertSlots> initial{};
  copyFixedText(initial[3].fileName, kFileNameSize, "raw.wav");
  initial[3].threshold = 350;
  initial[3].use = 1;
  AudioAlertPrefs dialog;
  dialog.setAlertSlots(initial);
  EXPECT_EQ(dialog.windowTitle(), "Audio Alert Preferences");
  EXPECT_EQ(control<QLineEdit>(&dialog, AudioAlertPrefs::kFileEditBase + 3)->text(), "raw.wav");
  EXPECT_EQ(control<QLineEdit>(&dialog, AudioAlertPrefs::kThresholdEditBase + 3)->text(), "350");
  EXPECT_TRUE(control<QCheckBox>(&dialog, AudioAlertPrefs::kUseBase + 3)->isChecked());
  EXPECT_EQ(control<QLineEdit>(&dialog, AudioAlertPrefs::kThresholdEditBase + 0)->text(), "200");

  control<QLineEdit>(&dialog, AudioAlertPrefs::kFileEditBase + 0)->setText("chart.wav");
  auto* threshold = control<QLineEdit>(&dialog, AudioAlertPrefs::kThresholdEditBase + 0);
  threshold->setText("75");
  threshold->setText("");  // an emptied edit keeps the last value
  control<QCheckBox>(&dialog, AudioAlertPrefs::kLoopBase + 5)->click();
  EXPECT_STREQ(dialog.alertSlots()[0].fileName, "chart.wav");
  EXPECT_EQ(dialog.alertSlots()[0].threshold, 75);
  EXPECT_EQ(dialog.alertSlots()[5].loop, 1);
  // The file edit takes no more than the field holds.
  auto* file = control<QLineEdit>(&dialog, AudioAlertPrefs::kFileEditBase + 1);
  file->setText(QString(300, 'a'));
  EXPECT_EQ(std::strlen(dialog.alertSlots()[1].fileName), 254u);
}

TEST(AudioAlertPrefsTest, OkTakesTheSlotsAndCancelKeepsThem) {
  MonitorSettings settings;
  settings.audioAlert[4].threshold = 123;
  auto edit = [](int threshold, bool ok) {
    return [threshold, ok] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<AudioAlertPrefs*>(w);
        if (!d || !d->isVisible()) continue;
        findControlAs<QLineEdit>(d, AudioAlertPrefs::kThresholdEditBase + 4)
            ->setText(QString::number(threshold));
        findControlAs<QPushButton>(d, ok ? AudioAlertPrefs::kOk : AudioAlertPrefs::kCancel)
            ->click();
      }
    };
  };
  QTimer::singleShot(0, edit(999, false));
  EXPECT_FALSE(runAudioAlertPrefs(nullptr, settings, nullptr));
  EXPECT_EQ(settings.audioAlert[4].threshold, 123);
  QTimer::singleShot(0, edit(456, true));
  EXPECT_TRUE(runAudioAlertPrefs(nullptr, settings, nullptr));
  EXPECT_EQ(settings.audioAlert[4].threshold, 456);
}

TEST(AudioAlertPrefsTest, BrowseRestoresTheCurrentDirectory) {
  QTemporaryDir elsewhere;
  const QString before = QDir::currentPath();
  AudioAlertPrefs dialog;
  // A chooser that wanders off into another directory, then is cancelled.
  dialog.setChooser([&](QWidget*) {
    QDir::setCurrent(elsewhere.path());
    return QString();
  });
  control<QPushButton>(&dialog, AudioAlertPrefs::kBrowseBase + 2)->click();
  EXPECT_EQ(QDir::currentPath(), before);
  EXPECT_STREQ(dialog.alertSlots()[2].fileName, "");

  dialog.setChooser([&](QWidget*) {
    QDir::setCurrent(elsewhere.path());
    return QStringLiteral("/sounds/ding.wav");
  });
  control<QPushButton>(&dialog, AudioAlertPrefs::kBrowseBase + 2)->click();
  EXPECT_EQ(QDir::currentPath(), before);
  EXPECT_STREQ(dialog.alertSlots()[2].fileName, "/sounds/ding.wav");
  EXPECT_EQ(control<QLineEdit>(&dialog, AudioAlertPrefs::kFileEditBase + 2)->text(),
            "/sounds/ding.wav");

  // A path too long for the field is refused with a message; the slot keeps its file.
  dialog.setChooser([](QWidget*) { return QString("/") + QString(300, 'x') + ".wav"; });
  control<QPushButton>(&dialog, AudioAlertPrefs::kBrowseBase + 2)->click();
  EXPECT_STREQ(dialog.alertSlots()[2].fileName, "/sounds/ding.wav");
  auto boxes = dialog.findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0]->text().contains("254"));
  boxes[0]->close();
}

TEST(AlertSoundTest, OneSoundAtATimeAndFallbacks) {
  QTemporaryDir dir;
  // No sound server at all: every sound still counts as played, and the player says once that
  // nothing can be heard (this process played nothing before).
  qputenv("PULSE_SERVER", ("unix:" + dir.filePath("no-server")).toLocal8Bit());
  auto* player = AlertSoundPlayer::instance();
  ASSERT_NE(player, nullptr);
  QStringList said;
  QObject listeningFromStart;
  QObject::connect(player, &AlertSoundPlayer::soundRefused, &listeningFromStart,
                   [&said](const QString& message) { said << message; });

  QString good = dir.filePath("good.wav");
  {
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    auto bytes = makeBeepWav();
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  }
  QString junk = dir.filePath("junk.wav");
  {
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a wave file at all");
  }

  const int readsBefore = player->filesRead();
  playAlertSound(good.toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  playAlertSound(good.toStdString(), true);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(player->currentSource(), good);
  EXPECT_TRUE(player->currentLoops());
  EXPECT_FALSE(player->currentIsBeep());
  EXPECT_EQ(player->filesRead(), readsBefore + 1);  // read once, not once per sound
  // A later sound replaces the looping one.
  playAlertSound("", false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(player->currentIsBeep());
  EXPECT_FALSE(player->currentLoops());
  playAlertSound(junk.toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(player->currentIsBeep());
  playAlertSound(dir.filePath("missing.wav").toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(player->currentIsBeep());
  stopAlertSound();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_FALSE(player->isPlaying());
  EXPECT_EQ(said, QStringList{"No sound output is available: alarms cannot be heard"});

  // A FIFO, a device or a folder as the alarm file beeps at once instead of waiting for a
  // writer or reading without end.
  const QString fifo = dir.filePath("fifo.wav");
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
  for (const QString& odd : {fifo, QStringLiteral("/dev/zero"), dir.path()}) {
    playAlertSound(odd.toStdString(), false);
    ASSERT_TRUE(test::soundSettled());
    EXPECT_TRUE(player->currentIsBeep()) << odd.toStdString();
  }
  // A file over 64 MB is refused with a message, once per version of the file.
  const QString huge = dir.filePath("huge.wav");
  {
    QFile f(huge);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(reinterpret_cast<const char*>(makeBeepWav().data()), 44));
    ASSERT_TRUE(f.resize(64 * 1024 * 1024 + 1));
  }
  QStringList refused;
  QObject listening;
  QObject::connect(player, &AlertSoundPlayer::soundRefused, &listening,
                   [&refused](const QString& message) { refused << message; });
  playAlertSound(huge.toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  playAlertSound(huge.toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(player->currentIsBeep());
  ASSERT_EQ(refused.size(), 1);
  EXPECT_EQ(refused[0], "Alarm sound " + huge + " is larger than 64 MB: a beep plays instead");

  // A file the player needs converted is converted once and kept until the file changes.
  const QString wide = dir.filePath("wide.wav");
  auto writeWide = [&wide](std::size_t frames) {
    QFile f(wide);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const auto bytes = test::makeWav(1, 1, 8000, 32, std::vector<std::uint8_t>(frames * 4, 1));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  };
  writeWide(800);
  const int conversionsBefore = player->conversions();
  playAlertSound(wide.toStdString(), false);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(player->currentSource(), wide);
  EXPECT_FALSE(player->currentIsBeep());
  playAlertSound(wide.toStdString(), true);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(player->conversions(), conversionsBefore + 1);
  writeWide(1600);
  playAlertSound(wide.toStdString(), true);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(player->conversions(), conversionsBefore + 2);
  EXPECT_FALSE(player->currentIsBeep());

  // Sounds deferred while a batch is applied: only the last starts, and a stop in between
  // drops them.
  deferAlertSound(good.toStdString(), true);
  deferAlertSound("", false);
  EXPECT_TRUE(player->currentLoops());  // the converted file still plays
  EXPECT_EQ(player->currentSource(), wide);
  startDeferredAlertSound();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(player->currentIsBeep());
  EXPECT_FALSE(player->currentLoops());
  deferAlertSound(good.toStdString(), true);
  stopAlertSound();
  startDeferredAlertSound();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_FALSE(player->isPlaying());

  // From another thread the request hops to the window thread.
  std::thread t([&] { playAlertSound(good.toStdString(), false); });
  t.join();
  EXPECT_FALSE(player->isPlaying());
  QCoreApplication::processEvents();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(player->currentSource(), good);
  stopAlertSound();
}

}  // namespace
}  // namespace kestrune
