// The session's connect attempt: a host that does not answer, a lookup that never returns and an
// unknown host, each ended by the attempt's deadline or by a Stop from another thread. Linked with
// the session's insides so that the lookup can be replaced and the deadline shortened.
#include <gtest/gtest.h>
#include <netdb.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/session.h"
#include "client/socket_errors.h"
#include "tests/client/report_recorder.h"
#include "tests/client/scripted_server.h"
#include "tests/support/silent_listener.h"

namespace kestrune {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A lookup that hangs until the test lets it go, as one whose name server never answers. Each
// test hangs its own, so a lookup let go late never meets the next test's.
class HangingLookup {
 public:
  static int resolve(const std::string&, in_addr&) {
    std::shared_ptr<HangingLookup> self;
    {
      std::lock_guard<std::mutex> lock(currentLock);
      self = current;
    }
    std::unique_lock<std::mutex> lock(self->m_);
    ++self->entries_;
    self->entered_ = true;
    self->cv_.notify_all();
    self->cv_.wait(lock, [&] { return self->released_; });
    return socketErrorFromResolver(EAI_AGAIN, 0);
  }
  static std::shared_ptr<HangingLookup> install() {
    auto fresh = std::make_shared<HangingLookup>();
    std::lock_guard<std::mutex> lock(currentLock);
    current = fresh;
    return fresh;
  }
  bool waitEntered() {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return entered_; });
  }
  int entries() {
    std::lock_guard<std::mutex> lock(m_);
    return entries_;
  }
  void release() {
    std::lock_guard<std::mutex> lock(m_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  static inline std::mutex currentLock;
  static inline std::shared_ptr<HangingLookup> current;
  std::mutex m_;
  std::condition_variable cv_;
  int entries_ = 0;
  bool entered_ = false;
  bool released_ = false;
};

int unknownHost(const std::string&, in_addr&) { return socketErrorFromResolver(EAI_NONAME, 0); }

const Report kTimedOut{21, 0,
                       "Connection Error: Attempt timed out without establishing a connection."};
const Report kCancelled{
    21, 0, "Connection Error: The (blocking) call was canceled via WSACancelBlockingCall()."};

class ConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lookup_ = HangingLookup::install();
    session.setStatusCallback(&recordStatus);
    ASSERT_EQ(session.setUser("kestrel", "s3cret", 2, "1.0.4"), 0);
    recorder.take();
  }
  void TearDown() override {
    session.stop();
    lookup_->release();
    session.setResolver(nullptr);
    recorder.take();
  }

  // A later Start reaches a server that answers: the failed attempt left nothing behind.
  void connectsAfterwards() {
    ScriptedServer server;
    ASSERT_EQ(session.setParms("127.0.0.1", server.port()), 0);
    server.greetNextClient();
    ASSERT_EQ(session.start(), 0);
    EXPECT_TRUE(server.accept());
    EXPECT_EQ(recorder.take(), std::vector<Report>{kConnected});
  }

  Session& session = Session::instance();
  std::shared_ptr<HangingLookup> lookup_;
};

// Where the attempt is held up, and what ends it.
struct Stall {
  bool inLookup;
  bool byStop;
};

class StalledConnectTest : public ConnectTest, public ::testing::WithParamInterface<Stall> {};

TEST_P(StalledConnectTest, EndsAtTheDeadlineOrAtOnceOnStop) {
  const Stall stall = GetParam();
  test::SilentListener silent;
  ASSERT_GT(silent.port(), 0);
  if (stall.inLookup) {
    session.setResolver(&HangingLookup::resolve);
    // A name of its own: the lookup of an earlier test may still be finishing.
    const std::string host =
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 40);
    std::string name;
    for (char c : host) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    ASSERT_EQ(session.setParms((name + ".example").c_str(), silent.port()), 0);
  } else {
    ASSERT_EQ(session.setParms("127.0.0.1", silent.port()), 0);
  }
  // A Stop must not have to wait for the deadline: give it the program's own.
  session.setConnectTimeout(stall.byStop ? std::chrono::seconds(10) : milliseconds(300));
  const auto began = Clock::now();
  auto started = std::async(std::launch::async, [&] { return session.start(); });

  if (stall.byStop) {
    if (stall.inLookup) {
      ASSERT_TRUE(lookup_->waitEntered());
    } else {
      std::this_thread::sleep_for(milliseconds(200));  // let the connect begin
    }
    const auto stopped = Clock::now();
    EXPECT_EQ(session.stop(), 0);
    ASSERT_EQ(started.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(started.get(), 231);
    EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(2));
    // Stop's own reports in their order, and the attempt's, from its thread.
    std::vector<Report> reports = recorder.take();
    auto attempt = std::find(reports.begin(), reports.end(), kCancelled);
    ASSERT_NE(attempt, reports.end());
    reports.erase(attempt);
    EXPECT_EQ(reports, (std::vector<Report>{kDisconnectedText, kLinkDown}));
  } else {
    ASSERT_EQ(started.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(started.get(), 231);
    EXPECT_GE(Clock::now() - began, milliseconds(300));
    EXPECT_EQ(recorder.take(), std::vector<Report>{kTimedOut});
  }
  connectsAfterwards();
}

INSTANTIATE_TEST_SUITE_P(Attempts, StalledConnectTest,
                         ::testing::Values(Stall{false, false}, Stall{false, true},
                                           Stall{true, false}, Stall{true, true}),
                         [](const auto& info) {
                           return std::string(info.param.inLookup ? "Lookup" : "Connect") +
                                  (info.param.byStop ? "StoppedAtOnce" : "TimesOut");
                         });

TEST_F(ConnectTest, AnUnknownHostReportsHostNotFoundAndConnectsLater) {
  session.setResolver(&unknownHost);
  ASSERT_EQ(session.setParms("no-such-host.invalid", 7405), 0);
  EXPECT_EQ(session.start(), 231);
  EXPECT_EQ(
      recorder.take(),
      (std::vector<Report>{{21, 0, "Connection Error: Authoritative Answer Host not found."}}));
  connectsAfterwards();
}

// Reconnecting every few seconds to a name whose lookup hangs costs one lookup, not one each.
TEST_F(ConnectTest, AttemptsForAHangingNameShareItsOneLookup) {
  session.setResolver(&HangingLookup::resolve);
  ASSERT_EQ(session.setParms("shared-lookup.example", 7405), 0);
  session.setConnectTimeout(milliseconds(200));
  EXPECT_EQ(session.start(), 231);
  EXPECT_EQ(session.start(), 231);
  EXPECT_EQ(lookup_->entries(), 1);
  EXPECT_EQ(recorder.take(), (std::vector<Report>{kTimedOut, kTimedOut}));
  session.setConnectTimeout(std::chrono::seconds(10));
  connectsAfterwards();
}

// A server that accepts the connection and never asks for the login: the attempt waits for it
// (its timeout is the end-to-end tests'), and a Stop meanwhile ends it at once.
TEST_F(ConnectTest, AStopEndsTheWaitForTheLoginRequestAtOnce) {
  ScriptedServer mute;
  ASSERT_EQ(session.setParms("127.0.0.1", mute.port()), 0);
  auto started = std::async(std::launch::async, [&] { return session.start(); });
  ASSERT_TRUE(mute.accept());
  std::this_thread::sleep_for(milliseconds(100));
  const auto stopped = Clock::now();
  session.stop();
  ASSERT_EQ(started.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(started.get(), 231);
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(2));
  const std::vector<Report> reports = recorder.take();
  EXPECT_NE(std::find(reports.begin(), reports.end(), kCancelled), reports.end());
  EXPECT_TRUE(mute.waitClosed());  // no socket left behind
  connectsAfterwards();
}

}  // namespace
}  // namespace kestrune
