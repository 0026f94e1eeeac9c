// Non-blocking socket reads and writes for a server's poll loop.
#pragma once

#include <cstddef>
#include <string>

namespace kestrune::server {

struct Received {
  bool peerClosed = false;
  int error = 0;         // errno of a receive that failed, 0 when none
  bool tooMuch = false;  // in would have grown past its limit; what came is left unread
};

// Appends everything the socket holds now to in, up to limit bytes held in all.
Received receiveAvailable(int fd, std::string& in, std::size_t limit);

// One send of at most maxBytes of out from outPos, which moves on. Returns the bytes written,
// 0 when the socket takes nothing now, or -errno. The written front is dropped once it is all of
// out, or most of a large one (a burst of millions of records is not moved again after every
// write).
long sendSome(int fd, std::string& out, std::size_t& outPos, std::size_t maxBytes);

}  // namespace kestrune::server
