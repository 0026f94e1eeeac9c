#include "server/server_packets.h"

#include <string>

#include "client/wire.h"

namespace kestrune::server {

Packet textPacket(std::uint16_t type, std::string_view text, bool protect) {
  std::string body(text.substr(0, kMaxBodyLength - 1));
  body += '\0';
  return makePacket(type, 0, body, protect);
}

Packet emptyPacket(std::uint16_t type, bool protect) { return makePacket(type, 0, {}, protect); }

bool recordedPacket(int file, std::string_view text, bool protect, Packet& out) {
  if (file < 0 || file > 5) return false;
  const std::uint16_t type = file < 3 ? MSG_ALERT_RECORD : MSG_CHART_SAMPLE;
  std::string body;
  if (!encodeRecordBody(type, text, body)) return false;
  // An alert text with little to pack is shorter sent plain throughout, which is also a valid body.
  if (body.size() > kMaxBodyLength && type == MSG_ALERT_RECORD) body.assign(text);
  if (body.size() > kMaxBodyLength || decodeRecordBody(type, body) != text) return false;
  out = makePacket(type, static_cast<std::uint16_t>(file % 3 + 1), body, protect);
  return true;
}

}  // namespace kestrune::server
