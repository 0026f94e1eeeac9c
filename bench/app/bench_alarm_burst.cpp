// An alarm-heavy burst through the real monitor window (offscreen), fed by the simulator: 100,000
// Raw records in one go, every one over the Raw slot's threshold. Measured once without a sound
// set, once with a WAV the player takes as it is, once with one it must convert, once with a
// 57.6 MB one played for the first time, and once more with the sound server stopped (SIGSTOP)
// for the whole burst: the time until all rows are shown, the longest stall of the window thread
// (a 10 ms timer that notes how late it fires), the window thread's own CPU time, how many
// sounds were started and how long Disconnect and closing the window took.
//
// When pulseaudio is installed, a private server with a null sink plays the sounds, so the
// platform player does its real work; nothing else on the machine is touched. The program runs
// in a profile of its own (temporary working directory and per-user store), never the user's.
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "alerts/alert_sound.h"
#include "alerts/wav_data.h"
#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "bench/app/window_measure.h"
#include "monitor/live_monitor.h"
#include "monitor/server_store.h"
#include "settings/config_file.h"
#include "tests/support/feedsim_process.h"
#include "tests/support/qt_application.h"

namespace kestrune {
namespace {

using bench::threadCpuMs;

namespace fs = std::filesystem;

constexpr int kBurst = 100000;
constexpr int kGiveUpMs = 120000;

// A tone of the given length as 16-bit PCM (played as it is) or 32-bit PCM (converted first).
void writeTone(const fs::path& path, int bits, std::uint32_t seconds = 1) {
  constexpr std::uint32_t kRate = 22050;
  std::vector<std::uint8_t> data;
  for (std::uint32_t i = 0; i < kRate * seconds; ++i) {
    const double v = 0.5 * std::sin(2 * 3.14159265358979 * 660.0 * i / kRate);
    const auto s =
        static_cast<std::int64_t>(std::llround(v * (bits == 16 ? 32767.0 : 2147483647.0)));
    for (int b = 0; b < bits / 8; ++b) data.push_back(static_cast<std::uint8_t>(s >> (8 * b)));
  }
  std::vector<std::uint8_t> w = makeBeepWav();  // its header, patched to the tone's format
  w.resize(44);
  auto put = [&w](std::size_t at, std::uint32_t v, int n) {
    for (int b = 0; b < n; ++b) w[at + b] = static_cast<std::uint8_t>(v >> (8 * b));
  };
  put(4, 36 + static_cast<std::uint32_t>(data.size()), 4);
  put(28, kRate * bits / 8, 4);
  put(32, static_cast<std::uint32_t>(bits / 8), 2);
  put(34, static_cast<std::uint32_t>(bits), 2);
  put(40, static_cast<std::uint32_t>(data.size()), 4);
  w.insert(w.end(), data.begin(), data.end());
  QFile f(QString::fromStdString(path.string()));
  if (!f.open(QIODevice::WriteOnly)) std::abort();
  f.write(reinterpret_cast<const char*>(w.data()), static_cast<qint64>(w.size()));
}

struct Result {
  double shownMs = 0;
  double worstStallMs = 0;
  // The window thread's own CPU time: on a busy machine a stall may be other processes running;
  // the most CPU time between two ticks is what the window thread itself held on to.
  double worstBusyMs = 0;
  double windowCpuMs = 0;
  int rowsShown = 0;
  int soundsStarted = 0;
  int batches = 0;
  double closeMs = 0;
};

// serverToStop: the sound server's process, stopped while the burst runs (0: none).
Result runBurst(FeedsimProcess& sim, const fs::path& work, const std::string& wav,
                pid_t serverToStop) {
  fs::create_directories(work);
  fs::current_path(work);
  MonitorSettings s;
  AudioAlertSlot& raw = s.audioAlert[3];
  raw.use = wav.empty() ? 0 : 1;
  raw.threshold = 0;
  copyFixedText(raw.fileName, sizeof raw.fileName, wav.c_str());
  if (!writeConfigFile(s, ChartColorTable{}, kConfigFileName)) std::abort();

  Result r;
  CQuillfernViewerApp app;
  if (!app.initInstance()) std::abort();
  CQuillfernViewerView* view = app.view();
  auto* connect = qobject_cast<QPushButton*>(view->control(IDC_CONNECT));
  auto* disconnect = qobject_cast<QPushButton*>(view->control(IDC_DISCONNECT));
  auto* date = qobject_cast<QLineEdit*>(view->control(IDC_DATE));
  QTableView* rawList = view->list(IDC_RAW_LIST);
  QObject counting;
  QObject::connect(AlertSoundPlayer::instance(), &AlertSoundPlayer::soundStarted, &counting,
                   [&r] { ++r.soundsStarted; });
  connect->click();
  if (!test::waitFor([&] { return date->text() == "12/06/2026"; }, 10000)) std::abort();

  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(10);
  qint64 lastTick = clock.nsecsElapsed();
  const double cpuAtStart = threadCpuMs();
  double lastCpu = cpuAtStart;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    r.worstStallMs = std::max(r.worstStallMs, static_cast<double>(now - lastTick) / 1e6 - 10.0);
    lastTick = now;
    const double cpu = threadCpuMs();
    r.worstBusyMs = std::max(r.worstBusyMs, cpu - lastCpu);
    lastCpu = cpu;
  });
  tick.start();
  const std::size_t batchesBefore = view->liveMonitor()->queue().batchCount();
  r.soundsStarted = 0;
  if (serverToStop > 0) ::kill(serverToStop, SIGSTOP);
  sim.send("burst " + std::to_string(kBurst) + " 1");
  // A window that cannot keep up is reported, not waited for without end.
  test::waitFor([&] { return rawList->model()->rowCount() >= kBurst; }, kGiveUpMs);
  r.rowsShown = rawList->model()->rowCount();
  r.shownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  r.windowCpuMs = threadCpuMs() - cpuAtStart;
  tick.stop();
  r.batches = static_cast<int>(view->liveMonitor()->queue().batchCount() - batchesBefore);
  const qint64 closing = clock.nsecsElapsed();
  stopAlertSound();
  disconnect->click();
  app.frame()->close();
  r.closeMs = static_cast<double>(clock.nsecsElapsed() - closing) / 1e6;
  if (serverToStop > 0) ::kill(serverToStop, SIGCONT);
  return r;
}

// A private sound server with a null sink, so the player really plays; none when not installed.
std::unique_ptr<QProcess> startSoundServer(const fs::path& dir) {
  const QString pulse = QStandardPaths::findExecutable("pulseaudio");
  if (pulse.isEmpty()) return nullptr;
  const QString socket = QString::fromStdString((dir / "native").string());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* var : {"PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "XDG_RUNTIME_DIR", "HOME"})
    env.insert(var, QString::fromStdString(dir.string()));
  auto server = std::make_unique<QProcess>();
  server->setProcessEnvironment(env);
  server->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  server->start(pulse,
                {"--daemonize=no", "--use-pid-file=false", "--exit-idle-time=-1", "--system=false",
                 "--disallow-exit", "-n", "--load=module-null-sink sink_name=nullsink",
                 "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
  if (!server->waitForStarted(5000) ||
      !test::waitFor([&] { return QFile::exists(socket); }, 10000)) {
    return nullptr;
  }
  qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
  return server;
}

int run(int argc, char** argv) {
  std::string pattern = (fs::temp_directory_path() / "kes_alarm_burst_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);

  FeedsimProcess sim({"--stream", "off", "--date", "12062026"});
  if (!sim.ok()) {
    std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
    return 1;
  }
  QApplication qapp(argc, argv);
  fs::create_directories(root / "pulse");
  std::unique_ptr<QProcess> sound = startSoundServer(root / "pulse");
  if (!writeServerSettings(makeServerSettings("127.0.0.1", sim.port(), "demo", "demo"))) return 1;
  writeTone(root / "tone16.wav", 16);
  writeTone(root / "tone32.wav", 32);
  // 57.6 MB of samples: its first play is loaded while the burst runs.
  writeTone(root / "long16.wav", 16, 57'600'000 / (2 * 22050));

  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("alarm burst: %d Raw records over the Raw slot's threshold, real window, %s\n",
              kBurst, sound ? "private null-sink sound server" : "no sound server");
  std::printf("%-26s %9s %14s %12s %11s %7s %8s %9s\n", "Raw slot's sound", "shown ms",
              "longest stall", "window CPU", "most busy", "sounds", "batches", "close ms");
  const struct {
    const char* label;
    std::string wav;
    bool stopServer;
  } runs[] = {{"none", "", false},
              {"16-bit WAV (as it is)", (root / "tone16.wav").string(), false},
              {"32-bit WAV (converted)", (root / "tone32.wav").string(), false},
              {"57.6 MB WAV (first play)", (root / "long16.wav").string(), false},
              {"16-bit, server stopped", (root / "tone16.wav").string(), true}};
  int n = 0;
  for (const auto& run : runs) {
    if (run.stopServer && !sound) continue;
    const pid_t server = run.stopServer ? static_cast<pid_t>(sound->processId()) : 0;
    const Result r = runBurst(sim, root / ("work" + std::to_string(n++)), run.wav, server);
    std::printf("%-26s %9.0f %11.1f ms %9.0f ms %8.1f ms %7d %8d %9.1f\n", run.label, r.shownMs,
                r.worstStallMs, r.windowCpuMs, r.worstBusyMs, r.soundsStarted, r.batches,
                r.closeMs);
    if (r.rowsShown < kBurst) std::printf("  only %d rows shown when given up\n", r.rowsShown);
  }

  sim.stop();
  if (sound) {
    sound->terminate();
    if (!sound->waitForFinished(5000)) sound->kill();
  }
  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(root, ec);
  return 0;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return kestrune::run(argc, argv);
}
