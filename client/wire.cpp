#include "client/wire.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrune {
namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t value = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      const bool top = (value & 0x8000u) != 0;
      value = static_cast<std::uint16_t>(value << 1);
      if (top) value ^= 0x1021u;
    }
    table[i] = value;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();
static_assert(kCrcTable[1] == 0x1021 && kCrcTable[128] == 0x9188 && kCrcTable[255] == 0x1EF0);

// The update is linear, so four table steps over a word fold into one lookup per byte:
// kSlice[k][x] is what byte x contributes when it still has k more steps to go.
using SliceTables = std::array<std::array<std::uint16_t, 256>, 4>;
constexpr SliceTables makeSliceTables() {
  SliceTables t{};
  for (unsigned x = 0; x < 256; ++x) {
    std::uint32_t r = kCrcTable[x];
    t[0][x] = static_cast<std::uint16_t>(r);
    for (int k = 1; k < 4; ++k) {
      r = (r >> 8) ^ kCrcTable[r & 0xFF];
      t[k][x] = static_cast<std::uint16_t>(r);
    }
  }
  return t;
}
constexpr SliceTables kSlice = makeSliceTables();

void putLe16(std::uint8_t* out, std::uint16_t v) {
  out[0] = static_cast<std::uint8_t>(v);
  out[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t getLe16(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t getLe32(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
         (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
}

constexpr std::size_t kCrcOffset = 8;

// Nibble code -> character; 0 means "nothing" (padding).
constexpr char kNibbleChar[16] = {0,   '0', '1', '2', '3', '4', '5', '6',
                                  '7', '8', '9', '.', '|', '-', 0,   0};

int nibbleFor(char c) {
  if (c >= '0' && c <= '9') return c - '0' + 1;
  if (c == '.') return 11;
  if (c == '|') return 12;
  if (c == '-') return 13;
  return -1;
}

constexpr int kPadNibble = 15;

}  // namespace

void PacketHeader::serialize(std::uint8_t* out) const {
  putLe16(out, type);
  putLe16(out + 2, kind);
  putLe32(out + 4, length);
  putLe32(out + kCrcOffset, crc);
}

PacketHeader PacketHeader::parse(const std::uint8_t* in) {
  PacketHeader h;
  h.type = getLe16(in);
  h.kind = getLe16(in + 2);
  h.length = getLe32(in + 4);
  h.crc = getLe32(in + kCrcOffset);
  return h;
}

std::uint32_t packetCrc(const std::uint8_t* bytes, std::size_t n) {
  std::uint32_t r = 0xFFFFFFFFu;
  // Four bytes per round: XOR the little-endian word in, then the four table steps at once.
  while (n >= 4) {
    r ^= getLe32(bytes);
    r = kSlice[3][r & 0xFF] ^ kSlice[2][(r >> 8) & 0xFF] ^ kSlice[1][(r >> 16) & 0xFF] ^
        kSlice[0][r >> 24];
    bytes += 4;
    n -= 4;
  }
  while (n-- > 0) r = (r >> 8) ^ kCrcTable[(r ^ *bytes++) & 0xFF];
  return r;
}

void protectPacket(std::uint8_t* packet, std::size_t n) {
  if (n < kHeaderSize) return;
  putLe32(packet + kCrcOffset, 0);
  putLe32(packet + kCrcOffset, packetCrc(packet, n));
}

bool checkPacket(std::uint8_t* packet, std::size_t available) {
  if (available < kHeaderSize) return false;
  const std::uint32_t received = getLe32(packet + kCrcOffset);
  if (received == 0) return true;
  putLe32(packet + kCrcOffset, 0);
  const std::uint32_t length = getLe32(packet + 4);
  if (length >= kMaxPacketLength + 1) return false;
  // A length below 12 is a header-only packet: the header is what was sent.
  const std::size_t covered = std::max<std::size_t>(length, kHeaderSize);
  if (covered > available) return false;
  return packetCrc(packet, covered) == received;
}

std::vector<std::uint8_t> makePacket(std::uint16_t type, std::uint16_t kind, std::string_view body,
                                     bool protect) {
  std::vector<std::uint8_t> packet(kHeaderSize + body.size());
  PacketHeader h;
  h.type = type;
  h.kind = kind;
  h.length = static_cast<std::uint32_t>(packet.size());
  h.serialize(packet.data());
  if (!body.empty()) std::memcpy(packet.data() + kHeaderSize, body.data(), body.size());
  if (protect) protectPacket(packet.data(), packet.size());
  return packet;
}

std::size_t decodeRecordBody(std::uint16_t type, const char* body, std::size_t bodyLength,
                             char* out, std::size_t outSize) {
  if (outSize == 0) return 0;
  const std::size_t limit = outSize - 1;
  std::size_t o = 0;
  std::size_t i = 0;
  bool packed = (type == MSG_CHART_SAMPLE);
  const bool plainOnly = (type != MSG_CHART_SAMPLE && type != MSG_ALERT_RECORD);
  for (; i < bodyLength && body[i] != '\0' && o < limit; ++i) {
    const auto byte = static_cast<unsigned char>(body[i]);
    if (!packed) {
      if (byte == ';' && !plainOnly) {
        packed = true;
        continue;
      }
      out[o++] = static_cast<char>(byte);
      continue;
    }
    const char high = kNibbleChar[byte >> 4];
    const char low = kNibbleChar[byte & 0x0F];
    if (high != 0) out[o++] = high;
    if (low != 0 && o < limit) out[o++] = low;
  }
  out[o] = '\0';
  return o;
}

std::string decodeRecordBody(std::uint16_t type, std::string_view body) {
  std::string out(2 * body.size() + 1, '\0');
  out.resize(decodeRecordBody(type, body.data(), body.size(), out.data(), out.size()));
  return out;
}

bool packDigits(std::string_view text, std::string& out) {
  std::string packed;
  packed.reserve((text.size() + 1) / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = nibbleFor(text[i]);
    const int low = i + 1 < text.size() ? nibbleFor(text[i + 1]) : kPadNibble;
    if (high < 0 || low < 0) return false;
    packed.push_back(static_cast<char>((high << 4) | low));
  }
  out = std::move(packed);
  return true;
}

bool encodeRecordBody(std::uint16_t type, std::string_view text, std::string& out) {
  if (type == MSG_CHART_SAMPLE) return packDigits(text, out);
  if (type != MSG_ALERT_RECORD) {
    if (text.find('\0') != std::string_view::npos) return false;
    out.assign(text);
    return true;
  }
  if (text.find(';') != std::string_view::npos || text.find('\0') != std::string_view::npos)
    return false;
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (nibbleFor(text[i]) < 0) plain = i + 1;
  if (plain == text.size()) {
    out.assign(text);
    return true;
  }
  std::string packed;
  if (!packDigits(text.substr(plain), packed)) return false;
  out.assign(text.substr(0, plain));
  out.push_back(';');
  out += packed;
  return true;
}

std::string loginText(std::string_view user, std::string_view password, std::uint8_t clientType,
                      std::string_view appVersion) {
  std::string text;
  text.reserve(user.size() + password.size() + appVersion.size() + 8);
  // Each value stops at its own NUL, as a C string would.
  auto cStr = [](std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); };
  text.append(cStr(user));
  text.push_back(' ');
  text.append(cStr(password));
  text.push_back(' ');
  text.append(std::to_string(clientType));
  text.push_back(' ');
  text.append(cStr(appVersion));
  if (text.size() > kMaxBodyLength - 1) text.resize(kMaxBodyLength - 1);
  return text;
}

}  // namespace kestrune
