// The simulator as a real server: a raw socket logs in and checks what arrives, while the
// test drives the simulator through its stdin commands.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "client/wire.h"
#include "tests/support/feedsim_process.h"

namespace kestrune {
namespace {

struct Received {
  PacketHeader header;
  std::vector<uint8_t> bytes;  // the whole packet
  bool checked = false;        // the check value held (or was 0)
  std::string text() const {   // body up to its NUL
    std::string s(bytes.begin() + kHeaderSize, bytes.end());
    return s.substr(0, s.find('\0'));
  }
  std::string decoded() const {
    return decodeRecordBody(header.type, std::string(bytes.begin() + kHeaderSize, bytes.end()));
  }
};

class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  }
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool connected() const { return connected_; }

  void send(uint16_t type, std::string_view body, bool protect = true) {
    auto p = makePacket(type, 0, body, protect);
    ASSERT_EQ(::send(fd_, p.data(), p.size(), MSG_NOSIGNAL), static_cast<ssize_t>(p.size()));
  }
  void sendRaw(const std::vector<uint8_t>& p) {
    ASSERT_EQ(::send(fd_, p.data(), p.size(), MSG_NOSIGNAL), static_cast<ssize_t>(p.size()));
  }
  void login(const std::string& user, const std::string& password) {
    std::string text = loginText(user, password, 2, "1.0.4");
    send(MSG_LOGIN, std::string_view(text.c_str(), text.size() + 1));
  }

  // Exactly n bytes, or false on timeout or end of stream.
  bool readExact(uint8_t* out, size_t n, int timeoutMs = 5000) {
    size_t got = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < n) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
      ssize_t r = recv(fd_, out + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
      ++reads_;
    }
    return true;
  }

  // One packet; header.type 0 when nothing (more) came.
  Received next(int timeoutMs = 5000) {
    Received r;
    r.bytes.resize(kHeaderSize);
    if (!readExact(r.bytes.data(), kHeaderSize, timeoutMs)) {
      r.header.type = 0;
      return r;
    }
    r.header = PacketHeader::parse(r.bytes.data());
    if (r.header.tooLong()) return r;  // the caller decides; the rest stays in the stream
    r.bytes.resize(std::max<size_t>(r.header.length, kHeaderSize));
    if (r.bytes.size() > kHeaderSize &&
        !readExact(r.bytes.data() + kHeaderSize, r.bytes.size() - kHeaderSize, timeoutMs)) {
      r.header.type = 0;
      return r;
    }
    std::vector<uint8_t> copy = r.bytes;
    r.checked = checkPacket(copy.data(), copy.size());
    return r;
  }

  // The next packet of a type, skipping others.
  Received nextOf(uint16_t type, int timeoutMs = 5000) {
    for (;;) {
      Received r = next(timeoutMs);
      if (r.header.type == 0 || r.header.type == type) return r;
    }
  }

  // True when the server closed the connection (end of stream) within the time.
  bool closedByPeer(int timeoutMs = 5000) {
    uint8_t b;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    return recv(fd_, &b, 1, 0) <= 0;
  }

  int reads() const { return reads_; }
  void hangUp() {
    close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  int reads_ = 0;
};

bool sawLine(const FeedsimProcess& sim, const std::string& prefix) {
  for (const std::string& line : sim.lines())
    if (line.rfind(prefix, 0) == 0) return true;
  return false;
}

// Connects, takes the login request and logs in as demo/demo; returns the session start.
Received loginAsDemo(RawClient& c) {
  Received hello = c.next();
  EXPECT_EQ(hello.header.type, MSG_LOGIN);
  c.login("demo", "demo");
  return c.next();
}

TEST(FeedsimServer, SendsLoginRequestThenSessionStartWithTheDate) {
  FeedsimProcess sim({"--stream", "off", "--date", "12062026"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_TRUE(c.connected());
  Received hello = c.next();
  EXPECT_EQ(hello.header.type, MSG_LOGIN);
  EXPECT_EQ(hello.header.kind, 0);
  EXPECT_TRUE(hello.checked);
  c.login("demo", "demo");
  Received start = c.next();
  EXPECT_EQ(start.header.type, MSG_SESSION_START);
  EXPECT_EQ(start.text(), "12062026");
  EXPECT_NE(start.header.crc, 0u);
  EXPECT_TRUE(start.checked);
  EXPECT_NE(sim.waitForLine("login ok user=demo"), "");
}

TEST(FeedsimServer, RefusesWrongPasswordAndTheRefusalCodesOnRequest) {
  FeedsimProcess sim({"--stream", "off"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  {
    RawClient c(sim.port());
    c.next();
    c.login("demo", "wrong");
    EXPECT_EQ(c.next().header.type, MSG_BAD_USER);
    EXPECT_TRUE(c.closedByPeer());
    EXPECT_NE(sim.waitForLine("login refused user=demo code=7"), "");
  }
  for (const char* code : {"10", "11"}) {
    ASSERT_NE(sim.command(std::string("refuse ") + code, "ok refuse"), "");
    RawClient c(sim.port());
    EXPECT_EQ(loginAsDemo(c).header.type, std::atoi(code));
    EXPECT_NE(sim.waitForLine(std::string("login refused user=demo code=") + code), "");
  }
  ASSERT_NE(sim.command("refuse off", "ok refuse off"), "");
  RawClient c(sim.port());
  EXPECT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
}

TEST(FeedsimServer, SingleSessionRefusesASecondLoginOfTheSameUser) {
  FeedsimProcess sim({"--stream", "off", "--single-session", "on"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient first(sim.port());
  ASSERT_EQ(loginAsDemo(first).header.type, MSG_SESSION_START);
  RawClient second(sim.port());
  EXPECT_EQ(loginAsDemo(second).header.type, MSG_ACCOUNT_IN_USE);
  first.hangUp();
  ASSERT_NE(sim.waitForLine("closed client=1"), "");
  RawClient third(sim.port());
  EXPECT_EQ(loginAsDemo(third).header.type, MSG_SESSION_START);
}

TEST(FeedsimServer, StreamsSamplesOfEachKindEverySecondAndAlerts) {
  FeedsimProcess sim({"--speed", "1000", "--start", "09:30:00", "--seed", "5"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
  int samples[4] = {};
  int alerts[4] = {};
  std::string lastListing;
  while (samples[1] < 20 || alerts[1] + alerts[2] + alerts[3] < 10) {
    Received r = c.next();
    ASSERT_NE(r.header.type, 0) << "stream stopped";
    ASSERT_TRUE(r.checked);
    ASSERT_LE(r.header.length, kMaxPacketLength);
    if (r.header.type == MSG_CHART_SAMPLE) {
      ASSERT_GE(r.header.kind, 1);
      ASSERT_LE(r.header.kind, 3);
      ++samples[r.header.kind];
      std::string text = r.decoded();
      EXPECT_EQ(std::count(text.begin(), text.end(), '|'), 17) << text;
      if (r.header.kind == 1) {
        // One listing sample per second, seconds in order.
        if (!lastListing.empty()) {
          EXPECT_GT(text.substr(0, 6), lastListing);
        }
        lastListing = text.substr(0, 6);
      }
    } else if (r.header.type == MSG_ALERT_RECORD) {
      ASSERT_GE(r.header.kind, 1);
      ASSERT_LE(r.header.kind, 3);
      ++alerts[r.header.kind];
      std::string body(r.bytes.begin() + kHeaderSize, r.bytes.end());
      EXPECT_NE(body.find(';'), std::string::npos);
      std::string text = r.decoded();
      EXPECT_GE(std::count(text.begin(), text.end(), '|'), 4) << text;
    }
  }
  EXPECT_GE(lastListing, "093019");
  EXPECT_NEAR(samples[2], samples[1], 1);
  EXPECT_NEAR(samples[3], samples[1], 1);
}

TEST(FeedsimServer, CommandsSendDatesTextsRecordsAndBursts) {
  FeedsimProcess sim({"--stream", "off", "--date", "12062026"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
  ASSERT_NE(sim.waitForLine("login ok"), "");

  ASSERT_NE(sim.command("send-date 12072026", "ok send-date 12072026 sent"), "");
  Received d = c.next();
  EXPECT_EQ(d.header.type, MSG_SESSION_DATE);
  EXPECT_EQ(d.text(), "12072026");
  ASSERT_NE(sim.command("type 21 Trading halted in XYZ", "ok type 21"), "");
  Received t = c.next();
  EXPECT_EQ(t.header.type, MSG_STATUS);
  EXPECT_EQ(t.text(), "Trading halted in XYZ");
  ASSERT_NE(sim.command("type 22", "ok type 22"), "");
  EXPECT_EQ(c.next().header.type, MSG_SERVER_TEXT);
  ASSERT_NE(sim.command("type 10 in use", "ok type 10 in use sent"), "");
  Received refusal = c.next();
  EXPECT_EQ(refusal.header.type, MSG_ACCOUNT_IN_USE);
  EXPECT_EQ(refusal.text(), "in use");

  ASSERT_NE(sim.command("alert 1 IBM|7|093015|3200|X|45", "ok alert"), "");
  Received a = c.next();
  EXPECT_EQ(a.header.type, MSG_ALERT_RECORD);
  EXPECT_EQ(a.header.kind, 1);
  EXPECT_EQ(a.decoded(), "IBM|7|093015|3200|X|45");
  ASSERT_NE(sim.command("sample 3 093000|12|7|0|0|3|0|0|1|0|0|2|1|0|0|5|0|", "ok sample"), "");
  Received s = c.next();
  EXPECT_EQ(s.header.kind, 3);
  EXPECT_EQ(s.decoded(), "093000|12|7|0|0|3|0|0|1|0|0|2|1|0|0|5|0|");
  EXPECT_NE(sim.command("alert 2 A;B", "error"), "");  // cannot travel as a record

  ASSERT_NE(sim.command("burst 20000", "ok burst 20000 sent", 20000), "");
  int kinds[4] = {};
  for (int i = 0; i < 20000; ++i) {
    Received r = c.next();
    ASSERT_EQ(r.header.type, MSG_ALERT_RECORD) << i;
    ASSERT_TRUE(r.checked);
    ++kinds[r.header.kind & 3];
  }
  EXPECT_GT(kinds[1], 6000);
  EXPECT_GT(kinds[2], 6000);
  EXPECT_GT(kinds[3], 6000);
}

TEST(FeedsimServer, FaultsBadCheckValueOversizeDisconnectAndAbruptClose) {
  FeedsimProcess sim({"--stream", "off"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  {
    RawClient c(sim.port());
    ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
    ASSERT_NE(sim.command("bad-crc", "ok bad-crc sent"), "");
    Received bad = c.next();
    EXPECT_EQ(bad.header.type, MSG_STATUS);
    EXPECT_NE(bad.header.crc, 0u);
    EXPECT_FALSE(bad.checked);
    ASSERT_NE(sim.command("empty 22", "ok empty 22 sent"), "");
    Received empty = c.next();
    EXPECT_EQ(empty.header.type, MSG_SERVER_TEXT);
    EXPECT_EQ(empty.header.length, kHeaderSize);
    EXPECT_TRUE(empty.checked);
    ASSERT_NE(sim.command("raw 15 00 00 00 0D 00 00 00 00 00 00 00 41", "ok raw"), "");
    Received raw = c.next();
    EXPECT_EQ(raw.header.type, MSG_STATUS);
    EXPECT_EQ(raw.header.crc, 0u);
    EXPECT_EQ(raw.text(), "A");
    ASSERT_NE(sim.command("oversize 136", "ok oversize 136 sent"), "");
    Received big = c.next();
    EXPECT_EQ(big.header.length, 136u);
    EXPECT_NE(big.header.crc, 0u);  // protected, and still too long for any receiver
  }
  ASSERT_NE(sim.waitForLine("closed client=1"), "");
  {
    RawClient c(sim.port());
    ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
    ASSERT_NE(sim.command("disconnect", "ok disconnect sent"), "");
    Received bye = c.next();
    EXPECT_EQ(bye.header.type, MSG_DISCONNECT);
    EXPECT_TRUE(bye.checked);
    EXPECT_TRUE(c.closedByPeer());
  }
  {
    RawClient c(sim.port());
    ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
    ASSERT_NE(sim.command("close", "ok close"), "");
    EXPECT_TRUE(c.closedByPeer());
    EXPECT_TRUE(sawLine(sim, "closed client=3"));
  }
}

TEST(FeedsimServer, FaultOptionsCountPacketsAfterTheSessionStart) {
  {
    FeedsimProcess sim(
        {"--stream", "off", "--burst", "5", "--bad-crc-after", "2", "--oversize-after", "4"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    RawClient c(sim.port());
    ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
    Received one = c.next(), two = c.next(), three = c.next(), four = c.next();
    EXPECT_TRUE(one.checked);
    EXPECT_EQ(two.header.type, MSG_ALERT_RECORD);
    EXPECT_FALSE(two.checked);
    EXPECT_TRUE(three.checked);
    EXPECT_EQ(four.header.length, 200u);
  }
  {
    FeedsimProcess sim({"--stream", "off", "--burst", "5", "--disconnect-after", "3"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    RawClient c(sim.port());
    ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.next().header.type, MSG_ALERT_RECORD);
    EXPECT_EQ(c.next().header.type, MSG_DISCONNECT);
    EXPECT_TRUE(c.closedByPeer());
  }
  {
    FeedsimProcess sim({"--stream", "off", "--burst", "5", "--close-after", "2"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    RawClient c(sim.port());
    ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(c.next().header.type, MSG_ALERT_RECORD);
    EXPECT_TRUE(c.closedByPeer());
  }
}

TEST(FeedsimServer, ScheduledStatusDateAndServerText) {
  FeedsimProcess sim({"--speed", "1000", "--start", "09:29:50", "--status-every", "5",
                      "--date-every", "7", "--text-every", "11", "--date", "12062026"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
  Received status = c.nextOf(MSG_STATUS);
  EXPECT_EQ(status.text().rfind("Server time 09:", 0), 0u) << status.text();
  EXPECT_EQ(c.nextOf(MSG_SESSION_DATE).text(), "12062026");
  EXPECT_FALSE(c.nextOf(MSG_SERVER_TEXT).text().empty());
}

TEST(FeedsimServer, PingCrcSwitchSplitAndCoalesce) {
  FeedsimProcess sim({"--stream", "off"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);

  c.send(MSG_PING, std::string_view("\1", 1));
  Received pong = c.next();
  EXPECT_EQ(pong.header.type, MSG_PING);
  EXPECT_TRUE(pong.checked);
  EXPECT_NE(sim.waitForLine("ping wait=1"), "");

  c.send(MSG_CRC_OFF, {});
  ASSERT_NE(sim.waitForLine("crc off client=1"), "");
  ASSERT_NE(sim.command("type 21 plain", "ok type 21 plain sent"), "");
  EXPECT_EQ(c.next().header.crc, 0u);
  c.send(MSG_CRC_ON, {}, false);
  ASSERT_NE(sim.waitForLine("crc on client=1"), "");

  ASSERT_NE(sim.command("split on 1 1", "ok split"), "");
  int before = c.reads();
  ASSERT_TRUE(sim.send("type 21 in pieces"));
  Received split = c.next();  // read while the pieces arrive
  ASSERT_NE(sim.waitForLine("ok type 21 in pieces sent"), "");
  EXPECT_EQ(split.text(), "in pieces");
  EXPECT_TRUE(split.checked);
  EXPECT_GT(c.reads() - before, 10);  // one byte at a time with pauses between
  ASSERT_NE(sim.command("split off", "ok split"), "");

  ASSERT_NE(sim.command("coalesce 5", "ok coalesce"), "");
  ASSERT_NE(sim.command("burst 5", "ok burst 5 sent"), "");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c.next().header.type, MSG_ALERT_RECORD);

  // A packet with a wrong check value from the client ends its connection.
  auto p = makePacket(MSG_PING, 0, std::string_view("\0", 1), true);
  p[8] ^= 0x55;
  c.sendRaw(p);
  EXPECT_TRUE(c.closedByPeer());
  std::string closed = sim.waitForLine("closed client=1");
  EXPECT_NE(closed.find("reason=bad check value from client"), std::string::npos) << closed;
}

TEST(FeedsimServer, ServesSeveralClientsAndDefersCommandsToTheNextLogin) {
  FeedsimProcess sim({"--stream", "off"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  // Nobody logged in yet: the command waits for the next login.
  ASSERT_TRUE(sim.send("type 22 welcome"));
  RawClient first(sim.port());
  ASSERT_EQ(loginAsDemo(first).header.type, MSG_SESSION_START);
  ASSERT_NE(sim.waitForLine("ok type 22 welcome sent"), "");
  EXPECT_EQ(first.next().text(), "welcome");

  RawClient second(sim.port());
  ASSERT_EQ(loginAsDemo(second).header.type, MSG_SESSION_START);
  ASSERT_NE(sim.waitForLine("login ok user=demo client=2"), "");
  ASSERT_NE(sim.command("clients", "ok clients 2"), "");
  ASSERT_NE(sim.command("type 21 to all", "ok type 21 to all sent"), "");
  EXPECT_EQ(first.next().text(), "to all");
  EXPECT_EQ(second.next().text(), "to all");

  // A goodbye and the close right behind it: the goodbye is still heard.
  first.send(MSG_DISCONNECT, {});
  first.hangUp();
  std::string closed = sim.waitForLine("closed client=1");
  EXPECT_NE(closed.find("reason=client disconnect"), std::string::npos) << closed;
  ASSERT_NE(sim.command("type 21 still here", "ok type 21 still here sent"), "");
  EXPECT_EQ(second.next().text(), "still here");
}

TEST(FeedsimServer, StopsCleanlyOnSigtermAndSaysGoodbye) {
  FeedsimProcess sim({"--stream", "off"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
  ASSERT_NE(sim.waitForLine("login ok"), "");
  int status = sim.stop();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(c.next().header.type, MSG_DISCONNECT);
  EXPECT_TRUE(c.closedByPeer());
  bool stopped = false;
  for (const std::string& line : sim.lines()) stopped |= line == "stopped";
  EXPECT_TRUE(stopped);
}

// The test helper starts the simulator with --stop-on-eof: a test process that dies without
// stopping it must not leave it running and holding the test's output open.
TEST(FeedsimServer, StopsWhenItsStdinClosesIfAsked) {
  FeedsimProcess sim({"--stream", "off"});
  ASSERT_TRUE(sim.ok()) << sim.error();
  RawClient c(sim.port());
  ASSERT_EQ(loginAsDemo(c).header.type, MSG_SESSION_START);
  ASSERT_NE(sim.waitForLine("login ok"), "");
  sim.closeStdin();
  EXPECT_EQ(sim.waitForLine("stopped"), "stopped");
  EXPECT_EQ(c.next().header.type, MSG_DISCONNECT);
}

}  // namespace
}  // namespace kestrune
