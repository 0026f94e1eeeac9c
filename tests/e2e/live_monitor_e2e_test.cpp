// The live monitor end to end: the real client library against kestrune-feedsim on 127.0.0.1,
// the real alert lists, charts and data files; only the window is a recording stand-in.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "alerts/alert_lists.h"
#include "alerts/alert_sound.h"
#include "alerts/symbol_filter_table.h"
#include "charts/chart_readout.h"
#include "charts/exchange_charts.h"
#include "monitor/live_monitor.h"
#include "monitor/server_prefs.h"
#include "monitor/server_store.h"
#include "monitor/session_library.h"
#include "recording/data_files.h"
#include "settings/config_file.h"
#include "settings/monitor_settings.h"
#include "tests/support/child_process.h"
#include "tests/support/feedsim_process.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_host.h"
#include "tests/support/silent_listener.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

// Never destroyed: the alarm player's sound effects must not be torn down after the sound
// system's own globals at exit.
QApplication& app() { return test::ensureApplication(); }

std::string readFile(const fs::path& path) { return test::readAll(path.string()); }

std::size_t lineCount(const fs::path& path) {
  const std::string text = readFile(path);
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The real client library, counting the alert records its status callback was handed.
class CountingLibrary : public QvsHftLibrary {
 public:
  static inline std::atomic<StatusCallbackFn> next{nullptr};
  static inline std::atomic<long> alerts{0};
  static int count(std::int32_t type, std::int32_t kind, const char* text) {
    if (type == 33 && kind >= 1 && kind <= 3) ++alerts;
    const StatusCallbackFn to = next.load();
    return to ? to(type, kind, text) : 0;
  }
  int setStatusCallback(StatusCallbackFn callback) override {
    next = callback;
    return QvsHftLibrary::setStatusCallback(&count);
  }
};

// The longest pause of the window thread while it runs, seen by a 5 ms timer on it.
class WindowPauses {
 public:
  WindowPauses() {
    QObject::connect(&ticker_, &QTimer::timeout,
                     [this] { longestMs_ = std::max(longestMs_, gap_.restart()); });
    ticker_.start(5);
    gap_.start();
  }
  qint64 longestMs() const { return longestMs_; }

 private:
  QTimer ticker_;
  QElapsedTimer gap_;
  qint64 longestMs_ = 0;
};

class LiveMonitorE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    dir_ = fs::temp_directory_path() /
           ("kes_e2e_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    settings_ = std::make_unique<MonitorSettings>();
    table_ = std::make_unique<SymbolFilterTable>((dir_ / "SymbolFilter.txt").string());
    lists_ = std::make_unique<AlertLists>(*settings_, *table_);
    charts_ = std::make_unique<ExchangeCharts>(*settings_);
    charts_->setUpCharts();
    charts_->setChartsReady(true);
    files_ = std::make_unique<DataFiles>(dir_.string());
  }

  void TearDown() override {
    live_.reset();
    setCurrentView(nullptr);
    sim_.reset();
    fs::remove_all(dir_);
  }

  // Starts the simulator (quiet unless told to stream) and points the monitor at it.
  bool startSim(std::vector<std::string> args = {},
                std::unique_ptr<SessionLibrary> library = nullptr) {
    std::vector<std::string> all = {"--stream", "off", "--date", "12062026"};
    all.insert(all.end(), args.begin(), args.end());
    sim_ = std::make_unique<FeedsimProcess>(all);
    if (!sim_->ok()) return false;
    pointAt(sim_->port(), std::move(library));
    return true;
  }

  // The monitor's server is 127.0.0.1:port (the server preferences may change between
  // connections); the monitor itself is made on first use.
  void pointAt(int port, std::unique_ptr<SessionLibrary> library = nullptr) {
    server_.serverPort = port;
    std::snprintf(server_.serverAddress, sizeof server_.serverAddress, "127.0.0.1");
    std::snprintf(server_.userName, sizeof server_.userName, "demo");
    std::snprintf(server_.userPassword, sizeof server_.userPassword, "demo");
    if (!live_) {
      live_ = std::make_unique<LiveMonitor>(host_, *settings_, server_, *lists_, *charts_,
                                            files_.get(), std::move(library));
      host_.control = &live_->connection();
      setCurrentView(&host_);
    }
  }

  // The server's process dies: no disconnect packet, the connection just ends.
  void killSim() {
    ::kill(sim_->pid(), SIGKILL);
    sim_->stop();
  }

  // Waits for the attempt under way to have its outcome on the window.
  bool attemptEnded(int timeoutMs = 10000) {
    return waitFor([&] { return !live_->connection().connecting(); }, timeoutMs);
  }

  // Runs the window thread's event loop until the condition holds (false after the deadline).
  bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    return test::waitFor(done, timeoutMs);
  }

  // Sends a command to the simulator and waits until its packets were written.
  void send(const std::string& command) {
    ASSERT_FALSE(sim_->command(command, "ok " + command + " sent").empty()) << command;
  }

  bool connectAndStart() {
    live_->onConnect();
    return waitFor([&] { return host_.date == "12/06/2026" && live_->connection().sessionUp(); });
  }

  std::size_t rows(AlertKind kind) const {
    return static_cast<std::size_t>(lists_->model(kind)->rowCount());
  }
  fs::path dataFile(const std::string& date, int n) const {
    return dir_ / "Data" / (date + "_hft" + std::to_string(n) + ".txt");
  }
  // Under the chart lock: the receive thread stores samples (and a session start empties the
  // store) under it.
  double chartValue(ChartId chart, int series, int second) const {
    std::lock_guard<std::mutex> lock(chartLock());
    return charts_->chart(chart).series[static_cast<std::size_t>(series)].values[second];
  }

  // Every line of the day's three alert files is a row of its list, in the same order (the
  // list shows the newest first), and there is no other row.
  void expectListsEqualFiles(const std::string& date) {
    for (int k = 0; k < kAlertKindCount; ++k) {
      const AlertList& list = lists_->model(static_cast<AlertKind>(k))->list();
      const std::string text = readFile(dataFile(date, k + 1));
      std::vector<std::string_view> lines;
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.emplace_back(text.data() + at, end - at);
        at = end + 2;
      }
      ASSERT_EQ(list.size(), lines.size()) << "list " << k;
      AlertCells cells;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        splitAlertRecord(static_cast<AlertKind>(k), lines[i], cells);
        const std::size_t row = lines.size() - 1 - i;
        for (int c = 0; c < list.columnCount(); ++c) {
          ASSERT_EQ(list.cell(row, c), cells.cell(c)) << "list " << k << " line " << i;
        }
      }
    }
  }
  // Every sample of the day's three sample files is in its chart, and no second holds a sample
  // that is not in them. Returns the number of seconds between the first and the newest sample
  // that none covers.
  int expectChartsEqualFiles(const std::string& date) {
    const ChartId charts[3] = {ChartId::Listing, ChartId::Reporting, ChartId::Algo};
    int gaps = 0;
    std::lock_guard<std::mutex> lock(chartLock());
    for (int f = 0; f < 3; ++f) {
      const RyxChartTemplate& t = charts_->chart(charts[f]);
      const std::string text = readFile(dataFile(date, f + 4));
      std::set<int> seconds;
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        ChartSample sample;
        EXPECT_TRUE(parseReplaySample(charts[f], text.substr(at, end - at).c_str(), sample));
        seconds.insert(sample.secondOfDay);
        double total = 0;
        for (double v : sample.counts) total += v;
        EXPECT_EQ(t.series[kTotalSeries].values[sample.secondOfDay], total) << sample.timeText;
        at = end + 1;
      }
      for (int s = 0; s < kSecondsPerDay; ++s) {
        EXPECT_EQ(t.coverage.covered(s), seconds.count(s) == 1) << "chart " << f << " second " << s;
        if (t.coverage.isGap(s)) ++gaps;
      }
    }
    return gaps;
  }

  fs::path dir_;
  RecordingHost host_;
  std::unique_ptr<MonitorSettings> settings_;
  std::unique_ptr<SymbolFilterTable> table_;
  std::unique_ptr<AlertLists> lists_;
  std::unique_ptr<ExchangeCharts> charts_;
  std::unique_ptr<DataFiles> files_;
  ServerPrefsValues server_;
  std::unique_ptr<FeedsimProcess> sim_;
  std::unique_ptr<LiveMonitor> live_;
};

const std::string kSample = "093001|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|";

TEST_F(LiveMonitorE2E, SessionFillsListsChartsAndTheSixFilesLineForLine) {
  ASSERT_TRUE(startSim());
  ASSERT_TRUE(connectAndStart());
  EXPECT_TRUE(host_.linkedControls);
  EXPECT_EQ(host_.timers.count(2), 1u);
  for (int n = 1; n <= 6; ++n) EXPECT_TRUE(fs::exists(dataFile("12062026", n))) << n;

  const std::vector<std::string> alerts = {"MSFT|x|093001|250|10.00-10.01|12",
                                           "AAPL|P|093001|300|191.20-191.21|840",
                                           "NVDA|Q|3|093002|410|Sweep"};
  for (int kind = 1; kind <= 3; ++kind) {
    send("alert " + std::to_string(kind) + " " + alerts[static_cast<std::size_t>(kind - 1)]);
  }
  for (int kind = 1; kind <= 3; ++kind) send("sample " + std::to_string(kind) + " " + kSample);
  ASSERT_TRUE(waitFor([&] {
    bool written = true;
    for (int n = 1; n <= 6; ++n) written = written && lineCount(dataFile("12062026", n)) == 1;
    return written && rows(AlertKind::Raw) == 1 && rows(AlertKind::Seq) == 1 &&
           rows(AlertKind::Algo) == 1 && host_.time == "09:30:01";
  }));

  // Each file line is the decoded text exactly as the server meant it.
  for (int kind = 1; kind <= 3; ++kind) {
    EXPECT_EQ(readFile(dataFile("12062026", kind)),
              alerts[static_cast<std::size_t>(kind - 1)] + "\r\n");
    EXPECT_EQ(readFile(dataFile("12062026", kind + 3)), kSample + "\r\n");
  }
  EXPECT_EQ(
      lists_->model(AlertKind::Raw)->data(lists_->model(AlertKind::Raw)->index(0, 1)).toString(),
      "MSFT");
  // The Seq record's sixth field is recorded above but not shown: BBO is the last column.
  const AlertListModel* seq = lists_->model(AlertKind::Seq);
  ASSERT_EQ(seq->columnCount(), 5);
  EXPECT_EQ(seq->data(seq->index(0, 4)).toString(), "191.20-191.21");
  const int second = 9 * 3600 + 30 * 60 + 1;
  for (ChartId chart : {ChartId::Listing, ChartId::Reporting, ChartId::Algo}) {
    EXPECT_EQ(chartValue(chart, 0, second), 1.0);
    EXPECT_EQ(chartValue(chart, 16, second), 136.0);  // TOTAL of 1..16
  }
  EXPECT_GT(host_.pictures, 0);

  // A new date switches files and keeps what the views hold.
  send("send-date 12072026");
  send("alert 1 IBM|x|093003|260|1.00-1.01|3");
  // The row may be shown a moment before its line is written (intake first, then the line).
  ASSERT_TRUE(waitFor([&] {
    return host_.date == "12/07/2026" && rows(AlertKind::Raw) == 2 &&
           lineCount(dataFile("12072026", 1)) == 1;
  }));
  EXPECT_EQ(readFile(dataFile("12072026", 1)), "IBM|x|093003|260|1.00-1.01|3\r\n");
  EXPECT_EQ(lineCount(dataFile("12062026", 1)), 1u);
  EXPECT_EQ(chartValue(ChartId::Listing, 16, second), 136.0);

  // A session start clears lists and charts, then shows again what that day's files hold: the
  // MSFT row and the samples of 12062026, not the IBM row of the other day.
  send("session 12062026");
  ASSERT_TRUE(waitFor([&] {
    return host_.date == "12/06/2026" && rows(AlertKind::Raw) == 1 &&
           chartValue(ChartId::Listing, 16, second) == 136.0;
  }));
  EXPECT_EQ(
      lists_->model(AlertKind::Raw)->data(lists_->model(AlertKind::Raw)->index(0, 1)).toString(),
      "MSFT");
  // A day without files starts empty.
  send("session 12082026");
  ASSERT_TRUE(waitFor([&] { return host_.date == "12/08/2026" && rows(AlertKind::Raw) == 0; }));
  EXPECT_EQ(chartValue(ChartId::Listing, 16, second), 0.0);
}

TEST_F(LiveMonitorE2E, ABadSessionDateOpensNothingUntilAGoodOneArrives) {
  ASSERT_TRUE(startSim());
  ASSERT_TRUE(connectAndStart());
  send("type 9 ../../escape");
  send("alert 1 MSFT|x|093001|250|10.00-10.01|12");
  ASSERT_TRUE(waitFor([&] { return rows(AlertKind::Raw) == 1; }));
  EXPECT_EQ(host_.date, "");
  EXPECT_EQ(host_.lastStatus().rfind("NOT RECORDING", 0), 0u);
  EXPECT_FALSE(files_->dataFilesOpen());
  EXPECT_FALSE(fs::exists(dir_ / "escape_hft1.txt"));
  EXPECT_FALSE(fs::exists(dir_.parent_path() / "escape_hft1.txt"));
  EXPECT_EQ(lineCount(dataFile("12062026", 1)), 0u);
}

TEST_F(LiveMonitorE2E, RefusalsDisconnectFirstShowTheirTextAndDoNotReconnect) {
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {"7", "Invalid username/password!"},
      {"10", "Account already in use!"},
      {"11", "Invalid Server-App!"}};
  ASSERT_TRUE(startSim());
  for (const auto& [code, text] : refusals) {
    sim_->command("refuse " + code, "ok refuse");
    host_.statuses.clear();
    live_->onConnect();
    ASSERT_TRUE(waitFor([&] { return host_.lastStatus() == text; })) << code;
    // The server heard the disconnect (or, for a bad user, saw the link end) before the text.
    EXPECT_FALSE(sim_->waitForLine("closed client=").empty()) << code;
    EXPECT_FALSE(live_->connection().sessionUp());
    EXPECT_FALSE(live_->connection().reconnectPending());
    EXPECT_TRUE(host_.timers.empty()) << code;
    EXPECT_FALSE(host_.disconnectEnabled);
  }
  // Refusal 10 while linked: the monitor sends its disconnect through the library.
  sim_->command("refuse off", "ok refuse");
  ASSERT_TRUE(connectAndStart());
  send("type 10 in use");
  ASSERT_TRUE(waitFor([&] { return host_.lastStatus() == "Account already in use!"; }));
  const std::string closed = sim_->waitForLine("closed client=");
  EXPECT_NE(closed.find("reason=client disconnect"), std::string::npos) << closed;
}

TEST_F(LiveMonitorE2E, ALostLinkRetriesUntilTheServerIsBackAndAppendsTheSameDay) {
  ASSERT_TRUE(startSim());
  const int port = sim_->port();
  ASSERT_TRUE(connectAndStart());
  send("alert 1 MSFT|x|093001|250|10.00-10.01|12");
  ASSERT_TRUE(waitFor([&] { return lineCount(dataFile("12062026", 1)) == 1; }));

  // The server went away without a word: seen at once, not at the next keep-alive.
  killSim();
  ASSERT_TRUE(waitFor([&] { return live_->connection().reconnectPending(); }));
  EXPECT_TRUE(host_.sawStatus("Kestrune Server Disconnected."));
  EXPECT_EQ(host_.lastStatus(), "Attempting Reconnection...");
  EXPECT_EQ(host_.timers, (std::map<int, int>{{1, 5000}}));
  EXPECT_TRUE(host_.disconnectEnabled);
  EXPECT_FALSE(files_->dataFilesOpen());

  live_->onTimer(1);
  ASSERT_TRUE(attemptEnded());
  EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
  EXPECT_EQ(host_.timers.count(1), 1u);

  // The server is back on the same port.
  ASSERT_TRUE(startSim({"--port", std::to_string(port)}));
  host_.date.clear();
  live_->onTimer(1);
  ASSERT_TRUE(attemptEnded());
  EXPECT_TRUE(live_->connection().sessionUp());
  EXPECT_EQ(host_.timers, (std::map<int, int>{{2, 60000}}));
  ASSERT_TRUE(waitFor([&] { return host_.date == "12/06/2026"; }));
  send("alert 1 IBM|x|093003|260|1.00-1.01|3");
  ASSERT_TRUE(waitFor([&] { return lineCount(dataFile("12062026", 1)) == 2; }));
  EXPECT_EQ(readFile(dataFile("12062026", 1)),
            "MSFT|x|093001|250|10.00-10.01|12\r\nIBM|x|093003|260|1.00-1.01|3\r\n");
}

// A host that does not answer (a listener whose accept queue is full): the window thread goes on
// serving while the attempt waits; the attempt ends by itself with the socket error of a timeout;
// Disconnect and closing the window end it at once, and it shows nothing afterwards.
TEST_F(LiveMonitorE2E, AHostThatDoesNotAnswerNeverHoldsUpTheWindow) {
  test::SilentListener silent;
  ASSERT_GT(silent.port(), 0);
  pointAt(silent.port());
  {
    WindowPauses pauses;
    live_->onConnect();
    EXPECT_TRUE(host_.linkedControls);  // Connect off, Disconnect on while it runs
    EXPECT_TRUE(host_.disconnectEnabled);
    ASSERT_TRUE(attemptEnded(30000));
    ASSERT_GE(host_.statuses.size(), 2u);
    EXPECT_EQ(host_.statuses[host_.statuses.size() - 2],
              "Connection Error: Attempt timed out without establishing a connection.");
    EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
    EXPECT_FALSE(host_.linkedControls);
    // The attempt took its ten seconds; the window thread never paused for anything like it.
    EXPECT_LT(pauses.longestMs(), 2000);
  }

  QElapsedTimer clock;
  live_->onConnect();
  waitFor([] { return false; }, 200);
  clock.start();
  live_->onDisconnect();
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_FALSE(live_->connection().connecting());
  waitFor([] { return false; }, 300);  // the cancelled attempt's late reports
  EXPECT_EQ(host_.lastStatus(), "Kestrune Server Disconnected.");
  EXPECT_FALSE(host_.linkedControls);
  EXPECT_FALSE(host_.disconnectEnabled);

  live_->onConnect();
  waitFor([] { return false; }, 200);
  clock.restart();
  live_->shutdown();
  EXPECT_LT(clock.elapsed(), 2000);
}

// The same for the reconnection after a lost link.
TEST_F(LiveMonitorE2E, AReconnectionToAHostThatDoesNotAnswerIsCancelledAtOnce) {
  test::SilentListener silent;
  ASSERT_GT(silent.port(), 0);
  for (bool byDisconnect : {true, false}) {
    ASSERT_TRUE(startSim());
    ASSERT_TRUE(connectAndStart());
    killSim();
    ASSERT_TRUE(waitFor([&] { return live_->connection().reconnectPending(); }));
    pointAt(silent.port());
    WindowPauses pauses;
    live_->onTimer(1);
    EXPECT_TRUE(live_->connection().connecting());
    EXPECT_EQ(host_.lastStatus(), "Attempting Reconnection...");
    live_->onTimer(1);  // the next tick while it waits starts no second attempt
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(live_->connection().connecting());
    QElapsedTimer clock;
    clock.start();
    if (byDisconnect) {
      live_->onDisconnect();
      EXPECT_LT(clock.elapsed(), 2000);
      waitFor([] { return false; }, 300);
      EXPECT_EQ(host_.lastStatus(), "Kestrune Server Disconnected.");
      EXPECT_FALSE(live_->connection().reconnectPending());
      EXPECT_TRUE(host_.timers.empty());
      EXPECT_FALSE(host_.disconnectEnabled);
    } else {
      live_->shutdown();
      EXPECT_LT(clock.elapsed(), 2000);
    }
    EXPECT_LT(pauses.longestMs(), 2000);
  }
}

// Closing the window in the middle of a burst: every record the library handed over before it
// stopped is in its file, none dropped between the start of the teardown and the library's stop.
TEST_F(LiveMonitorE2E, RecordsStreamingWhileTheWindowClosesAreAllWritten) {
  CountingLibrary::alerts = 0;
  ASSERT_TRUE(startSim({}, std::make_unique<CountingLibrary>()));
  ASSERT_TRUE(connectAndStart());
  ASSERT_TRUE(sim_->send("burst 100000"));
  ASSERT_TRUE(waitFor([&] { return CountingLibrary::alerts.load() > 2000; }));
  live_->shutdown();
  const long handed = CountingLibrary::alerts.load();
  EXPECT_LT(handed, 100000) << "the burst ended before the window closed";
  std::size_t lines = 0;
  for (int n = 1; n <= 3; ++n) lines += lineCount(dataFile("12062026", n));
  EXPECT_EQ(lines, static_cast<std::size_t>(handed));
  EXPECT_EQ(files_->lostLines(), 0u);
}

// Settings change on the window thread (Audio Alert Preferences, the chart switches and Hard Max,
// Data Collection Times) while samples stream in on the receive thread: each sample sees them
// whole, before or after the change.
TEST_F(LiveMonitorE2E, SettingsChangeWhileSamplesStream) {
  ASSERT_TRUE(startSim({"--stream", "on", "--speed", "200", "--start", "09:30:00"}));
  int sounds = 0;
  QObject::connect(AlertSoundPlayer::instance(), &AlertSoundPlayer::soundStarted,
                   [&] { ++sounds; });
  ASSERT_TRUE(connectAndStart());
  auto setSlots = [&](bool use) {
    for (int slot = 0; slot < 3; ++slot) {
      AudioAlertSlot& s = settings_->audioAlert[static_cast<std::size_t>(slot)];
      s.use = use ? 1 : 0;
      s.threshold = 0;  // every sample
      std::snprintf(s.fileName, sizeof s.fileName, "slot%d.wav", slot);
    }
    charts_->refreshAlarmSlots();
  };
  for (int round = 0; round < 20; ++round) {
    setSlots(round % 2 == 0);
    const ChartId chart = ChartId(round % 3);
    charts_->onTotalOnlyClicked(chart);
    charts_->onSmartScaleClicked(chart);
    charts_->onHardMaxEdited(chart, round % 2 ? "50" : "500");
    settings_->collectStopMinuteOfDay = round % 2 ? 16 * 60 : 0;
    live_->refreshCollectionWindow();
    waitFor([] { return false; }, 20);
  }
  setSlots(true);
  ASSERT_TRUE(waitFor([&] { return sounds > 0; }));
  setSlots(false);
  waitFor([] { return false; }, 300);  // sounds already queued play out
  const int before = sounds;
  waitFor([] { return false; }, 300);
  EXPECT_EQ(sounds, before);
  stopAlertSound();
}

TEST_F(LiveMonitorE2E, ADoubleLossReportEndsTheSameAndDisconnectCancelsTheRetry) {
  ASSERT_TRUE(startSim());
  ASSERT_TRUE(connectAndStart());
  // An oversized packet is a receive failure: the library reports the loss twice.
  send("oversize");
  ASSERT_TRUE(waitFor([&] { return live_->connection().reconnectPending(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(host_.lastStatus(), "Attempting Reconnection...");
  EXPECT_EQ(host_.timers, (std::map<int, int>{{1, 5000}}));

  live_->onDisconnect();
  EXPECT_FALSE(live_->connection().reconnectPending());
  EXPECT_TRUE(host_.timers.empty());
  EXPECT_FALSE(host_.disconnectEnabled);
}

TEST_F(LiveMonitorE2E, RecordsOutsideTheCollectionWindowAreShownNotWritten) {
  settings_->collectStartMinuteOfDay = 23 * 60;
  settings_->collectStopMinuteOfDay = 23 * 60 + 30;
  ASSERT_TRUE(startSim());
  ASSERT_TRUE(connectAndStart());
  send("alert 1 MSFT|x|093001|250|10.00-10.01|12");
  send("sample 1 " + kSample);
  ASSERT_TRUE(waitFor([&] { return rows(AlertKind::Raw) == 1 && host_.time == "09:30:01"; }));
  EXPECT_FALSE(files_->dataFilesOpen());
  EXPECT_FALSE(fs::exists(dir_ / "Data" / "12062026_hft1.txt"));

  // Inside the window the first Listing sample opens the files, and its own line is in them.
  const std::string late = "230001|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|";
  send("sample 1 " + late);
  ASSERT_TRUE(
      waitFor([&] { return lineCount(dataFile("12062026", 4)) == 1 && host_.time == "23:00:01"; }));
  EXPECT_EQ(readFile(dataFile("12062026", 4)), late + "\r\n");
}

// Not a timed test: it checks that a burst arrives whole, in its lists and files, and prints how
// long it took and the longest pause of the window thread while it came in.
TEST_F(LiveMonitorE2E, ABurstOfAlertsIsShownAndWrittenWhole) {
  constexpr int kBurst = 100000;
  ASSERT_TRUE(startSim());
  ASSERT_TRUE(connectAndStart());

  QElapsedTimer gap;
  qint64 longestGapMs = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout,
                   [&] { longestGapMs = std::max(longestGapMs, gap.restart()); });
  QElapsedTimer clock;
  clock.start();
  gap.start();
  ticker.start();
  // The window thread waits here for the simulator to finish sending; the receive thread goes
  // on taking records in, queueing their rows and writing their lines meanwhile.
  const std::string burst = "burst " + std::to_string(kBurst);
  ASSERT_FALSE(sim_->command(burst, "ok " + burst + " sent", 60000).empty());
  const qint64 sentMs = clock.elapsed();
  std::size_t writtenWhenSent = 0;
  for (int n = 1; n <= 3; ++n) writtenWhenSent += lineCount(dataFile("12062026", n));
  gap.restart();
  const auto total = [&] {
    return rows(AlertKind::Raw) + rows(AlertKind::Seq) + rows(AlertKind::Algo);
  };
  ASSERT_TRUE(waitFor([&] { return total() == static_cast<std::size_t>(kBurst); }, 60000))
      << total();
  const qint64 shownMs = clock.elapsed();
  ticker.stop();

  // The files' writer gathers lines for a moment before it writes them.
  const auto lines = [&] {
    std::size_t count = 0;
    for (int n = 1; n <= 3; ++n) count += lineCount(dataFile("12062026", n));
    return count;
  };
  EXPECT_TRUE(waitFor([&] { return lines() == static_cast<std::size_t>(kBurst); })) << lines();
  EXPECT_EQ(files_->lostLines(), 0u);
  std::printf(
      "burst of %d alerts: sent by the simulator in %lld ms (%zu lines written by then), all "
      "shown and written in %lld ms, longest window pause after sending %lld ms\n",
      kBurst, static_cast<long long>(sentMs), writtenWhenSent, static_cast<long long>(shownMs),
      static_cast<long long>(longestGapMs));
}

// The server drops the link again and again (an abrupt close after a number of packets) and the
// monitor reconnects each time: after every session start the screen holds the whole day so far,
// each record once, and the seconds the link was down show as gaps, read as "no data".
TEST_F(LiveMonitorE2E, ReconnectionsMidDayKeepEveryRowAndSampleOnce) {
  ASSERT_TRUE(startSim(
      {"--stream", "on", "--speed", "100", "--start", "09:30:00", "--close-after", "400"}));
  live_->connection().setTimings({200, 60000});
  ASSERT_TRUE(connectAndStart());
  // Three sessions: the second and third start with a load of the files.
  const std::string loading = "Loading the day so far (12/06/2026)...";
  // The link stays down at least 50 ms (5 seconds of the server's day), so that each loss leaves
  // seconds without samples however fast the machine reconnects.
  QElapsedTimer down;
  ASSERT_TRUE(waitFor(
      [&] {
        // The reconnection timer, as the window would run it.
        if (host_.timers.count(1) == 0 || live_->connection().connecting()) {
          down.invalidate();
        } else if (!down.isValid()) {
          down.start();
        } else if (down.elapsed() >= 50) {
          live_->onTimer(1);
          down.invalidate();
        }
        return std::count(host_.statuses.begin(), host_.statuses.end(), loading) >= 2 &&
               live_->connection().sessionUp() && host_.lastStatus() != loading;
      },
      30000));
  live_->onDisconnect();
  ASSERT_TRUE(waitFor([&] { return live_->queue().pendingCount() == 0; }));
  live_->queue().drainNow();
  ASSERT_GT(rows(AlertKind::Raw), 0u);
  expectListsEqualFiles("12062026");
  EXPECT_GT(expectChartsEqualFiles("12062026"), 0);
  // Each load put the status line back to what the connection had said before it.
  for (std::size_t i = 1; i + 1 < host_.statuses.size(); ++i) {
    if (host_.statuses[i] == loading) {
      EXPECT_EQ(host_.statuses[i + 1], host_.statuses[i - 1]) << i;
    }
  }

  // The readout says so where a gap lies, and gives the counts beside it.
  std::lock_guard<std::mutex> lock(chartLock());
  const RyxChartTemplate& t = charts_->chart(ChartId::Listing);
  int gap = t.coverage.first();
  while (gap < kSecondsPerDay && !t.coverage.isGap(gap)) ++gap;
  ASSERT_LT(gap, kSecondsPerDay);
  const std::array<std::uint8_t, kChartExchangeCount> all{1, 1, 1, 1, 1, 1, 1, 1,
                                                          1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_TRUE(chartReadoutAt(t.series, gap, all, false, &t.coverage).noData);
  const ChartReadout before = chartReadoutAt(t.series, gap - 1, all, false, &t.coverage);
  EXPECT_FALSE(before.noData);
  EXPECT_EQ(before.exchangeCount, kChartExchangeCount);
}

// A full day on disk when the session starts, and records streaming in right behind the session
// start: the day is shown first, the new records on top, and the lists end equal to the files.
TEST_F(LiveMonitorE2E, AFullDayLoadsWhileABurstStreamsAndTheListsEqualTheFiles) {
  {
    DataFiles day(dir_.string());
    ASSERT_EQ(day.openDataFiles("12062026"), OpenResult::Opened);
    char line[128];
    for (int i = 0; i < 60000; ++i) {
      std::snprintf(line, sizeof line, "S%05d|x|%06d|%d|1.00-1.01|%d", i, 93000 + i % 60, 100 + i,
                    i);
      day.writeDataLine(i % 3, line);
    }
    for (int s = 0; s < kSecondsPerDay; s += 2) {  // every other second: half the day is gaps
      std::snprintf(line, sizeof line, "%02d%02d%02d|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|%d|",
                    s / 3600, s / 60 % 60, s % 60, s % 1000);
      for (int f = 3; f < 6; ++f) day.writeDataLine(f, line);
    }
  }
  ASSERT_TRUE(startSim());
  WindowPauses pauses;
  ASSERT_TRUE(connectAndStart());
  // The session start again, a burst right behind it in the same stream.
  send("session 12062026");
  send("burst 30000");
  ASSERT_TRUE(waitFor(
      [&] {
        return rows(AlertKind::Raw) + rows(AlertKind::Seq) + rows(AlertKind::Algo) == 90000u &&
               host_.lastStatus() == "Kestrune Monitor Connected to Server";
      },
      60000));
  const qint64 longestPauseMs = pauses.longestMs();
  live_->onDisconnect();
  live_->queue().drainNow();
  expectListsEqualFiles("12062026");
  EXPECT_EQ(expectChartsEqualFiles("12062026"), 3 * (kSecondsPerDay / 2 - 1));
  // The window follows the newest second, as it does live.
  EXPECT_EQ(charts_->editWindow([](ChartWindow& w) { return w.windowEnd; }), kSecondsPerDay - 2);
  std::printf("full day and a 30,000-record burst: longest window pause %lld ms\n",
              static_cast<long long>(longestPauseMs));
}

// A day the monitor recorded from the simulated market, served again by --replay-day and
// recorded again by the same live path, gives the same six files byte for byte. It prints how
// many records made the round trip and how long serving them took.
TEST_F(LiveMonitorE2E, AReplayedDayIsRecordedAgainByteForByte) {
  ASSERT_TRUE(startSim({"--stream", "on", "--speed", "100", "--start", "09:29:45"}));
  ASSERT_TRUE(connectAndStart());
  // Past the opening, where the alerts come thick.
  ASSERT_TRUE(waitFor([&] { return lineCount(dataFile("12062026", 4)) >= 150; }, 30000));
  live_->onDisconnect();
  const fs::path original = dir_ / "original";
  fs::rename(dir_ / "Data", original);
  std::vector<std::string> recorded;
  std::size_t records = 0;
  for (int n = 1; n <= 6; ++n) {
    recorded.push_back(readFile(original / ("12062026_hft" + std::to_string(n) + ".txt")));
    records +=
        static_cast<std::size_t>(std::count(recorded.back().begin(), recorded.back().end(), '\n'));
  }
  ASSERT_GT(lineCount(original / "12062026_hft1.txt"), 0u);

  ASSERT_TRUE(startSim(
      {"--stream", "on", "--speed", "1000", "--replay-day", original.string(), "12062026"}));
  const std::string replaying = sim_->waitForLine("replaying 12062026: ");
  EXPECT_NE(replaying.find(": " + std::to_string(records) + " records from 09:"), std::string::npos)
      << replaying;
  host_.date.clear();
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(connectAndStart());
  ASSERT_FALSE(sim_->waitForLine("day over", 30000).empty());
  const auto sameSizes = [&] {
    for (int n = 1; n <= 6; ++n) {
      if (readFile(dataFile("12062026", n)).size() !=
          recorded[static_cast<std::size_t>(n - 1)].size())
        return false;
    }
    return true;
  };
  ASSERT_TRUE(waitFor(sameSizes, 30000));
  const qint64 servedMs = clock.elapsed();
  live_->onDisconnect();
  for (int n = 1; n <= 6; ++n)
    EXPECT_EQ(readFile(dataFile("12062026", n)), recorded[static_cast<std::size_t>(n - 1)]) << n;
  std::printf("round trip: %zu records (%s) served again at 1000x and recorded in %lld ms\n",
              records, replaying.c_str(), static_cast<long long>(servedMs));
}

// kestrune-recorder, the real program, beside the monitor's live path on the same simulator: both
// log in before the stream starts, so both are sent the very same records.
constexpr int kCatchUpMs = 60000;

class RecorderE2E : public LiveMonitorE2E {
 protected:
  void SetUp() override {
    LiveMonitorE2E::SetUp();
    // The recorder's per-user store is the test's own.
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    recDir_ = dir_ / "recorder";
    fs::create_directories(recDir_);
    test::writeAll((dir_ / "password").string(), "demo\r\n");
  }
  void TearDown() override {
    recorders_.clear();
    LiveMonitorE2E::TearDown();
  }

  // Starts a recorder in folder; login "args" gives the server on the command line, "store" leaves
  // it to the per-user store.
  ChildProcess& startRecorder(const fs::path& folder, bool fromStore = false,
                              const fs::path& passwordFile = {}) {
    std::vector<std::string> args = {"--workdir", folder.string()};
    if (!fromStore) {
      args.insert(args.end(), {"--host", "127.0.0.1", "--port", std::to_string(sim_->port()),
                               "--user", "demo", "--password-file",
                               (passwordFile.empty() ? dir_ / "password" : passwordFile).string()});
    }
    recorders_.push_back(std::make_unique<ChildProcess>("kestrune-recorder", args, "", true));
    return *recorders_.back();
  }

  // A command that sends nothing (clock, stream), acknowledged at once.
  void control(const std::string& command) {
    ASSERT_FALSE(sim_->command(command, "ok " + command).empty()) << command;
  }

  // Stops the stream and waits until the monitor, and the recorder when it still runs, have taken
  // in everything sent before.
  void endStream(ChildProcess* recorder) {
    control("stream off");
    send("type 21 end-of-stream");
    // The monitor draws its charts for every sample: under the sanitizers it falls well behind.
    ASSERT_TRUE(waitFor([&] { return host_.sawStatus("end-of-stream"); }, kCatchUpMs));
    if (recorder != nullptr) {
      ASSERT_FALSE(recorder->waitForText("end-of-stream", kCatchUpMs).empty());
    }
  }

  fs::path recFile(int n) const {
    return recDir_ / "Data" / ("12062026_hft" + std::to_string(n) + ".txt");
  }

  fs::path recDir_;
  std::vector<std::unique_ptr<ChildProcess>> recorders_;
};

bool exitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

// The first line the program printed that holds text; empty when none.
std::string lineWith(const ChildProcess& program, const std::string& text) {
  for (const std::string& line : program.lines()) {
    if (line.find(text) != std::string::npos) return line;
  }
  return {};
}

TEST_F(RecorderE2E, SixFilesEqualTheMonitorsThroughTheCollectionWindow) {
  // 09:30 to 09:30: the Listing sample of 09:30:00 opens the files, the one of 09:31:00 closes
  // them, in both programs.
  settings_->collectStartMinuteOfDay = settings_->collectStopMinuteOfDay = 9 * 60 + 30;
  ASSERT_TRUE(writeConfigFile(*settings_, ChartColorTable{}, (recDir_ / "Kestrune.cfg").string()));
  // Slow enough for a monitor built with the sanitizers to keep up: the stream is stopped only
  // once the monitor has shown 09:31:05, and all the simulator sent until then must be taken in.
  ASSERT_TRUE(startSim({"--speed", "10"}));
  ASSERT_TRUE(writeServerSettings(makeServerSettings("127.0.0.1", sim_->port(), "demo", "demo")));
  ASSERT_TRUE(connectAndStart());
  ChildProcess& recorder = startRecorder(recDir_, true);
  ASSERT_FALSE(recorder.waitForText("Date: 12/06/2026").empty()) << recorder.error();
  ASSERT_FALSE(sim_->command("clients", "ok clients 2").empty());

  control("time 09:29:50");
  control("stream on");
  ASSERT_TRUE(waitFor([&] { return host_.time >= "09:31:05"; }, kCatchUpMs));
  endStream(&recorder);
  // The window's end brought the history index beside the files up to date.
  EXPECT_TRUE(waitFor([&] { return !lineWith(recorder, "History index: 1 day, ").empty(); }));
  EXPECT_TRUE(exitedWith(recorder.stop(), 0));
  EXPECT_TRUE(fs::exists(recDir_ / "Data" / "history.sqlite"));

  for (int n = 1; n <= 6; ++n) {
    const std::string mine = readFile(recFile(n));
    EXPECT_EQ(mine, readFile(dataFile("12062026", n))) << n;
    EXPECT_FALSE(mine.empty()) << n;
  }
  EXPECT_EQ(lineCount(recFile(4)), 60u);
  EXPECT_EQ(readFile(recFile(4)).rfind("093000|", 0), 0u);
}

TEST_F(RecorderE2E, SigtermMidStreamLosesNothingAndEndsWithWholeLines) {
  ASSERT_TRUE(startSim({"--speed", "1000"}));
  ASSERT_TRUE(connectAndStart());
  ChildProcess& recorder = startRecorder(recDir_);
  ASSERT_FALSE(recorder.waitForText("Date: 12/06/2026").empty()) << recorder.error();
  ASSERT_FALSE(sim_->command("clients", "ok clients 2").empty());
  control("time 09:30:00");
  control("stream on");
  ASSERT_TRUE(waitFor([&] { return lineCount(recFile(2)) > 300; }));

  EXPECT_TRUE(exitedWith(recorder.stop(SIGTERM), 0));
  const std::string summary = lineWith(recorder, "Stopped: ");
  ASSERT_FALSE(summary.empty());
  const std::size_t received = std::stoul(summary.substr(summary.find("Stopped: ") + 9));
  EXPECT_NE(summary.find(" 0 could not be written"), std::string::npos) << summary;
  endStream(nullptr);
  // The monitor's files are complete once it has closed them.
  live_->onDisconnect();

  std::size_t lines = 0;
  for (int n = 1; n <= 6; ++n) {
    const std::string mine = readFile(recFile(n));
    lines += lineCount(recFile(n));
    // Whole records only, and the very records the monitor got, in the same order.
    if (!mine.empty()) {
      EXPECT_EQ(mine.substr(mine.size() - 2), "\r\n") << n;
    }
    EXPECT_EQ(readFile(dataFile("12062026", n)).compare(0, mine.size(), mine), 0) << n;
  }
  EXPECT_EQ(lines, received);
}

// A second recorder on the folder stands by and says who writes; what restarting cannot mend
// ends with a status of its own, so the unit leaves it alone.
TEST_F(RecorderE2E, ASecondRecorderStandsByARefusedLoginEndsWithThree) {
  ASSERT_TRUE(startSim());
  ChildProcess& first = startRecorder(recDir_);
  ASSERT_FALSE(first.waitForText("Date: 12/06/2026").empty()) << first.error();

  ChildProcess& second = startRecorder(recDir_);
  EXPECT_FALSE(
      second.waitForText("Recorded by kestrune-recorder (pid " + std::to_string(first.pid()) + ")")
          .empty());

  // A FIFO as the password file is refused at once, before the Data folder is even asked for.
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ChildProcess& piped = startRecorder(recDir_, false, fifo);
  EXPECT_TRUE(exitedWith(piped.waitForExit(10000), 1));
  EXPECT_FALSE(lineWith(piped, "not a regular file").empty());
  EXPECT_TRUE(lineWith(piped, "Recorded by").empty());

  for (const auto& [code, text] :
       {std::pair<std::string, std::string>{"7", "Invalid username/password!"},
        {"10", "Account already in use!"}}) {
    sim_->command("refuse " + code, "ok refuse");
    fs::create_directories(dir_ / ("elsewhere" + code));
    ChildProcess& refused = startRecorder(dir_ / ("elsewhere" + code));
    EXPECT_TRUE(exitedWith(refused.waitForExit(10000), 3)) << code;  // refused
    EXPECT_FALSE(lineWith(refused, text).empty()) << code;
  }
}

// A FIFO named as today's file is never written into: the monitor and the recorder say so, record
// the other files, and neither Disconnect, the window's close nor SIGTERM waits on it.
TEST_F(RecorderE2E, AFifoAsTodaysFileIsRefusedAndHoldsNothingUp) {
  for (const fs::path& folder : {dir_, recDir_}) {
    fs::create_directories(folder / "Data");
    ASSERT_EQ(::mkfifo((folder / "Data" / "12062026_hft4.txt").c_str(), 0644), 0);
  }
  const std::string refused = "NOT RECORDING: Data/12062026_hft4.txt is not a regular file";
  ASSERT_TRUE(startSim());
  ASSERT_TRUE(connectAndStart());
  EXPECT_TRUE(host_.sawStatus(refused));
  ChildProcess& recorder = startRecorder(recDir_);
  ASSERT_FALSE(recorder.waitForText(refused).empty()) << recorder.error();
  ASSERT_FALSE(sim_->command("clients", "ok clients 2").empty());
  send("sample 1 " + kSample);
  send("alert 1 MSFT|x|093001|250|10.00-10.01|12");
  ASSERT_TRUE(waitFor(
      [&] { return lineCount(recFile(1)) == 1 && lineCount(dataFile("12062026", 1)) == 1; }));

  const auto start = std::chrono::steady_clock::now();
  live_->onDisconnect();
  live_->onConnect();
  ASSERT_TRUE(waitFor([&] { return live_->connection().sessionUp(); }));
  live_.reset();
  EXPECT_TRUE(exitedWith(recorder.stop(SIGTERM, 3000), 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(files_->lostLines(), 1u);  // the sample meant for the FIFO
  EXPECT_FALSE(lineWith(recorder, "Stopped: 2 records received, 1 could not be written").empty());
  EXPECT_TRUE(fs::is_fifo(recDir_ / "Data" / "12062026_hft4.txt"));
}

// Whoever holds the folder writes, the other stands by and takes over when the writer ends: the
// monitor first and its Disconnect, then the recorder first and its SIGKILL. A recorder alone in
// a folder of its own, sent the same stream, holds what the shared folder must hold.
TEST_F(RecorderE2E, OneWriterPerFolderHandsOverBothWaysWithEveryRecordOnce) {
  // Slow enough for a monitor built with the sanitizers to keep up with the stream.
  ASSERT_TRUE(startSim({"--speed", "50"}));
  ChildProcess& reference = startRecorder(recDir_);
  ASSERT_FALSE(reference.waitForText("Date: 12/06/2026").empty()) << reference.error();
  ASSERT_TRUE(connectAndStart());
  ChildProcess& shared = startRecorder(dir_);
  const std::string monitor = "kestrune (pid " + std::to_string(::getpid()) + ")";
  ASSERT_FALSE(shared.waitForText("Recorded by " + monitor).empty()) << shared.error();
  ASSERT_FALSE(shared.waitForText("Date: 12/06/2026").empty());
  ASSERT_FALSE(sim_->command("clients", "ok clients 3").empty());

  const fs::path samples = dataFile("12062026", 4);
  const auto grows = [&](std::uintmax_t by) {
    const std::uintmax_t from = fs::file_size(samples);
    return waitFor([&] { return fs::file_size(samples) >= from + by; }, kCatchUpMs);
  };
  control("time 09:30:00");
  control("stream on");
  ASSERT_TRUE(waitFor([&] { return fs::exists(samples) && fs::file_size(samples) > 0; }));
  ASSERT_TRUE(grows(5000));
  // The date again, while it is open: the writer keeps writing, the standby keeps standing by.
  send("type 9 12062026");
  ASSERT_TRUE(grows(5000));
  live_->onDisconnect();
  ASSERT_FALSE(shared.waitForText("Recording: " + monitor + " has stopped writing").empty());
  ASSERT_TRUE(grows(5000));

  const std::string recorder = "kestrune-recorder (pid " + std::to_string(shared.pid()) + ")";
  ASSERT_TRUE(connectAndStart());
  ASSERT_TRUE(waitFor([&] { return host_.sawStatus("Recorded by " + recorder); }));
  ASSERT_TRUE(grows(5000));
  ::kill(shared.pid(), SIGKILL);
  shared.stop();
  ASSERT_TRUE(
      waitFor([&] { return host_.sawStatus("Recording: " + recorder + " has stopped writing"); }));
  ASSERT_TRUE(grows(5000));
  endStream(&reference);
  live_->onDisconnect();
  // Its files are complete once it has closed them.
  EXPECT_TRUE(exitedWith(reference.stop(), 0));

  for (int n = 1; n <= 6; ++n) {
    const std::string expected = readFile(recFile(n));
    EXPECT_FALSE(expected.empty()) << n;
    EXPECT_TRUE(readFile(dataFile("12062026", n)) == expected)
        << n << ": " << lineCount(dataFile("12062026", n)) << " lines, " << lineCount(recFile(n))
        << " expected";
  }
  for (const std::string& status : host_.statuses)
    EXPECT_EQ(status.find("RECORDS LOST"), std::string::npos) << status;
  EXPECT_TRUE(lineWith(shared, "RECORDS LOST").empty());
}

// While the simulator serves a recorded day, a recorder working in that folder and logged in to
// it writes nothing, says why, and does not take over when the simulator ends.
TEST_F(RecorderE2E, ARecorderOnTheFolderOfAReplayedDayLeavesTheDayAsItWas) {
  const std::string day = "MSFT|x|093001|250|10.00-10.01|12\r\nIBM|x|093002|260|1.00-1.01|3\r\n";
  const std::string sample = kSample + "\r\n";
  test::writeAll(recFile(1).string(), day);
  test::writeAll(recFile(4).string(), sample);
  for (int n : {2, 3, 5, 6}) test::writeAll(recFile(n).string(), "");
  ASSERT_TRUE(startSim({"--stream", "on", "--speed", "100", "--replay-day",
                        (recDir_ / "Data").string(), "12062026"}));
  ChildProcess& recorder = startRecorder(recDir_);
  ASSERT_FALSE(recorder
                   .waitForText("NOT RECORDING: kestrune-feedsim (pid " +
                                std::to_string(sim_->pid()) + ") is replaying")
                   .empty())
      << recorder.error();
  ASSERT_FALSE(sim_->waitForLine("day over", 30000).empty());
  send("type 21 end-of-stream");
  ASSERT_FALSE(recorder.waitForText("end-of-stream").empty());
  sim_->stop();
  ASSERT_FALSE(recorder.waitForText("Kestrune Server Disconnected.").empty());
  EXPECT_TRUE(exitedWith(recorder.stop(), 0));
  EXPECT_EQ(readFile(recFile(1)), day);
  EXPECT_EQ(readFile(recFile(4)), sample);
  EXPECT_TRUE(lineWith(recorder, "Recording: ").empty());
}

TEST_F(RecorderE2E, ALostLinkIsRetriedAndTheSameDayAppended) {
  ASSERT_TRUE(startSim());
  const int port = sim_->port();
  ChildProcess& recorder = startRecorder(recDir_);
  ASSERT_FALSE(recorder.waitForText("Date: 12/06/2026").empty()) << recorder.error();
  send("alert 1 MSFT|x|093001|250|10.00-10.01|12");
  ASSERT_TRUE(waitFor([&] { return lineCount(recFile(1)) == 1; }));

  sim_->stop();
  ASSERT_FALSE(recorder.waitForText("Kestrune Server Disconnected.").empty());
  ASSERT_FALSE(recorder.waitForText("Attempting Reconnection...").empty());
  ASSERT_TRUE(startSim({"--port", std::to_string(port)}));
  // The retry comes 5 seconds after the loss.
  ASSERT_FALSE(recorder.waitForText("Kestrune Monitor Connected to Server", 10000).empty());
  ASSERT_FALSE(recorder.waitForText("Date: 12/06/2026").empty());
  send("alert 1 IBM|x|093003|260|1.00-1.01|3");
  ASSERT_TRUE(waitFor([&] { return lineCount(recFile(1)) == 2; }));
  EXPECT_EQ(readFile(recFile(1)),
            "MSFT|x|093001|250|10.00-10.01|12\r\nIBM|x|093003|260|1.00-1.01|3\r\n");
}

// A server that takes one session per account: the recorder holds it, and a monitor on the same
// folder watches through the recorder's relay instead. It shows the day so far from the
// recorder's files and then everything relayed, so that its lists and charts end equal to the
// files; a login the recorder's own does not match is refused as a server refuses it.
TEST_F(RecorderE2E, AMonitorThroughTheRelayShowsTheRecordersWholeDayOnOneLogin) {
  ASSERT_TRUE(startSim({"--single-session", "on", "--speed", "50"}));
  recorders_.push_back(std::make_unique<ChildProcess>(
      "kestrune-recorder",
      std::vector<std::string>{"--workdir", dir_.string(), "--host", "127.0.0.1", "--port",
                               std::to_string(sim_->port()), "--user", "demo", "--password-file",
                               (dir_ / "password").string(), "--relay", "0"},
      "", true));
  ChildProcess& recorder = *recorders_.back();
  const std::string listening = recorder.waitForText("Relay for monitors listening on 127.0.0.1:");
  ASSERT_FALSE(listening.empty()) << recorder.error();
  const int relayPort = std::stoi(listening.substr(listening.rfind(':') + 1));
  ASSERT_FALSE(recorder.waitForText("Date: 12/06/2026").empty());

  // Straight to the server, the account is taken.
  live_->onConnect();
  ASSERT_TRUE(waitFor([&] { return host_.sawStatus("Account already in use!"); }));

  control("time 09:30:00");
  control("stream on");
  ASSERT_TRUE(waitFor([&] { return lineCount(dataFile("12062026", 4)) > 20; }));
  // The monitor joins while the server's clock stands still: a monitor built with the
  // sanitizers may take longer to read the files than the recorder holds its next lines back.
  control("pause");
  pointAt(relayPort);
  ASSERT_TRUE(connectAndStart());
  control("resume");
  const std::string writer = "kestrune-recorder (pid " + std::to_string(recorder.pid()) + ")";
  EXPECT_TRUE(waitFor([&] { return host_.sawStatus("Recorded by " + writer); }));
  const std::size_t before = lineCount(dataFile("12062026", 4));
  ASSERT_TRUE(waitFor([&] { return lineCount(dataFile("12062026", 4)) > before + 20; }));
  // Status texts pass through the relay, after every record sent before them.
  endStream(&recorder);
  live_->onDisconnect();
  // The recorder's writer gathers lines for a few milliseconds before it writes them.
  waitFor([&] {
    for (int k = 0; k < kAlertKindCount; ++k)
      if (lineCount(dataFile("12062026", k + 1)) != rows(static_cast<AlertKind>(k))) return false;
    return true;
  });
  expectListsEqualFiles("12062026");
  EXPECT_EQ(expectChartsEqualFiles("12062026"), 0);
  for (const std::string& status : host_.statuses)
    EXPECT_EQ(status.find("RECORDS LOST"), std::string::npos) << status;

  std::snprintf(server_.userPassword, sizeof server_.userPassword, "guess");
  live_->onConnect();
  EXPECT_TRUE(waitFor([&] { return host_.sawStatus("Invalid username/password!"); }));
  EXPECT_FALSE(recorder.waitForText("Relay: refused the login of 127.0.0.1:").empty());

  // The server goes: every monitor on the relay loses its link and tries again.
  std::snprintf(server_.userPassword, sizeof server_.userPassword, "demo");
  ASSERT_TRUE(connectAndStart());
  sim_->stop();
  EXPECT_TRUE(waitFor([&] { return host_.sawStatus("Attempting Reconnection..."); }));
  EXPECT_TRUE(exitedWith(recorder.stop(), 0));
}

}  // namespace
}  // namespace kestrune
