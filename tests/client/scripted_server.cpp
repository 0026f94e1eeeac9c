#include "tests/client/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "client/wire.h"

namespace kestrune {

ScriptedServer::ScriptedServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 4) != 0)
    return;
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
}

ScriptedServer::~ScriptedServer() {
  if (greeter_.joinable()) greeter_.join();
  closeClient();
  closeListener();
}

void ScriptedServer::closeListener() {
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

void ScriptedServer::greetNextClient() {
  if (greeter_.joinable()) greeter_.join();
  greeter_ = std::thread(
      [this] { greeted_ = acceptNow(5000) && send(makePacket(MSG_LOGIN, 0, {}, true)); });
}

bool ScriptedServer::accept(int timeoutMs) {
  if (greeter_.joinable()) {
    greeter_.join();
    return greeted_;
  }
  return acceptNow(timeoutMs);
}

bool ScriptedServer::acceptNow(int timeoutMs) {
  pollfd pfd{listenFd_, POLLIN, 0};
  if (::poll(&pfd, 1, timeoutMs) != 1) return false;
  clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  const int on = 1;
  ::setsockopt(clientFd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return clientFd_ >= 0;
}

bool ScriptedServer::send(std::string_view bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t r = ::send(clientFd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    sent += static_cast<std::size_t>(r);
  }
  return true;
}

bool ScriptedServer::send(const std::vector<std::uint8_t>& bytes) {
  return send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool ScriptedServer::readExact(std::uint8_t* out, std::size_t n, int timeoutMs) {
  while (n > 0) {
    pollfd pfd{clientFd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) != 1) return false;
    const ssize_t r = ::recv(clientFd_, out, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    out += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool ScriptedServer::readPacket(std::vector<std::uint8_t>& packet, int timeoutMs) {
  packet.assign(kHeaderSize, 0);
  if (!readExact(packet.data(), kHeaderSize, timeoutMs)) return false;
  const PacketHeader h = PacketHeader::parse(packet.data());
  if (h.tooLong()) return false;
  packet.resize(kHeaderSize + h.bodyLength());
  return readExact(packet.data() + kHeaderSize, h.bodyLength(), timeoutMs);
}

bool ScriptedServer::waitClosed(int timeoutMs) {
  std::uint8_t byte;
  for (;;) {
    pollfd pfd{clientFd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) != 1) return false;
    const ssize_t r = ::recv(clientFd_, &byte, 1, 0);
    if (r == 0 || (r < 0 && errno != EINTR)) return true;
  }
}

void ScriptedServer::closeClient() {
  if (clientFd_ >= 0) ::close(clientFd_);
  clientFd_ = -1;
}

void ScriptedServer::resetClient() {
  if (clientFd_ < 0) return;
  const linger hard{1, 0};
  ::setsockopt(clientFd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  closeClient();
}

}  // namespace kestrune
