// Whole packets a server sends: texts, header-only packets, and records rebuilt from their text.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrune::server {

using Packet = std::vector<std::uint8_t>;

// A text message (types 6-11, 21, 22): the text cut to fit one packet, and its NUL.
Packet textPacket(std::uint16_t type, std::string_view text, bool protect);

// A header-only packet of a type.
Packet emptyPacket(std::uint16_t type, bool protect);

// The packet that carries a line of data file 0-5 (the record's decoded text) to a client: an
// alert record (type 33) for files 0-2, a chart sample (type 34) for files 3-5, kind 1-3 by the
// file, with a body that decodes to exactly text. False when no body within the packet size
// limit does.
bool recordedPacket(int file, std::string_view text, bool protect, Packet& out);

}  // namespace kestrune::server
