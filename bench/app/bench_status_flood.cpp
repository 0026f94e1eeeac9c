// A server that floods status texts while a live day at 100x streams: the real monitor window
// (offscreen) and kestrune-recorder on the same simulator. Reports the longest stall of the window
// thread while the flood runs (a 10 ms timer that notes how late it fires) and the resident memory
// of both programs before and at their peak.
//
// KES_FLOOD_TEXTS sets the number of status texts (default 2,000,000). The program runs in a
// profile of its own (temporary working directories and per-user store), never the user's.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "bench/app/window_measure.h"
#include "monitor/server_store.h"
#include "tests/support/child_process.h"
#include "tests/support/feedsim_process.h"

namespace kestrune {
namespace {

using bench::loadAverage;
using bench::residentMiB;
using bench::runUntil;
using bench::threadCpuMs;

namespace fs = std::filesystem;

int run(int argc, char** argv) {
  const char* n = std::getenv("KES_FLOOD_TEXTS");
  const long texts = n && std::atol(n) > 0 ? std::atol(n) : 2'000'000;

  std::string pattern = (fs::temp_directory_path() / "kes_status_flood_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  fs::create_directories(root / "work");
  fs::create_directories(root / "recorder");
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  fs::current_path(root / "work");
  std::ofstream(root / "password") << "demo\n";

  FeedsimProcess sim({"--speed", "100", "--start", "09:30:00", "--date", "12062026"});
  if (!sim.ok()) {
    std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
    return 1;
  }
  ChildProcess recorder("kestrune-recorder",
                        {"--workdir", (root / "recorder").string(), "--host", "127.0.0.1", "--port",
                         std::to_string(sim.port()), "--user", "demo", "--password-file",
                         (root / "password").string()},
                        "", true);
  if (!recorder.started() || recorder.waitForText("Date: 12/06/2026", 10000).empty()) {
    std::fprintf(stderr, "recorder did not start its session\n");
    return 1;
  }
  const std::string recorderPid = std::to_string(recorder.pid());

  QApplication qapp(argc, argv);
  if (!writeServerSettings(makeServerSettings("127.0.0.1", sim.port(), "demo", "demo"))) return 1;

  double worstStallMs = 0;
  double worstStallCpuMs = 0;  // the window thread's own CPU time inside the longest stall
  double worstBusyMs = 0;      // the most CPU time it spent between two ticks
  long ticks = 0;
  int over16 = 0;
  double monitorBefore = 0, monitorPeak = 0, recorderBefore = 0, recorderPeak = 0;
  double floodMs = 0;
  bool caughtUp = false;
  {
    CQuillfernViewerApp app;
    if (!app.initInstance()) return 1;
    CQuillfernViewerView* view = app.view();
    auto* connect = qobject_cast<QPushButton*>(view->control(IDC_CONNECT));
    auto* status = qobject_cast<QPlainTextEdit*>(view->control(IDC_STATUS));
    if (!connect || !status) return 1;
    connect->click();
    // A few seconds of the live day first, so that both programs have settled.
    runUntil([] { return false; }, 5000);
    monitorBefore = monitorPeak = residentMiB("self");
    recorderBefore = recorderPeak = residentMiB(recorderPid);

    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    qint64 lastTick = clock.nsecsElapsed();
    double lastCpu = threadCpuMs();
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      const double lateMs = static_cast<double>(now - lastTick) / 1e6 - 10.0;
      const double cpu = threadCpuMs();
      lastTick = now;
      if (lateMs > worstStallMs) {
        worstStallMs = lateMs;
        worstStallCpuMs = cpu - lastCpu;
      }
      worstBusyMs = std::max(worstBusyMs, cpu - lastCpu);
      lastCpu = cpu;
      over16 += lateMs > 16 ? 1 : 0;
      ++ticks;
    });
    tick.start();
    QTimer sampler;
    sampler.setInterval(100);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
      monitorPeak = std::max(monitorPeak, residentMiB("self"));
      recorderPeak = std::max(recorderPeak, residentMiB(recorderPid));
    });
    sampler.start();

    sim.send("flood " + std::to_string(texts));
    sim.send("type 22 end-of-flood");
    caughtUp = runUntil([&] { return status->toPlainText() == "end-of-flood"; }, 600000);
    floodMs = static_cast<double>(clock.elapsed());
    caughtUp = caughtUp && !recorder.waitForText("end-of-flood", 600000).empty();
    monitorPeak = std::max(monitorPeak, residentMiB("self"));
    recorderPeak = std::max(recorderPeak, residentMiB(recorderPid));
    tick.stop();
    sampler.stop();
    app.frame()->close();
  }
  recorder.stop(SIGTERM);
  sim.stop();

  std::printf("status flood of %ld texts beside a live day at 100x%s\n", texts,
              caughtUp ? "" : " (NOT caught up)");
  std::printf("monitor shows the last text %.0f ms after the flood began\n", floodMs);
  std::printf(
      "window thread: longest stall %.1f ms (its own CPU time in it %.1f ms; the rest is the "
      "machine running something else); most CPU between two ticks %.1f ms; stalls > 16 ms: %d "
      "of %ld ticks; load average %s\n",
      worstStallMs, worstStallCpuMs, worstBusyMs, over16, ticks, loadAverage().c_str());
  std::printf("monitor RSS %.1f MiB before, %.1f MiB at peak (+%.1f MiB)\n", monitorBefore,
              monitorPeak, monitorPeak - monitorBefore);
  std::printf("recorder RSS %.1f MiB before, %.1f MiB at peak (+%.1f MiB)\n", recorderBefore,
              recorderPeak, recorderPeak - recorderBefore);

  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(root, ec);
  return caughtUp ? 0 : 1;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return kestrune::run(argc, argv);
}
