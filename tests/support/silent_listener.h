// A loopback address that takes no more connections: a listener whose accept queue is full (listen
// backlog 0 with one connection already queued and never accepted). A further connect to it waits
// as one to a host that does not answer does: its handshake is never completed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrune::test {

class SilentListener {
 public:
  SilentListener() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), length) != 0 ||
        ::listen(listenFd_, 0) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      return;
    }
    queuedFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (queuedFd_ >= 0 &&
        ::connect(queuedFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      port_ = ntohs(addr.sin_port);
    }
  }
  ~SilentListener() {
    if (queuedFd_ >= 0) ::close(queuedFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  // 0 when the listener could not be set up.
  int port() const { return port_; }

 private:
  int listenFd_ = -1;
  int queuedFd_ = -1;
  int port_ = 0;
};

}  // namespace kestrune::test
