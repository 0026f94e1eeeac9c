// WAV inspection and conversion for the alarm player. The player takes 8-bit and 16-bit PCM; other
// valid WAV files (24/32-bit integer PCM, 32/64-bit float, extensible headers, more than two
// channels) are converted in memory to 16-bit PCM so the user's file still plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrune {

struct WavFormat {
  std::uint16_t formatTag = 0;  // 1 PCM, 3 IEEE float (after resolving an extensible header)
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint16_t bitsPerSample = 0;
  std::uint16_t blockAlign = 0;
  std::size_t dataOffset = 0;
  std::size_t dataSize = 0;  // cut to the bytes actually present
};

// Reads the RIFF/WAVE header; nothing for anything that is not a usable WAV file.
std::optional<WavFormat> parseWav(std::span<const std::uint8_t> bytes);

// True when the player takes the file as it stands: plain PCM, 8 or 16 bits, mono or stereo.
bool wavPlaysAsIs(const WavFormat& format, std::span<const std::uint8_t> bytes);

// The same sound as a plain 16-bit PCM WAV (at most two channels); nothing when the input is
// not a WAV file this can read.
std::optional<std::vector<std::uint8_t>> convertWavToPcm16(std::span<const std::uint8_t> bytes);

// The short fixed beep played for an empty or unplayable name: 16-bit mono PCM.
std::vector<std::uint8_t> makeBeepWav();

}  // namespace kestrune
