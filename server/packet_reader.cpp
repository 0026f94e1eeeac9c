#include "server/packet_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "client/wire.h"

namespace kestrune::server {

ReadStep nextClientPacket(const std::string& in, std::size_t& pos, ClientPacket& out) {
  if (pos > in.size() || in.size() - pos < kHeaderSize) return ReadStep::NeedMore;
  const auto* p = reinterpret_cast<const std::uint8_t*>(in.data() + pos);
  const PacketHeader h = PacketHeader::parse(p);
  out.length = h.length;
  if (h.tooLong()) return ReadStep::Oversized;
  const std::size_t len = std::max<std::size_t>(h.length, kHeaderSize);
  if (in.size() - pos < len) return ReadStep::NeedMore;
  std::vector<std::uint8_t> packet(p, p + len);
  if (!checkPacket(packet.data(), packet.size())) return ReadStep::BadCheck;
  out.type = h.type;
  const char* body = reinterpret_cast<const char*>(packet.data()) + kHeaderSize;
  out.body.assign(body, strnlen(body, len - kHeaderSize));  // text up to its NUL
  pos += len;
  return ReadStep::Packet;
}

}  // namespace kestrune::server
