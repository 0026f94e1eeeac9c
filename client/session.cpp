#include "client/session.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "client/socket_errors.h"

namespace kestrune {
namespace {

// Field sizes of the login values: texts are cut to them, never grown.
constexpr std::size_t kHostSize = 255;
constexpr std::size_t kUserSize = 256;
constexpr std::size_t kAppVersionSize = 28;
constexpr int kSocketBufferBytes = 32000;
constexpr int kIdleWaitMs = 10'000;
constexpr int kPingTimeoutMs = 5000;
// Data the server has not acknowledged for this long (the keep-alive ping, the login reply) ends
// the link: a host that vanished without a reset is noticed in a minute and a half, not in the
// system's quarter of an hour of retransmissions.
constexpr unsigned kUnacknowledgedLimitMs = 90'000;

std::string cut(const char* text, std::size_t fieldSize) {
  return std::string(text, ::strnlen(text, fieldSize - 1));
}

// The link whose receive thread is running on this thread, if any.
thread_local const Link* tlReceiveLink = nullptr;

}  // namespace

Session& Session::instance() {
  // Never destroyed: a receive thread may still be running its last round at process exit.
  static Session* session = new Session;
  return *session;
}

void Session::report(int type, int kind, const char* text) {
  const StatusCallback cb = callback_.load();
  if (callbackSet_.load() && cb != nullptr) cb(type, kind, text);
}

std::shared_ptr<Link> Session::current() {
  std::lock_guard<std::mutex> lock(linkMutex_);
  return link_;
}

std::uint8_t Session::setStatusCallback(StatusCallback callback) {
  callback_.store(callback);
  callbackSet_.store(callback != nullptr);
  return QVS_HFT_OK;
}

std::uint8_t Session::setParms(const char* host, std::int32_t port) {
  if (host == nullptr || port == 0) return QVS_HFT_BAD_ARGUMENT;
  std::lock_guard<std::mutex> lock(paramsMutex_);
  host_ = cut(host, kHostSize);
  port_ = port;
  return QVS_HFT_OK;
}

std::uint8_t Session::setUser(const char* user, const char* password, std::uint8_t clientType,
                              const char* appVersion) {
  if (user == nullptr || password == nullptr) return QVS_HFT_BAD_ARGUMENT;
  std::lock_guard<std::mutex> lock(paramsMutex_);
  user_ = cut(user, kUserSize);
  password_ = cut(password, kUserSize);
  clientType_ = clientType;
  appVersion_ = appVersion != nullptr ? cut(appVersion, kAppVersionSize) : std::string();
  return QVS_HFT_OK;
}

std::uint8_t Session::setTimeout(std::uint16_t pollMs, std::uint16_t check) {
  if (pollMs == 0 || check == 0) return QVS_HFT_BAD_ARGUMENT;
  pollIntervalMs_.store(pollMs);
  return QVS_HFT_OK;
}

void Session::setConnectTimeout(std::chrono::milliseconds timeout) {
  connectTimeout_.store(timeout);
}

void Session::setResolver(Resolver resolver) {
  resolver_.store(resolver ? resolver : &systemResolver);
}

void Session::setLoginTimeout(std::chrono::milliseconds timeout) { loginTimeout_.store(timeout); }

void Session::setPacketTimeout(std::chrono::milliseconds timeout) { packetTimeout_.store(timeout); }

int Session::connectSocket(ConnectAttempt& attempt, int& fd) {
  std::string host;
  std::int32_t port;
  {
    std::lock_guard<std::mutex> lock(paramsMutex_);
    host = host_;
    port = port_;
  }
  // Non-blocking from the start: the connect is waited for, so that Stop can end the wait and a
  // host that never answers costs the attempt's deadline, not the system's minutes of retries.
  fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  const linger noLinger{0, 0};
  const int on = 1;
  const int off = 0;
  const int bufferBytes = kSocketBufferBytes;
  const unsigned unacknowledgedMs = kUnacknowledgedLimitMs;
  if (::setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &off, sizeof off) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes) != 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs) !=
          0) {
    return socketErrorFromErrno(errno);
  }
  // A dotted address or a host name; the first IPv4 address wins.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
  const int looked = attempt.resolve(host, addr.sin_addr);
  if (looked != 0) return looked;
  const int connected = attempt.connect(fd, addr);
  if (connected != 0) return connected;
  // Connected is not yet talking: a server that accepts and never asks for the login would
  // otherwise leave a link that looks up and carries nothing.
  return attempt.awaitFirstHeader(fd, kHeaderSize,
                                  ConnectAttempt::Clock::now() + loginTimeout_.load());
}

std::uint8_t Session::start() {
  for (;;) {
    std::shared_ptr<Link> old = current();
    if (old && old->hasSocket() && old->connected.load()) {
      report(MSG_STATUS, 0, "Already Connected");
      return QVS_HFT_ALREADY_CONNECTED;
    }
    // The previous connection's thread finishes its last reports before a new one begins.
    // No lock of ours is held meanwhile: that thread's callback may itself call in here.
    if (old && tlReceiveLink != old.get()) old->reap();

    std::unique_lock<std::mutex> startLock(startLock_);
    if (current() != old) continue;  // another caller started a link meanwhile: look again
    if (old) old->closeLink();       // never leave a half-closed socket behind

    auto attempt = std::make_shared<ConnectAttempt>(
        ConnectAttempt::Clock::now() + connectTimeout_.load(), resolver_.load());
    {
      std::lock_guard<std::mutex> lock(linkMutex_);
      attempt_ = attempt;
    }
    auto link = std::make_shared<Link>();
    int fd = -1;
    int err = connectSocket(*attempt, fd);
    if (err == 0 && !link->adopt(fd)) err = link->lastError.load();
    {
      // Published, or given up, in one step with Stop's look: a Stop either cancels the attempt
      // or finds the new link and ends it.
      std::lock_guard<std::mutex> lock(linkMutex_);
      attempt_.reset();
      if (err == 0 && attempt->cancelled()) err = kSockCancelled;
      if (err == 0) {
        link->connected.store(true);
        link_ = link;
      }
    }
    if (err != 0) {
      std::string text = "Connection Error: ";
      if (fd >= 0) {
        text += socketErrorText(err);
        if (!link->hasSocket()) ::close(fd);
        link->closeLink();
      }
      startLock.unlock();
      report(MSG_STATUS, 0, text.c_str());
      return QVS_HFT_CONNECT_FAILED;
    }
    startLock.unlock();
    report(MSG_STATUS, 0, "Kestrune Monitor Connected to Server");
    link->startThread(std::thread(&Session::receiveThread, this, link));
    return QVS_HFT_OK;
  }
}

std::uint8_t Session::stop() {
  std::shared_ptr<Link> link;
  {
    std::lock_guard<std::mutex> lock(linkMutex_);
    if (attempt_) attempt_->cancel();  // a Start under way gives up at once
    link = link_;
  }
  return stopLink(link);
}

std::uint8_t Session::stopLink(const std::shared_ptr<Link>& link) {
  if (link) {
    if (link->connected.load()) {
      std::uint8_t packet[kHeaderSize];
      PacketHeader header;
      header.type = MSG_DISCONNECT;
      header.serialize(packet);
      if (crcEnabled_.load()) protectPacket(packet, sizeof packet);
      link->sendAll(packet, sizeof packet);  // best effort: the link ends either way
    }
    link->connected.store(false);
    link->wake();
    // From any other thread, wait until the receive thread has made its last report; from
    // inside it (a callback calling Stop), it ends by itself once this returns.
    if (tlReceiveLink != link.get()) link->reap();
    link->closeLink();
  }
  report(MSG_STATUS, 0, "Disconnected");
  report(MSG_DISCONNECTED, 0, "");
  return QVS_HFT_OK;
}

Link::SendResult Session::sendCommand(Link& link, std::uint16_t type, const std::uint8_t* body,
                                      std::size_t bodyLength) {
  std::uint8_t packet[kHeaderSize + 1];
  PacketHeader header;
  header.type = type;
  header.length = static_cast<std::uint32_t>(kHeaderSize + bodyLength);
  header.serialize(packet);
  if (bodyLength > 0) std::memcpy(packet + kHeaderSize, body, bodyLength);
  if (crcEnabled_.load()) protectPacket(packet, header.length);
  return link.sendAll(packet, header.length);
}

std::uint8_t Session::enableCrc(std::uint8_t mode) {
  const bool on = crcEnabled_.load();
  if ((mode == MSG_CRC_ON && on) || (mode == MSG_CRC_OFF && !on)) return QVS_HFT_OK;
  std::shared_ptr<Link> link = current();
  if (!link || !link->connected.load()) return QVS_HFT_NOT_CONNECTED;
  Link::SendResult sent;
  {
    std::lock_guard<std::mutex> lock(commandLock_);
    sent = sendCommand(*link, mode, nullptr, 0);
    if (sent == Link::SendResult::kSent) crcEnabled_.store(mode == MSG_CRC_ON);
  }
  if (sent == Link::SendResult::kSent) {
    report(MSG_STATUS, 0, mode == MSG_CRC_ON ? "CRC Enabled." : "CRC Disabled.");
    return QVS_HFT_OK;
  }
  if (sent == Link::SendResult::kFailed) {
    link->connected.store(false);
    stopLink(link);
    report(MSG_STATUS, 0, "Socket Error in CRC Enable/Disable.");
  }
  return QVS_HFT_NOT_CONNECTED;
}

std::uint8_t Session::ping(std::uint8_t waitReply, std::uint8_t* result) {
  auto give = [result](std::uint8_t code) {
    if (result != nullptr) *result = code;
    return code;
  };
  give(QVS_HFT_OK);
  std::shared_ptr<Link> link = current();
  if (!link || !link->connected.load()) return give(QVS_HFT_NOT_CONNECTED);

  Link::SendResult sent;
  {
    std::lock_guard<std::mutex> lock(commandLock_);
    sent = sendCommand(*link, MSG_PING, &waitReply, 1);
  }
  if (sent == Link::SendResult::kBusy) return give(QVS_HFT_PING_BUSY);
  if (sent == Link::SendResult::kFailed) {
    link->connected.store(false);
    stopLink(link);
    report(MSG_STATUS, 0, "Ping: Socket Error in Send. Shutting down connection.");
    return give(QVS_HFT_NOT_CONNECTED);
  }
  if (waitReply == 0) return give(QVS_HFT_OK);

  enum class Outcome { kWaiting, kReply, kBadReply, kReadError, kWaitError };
  Outcome outcome = Outcome::kWaiting;
  {
    std::lock_guard<std::mutex> reply(replyLock_);
    std::uint8_t packet[kMaxPacketLength + 1];
    unsigned elapsed = 0;
    while (outcome == Outcome::kWaiting) {
      // Whoever reads first takes the packet; a receive thread busy reading counts as
      // "nothing there yet".
      if (link->recvLock().try_lock()) {
        const Link::Peek peek = link->peekLocked();
        if (peek == Link::Peek::kData) {
          PacketHeader header;
          const auto deadline = Link::Clock::now() + std::chrono::milliseconds(kPingTimeoutMs);
          const Link::ReadResult read = link->readPacketLocked(packet, header, deadline);
          if (read == Link::ReadResult::kFailed) {
            if (!isRetryableSocketError(link->lastError.load())) outcome = Outcome::kReadError;
          } else {
            outcome = Outcome::kReply;
            if (read == Link::ReadResult::kTooLong ||
                (crcEnabled_.load() && !checkPacket(packet, kHeaderSize + header.bodyLength()))) {
              outcome = Outcome::kBadReply;
            }
          }
        } else if (peek == Link::Peek::kError) {
          outcome = Outcome::kWaitError;
        }
        link->recvLock().unlock();
      }
      if (outcome != Outcome::kWaiting) break;
      const std::uint16_t step = pollIntervalMs_.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(step));
      elapsed += step;
      if (elapsed >= static_cast<unsigned>(kPingTimeoutMs)) break;
    }
  }

  switch (outcome) {
    case Outcome::kWaiting:
      report(MSG_STATUS, 0, "Ping: Timeout");
      return give(QVS_HFT_PING_TIMEOUT);
    case Outcome::kReply:
      report(MSG_STATUS, 0, "Ping: Recieved Packet.");
      return give(QVS_HFT_OK);
    case Outcome::kBadReply:
      report(MSG_STATUS, 0, "Ping: Recieved Packet.");
      stopLink(link);
      report(MSG_STATUS, 0, "Ping: CRC ERROR!  Shutting down connection.");
      return give(QVS_HFT_PING_BAD_CRC);
    case Outcome::kReadError:
      link->connected.store(false);
      stopLink(link);
      report(MSG_STATUS, 0, "Ping: Socket Error1. Shutting down connection.");
      return give(QVS_HFT_NOT_CONNECTED);
    case Outcome::kWaitError:
      link->connected.store(false);
      stopLink(link);
      report(MSG_STATUS, 0, "Ping: Socket Error2. Shutting down connection.");
      return give(QVS_HFT_NOT_CONNECTED);
  }
  return give(QVS_HFT_OK);
}

bool Session::sendLogin(Link& link) {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(paramsMutex_);
    text = loginText(user_, password_, clientType_, appVersion_);
  }
  text.push_back('\0');  // the NUL travels with the text
  std::vector<std::uint8_t> packet = makePacket(MSG_LOGIN, 0, text, crcEnabled_.load());
  return link.sendAll(packet.data(), packet.size()) == Link::SendResult::kSent;
}

void Session::dispatch(Link& link, const PacketHeader& header, const char* body) {
  switch (header.type) {
    case MSG_DISCONNECT:
      link.closeLink();
      link.connected.store(false);
      report(MSG_DISCONNECTED, 0, "");
      break;
    case MSG_BAD_USER:
      link.closeLink();
      link.connected.store(false);
      report(MSG_STATUS, 0, "BAD USERNAME - SHUTTING DOWN");
      report(MSG_BAD_USER, 0, "BAD USERNAME - SHUTTING DOWN");
      break;
    case MSG_LOGIN:
      if (!sendLogin(link)) {
        link.closeLink();
        link.connected.store(false);
        report(MSG_DISCONNECTED, 0, "");
      }
      break;
    default:
      report(header.type, header.kind, body);
      break;
  }
}

void Session::receiveThread(std::shared_ptr<Link> link) {
  tlReceiveLink = link.get();
  std::uint8_t packet[kMaxPacketLength + 1];
  const auto packetTimeout = packetTimeout_.load();
  while (link->connected.load() && link->hasSocket()) {
    bool processed = false;
    bool failed = false;
    bool stalled = false;
    PacketHeader header;
    {
      std::lock_guard<std::timed_mutex> lock(link->recvLock());
      switch (link->peekLocked()) {
        case Link::Peek::kData:
          // Once a packet has begun, the rest of it must follow within the packet timeout.
          switch (link->readPacketLocked(packet, header, Link::Clock::now() + packetTimeout)) {
            case Link::ReadResult::kPacket:
              processed = true;
              break;
            case Link::ReadResult::kTooLong:
              failed = true;
              break;
            case Link::ReadResult::kFailed:
              // "Would block" here only means the link is being stopped.
              stalled = link->lastError.load() == kSockTimedOut;
              failed = !stalled && !isRetryableSocketError(link->lastError.load());
              break;
          }
          break;
        case Link::Peek::kNothing:
          break;
        case Link::Peek::kClosed:
          // The server went away without a disconnect packet (its process ended, say): the link
          // is lost now, not at the next keep-alive ping a minute or two later.
        case Link::Peek::kError:
          failed = true;
          break;
      }
    }
    if (processed && crcEnabled_.load() &&
        !checkPacket(packet, kHeaderSize + header.bodyLength())) {
      failed = true;
    } else if (processed) {
      dispatch(*link, header, reinterpret_cast<const char*>(packet + kHeaderSize));
    }
    if (stalled) {
      // A server that stopped in the middle of a packet is gone: the link ends as a Stop ends it,
      // with one link loss, and the monitor reconnects.
      stopLink(link);
    } else if (failed) {
      link->connected.store(false);
      stopLink(link);
      report(MSG_DISCONNECTED, 0, "");
    }
    if (!link->connected.load()) break;
    if (!processed) link->waitForData(kIdleWaitMs);
  }
  tlReceiveLink = nullptr;
}

}  // namespace kestrune
