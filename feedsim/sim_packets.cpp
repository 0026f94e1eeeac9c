#include "feedsim/sim_packets.h"

#include "client/wire.h"

namespace kestrune::feedsim {

std::string alertBody(const AlertRecord& alert) {
  std::string body = alert.plain;
  if (alert.packed.empty()) return body;
  body += ';';
  std::string packed;
  // The numeric fields hold only digits, '.', '-' and '|', which the code always carries.
  packDigits(alert.packed, packed);
  body += packed;
  return body;
}

std::string sampleBody(const ChartSample& sample) {
  std::string packed;
  packDigits(sampleText(sample), packed);
  return packed;
}

Packet alertPacket(const AlertRecord& alert, bool protect) {
  std::string body = alertBody(alert);
  if (body.size() > kMaxBodyLength) body.resize(kMaxBodyLength);
  return makePacket(MSG_ALERT_RECORD, static_cast<std::uint16_t>(alert.kind), body, protect);
}

Packet samplePacket(const ChartSample& sample, bool protect) {
  std::string body = sampleBody(sample);
  if (body.size() > kMaxBodyLength) body.resize(kMaxBodyLength);
  return makePacket(MSG_CHART_SAMPLE, static_cast<std::uint16_t>(sample.kind), body, protect);
}

Packet oversizePacket(bool protect, std::size_t length) {
  if (length <= kMaxPacketLength) length = kMaxPacketLength + 1;
  return makePacket(MSG_SERVER_TEXT, 0, std::string(length - kHeaderSize, 'X'), protect);
}

void spoilCheckValue(std::uint8_t* packet, std::size_t n) {
  if (n < kHeaderSize) return;
  PacketHeader h = PacketHeader::parse(packet);
  h.crc = 0;
  h.serialize(packet);
  std::uint32_t right = packetCrc(packet, n);
  h.crc = (right ^ 0x5A5Au) & 0xFFFFu;
  if (h.crc == 0) h.crc = 1;
  h.serialize(packet);
}

}  // namespace kestrune::feedsim
