// Wire bodies and whole packets of what the simulator sends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "feedsim/market_day.h"

namespace kestrune::feedsim {

using Packet = std::vector<std::uint8_t>;

// Type-33 body: the plain fields, ';', then the numeric fields in the packed-digit code.
std::string alertBody(const AlertRecord& alert);
// Type-34 body: the whole sample text in the packed-digit code.
std::string sampleBody(const ChartSample& sample);

// A text message (types 6-11, 21, 22): the text cut to fit one packet, and its NUL.
Packet textPacket(std::uint16_t type, std::string_view text, bool protect);
Packet alertPacket(const AlertRecord& alert, bool protect);
Packet samplePacket(const ChartSample& sample, bool protect);

// The packet that carries a recorded line of data file 0-5 back to a client: an alert record
// (type 33) for files 0-2, a chart sample (type 34) for files 3-5, kind 1-3 by the file, with a
// body that decodes to exactly text. False when no body within the packet size limit does.
bool recordedPacket(int file, std::string_view text, bool protect, Packet& out);

// A header-only packet of a type.
Packet emptyPacket(std::uint16_t type, bool protect);

// A packet longer than any receiver accepts (136 bytes or more).
Packet oversizePacket(bool protect, std::size_t length = 200);

// Spoils the check value of a whole packet: never 0 (which would mean "not protected") and
// never the right value.
void spoilCheckValue(std::uint8_t* packet, std::size_t n);
inline void spoilCheckValue(Packet& packet) { spoilCheckValue(packet.data(), packet.size()); }

}  // namespace kestrune::feedsim
