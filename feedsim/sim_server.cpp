#include "feedsim/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "client/wire.h"
#include "server/listen_socket.h"
#include "server/login_request.h"
#include "server/packet_reader.h"
#include "server/socket_io.h"

namespace kestrune::feedsim {
namespace {

int gStopPipe[2] = {-1, -1};

// A client that falls this far behind is dropped rather than growing without end.
constexpr size_t kMaxBacklog = 512u << 20;
// A coalescing client whose last packets never make up a full group still gets them.
constexpr int kCoalesceHoldMs = 50;
// How long a closing connection waits for the peer to close its side.
constexpr int kDrainMs = 3000;

void logLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int msUntil(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point t) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count();
  return ms < 0 ? 0 : static_cast<int>(std::min<int64_t>(ms + 1, 1000));
}

std::string clockText(int second) {
  std::string t = timeText(second);
  return t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}

}  // namespace

struct SimServer::Client {
  enum class State { AwaitLogin, Live, Draining };
  int id = 0;
  int fd = -1;
  std::string peer;
  std::string user = "-";
  State state = State::AwaitLogin;
  bool crc = true;
  std::string in;
  std::string out;
  size_t outPos = 0;
  uint64_t queuedBytes = 0;
  uint64_t writtenBytes = 0;
  uint64_t packets = 0;         // every packet queued
  uint64_t sessionPackets = 0;  // packets queued after the session start
  int unsentPackets = 0;
  TimePoint firstUnsent;
  TimePoint nextWriteAt;
  TimePoint drainDeadline;
  bool closeWhenFlushed = false;  // then half-close and wait for the peer
  bool abortWhenFlushed = false;  // then close without a word
  int splitPiece = 0;
  int splitPauseMs = 2;
  int coalesce = 0;
  bool wantOut = false;
  bool gone = false;

  size_t backlog() const { return out.size() - outPos; }
};

SimServer::SimServer(SimOptions options) : o_(std::move(options)) {
  clockBaseMs_ = static_cast<int64_t>(o_.startSecond) * 1000;
  clockBaseWall_ = std::chrono::steady_clock::now();
  nextSecond_ = o_.startSecond;
}

SimServer::~SimServer() {
  for (auto& c : clients_)
    if (c->fd >= 0) close(c->fd);
  if (listenFd_ >= 0) close(listenFd_);
}

void SimServer::requestStop() {
  if (gStopPipe[1] >= 0) {
    char b = 1;
    [[maybe_unused]] ssize_t n = write(gStopPipe[1], &b, 1);
  }
}

int64_t SimServer::simNowMs() const {
  if (paused_) return clockBaseMs_;
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - clockBaseWall_)
                     .count();
  return std::min<int64_t>(clockBaseMs_ + elapsed * o_.speed,
                           static_cast<int64_t>(kSecondsPerDay) * 1000 - 1);
}

void SimServer::setClock(int64_t simMs) {
  clockBaseMs_ = simMs;
  clockBaseWall_ = std::chrono::steady_clock::now();
}

bool SimServer::listenOn(std::string& error) {
  server::Listener listener;
  if (!server::listenTcp("127.0.0.1", o_.port, 64, listener, error)) return false;
  listenFd_ = listener.fd;
  port_ = listener.port;
  return true;
}

int SimServer::run() {
  std::string error;
  if (pipe2(gStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "kestrune-feedsim: pipe: %s\n", std::strerror(errno));
    return 1;
  }
  if ((!o_.replayDate.empty() && !loadRecordedDay(error)) || !listenOn(error)) {
    std::fprintf(stderr, "kestrune-feedsim: %s\n", error.c_str());
    return 1;
  }
  logLine("kestrune-feedsim listening on 127.0.0.1:" + std::to_string(port_));
  setClock(static_cast<int64_t>(o_.startSecond) * 1000);
  if (replaying_) {
    std::string line =
        "replaying " + o_.replayDate + ": " + std::to_string(recorded_.size()) + " records";
    if (recorded_.size() > 0)
      line += " from " + clockText(o_.startSecond) + " to " + clockText(lastSecond_);
    logLine(line);
  }

  std::vector<pollfd> fds;
  while (!stopping_) {
    fds.clear();
    fds.push_back({gStopPipe[0], POLLIN, 0});
    fds.push_back({listenFd_, POLLIN, 0});
    fds.push_back({stdinOpen_ ? STDIN_FILENO : -1, POLLIN, 0});
    for (auto& c : clients_) {
      short ev = POLLIN;
      if (c->wantOut) ev |= POLLOUT;
      fds.push_back({c->fd, ev, 0});
    }
    int r = poll(fds.data(), fds.size(), pollTimeoutMs(std::chrono::steady_clock::now()));
    if (r < 0 && errno != EINTR) {
      std::fprintf(stderr, "kestrune-feedsim: poll: %s\n", std::strerror(errno));
      break;
    }
    if (r > 0) {
      if (fds[0].revents) stopping_ = true;
      if (fds[1].revents & POLLIN) acceptClients();
      if (fds[2].revents) readStdin();
      // New clients were appended after the poll set was built; only the first ones match.
      size_t polled = fds.size() - 3;
      for (size_t i = 0; i < polled && i < clients_.size(); ++i) {
        Client& c = *clients_[i];
        if (c.gone) continue;
        if (fds[i + 3].revents & (POLLIN | POLLHUP | POLLERR)) readClient(c);
      }
    }
    advanceStream();
    auto now = std::chrono::steady_clock::now();
    if (replaying_ && !claim_.held() && now - claimTriedAt_ >= std::chrono::seconds(1))
      claimReplayFolder();
    for (auto& c : clients_)
      if (!c->gone) flush(*c, now);
    checkAcks();
    reap();
  }

  // Orderly end: every logged-in client hears that the session is over.
  for (auto& c : clients_) {
    if (c->gone) continue;
    if (c->state == Client::State::Live) {
      queue(*c, emptyPacket(MSG_DISCONNECT, false));
      c->splitPiece = 0;
      c->coalesce = 0;
      flush(*c, std::chrono::steady_clock::now());
    }
    closeClient(*c, "server stopped");
  }
  reap();
  logLine("stopped");
  close(gStopPipe[0]);
  close(gStopPipe[1]);
  gStopPipe[0] = gStopPipe[1] = -1;
  return 0;
}

int SimServer::pollTimeoutMs(TimePoint now) const {
  int timeout = 1000;
  if (o_.stream && !paused_) timeout = 5;
  for (const auto& c : clients_) {
    if (c->backlog() > 0 && c->splitPiece > 0)
      timeout = std::min(timeout, msUntil(now, c->nextWriteAt));
    if (c->unsentPackets > 0 && c->coalesce > 1)
      timeout = std::min(timeout,
                         msUntil(now, c->firstUnsent + std::chrono::milliseconds(kCoalesceHoldMs)));
    if (c->state == Client::State::Draining)
      timeout = std::min(timeout, msUntil(now, c->drainDeadline));
  }
  return timeout;
}

void SimServer::acceptClients() {
  for (;;) {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    int fd =
        accept4(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    auto c = std::make_unique<Client>();
    c->id = nextClientId_++;
    c->fd = fd;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof(ip));
    c->peer = std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port));
    c->crc = o_.crc;
    c->splitPiece = o_.splitPiece;
    c->splitPauseMs = o_.splitPauseMs;
    c->coalesce = o_.coalesce;
    // The server speaks first: a login request.
    queue(*c, emptyPacket(MSG_LOGIN, false));
    clients_.push_back(std::move(c));
  }
}

void SimServer::readStdin() {
  // One read per readiness: stdin stays blocking, since it may be the terminal of the shell
  // that started us and a non-blocking flag would outlive this process there.
  char buf[4096];
  ssize_t n = read(STDIN_FILENO, buf, sizeof(buf));
  if (n > 0) {
    stdinBuf_.append(buf, static_cast<size_t>(n));
  } else if (n == 0 || errno != EINTR) {
    stdinOpen_ = false;  // no more commands; keep serving unless asked not to
    if (o_.stopOnEof) stopping_ = true;
  }
  size_t nl;
  while ((nl = stdinBuf_.find('\n')) != std::string::npos) {
    std::string line = stdinBuf_.substr(0, nl);
    stdinBuf_.erase(0, nl + 1);
    handleCommand(line);
  }
  if (!stdinOpen_ && !stdinBuf_.empty()) {
    handleCommand(stdinBuf_);
    stdinBuf_.clear();
  }
}

void SimServer::readClient(Client& c) {
  // A client's last packets (its disconnect, say) and its close often arrive together:
  // handle the packets first, then the end of the stream.
  const server::Received got = server::receiveAvailable(c.fd, c.in, SIZE_MAX);
  std::string ended;
  if (got.peerClosed) {
    ended = c.state == Client::State::Draining ? "closed after goodbye" : "peer closed";
  } else if (got.error != 0) {
    ended = std::string("receive error: ") + std::strerror(got.error);
  }
  size_t pos = 0;
  server::ClientPacket packet;
  while (!c.gone) {
    const server::ReadStep step = server::nextClientPacket(c.in, pos, packet);
    if (step == server::ReadStep::NeedMore) break;
    if (step == server::ReadStep::Oversized) {
      closeClient(c, "oversized packet from client (" + std::to_string(packet.length) + " bytes)");
      return;
    }
    if (step == server::ReadStep::BadCheck) {
      closeClient(c, "bad check value from client");
      return;
    }
    handlePacket(c, packet.type, packet.body);
  }
  if (!c.gone) c.in.erase(0, pos);
  if (!ended.empty()) closeClient(c, ended);
}

void SimServer::handlePacket(Client& c, uint16_t type, const std::string& body) {
  switch (type) {
    case MSG_LOGIN:
      if (c.state == Client::State::AwaitLogin) handleLogin(c, body);
      break;
    case MSG_DISCONNECT:
      closeClient(c, "client disconnect");
      break;
    case MSG_PING: {
      bool wait = !body.empty() && body[0] != 0;
      logLine("ping wait=" + std::string(wait ? "1" : "0") + " client=" + std::to_string(c.id));
      if (wait) queue(c, emptyPacket(MSG_PING, false));
      break;
    }
    case MSG_CRC_ON:
    case MSG_CRC_OFF:
      c.crc = type == MSG_CRC_ON;
      logLine(std::string("crc ") + (c.crc ? "on" : "off") + " client=" + std::to_string(c.id));
      break;
    default:
      logLine("ignored type=" + std::to_string(type) + " client=" + std::to_string(c.id));
      break;
  }
}

void SimServer::handleLogin(Client& c, const std::string& text) {
  const server::LoginRequest login = server::parseLoginRequest(text);
  c.user = login.user;
  bool good = login.complete && login.user == o_.user && login.password == o_.password;
  int code = good ? o_.refuse : MSG_BAD_USER;
  if (code == 0 && o_.singleSession) {
    for (Client* other : liveClients())
      if (other != &c && other->user == c.user) code = MSG_ACCOUNT_IN_USE;
  }
  if (code != 0) {
    const char* why = code == MSG_BAD_USER         ? "Invalid username or password"
                      : code == MSG_ACCOUNT_IN_USE ? "Account already in use"
                                                   : "Application not accepted";
    queue(c, textPacket(static_cast<uint16_t>(code), why, false));
    c.closeWhenFlushed = true;
    logLine("login refused user=" + c.user + " code=" + std::to_string(code) +
            " client=" + std::to_string(c.id));
    return;
  }
  // The writer that held the folder may just have let it go (to log in here): take it first, so
  // that its claim at the session start fails.
  claimReplayFolder();
  c.state = Client::State::Live;
  if (holdUntilLogin_) {
    holdUntilLogin_ = false;
    paused_ = false;
    setClock(clockBaseMs_);
  }
  queue(c, textPacket(MSG_SESSION_START, o_.date, false));
  c.sessionPackets = 0;
  logLine("login ok user=" + c.user + " client=" + std::to_string(c.id));
  std::vector<Client*> me = {&c};
  if (o_.burst > 0) {
    SimCommand burst;
    std::string err;
    parseCommand("burst " + std::to_string(o_.burst), burst, err);
    sendCommand(burst, me, err);
  }
  std::vector<SimCommand> waiting;
  waiting.swap(deferred_);
  for (const SimCommand& cmd : waiting) {
    std::string err;
    if (!sendCommand(cmd, me, err)) logLine("error " + err);
  }
}

void SimServer::queue(Client& c, const Packet& given) {
  // Nothing follows a refusal, a disconnect or a close that is already on its way.
  if (c.gone || c.abortWhenFlushed || c.closeWhenFlushed) return;
  if (c.state == Client::State::Live && given.size() >= kHeaderSize &&
      PacketHeader::parse(given.data()).type != MSG_SESSION_START) {
    ++c.sessionPackets;
  }
  const uint64_t n = c.sessionPackets;
  const bool counted = c.state == Client::State::Live && n > 0;
  const Packet* packet = &given;
  Packet replaced;
  if (counted && n == static_cast<uint64_t>(o_.oversizeAfter)) {
    replaced = oversizePacket(false);
    packet = &replaced;
  }
  // Protect the copy in the send buffer: the same packet goes to clients with and without
  // protection.
  const size_t at = c.out.size();
  c.out.append(reinterpret_cast<const char*>(packet->data()), packet->size());
  auto* bytes = reinterpret_cast<uint8_t*>(c.out.data() + at);
  if (c.crc) protectPacket(bytes, packet->size());
  if (counted && n == static_cast<uint64_t>(o_.badCrcAfter)) spoilCheckValue(bytes, packet->size());
  if (c.unsentPackets == 0) c.firstUnsent = std::chrono::steady_clock::now();
  ++c.unsentPackets;
  ++c.packets;
  c.queuedBytes += packet->size();
  if (counted && n == static_cast<uint64_t>(o_.closeAfter)) c.abortWhenFlushed = true;
  if (counted && n == static_cast<uint64_t>(o_.disconnectAfter)) {
    Packet bye = emptyPacket(MSG_DISCONNECT, c.crc);
    c.out.append(reinterpret_cast<const char*>(bye.data()), bye.size());
    c.queuedBytes += bye.size();
    ++c.packets;
    c.closeWhenFlushed = true;
  }
  if (c.backlog() > kMaxBacklog) closeClient(c, "client too slow");
}

void SimServer::flush(Client& c, TimePoint now) {
  c.wantOut = false;
  while (c.backlog() > 0) {
    if (c.splitPiece > 0 && now < c.nextWriteAt) return;
    if (c.coalesce > 1 && c.unsentPackets > 0 && c.unsentPackets < c.coalesce &&
        now < c.firstUnsent + std::chrono::milliseconds(kCoalesceHoldMs))
      return;
    const size_t most = c.splitPiece > 0 ? static_cast<size_t>(c.splitPiece) : c.backlog();
    const long w = server::sendSome(c.fd, c.out, c.outPos, most);
    if (w == 0) {
      c.wantOut = true;
      return;
    }
    if (w < 0) {
      closeClient(c, std::string("send error: ") + std::strerror(static_cast<int>(-w)));
      return;
    }
    c.writtenBytes += static_cast<uint64_t>(w);
    c.unsentPackets = 0;  // everything held so far has started to leave
    if (c.splitPiece > 0) {
      c.nextWriteAt = now + std::chrono::milliseconds(c.splitPauseMs);
      if (c.splitPauseMs > 0) return;
    }
  }
  if (c.abortWhenFlushed) {
    closeClient(c, "closed abruptly");
  } else if (c.closeWhenFlushed && c.state != Client::State::Draining) {
    // Half-close and let the peer close first, so nothing it still sends resets the link
    // before it has read our last packet.
    shutdown(c.fd, SHUT_WR);
    c.state = Client::State::Draining;
    c.drainDeadline = now + std::chrono::milliseconds(kDrainMs);
  } else if (c.state == Client::State::Draining && now >= c.drainDeadline) {
    closeClient(c, "peer did not close");
  }
}

void SimServer::closeClient(Client& c, const std::string& reason) {
  if (c.gone) return;
  close(c.fd);
  c.fd = -1;
  c.gone = true;
  logLine("closed client=" + std::to_string(c.id) + " peer=" + c.peer + " user=" + c.user +
          " reason=" + reason + " packets=" + std::to_string(c.packets) +
          " bytes=" + std::to_string(c.writtenBytes));
}

void SimServer::reap() {
  std::erase_if(clients_, [](const std::unique_ptr<Client>& c) { return c->gone; });
}

std::vector<SimServer::Client*> SimServer::liveClients() {
  std::vector<Client*> out;
  for (auto& c : clients_)
    if (!c->gone && c->state == Client::State::Live && !c->closeWhenFlushed && !c->abortWhenFlushed)
      out.push_back(c.get());
  return out;
}

void SimServer::advanceStream() {
  const int64_t now = simNowMs();
  std::vector<Client*> live = liveClients();
  if (!o_.stream || live.empty()) {
    events_.clear();
    // Nobody hears what is due before now; a second that starts right now (a clock that waits)
    // is still ahead.
    nextSecond_ = static_cast<int>((now + 999) / 1000);
    return;
  }
  while (nextSecond_ < kSecondsPerDay && static_cast<int64_t>(nextSecond_) * 1000 <= now) {
    generateSecond(nextSecond_++);
  }
  while (!events_.empty() && events_.front().simMs <= now) {
    for (Client* c : live) queue(*c, events_.front().packet);
    events_.pop_front();
  }
  if (nextSecond_ > lastSecond_ && events_.empty() && !dayOverLogged_) {
    dayOverLogged_ = true;
    logLine("day over");
  }
}

void SimServer::generateSecond(int s) {
  const int64_t base = static_cast<int64_t>(s) * 1000;
  const int sinceStart = s - o_.startSecond;
  if (o_.dateEvery > 0 && sinceStart > 0 && sinceStart % o_.dateEvery == 0)
    events_.push_back({base, textPacket(MSG_SESSION_DATE, o_.date, false)});
  if (o_.statusEvery > 0 && sinceStart > 0 && sinceStart % o_.statusEvery == 0)
    events_.push_back({base, textPacket(MSG_STATUS, "Server time " + clockText(s), false)});
  if (o_.textEvery > 0 && sinceStart > 0 && sinceStart % o_.textEvery == 0) {
    const char* note = s < kMarketOpen    ? "Pre-market session"
                       : s < kMarketClose ? "Regular session open"
                                          : "Market closed, after-hours session";
    events_.push_back({base, textPacket(MSG_SERVER_TEXT, note, false)});
  }
  if (replaying_) {
    // Every record of the second goes out at its start, in the order the day was loaded in.
    for (std::size_t i = recorded_.firstAt(s); i < recorded_.size(); ++i) {
      const DayRecord record = recorded_.record(i);
      if (record.second != s) break;
      Packet packet;
      if (recordedPacket(record.file, record.text, false, packet))
        events_.push_back({base, std::move(packet)});
    }
    return;
  }
  for (int kind = kListingChart; kind <= kAlgoChart; ++kind)
    events_.push_back({base, samplePacket(chartSample(o_.seed, kind, s), false)});
  std::vector<AlertRecord> alerts;
  for (int kind = kRawList; kind <= kAlgoList; ++kind) {
    auto more = alertsForSecond(o_.seed, kind, s);
    alerts.insert(alerts.end(), std::make_move_iterator(more.begin()),
                  std::make_move_iterator(more.end()));
  }
  std::stable_sort(alerts.begin(), alerts.end(), [](const AlertRecord& a, const AlertRecord& b) {
    return a.offsetMs < b.offsetMs;
  });
  for (const AlertRecord& a : alerts) events_.push_back({base + a.offsetMs, alertPacket(a, false)});
}

bool SimServer::loadRecordedDay(std::string& error) {
  if (!recorded_.load(o_.replayDir, o_.replayDate)) {
    error = "no data files of " + o_.replayDate + " in " + o_.replayDir;
    return false;
  }
  // A line no packet can carry (a foreign file's) is left out and said, never sent cut.
  const std::size_t unsendable = recorded_.dropIf([](const DayRecord& record) {
    Packet packet;
    return !recordedPacket(record.file, record.text, false, packet);
  });
  replaying_ = true;
  claimReplayFolder();
  if (recorded_.size() > 0) {
    if (!o_.startGiven) o_.startSecond = recorded_.record(0).second;
    lastSecond_ = recorded_.record(recorded_.size() - 1).second;
  } else {
    lastSecond_ = -1;
  }
  nextSecond_ = o_.startSecond;
  paused_ = true;
  holdUntilLogin_ = true;
  if (unsendable > 0 || recorded_.longSkipped() > 0 || recorded_.readError()) {
    std::fprintf(stderr,
                 "kestrune-feedsim: %s: %zu lines no packet can carry and %llu over-long lines "
                 "left out%s\n",
                 o_.replayDate.c_str(), unsendable,
                 static_cast<unsigned long long>(recorded_.longSkipped()),
                 recorded_.readError() ? ", a file could not be read to its end" : "");
  }
  return true;
}

void SimServer::claimReplayFolder() {
  if (!replaying_ || claim_.held()) return;
  claimTriedAt_ = std::chrono::steady_clock::now();
  std::string error;
  const DataFolderClaim::Result result =
      claim_.tryAcquireReplay(o_.replayDir, o_.replayDate, "kestrune-feedsim", error);
  if (result == DataFolderClaim::Result::Held) {
    if (!claimHolderSaid_.empty()) logLine("replay folder claimed");
    claimHolderSaid_.clear();
    return;
  }
  // Another simulator serves the same day from that folder, or the folder cannot be written: the
  // replay is served all the same, but a writer logged in here could append it to the day.
  const std::string why = result == DataFolderClaim::Result::Failed
                              ? error
                              : o_.replayDate + " of " + o_.replayDir + " is being replayed by " +
                                    claim_.holder().describe();
  if (why == claimHolderSaid_) return;
  claimHolderSaid_ = why;
  std::fprintf(stderr,
               "kestrune-feedsim: warning: %s; a monitor or recorder that writes that folder must "
               "not log in here\n",
               why.c_str());
}

void SimServer::checkAcks() {
  std::erase_if(acks_, [this](const PendingAck& ack) {
    for (const auto& [id, mark] : ack.marks) {
      for (const auto& c : clients_)
        if (c->id == id && !c->gone && c->writtenBytes < mark) return false;
    }
    logLine(ack.text);
    return true;
  });
}

void SimServer::handleCommand(const std::string& line) {
  SimCommand cmd;
  std::string error;
  if (!parseCommand(line, cmd, error)) {
    if (!error.empty()) logLine("error " + error);
    return;
  }
  const std::string& name = cmd.name;
  const std::vector<std::string>& a = cmd.args;
  std::string ok = "ok " + cmd.line;
  if (name == "help") {
    logLine(
        "ok help: clients stream pause resume time speed session send-date type alert sample "
        "burst flood empty raw bad-crc oversize disconnect close split coalesce refuse crc quit");
  } else if (name == "clients") {
    logLine("ok clients " + std::to_string(liveClients().size()));
  } else if (name == "stream") {
    o_.stream = a[0] == "on";
    logLine(ok);
  } else if (name == "pause") {
    holdUntilLogin_ = false;
    if (!paused_) {
      setClock(simNowMs());
      paused_ = true;
    }
    logLine(ok);
  } else if (name == "resume") {
    holdUntilLogin_ = false;
    if (paused_) {
      paused_ = false;
      setClock(clockBaseMs_);
    }
    logLine(ok);
  } else if (name == "time") {
    setClock(static_cast<int64_t>(parseClock(a[0])) * 1000);
    events_.clear();
    nextSecond_ = parseClock(a[0]);
    dayOverLogged_ = false;
    logLine(ok);
  } else if (name == "speed") {
    setClock(simNowMs());
    o_.speed = std::stoi(a[0]);
    logLine(ok);
  } else if (name == "split") {
    o_.splitPiece = a[0] == "on" ? (a.size() >= 2 ? std::stoi(a[1]) : 3) : 0;
    if (a.size() == 3) o_.splitPauseMs = std::stoi(a[2]);
    for (auto& c : clients_) {
      c->splitPiece = o_.splitPiece;
      c->splitPauseMs = o_.splitPauseMs;
    }
    logLine(ok);
  } else if (name == "coalesce") {
    o_.coalesce = std::stoi(a[0]);
    for (auto& c : clients_) c->coalesce = o_.coalesce;
    logLine(ok);
  } else if (name == "refuse") {
    o_.refuse = a[0] == "off" ? 0 : std::stoi(a[0]);
    logLine(ok);
  } else if (name == "crc") {
    o_.crc = a[0] == "on";
    for (auto& c : clients_) c->crc = o_.crc;
    logLine(ok);
  } else if (name == "quit") {
    logLine(ok);
    stopping_ = true;
  } else {
    // Commands that send: to every logged-in client, or to the next one that logs in.
    std::vector<Client*> live = liveClients();
    if (live.empty()) {
      deferred_.push_back(cmd);
      return;
    }
    if (!sendCommand(cmd, live, error)) logLine("error " + error);
  }
}

bool SimServer::sendCommand(const SimCommand& cmd, const std::vector<Client*>& targets,
                            std::string& error) {
  const std::string& name = cmd.name;
  const std::vector<std::string>& a = cmd.args;
  std::vector<Packet> packets;
  size_t count = 0;  // packets to send, cycling through `packets`; 0 = each once
  bool closeAfter = false;
  if (name == "close") {
    for (Client* c : targets) closeClient(*c, "closed abruptly");
    logLine("ok " + cmd.line);
    return true;
  }
  if (name == "session" || name == "send-date") {
    std::string date = a.empty() ? o_.date : a[0];
    if (name == "send-date") o_.date = date;
    packets.push_back(
        textPacket(name == "session" ? MSG_SESSION_START : MSG_SESSION_DATE, date, false));
  } else if (name == "type") {
    uint16_t type = static_cast<uint16_t>(std::stoi(a[0]));
    std::string text = cmd.rest;
    if (text.empty()) {
      text =
          type == MSG_SESSION_DATE || type == MSG_SESSION_START ? o_.date : "Kestrune server note";
    }
    packets.push_back(textPacket(type, text, false));
  } else if (name == "alert" || name == "sample") {
    uint16_t type = name == "alert" ? MSG_ALERT_RECORD : MSG_CHART_SAMPLE;
    std::string body;
    if (!encodeRecordBody(type, cmd.rest, body) || body.size() > kMaxBodyLength) {
      error = "cannot send as a record: " + cmd.rest;
      return false;
    }
    packets.push_back(makePacket(type, static_cast<uint16_t>(std::stoi(a[0])), body, false));
  } else if (name == "burst") {
    // A pool of distinct records sent round and round: a burst of millions costs copies,
    // not record generation, so it really is as fast as the socket allows.
    const int n = std::stoi(a[0]);
    const int onlyKind = a.size() == 2 ? std::stoi(a[1]) : 0;
    const int second = static_cast<int>(simNowMs() / 1000);
    SimRandom rng(o_.seed, 777, burstCounter_++);
    const int pool = std::min(n, 3 * 1024);
    packets.reserve(static_cast<size_t>(pool));
    for (int i = 0; i < pool; ++i) {
      int kind = onlyKind ? onlyKind : 1 + i % 3;
      packets.push_back(alertPacket(makeAlert(o_.seed, rng, kind, second), false));
    }
    count = static_cast<size_t>(n);
  } else if (name == "flood") {
    // Status texts (types 21 and 22 by turns) as fast as the socket allows: a server gone wild.
    const int n = std::stoi(a[0]);
    const int pool = std::min(n, 1024);
    for (int i = 0; i < pool; ++i) {
      packets.push_back(textPacket(i % 2 ? MSG_SERVER_TEXT : MSG_STATUS,
                                   "Kestrune server note " + std::to_string(i), false));
    }
    count = static_cast<size_t>(n);
  } else if (name == "bad-crc") {
    Packet p = textPacket(MSG_STATUS, "Check value test", false);
    for (Client* c : targets) {
      Packet q = p;
      spoilCheckValue(q);
      bool saved = c->crc;
      c->crc = false;  // keep the spoiled value as it is
      queue(*c, q);
      c->crc = saved;
    }
  } else if (name == "oversize") {
    packets.push_back(oversizePacket(false, a.empty() ? 200 : std::stoul(a[0])));
  } else if (name == "empty") {
    packets.push_back(emptyPacket(static_cast<uint16_t>(std::stoi(a[0])), false));
  } else if (name == "raw") {
    // Bytes as given, never protected: the test decides every byte.
    std::string hex;
    for (const std::string& w : a) hex += w;
    Packet bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    for (Client* c : targets) {
      bool saved = c->crc;
      c->crc = false;
      queue(*c, bytes);
      c->crc = saved;
    }
  } else if (name == "disconnect") {
    packets.push_back(emptyPacket(MSG_DISCONNECT, false));
    closeAfter = true;
  } else {
    error = "cannot send " + name;
    return false;
  }
  PendingAck ack{"ok " + cmd.line + " sent", {}};
  for (Client* c : targets) {
    if (count == 0) count = packets.size();
    for (size_t i = 0; i < count; ++i) queue(*c, packets[i % packets.size()]);
    if (closeAfter) c->closeWhenFlushed = true;
    ack.marks.emplace_back(c->id, c->queuedBytes);
  }
  acks_.push_back(std::move(ack));
  return true;
}

}  // namespace kestrune::feedsim
