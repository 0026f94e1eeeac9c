// The day so far at a session start, through the real monitor window (offscreen) and the
// simulator: a full day on disk (300,000 alert lines, 3 x 86,400 samples) when Connect is pressed;
// then the server starts the session again with a 30,000-record burst right behind it. For each:
// the time from the click (or the command) until the whole day is in the lists and charts and the
// queue is empty, and the longest stall of the window thread meanwhile, seen by a 5 ms timer.
//
// The program runs in a profile of its own (temporary working directory and per-user store).
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
#include <functional>
#include <mutex>
#include <string>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "bench/app/recorded_day.h"
#include "bench/app/window_measure.h"
#include "charts/chart_lock.h"
#include "monitor/live_monitor.h"
#include "monitor/server_store.h"
#include "tests/support/feedsim_process.h"

namespace kestrune {
namespace {

using bench::threadCpuMs;

namespace fs = std::filesystem;

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

struct Phase {
  double shownMs = 0;
  double longestStallMs = 0;
  double cpuInLongestMs = 0;  // the window thread's own CPU time inside the longest stall
  int over16 = 0;
  bool ok = false;
};

int run(int argc, char** argv) {
  constexpr int kBurst = 30000;
  std::string pattern = (fs::temp_directory_path() / "kes_day_so_far_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  fs::create_directories(root / "work");
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  fs::current_path(root / "work");
  writeRecordedDay({});
  const long dayRows = 3L * kRecordedDayAlertsPerList;

  FeedsimProcess sim({"--stream", "off", "--date", kRecordedDayDate});
  if (!sim.ok()) {
    std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
    return 1;
  }
  QApplication qapp(argc, argv);
  if (!writeServerSettings(makeServerSettings("127.0.0.1", sim.port(), "demo", "demo"))) return 1;

  Phase first, again;
  {
    CQuillfernViewerApp app;
    if (!app.initInstance()) return 1;
    CQuillfernViewerView* view = app.view();
    auto* connect = qobject_cast<QPushButton*>(view->control(IDC_CONNECT));
    if (!connect || !view->liveMonitor()) return 1;
    UiQueue& queue = view->liveMonitor()->queue();
    ExchangeCharts& charts = view->charts();
    auto rows = [&] {
      long n = 0;
      for (int id : {IDC_RAW_LIST, IDC_SEQ_LIST, IDC_ALGO_LIST})
        n += view->list(id)->model()->rowCount();
      return n;
    };
    // The whole day is shown: every row in the lists, the last second in each chart, and nothing
    // left in the queue (the pictures are handed over).
    auto shown = [&](long wanted) {
      if (rows() != wanted || queue.pendingCount() != 0) return false;
      std::lock_guard<std::mutex> lock(chartLock());
      for (ChartId id : {ChartId::Reporting, ChartId::Listing, ChartId::Algo}) {
        if (charts.chart(id).coverage.last() != kLastSecondOfDay) return false;
      }
      return true;
    };
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    Phase* phase = &first;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    qint64 last = clock.nsecsElapsed();
    double lastCpu = threadCpuMs();
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      const double cpu = threadCpuMs();
      const double lateMs = static_cast<double>(now - last) / 1e6 - 5.0;
      if (lateMs > phase->longestStallMs) {
        phase->longestStallMs = lateMs;
        phase->cpuInLongestMs = cpu - lastCpu;
      }
      last = now;
      lastCpu = cpu;
      if (lateMs > 16) ++phase->over16;
    });
    tick.start();

    QElapsedTimer since;
    since.start();
    last = clock.nsecsElapsed();
    connect->click();
    first.ok = runUntil([&] { return shown(dayRows); }, 30000);
    first.shownMs = static_cast<double>(since.nsecsElapsed()) / 1e6;

    runUntil([] { return false; }, 300);
    phase = &again;
    since.restart();
    last = clock.nsecsElapsed();
    sim.send(std::string("session ") + kRecordedDayDate);
    sim.send("burst " + std::to_string(kBurst));
    again.ok = runUntil([&] { return shown(dayRows + kBurst); }, 30000);
    again.shownMs = static_cast<double>(since.nsecsElapsed()) / 1e6;
    tick.stop();
    app.frame()->close();
  }
  sim.stop();

  std::printf("the day so far at a session start, %ld alert lines and 3 x 86,400 samples on disk\n",
              dayRows);
  std::printf(
      "first connect:         %s in %6.1f ms after the click; longest window stall %5.1f ms "
      "(window-thread CPU in it %4.1f ms), %d over 16 ms\n",
      first.ok ? "whole day shown" : "NOT SHOWN", first.shownMs, first.longestStallMs,
      first.cpuInLongestMs, first.over16);
  std::printf(
      "session start + burst: %s in %6.1f ms after the command; longest window stall %5.1f "
      "ms (window-thread CPU in it %4.1f ms), %d over 16 ms\n",
      again.ok ? "day and burst shown" : "NOT SHOWN", again.shownMs, again.longestStallMs,
      again.cpuInLongestMs, again.over16);

  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(root, ec);
  return first.ok && again.ok ? 0 : 1;
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return kestrune::run(argc, argv);
}
