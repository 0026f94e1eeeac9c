// The live monitor against servers that misbehave on a live link: one that floods status texts,
// one that accepts and never asks for the login, one that stops in the middle of a packet. The
// client library's insides are linked in so that its deadlines can be shortened; the connection
// control, lists, charts and data files are the real ones, only the window is a stand-in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alerts/alert_lists.h"
#include "alerts/symbol_filter_table.h"
#include "charts/exchange_charts.h"
#include "client/session.h"
#include "client/wire.h"
#include "monitor/live_monitor.h"
#include "monitor/server_prefs.h"
#include "recording/data_files.h"
#include "settings/monitor_settings.h"
#include "tests/client/scripted_server.h"
#include "tests/support/qt_application.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// The session library itself, called directly rather than through its exported face.
class DirectSession : public SessionLibrary {
 public:
  int setStatusCallback(StatusCallbackFn callback) override {
    return s_.setStatusCallback(callback);
  }
  int setUser(const char* user, const char* password, std::uint8_t clientType,
              const char* appVersion) override {
    return s_.setUser(user, password, clientType, appVersion);
  }
  int setParms(const char* host, std::int32_t port) override { return s_.setParms(host, port); }
  int setTimeout(std::uint16_t pollMs, std::uint16_t check) override {
    return s_.setTimeout(pollMs, check);
  }
  int start() override { return s_.start(); }
  int stop() override { return s_.stop(); }
  int ping(std::uint8_t waitReply) override {
    std::uint8_t result = 0;
    return s_.ping(waitReply, &result);
  }

 private:
  Session& s_ = Session::instance();
};

std::vector<std::uint8_t> packet(std::uint16_t type, std::uint16_t kind, std::string_view body) {
  return makePacket(type, kind, body, true);
}

std::vector<std::uint8_t> alertPacket(const std::string& text) {
  std::string body;
  EXPECT_TRUE(encodeRecordBody(MSG_ALERT_RECORD, text, body));
  return packet(MSG_ALERT_RECORD, 1, body);
}

class HalfDeadLinkE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ensureApplication();
    dir_ = fs::temp_directory_path() /
           ("kes_halfdead_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    table_ = std::make_unique<SymbolFilterTable>((dir_ / "SymbolFilter.txt").string());
    lists_ = std::make_unique<AlertLists>(settings_, *table_);
    charts_ = std::make_unique<ExchangeCharts>(settings_);
    charts_->setUpCharts();
    files_ = std::make_unique<DataFiles>(dir_.string());
    Session::instance().setLoginTimeout(milliseconds(300));
    Session::instance().setPacketTimeout(milliseconds(300));
  }
  void TearDown() override {
    live_.reset();
    setCurrentView(nullptr);
    Session::instance().setLoginTimeout(std::chrono::seconds(10));
    Session::instance().setPacketTimeout(std::chrono::seconds(30));
    fs::remove_all(dir_);
  }

  void pointAt(int port) {
    server_.serverPort = port;
    std::snprintf(server_.serverAddress, sizeof server_.serverAddress, "127.0.0.1");
    std::snprintf(server_.userName, sizeof server_.userName, "demo");
    std::snprintf(server_.userPassword, sizeof server_.userPassword, "demo");
    if (!live_) {
      live_ = std::make_unique<LiveMonitor>(host_, settings_, server_, *lists_, *charts_,
                                            files_.get(), std::make_unique<DirectSession>());
      host_.control = &live_->connection();
      setCurrentView(&host_);
    }
  }

  // Connects to a server that greets and reads the login, and starts the session of 12/06/2026.
  void linkTo(ScriptedServer& server) {
    pointAt(server.port());
    server.greetNextClient();
    live_->onConnect();
    ASSERT_TRUE(server.accept());
    std::vector<std::uint8_t> login;
    ASSERT_TRUE(server.readPacket(login));
    ASSERT_TRUE(server.send(packet(MSG_SESSION_START, 0, "12062026")));
    ASSERT_TRUE(test::waitFor(
        [&] { return host_.date == "12/06/2026" && live_->connection().sessionUp(); }, 10000));
  }

  std::size_t rawRows() const {
    return static_cast<std::size_t>(lists_->model(AlertKind::Raw)->rowCount());
  }

  fs::path dir_;
  RecordingHost host_;
  MonitorSettings settings_;
  std::unique_ptr<SymbolFilterTable> table_;
  std::unique_ptr<AlertLists> lists_;
  std::unique_ptr<ExchangeCharts> charts_;
  std::unique_ptr<DataFiles> files_;
  ServerPrefsValues server_;
  std::unique_ptr<LiveMonitor> live_;
};

// Far more status texts than the window can show: the status line ends with the last one, the
// rest count as skipped, and the alert records sent in the middle of the flood are all shown and
// written.
TEST_F(HalfDeadLinkE2E, AStatusFloodIsShownLatestFirstAndLosesNoRecord) {
  ScriptedServer server;
  linkTo(server);
  constexpr int kTexts = 200'000;
  constexpr int kAlerts = 50;
  std::atomic<bool> sent{false};
  std::thread flood([&] {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < kTexts; ++i) {
      const auto p = packet(i % 2 ? MSG_SERVER_TEXT : MSG_STATUS, 0, "flood " + std::to_string(i));
      bytes.insert(bytes.end(), p.begin(), p.end());
      if (i % (kTexts / kAlerts) == 0) {
        const auto a =
            alertPacket("FLD|x|093001|" + std::to_string(100 + i / 1000) + "|1.00-1.01|1");
        bytes.insert(bytes.end(), a.begin(), a.end());
      }
      if (bytes.size() > 1 << 20) {
        if (!server.send(bytes)) return;
        bytes.clear();
      }
    }
    const auto last = packet(MSG_SERVER_TEXT, 0, "the last word");
    bytes.insert(bytes.end(), last.begin(), last.end());
    sent = server.send(bytes);
  });
  const bool ended = test::waitFor([&] { return host_.lastStatus() == "the last word"; }, 60000);
  flood.join();
  ASSERT_TRUE(sent.load());
  ASSERT_TRUE(ended);
  // Every text was either shown or counted as skipped; most were skipped.
  std::size_t shown = 0;
  for (const auto& s : host_.statuses) shown += s.rfind("flood ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(shown + host_.skippedStatuses + 1, static_cast<std::size_t>(kTexts + 1));
  EXPECT_LT(shown, static_cast<std::size_t>(kTexts / 10));
  EXPECT_TRUE(test::waitFor([&] { return rawRows() == kAlerts; }, 10000));
  // The row shows a moment before its line is written: intake first, then the line.
  const fs::path file = dir_ / "Data" / "12062026_hft1.txt";
  EXPECT_TRUE(test::waitFor(
      [&] {
        const std::string written = test::readAll(file.string());
        return std::count(written.begin(), written.end(), '\n') == kAlerts;
      },
      10000));
  EXPECT_TRUE(live_->connection().sessionUp());
}

// A server that accepts and never asks for the login fails the Connect as a connect that timed
// out; one that stops inside a packet is a lost link, and the monitor goes to reconnect.
TEST_F(HalfDeadLinkE2E, AServerThatGoesQuietIsALostLink) {
  {
    ScriptedServer mute;
    pointAt(mute.port());
    live_->onConnect();
    ASSERT_TRUE(mute.accept());
    ASSERT_TRUE(test::waitFor([&] { return !live_->connection().connecting(); }, 10000));
    EXPECT_TRUE(
        host_.sawStatus("Connection Error: Attempt timed out without establishing a connection."));
    EXPECT_EQ(host_.lastStatus(), "Kestrune Error, Could Not Connect!");
    EXPECT_FALSE(live_->connection().sessionUp());
  }

  ScriptedServer server;
  linkTo(server);
  std::vector<std::uint8_t> bytes = alertPacket("STL|x|093001|100|1.00-1.01|1");
  const auto cut = alertPacket("CUT|x|093001|100|1.00-1.01|1");
  bytes.insert(bytes.end(), cut.begin(), cut.begin() + 15);  // the header and a little more
  host_.statuses.clear();
  ASSERT_TRUE(server.send(bytes));
  ASSERT_TRUE(test::waitFor([&] { return host_.timers.count(RECONNECT_TIMER) == 1; }, 10000));
  EXPECT_EQ(host_.statuses,
            (std::vector<std::string>{"Disconnected", "Kestrune Server Disconnected.",
                                      "Attempting Reconnection..."}));
  EXPECT_FALSE(live_->connection().sessionUp());
  EXPECT_EQ(rawRows(), 1u);
  EXPECT_TRUE(server.waitClosed());
}

}  // namespace
}  // namespace kestrune
