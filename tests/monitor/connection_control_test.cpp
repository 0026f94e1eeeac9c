#include "monitor/connection_control.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>
#include <map>
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

// Reports like the real library: Start and Stop call the status callback on the caller's thread.
struct FakeLibrary : SessionLibrary {
  StatusCallbackFn callback = nullptr;
  std::string user, password, appVersion, host;
  int clientType = -1;
  int port = -1;
  int pollMs = -1;
  int startResult = 0;
  int pingResult = 0;
  int starts = 0, stops = 0, pings = 0;
  bool connected = false;

  int setStatusCallback(StatusCallbackFn cb) override {
    callback = cb;
    return 0;
  }
  int setUser(const char* u, const char* p, std::uint8_t type, const char* version) override {
    user = u;
    password = p;
    clientType = type;
    appVersion = version;
    return 0;
  }
  int setParms(const char* h, std::int32_t p) override {
    host = h;
    port = p;
    return 0;
  }
  int setTimeout(std::uint16_t poll, std::uint16_t check) override {
    pollMs = check ? poll : -1;
    return 0;
  }
  int start() override {
    ++starts;
    if (startResult != 0) {
      report(21, "Connection Error: The attempt to connect was forcefully rejected.");
      return startResult;
    }
    report(21, "Kestrune Monitor Connected to Server");
    connected = true;
    return 0;
  }
  int stop() override {
    ++stops;
    connected = false;
    report(21, "Disconnected");
    report(20, "");
    return 0;
  }
  int ping(std::uint8_t) override {
    ++pings;
    return pingResult;
  }
  void report(int type, const char* text) {
    if (callback) callback(type, 0, text);
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
  void settle() {
    while (queue_.pendingCount() > 0) QCoreApplication::processEvents();
  }
  void linked(const std::string& date = "12062026") {
    control_.connectToServer(true);
    fromServer(8, 0, date);
    settle();
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
  control_.connectToServer(true);
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
  control_.connectToServer(true);
  EXPECT_EQ(lib_.host, "unchanged");
}

TEST_F(ConnectionControlTest, AFailedConnectReplacesTheLibraryTextAndStaysUnlinked) {
  lib_.startResult = 231;
  control_.connectToServer(true);
  ASSERT_GE(host_.statuses.size(), 2u);
  EXPECT_EQ(host_.statuses[host_.statuses.size() - 2],
            "Connection Error: The attempt to connect was forcefully rejected.");
  EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
  EXPECT_FALSE(control_.sessionUp());
  EXPECT_FALSE(host_.linkedControls);
  EXPECT_FALSE(host_.disconnectEnabled);
  EXPECT_TRUE(host_.timers.empty());
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
    EXPECT_EQ(readFile(dataFile("12062026", n)), expected) << n;
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
  EXPECT_EQ(readFile(dataFile("12082026", 1)), "recorded\r\n");
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
  EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
  EXPECT_EQ(host_.timers.count(RECONNECT_TIMER), 1u);
  EXPECT_TRUE(host_.disconnectEnabled);

  lib_.startResult = 0;
  host_.statuses.clear();
  control_.onTimer(RECONNECT_TIMER);
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
