// A live trading day at 100x through the real monitor window (offscreen), fed by the simulator,
// then a burst of 100,000 alert records, then Disconnect pressed in the middle of another such
// burst. For each phase: the longest stall of the window thread, measured by a 10 ms timer that
// notes how late it fires, with the window thread's own CPU time inside it (the rest is the
// machine running something else); and resident memory every second.
//
// KES_LIVE_DAY_SECONDS sets the wall time of the live phase (default 60); KES_LIVE_DAY_SPEED the
// simulator's speed (default 100). The program runs in a profile of its own (temporary working
// directory and per-user store), never the user's.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "bench/app/window_measure.h"
#include "monitor/live_monitor.h"
#include "monitor/server_store.h"
#include "tests/support/feedsim_process.h"

namespace kestrune {
namespace {

using bench::loadAverage;
using bench::residentMiB;
using bench::runUntil;
using bench::threadCpuMs;

namespace fs = std::filesystem;

int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : fallback;
}

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Sample {
  double second;
  double rssMiB;
  long rows;
  std::string serverTime;
};

// The window thread's pauses during one phase.
struct Stalls {
  const char* name;
  double worstMs = 0;      // the longest lateness of the 10 ms tick
  double worstAt = 0;      // when (s)
  double worstCpuMs = 0;   // the window thread's own CPU time inside that stall
  double worstBusyMs = 0;  // the most CPU time the window thread spent between two ticks
  int over16 = 0;
  int over50 = 0;
  long ticks = 0;

  void tick(double lateMs, double busyMs, double atS) {
    ++ticks;
    worstBusyMs = std::max(worstBusyMs, busyMs);
    if (lateMs > worstMs) {
      worstMs = lateMs;
      worstCpuMs = busyMs;
      worstAt = atS;
    }
    if (lateMs > 16) ++over16;
    if (lateMs > 50) ++over50;
  }
  void print() const {
    std::printf(
        "%-22s longest stall %6.1f ms (at %5.1f s, window-thread CPU in it %5.1f ms); most "
        "window-thread CPU between two ticks %5.1f ms; stalls > 16 ms: %d, > 50 ms: %d of %ld "
        "ticks\n",
        name, worstMs, worstAt, worstCpuMs, worstBusyMs, over16, over50, ticks);
  }
};

int run(int argc, char** argv) {
  const int seconds = envInt("KES_LIVE_DAY_SECONDS", 60);
  const int speed = envInt("KES_LIVE_DAY_SPEED", 100);
  constexpr int kBurst = 100000;

  std::string pattern = (fs::temp_directory_path() / "kes_live_day_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  fs::create_directories(root / "work");
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  fs::current_path(root / "work");

  FeedsimProcess sim({"--speed", std::to_string(speed), "--start", "09:30:00", "--date", "12062026",
                      "--status-every", "5"});
  if (!sim.ok()) {
    std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
    return 1;
  }

  QApplication qapp(argc, argv);
  if (!writeServerSettings(makeServerSettings("127.0.0.1", sim.port(), "demo", "demo"))) return 1;

  std::vector<Sample> samples;
  Stalls live{"live day"};
  Stalls burst{"100,000-record burst"};
  Stalls cut{"Disconnect mid-burst"};
  Stalls* phase = &live;
  long rowsAtEnd = 0;
  long burstRows = 0;
  double burstMs = 0;
  double clickMs = 0;
  double drainedMs = 0;
  double cpuAtStart = 0;
  double windowCpuMs = 0;
  {
    CQuillfernViewerApp app;
    if (!app.initInstance()) return 1;
    CQuillfernViewerView* view = app.view();
    auto* connect = qobject_cast<QPushButton*>(view->control(IDC_CONNECT));
    auto* disconnect = qobject_cast<QPushButton*>(view->control(IDC_DISCONNECT));
    auto* time = qobject_cast<QLineEdit*>(view->control(IDC_TIME));
    if (!connect || !disconnect || !time || !view->liveMonitor()) return 1;
    UiQueue& queue = view->liveMonitor()->queue();
    auto rows = [&] {
      long n = 0;
      for (int id : {IDC_RAW_LIST, IDC_SEQ_LIST, IDC_ALGO_LIST})
        n += view->list(id)->model()->rowCount();
      return n;
    };
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    cpuAtStart = cpuSeconds();
    const double windowCpuAtStart = threadCpuMs();
    connect->click();

    // The window thread's lateness: a 10 ms timer that should fire every 10 ms.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    qint64 lastTick = clock.nsecsElapsed();
    double lastTickCpu = threadCpuMs();
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      const double lateMs = static_cast<double>(now - lastTick) / 1e6 - 10.0;
      lastTick = now;
      const double cpuNow = threadCpuMs();
      phase->tick(lateMs, cpuNow - lastTickCpu, static_cast<double>(now) / 1e9);
      lastTickCpu = cpuNow;
    });
    tick.start();

    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
      samples.push_back({static_cast<double>(clock.elapsed()) / 1000.0, residentMiB(), rows(),
                         time->text().toStdString()});
    });
    sampler.start();

    runUntil([] { return false; }, seconds * 1000);
    rowsAtEnd = rows();
    windowCpuMs = threadCpuMs() - windowCpuAtStart;

    // A burst on top of the live day: until all of it is in the lists.
    phase = &burst;
    const long before = rows();
    QElapsedTimer burstClock;
    burstClock.start();
    sim.send("burst " + std::to_string(kBurst));
    runUntil([&] { return rows() >= before + kBurst; }, 120000);
    burstMs = static_cast<double>(burstClock.elapsed());
    burstRows = rows() - before;

    // Another burst, and Disconnect pressed when a third of it is shown; then until everything
    // the link delivered before it stopped is shown.
    phase = &cut;
    const long start = rows();
    sim.send("burst " + std::to_string(kBurst));
    runUntil([&] { return rows() >= start + kBurst / 3; }, 120000);
    QElapsedTimer clickClock;
    clickClock.start();
    disconnect->click();
    clickMs = static_cast<double>(clickClock.nsecsElapsed()) / 1e6;
    runUntil([&] { return queue.pendingCount() == 0; }, 120000);
    drainedMs = static_cast<double>(clickClock.elapsed());
    runUntil([] { return false; }, 500);
    tick.stop();
    sampler.stop();
    app.frame()->close();
  }
  const double cpu = cpuSeconds() - cpuAtStart;
  sim.stop();

  std::printf("live day at %dx through the real window, %d s of wall time\n", speed, seconds);
  std::printf("%8s %10s %10s %10s\n", "wall s", "RSS MiB", "rows", "server");
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (i % 10 == 9 || i + 1 == samples.size() || i == 0) {
      const Sample& s = samples[i];
      std::printf("%8.1f %10.1f %10ld %10s\n", s.second, s.rssMiB, s.rows, s.serverTime.c_str());
    }
  }
  const auto liveEnd = std::find_if(samples.begin(), samples.end(),
                                    [&](const Sample& s) { return s.second >= seconds; });
  if (liveEnd != samples.begin()) {
    // After the first minute, or two thirds of the way on a short run, to the end of the live day.
    const double mark = std::min(60.0, seconds * 2.0 / 3.0);
    const auto it =
        std::find_if(samples.begin(), liveEnd, [&](const Sample& s) { return s.second >= mark; });
    const Sample& first = it != liveEnd ? *it : samples.front();
    const Sample& last = *(liveEnd - 1);
    const long newRows = last.rows - first.rows;
    std::printf(
        "RSS at %.0f s: %.1f MiB; at the end of the live day (%.0f s): %.1f MiB; growth %.1f MiB\n",
        first.second, first.rssMiB, last.second, last.rssMiB, last.rssMiB - first.rssMiB);
    if (newRows > 0) {
      std::printf("rows added meanwhile: %ld (%.0f bytes of growth per row)\n", newRows,
                  (last.rssMiB - first.rssMiB) * 1024 * 1024 / static_cast<double>(newRows));
    }
  }
  std::printf("rows in the three lists after the live day: %ld\n", rowsAtEnd);
  std::printf("burst: %ld rows shown in %.0f ms\n", burstRows, burstMs);
  std::printf(
      "Disconnect mid-burst: the click took %.1f ms; what was delivered was shown %.0f ms "
      "after it\n",
      clickMs, drainedMs);
  for (const Stalls* s : {&live, &burst, &cut}) s->print();
  std::printf(
      "process CPU time: %.1f s (window thread %.1f s in the live day) over %d s of live day; "
      "load average: %s\n",
      cpu, windowCpuMs / 1000.0, seconds, loadAverage().c_str());

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
