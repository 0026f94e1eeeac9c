// The whole monitor window, offscreen: a full recorded day replayed from Retrieve to the last
// chart painted, and start-up to the first painted window (in this process, and as a fresh
// process the way a user starts the program).
//
// The program runs in a profile of its own (temporary working directory and per-user store), so
// the Kestrune.cfg it saves at teardown never lands in the user's settings.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "bench/app/recorded_day.h"
#include "client/wire.h"
#include "feedsim/market_day.h"
#include "feedsim/sim_packets.h"
#include "monitor/session_library.h"
#include "recording/data_files.h"

extern char** environ;

namespace kestrune {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDate = kRecordedDayDate;
constexpr int kAlertsPerList = kRecordedDayAlertsPerList;

// Notes paints of chosen widgets (the filter sees the event just before the widget paints; the
// paint is done once the event-loop pass that delivered it returns).
class PaintWatch : public QObject {
 public:
  void watch(QObject* object) { watched_.push_back({object, false}); }
  void reset() {
    for (auto& w : watched_) w.painted = false;
  }
  bool allPainted() const {
    for (const auto& w : watched_)
      if (!w.painted) return false;
    return !watched_.empty();
  }
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      for (auto& w : watched_)
        if (w.object == object) w.painted = true;
    }
    return false;
  }

 private:
  struct Watched {
    QObject* object;
    bool painted;
  };
  std::vector<Watched> watched_;
};

// Runs the event loop until done() holds after a full pass; false after timeoutMs.
template <typename Done>
bool spinUntil(Done done, int timeoutMs = 20000) {
  QElapsedTimer clock;
  clock.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (clock.elapsed() > timeoutMs) return false;
  } while (!done());
  return true;
}

// Start-up as main() does it: application object, frame and view, initial update, show; until
// the form has been painted for the first time.
double startAndPaint(std::unique_ptr<CQuillfernViewerApp>& app, PaintWatch& watch) {
  QElapsedTimer clock;
  clock.start();
  app = std::make_unique<CQuillfernViewerApp>();
  if (!app->initInstance()) std::abort();
  watch.watch(app->view()->form());
  qApp->installEventFilter(&watch);
  const bool painted = spinUntil([&] { return watch.allPainted(); });
  const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  qApp->removeEventFilter(&watch);
  if (!painted) std::abort();
  return ms;
}

void BM_StartupToFirstPaintInProcess(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<CQuillfernViewerApp> app;
    PaintWatch watch;
    const double ms = startAndPaint(app, watch);
    state.SetIterationTime(ms / 1000.0);
    app->frame()->close();
    app.reset();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_StartupToFirstPaintInProcess)->UseManualTime()->Unit(benchmark::kMillisecond);

double threadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::string selfPath() { return fs::read_symlink("/proc/self/exe").string(); }

// A fresh process of this program runs the start-up alone and says when its window painted:
// the figure a user sees, loader and application object included.
void BM_StartupToFirstPaintFreshProcess(benchmark::State& state) {
  const std::string self = selfPath();
  double insideMs = 0;
  double childCpuMs = 0;
  for (auto _ : state) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char arg0[] = "bench_app";
    char arg1[] = "--startup-child";
    char* argv[] = {arg0, arg1, nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    char buf[128];
    while (out.find('\n') == std::string::npos) {
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    childCpuMs += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    if (out.rfind("painted ", 0) != 0) {
      state.SkipWithError("the start-up child did not report a painted window");
      break;
    }
    insideMs = std::atof(out.c_str() + 8);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["main_to_paint_ms"] = insideMs;
  // The child's CPU time (whole run, teardown included), per start.
  state.counters["child_cpu_ms"] = childCpuMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StartupToFirstPaintFreshProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

int startupChild(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  QApplication qapp(argc, argv);
  std::unique_ptr<CQuillfernViewerApp> app;
  PaintWatch watch;
  startAndPaint(app, watch);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("painted %.3f\n", ms);
  std::fflush(stdout);
  app->frame()->close();
  return 0;
}

// A full recorded day: View Date typed, Retrieve pressed, until the three lists hold every row
// and the three charts and lists have been painted with the day.
void BM_ReplayFullDayThroughWindow(benchmark::State& state) {
  std::unique_ptr<CQuillfernViewerApp> app;
  PaintWatch startWatch;
  startAndPaint(app, startWatch);
  CQuillfernViewerView* view = app->view();
  auto* viewDate = qobject_cast<QLineEdit*>(view->control(IDC_VIEW_DATE));
  auto* retrieve = qobject_cast<QPushButton*>(view->control(IDC_RETRIEVE));
  if (!viewDate || !retrieve) std::abort();
  viewDate->setText(QString::fromLatin1(kDate));

  PaintWatch watch;
  for (int id : kChartSurfaceIds) watch.watch(view->control(id));
  const std::array<int, 3> listIds = {IDC_RAW_LIST, IDC_SEQ_LIST, IDC_ALGO_LIST};
  for (int id : listIds) watch.watch(view->list(id)->viewport());
  auto rows = [&] {
    int n = 0;
    for (int id : listIds) n += view->list(id)->model()->rowCount();
    return n;
  };
  qApp->installEventFilter(&watch);
  double replayCallMs = 0;
  double replayCallCpuMs = 0;
  double showCpuMs = 0;
  for (auto _ : state) {
    watch.reset();
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = threadCpuMs();
    retrieve->click();
    const double cpu1 = threadCpuMs();
    replayCallMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    // The rows are committed on the next turn of the loop; the paints follow.
    if (!spinUntil([&] { return watch.allPainted() && rows() == 3 * kAlertsPerList; })) {
      state.SkipWithError("the day did not show in full");
      break;
    }
    replayCallCpuMs += cpu1 - cpu0;
    showCpuMs += threadCpuMs() - cpu1;
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
  }
  qApp->removeEventFilter(&watch);
  state.counters["rows"] = rows();
  // Wall time of the last Retrieve call itself (files read, rows staged, charts drawn), and the
  // window thread's CPU time per run: in that call, then committing the rows and painting.
  state.counters["retrieve_call_ms"] = replayCallMs;
  const double runs =
      static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["cpu_retrieve_ms"] = replayCallCpuMs / runs;
  state.counters["cpu_commit_paint_ms"] = showCpuMs / runs;
  app->frame()->close();
  app.reset();
  QCoreApplication::processEvents();
}
BENCHMARK(BM_ReplayFullDayThroughWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The profile the program runs in: a temporary working directory holding the recorded day,
// and a per-user store of its own.
std::string makeProfile() {
  std::string pattern = (fs::temp_directory_path() / "kes_bench_app_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  const fs::path root = pattern;
  fs::create_directories(root / "work");
  fs::create_directories(root / "config");
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  fs::current_path(root / "work");
  return root.string();
}

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc > 1 && std::strcmp(argv[1], "--startup-child") == 0) {
    return kestrune::startupChild(argc, argv);
  }
  const std::string profile = kestrune::makeProfile();
  kestrune::writeRecordedDay({});
  int result = 0;
  {
    QApplication qapp(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
      result = 1;
    } else {
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
    }
  }
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
  std::filesystem::remove_all(profile, ec);
  return result;
}
