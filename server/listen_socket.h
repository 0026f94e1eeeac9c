// A listening TCP socket on an IPv4 address, non-blocking, for a poll loop.
#pragma once

#include <string>

namespace kestrune::server {

struct Listener {
  int fd = -1;
  int port = 0;  // the port bound (the one asked for, or the one given for port 0)
};

// Binds address (a dotted IPv4 address, not a host name: a server binds where it is told, never
// where a name lookup points) and port (0 for any free one) and listens. False with a message
// naming the address when it cannot.
bool listenTcp(const std::string& address, int port, int backlog, Listener& out,
               std::string& error);

// Splits "[ADDRESS:]PORT": address defaults to 127.0.0.1, port 0 asks for any free one. False
// with a message when the port is not 0-65535 or the address is not a dotted IPv4 address.
bool parseListenAddress(const std::string& text, std::string& address, int& port,
                        std::string& error);

// True for 127.0.0.0/8.
bool isLoopbackAddress(const std::string& address);

}  // namespace kestrune::server
