// Packet format shared by the monitor and its server: the 12-byte header, the message types,
// the 16-bit check value, and the packed-digit code of record bodies. Pure functions over
// bytes: no sockets, no threads, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// Message types. Values below 256; the header carries them as 16-bit fields.
inline constexpr std::uint16_t MSG_DISCONNECT = 2;
inline constexpr std::uint16_t MSG_PING = 3;
inline constexpr std::uint16_t MSG_CRC_ON = 4;
inline constexpr std::uint16_t MSG_CRC_OFF = 5;
inline constexpr std::uint16_t MSG_LOGIN = 6;
inline constexpr std::uint16_t MSG_BAD_USER = 7;
inline constexpr std::uint16_t MSG_SESSION_START = 8;
inline constexpr std::uint16_t MSG_SESSION_DATE = 9;
inline constexpr std::uint16_t MSG_ACCOUNT_IN_USE = 10;
inline constexpr std::uint16_t MSG_INVALID_APP = 11;
inline constexpr std::uint16_t MSG_DISCONNECTED = 20;  // local report only, never on the wire
inline constexpr std::uint16_t MSG_STATUS = 21;
inline constexpr std::uint16_t MSG_SERVER_TEXT = 22;
inline constexpr std::uint16_t MSG_ALERT_RECORD = 33;
inline constexpr std::uint16_t MSG_CHART_SAMPLE = 34;

inline constexpr std::size_t kHeaderSize = 12;
// A packet is at most 135 bytes: the header plus at most 123 body bytes.
inline constexpr std::size_t kMaxPacketLength = 135;
inline constexpr std::size_t kMaxBodyLength = kMaxPacketLength - kHeaderSize;
// Every receiver keeps the body plus the NUL it appends.
inline constexpr std::size_t kBodyBufferSize = kMaxBodyLength + 1;
// A decoded record is at most twice its packed part, plus the NUL.
inline constexpr std::size_t kDecodedBufferSize = 2 * kMaxBodyLength + 1;

// The 12 bytes at the start of every packet, little-endian on the wire.
struct PacketHeader {
  std::uint16_t type = 0;
  std::uint16_t kind = 0;              // 1..3 for types 33 and 34; 0 in everything we send
  std::uint32_t length = kHeaderSize;  // whole packet, header included
  std::uint32_t crc = 0;               // 0 = not protected

  // Writes exactly kHeaderSize bytes.
  void serialize(std::uint8_t* out) const;
  // Reads exactly kHeaderSize bytes.
  static PacketHeader parse(const std::uint8_t* in);

  // A length below 12 is a packet without body.
  std::size_t bodyLength() const { return length > kHeaderSize ? length - kHeaderSize : 0; }
  bool tooLong() const { return length > kMaxPacketLength; }
};

// The check value over n bytes (the table of the polynomial 0x1021, updated from the right,
// starting at 0xFFFFFFFF, no final XOR). After two or more bytes it fits in 16 bits.
std::uint32_t packetCrc(const std::uint8_t* bytes, std::size_t n);

// Sender side: sets the crc field of a complete packet (n bytes, header first) to 0, then to
// the check value of all n bytes.
void protectPacket(std::uint8_t* packet, std::size_t n);

// Receiver side, for a complete packet held in `packet` (`available` bytes, header first; the
// length field says how many belong to it). A crc of 0 is accepted unchecked. Otherwise the crc
// field is zeroed in the buffer and the packet is accepted only if it is shorter than 136
// bytes and its check value matches. A header length below 12 is checked over the 12 header
// bytes; a length larger than `available` is rejected, never read past.
bool checkPacket(std::uint8_t* packet, std::size_t available);

// Builds a whole packet: header (crc filled in when `protect`) followed by `body`. The length
// is not limited here so that a test server can also send faulty packets; callers that send
// real traffic keep the body within kMaxBodyLength.
std::vector<std::uint8_t> makePacket(std::uint16_t type, std::uint16_t kind, std::string_view body,
                                     bool protect);

// Decodes a type-33 or type-34 body up to its NUL (or `bodyLength` bytes) into `out`, always
// NUL-terminated and cut to `outSize`. Type 33: plain characters up to the first ';', which is
// dropped, then packed digits. Type 34: packed digits throughout. Any other type is copied as
// plain text. Returns the decoded length without the NUL.
std::size_t decodeRecordBody(std::uint16_t type, const char* body, std::size_t bodyLength,
                             char* out, std::size_t outSize);
std::string decodeRecordBody(std::uint16_t type, std::string_view body);

// Packs digits, '.', '|' and '-' two to a byte (high nibble first, an odd length padded with
// code 15). Returns false and leaves `out` untouched if the text holds any other character.
bool packDigits(std::string_view text, std::string& out);

// The body the server sends for a decoded record text (without the NUL).
// Type 34: the whole text packed. Type 33: the shortest plain prefix that holds every
// character the code cannot carry, then ';' and the rest packed (no ';' when nothing is left
// to pack). Returns false when the text cannot be carried (a ';' or a NUL in a type-33 text,
// any non-packable character in a type-34 text).
bool encodeRecordBody(std::uint16_t type, std::string_view text, std::string& out);

// The login text "user password clientType appVersion", cut so that text and NUL fit the
// body of one packet.
std::string loginText(std::string_view user, std::string_view password, std::uint8_t clientType,
                      std::string_view appVersion);

}  // namespace kestrune
