// The session library against a scripted peer on loopback: login, reports and their order,
// framing faults, link losses, ping, CRC switching and stopping from every thread.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/qvs_hft.h"
#include "client/wire.h"
#include "tests/client/report_recorder.h"
#include "tests/client/scripted_server.h"

namespace kestrune {
namespace {

std::vector<std::uint8_t> packet(std::uint16_t type, std::uint16_t kind, std::string_view body,
                                 bool protect = true) {
  return makePacket(type, kind, body, protect);
}

std::string bodyOf(const std::vector<std::uint8_t>& p) {
  return std::string(p.begin() + kHeaderSize, p.end());
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.port(), 0);
    recorder.setHook(nullptr);
    QvS_HFT_SetStatusCallback(&recordStatus);
    ASSERT_EQ(QvS_HFT_SetUser("kestrel", "s3cret", 2, "1.0.4"), 0);
    ASSERT_EQ(QvS_HFT_SetTimeout(10, 1), 0);
    recorder.take();
  }
  void TearDown() override {
    recorder.setHook(nullptr);
    QvS_HFT_Stop();
    recorder.take();
  }

  // Connects; the peer sends the login request and reads the reply.
  void connectAndLogin() {
    ASSERT_EQ(QvS_HFT_SetParms("127.0.0.1", server_.port()), 0);
    server_.greetNextClient();
    ASSERT_EQ(QvS_HFT_Start(), 0);
    ASSERT_TRUE(server_.accept());
    std::vector<std::uint8_t> login;
    ASSERT_TRUE(server_.readPacket(login));
    loginReply_ = login;
  }

  // Sends a marker text and waits until it has come through, proving the link works and
  // everything before it was delivered.
  void roundTrip(const std::string& marker) {
    ASSERT_TRUE(server_.send(packet(MSG_SERVER_TEXT, 0, marker)));
    ASSERT_TRUE(recorder.waitForReport({22, 0, marker}));
  }

  ScriptedServer server_;
  std::vector<std::uint8_t> loginReply_;
};

TEST_F(SessionTest, SettersRejectMissingArgumentsAndKeepEarlierValues) {
  ASSERT_EQ(QvS_HFT_SetParms("127.0.0.1", server_.port()), 0);
  EXPECT_EQ(QvS_HFT_SetParms("127.0.0.1", 0), 254);
  EXPECT_EQ(QvS_HFT_SetParms(nullptr, 1), 254);
  EXPECT_EQ(QvS_HFT_SetUser(nullptr, "pw", 2, "1.0.4"), 254);
  EXPECT_EQ(QvS_HFT_SetUser("u", nullptr, 2, "1.0.4"), 254);
  EXPECT_EQ(QvS_HFT_SetTimeout(0, 1), 254);
  EXPECT_EQ(QvS_HFT_SetTimeout(10, 0), 254);
  // The earlier host and port are still in force.
  server_.greetNextClient();
  ASSERT_EQ(QvS_HFT_Start(), 0);
  EXPECT_TRUE(server_.accept());
  EXPECT_EQ(recorder.take(), std::vector<Report>{kConnected});
}

TEST_F(SessionTest, LogsInAndDeliversPacketsRawAndInOrder) {
  connectAndLogin();
  const PacketHeader h = PacketHeader::parse(loginReply_.data());
  EXPECT_EQ(h.type, MSG_LOGIN);
  EXPECT_EQ(h.kind, 0);
  EXPECT_EQ(h.length, loginReply_.size());
  EXPECT_EQ(bodyOf(loginReply_), std::string("kestrel s3cret 2 1.0.4\0", 23));
  EXPECT_TRUE(checkPacket(loginReply_.data(), loginReply_.size()));
  EXPECT_NE(h.crc, 0u);

  ASSERT_TRUE(server_.send(packet(MSG_SESSION_START, 0, "12072026")));
  // Records reach the callback with their header fields and the body as received.
  ASSERT_TRUE(server_.send(packet(MSG_ALERT_RECORD, 1, "AB;\x23\x4C")));
  ASSERT_TRUE(server_.send(packet(MSG_CHART_SAMPLE, 3, "\x2B\xC0")));
  // A zero check value is accepted while protection is on.
  ASSERT_TRUE(server_.send(packet(MSG_STATUS, 0, "unprotected", false)));
  // A header-only packet, and one whose length is below 12, carry an empty text.
  ASSERT_TRUE(server_.send(packet(MSG_SESSION_DATE, 0, {})));
  auto stubby = packet(MSG_ACCOUNT_IN_USE, 0, {}, false);
  stubby[4] = 5;
  ASSERT_TRUE(server_.send(stubby));
  // Types the library does not know are handed on unchanged.
  ASSERT_TRUE(server_.send(packet(300, 7, "odd")));
  roundTrip("end");

  const std::vector<Report> expected = {
      kConnected,          {8, 0, "12072026"},     {33, 1, "AB;\x23\x4C"},
      {34, 3, "\x2B\xC0"}, {21, 0, "unprotected"}, {9, 0, ""},
      {10, 0, ""},         {300, 7, "odd"},        {22, 0, "end"}};
  EXPECT_EQ(recorder.take(), expected);

  // Stop sends the disconnect packet, then reports in order.
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  std::vector<std::uint8_t> bye;
  ASSERT_TRUE(server_.readPacket(bye));
  const std::vector<std::uint8_t> expectedBye = {0x02, 0x00, 0x00, 0x00, 0x0C, 0x00,
                                                 0x00, 0x00, 0xF7, 0x2E, 0x00, 0x00};
  EXPECT_EQ(bye, expectedBye);
  EXPECT_TRUE(server_.waitClosed());
  EXPECT_EQ(recorder.take(), (std::vector<Report>{kDisconnectedText, kLinkDown}));
}

TEST_F(SessionTest, SecondStartReportsAlreadyConnectedAndLinkKeepsWorking) {
  connectAndLogin();
  EXPECT_EQ(QvS_HFT_Start(), 229);
  roundTrip("still here");
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{kConnected, {21, 0, "Already Connected"}, {22, 0, "still here"}}));
}

TEST_F(SessionTest, ARefusedConnectReportsItsSocketErrorText) {
  ScriptedServer closed;
  const int port = closed.port();
  closed.closeListener();  // nothing listens there any more
  ASSERT_EQ(QvS_HFT_SetParms("127.0.0.1", port), 0);
  EXPECT_EQ(QvS_HFT_Start(), 231);
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{
                {21, 0, "Connection Error: The attempt to connect was forcefully rejected."}}));
  // Nothing is left half-open: a later Start connects normally.
  connectAndLogin();
  EXPECT_EQ(recorder.take(), std::vector<Report>{kConnected});
}

TEST_F(SessionTest, SplitAndCoalescedPacketsArriveWholeAndInOrder) {
  connectAndLogin();
  std::string all;
  std::vector<Report> expected{kConnected};
  for (int i = 0; i < 200; ++i) {
    std::string text;
    encodeRecordBody(MSG_CHART_SAMPLE, "093000|" + std::to_string(i) + "|1|2|3", text);
    auto p = packet(MSG_CHART_SAMPLE, 1 + i % 3, text);
    all.append(p.begin(), p.end());
    expected.push_back({34, 1 + i % 3, text});
  }
  ASSERT_TRUE(server_.send(all));  // coalesced: 200 packets in one write
  // Split: packets cut at every position, the pieces paced so that the client sees partial
  // packets and has to wait for their rest instead of losing step.
  const auto sample = packet(MSG_ALERT_RECORD, 2, "MSFT;\x23\x4C\x56");
  for (std::size_t cutAt : {1u, 5u, 11u, 12u, 13u, 16u}) {
    ASSERT_TRUE(
        server_.send(std::string_view(reinterpret_cast<const char*>(sample.data()), cutAt)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // pacing only
    ASSERT_TRUE(server_.send(std::string_view(reinterpret_cast<const char*>(sample.data()) + cutAt,
                                              sample.size() - cutAt)));
    expected.push_back({33, 2, "MSFT;\x23\x4C\x56"});
  }
  roundTrip("done");
  expected.push_back({22, 0, "done"});
  EXPECT_EQ(recorder.take(), expected);
}

TEST_F(SessionTest, ServerDisconnectEndsThreadWithOneLinkDownReport) {
  connectAndLogin();
  ASSERT_TRUE(server_.send(packet(MSG_DISCONNECT, 0, {})));
  ASSERT_TRUE(recorder.waitForReport(kLinkDown));
  EXPECT_TRUE(server_.waitClosed());
  // Stop from this thread waits for the receive thread, so anything it still had to say is in.
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{kConnected, kLinkDown, kDisconnectedText, kLinkDown}));
}

TEST_F(SessionTest, BadUserReportsTextTwiceAndNoLinkDown) {
  connectAndLogin();
  ASSERT_TRUE(server_.send(packet(MSG_BAD_USER, 0, "whatever the server says")));
  const Report bad21{21, 0, "BAD USERNAME - SHUTTING DOWN"};
  const Report bad7{7, 0, "BAD USERNAME - SHUTTING DOWN"};
  ASSERT_TRUE(recorder.waitForReport(bad7));
  EXPECT_TRUE(server_.waitClosed());
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{kConnected, bad21, bad7, kDisconnectedText, kLinkDown}));
}

// Each receive fault stops the link: Stop reports "Disconnected" and 20, the thread 20 again.
class ReceiveFaultTest : public SessionTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ReceiveFaultTest, StopsLinkWithTwoLinkDownReports) {
  connectAndLogin();
  roundTrip("before");
  const std::string fault = GetParam();
  if (fault == "oversize") {
    // Claims 200 bytes: the client must not read past its body buffer.
    auto p = packet(MSG_STATUS, 0, std::string(188, 'x'), false);
    ASSERT_TRUE(server_.send(p));
  } else if (fault == "oversize-protected") {
    ASSERT_TRUE(server_.send(packet(MSG_STATUS, 0, std::string(124, 'x'), true)));
  } else if (fault == "bad-crc") {
    auto p = packet(MSG_STATUS, 0, "tampered");
    p[13] ^= 0x20;
    ASSERT_TRUE(server_.send(p));
  } else if (fault == "reset") {
    server_.resetClient();
  } else if (fault == "closed") {
    // The server's process ended: no disconnect packet, just the end of the stream.
    server_.closeClient();
  } else if (fault == "closed-mid-packet") {
    auto p = packet(MSG_STATUS, 0, "cut short");
    ASSERT_TRUE(server_.send(std::string_view(reinterpret_cast<const char*>(p.data()), 15)));
    server_.closeClient();
  }
  ASSERT_TRUE(recorder.waitFor(
      [](const std::vector<Report>& v) { return std::count(v.begin(), v.end(), kLinkDown) >= 2; }));
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  EXPECT_EQ(recorder.take(), (std::vector<Report>{kConnected,
                                                  {22, 0, "before"},
                                                  kDisconnectedText,
                                                  kLinkDown,
                                                  kLinkDown,
                                                  kDisconnectedText,
                                                  kLinkDown}));
}

INSTANTIATE_TEST_SUITE_P(Faults, ReceiveFaultTest,
                         ::testing::Values("oversize", "oversize-protected", "bad-crc", "reset",
                                           "closed", "closed-mid-packet"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST_F(SessionTest, CrcSwitchSendsOnlyOnChangeAndProtectsPerOldSetting) {
  EXPECT_EQ(QvS_HFT_EnableCRC(5), 228);  // not connected
  connectAndLogin();
  EXPECT_EQ(QvS_HFT_EnableCRC(4), 0);  // already on: nothing is sent
  EXPECT_EQ(QvS_HFT_EnableCRC(5), 0);
  std::vector<std::uint8_t> p;
  ASSERT_TRUE(server_.readPacket(p));
  EXPECT_EQ(PacketHeader::parse(p.data()).type, MSG_CRC_OFF);
  EXPECT_EQ(PacketHeader::parse(p.data()).crc, 0xBFEAu);

  // Protection off: a damaged check value no longer matters, and pings go out unprotected.
  auto tampered = packet(MSG_STATUS, 0, "unchecked");
  tampered[9] ^= 0x40;
  ASSERT_TRUE(server_.send(tampered));
  ASSERT_TRUE(recorder.waitForReport({21, 0, "unchecked"}));
  std::uint8_t result = 99;
  EXPECT_EQ(QvS_HFT_Ping(0, &result), 0);
  ASSERT_TRUE(server_.readPacket(p));
  EXPECT_EQ(p, packet(MSG_PING, 0, std::string_view("\0", 1), false));

  EXPECT_EQ(QvS_HFT_EnableCRC(4), 0);
  ASSERT_TRUE(server_.readPacket(p));
  EXPECT_EQ(p, packet(MSG_CRC_ON, 0, {}, false));  // sent under the old setting
  EXPECT_EQ(
      recorder.take(),
      (std::vector<Report>{
          kConnected, {21, 0, "CRC Disabled."}, {21, 0, "unchecked"}, {21, 0, "CRC Enabled."}}));
}

TEST_F(SessionTest, PingWithoutWaitReturnsOnceSent) {
  std::uint8_t result = 99;
  EXPECT_EQ(QvS_HFT_Ping(0, &result), 228);
  EXPECT_EQ(result, 228);
  connectAndLogin();
  EXPECT_EQ(QvS_HFT_Ping(0, &result), 0);
  EXPECT_EQ(result, 0);
  std::vector<std::uint8_t> p;
  ASSERT_TRUE(server_.readPacket(p));
  EXPECT_EQ(p, (std::vector<std::uint8_t>{3, 0, 0, 0, 13, 0, 0, 0, 0x1D, 0x38, 0, 0, 0}));
}

TEST_F(SessionTest, PingWaitingForAnUnansweredReplyTimesOutAndLinkStaysUp) {
  connectAndLogin();
  std::uint8_t result = 99;
  EXPECT_EQ(QvS_HFT_Ping(1, &result), 226);
  EXPECT_EQ(result, 226);
  std::vector<std::uint8_t> p;
  ASSERT_TRUE(server_.readPacket(p));
  EXPECT_EQ(PacketHeader::parse(p.data()).crc, 0x283Cu);
  roundTrip("alive");
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{kConnected, {21, 0, "Ping: Timeout"}, {22, 0, "alive"}}));
}

// Holds the receive thread inside the callback so that a waiting ping is sure to read the
// reply itself.
class PingReplyTest : public SessionTest {
 protected:
  void holdReceiveThread() {
    recorder.setHook([this](const Report& r) {
      if (!(r == Report{22, 0, "hold"})) return;
      std::unique_lock<std::mutex> lock(m_);
      held_ = true;
      cv_.notify_all();
      cv_.wait(lock, [this] { return released_; });
    });
    ASSERT_TRUE(server_.send(packet(MSG_SERVER_TEXT, 0, "hold")));
    std::unique_lock<std::mutex> lock(m_);
    ASSERT_TRUE(cv_.wait_for(lock, std::chrono::seconds(5), [this] { return held_; }));
  }
  void release() {
    {
      std::lock_guard<std::mutex> lock(m_);
      released_ = true;
    }
    cv_.notify_all();
  }
  // Pings with wait wish on another thread and answers it with `reply`.
  std::uint8_t pingAnsweredWith(const std::vector<std::uint8_t>& reply) {
    std::atomic<int> code{-1};
    std::thread pinger([&] {
      std::uint8_t result = 99;
      code = QvS_HFT_Ping(1, &result);
      EXPECT_EQ(result, code.load());
    });
    std::vector<std::uint8_t> p;
    EXPECT_TRUE(server_.readPacket(p));
    EXPECT_EQ(p, packet(MSG_PING, 0, std::string_view("\1", 1)));
    EXPECT_TRUE(server_.send(reply));
    // Once the ping has its reply, the receive thread may go on (a failed reply's Stop waits
    // for it).
    EXPECT_TRUE(recorder.waitForReport({21, 0, "Ping: Recieved Packet."}));
    release();
    pinger.join();
    return static_cast<std::uint8_t>(code.load());
  }

  std::mutex m_;
  std::condition_variable cv_;
  bool held_ = false;
  bool released_ = false;
};

TEST_F(PingReplyTest, AnyPacketIsTheReplyAndIsNotDelivered) {
  connectAndLogin();
  holdReceiveThread();
  EXPECT_EQ(pingAnsweredWith(packet(MSG_SERVER_TEXT, 0, "pong")), 0);
  roundTrip("after");
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{
                kConnected, {22, 0, "hold"}, {21, 0, "Ping: Recieved Packet."}, {22, 0, "after"}}));
}

TEST_F(PingReplyTest, ReplyFailingItsCheckValueStopsTheLink) {
  connectAndLogin();
  holdReceiveThread();
  auto bad = packet(MSG_SERVER_TEXT, 0, "pong");
  bad[12] ^= 1;
  EXPECT_EQ(pingAnsweredWith(bad), 227);
  std::vector<std::uint8_t> bye;
  ASSERT_TRUE(server_.readPacket(bye));
  EXPECT_EQ(PacketHeader::parse(bye.data()).type, MSG_DISCONNECT);
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{kConnected,
                                 {22, 0, "hold"},
                                 {21, 0, "Ping: Recieved Packet."},
                                 kDisconnectedText,
                                 kLinkDown,
                                 {21, 0, "Ping: CRC ERROR!  Shutting down connection."}}));
}

TEST_F(SessionTest, StopFromInsideTheCallback) {
  connectAndLogin();
  recorder.setHook([](const Report& r) {
    if (r == Report{22, 0, "stop now"}) QvS_HFT_Stop();
  });
  ASSERT_TRUE(server_.send(packet(MSG_SERVER_TEXT, 0, "stop now")));
  ASSERT_TRUE(server_.send(packet(MSG_SERVER_TEXT, 0, "never delivered")));
  std::vector<std::uint8_t> bye;
  ASSERT_TRUE(server_.readPacket(bye));
  EXPECT_EQ(PacketHeader::parse(bye.data()).type, MSG_DISCONNECT);
  EXPECT_TRUE(server_.waitClosed());
  ASSERT_TRUE(recorder.waitForReport(kLinkDown));
  recorder.setHook(nullptr);
  EXPECT_EQ(QvS_HFT_Stop(), 0);  // joins the finished thread; no deadlock either way
  EXPECT_EQ(recorder.take(), (std::vector<Report>{kConnected,
                                                  {22, 0, "stop now"},
                                                  kDisconnectedText,
                                                  kLinkDown,
                                                  kDisconnectedText,
                                                  kLinkDown}));
}

TEST_F(SessionTest, StopFromAnotherThreadWaitsForARunningCallback) {
  connectAndLogin();
  std::mutex m;
  std::condition_variable cv;
  bool entered = false;
  bool release = false;
  std::atomic<int> sequence{0};
  std::atomic<int> callbackEnded{0};
  std::atomic<int> stopReturned{0};
  recorder.setHook([&](const Report& r) {
    if (!(r == Report{22, 0, "slow"})) return;
    std::unique_lock<std::mutex> lock(m);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    callbackEnded = ++sequence;
  });
  ASSERT_TRUE(server_.send(packet(MSG_SERVER_TEXT, 0, "slow")));
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return entered; }));
  }
  std::thread stopper([&] {
    QvS_HFT_Stop();
    stopReturned = ++sequence;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // give Stop time to go wrong
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  stopper.join();
  recorder.setHook(nullptr);
  EXPECT_EQ(callbackEnded.load(), 1);
  EXPECT_EQ(stopReturned.load(), 2);
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{kConnected, {22, 0, "slow"}, kDisconnectedText, kLinkDown}));
}

TEST_F(SessionTest, ReconnectsAfterStop) {
  connectAndLogin();
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  ScriptedServer second;
  ASSERT_EQ(QvS_HFT_SetParms("127.0.0.1", second.port()), 0);
  second.greetNextClient();
  ASSERT_EQ(QvS_HFT_Start(), 0);
  ASSERT_TRUE(second.accept());
  ASSERT_TRUE(second.send(packet(MSG_SESSION_START, 0, "12082026")));
  ASSERT_TRUE(recorder.waitForReport({8, 0, "12082026"}));
  EXPECT_EQ(recorder.take(),
            (std::vector<Report>{
                kConnected, kDisconnectedText, kLinkDown, kConnected, {8, 0, "12082026"}}));
}

}  // namespace
}  // namespace kestrune
