#include "server/socket_io.h"

#include <sys/socket.h>

#include <cerrno>

namespace kestrune::server {

Received receiveAvailable(int fd, std::string& in, std::size_t limit) {
  Received result;
  char buf[16384];
  for (;;) {
    const std::size_t room = in.size() < limit ? limit - in.size() : 0;
    if (room == 0) {
      result.tooMuch = true;
      return result;
    }
    const ssize_t n = ::recv(fd, buf, room < sizeof buf ? room : sizeof buf, 0);
    if (n > 0) {
      in.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) {
      result.peerClosed = true;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      result.error = errno;
    }
    return result;
  }
}

long sendSome(int fd, std::string& out, std::size_t& outPos, std::size_t maxBytes) {
  const std::size_t left = out.size() - outPos;
  const std::size_t n = left < maxBytes ? left : maxBytes;
  ssize_t w;
  do {
    w = ::send(fd, out.data() + outPos, n, MSG_NOSIGNAL);
  } while (w < 0 && errno == EINTR);
  if (w < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -errno;
  outPos += static_cast<std::size_t>(w);
  if (outPos == out.size()) {
    out.clear();
    outPos = 0;
  } else if (outPos > (1u << 20) && outPos > out.size() / 2) {
    out.erase(0, outPos);
    outPos = 0;
  }
  return static_cast<long>(w);
}

}  // namespace kestrune::server
