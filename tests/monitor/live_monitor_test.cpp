// The live monitor's window side: what the receive thread hands over reaches the window in order
// and without needless work.
#include "monitor/live_monitor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "alerts/alert_lists.h"
#include "alerts/symbol_filter_table.h"
#include "charts/exchange_charts.h"
#include "monitor/monitor_host.h"
#include "monitor/server_prefs.h"
#include "recording/data_files.h"
#include "settings/monitor_settings.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

QApplication& app() {
  static int argc = 1;
  static char name[] = "live_monitor_test";
  static char* argv[] = {name, nullptr};
  static QApplication instance(argc, argv);
  return instance;
}

class TimeBoxHost : public MonitorHost {
 public:
  double dpiScale() const override { return 1.0; }
  bool chartsReady() const override { return true; }
  void eraseLists() override {}
  void showStatus(const std::string&) override {}
  void showDisconnectedControls(bool) override {}
  void showConnectedControls() override {}
  void showSessionDate(const std::string&) override {}
  void startTimer(int, int) override {}
  void stopTimer(int) override {}
  void showSampleTime(const std::string& hhmmss) override {
    time = hhmmss;
    ++updates;
  }
  std::string time;
  int updates = 0;
};

std::string listingSample(int second) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d%02d%02d|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|",
                second / 3600, second / 60 % 60, second % 60);
  return text;
}

class LiveMonitorTest : public ::testing::Test {
 protected:
  LiveMonitorTest()
      : table((fs::temp_directory_path() / "kes_none.txt").string()),
        lists(settings, table),
        owned(std::make_unique<ExchangeCharts>(settings)),  // too large for the stack
        charts(*owned),
        files(dir.path()) {
    app();
    charts.setUpCharts();
    charts.setChartsReady(true);
  }

  test::TempDir dir;
  MonitorSettings settings;
  SymbolFilterTable table;
  AlertLists lists;
  std::unique_ptr<ExchangeCharts> owned;
  ExchangeCharts& charts;
  DataFiles files;
  ServerPrefsValues server;
};

// A replayed day hands the Time box 86,400 times in one go; a fast live day a hundred a second.
// Only the newest can be seen, so the window sets the box once per drain, and a time that comes
// after a drain still shows.
TEST_F(LiveMonitorTest, ABurstOfSampleTimesCostsOneUpdateAndShowsTheNewest) {
  TimeBoxHost host;
  LiveMonitor live(host, settings, server, lists, charts, &files);

  const int open = 9 * 3600 + 30 * 60;
  for (int s = 0; s < 1000; ++s) charts.replayListingSample(listingSample(open + s).c_str());
  EXPECT_EQ(live.queue().pendingCount(), 1u);
  live.queue().drainNow();
  EXPECT_EQ(host.updates, 1);
  EXPECT_EQ(host.time, "09:46:39");

  charts.replayListingSample(listingSample(open + 1000).c_str());
  live.queue().drainNow();
  EXPECT_EQ(host.updates, 2);
  EXPECT_EQ(host.time, "09:46:40");
}

// The collection window opens the files on a live sample; when one of them cannot be opened the
// status line says so, every time the window opens them again, not only the first time in a run.
TEST_F(LiveMonitorTest, AFileThatCannotBeOpenedIsReportedAtEveryOpening) {
  settings.collectStartMinuteOfDay = 9 * 60 + 30;
  settings.collectStopMinuteOfDay = 9 * 60 + 45;
  fs::create_directories(fs::path(dir.path()) / "Data" / "12062026_hft3.txt");  // not a file
  RecordingHost host;
  LiveMonitor live(host, settings, server, lists, charts, &files);
  live.connection().statusCallbackHandler(9, 0, "12062026");
  const int open = 9 * 3600 + 30 * 60;
  for (int second : {open, open + 16 * 60, open + 60, open + 16 * 60}) {
    charts.takeListingSample(listingSample(second).c_str());  // in, out, in, out
  }
  live.queue().drainNow();
  const std::string problem = openResultText(OpenResult::PartlyOpened, "12062026");
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), problem), 2);
}

}  // namespace
}  // namespace kestrune
