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
#include <vector>

#include "alerts/alert_list_model.h"
#include "alerts/alert_lists.h"
#include "alerts/alert_sound.h"
#include "alerts/symbol_filter_table.h"
#include "charts/exchange_charts.h"
#include "monitor/monitor_host.h"
#include "monitor/server_prefs.h"
#include "recording/data_files.h"
#include "settings/monitor_settings.h"
#include "tests/alerts/sound_settled.h"
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
  void showStatus(const std::string& text) override { statuses.push_back(text); }
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
  std::vector<std::string> statuses;
};

std::string listingSample(int second) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d%02d%02d|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|",
                second / 3600, second / 60 % 60, second % 60);
  return text;
}

// One live monitor over real lists, charts and data files, with a stand-in window; start() makes
// it once the test has set the settings up.
class LiveMonitorTest : public ::testing::Test {
 protected:
  void start() {
    app();
    lists_ = std::make_unique<AlertLists>(settings_, table_);
    charts_ = std::make_unique<ExchangeCharts>(settings_);  // too large for the stack
    charts_->setUpCharts();
    charts_->setChartsReady(true);
    live_ = std::make_unique<LiveMonitor>(host_, settings_, server_, *lists_, *charts_, &files_);
  }

  test::TempDir dir_;
  MonitorSettings settings_;
  SymbolFilterTable table_{(std::filesystem::temp_directory_path() / "kes_none.txt").string()};
  DataFiles files_{dir_.path()};
  ServerPrefsValues server_;
  TimeBoxHost host_;
  std::unique_ptr<AlertLists> lists_;
  std::unique_ptr<ExchangeCharts> charts_;
  std::unique_ptr<LiveMonitor> live_;
};

// A replayed day hands the Time box 86,400 times in one go; a fast live day a hundred a second.
// Only the newest can be seen, so the window sets the box once per drain, and a time that comes
// after a drain still shows.
TEST_F(LiveMonitorTest, ABurstOfSampleTimesCostsOneUpdateAndShowsTheNewest) {
  start();
  ExchangeCharts& charts = *charts_;
  LiveMonitor& live = *live_;
  TimeBoxHost& host = host_;

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
  settings_.collectStartMinuteOfDay = 9 * 60 + 30;
  settings_.collectStopMinuteOfDay = 9 * 60 + 45;
  fs::create_directories(fs::path(dir_.path()) / "Data" / "12062026_hft3.txt");  // not a file
  start();
  live_->connection().statusCallbackHandler(9, 0, "12062026");
  const int open = 9 * 3600 + 30 * 60;
  for (int second : {open, open + 16 * 60, open + 60, open + 16 * 60}) {
    charts_->takeListingSample(listingSample(second).c_str());  // in, out, in, out
  }
  live_->queue().drainNow();
  const std::string problem = "NOT RECORDING: Data/12062026_hft3.txt is not a regular file";
  EXPECT_EQ(std::count(host_.statuses.begin(), host_.statuses.end(), problem), 2);
}

// Of the alarms one drained batch sets off only the last could be heard, each replacing the one
// before: it alone is started, once the batch is in. Clear Alerts between batches still stops a
// looping alarm, and the next batch sounds again.
TEST_F(LiveMonitorTest, ABatchStartsOnlyTheSoundHeardLast) {
  copyFixedText(settings_.audioAlert[3].fileName, kFileNameSize, "raw-list.wav");
  settings_.audioAlert[3].use = 1;
  settings_.audioAlert[3].loop = 1;
  copyFixedText(settings_.audioAlert[1].fileName, kFileNameSize, "listing-chart.wav");
  settings_.audioAlert[1].use = 1;
  settings_.audioAlert[1].threshold = 0;
  start();
  ExchangeCharts& charts = *charts_;
  LiveMonitor& live = *live_;
  AlertSoundPlayer* player = AlertSoundPlayer::instance();
  ASSERT_NE(player, nullptr);
  // Both files are missing, so both beep; the list's loops and the chart's does not.
  std::vector<bool> started;
  QObject listening;
  QObject::connect(player, &AlertSoundPlayer::soundStarted, &listening,
                   [&](const QString&, bool loop, bool) { started.push_back(loop); });

  const int open = 9 * 3600 + 30 * 60;
  auto rawAlert = [&] { live.queue().post(live.takeAlert(1, "IBM|7|093015|3200|X|45")); };
  auto listingSampleIn = [&](int s) { charts.takeListingSample(listingSample(open + s).c_str()); };

  rawAlert();
  listingSampleIn(0);
  rawAlert();
  listingSampleIn(1);
  live.queue().drainNow();
  ASSERT_TRUE(test::soundSettled());
  ASSERT_EQ(started.size(), 1u);
  EXPECT_FALSE(started[0]);  // the chart's, once
  EXPECT_EQ(lists_->model(AlertKind::Raw)->rowCount(), 2);

  listingSampleIn(2);
  rawAlert();
  live.queue().drainNow();
  ASSERT_TRUE(test::soundSettled());
  ASSERT_EQ(started.size(), 2u);
  EXPECT_TRUE(started[1]);  // the list's, looping
  EXPECT_TRUE(player->isPlaying());
  stopAlertSound();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_FALSE(player->isPlaying());
  live.queue().drainNow();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(started.size(), 2u);  // nothing was left over to start
  rawAlert();
  live.queue().drainNow();
  ASSERT_TRUE(test::soundSettled());
  EXPECT_EQ(started.size(), 3u);
  stopAlertSound();
}

}  // namespace
}  // namespace kestrune
