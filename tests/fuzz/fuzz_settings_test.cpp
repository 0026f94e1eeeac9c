// Fuzzing the settings file reader with arbitrary bytes and damaged real files.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "settings/config_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace kestrune {
namespace {

using fuzz::Rng;

template <std::size_t N>
bool terminated(const char (&text)[N]) {
  return std::memchr(text, '\0', N) != nullptr;
}

void expectTextsTerminated(const MonitorSettings& s) {
  for (const AudioAlertSlot& slot : s.audioAlert) ASSERT_TRUE(terminated(slot.fileName));
  ASSERT_TRUE(terminated(s.symbolAlarmFile));
  ASSERT_TRUE(terminated(s.listFont.lfFaceName));
  ASSERT_TRUE(terminated(s.chartFont.lfFaceName));
  ASSERT_TRUE(terminated(s.legacyServerAddress));
  ASSERT_TRUE(terminated(s.legacyUserName));
  ASSERT_TRUE(terminated(s.legacyPassword));
}

void putVersion(std::vector<std::uint8_t>& file, double version) {
  if (file.size() < 8) return;
  std::uint64_t u;
  std::memcpy(&u, &version, 8);
  for (int k = 0; k < 8; ++k)
    file[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(u >> (8 * k));
}

double randomVersion(Rng& rng) {
  static const double kVersions[] = {1.0,
                                     1.1,
                                     1.2,
                                     1.3,
                                     1.4,
                                     1.5,
                                     1.6,
                                     1.7,
                                     1.8,
                                     1.9,
                                     2.0,
                                     2.1,
                                     2.2,
                                     2.3,
                                     2.4,
                                     2.5,
                                     2.45,
                                     3.0,
                                     -1.0,
                                     0.0,
                                     1e308,
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity()};
  return kVersions[rng.below(sizeof kVersions / sizeof kVersions[0])];
}

// A file as the program writes it, from settings that were themselves read from random bytes.
std::vector<std::uint8_t> randomValidFile(Rng& rng) {
  std::vector<std::uint8_t> noise(kConfigFileSize);
  for (auto& b : noise) b = rng.byte();
  putVersion(noise, kConfigVersion);
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(noise, s, c);
  return serializeConfig(s, c);
}

// Any input: no crash, texts terminated within their fields, a written image of the full size,
// and reading what was written gives back the same image.
TEST(FuzzConfigFile, ArbitraryAndDamagedFiles) {
  Rng rng(0x5E770001);
  const int n = fuzz::iterations(2000);
  for (int it = 0; it < n; ++it) {
    std::vector<std::uint8_t> file;
    switch (rng.below(3)) {
      case 0:
        file = fuzz::randomBytes(rng, 3500);
        if (rng.chance(2)) putVersion(file, randomVersion(rng));
        break;
      case 1:
        file = randomValidFile(rng);
        fuzz::mutate(rng, file, 4000);
        if (rng.chance(3)) putVersion(file, randomVersion(rng));
        break;
      default:
        file = randomValidFile(rng);
        file.resize(rng.below(file.size() + 1));
        break;
    }
    MonitorSettings s;
    ChartColorTable c;
    const ConfigReadResult result = parseConfig(file, s, c);
    ASSERT_TRUE(result.opened);
    ASSERT_NO_FATAL_FAILURE(expectTextsTerminated(s)) << "iteration " << it;
    const std::vector<std::uint8_t> image = serializeConfig(s, c);
    ASSERT_EQ(image.size(), kConfigFileSize);

    MonitorSettings s2;
    ChartColorTable c2;
    const ConfigReadResult again = parseConfig(image, s2, c2);
    ASSERT_TRUE(again.placementRead && again.listFontRead && again.chartFontRead);
    ASSERT_EQ(again.version, kConfigVersion);
    ASSERT_EQ(serializeConfig(s2, c2), image) << "iteration " << it;
  }
}

// A whole current file comes back byte for byte; a file cut anywhere keeps every field that
// arrived whole and leaves the rest at its default.
TEST(FuzzConfigFile, CutFilesKeepWhatArrived) {
  Rng rng(0x5E770002);
  MonitorSettings defaults;
  ChartColorTable defaultColors;
  const std::vector<std::uint8_t> defaultImage = serializeConfig(defaults, defaultColors);
  const int n = fuzz::iterations(1200);
  for (int it = 0; it < n; ++it) {
    const std::vector<std::uint8_t> file = randomValidFile(rng);
    {
      MonitorSettings s;
      ChartColorTable c;
      parseConfig(file, s, c);
      ASSERT_EQ(serializeConfig(s, c), file);
    }
    const std::size_t cut = rng.below(file.size() + 1);
    const std::vector<std::uint8_t> head(file.begin(),
                                         file.begin() + static_cast<std::ptrdiff_t>(cut));
    MonitorSettings s;
    ChartColorTable c;
    const ConfigReadResult result = parseConfig(head, s, c);
    ASSERT_EQ(result.placementRead, cut >= 8 + 44);
    const std::vector<std::uint8_t> image = serializeConfig(s, c);
    // No field is longer than a 255-byte text, so everything that far before the cut arrived.
    for (std::size_t i = 0; i < image.size(); ++i) {
      if (i + kFileNameSize < cut) {
        ASSERT_EQ(image[i], file[i]) << "byte " << i << " cut " << cut;
      } else {
        ASSERT_TRUE(image[i] == file[i] || image[i] == defaultImage[i])
            << "byte " << i << " cut " << cut;
      }
    }
  }
}

}  // namespace
}  // namespace kestrune
