// Fuzzing the alert side: record splitting, counts, the intakes, the watched-symbol file and WAV
// files, all from arbitrary or damaged input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "alerts/alert_intake.h"
#include "alerts/alert_record.h"
#include "alerts/symbol_filter_table.h"
#include "alerts/wav_data.h"
#include "tests/fuzz/fuzz_support.h"

namespace kestrune {
namespace {

using fuzz::Rng;

AlertKind randomKind(Rng& rng) { return static_cast<AlertKind>(rng.below(kAlertKindCount)); }

// Every cell is NUL-terminated at its length, holds no NUL, no separator, and fits its limit;
// columns the list does not have stay empty.
void expectSoundCells(AlertKind kind, const AlertCells& cells) {
  for (int c = 0; c < kMaxAlertColumns; ++c) {
    ASSERT_LE(cells.length[c], kAlertFieldMax);
    ASSERT_EQ(cells.text[c][cells.length[c]], '\0');
    ASSERT_EQ(std::strlen(cells.text[c]), cells.length[c]);
    const std::string_view v = cells.cell(c);
    ASSERT_EQ(v.find_first_of("|\n"), std::string_view::npos);
    if (c >= alertColumnCount(kind)) {
      ASSERT_TRUE(v.empty());
    }
  }
}

// The field each heading shows, found by name, so a record built from known fields can be
// checked column by column.
int fieldOfHeading(AlertKind kind, std::string_view heading) {
  static const char* const kFields[kAlertKindCount][6] = {
      {"Symbol", "", "Time", "Count", "BBO", "Trades"},
      {"Symbol", "Exg", "Time", "Count", "BBO", ""},
      {"Symbol", "Exg", "Desc", "Time", "Count", "BBO"}};
  for (int f = 0; f < 6; ++f)
    if (heading == kFields[static_cast<int>(kind)][f]) return f;
  return -1;
}

TEST(FuzzAlertRecord, ArbitraryTextGivesSoundCells) {
  Rng rng(0xA1E70001);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    std::string text = fuzz::randomText(rng, rng.chance(10) ? 3000 : 300);
    const AlertKind kind = randomKind(rng);
    AlertCells cells;
    cells.set(0, "stale");  // a reused value must not keep old cells
    splitAlertRecord(kind, text, cells);
    ASSERT_NO_FATAL_FAILURE(expectSoundCells(kind, cells)) << "iteration " << it;
    // Nothing past the first NUL or past 255 characters can reach a cell: the same split of the
    // text cut there gives the same row.
    std::string cut = text.substr(0, std::min(text.size(), kAlertRecordMax));
    cut = cut.substr(0, cut.find('\0'));
    AlertCells plain;
    splitAlertRecord(kind, cut, plain);
    for (int c = 0; c < kMaxAlertColumns; ++c) ASSERT_EQ(cells.cell(c), plain.cell(c));
  }
}

// Records built from known fields come apart into exactly those fields, cut to 27 characters,
// whichever separator joins them.
TEST(FuzzAlertRecord, BuiltRecordsSplitIntoTheirFields) {
  Rng rng(0xA1E70002);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    const AlertKind kind = randomKind(rng);
    std::vector<std::string> fields(6);
    std::string text;
    for (int f = 0; f < 6; ++f) {
      const std::size_t len = rng.below(rng.chance(4) ? 45 : 12);
      for (std::size_t k = 0; k < len; ++k) {
        char c = static_cast<char>(rng.range(1, 255));
        if (c == '|' || c == '\n') c = 'Q';
        fields[f].push_back(c);
      }
      if (f > 0) text.push_back(rng.chance(3) ? '\n' : '|');
      text += fields[f];
    }
    if (text.size() > kAlertRecordMax) continue;  // the cut at 255 is checked above
    AlertCells cells;
    splitAlertRecord(kind, text, cells);
    ASSERT_NO_FATAL_FAILURE(expectSoundCells(kind, cells));
    for (int c = 1; c < alertColumnCount(kind); ++c) {
      const int f = fieldOfHeading(kind, alertColumnHeading(kind, c));
      ASSERT_GE(f, 0);
      ASSERT_EQ(cells.cell(c), std::string_view(fields[f]).substr(0, kAlertFieldMax))
          << "column " << c << " iteration " << it;
    }
    // The time: "hh:mm:ss" from the field's first six characters, ending early when shorter.
    const std::string& time = fields[fieldOfHeading(kind, "Time")];
    std::string shown;
    for (std::size_t k = 0; k < time.size() && k < 6; ++k) {
      shown.push_back(time[k]);
      if (k == 1 || k == 3) shown.push_back(':');
    }
    ASSERT_EQ(cells.cell(0), shown);
  }
}

// The count reads like strtoll over the cell, clamped to 32 bits instead of wrapping.
TEST(FuzzAlertRecord, CountMatchesClampedStrtoll) {
  Rng rng(0xA1E70003);
  const int n = fuzz::iterations(50000);
  for (int it = 0; it < n; ++it) {
    std::string text = fuzz::randomText(rng, 40);
    if (rng.chance(3))
      text = std::string(rng.below(4), ' ') + (rng.chance(2) ? "-" : "") +
             std::string(1 + rng.below(25), static_cast<char>('0' + rng.below(10)));
    const std::string z = text;  // NUL-terminated copy for the reference
    errno = 0;
    long long ref = std::strtoll(z.c_str(), nullptr, 10);
    // strtoll also takes "0x"-less bases only when asked; base 10 matches our reading.
    ref = std::clamp<long long>(ref, INT32_MIN, INT32_MAX);
    ASSERT_EQ(parseAlertCount(text), ref) << "'" << text << "'";
  }
}

class FuzzSymbolTable : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kes_fuzz_symbols_XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    path_ = pattern;
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void write(const std::string& bytes) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }
  std::string path_;
};

// Loading any file gives exactly its words, cut to 24, sorted; lookups agree with a plain set.
TEST_F(FuzzSymbolTable, LoadedFromArbitraryFiles) {
  Rng rng(0xA1E70004);
  const int n = fuzz::iterations(150);
  for (int it = 0; it < n; ++it) {
    std::string bytes;
    if (rng.chance(2)) {
      bytes = fuzz::randomText(rng, rng.chance(20) ? 40000 : 600);
    } else {
      const int words = static_cast<int>(rng.below(60));
      for (int w = 0; w < words; ++w) {
        bytes += std::string(1 + rng.below(40), static_cast<char>('A' + rng.below(4)));
        bytes += " \t\n\r\v\f"[rng.below(6)];
        if (rng.chance(5)) bytes.push_back('\0');
      }
      std::vector<char> v(bytes.begin(), bytes.end());
      if (rng.chance(2)) fuzz::mutate(rng, v);
      bytes.assign(v.begin(), v.end());
    }
    ASSERT_NO_FATAL_FAILURE(write(bytes));

    std::multiset<std::string> reference;
    std::string word;
    for (char c : bytes + " ") {
      if (std::strchr(" \t\n\v\f\r", c) != nullptr || c == '\0') {
        if (!word.empty()) reference.insert(word.substr(0, kSymbolMax));
        word.clear();
      } else {
        word.push_back(c);
      }
    }

    SymbolFilterTable table(path_);
    ASSERT_EQ(table.loadSymbolFilters(), !reference.empty());
    const std::vector<SymbolEntry> entries = table.entries();
    std::vector<std::string> got;
    for (const SymbolEntry& e : entries) {
      ASSERT_EQ(e[kSymbolMax], '\0');
      const std::string_view s = symbolText(e);
      ASSERT_FALSE(s.empty());
      ASSERT_LE(s.size(), kSymbolMax);
      got.emplace_back(s);
    }
    ASSERT_TRUE(std::is_sorted(got.begin(), got.end()));
    ASSERT_EQ(got, std::vector<std::string>(reference.begin(), reference.end()));
    ASSERT_EQ(table.hasSymbolFilters(), !got.empty());
    for (int probe = 0; probe < 8; ++probe) {
      std::string s =
          rng.chance(2) && !got.empty() ? got[rng.below(got.size())] : fuzz::randomText(rng, 26);
      const int at = table.findSymbol(s);
      if (reference.count(s) == 0) {
        ASSERT_EQ(at, -1);
      } else {
        ASSERT_GE(at, 0);
        ASSERT_EQ(got[static_cast<std::size_t>(at)], s);
      }
    }
  }
}

// The intakes on arbitrary text: cells within their limits, replay equals a quiet live take with
// the carriage return gone, and the colour follows count, threshold and table.
TEST_F(FuzzSymbolTable, IntakesOnArbitraryText) {
  Rng rng(0xA1E70005);
  SymbolFilterTable table(path_);
  std::set<std::string> symbols;
  std::vector<SymbolEntry> entries;
  for (int k = 0; k < 40; ++k) {
    std::string s(1 + rng.below(6), static_cast<char>('A' + rng.below(3)));
    symbols.insert(s);
    entries.push_back(makeSymbolEntry(s));
  }
  char alarm[32];
  ASSERT_TRUE(table.replaceSymbolFilters(entries, "sym.wav", alarm));
  AlertIntake intake(table);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    const AlertKind kind = randomKind(rng);
    AlertRules rules;
    rules.threshold = static_cast<std::int32_t>(rng.range(-5, 300));
    rules.useSymbolFilters = rng.chance(2);
    rules.listEliminate = rng.chance(2);
    rules.playAlarm = rng.chance(2);
    rules.symbolAlarmFile = rng.chance(2) ? "sym.wav" : "";
    rules.slot.use = rng.chance(2);
    rules.slot.threshold = static_cast<std::int32_t>(rng.range(0, 300));
    rules.slot.fileName = "slot.wav";
    intake.setRules(kind, rules);

    std::string text;
    if (rng.chance(2)) {
      text = fuzz::randomText(rng, 300);
    } else {
      const std::string symbol(1 + rng.below(6), static_cast<char>('A' + rng.below(4)));
      const std::string count = std::to_string(rng.range(-50, 400));
      switch (kind) {
        case AlertKind::Raw:
          text = symbol + "|Q|093000|" + count + "|1.5|7";
          break;
        case AlertKind::Seq:
          text = symbol + "|Q|093000|" + count + "|1.5";
          break;
        case AlertKind::Algo:
          text = symbol + "|Q|desc|093000|" + count + "|1.5";
          break;
      }
      std::vector<char> v(text.begin(), text.end());
      if (rng.chance(3)) fuzz::mutate(rng, v, 600);
      text.assign(v.begin(), v.end());
    }
    if (rng.chance(4)) text.push_back('\r');

    const AlertDecision live = intake.take(kind, text, true);
    ASSERT_NO_FATAL_FAILURE(expectSoundCells(kind, live.cells)) << "iteration " << it;
    const std::int32_t count = parseAlertCount(live.cells.cell(alertCountColumn(kind)));
    const bool matched =
        rules.useSymbolFilters && symbols.count(std::string(live.cells.cell(1))) != 0;
    const bool eliminated = rules.useSymbolFilters && !matched && rules.listEliminate;
    ASSERT_EQ(live.addRow, !eliminated);
    if (live.addRow) {
      const bool high = rules.threshold > 0 && count >= rules.threshold;
      ASSERT_EQ((live.code & Highlight) != 0, high) << "iteration " << it;
      ASSERT_EQ((live.code & SymFilter) != 0, matched && !rules.listEliminate);
    }
    if (live.sound.play) {
      ASSERT_TRUE((matched && rules.playAlarm && !rules.symbolAlarmFile.empty()) ||
                  (rules.slot.use && count >= rules.slot.threshold));
    }

    const AlertDecision replayed = intake.replay(kind, text);
    ASSERT_FALSE(replayed.sound.play);
    std::string_view noCr = text;
    if (!noCr.empty() && noCr.back() == '\r') noCr.remove_suffix(1);
    const AlertDecision quiet = intake.take(kind, noCr, false);
    ASSERT_EQ(replayed.addRow, quiet.addRow);
    ASSERT_EQ(replayed.code, quiet.code);
    for (int c = 0; c < kMaxAlertColumns; ++c)
      ASSERT_EQ(replayed.cells.cell(c), quiet.cells.cell(c));
  }
}

// --- WAV files ---

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

struct WavSpec {
  std::uint16_t tag;
  std::uint16_t bits;
};

// A valid WAV of a random readable format, with optional extra chunks before and after "fmt ".
std::vector<std::uint8_t> makeWav(Rng& rng, WavSpec& format, std::uint16_t& channels) {
  static const WavSpec kSpecs[] = {{1, 8}, {1, 16}, {1, 24}, {1, 32}, {3, 32}, {3, 64}};
  format = kSpecs[rng.below(6)];
  channels = static_cast<std::uint16_t>(1 + rng.below(rng.chance(4) ? 8 : 2));
  const bool extensible = rng.chance(4);
  const std::uint16_t block = static_cast<std::uint16_t>(channels * format.bits / 8);
  const std::uint32_t frames = static_cast<std::uint32_t>(rng.below(300));
  std::vector<std::uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  auto junk = [&] {
    const std::uint32_t size = static_cast<std::uint32_t>(rng.below(9));
    v.insert(v.end(), {'L', 'I', 'S', 'T'});
    put32(v, size);
    for (std::uint32_t k = 0; k < size + (size & 1); ++k) v.push_back(rng.byte());
  };
  if (rng.chance(4)) junk();
  v.insert(v.end(), {'f', 'm', 't', ' '});
  put32(v, extensible ? 40 : 16);
  put16(v, extensible ? 0xFFFE : format.tag);
  put16(v, channels);
  put32(v, static_cast<std::uint32_t>(rng.range(1, 192000)));
  put32(v, 0);  // byte rate: not read
  put16(v, block);
  put16(v, format.bits);
  if (extensible) {
    put16(v, 22);
    put16(v, format.bits);
    put32(v, 0);
    put16(v, format.tag);
    for (int k = 0; k < 14; ++k) v.push_back(0);
  }
  if (rng.chance(4)) junk();
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  put32(v, frames * block);
  for (std::uint32_t k = 0; k < frames * block; ++k) v.push_back(rng.byte());
  if (format.tag == 3) {
    // Mostly sane float samples, with the odd NaN or infinity from the random bytes.
    const std::size_t start = v.size() - frames * block;
    for (std::size_t off = start; off + format.bits / 8 <= v.size() && !rng.chance(50);
         off += format.bits / 8) {
      const double x = static_cast<double>(rng.range(-1200, 1200)) / 1000.0;
      if (format.bits == 32) {
        const float f = static_cast<float>(x);
        std::memcpy(v.data() + off, &f, 4);
      } else {
        std::memcpy(v.data() + off, &x, 8);
      }
    }
  }
  const std::uint32_t riff = static_cast<std::uint32_t>(v.size() - 8);
  for (int k = 0; k < 4; ++k) v[4 + k] = static_cast<std::uint8_t>(riff >> (8 * k));
  return v;
}

double sampleValue(const std::uint8_t* p, WavSpec format) {
  if (format.tag == 3 && format.bits == 32) {
    float f;
    std::memcpy(&f, p, 4);
    return std::isfinite(f) ? f : 0.0;
  }
  if (format.tag == 3) {
    double d;
    std::memcpy(&d, p, 8);
    return std::isfinite(d) ? d : 0.0;
  }
  long long raw = 0;
  const int bytes = format.bits / 8;
  for (int k = bytes - 1; k >= 0; --k) raw = raw << 8 | p[k];
  if (format.bits == 8) return (raw - 128) / 128.0;
  const long long top = 1LL << (format.bits - 1);
  if (raw >= top) raw -= 2 * top;
  return static_cast<double>(raw) / static_cast<double>(top);
}

// Whatever parses must describe bytes that are really there, and whatever converts must come out
// as a plain 16-bit file the player takes.
void checkWavInvariants(const std::vector<std::uint8_t>& file) {
  // Exact-size heap copy so any read past the end is caught.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[file.size() + 1]);
  if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
  const std::span<const std::uint8_t> bytes(exact.get(), file.size());
  const std::optional<WavFormat> f = parseWav(bytes);
  const auto converted = convertWavToPcm16(bytes);
  ASSERT_EQ(f.has_value(), converted.has_value());
  if (!f) return;
  ASSERT_GE(f->dataOffset, 20u);
  ASSERT_LE(f->dataOffset + f->dataSize, file.size());
  ASSERT_GT(f->channels, 0);
  ASSERT_GT(f->sampleRate, 0u);
  ASSERT_GE(f->blockAlign, f->channels * (f->bitsPerSample / 8));
  (void)wavPlaysAsIs(*f, bytes);

  const std::vector<std::uint8_t>& out = *converted;
  const std::optional<WavFormat> g = parseWav(out);
  ASSERT_TRUE(g.has_value());
  ASSERT_TRUE(wavPlaysAsIs(*g, out));
  ASSERT_EQ(g->bitsPerSample, 16);
  ASSERT_EQ(g->channels, std::min<std::uint16_t>(f->channels, 2));
  ASSERT_EQ(g->sampleRate, f->sampleRate);
  const std::size_t frames = f->dataSize / f->blockAlign;
  ASSERT_EQ(g->dataSize, frames * g->channels * 2);
  ASSERT_EQ(out.size(), 44 + g->dataSize);
}

TEST(FuzzWav, ArbitraryAndDamagedFiles) {
  Rng rng(0xA1E70006);
  const int n = fuzz::iterations(2500);
  int parsed = 0;
  for (int it = 0; it < n; ++it) {
    std::vector<std::uint8_t> file;
    if (rng.chance(5)) {
      file = fuzz::randomBytes(rng, 200);
      if (file.size() >= 12 && rng.chance(2)) {
        std::memcpy(file.data(), "RIFF", 4);
        std::memcpy(file.data() + 8, "WAVE", 4);
      }
    } else {
      WavSpec format;
      std::uint16_t channels;
      file = makeWav(rng, format, channels);
      fuzz::mutate(rng, file);
      if (rng.chance(3) && file.size() > 44) {
        // A size field of a chunk made huge, zero or odd.
        const std::size_t at = 16 + rng.below(std::min<std::size_t>(file.size() - 20, 80));
        const std::uint32_t size = rng.chance(2)
                                       ? 0xFFFFFFFFu - static_cast<std::uint32_t>(rng.below(9))
                                       : static_cast<std::uint32_t>(rng.below(70));
        for (int k = 0; k < 4; ++k) file[at + k] = static_cast<std::uint8_t>(size >> (8 * k));
      }
    }
    ASSERT_NO_FATAL_FAILURE(checkWavInvariants(file)) << "iteration " << it;
    parsed += parseWav(file).has_value();
  }
  EXPECT_GT(parsed, n / 20);
}

// Undamaged files of every readable format keep their sound: each converted sample is the
// source sample to within one step of 16 bits.
TEST(FuzzWav, ConversionKeepsTheSamples) {
  Rng rng(0xA1E70007);
  const int n = fuzz::iterations(1200);
  for (int it = 0; it < n; ++it) {
    WavSpec format;
    std::uint16_t channels;
    const std::vector<std::uint8_t> file = makeWav(rng, format, channels);
    const std::optional<WavFormat> f = parseWav(file);
    ASSERT_TRUE(f.has_value()) << "iteration " << it;
    ASSERT_NO_FATAL_FAILURE(checkWavInvariants(file));
    const auto out = convertWavToPcm16(file);
    const std::size_t frames = f->dataSize / f->blockAlign;
    const int outChannels = std::min<int>(channels, 2);
    for (std::size_t i = 0; i < frames; ++i) {
      for (int c = 0; c < outChannels; ++c) {
        const double want =
            std::clamp(sampleValue(file.data() + f->dataOffset + i * f->blockAlign +
                                       static_cast<std::size_t>(c) * (format.bits / 8),
                                   format),
                       -1.0, 1.0) *
            32767.0;
        const std::size_t at = 44 + (i * outChannels + c) * 2;
        const auto got = static_cast<std::int16_t>((*out)[at] | (*out)[at + 1] << 8);
        ASSERT_NEAR(got, want, 1.0) << "iteration " << it << " frame " << i;
      }
    }
  }
}

}  // namespace
}  // namespace kestrune
