// Seeded, bounded random input for the parser fuzz tests. Every case draws from its own fixed
// seed, so a failure repeats exactly; KES_FUZZ_ITERATIONS raises the count for long local runs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kestrune::fuzz {

// The iteration count of one case: the case's own default, or KES_FUZZ_ITERATIONS when set.
inline int iterations(int fallback) {
  const char* env = std::getenv("KES_FUZZ_ITERATIONS");
  if (env == nullptr || *env == '\0') return fallback;
  const long n = std::strtol(env, nullptr, 10);
  return n > 0 ? static_cast<int>(n) : fallback;
}

// splitmix64: small, fast and the same on every machine.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); n must be positive.
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  // Uniform in [lo, hi].
  long long range(long long lo, long long hi) {
    return lo + static_cast<long long>(next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  bool chance(int oneIn) { return below(static_cast<std::size_t>(oneIn)) == 0; }
  std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

 private:
  std::uint64_t state_;
};

// The bytes parsers trip over most: separators, line ends, NUL, signs, digits.
inline char interestingChar(Rng& rng) {
  static constexpr char kChars[] = {'|', ';', '\0', '\r', '\n', ' ', '\t', '-',    '+',    '.',
                                    '0', '1', '5',  '9',  ':',  'A', 'z',  '\x7f', '\x80', '\xff'};
  return kChars[rng.below(sizeof kChars)];
}

// Random text of up to maxLength bytes: a mix of any byte, the interesting ones and digits,
// with an occasional very long run of one byte.
inline std::string randomText(Rng& rng, std::size_t maxLength) {
  std::string s;
  const std::size_t n = rng.below(maxLength + 1);
  s.reserve(n);
  while (s.size() < n) {
    switch (rng.below(8)) {
      case 0:
        s.push_back(static_cast<char>(rng.byte()));
        break;
      case 1:
      case 2:
        s.push_back(interestingChar(rng));
        break;
      case 3:
        if (rng.chance(8)) {
          s.append(std::min(n - s.size(), rng.below(400)), interestingChar(rng));
          break;
        }
        [[fallthrough]];
      default:
        s.push_back(static_cast<char>('0' + rng.below(10)));
        break;
    }
  }
  return s;
}

inline std::vector<std::uint8_t> randomBytes(Rng& rng, std::size_t maxLength) {
  std::vector<std::uint8_t> v(rng.below(maxLength + 1));
  for (auto& b : v) b = rng.byte();
  return v;
}

// One to four mutations of a valid sample: bit flips, byte changes, truncation, insertion of
// separators and line ends, deletion, duplication, and long runs.
template <typename Bytes>
void mutate(Rng& rng, Bytes& data, std::size_t maxLength = 1 << 16) {
  using Byte = typename Bytes::value_type;
  const int rounds = 1 + static_cast<int>(rng.below(4));
  for (int r = 0; r < rounds; ++r) {
    const std::size_t at = data.empty() ? 0 : rng.below(data.size());
    switch (rng.below(8)) {
      case 0:
        if (!data.empty()) data[at] = static_cast<Byte>(data[at] ^ (1u << rng.below(8)));
        break;
      case 1:
        if (!data.empty()) data[at] = static_cast<Byte>(rng.byte());
        break;
      case 2:
        data.resize(rng.below(data.size() + 1));
        break;
      case 3:
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(data.empty() ? 0 : at),
                    static_cast<Byte>(interestingChar(rng)));
        break;
      case 4:
        if (!data.empty()) data.erase(data.begin() + static_cast<std::ptrdiff_t>(at));
        break;
      case 5: {
        const std::size_t run = 1 + rng.below(rng.chance(4) ? 2000 : 40);
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(data.empty() ? 0 : at), run,
                    static_cast<Byte>(interestingChar(rng)));
        break;
      }
      case 6:
        if (!data.empty()) {
          const std::size_t len = std::min(data.size() - at, 1 + rng.below(32));
          Bytes copy(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + len));
          data.insert(data.begin() + static_cast<std::ptrdiff_t>(rng.below(data.size() + 1)),
                      copy.begin(), copy.end());
        }
        break;
      default:
        if (!data.empty()) data[at] = static_cast<Byte>(interestingChar(rng));
        break;
    }
  }
  if (data.size() > maxLength) data.resize(maxLength);
}

}  // namespace kestrune::fuzz
