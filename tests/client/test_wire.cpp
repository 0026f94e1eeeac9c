// Wire code: header bytes, check values, packet protection and the packed-digit code.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "client/socket_errors.h"
#include "client/wire.h"

namespace kestrune {
namespace {

std::uint32_t crcOf(std::string_view s) {
  return packetCrc(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::uint32_t storedCrc(const std::vector<std::uint8_t>& packet) {
  return PacketHeader::parse(packet.data()).crc;
}

TEST(PacketCrc, KnownCheckValues) {
  EXPECT_EQ(crcOf("abc"), 0x2250u);
  EXPECT_EQ(crcOf("123456789"), 0xD7D5u);
  // Word-at-a-time and byte-at-a-time give the same result at every length.
  const std::string text = "The quick brown fox jumps over the lazy dog 0123456789";
  for (std::size_t n = 0; n <= text.size(); ++n) {
    std::uint32_t r = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint16_t t =
          static_cast<std::uint16_t>(((r ^ static_cast<std::uint8_t>(text[i])) & 0xFF) << 8);
      for (int b = 0; b < 8; ++b)
        t = static_cast<std::uint16_t>((t & 0x8000) ? (t << 1) ^ 0x1021 : t << 1);
      r = (r >> 8) ^ t;
    }
    EXPECT_EQ(crcOf(std::string_view(text).substr(0, n)), r) << "length " << n;
  }
}

TEST(PacketCrc, ClientControlPackets) {
  const auto disconnect = makePacket(MSG_DISCONNECT, 0, {}, true);
  const std::vector<std::uint8_t> expected = {0x02, 0x00, 0x00, 0x00, 0x0C, 0x00,
                                              0x00, 0x00, 0xF7, 0x2E, 0x00, 0x00};
  EXPECT_EQ(disconnect, expected);
  EXPECT_EQ(storedCrc(makePacket(MSG_CRC_ON, 0, {}, true)), 0x28F7u);
  EXPECT_EQ(storedCrc(makePacket(MSG_CRC_OFF, 0, {}, true)), 0xBFEAu);
  const auto noReply = makePacket(MSG_PING, 0, std::string_view("\0", 1), true);
  ASSERT_EQ(noReply.size(), 13u);
  EXPECT_EQ(storedCrc(noReply), 0x381Du);
  EXPECT_EQ(storedCrc(makePacket(MSG_PING, 0, std::string_view("\1", 1), true)), 0x283Cu);
  EXPECT_EQ(storedCrc(makePacket(MSG_PING, 0, std::string_view("\1", 1), false)), 0u);
}

TEST(PacketHeader, RoundTripsLittleEndian) {
  PacketHeader h;
  h.type = 0x0122;
  h.kind = 3;
  h.length = 0x01020304;
  h.crc = 0xA1B2C3D4;
  std::uint8_t bytes[kHeaderSize];
  h.serialize(bytes);
  const std::uint8_t expected[kHeaderSize] = {0x22, 0x01, 0x03, 0x00, 0x04, 0x03,
                                              0x02, 0x01, 0xD4, 0xC3, 0xB2, 0xA1};
  EXPECT_EQ(std::memcmp(bytes, expected, kHeaderSize), 0);
  const PacketHeader back = PacketHeader::parse(bytes);
  EXPECT_EQ(back.type, h.type);
  EXPECT_EQ(back.kind, h.kind);
  EXPECT_EQ(back.length, h.length);
  EXPECT_EQ(back.crc, h.crc);
  EXPECT_TRUE(back.tooLong());

  PacketHeader shortOne;
  shortOne.length = 5;  // below 12: a packet without body
  EXPECT_EQ(shortOne.bodyLength(), 0u);
  EXPECT_FALSE(shortOne.tooLong());
}

TEST(CheckPacket, AcceptsGoodRejectsBad) {
  auto good = makePacket(MSG_ALERT_RECORD, 1, "AB;\x23\x4c", true);
  EXPECT_TRUE(checkPacket(good.data(), good.size()));

  auto corrupted = makePacket(MSG_ALERT_RECORD, 1, "AB;\x23\x4c", true);
  corrupted[13] ^= 0x01;
  EXPECT_FALSE(checkPacket(corrupted.data(), corrupted.size()));

  // An unprotected packet is accepted whatever its content.
  auto unprotected = makePacket(MSG_ALERT_RECORD, 1, "anything at all", false);
  EXPECT_TRUE(checkPacket(unprotected.data(), unprotected.size()));

  // 135 bytes is the largest packet; 136 is rejected even with a right check value.
  auto largest = makePacket(MSG_STATUS, 0, std::string(kMaxBodyLength, 'x'), true);
  ASSERT_EQ(largest.size(), 135u);
  EXPECT_TRUE(checkPacket(largest.data(), largest.size()));
  auto tooBig = makePacket(MSG_STATUS, 0, std::string(kMaxBodyLength + 1, 'x'), true);
  ASSERT_EQ(tooBig.size(), 136u);
  EXPECT_FALSE(checkPacket(tooBig.data(), tooBig.size()));

  // A length that claims more bytes than the buffer holds is never read past.
  auto lying = makePacket(MSG_STATUS, 0, "abc", true);
  lying[4] = 100;
  EXPECT_FALSE(checkPacket(lying.data(), lying.size()));

  // A length below 12 covers the header.
  auto stubby = makePacket(MSG_STATUS, 0, {}, false);
  stubby[4] = 3;
  protectPacket(stubby.data(), kHeaderSize);
  EXPECT_TRUE(checkPacket(stubby.data(), stubby.size()));
}

TEST(PackedDigits, DecodesTheDocumentedExamples) {
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, "\x2B"), "1.");
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, "\x1D"), "0-");
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, "\xC0"), "|");
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, "\x0E"), "");
  EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, "AB;\x23\x4C"), "AB123|");
  // No ';': plain text throughout; only the first ';' switches.
  EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, "MSFT|x"), "MSFT|x");
  EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, "A;\x3B"), "A2.");
  // A header-only packet carries an empty text; decoding stops at the NUL.
  EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, ""), "");
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, std::string_view("\x23\0\x45", 3)), "12");
}

TEST(PackedDigits, DecodeIntoFixedBufferNeverOverflows) {
  const std::string body(kMaxBodyLength, '\x99');  // every byte decodes to two digits
  char out[kDecodedBufferSize];
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, body.data(), body.size(), out, sizeof out),
            2 * kMaxBodyLength);
  char small[8];
  std::memset(small, 'Z', sizeof small);
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, body.data(), body.size(), small, sizeof small), 7u);
  EXPECT_STREQ(small, "8888888");
}

TEST(PackedDigits, EncoderRoundTrips) {
  std::string body;
  ASSERT_TRUE(encodeRecordBody(MSG_CHART_SAMPLE, "093015|12|0|-3|4.5", body));
  EXPECT_EQ(body.size(), 9u);
  EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, body), "093015|12|0|-3|4.5");
  EXPECT_EQ(body.find('\0'), std::string::npos);

  ASSERT_TRUE(encodeRecordBody(MSG_ALERT_RECORD, "MSFT|Q|Big move|093015|3100|12.5", body));
  EXPECT_EQ(body.substr(0, 16), "MSFT|Q|Big move;");
  EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, body), "MSFT|Q|Big move|093015|3100|12.5");

  ASSERT_TRUE(encodeRecordBody(MSG_ALERT_RECORD, "ABC", body));
  EXPECT_EQ(body, "ABC");
  ASSERT_TRUE(encodeRecordBody(MSG_ALERT_RECORD, "123", body));
  EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, body), "123");

  EXPECT_FALSE(encodeRecordBody(MSG_CHART_SAMPLE, "12a", body));
  EXPECT_FALSE(encodeRecordBody(MSG_ALERT_RECORD, "A;B|1", body));
}

TEST(LoginText, FormatsAndCutsToOnePacket) {
  EXPECT_EQ(loginText("trader", "pw", 2, "1.0.4"), "trader pw 2 1.0.4");
  const std::string longUser(255, 'u');
  const std::string text = loginText(longUser, "pw", 2, "1.0.4");
  EXPECT_EQ(text.size() + 1, kMaxBodyLength);  // with its NUL it fills the body exactly
}

TEST(SocketErrors, TextsKeepTheirNumbers) {
  EXPECT_EQ(socketErrorText(socketErrorFromErrno(ECONNREFUSED)),
            "The attempt to connect was forcefully rejected.");
  EXPECT_EQ(socketErrorText(socketErrorFromResolver(EAI_NONAME, 0)),
            "Authoritative Answer Host not found.");
  EXPECT_EQ(socketErrorText(10054),
            "10054 An existing connection was forcibly closed by the remote host. ");
  EXPECT_EQ(socketErrorText(-1), "Unknown error = -1");
  EXPECT_EQ(socketErrorText(12345), "Unknown error = 12345");
  EXPECT_TRUE(isRetryableSocketError(socketErrorFromErrno(EAGAIN)));
  EXPECT_FALSE(isRetryableSocketError(socketErrorFromErrno(ECONNRESET)));
}

}  // namespace
}  // namespace kestrune
