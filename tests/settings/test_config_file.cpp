#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QFile>
#include <QIODevice>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

#include "forms/save_file.h"
#include "settings/config_file.h"
#include "settings/regular_file.h"

namespace kestrune {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::int32_t i32At(const Bytes& b, std::size_t off) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b.at(off + i);
  return static_cast<std::int32_t>(v);
}
double f64At(const Bytes& b, std::size_t off) {
  std::uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | b.at(off + i);
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}
void putF64(Bytes& b, std::size_t off, double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, 8);
  for (int i = 0; i < 8; ++i) b.at(off + i) = static_cast<std::uint8_t>(u >> (8 * i));
}
void putI32(Bytes& b, std::size_t off, std::int32_t v) {
  for (int i = 0; i < 4; ++i) b.at(off + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
Bytes slice(const Bytes& b, std::size_t from, std::size_t to) {
  return Bytes(b.begin() + from, b.begin() + to);
}
Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A record in which every field differs from its default, to see where each one lands.
void changeEverything(MonitorSettings& s, ChartColorTable& c) {
  s.framePlacement.showCmd = 3;
  s.framePlacement.rcNormalPosition = {10, 20, 1380, 865};
  s.hardMaxReporting = 11.0;
  s.hardMaxListing = 22.0;
  s.hardMaxAlgo = 33.0;
  s.smartScaleReporting = s.smartScaleListing = s.smartScaleAlgo = 0;
  s.colorLegendListing = 0;
  s.totalOnlyAlgo = 1;
  s.dataPoints = 900;
  s.collectStartHour = 9;
  s.collectStartMinute = 30;
  s.collectStopHour = 16;
  s.collectStopMinuteOfDay = 960;
  for (int i = 0; i < kExchangeCount; ++i) c.exchangeColor(i) = 0x010000 * (i + 1);
  c.reservedColor[8] = 0x123456;
  c.totalColorAlgo = 0x111111;
  c.gridlineFg = 0x222222;
  c.chartDotLineColor = 0x333333;
  copyFixedText(s.audioAlert[2].fileName, sizeof s.audioAlert[2].fileName, "ding.wav");
  s.audioAlert[2].use = 1;
  s.audioAlert[2].loop = 1;
  s.audioAlert[2].threshold = 77;
  s.audioAlert[5].threshold = 55;
  copyFixedText(s.symbolAlarmFile, sizeof s.symbolAlarmFile, "sym.wav");
  s.useSymbolFilters = s.listEliminate = s.playAlarm = s.loopAlarm = 1;
  s.listFont.lfHeight = -20;
  copyFixedText(s.listFont.lfFaceName, sizeof s.listFont.lfFaceName, "Courier");
  s.chartFont.lfWeight = 700;
  s.normalBk = 0x0A0B0C;
  s.highSymfFg = 0x0D0E0F;
  s.quoteCountRawThresh = 4000;
  s.highAlgoCountsThresh = 99;
  s.rawColumnWidths = {1, 2, 3, 4, 5, 6};
  s.seqColumnWidths = {7, 8, 9, 10, 11};
  s.algoColumnWidths = {12, 13, 14, 15, 16, 17};
  s.lineWidth = 3;
  s.listingExchangeOn[15] = 0;
  s.reportingExchangeOn[0] = 0;
}

Bytes changedImage() {
  MonitorSettings s;
  ChartColorTable c;
  changeEverything(s, c);
  return serializeConfig(s, c);
}

TEST(ConfigLayout, WrittenFileHasTheDocumentedOffsets) {
  const Bytes b = changedImage();
  ASSERT_EQ(b.size(), kConfigFileSize);
  EXPECT_EQ(f64At(b, 0), 2.5);
  EXPECT_EQ(i32At(b, 8), 44);             // placement length
  EXPECT_EQ(i32At(b, 16), 3);             // showCmd
  EXPECT_EQ(i32At(b, 8 + 28 + 8), 1380);  // rcNormalPosition.right
  EXPECT_EQ(f64At(b, 630), 11.0);
  EXPECT_EQ(f64At(b, 646), 33.0);
  EXPECT_EQ(b[654], 0);
  EXPECT_EQ(i32At(b, 657), 900);
  EXPECT_EQ(i32At(b, 661), 9);
  EXPECT_EQ(i32At(b, 681), 960);
  EXPECT_EQ(b[685], 0);  // the Listing legend comes first
  EXPECT_EQ(b[686], 1);
  EXPECT_EQ(b[690], 1);
  EXPECT_EQ(i32At(b, 691), 0x010000);
  EXPECT_EQ(i32At(b, 691 + 14 * 4), 0x0F0000);
  EXPECT_EQ(i32At(b, 751 + 8 * 4), 0x123456);
  EXPECT_EQ(i32At(b, 795), 0x111111);
  EXPECT_EQ(i32At(b, 823), 0x333333);
  EXPECT_EQ(i32At(b, 827), 0x222222);
  const std::size_t slot2 = 831 + 261 * 2;
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[slot2]), "ding.wav");
  EXPECT_EQ(b[slot2 + 255], 1);
  EXPECT_EQ(i32At(b, slot2 + 257), 77);
  EXPECT_EQ(i32At(b, 831 + 261 * 5 + 257), 55);
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[2397]), "sym.wav");
  EXPECT_EQ(b[2655], 1);
  EXPECT_EQ(i32At(b, 2656), -20);
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[2656 + 28]), "Courier");
  EXPECT_EQ(i32At(b, 2716), 0x0A0B0C);
  EXPECT_EQ(i32At(b, 2732), 4000);
  EXPECT_EQ(i32At(b, 2740), 99);
  EXPECT_EQ(i32At(b, 2756), 0x0D0E0F);
  EXPECT_EQ(i32At(b, 2760 + 16), 700);
  EXPECT_EQ(i32At(b, 2820), 1);
  EXPECT_EQ(i32At(b, 2840), 6);
  EXPECT_EQ(i32At(b, 2844), 7);
  EXPECT_EQ(i32At(b, 2864), 12);
  EXPECT_EQ(i32At(b, 2888), 3);
  EXPECT_EQ(i32At(b, 2892), 0x100000);  // NSMLL
  EXPECT_EQ(b[2896 + 15], 0);
  EXPECT_EQ(b[2912], 0);
  EXPECT_EQ(b[2927], 1);
}

TEST(ConfigLayout, RoundTripKeepsEveryField) {
  const Bytes b = changedImage();
  MonitorSettings s;
  ChartColorTable c;
  const ConfigReadResult r = parseConfig(b, s, c);
  EXPECT_TRUE(r.placementRead);
  EXPECT_TRUE(r.listFontRead);
  EXPECT_TRUE(r.chartFontRead);
  EXPECT_EQ(r.version, 2.5);
  EXPECT_EQ(serializeConfig(s, c), b);
}

TEST(ConfigLayout, DefaultFontsAreArialEightPointWithEscapementOne) {
  const LogFontRecord f96 = defaultLogFont(96);
  EXPECT_EQ(f96.lfHeight, -11);  // 8 * 96 / 72 = 10.67, rounded
  EXPECT_EQ(f96.lfEscapement, 1);
  EXPECT_EQ(f96.lfOrientation, 1);
  EXPECT_EQ(f96.lfWeight, 400);
  EXPECT_STREQ(f96.lfFaceName, "Arial");
  EXPECT_EQ(defaultLogFont(120).lfHeight, -13);
  EXPECT_EQ(defaultLogFont(144).lfHeight, -16);
  EXPECT_EQ(defaultLogFont(99).lfHeight, -11);  // 11.0 exactly
  EXPECT_EQ(mulDivRound(1, 3, 2), 2);           // halves round away from zero
  EXPECT_EQ(mulDivRound(-1, 3, 2), -2);
  EXPECT_EQ(mulDivRound(5, 5, 0), 0);
}

TEST(ConfigRead, VersionOneFileRestoresOnlyTheBaseBlock) {
  Bytes b = slice(changedImage(), 0, 661);
  putF64(b, 0, 1.0);
  MonitorSettings s;
  ChartColorTable c;
  const ConfigReadResult r = parseConfig(b, s, c);
  EXPECT_TRUE(r.placementRead);
  EXPECT_FALSE(r.listFontRead);
  EXPECT_EQ(s.framePlacement.rcNormalPosition.right, 1380);
  EXPECT_EQ(s.hardMaxListing, 22.0);
  EXPECT_EQ(s.smartScaleAlgo, 0);
  EXPECT_EQ(s.dataPoints, 900);
  // Everything later keeps its default.
  const MonitorSettings d;
  EXPECT_EQ(s.collectStartHour, 0);
  EXPECT_EQ(s.colorLegendListing, 1);
  EXPECT_EQ(s.lineWidth, 1);
  EXPECT_EQ(s.rawColumnWidths, d.rawColumnWidths);
  EXPECT_EQ(c.NQEXColor, 0x00FF9A00);
  EXPECT_EQ(std::memcmp(&s.listFont, &d.listFont, sizeof d.listFont), 0);
}

TEST(ConfigRead, VersionTwoTwoFileHasFiveRawWidths) {
  const Bytes full = changedImage();
  // 2.2 layout: up to the Raw widths, five of them, then Seq, Algo and the line width.
  Bytes b = concat({slice(full, 0, 2820), slice(full, 2820, 2840), slice(full, 2844, 2892)});
  putF64(b, 0, 2.2);
  ASSERT_EQ(b.size(), 2888u);
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(b, s, c);
  EXPECT_EQ(s.rawColumnWidths, (std::array<std::int32_t, 6>{1, 2, 3, 4, 5, 40}));
  EXPECT_EQ(s.seqColumnWidths, (std::array<std::int32_t, 5>{7, 8, 9, 10, 11}));
  EXPECT_EQ(s.algoColumnWidths[5], 17);
  EXPECT_EQ(s.lineWidth, 3);
  EXPECT_EQ(c.NSMLLColor, 0x00969696);
  EXPECT_EQ(s.listingExchangeOn[15], 1);
}

TEST(ConfigRead, VersionTwoFourFileHasNoNsmllColour) {
  const Bytes full = changedImage();
  Bytes b = concat({slice(full, 0, 2892), slice(full, 2896, 2928)});
  putF64(b, 0, 2.4);
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(b, s, c);
  EXPECT_EQ(c.NSMLLColor, rgbColor(150, 150, 150));
  EXPECT_EQ(s.listingExchangeOn[15], 0);
  EXPECT_EQ(s.listingExchangeOn[14], 1);
  EXPECT_EQ(s.reportingExchangeOn[0], 0);
  EXPECT_EQ(s.rawColumnWidths[5], 6);  // 2.3 and later carry six Raw widths
}

TEST(ConfigRead, NewerVersionReadsAsTwoFiveAndOddVersionsStaySafe) {
  Bytes b = changedImage();
  b.resize(3500, 0xEE);  // a future tail is ignored
  putF64(b, 0, 3.0);
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(b, s, c);
  EXPECT_EQ(c.NSMLLColor, 0x100000);
  EXPECT_EQ(s.reportingExchangeOn[15], 1);

  // A version that compares with nothing (NaN) reads only the base block.
  putF64(b, 0, std::numeric_limits<double>::quiet_NaN());
  MonitorSettings s2;
  ChartColorTable c2;
  parseConfig(b, s2, c2);
  EXPECT_EQ(s2.dataPoints, 900);
  EXPECT_EQ(s2.lineWidth, 1);
}

TEST(ConfigRead, LegacyConnectionSlotsAreIgnoredAndWrittenAsZeros) {
  Bytes b = changedImage();
  const char* junk = "10.1.2.3";
  std::memcpy(&b[56], junk, std::strlen(junk));
  std::memset(&b[120], 'u', 255);  // not even NUL-terminated
  std::memset(&b[375], 'p', 255);
  putI32(b, 52, 5555);
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(b, s, c);
  EXPECT_EQ(s.legacyServerPort, 0);
  EXPECT_EQ(s.legacyServerAddress[0], '\0');
  const Bytes out = serializeConfig(s, c);
  for (std::size_t i = 52; i < 630; ++i) ASSERT_EQ(out[i], 0) << "offset " << i;
}

TEST(ConfigRead, CutFieldsKeepTheirDefaults) {
  const Bytes full = changedImage();
  // Every length from empty to complete: never a crash, and the placement only when whole.
  for (std::size_t len = 0; len <= full.size(); ++len) {
    MonitorSettings s;
    ChartColorTable c;
    const ConfigReadResult r = parseConfig(slice(full, 0, len), s, c);
    ASSERT_EQ(r.placementRead, len >= 52) << len;
    ASSERT_EQ(r.chartFontRead, len >= 2820) << len;
    ASSERT_EQ(s.lineWidth, len >= 2892 ? 3 : 1) << len;
  }
  // Cut inside hardMaxListing: Reporting arrived, Listing keeps 100.0.
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(slice(full, 0, 642), s, c);
  EXPECT_EQ(s.hardMaxReporting, 11.0);
  EXPECT_EQ(s.hardMaxListing, 100.0);
  // Cut inside the list font: the default font stays whole.
  MonitorSettings s2;
  ChartColorTable c2;
  const ConfigReadResult r = parseConfig(slice(full, 0, 2700), s2, c2);
  EXPECT_FALSE(r.listFontRead);
  EXPECT_STREQ(s2.listFont.lfFaceName, "Arial");
  EXPECT_TRUE(s2.loopAlarm);
}

TEST(ConfigRead, UnterminatedTextsAreCutInsideTheirFields) {
  Bytes b = changedImage();
  std::memset(&b[831], 'A', 255);       // slot 0 file name without NUL
  std::memset(&b[2656 + 28], 'F', 32);  // list face name without NUL
  MonitorSettings s;
  ChartColorTable c;
  parseConfig(b, s, c);
  EXPECT_EQ(std::strlen(s.audioAlert[0].fileName), 254u);
  EXPECT_EQ(std::strlen(s.listFont.lfFaceName), 31u);
}

TEST(ConfigRead, RandomFilesNeverBreakTheReader) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    Bytes b(rng() % 3200);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    if (b.size() >= 8 && round % 2 == 0) putF64(b, 0, 1.0 + (rng() % 20) / 10.0);
    MonitorSettings s;
    ChartColorTable c;
    parseConfig(b, s, c);
    ASSERT_LT(std::strlen(s.symbolAlarmFile), kFileNameSize);
    ASSERT_LT(std::strlen(s.chartFont.lfFaceName), kFaceNameSize);
    ASSERT_EQ(serializeConfig(s, c).size(), kConfigFileSize);
  }
}

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kes_cfg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "Kestrune.cfg").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  Bytes fileBytes() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(ConfigFileTest, MissingFileKeepsDefaultsAndFirstSaveIsFullSize) {
  MonitorSettings s;
  ChartColorTable c;
  const ConfigReadResult r = readConfigFile(s, c, path_);
  EXPECT_FALSE(r.opened);
  EXPECT_FALSE(r.placementRead);
  EXPECT_EQ(serializeConfig(s, c), serializeConfig(MonitorSettings{}, ChartColorTable{}));
  ASSERT_TRUE(writeConfigFile(s, c, path_));
  const Bytes b = fileBytes();
  ASSERT_EQ(b.size(), 2928u);
  EXPECT_EQ(f64At(b, 0), 2.5);
  EXPECT_EQ(i32At(b, 657), 300);
  EXPECT_EQ(i32At(b, 2732), 3000);
}

TEST_F(ConfigFileTest, TwoSavesAreByteIdentical) {
  MonitorSettings s;
  ChartColorTable c;
  changeEverything(s, c);
  ASSERT_TRUE(writeConfigFile(s, c, path_));
  const Bytes first = fileBytes();
  MonitorSettings again;
  ChartColorTable againColors;
  EXPECT_TRUE(readConfigFile(again, againColors, path_).opened);
  ASSERT_TRUE(writeConfigFile(again, againColors, path_));
  EXPECT_EQ(fileBytes(), first);
}

TEST_F(ConfigFileTest, SaveZeroesLegacySlotsInMemory) {
  MonitorSettings s;
  ChartColorTable c;
  s.legacyServerPort = 9;
  copyFixedText(s.legacyPassword, sizeof s.legacyPassword, "secret");
  ASSERT_TRUE(writeConfigFile(s, c, path_));
  EXPECT_EQ(s.legacyServerPort, 0);
  EXPECT_EQ(s.legacyPassword[0], '\0');
}

// What the user set up around the file survives a save: a link stays a link and the file it
// points to is written with the permissions it had; a stray Kestrune.cfg.new, even one that
// points elsewhere, is never written through; nothing is left behind. A FIFO of the file's name
// is neither read nor written, and neither waits.
TEST_F(ConfigFileTest, SaveKeepsWhatIsSetUpAroundTheFile) {
  namespace fs = std::filesystem;
  MonitorSettings s;
  ChartColorTable c;
  fs::create_directories(dir_ / "real");
  const fs::path real = dir_ / "real" / "Kestrune.cfg";
  std::ofstream(real) << "old";
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real/Kestrune.cfg", path_);
  std::ofstream(dir_ / "victim") << "keep";
  fs::create_symlink("victim", path_ + ".new");

  ASSERT_TRUE(writeConfigFile(s, c, path_));
  ASSERT_TRUE(writeConfigFile(s, c, path_));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(fs::file_size(real), kConfigFileSize);
  EXPECT_EQ(fileBytes(), serializeConfig(s, c));
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(fs::is_symlink(path_ + ".new"));
  std::string victim;
  std::ifstream(dir_ / "victim") >> victim;
  EXPECT_EQ(victim, "keep");
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "real")) files += e.path() == real ? 0 : 1;
  EXPECT_EQ(files, 0) << "a temporary file was left behind";

  // A first save through a link that points nowhere yet makes the file it names.
  fs::remove(real);
  ASSERT_TRUE(writeConfigFile(s, c, path_));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(fs::file_size(real), kConfigFileSize);

  const std::string fifo = (dir_ / "fifo.cfg").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_FALSE(readConfigFile(s, c, fifo).opened);
  EXPECT_FALSE(writeConfigFile(s, c, fifo));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// A disk without room for another file or another byte: Kestrune.cfg and an export both fail,
// each leaving the file there whole (never rewritten in place) and nothing beside it. Needs a
// small file system of its own, so root; skipped elsewhere.
TEST_F(ConfigFileTest, AFullDiskKeepsTheOldFilesWhole) {
  namespace fs = std::filesystem;
  const fs::path disk = dir_ / "disk";
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k,nr_inodes=8") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  path_ = (disk / "Kestrune.cfg").string();
  MonitorSettings s;
  ChartColorTable c;
  ASSERT_TRUE(writeConfigFile(s, c, path_));
  const Bytes saved = fileBytes();
  const std::string csv = (disk / "list.csv").string();
  ASSERT_TRUE(replaceFileContents(csv, Bytes{'o', 'l', 'd'}));
  changeEverything(s, c);
  const auto exportBig = [&csv] {
    return saveFileWhole(
        QString::fromStdString(csv),
        [](QIODevice& out) {
          const std::string row(1000, 'x');
          for (int i = 0; i < 1000; ++i) {
            if (out.write(row.data(), static_cast<qint64>(row.size())) < 0) {
              return SaveOutcome::Failed;
            }
          }
          return SaveOutcome::Saved;
        },
        nullptr);
  };
  const auto expectOldFilesOnly = [&](const char* what) {
    EXPECT_EQ(fileBytes(), saved) << what;
    std::ifstream in(csv);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old") << what;
    for (const auto& e : fs::directory_iterator(disk)) {
      EXPECT_EQ(e.path().extension(), e.path() == csv ? ".csv" : ".cfg") << what << e.path();
    }
  };
  // No room for the bytes: the new files cannot be completed.
  {
    std::ofstream fill(disk / "fill.cfg", std::ios::binary);
    fill << std::string(1 << 20, 'f');
  }
  EXPECT_FALSE(writeConfigFile(s, c, path_));
  EXPECT_EQ(exportBig(), SaveOutcome::Failed);
  expectOldFilesOnly("no space");
  fs::remove(disk / "fill.cfg");
  // No room for another file: the new contents cannot be made beside the old.
  for (int i = 0; i < 16; ++i) std::ofstream(disk / ("f" + std::to_string(i) + ".cfg"));
  EXPECT_FALSE(writeConfigFile(s, c, path_));
  EXPECT_EQ(exportBig(), SaveOutcome::Failed);
  expectOldFilesOnly("no inode");
}

TEST_F(ConfigFileTest, UnwritablePlaceFailsQuietly) {
  MonitorSettings s;
  ChartColorTable c;
  EXPECT_FALSE(writeConfigFile(s, c, (dir_ / "no" / "such" / "Kestrune.cfg").string()));
}

}  // namespace
}  // namespace kestrune
