// WAV files built in memory for the tests: a header of the given format over raw sample bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune::test {

// Appends v as `bytes` little-endian bytes.
inline void put(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A WAV file of the given format holding the given raw sample bytes; `extensible` writes the
// 40-byte format block that carries the real format tag in its sub-format.
inline std::vector<std::uint8_t> makeWav(std::uint16_t tag, std::uint16_t channels,
                                         std::uint32_t rate, std::uint16_t bits,
                                         const std::vector<std::uint8_t>& data,
                                         bool extensible = false) {
  std::vector<std::uint8_t> w = {'R', 'I', 'F', 'F'};
  const std::uint32_t fmtSize = extensible ? 40 : 16;
  put(w, 4 + 8 + fmtSize + 8 + static_cast<std::uint32_t>(data.size()), 4);
  for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) w.push_back(static_cast<std::uint8_t>(c));
  put(w, fmtSize, 4);
  put(w, extensible ? 0xFFFE : tag, 2);
  put(w, channels, 2);
  put(w, rate, 4);
  put(w, rate * channels * bits / 8, 4);
  put(w, channels * bits / 8, 2);
  put(w, bits, 2);
  if (extensible) {
    put(w, 22, 2);
    put(w, bits, 2);
    put(w, 3, 4);
    put(w, tag, 2);
    for (int i = 0; i < 14; ++i) w.push_back(0);
  }
  for (char c : {'d', 'a', 't', 'a'}) w.push_back(static_cast<std::uint8_t>(c));
  put(w, static_cast<std::uint32_t>(data.size()), 4);
  w.insert(w.end(), data.begin(), data.end());
  return w;
}

}  // namespace kestrune::test
