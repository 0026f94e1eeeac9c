// The alarm player really plays: a private PulseAudio server with a null sink is started, its
// monitor is recorded while WAV files play, and the recording must not be silent. Skipped with a
// message where no sound server can be started.
#include "alerts/alert_sound.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <numbers>

#include "alerts/wav_data.h"
#include "tests/alerts/sound_settled.h"
#include "tests/alerts/wav_builder.h"

namespace kestrune {
namespace {

// A one-second 660 Hz tone in the given PCM format.
QByteArray toneWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  std::vector<std::uint8_t> data;
  for (std::uint32_t i = 0; i < rate; ++i) {
    double v = 0.6 * std::sin(2 * std::numbers::pi * 660.0 * i / rate);
    for (int c = 0; c < channels; ++c) {
      if (bits == 8) test::put(data, static_cast<std::uint32_t>(std::lround(128 + v * 127)), 1);
      if (bits == 16) test::put(data, static_cast<std::uint32_t>(std::lround(v * 32767)), 2);
      if (bits == 32)
        test::put(data, static_cast<std::uint32_t>(std::llround(v * 2147483647.0)), 4);
    }
  }
  const std::vector<std::uint8_t> w = test::makeWav(1, channels, rate, bits, data);
  return QByteArray(reinterpret_cast<const char*>(w.data()), static_cast<qsizetype>(w.size()));
}

// Largest absolute sample in raw 16-bit little-endian audio.
int peakOf(const QByteArray& bytes) {
  int peak = 0;
  for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
    auto s = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                       static_cast<std::uint8_t>(bytes[i + 1]) << 8);
    peak = std::max(peak, std::abs(static_cast<int>(s)));
  }
  return peak;
}

class AlertSoundServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QString pulse = QStandardPaths::findExecutable("pulseaudio");
    QString parec = QStandardPaths::findExecutable("parec");
    if (pulse.isEmpty() || parec.isEmpty()) {
      skipReason_ = "pulseaudio or parec is not installed";
      return;
    }
    dir_ = new QTemporaryDir;
    socket_ = dir_->filePath("native");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "XDG_RUNTIME_DIR", "HOME"})
      env.insert(var, dir_->path());
    server_ = new QProcess;
    server_->setProcessEnvironment(env);
    server_->setProcessChannelMode(QProcess::MergedChannels);
    // The server goes with this test process even if the process dies mid-test.
    server_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    server_->start(
        pulse, {"--daemonize=no", "--use-pid-file=false", "--exit-idle-time=30", "--system=false",
                "--disallow-exit", "-n", "--load=module-null-sink sink_name=nullsink",
                "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_});
    if (!server_->waitForStarted(5000) ||
        !QTest::qWaitFor([] { return QFile::exists(socket_); }, 10000)) {
      skipReason_ = "the sound server could not be started: " + server_->readAll().toStdString();
      return;
    }
    // The player connects to the private server only; nothing else on the machine is touched.
    qputenv("PULSE_SERVER", ("unix:" + socket_).toLocal8Bit());
  }

  static void TearDownTestSuite() {
    stopAlertSound();
    if (server_) {
      server_->terminate();
      if (!server_->waitForFinished(5000)) server_->kill();
      server_->waitForFinished(2000);
    }
    delete server_;
    server_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }

  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
  }

  // Records the null sink's monitor as 16-bit mono at 44.1 kHz while it lives.
  struct Recording {
    QProcess parec;
    QByteArray bytes;
    Recording() {
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("PULSE_SERVER", "unix:" + socket_);
      parec.setProcessEnvironment(env);
      parec.start(QStandardPaths::findExecutable("parec"),
                  {"-d", "nullsink.monitor", "--latency-msec=20", "--format=s16le", "--channels=1",
                   "--rate=44100", "--raw"});
      EXPECT_TRUE(parec.waitForStarted(5000));
    }
    ~Recording() {
      parec.terminate();
      parec.waitForFinished(5000);
    }
    qsizetype recorded() {
      bytes += parec.readAllStandardOutput();
      return bytes.size();
    }
    // Peak of the last ms milliseconds recorded.
    int recentPeak(int ms) {
      recorded();
      return peakOf(bytes.right(ms * 88));
    }
    // Waits until the last ms milliseconds were all loud, or all quiet.
    bool waitFor(bool loud, int ms) {
      return QTest::qWaitFor(
          [&] { return recorded() >= ms * 88 && (recentPeak(ms) > 1000) == loud; }, 10000);
    }
  };

  static QString writeFile(const QByteArray& wav, const char* name) {
    QString file = dir_->filePath(name);
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(wav);
    return file;
  }

  // Plays wav and records the null sink's monitor until sound arrives; returns the peak.
  int playAndRecord(const QByteArray& wav, const char* name, bool beeps = false) {
    const QString file = writeFile(wav, name);
    Recording recording;
    playAlertSound(file.toStdString(), true);
    if (!recording.waitFor(true, 10)) ADD_FAILURE() << "nothing was heard within 10 s";
    // The file itself played, not the fallback beep (or the beep, where the output refuses it).
    EXPECT_TRUE(test::soundSettled());
    EXPECT_EQ(AlertSoundPlayer::instance()->currentIsBeep(), beeps);
    stopAlertSound();
    return recording.recentPeak(1000);
  }

  static inline std::string skipReason_;
  static inline QTemporaryDir* dir_ = nullptr;
  static inline QProcess* server_ = nullptr;
  static inline QString socket_;
};

TEST_F(AlertSoundServerTest, Pcm16StereoIsHeard) {
  EXPECT_GT(playAndRecord(toneWav(2, 44100, 16), "pcm16.wav"), 1000);
}

TEST_F(AlertSoundServerTest, Pcm8MonoAt8kHzIsHeard) {
  EXPECT_GT(playAndRecord(toneWav(1, 8000, 8), "pcm8.wav"), 1000);
}

TEST_F(AlertSoundServerTest, Pcm32IsConvertedAndHeard) {
  EXPECT_GT(playAndRecord(toneWav(1, 48000, 32), "pcm32.wav"), 1000);
}

// A million samples a second is more than the output takes: the beep sounds in its place.
TEST_F(AlertSoundServerTest, ARateTheOutputRefusesBeeps) {
  EXPECT_GT(playAndRecord(toneWav(1, 1000000, 16), "fast.wav", true), 1000);
}

// A looping alarm sounds on past the end of its file until a sound that plays once replaces it
// (after which the output falls silent) or it is stopped.
TEST_F(AlertSoundServerTest, LoopsUntilReplacedOrStopped) {
  const QString file = writeFile(toneWav(1, 44100, 16), "loop.wav");
  AlertSoundPlayer* player = AlertSoundPlayer::instance();
  Recording recording;
  playAlertSound(file.toStdString(), true);
  ASSERT_TRUE(recording.waitFor(true, 10));
  // Two more seconds of a one-second tone: still sounding at their end.
  const qsizetype heard = recording.recorded();
  ASSERT_TRUE(QTest::qWaitFor([&] { return recording.recorded() >= heard + 2 * 88200; }, 10000));
  EXPECT_GT(recording.recentPeak(300), 1000);
  ASSERT_TRUE(test::soundSettled());
  EXPECT_TRUE(player->outputOpen());

  playAlertSound("", false);
  EXPECT_TRUE(recording.waitFor(false, 500)) << "the loop went on after the beep replaced it";

  playAlertSound(file.toStdString(), true);
  ASSERT_TRUE(recording.waitFor(true, 10));
  stopAlertSound();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_FALSE(player->outputOpen());
  EXPECT_TRUE(recording.waitFor(false, 500)) << "the loop went on after it was stopped";
}

// A sound server that stops answering while alarms fire costs the sound, never the window: a
// timer on the window thread keeps ticking, the player says once that nothing can be heard, and
// the player's end does not wait for the server.
TEST_F(AlertSoundServerTest, AStoppedServerNeverHoldsTheWindow) {
  const QString file = writeFile(toneWav(1, 44100, 16), "stalled.wav");
  playAlertSound(file.toStdString(), true);
  ASSERT_TRUE(test::soundSettled());  // the player is connected to the server
  QStringList said;
  QObject listening;
  QObject::connect(AlertSoundPlayer::instance(), &AlertSoundPlayer::soundRefused, &listening,
                   [&said](const QString& message) { said << message; });

  const auto pid = static_cast<pid_t>(server_->processId());
  ASSERT_EQ(::kill(pid, SIGSTOP), 0);
  struct Resume {
    pid_t pid;
    ~Resume() { ::kill(pid, SIGCONT); }
  } resume{pid};

  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  qint64 worstGap = 0;
  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    worstGap = std::max(worstGap, clock.elapsed() - last);
    last = clock.elapsed();
    ++ticks;
  });
  tick.start(10);
  int fired = 0;
  QTimer alarms;
  QObject::connect(&alarms, &QTimer::timeout, [&] {
    // Files, the beep and Clear Alerts in turn, as a busy day would have them.
    if (fired % 3 == 0) playAlertSound(file.toStdString(), fired % 2 == 0);
    if (fired % 3 == 1) playAlertSound("", false);
    if (fired % 3 == 2) stopAlertSound();
    ++fired;
  });
  alarms.start(30);
  QTest::qWait(3500);
  alarms.stop();
  tick.stop();
  EXPECT_GT(fired, 20);
  EXPECT_GT(ticks, 50);
  EXPECT_LT(worstGap, 1000) << "the window thread was held";
  EXPECT_EQ(said, QStringList{"The sound server does not answer: alarms cannot be heard, not "
                              "even a beep, until it does"});
  EXPECT_FALSE(AlertSoundPlayer::instance()->settled());

  // The program's end gives up on a sound thread the server holds.
  QElapsedTimer closing;
  closing.start();
  delete AlertSoundPlayer::instance();
  EXPECT_LT(closing.elapsed(), 3000);

  // Once the server answers again, a new player plays.
  ::kill(pid, SIGCONT);
  Recording recording;
  playAlertSound(file.toStdString(), true);
  EXPECT_TRUE(recording.waitFor(true, 10)) << "nothing was heard after the server came back";
  stopAlertSound();
  EXPECT_TRUE(test::soundSettled());
}

}  // namespace
}  // namespace kestrune
