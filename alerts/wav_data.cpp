#include "alerts/wav_data.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kestrune {

namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v));
  put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::vector<std::uint8_t> pcm16Header(std::uint16_t channels, std::uint32_t rate,
                                      std::uint32_t dataBytes) {
  std::vector<std::uint8_t> out;
  out.reserve(44 + dataBytes);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(out, 36 + dataBytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(out, 16);
  put16(out, 1);
  put16(out, channels);
  put32(out, rate);
  put32(out, rate * channels * 2);
  put16(out, static_cast<std::uint16_t>(channels * 2));
  put16(out, 16);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, dataBytes);
  return out;
}

// One sample as a value in [-1, 1].
double readSample(const std::uint8_t* p, const WavFormat& f) {
  if (f.formatTag == 3) {
    if (f.bitsPerSample == 32) {
      std::uint32_t bits = le32(p);
      float v;
      std::memcpy(&v, &bits, sizeof v);
      return std::isfinite(v) ? v : 0.0;
    }
    std::uint64_t bits = std::uint64_t{le32(p)} | std::uint64_t{le32(p + 4)} << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return std::isfinite(v) ? v : 0.0;
  }
  switch (f.bitsPerSample) {
    case 8:
      return (p[0] - 128) / 128.0;
    case 16:
      return static_cast<std::int16_t>(le16(p)) / 32768.0;
    case 24: {
      std::int32_t v = static_cast<std::int32_t>(
          std::uint32_t{p[0]} << 8 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 24);
      return v / 2147483648.0;
    }
    default:
      return static_cast<std::int32_t>(le32(p)) / 2147483648.0;
  }
}

}  // namespace

std::optional<WavFormat> parseWav(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    return std::nullopt;
  }
  WavFormat f;
  bool haveFormat = false;
  std::size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const std::uint8_t* chunk = bytes.data() + pos;
    std::size_t size = le32(chunk + 4);
    std::size_t body = pos + 8;
    std::size_t avail = bytes.size() - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || avail < 16) return std::nullopt;
      const std::uint8_t* p = bytes.data() + body;
      f.formatTag = le16(p);
      f.channels = le16(p + 2);
      f.sampleRate = le32(p + 4);
      f.blockAlign = le16(p + 12);
      f.bitsPerSample = le16(p + 14);
      // Extensible header: the real format is the first two bytes of the sub-format GUID.
      if (f.formatTag == 0xFFFE && size >= 40 && avail >= 40) f.formatTag = le16(p + 24);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return std::nullopt;
      f.dataOffset = body;
      f.dataSize = std::min(size, avail);
      break;
    }
    if (size > avail) return std::nullopt;
    pos = body + size + (size & 1);
  }
  if (!haveFormat || f.dataOffset == 0 || f.channels == 0 || f.sampleRate == 0) return std::nullopt;
  bool pcm = f.formatTag == 1 && (f.bitsPerSample == 8 || f.bitsPerSample == 16 ||
                                  f.bitsPerSample == 24 || f.bitsPerSample == 32);
  bool flt = f.formatTag == 3 && (f.bitsPerSample == 32 || f.bitsPerSample == 64);
  if (!pcm && !flt) return std::nullopt;
  if (f.blockAlign < f.channels * (f.bitsPerSample / 8)) return std::nullopt;
  return f;
}

bool wavPlaysAsIs(const WavFormat& f, std::span<const std::uint8_t> bytes) {
  // A plain 16-byte "fmt " chunk right after the RIFF header is what every player reads.
  bool plainHeader = bytes.size() >= 20 && le32(bytes.data() + 16) == 16 &&
                     std::memcmp(bytes.data() + 12, "fmt ", 4) == 0;
  return plainHeader && f.formatTag == 1 && (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
         f.channels <= 2 && f.blockAlign == f.channels * f.bitsPerSample / 8;
}

std::optional<std::vector<std::uint8_t>> convertWavToPcm16(std::span<const std::uint8_t> bytes) {
  std::optional<WavFormat> parsed = parseWav(bytes);
  if (!parsed) return std::nullopt;
  const WavFormat& f = *parsed;
  std::uint16_t outChannels = std::min<std::uint16_t>(f.channels, 2);
  std::size_t frames = f.dataSize / f.blockAlign;
  std::size_t dataBytes = frames * outChannels * 2;
  if (dataBytes > 0xFFFFFFF0u - 36) return std::nullopt;
  std::vector<std::uint8_t> out =
      pcm16Header(outChannels, f.sampleRate, static_cast<std::uint32_t>(dataBytes));
  std::size_t bytesPerSample = f.bitsPerSample / 8;
  for (std::size_t i = 0; i < frames; ++i) {
    const std::uint8_t* frame = bytes.data() + f.dataOffset + i * f.blockAlign;
    for (std::uint16_t c = 0; c < outChannels; ++c) {
      double v = std::clamp(readSample(frame + c * bytesPerSample, f), -1.0, 1.0);
      auto s = static_cast<std::int16_t>(std::lround(v * 32767.0));
      put16(out, static_cast<std::uint16_t>(s));
    }
  }
  return out;
}

std::vector<std::uint8_t> makeBeepWav() {
  constexpr std::uint32_t kRate = 22050;
  constexpr std::uint32_t kFrames = kRate / 5;  // 200 ms at 880 Hz
  std::vector<std::uint8_t> out = pcm16Header(1, kRate, kFrames * 2);
  for (std::uint32_t i = 0; i < kFrames; ++i) {
    double t = static_cast<double>(i) / kRate;
    double fade = std::min({1.0, i / 200.0, (kFrames - i) / 200.0});
    auto s = static_cast<std::int16_t>(
        std::lround(std::sin(2 * std::numbers::pi * 880.0 * t) * 0.5 * 32767.0 * fade));
    put16(out, static_cast<std::uint16_t>(s));
  }
  return out;
}

}  // namespace kestrune
