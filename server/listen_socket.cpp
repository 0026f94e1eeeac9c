#include "server/listen_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrune::server {

bool listenTcp(const std::string& address, int port, int backlog, Listener& out,
               std::string& error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
    error = "not an IPv4 address: " + address;
    return false;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, backlog) != 0) {
    error =
        "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  socklen_t len = sizeof(addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  out.fd = fd;
  out.port = ntohs(addr.sin_port);
  return true;
}

bool parseListenAddress(const std::string& text, std::string& address, int& port,
                        std::string& error) {
  const std::size_t colon = text.rfind(':');
  address = colon == std::string::npos ? std::string("127.0.0.1") : text.substr(0, colon);
  const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
  int value = 0;
  bool good = !digits.empty() && digits.size() <= 5;
  for (const char c : digits) {
    if (c < '0' || c > '9') good = false;
    if (good) value = value * 10 + (c - '0');
  }
  if (!good || value > 65535) {
    error = "the port must be a number from 0 to 65535, not \"" + digits + "\"";
    return false;
  }
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
    error = "not an IPv4 address: \"" + address + "\"";
    return false;
  }
  port = value;
  return true;
}

bool isLoopbackAddress(const std::string& address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  return (ntohl(parsed.s_addr) >> 24) == 127;
}

}  // namespace kestrune::server
