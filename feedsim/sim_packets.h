// Wire bodies and whole packets of what the simulator sends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "feedsim/market_day.h"
#include "server/server_packets.h"

namespace kestrune::feedsim {

using server::emptyPacket;
using server::Packet;
using server::recordedPacket;
using server::textPacket;

// Type-33 body: the plain fields, ';', then the numeric fields in the packed-digit code.
std::string alertBody(const AlertRecord& alert);
// Type-34 body: the whole sample text in the packed-digit code.
std::string sampleBody(const ChartSample& sample);

Packet alertPacket(const AlertRecord& alert, bool protect);
Packet samplePacket(const ChartSample& sample, bool protect);

// A packet longer than any receiver accepts (136 bytes or more).
Packet oversizePacket(bool protect, std::size_t length = 200);

// Spoils the check value of a whole packet: never 0 (which would mean "not protected") and
// never the right value.
void spoilCheckValue(std::uint8_t* packet, std::size_t n);
inline void spoilCheckValue(Packet& packet) { spoilCheckValue(packet.data(), packet.size()); }

}  // namespace kestrune::feedsim
