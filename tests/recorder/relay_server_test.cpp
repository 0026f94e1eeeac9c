// The recorder's relay with real sockets on 127.0.0.1 and a plain client that reads packets as
// a monitor's library does; the receive thread's side is called directly.
#include "recorder/relay_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/wire.h"

namespace kestrune {
namespace {

struct Received {
  std::uint16_t type = 0;
  std::uint16_t kind = 0;
  std::string body;
};

class Monitor {
 public:
  explicit Monitor(int port, int receiveBuffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Monitor() { ::close(fd_); }
  bool connected() const { return connected_; }

  void send(std::uint16_t type, const std::string& text) {
    std::string body = text;
    body += '\0';
    const std::vector<std::uint8_t> p = makePacket(type, 0, body, true);
    ASSERT_EQ(::write(fd_, p.data(), p.size()), static_cast<ssize_t>(p.size()));
  }
  // The next packet; type 0 when the link ended or nothing came within the time.
  Received next(int timeoutMs = 5000) {
    Received r;
    for (;;) {
      if (in_.size() >= kHeaderSize) {
        const PacketHeader h =
            PacketHeader::parse(reinterpret_cast<const std::uint8_t*>(in_.data()));
        const std::size_t len = std::max<std::size_t>(h.length, kHeaderSize);
        if (in_.size() >= len) {
          std::vector<std::uint8_t> packet(in_.begin(), in_.begin() + static_cast<long>(len));
          EXPECT_TRUE(checkPacket(packet.data(), packet.size()));
          r.type = h.type;
          r.kind = h.kind;
          r.body.assign(in_, kHeaderSize, len - kHeaderSize);
          in_.erase(0, len);
          return r;
        }
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return r;
      char buf[65536];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return r;
      in_.append(buf, static_cast<std::size_t>(n));
    }
  }
  // Logs in and returns the session start's date ("" when none came).
  std::string logIn(const std::string& password) {
    if (next().type != MSG_LOGIN) return "login request missing";
    send(MSG_LOGIN, "demo " + password + " 1 test");
    const Received r = next();
    return r.type == MSG_SESSION_START ? r.body.substr(0, r.body.find('\0'))
                                       : "type " + std::to_string(r.type);
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string in_;
};

class RelayServerTest : public ::testing::Test {
 protected:
  void start(RelaySettings settings) {
    settings.user = "demo";
    settings.password = "demo";
    relay_ = std::make_unique<RelayServer>(
        settings,
        [this](const std::string& line) {
          std::lock_guard<std::mutex> guard(lock_);
          said_.push_back(line);
        },
        nullptr);
    std::string error;
    ASSERT_TRUE(relay_->start(error)) << error;
  }
  bool said(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const std::string& line : said_)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  template <typename F>
  static bool eventually(F done) {
    for (int i = 0; i < 500; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::mutex lock_;
  std::vector<std::string> said_;
  std::unique_ptr<RelayServer> relay_;  // last: its thread says lines into the two above
};

TEST_F(RelayServerTest, LogsInRelaysInOrderRefusesStrangersAndEndsWithTheSession) {
  RelaySettings settings;
  settings.maxClients = 2;
  start(settings);
  {
    Monitor early(relay_->port());  // no session upstream yet: the link ends at once
    EXPECT_EQ(early.next().type, 0);
  }
  relay_->sessionStarted("12062026");
  // The session start reaches the relay's thread a moment later.
  ASSERT_TRUE(eventually([&] {
    Monitor probe(relay_->port());
    return probe.next(200).type == MSG_LOGIN;
  }));
  Monitor a(relay_->port());
  ASSERT_EQ(a.logIn("demo"), "12062026");

  {
    Monitor stranger(relay_->port());
    EXPECT_EQ(stranger.logIn("guess"), "type 7");
    EXPECT_EQ(stranger.next().type, 0);
    EXPECT_TRUE(said("refused the login"));
  }
  // Gone once the relay has seen the stranger close.
  ASSERT_TRUE(eventually([&] {
    Monitor probe(relay_->port());
    return probe.next(200).type == MSG_LOGIN;
  }));
  const std::string alert = "MSFT|x|093001|250|10.00-10.01|12";
  const std::string sample = "093001|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|";
  relay_->record(1, alert.c_str());
  relay_->serverText(MSG_STATUS, "halted");
  relay_->record(3, sample.c_str());
  relay_->sessionDateChanged("12072026");
  a.send(MSG_PING, std::string(1, '\1'));
  Received r = a.next();
  EXPECT_EQ(r.type, MSG_ALERT_RECORD);
  EXPECT_EQ(r.kind, 2);
  EXPECT_EQ(decodeRecordBody(r.type, r.body), alert);
  r = a.next();
  EXPECT_EQ(r.type, MSG_STATUS);
  EXPECT_EQ(r.body.substr(0, 6), "halted");
  r = a.next();
  EXPECT_EQ(r.type, MSG_CHART_SAMPLE);
  EXPECT_EQ(r.kind, 1);
  EXPECT_EQ(decodeRecordBody(r.type, r.body), sample);
  EXPECT_EQ(a.next().type, MSG_SESSION_DATE);
  EXPECT_EQ(a.next().type, MSG_PING);

  // Two monitors at most.
  Monitor b(relay_->port());
  EXPECT_EQ(b.logIn("demo"), "12072026");
  Monitor c(relay_->port());
  EXPECT_EQ(c.next().type, 0);
  EXPECT_TRUE(said("2 monitors already"));

  relay_->sessionEnded();
  EXPECT_EQ(a.next().type, MSG_DISCONNECT);
  EXPECT_EQ(a.next().type, 0);
  EXPECT_EQ(b.next().type, MSG_DISCONNECT);
  EXPECT_TRUE(eventually([&] { return relay_->liveClients() == 0; }));
}

TEST_F(RelayServerTest, AMonitorThatDoesNotReadIsDroppedAndTheOthersGetEverything) {
  RelaySettings settings;
  settings.maxBacklogBytes = 256u << 10;
  start(settings);
  relay_->sessionStarted("12062026");
  ASSERT_TRUE(eventually([&] {
    Monitor probe(relay_->port());
    return probe.next(200).type == MSG_LOGIN;
  }));
  Monitor slow(relay_->port(), 4096);
  ASSERT_EQ(slow.logIn("demo"), "12062026");
  Monitor fast(relay_->port());
  ASSERT_EQ(fast.logIn("demo"), "12062026");
  ASSERT_TRUE(eventually([&] { return relay_->liveClients() == 2; }));

  // Far more than the kernel's buffers of the slow link hold.
  constexpr int kRecords = 200000;
  // Fed a thousand at a time, each once the fast monitor has read the last: it is never far
  // behind, however slow the machine, while the other never reads.
  std::atomic<int> got{0};
  std::thread feed([&] {
    for (int i = 0; i < kRecords; ++i) {
      if (i % 1000 == 0) eventually([&] { return got.load() >= i; });
      const std::string text = "AAPL|T|093001|" + std::to_string(i) + "|192.96-192.98|45";
      relay_->record(0, text.c_str());
    }
  });
  for (Received r = fast.next(); r.type == MSG_ALERT_RECORD; r = fast.next()) {
    EXPECT_EQ(decodeRecordBody(r.type, r.body),
              "AAPL|T|093001|" + std::to_string(got.load()) + "|192.96-192.98|45");
    if (++got == kRecords) break;
  }
  feed.join();
  EXPECT_EQ(got, kRecords);
  EXPECT_TRUE(said("read too slowly; dropped"));
  EXPECT_EQ(relay_->liveClients(), 1u);
}

}  // namespace
}  // namespace kestrune
