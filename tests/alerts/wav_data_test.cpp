// WAV header reading and the in-memory conversion for formats the player refuses.
#include "alerts/wav_data.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/alerts/wav_builder.h"

namespace kestrune {
namespace {

using test::makeWav;
using test::put;

std::int16_t sampleAt(const std::vector<std::uint8_t>& wav, std::size_t i) {
  return static_cast<std::int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
}

TEST(WavDataTest, PlainPcmPlaysAsIs) {
  for (std::uint16_t bits : {8, 16}) {
    for (std::uint16_t ch : {1, 2}) {
      for (std::uint32_t rate : {8000u, 22050u, 44100u, 48000u}) {
        auto w = makeWav(1, ch, rate, bits, std::vector<std::uint8_t>(ch * bits / 8 * 10, 0x80));
        auto f = parseWav(w);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->sampleRate, rate);
        EXPECT_TRUE(wavPlaysAsIs(*f, w));
      }
    }
  }
}

TEST(WavDataTest, WiderFormatsConvertToPcm16) {
  // 32-bit integer PCM, stereo: full scale positive, then half scale negative.
  std::vector<std::uint8_t> d;
  put(d, 0x7FFFFFFF, 4);
  put(d, static_cast<std::uint32_t>(-0x40000000), 4);
  auto w32 = makeWav(1, 2, 44100, 32, d);
  ASSERT_TRUE(parseWav(w32));
  EXPECT_FALSE(wavPlaysAsIs(*parseWav(w32), w32));
  auto out = convertWavToPcm16(w32);
  ASSERT_TRUE(out);
  auto f = parseWav(*out);
  ASSERT_TRUE(f);
  EXPECT_TRUE(wavPlaysAsIs(*f, *out));
  EXPECT_EQ(f->channels, 2);
  EXPECT_EQ(f->sampleRate, 44100u);
  EXPECT_EQ(sampleAt(*out, 0), 32767);
  EXPECT_EQ(sampleAt(*out, 1), -16384);

  // 24-bit PCM and 32-bit float behind an extensible header.
  std::vector<std::uint8_t> d24 = {0x00, 0x00, 0x40};
  auto out24 = convertWavToPcm16(makeWav(1, 1, 8000, 24, d24, true));
  ASSERT_TRUE(out24);
  EXPECT_EQ(sampleAt(*out24, 0), 16384);
  float half = -0.5f;
  std::uint32_t bits;
  std::memcpy(&bits, &half, 4);
  std::vector<std::uint8_t> df;
  put(df, bits, 4);
  auto outF = convertWavToPcm16(makeWav(3, 1, 48000, 32, df, true));
  ASSERT_TRUE(outF);
  EXPECT_EQ(sampleAt(*outF, 0), -16384);

  // Six channels keep the first two.
  std::vector<std::uint8_t> d6;
  for (int c = 0; c < 6; ++c) put(d6, static_cast<std::uint32_t>(c * 1000), 2);
  auto out6 = convertWavToPcm16(makeWav(1, 6, 22050, 16, d6));
  ASSERT_TRUE(out6);
  EXPECT_EQ(parseWav(*out6)->channels, 2);
  EXPECT_EQ(sampleAt(*out6, 1), 1000);
}

TEST(WavDataTest, JunkIsRefused) {
  EXPECT_FALSE(parseWav({}));
  std::vector<std::uint8_t> text(100, 'a');
  EXPECT_FALSE(parseWav(text));
  EXPECT_FALSE(convertWavToPcm16(text));
  auto w = makeWav(1, 1, 8000, 16, std::vector<std::uint8_t>(20, 0));
  EXPECT_FALSE(parseWav(std::span(w).first(30)));  // cut inside the format chunk
  auto compressed = makeWav(2, 1, 8000, 4, std::vector<std::uint8_t>(20, 0));  // ADPCM
  EXPECT_FALSE(parseWav(compressed));
  auto zeroChannels = makeWav(1, 0, 8000, 16, std::vector<std::uint8_t>(20, 0));
  EXPECT_FALSE(parseWav(zeroChannels));
  // A data chunk that claims more than the file holds is read as far as it goes.
  auto cut = std::vector<std::uint8_t>(w.begin(), w.end() - 10);
  auto f = parseWav(cut);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->dataSize, 10u);
}

TEST(WavDataTest, BeepIsAudiblePcm16) {
  auto beep = makeBeepWav();
  auto f = parseWav(beep);
  ASSERT_TRUE(f);
  EXPECT_TRUE(wavPlaysAsIs(*f, beep));
  int peak = 0;
  for (std::size_t i = 0; i < f->dataSize / 2; ++i)
    peak = std::max(peak, std::abs(sampleAt(beep, i)));
  EXPECT_GT(peak, 10000);
}

}  // namespace
}  // namespace kestrune
