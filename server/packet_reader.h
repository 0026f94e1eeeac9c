// Cuts what a client sent into packets: each one whole, its check value verified, its body the
// text up to its NUL.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::server {

enum class ReadStep {
  Packet,     // type and body hold the next packet
  NeedMore,   // the rest has not arrived yet
  Oversized,  // a length no client may send: end the connection
  BadCheck,   // the check value does not match: end the connection
};

struct ClientPacket {
  std::uint16_t type = 0;
  std::uint32_t length = 0;
  std::string body;
};

// Takes the next packet from in, starting at pos, which moves past it. The caller erases
// in[0, pos) when it has taken what it wants.
ReadStep nextClientPacket(const std::string& in, std::size_t& pos, ClientPacket& out);

}  // namespace kestrune::server
