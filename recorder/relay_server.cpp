#include "recorder/relay_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "client/wire.h"
#include "server/listen_socket.h"
#include "server/login_request.h"
#include "server/packet_reader.h"
#include "server/server_packets.h"
#include "server/socket_io.h"

namespace kestrune {

namespace {

using Clock = std::chrono::steady_clock;

// Records waiting for the relay's thread. The thread takes them within milliseconds; this many
// means it has stopped keeping up, and the monitors are better told (their link ends, they
// reconnect and read the day again) than left with a gap: the records past it are not queued.
constexpr std::size_t kMaxEvents = 1u << 20;
// How long a closing link waits for the monitor to close its side.
constexpr auto kDrainTime = std::chrono::seconds(3);

}  // namespace

struct RelayServer::Client {
  enum class State { AwaitLogin, Live, Draining };
  int fd = -1;
  std::string peer;
  State state = State::AwaitLogin;
  bool crc = true;
  std::string in;
  std::string out;
  std::size_t outPos = 0;
  bool closeWhenFlushed = false;
  bool wantOut = false;
  bool gone = false;
  Clock::time_point drainDeadline;

  std::size_t backlog() const { return out.size() - outPos; }
};

RelayServer::RelayServer(RelaySettings settings, std::function<void(const std::string&)> say,
                         JoinAtCut joinAtCut)
    : settings_(std::move(settings)), say_(std::move(say)), joinAtCut_(std::move(joinAtCut)) {}

RelayServer::~RelayServer() { stop(); }

bool RelayServer::start(std::string& error) {
  server::Listener listener;
  if (!server::listenTcp(settings_.address, settings_.port, 16, listener, error)) return false;
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    error = std::string("eventfd: ") + std::strerror(errno);
    ::close(listener.fd);
    return false;
  }
  listenFd_ = listener.fd;
  port_ = listener.port;
  thread_ = std::thread([this] { loop(); });
  return true;
}

void RelayServer::stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (stop_ && !thread_.joinable()) return;
    stop_ = true;
  }
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  for (auto& c : clients_)
    if (c->fd >= 0) ::close(c->fd);
  clients_.clear();
  live_.store(0);
  if (listenFd_ >= 0) ::close(listenFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  listenFd_ = wakeFd_ = -1;
}

void RelayServer::post(Event event) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (stop_) return;
    // Only records are given up: the session's start, dates and end always get through.
    if (event.kind == Event::Kind::Record && events_.size() >= kMaxEvents) {
      overflowed_ = true;
      return;
    }
    wake = events_.empty();
    events_.push_back(std::move(event));
  }
  if (wake) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }
}

void RelayServer::sessionStarted(const std::string& date) { post({Event::Kind::Start, 0, date}); }

void RelayServer::sessionDateChanged(const std::string& date) {
  post({Event::Kind::Date, 0, date});
}

void RelayServer::serverText(int type, const std::string& text) {
  post({Event::Kind::Text, type, text});
}

void RelayServer::record(int file, const char* text) {
  if (!live_.load(std::memory_order_relaxed)) return;  // nobody to tell
  post({Event::Kind::Record, file, text ? std::string(text) : std::string()});
}

void RelayServer::sessionEnded() { post({Event::Kind::End, 0, {}}); }

void RelayServer::loop() {
  std::vector<pollfd> fds;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stop_) break;
    }
    takeEvents();
    for (auto& c : clients_)
      if (!c->gone) flush(*c);
    std::erase_if(clients_, [](const std::unique_ptr<Client>& c) { return c->gone; });

    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    fds.push_back({listenFd_, POLLIN, 0});
    int timeout = 1000;
    const Clock::time_point now = Clock::now();
    for (auto& c : clients_) {
      fds.push_back({c->fd, static_cast<short>(POLLIN | (c->wantOut ? POLLOUT : 0)), 0});
      if (c->state == Client::State::Draining) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(c->drainDeadline - now).count();
        timeout = std::min<int>(timeout, left < 0 ? 0 : static_cast<int>(left) + 1);
      }
    }
    const int r = ::poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (fds[0].revents) {
      std::uint64_t n = 0;
      [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &n, sizeof n);
    }
    // Records that came before a login are the monitor's past: they are in the files it reads.
    takeEvents();
    const std::size_t polled = fds.size() - 2;
    for (std::size_t i = 0; i < polled && i < clients_.size(); ++i) {
      Client& c = *clients_[i];
      if (!c.gone && (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))) readClient(c);
    }
    if (fds[1].revents & POLLIN) acceptClients();
  }
  // The recorder stops: every monitor hears that the session is over.
  endSession();
  for (auto& c : clients_)
    if (!c->gone) flush(*c);
}

void RelayServer::takeEvents() {
  std::vector<Event> events;
  bool overflowed = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    events.swap(events_);
    overflowed = overflowed_;
    overflowed_ = false;
  }
  if (overflowed) {
    say_("Relay: fell behind the feed; every monitor reconnects");
    for (auto& c : clients_)
      if (c->state == Client::State::Live) endClient(*c, "the relay fell behind");
  }
  for (Event& e : events) {
    switch (e.kind) {
      case Event::Kind::Start:
        // A second session start on one link: the monitors log in again and hear the new one.
        if (up_) endSession();
        up_ = true;
        date_ = e.text;
        break;
      case Event::Kind::Date:
        date_ = e.text;
        toLive(server::textPacket(MSG_SESSION_DATE, e.text, false));
        break;
      case Event::Kind::Text:
        toLive(server::textPacket(static_cast<std::uint16_t>(e.number), e.text, false));
        break;
      case Event::Kind::Record: {
        server::Packet packet;
        if (server::recordedPacket(e.number, e.text, false, packet)) {
          toLive(packet);
        } else if (unsent_++ == 0) {
          say_("Relay: a record no packet can carry was not passed on: " + e.text);
        }
        break;
      }
      case Event::Kind::End:
        endSession();
        break;
    }
  }
}

void RelayServer::endSession() {
  up_ = false;
  for (auto& c : clients_)
    if (!c->gone && !c->closeWhenFlushed) endClient(*c, "the session ended upstream");
}

void RelayServer::acceptClients() {
  for (;;) {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    char ip[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof(ip));
    const std::string peer = std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port));
    // No session upstream, or no room: the link ends at once, as with a server that is down.
    if (!up_ || clients_.size() >= settings_.maxClients) {
      ::close(fd);
      say_("Relay: turned away " + peer +
           (up_ ? ": " + std::to_string(settings_.maxClients) + " monitors already"
                : ": no session upstream"));
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    auto c = std::make_unique<Client>();
    c->fd = fd;
    c->peer = peer;
    queue(*c, server::emptyPacket(MSG_LOGIN, false));  // the server speaks first
    clients_.push_back(std::move(c));
  }
}

void RelayServer::readClient(Client& c) {
  // A monitor sends a login, pings and a goodbye: kilobytes at most. Its last packets and its
  // close may come together: the packets first.
  const server::Received got = server::receiveAvailable(c.fd, c.in, 64u << 10);
  std::string ended;
  if (got.tooMuch) {
    ended = "sent too much";
  } else if (got.peerClosed) {
    ended = c.state == Client::State::Draining ? "closed" : "closed by the monitor";
  } else if (got.error != 0) {
    ended = std::string("receive error: ") + std::strerror(got.error);
  }
  std::size_t pos = 0;
  server::ClientPacket packet;
  while (!c.gone) {
    const server::ReadStep step = server::nextClientPacket(c.in, pos, packet);
    if (step == server::ReadStep::NeedMore) break;
    if (step != server::ReadStep::Packet) {
      ended = step == server::ReadStep::Oversized ? "sent an oversized packet"
                                                  : "sent a bad check value";
      break;
    }
    handlePacket(c, packet.type, packet.body);
  }
  if (!c.gone) c.in.erase(0, std::min(pos, c.in.size()));
  if (!ended.empty()) closeClient(c, ended);
}

void RelayServer::handlePacket(Client& c, std::uint16_t type, const std::string& body) {
  if (c.closeWhenFlushed) return;
  switch (type) {
    case MSG_LOGIN:
      if (c.state == Client::State::AwaitLogin) handleLogin(c, body);
      break;
    case MSG_DISCONNECT:
      closeClient(c, "disconnected");
      break;
    case MSG_PING:
      if (!body.empty() && body[0] != 0) queue(c, server::emptyPacket(MSG_PING, false));
      break;
    case MSG_CRC_ON:
    case MSG_CRC_OFF:
      c.crc = type == MSG_CRC_ON;
      break;
    default:
      break;
  }
}

void RelayServer::handleLogin(Client& c, const std::string& text) {
  const server::LoginRequest login = server::parseLoginRequest(text);
  // Both compared whatever the first gives, so the time taken tells nothing.
  const bool userOk = server::sameSecret(login.user, settings_.user);
  const bool passwordOk = server::sameSecret(login.password, settings_.password);
  if (!login.complete || !userOk || !passwordOk) {
    queue(c, server::textPacket(MSG_BAD_USER, "Invalid username or password", false));
    c.closeWhenFlushed = true;
    say_("Relay: refused the login of " + c.peer + " (wrong user name or password)");
    return;
  }
  if (!up_) {
    closeClient(c, "no session upstream");
    return;
  }
  const auto join = [this, &c] {
    // What came before the cut is in the files the monitor reads: the others hear it first.
    takeEvents();
    if (c.gone || !up_) return;
    queue(c, server::textPacket(MSG_SESSION_START, date_, false));
    if (c.gone) return;
    c.state = Client::State::Live;
    live_.fetch_add(1);
  };
  if (joinAtCut_) {
    joinAtCut_(join);
  } else {
    join();
  }
  if (c.state != Client::State::Live) return;
  say_("Relay: " + c.peer + " logged in (" + std::to_string(live_.load()) +
       (live_.load() == 1 ? " monitor)" : " monitors)"));
}

void RelayServer::toLive(const std::vector<std::uint8_t>& packet) {
  for (auto& c : clients_)
    if (!c->gone && c->state == Client::State::Live && !c->closeWhenFlushed) queue(*c, packet);
}

void RelayServer::queue(Client& c, const std::vector<std::uint8_t>& packet) {
  const std::size_t at = c.out.size();
  c.out.append(reinterpret_cast<const char*>(packet.data()), packet.size());
  if (c.crc) protectPacket(reinterpret_cast<std::uint8_t*>(c.out.data() + at), packet.size());
  if (c.backlog() <= settings_.maxBacklogBytes) return;
  // A burst may outrun a monitor that keeps up: what its link takes now does not count.
  flush(c);
  if (!c.gone && c.backlog() > settings_.maxBacklogBytes) closeClient(c, "read too slowly; dropped");
}

void RelayServer::flush(Client& c) {
  c.wantOut = false;
  while (c.backlog() > 0) {
    const long w = server::sendSome(c.fd, c.out, c.outPos, c.backlog());
    if (w == 0) {
      c.wantOut = true;
      return;
    }
    if (w < 0) {
      closeClient(c, std::string("send error: ") + std::strerror(static_cast<int>(-w)));
      return;
    }
  }
  if (c.closeWhenFlushed && c.state != Client::State::Draining) {
    // Half-close and let the monitor close first, so that nothing it still sends resets the link
    // before it has read the last packet.
    ::shutdown(c.fd, SHUT_WR);
    if (c.state == Client::State::Live) live_.fetch_sub(1);
    c.state = Client::State::Draining;
    c.drainDeadline = Clock::now() + kDrainTime;
  } else if (c.state == Client::State::Draining && Clock::now() >= c.drainDeadline) {
    closeClient(c, "closed");
  }
}

void RelayServer::endClient(Client& c, const std::string& reason) {
  if (c.gone || c.closeWhenFlushed) return;
  if (c.state == Client::State::Live) queue(c, server::emptyPacket(MSG_DISCONNECT, false));
  if (c.gone) return;
  c.closeWhenFlushed = true;
  say_("Relay: ending the link of " + c.peer + ": " + reason);
}

void RelayServer::closeClient(Client& c, const std::string& reason) {
  if (c.gone) return;
  ::close(c.fd);
  c.fd = -1;
  c.gone = true;
  if (c.state == Client::State::Live) {
    live_.fetch_sub(1);
    say_("Relay: " + c.peer + " left (" + reason + ")");
  }
}

}  // namespace kestrune
