// Fuzzing the packet code: header, check value, record bodies, all from arbitrary bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "client/wire.h"
#include "tests/fuzz/fuzz_support.h"

namespace kestrune {
namespace {

using fuzz::Rng;

// The check value one bit at a time, straight from its definition: a table of the polynomial
// 0x1021, updated from the right, starting at 0xFFFFFFFF.
std::uint32_t referenceCrc(const std::uint8_t* bytes, std::size_t n) {
  auto tableEntry = [](unsigned i) {
    std::uint16_t value = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit)
      value = static_cast<std::uint16_t>((value & 0x8000u) ? (value << 1) ^ 0x1021u : value << 1);
    return value;
  };
  std::uint32_t r = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) r = (r >> 8) ^ tableEntry((r ^ bytes[i]) & 0xFF);
  return r;
}

// What a body decodes to, written the plain way: the whole text, then cut.
std::string referenceDecode(std::uint16_t type, const std::string& body, std::size_t limit) {
  static const char kNibble[16] = {0,   '0', '1', '2', '3', '4', '5', '6',
                                   '7', '8', '9', '.', '|', '-', 0,   0};
  std::string out;
  const std::string text = body.substr(0, body.find('\0'));
  std::size_t i = 0;
  if (type == MSG_ALERT_RECORD) {
    const std::size_t semi = text.find(';');
    out = text.substr(0, semi);
    i = semi == std::string::npos ? text.size() : semi + 1;
  } else if (type != MSG_CHART_SAMPLE) {
    out = text;
    i = text.size();
  }
  for (; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (kNibble[b >> 4]) out.push_back(kNibble[b >> 4]);
    if (kNibble[b & 15]) out.push_back(kNibble[b & 15]);
  }
  return out.substr(0, limit);
}

std::uint16_t randomType(Rng& rng) {
  switch (rng.below(4)) {
    case 0:
      return MSG_ALERT_RECORD;
    case 1:
      return MSG_CHART_SAMPLE;
    case 2:
      return static_cast<std::uint16_t>(rng.below(40));
    default:
      return static_cast<std::uint16_t>(rng.next());
  }
}

TEST(FuzzWire, HeaderRoundTripAndLengthRules) {
  Rng rng(0x5EED0001);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    std::uint8_t raw[kHeaderSize];
    for (auto& b : raw) b = rng.byte();
    // Lengths near the limits are where mistakes live.
    if (rng.chance(2)) {
      const std::uint32_t len = static_cast<std::uint32_t>(rng.range(0, 140));
      for (int k = 0; k < 4; ++k) raw[4 + k] = static_cast<std::uint8_t>(len >> (8 * k));
    }
    const PacketHeader h = PacketHeader::parse(raw);
    std::uint8_t back[kHeaderSize];
    h.serialize(back);
    ASSERT_EQ(0, std::memcmp(raw, back, kHeaderSize));
    const std::uint32_t len = raw[4] | raw[5] << 8 | raw[6] << 16 | std::uint32_t{raw[7]} << 24;
    ASSERT_EQ(h.length, len);
    ASSERT_EQ(h.bodyLength(), len > kHeaderSize ? len - kHeaderSize : 0u);
    ASSERT_EQ(h.tooLong(), len > kMaxPacketLength);
  }
}

TEST(FuzzWire, CheckValueMatchesBitwiseReference) {
  Rng rng(0x5EED0002);
  const int n = fuzz::iterations(8000);
  for (int it = 0; it < n; ++it) {
    // An exact-size heap copy, so a read past the end is caught by the address checker.
    const std::vector<std::uint8_t> bytes = fuzz::randomBytes(rng, 300);
    auto exact = std::make_unique<std::uint8_t[]>(bytes.size() + (bytes.empty() ? 1 : 0));
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    ASSERT_EQ(packetCrc(exact.get(), bytes.size()), referenceCrc(bytes.data(), bytes.size()))
        << "length " << bytes.size();
    if (bytes.size() >= 2) {
      ASSERT_LE(packetCrc(exact.get(), bytes.size()), 0xFFFFu);
    }
  }
}

// checkPacket on arbitrary buffers, against the rule written out once more: reject short
// buffers, accept a zero check value unchecked, otherwise zero the field and compare over the
// covered bytes, never reading past what is available.
TEST(FuzzWire, CheckPacketOnArbitraryBuffers) {
  Rng rng(0x5EED0003);
  const int n = fuzz::iterations(20000);
  int accepted = 0;
  for (int it = 0; it < n; ++it) {
    std::vector<std::uint8_t> packet;
    if (rng.chance(2)) {
      const std::string body = fuzz::randomText(rng, 160);
      packet = makePacket(randomType(rng), static_cast<std::uint16_t>(rng.below(5)), body,
                          !rng.chance(5));
      if (!rng.chance(3)) fuzz::mutate(rng, packet, 400);
    } else {
      packet = fuzz::randomBytes(rng, 200);
      if (packet.size() >= kHeaderSize && rng.chance(2)) {
        const auto len = static_cast<std::uint32_t>(rng.range(0, 220));
        for (int k = 0; k < 4; ++k) packet[4 + k] = static_cast<std::uint8_t>(len >> (8 * k));
      }
    }
    const std::size_t available = packet.size();
    auto exact = std::make_unique<std::uint8_t[]>(available + 1);
    if (available) std::memcpy(exact.get(), packet.data(), available);

    bool expected = false;
    std::vector<std::uint8_t> zeroed = packet;
    if (available >= kHeaderSize) {
      const std::uint32_t crc =
          packet[8] | packet[9] << 8 | packet[10] << 16 | std::uint32_t{packet[11]} << 24;
      const std::uint32_t len =
          packet[4] | packet[5] << 8 | packet[6] << 16 | std::uint32_t{packet[7]} << 24;
      if (crc == 0) {
        expected = true;
      } else {
        std::memset(zeroed.data() + 8, 0, 4);
        const std::size_t covered = std::max<std::size_t>(len, kHeaderSize);
        expected = len <= kMaxPacketLength && covered <= available &&
                   referenceCrc(zeroed.data(), covered) == crc;
      }
    }
    const bool got = checkPacket(exact.get(), available);
    ASSERT_EQ(got, expected) << "iteration " << it;
    if (available >= kHeaderSize) {
      ASSERT_EQ(0, std::memcmp(exact.get(), zeroed.data(), available));
    }
    accepted += got;
  }
  EXPECT_GT(accepted, n / 10);  // the generator must reach the accepting paths too
}

TEST(FuzzWire, ProtectedPacketsPassTheirCheck) {
  Rng rng(0x5EED0004);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    const std::string body = fuzz::randomText(rng, kMaxBodyLength);
    std::vector<std::uint8_t> packet = makePacket(randomType(rng), 1, body, true);
    const PacketHeader h = PacketHeader::parse(packet.data());
    ASSERT_EQ(h.length, packet.size());
    ASSERT_EQ(h.bodyLength(), body.size());
    // A check value that happens to be 0 reads as "unprotected"; either way the packet passes.
    ASSERT_TRUE(checkPacket(packet.data(), packet.size()));
  }
}

// decodeRecordBody into buffers of every size: always terminated, never past the buffer, no NUL
// inside, and the same text as the plain decoder cut to the buffer.
TEST(FuzzWire, DecodeIntoFixedBufferMatchesReference) {
  Rng rng(0x5EED0005);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    std::string body = fuzz::randomText(rng, 2 * kMaxBodyLength);
    if (rng.chance(2)) {
      std::string encoded;
      std::string text = fuzz::randomText(rng, 200);
      if (encodeRecordBody(MSG_CHART_SAMPLE, text, encoded)) body = encoded;
    }
    const std::uint16_t type = randomType(rng);
    const std::size_t bodyLength = rng.chance(4) ? rng.below(body.size() + 1) : body.size();
    const std::size_t outSize = rng.chance(3) ? kDecodedBufferSize : rng.below(300);

    auto in = std::make_unique<char[]>(bodyLength + 1);
    std::memcpy(in.get(), body.data(), bodyLength);
    auto out = std::make_unique<char[]>(outSize + 1);
    out[outSize] = '\x5A';  // guard byte, outside what the decoder is given
    const std::size_t got = decodeRecordBody(type, in.get(), bodyLength, out.get(), outSize);
    ASSERT_EQ(out[outSize], '\x5A');
    if (outSize == 0) {
      ASSERT_EQ(got, 0u);
      continue;
    }
    ASSERT_LT(got, outSize);
    ASSERT_EQ(out[got], '\0');
    ASSERT_EQ(std::strlen(out.get()), got);
    ASSERT_EQ(std::string(out.get(), got),
              referenceDecode(type, body.substr(0, bodyLength), outSize - 1))
        << "type " << type << " iteration " << it;
    // A whole body always fits the receiver's buffer.
    if (bodyLength <= kMaxBodyLength && outSize == kDecodedBufferSize) {
      ASSERT_EQ(got, referenceDecode(type, body.substr(0, bodyLength), 1000).size());
    }
  }
}

// Every text the server can carry comes back unchanged, through both decoders.
TEST(FuzzWire, EncodeDecodeRoundTrip) {
  Rng rng(0x5EED0006);
  const int n = fuzz::iterations(20000);
  static const char kPackable[] = "0123456789.|-";
  int carried = 0;
  for (int it = 0; it < n; ++it) {
    const std::uint16_t type = rng.chance(2) ? MSG_ALERT_RECORD : MSG_CHART_SAMPLE;
    std::string text;
    const std::size_t len = rng.below(rng.chance(8) ? 400 : 120);
    for (std::size_t k = 0; k < len; ++k) {
      if (type == MSG_CHART_SAMPLE || rng.chance(3))
        text.push_back(kPackable[rng.below(sizeof kPackable - 1)]);
      else
        text.push_back(static_cast<char>(rng.chance(2) ? 'A' + rng.below(26) : rng.byte()));
    }
    std::string body;
    const bool ok = encodeRecordBody(type, text, body);
    const bool carriable = type == MSG_CHART_SAMPLE || (text.find(';') == std::string::npos &&
                                                        text.find('\0') == std::string::npos);
    ASSERT_EQ(ok, carriable);
    if (!ok) continue;
    ++carried;
    ASSERT_EQ(body.find('\0'), std::string::npos);  // a NUL would end the body early
    ASSERT_LE(body.size(), text.size() + 1);
    ASSERT_EQ(decodeRecordBody(type, body), text);
    if (body.size() <= kMaxBodyLength) {
      char out[kDecodedBufferSize];
      const std::size_t got = decodeRecordBody(type, body.data(), body.size(), out, sizeof out);
      ASSERT_EQ(std::string(out, got), text);
    }
  }
  EXPECT_GT(carried, n / 2);
}

TEST(FuzzWire, LoginTextFitsOnePacket) {
  Rng rng(0x5EED0007);
  const int n = fuzz::iterations(5000);
  for (int it = 0; it < n; ++it) {
    const std::string user = fuzz::randomText(rng, 150);
    const std::string password = fuzz::randomText(rng, 150);
    const std::string version = fuzz::randomText(rng, 20);
    const std::string text = loginText(user, password, rng.byte(), version);
    ASSERT_LT(text.size(), kMaxBodyLength);
    ASSERT_EQ(text.find('\0'), std::string::npos);
    // The user name leads, up to its own NUL.
    const std::string cUser = user.substr(0, user.find('\0'));
    ASSERT_EQ(text.substr(0, std::min(cUser.size(), text.size())),
              cUser.substr(0, std::min(cUser.size(), text.size())));
  }
}

}  // namespace
}  // namespace kestrune
