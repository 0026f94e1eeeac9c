#include "monitor/connection_control.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/monitor_host.h"
#include "monitor/ui_queue.h"
#include "recording/data_files.h"
#include "tests/support/core_application.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

QCoreApplication& app() { return test::ensureCoreApplication(); }

// Reports like the real library: Start and Stop call the status callback on their caller's thread
// (Start runs on the connect worker). A hanging Start waits, as one to a host that does not answer,
// until a Stop cancels it; onStarted runs when a Start succeeds, as its receive thread would.
struct FakeLibrary : SessionLibrary {
  std::mutex m;
  std::condition_variable cv;
  std::atomic<StatusCallbackFn> callback{nullptr};
  std::string user, password, appVersion, host;
  int clientType = -1;
  int port = -1;
  int pollMs = -1;
  int startResult = 0;
  int pingResult = 0;
  int starts = 0, startsDone = 0, stops = 0, pings = 0;
  bool connected = false;
  bool hang = false;
  bool cancelled = false;
  bool stopCancels = true;  // false: the Stop comes just before the Start, too early to cancel it
  std::function<void()> onStarted;

  int setStatusCallback(StatusCallbackFn cb) override {
    callback = cb;
    return 0;
  }
  int setUser(const char* u, const char* p, std::uint8_t type, const char* version) override {
    std::lock_guard<std::mutex> lock(m);
    user = u;
    password = p;
    clientType = type;
    appVersion = version;
    return 0;
  }
  int setParms(const char* h, std::int32_t p) override {
    std::lock_guard<std::mutex> lock(m);
    host = h;
    port = p;
    return 0;
  }
  int setTimeout(std::uint16_t poll, std::uint16_t check) override {
    std::lock_guard<std::mutex> lock(m);
    pollMs = check ? poll : -1;
    return 0;
  }
  int start() override {
    int result;
    std::function<void()> started;
    {
      std::unique_lock<std::mutex> lock(m);
      ++starts;
      cancelled = false;
      cv.notify_all();
      cv.wait(lock, [this] { return !hang || cancelled; });
      result = cancelled ? 231 : startResult;
      if (result == 0) connected = true;
      started = onStarted;
    }
    if (result != 0) {
      report(21, cancelled ? "Connection Error: canceled" : "Connection Error: refused");
    } else {
      report(21, "Kestrune Monitor Connected to Server");
      if (started) started();
    }
    std::lock_guard<std::mutex> lock(m);
    ++startsDone;
    cv.notify_all();
    return result;
  }
  int stop() override {
    {
      std::lock_guard<std::mutex> lock(m);
      ++stops;
      connected = false;
      cancelled = cancelled || stopCancels;
      cv.notify_all();
    }
    report(21, "Disconnected");
    report(20, "");
    return 0;
  }
  int ping(std::uint8_t) override {
    std::lock_guard<std::mutex> lock(m);
    ++pings;
    return pingResult;
  }
  void report(int type, const char* text) {
    if (const StatusCallbackFn cb = callback.load()) cb(type, 0, text);
  }
  bool waitStarts(int n, bool done = false) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::seconds(5),
                       [&] { return (done ? startsDone : starts) >= n; });
  }
  template <class F>
  auto locked(F&& f) {
    std::lock_guard<std::mutex> lock(m);
    return f();
  }
};

// The receive-thread part stores, the window part shows; both are logged so order can be checked.
struct FakeData : MonitorData {
  std::vector<std::string> stored;  // receive thread
  std::vector<std::string> shown;   // window thread
  int resets = 0;
  WindowPart takeAlert(int kind, const char* text) override {
    stored.push_back("A" + std::to_string(kind) + ":" + text);
    return [this, s = "A" + std::to_string(kind) + ":" + text] { shown.push_back(s); };
  }
  WindowPart takeSample(int kind, const char* text) override {
    stored.push_back("S" + std::to_string(kind) + ":" + text);
    return [this, s = "S" + std::to_string(kind) + ":" + text] { shown.push_back(s); };
  }
  WindowPart resetMonitorData() override {
    stored.clear();
    return [this] {
      ++resets;
      shown.clear();
    };
  }
};

bool copyDecoder(int, const char* body, char* out, std::size_t size) {
  std::snprintf(out, size, "%s", body);
  return true;
}

std::string readFile(const fs::path& path) { return test::readAll(path.string()); }

class ConnectionControlTest : public ::testing::Test {
 protected:
  ConnectionControlTest()
      : dir_(fs::temp_directory_path() /
             ("kes_conn_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        files_((fs::remove_all(dir_), fs::create_directories(dir_), dir_.string())),
        control_(lib_, host_, data_, files_, queue_, copyDecoder) {
    app();
    control_.setSettingsSource([this] { return settings_; });
    control_.setWholeDayTest([this] { return wholeDay_; });
    host_.control = &control_;
    setCurrentView(&host_);
  }
  ~ConnectionControlTest() override {
    setCurrentView(nullptr);
    fs::remove_all(dir_);
  }

  // The receive thread's side: reports arrive on a thread of their own.
  void fromServer(int type, int kind, const std::string& text) {
    std::thread receiver([&] { statusCallbackHandler(type, kind, text.c_str()); });
    receiver.join();
  }
  // Runs the window thread until done holds (false after five seconds).
  static bool runUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
      if (clock.elapsed() > 5000) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
  // Until the attempt under way has its outcome and the queue is empty.
  void settle() {
    ASSERT_TRUE(runUntil([this] { return !control_.connecting() && queue_.pendingCount() == 0; }));
  }
  void connect(bool clearViews = true) {
    control_.connectToServer(clearViews);
    settle();
  }
  void linked(const std::string& date = "12062026") {
    connect();
    fromServer(8, 0, date);
    settle();
  }
  // The file's text once the files' writer thread has written what it should hold (or the text it
  // holds when that never comes).
  static std::string fileOnceWritten(const fs::path& path, const std::string& expected) {
    runUntil([&] { return readFile(path) == expected; });
    return readFile(path);
  }
  fs::path dataFile(const std::string& date, int n) const {
    return dir_ / "Data" / (date + "_hft" + std::to_string(n) + ".txt");
  }

  fs::path dir_;
  FakeLibrary lib_;
  RecordingHost host_;
  FakeData data_;
  DataFiles files_;
  UiQueue queue_;
  ConnectionSettings settings_{"127.0.0.1", 7405, "demo", "secret"};
  bool wholeDay_ = true;
  ConnectionControl control_;
};

TEST_F(ConnectionControlTest, ConnectLogsInAndSetsTheLinkedControlsAndPing) {
  connect();
  EXPECT_EQ(lib_.user, "demo");
  EXPECT_EQ(lib_.password, "secret");
  EXPECT_EQ(lib_.clientType, 2);
  EXPECT_EQ(lib_.appVersion, "1.0.4");
  EXPECT_EQ(lib_.host, "127.0.0.1");
  EXPECT_EQ(lib_.port, 7405);
  EXPECT_EQ(lib_.pollMs, 10);
  EXPECT_TRUE(control_.sessionUp());
  EXPECT_TRUE(host_.linkedControls);
  EXPECT_EQ(host_.timers, (std::map<int, int>{{PING_TIMER, 60000}}));
  EXPECT_EQ(host_.lastStatus(), "Kestrune Monitor Connected to Server");

  // Port 0 leaves the library's address as it was.
  control_.disconnectFromServer();
  lib_.host = "unchanged";
  settings_.serverPort = 0;
  connect();
  EXPECT_EQ(lib_.host, "unchanged");
}

TEST_F(ConnectionControlTest, AFailedConnectReplacesTheLibraryTextAndStaysUnlinked) {
  lib_.startResult = 231;
  connect();
  ASSERT_GE(host_.statuses.size(), 2u);
  EXPECT_EQ(host_.statuses[host_.statuses.size() - 2], "Connection Error: refused");
  EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
  EXPECT_FALSE(control_.sessionUp());
  EXPECT_FALSE(host_.linkedControls);
  EXPECT_FALSE(host_.disconnectEnabled);
  EXPECT_TRUE(host_.timers.empty());
}

// A host that does not answer: the attempt waits on the connect worker while the window thread
// goes on serving its events; Disconnect and teardown end it at once, and what it reports late
// changes nothing on the screen.
TEST_F(ConnectionControlTest, AnAttemptWaitsOffTheWindowThreadUntilDisconnectOrTeardownEndsIt) {
  lib_.hang = true;
  control_.connectToServer(true);
  ASSERT_TRUE(lib_.waitStarts(1));
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(5);
  EXPECT_TRUE(runUntil([&] { return ticks >= 5; }));
  // Under way: Connect cannot start a second attempt, Disconnect can cancel this one, and a
  // reconnection tick starts nothing.
  EXPECT_TRUE(control_.connecting());
  EXPECT_TRUE(host_.linkedControls);
  EXPECT_TRUE(host_.disconnectEnabled);
  control_.onTimer(RECONNECT_TIMER);
  control_.connectToServer(true);
  EXPECT_EQ(lib_.locked([&] { return lib_.starts; }), 1);

  control_.disconnectFromServer();
  ASSERT_TRUE(lib_.waitStarts(1, true));
  settle();
  EXPECT_EQ(host_.lastStatus(), "Kestrune Server Disconnected.");
  EXPECT_FALSE(host_.linkedControls);
  EXPECT_FALSE(host_.disconnectEnabled);
  EXPECT_TRUE(host_.timers.empty());
  EXPECT_FALSE(control_.sessionUp());

  // A Stop that came a moment before the Start could not cancel it: the link it makes is not
  // wanted and is ended again, unseen.
  lib_.locked([&] { lib_.stopCancels = false; });
  control_.connectToServer(true);
  ASSERT_TRUE(lib_.waitStarts(2));
  control_.disconnectFromServer();
  lib_.locked([&] {
    lib_.hang = false;
    lib_.cv.notify_all();
  });
  ASSERT_TRUE(lib_.waitStarts(2, true));
  ASSERT_TRUE(runUntil([&] { return lib_.locked([&] { return lib_.stops == 3; }); }));
  settle();
  EXPECT_FALSE(lib_.locked([&] { return lib_.connected; }));
  EXPECT_EQ(host_.lastStatus(), "Kestrune Server Disconnected.");
  EXPECT_FALSE(host_.linkedControls);
  EXPECT_FALSE(control_.sessionUp());

  // Closing the window during an attempt cancels it and returns.
  lib_.locked([&] {
    lib_.hang = true;
    lib_.stopCancels = true;
  });
  control_.connectToServer(true);
  ASSERT_TRUE(lib_.waitStarts(3));
  control_.shutdown();
  EXPECT_EQ(lib_.locked([&] { return lib_.startsDone; }), 3);
}

// The new link's receive thread may deliver the session start and a record before Start has even
// returned: they still come after the Connect's own clearing of the views, not wiped by it.
TEST_F(ConnectionControlTest, RecordsRightAfterLoginAreNotClearedByTheConnect) {
  std::thread receiver;
  lib_.onStarted = [&] {
    receiver = std::thread([] {
      statusCallbackHandler(8, 0, "12062026");
      statusCallbackHandler(33, 1, "first");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // time to overtake, if it could
  };
  connect();
  receiver.join();
  settle();
  EXPECT_EQ(data_.stored, std::vector<std::string>{"A1:first"});
  EXPECT_EQ(data_.shown, std::vector<std::string>{"A1:first"});
  EXPECT_EQ(fileOnceWritten(dataFile("12062026", 1), "first\r\n"), "first\r\n");
}

TEST_F(ConnectionControlTest, RecordsAreShownInOrderAndEachWrittenToItsFile) {
  linked();
  const std::vector<std::pair<int, int>> routes = {{33, 1}, {33, 2}, {33, 3},
                                                   {34, 1}, {34, 2}, {34, 3}};
  for (auto [type, kind] : routes) {
    for (int i = 0; i < 3; ++i) {
      fromServer(
          type, kind,
          "rec|" + std::to_string(type) + "|" + std::to_string(kind) + "|" + std::to_string(i));
    }
  }
  // Kinds outside 1-3 are neither shown nor written; type and kind are read by their low byte.
  fromServer(33, 0, "zero");
  fromServer(33, 4, "four");
  fromServer(34, 0x104, "four");
  fromServer(0x121, 0x101, "low|byte");
  settle();

  ASSERT_EQ(data_.shown.size(), 19u);
  EXPECT_EQ(data_.shown.front(), "A1:rec|33|1|0");
  EXPECT_EQ(data_.shown.back(), "A1:low|byte");
  for (int n = 1; n <= 6; ++n) {
    const auto [type, kind] = routes[static_cast<std::size_t>(n - 1)];
    std::string expected;
    for (int i = 0; i < 3; ++i) {
      expected += "rec|" + std::to_string(type) + "|" + std::to_string(kind) + "|" +
                  std::to_string(i) + "\r\n";
    }
    if (n == 1) expected += "low|byte\r\n";
    EXPECT_EQ(fileOnceWritten(dataFile("12062026", n), expected), expected) << n;
  }
}

TEST_F(ConnectionControlTest, ADateThatIsNotEightDigitsNamesNoFileAndSaysSo) {
  linked();
  const std::vector<std::string> refused = {"../../../tmp/x", "1206202",     "120620266",
                                            "12/06/26",       "../12062026", std::string(300, '1')};
  for (const std::string& bad : refused) {
    fromServer(9, 0, bad);
    fromServer(33, 1, "unrecorded");
    settle();
    EXPECT_FALSE(files_.dataFilesOpen()) << bad;
    EXPECT_FALSE(control_.sessionDateValid()) << bad;
    EXPECT_EQ(host_.date, "") << bad;
    EXPECT_EQ(host_.lastStatus().rfind("NOT RECORDING: invalid session date", 0), 0u) << bad;
  }
  // Nothing but the first day's six files was ever created, anywhere under the test folder.
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir_)) count += entry.is_regular_file();
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(readFile(dataFile("12062026", 1)), "");

  fromServer(9, 0, "12082026");
  fromServer(33, 1, "recorded");
  settle();
  EXPECT_EQ(fileOnceWritten(dataFile("12082026", 1), "recorded\r\n"), "recorded\r\n");
}

TEST_F(ConnectionControlTest, RefusalsDisconnectFirstAndEndWithTheirText) {
  const std::vector<std::pair<int, std::string>> refusals = {{7, "Invalid username/password!"},
                                                             {10, "Account already in use!"},
                                                             {11, "Invalid Server-App!"}};
  for (const auto& [type, text] : refusals) {
    linked();
    const int stops = lib_.stops;
    int result = -1;
    std::thread receiver([&] { result = statusCallbackHandler(type, 0, "refused"); });
    receiver.join();
    EXPECT_EQ(result, 0);
    // The server that refuses also drops the link; its late report changes nothing.
    fromServer(20, 0, "");
    settle();
    EXPECT_EQ(lib_.stops, stops + 1) << type;
    EXPECT_EQ(host_.lastStatus(), text);
    EXPECT_FALSE(control_.sessionUp());
    EXPECT_FALSE(control_.reconnectPending());
    EXPECT_FALSE(host_.disconnectEnabled);
    EXPECT_TRUE(host_.timers.empty()) << type;
    EXPECT_FALSE(files_.dataFilesOpen());
  }
}

TEST_F(ConnectionControlTest, ALostLinkRetriesEveryPeriodUntilTheServerIsBack) {
  linked();
  fromServer(20, 0, "");
  settle();
  const std::vector<std::string> expected = {"Kestrune Server Disconnected.",
                                             "Attempting Reconnection..."};
  ASSERT_GE(host_.statuses.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(host_.statuses.end() - 2, host_.statuses.end()), expected);
  EXPECT_FALSE(files_.dataFilesOpen());
  EXPECT_TRUE(control_.reconnectPending());
  EXPECT_FALSE(control_.sessionUp());
  EXPECT_TRUE(host_.disconnectEnabled);
  EXPECT_EQ(host_.timers, (std::map<int, int>{{RECONNECT_TIMER, 5000}}));

  // The library may report the same loss twice: same texts, same end state.
  host_.statuses.clear();
  fromServer(20, 0, "");
  settle();
  EXPECT_EQ(host_.statuses, expected);
  EXPECT_EQ(host_.timers, (std::map<int, int>{{RECONNECT_TIMER, 5000}}));
  EXPECT_TRUE(control_.reconnectPending());

  lib_.startResult = 231;
  control_.onTimer(RECONNECT_TIMER);
  settle();
  EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
  EXPECT_EQ(host_.timers.count(RECONNECT_TIMER), 1u);
  EXPECT_TRUE(host_.disconnectEnabled);

  lib_.startResult = 0;
  host_.statuses.clear();
  control_.onTimer(RECONNECT_TIMER);
  settle();
  EXPECT_EQ(host_.statuses.front(), "Attempting Reconnection...");
  EXPECT_TRUE(control_.sessionUp());
  EXPECT_FALSE(control_.reconnectPending());
  EXPECT_EQ(host_.timers, (std::map<int, int>{{PING_TIMER, 60000}}));
}

TEST_F(ConnectionControlTest, DisconnectCancelsAPendingReconnection) {
  linked();
  fromServer(20, 0, "");
  settle();
  ASSERT_TRUE(control_.reconnectPending());
  control_.disconnectFromServer();
  EXPECT_FALSE(control_.reconnectPending());
  EXPECT_FALSE(control_.userDisconnect());
  EXPECT_FALSE(host_.disconnectEnabled);
  EXPECT_TRUE(host_.timers.empty());
  EXPECT_EQ(host_.lastStatus(), "Kestrune Server Disconnected.");
}

TEST_F(ConnectionControlTest, ALocalDisconnectRecordsNothingMoreAndDoesNotReconnect) {
  linked();
  // A loss the receive thread reported just before the button does not turn into a reconnection.
  fromServer(20, 0, "");
  control_.disconnectFromServer();
  fromServer(33, 1, "after disconnect");
  settle();
  EXPECT_TRUE(host_.timers.empty());
  EXPECT_FALSE(host_.disconnectEnabled);
  EXPECT_EQ(data_.shown.back(), "A1:after disconnect");
  EXPECT_EQ(readFile(dataFile("12062026", 1)), "");
}

TEST_F(ConnectionControlTest, PingFailureReconnectsButABusySocketDoesNot) {
  linked();
  lib_.pingResult = 206;
  control_.onTimer(PING_TIMER);
  EXPECT_EQ(lib_.pings, 1);
  EXPECT_TRUE(control_.sessionUp());
  EXPECT_EQ(host_.timers.count(RECONNECT_TIMER), 0u);

  lib_.pingResult = 228;
  control_.onTimer(PING_TIMER);
  EXPECT_EQ(host_.lastStatus(), "Attempting Reconnection...");
  EXPECT_TRUE(control_.reconnectPending());
  EXPECT_TRUE(host_.disconnectEnabled);
  EXPECT_EQ(host_.timers.count(RECONNECT_TIMER), 1u);

  // No session, no ping.
  control_.disconnectFromServer();
  control_.onTimer(PING_TIMER);
  EXPECT_EQ(lib_.pings, 2);
}

TEST_F(ConnectionControlTest, ReportsBeforeTheViewIsReadyOrAfterShutdownAreIgnored) {
  setCurrentView(nullptr);
  EXPECT_EQ(statusCallbackHandler(21, 0, "early"), 0);
  setCurrentView(&host_);
  host_.control = nullptr;
  EXPECT_EQ(statusCallbackHandler(21, 0, "early"), 0);
  host_.control = &control_;
  linked();
  control_.shutdown();
  EXPECT_FALSE(files_.dataFilesOpen());
  EXPECT_TRUE(host_.timers.count(RECONNECT_TIMER) == 0);
  EXPECT_EQ(control_.statusCallbackHandler(21, 0, "late"), 0);
  settle();
  EXPECT_NE(host_.lastStatus(), "late");
}

TEST_F(ConnectionControlTest, ServerTextsAndUnknownTypesAndReturnValues) {
  linked();
  EXPECT_EQ(statusCallbackHandler(22, 0, "Market opens in 5 minutes"), 0);
  EXPECT_EQ(statusCallbackHandler(99, 0, "?"), 1);
  EXPECT_EQ(statusCallbackHandler(21, 0, nullptr), 0);
  settle();
  EXPECT_EQ(host_.statuses[host_.statuses.size() - 2], "Market opens in 5 minutes");
  EXPECT_EQ(host_.lastStatus(), "");
}

}  // namespace
}  // namespace kestrune
