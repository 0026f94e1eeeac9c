// Fuzzing the settings file reader with arbitrary bytes and damaged real files, and the real
// window started from them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QTableView>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "app/form_layout.h"
#include "app/main_frame.h"
#include "app/quillfern_viewer_app.h"
#include "app/quillfern_viewer_view.h"
#include "charts/chart_controls.h"
#include "settings/config_file.h"
#include "settings/record_convert.h"
#include "tests/app/app_test_support.h"
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

// The values a damaged file most often carries where the form shows a number or a switch.
void damageShownFields(Rng& rng, std::vector<std::uint8_t>& file) {
  static const std::int32_t kInts[] = {INT32_MIN, -100000, -5,  -1,   0,     1,     5,        12,
                                       29,        30,      300, 5000, 86400, 86401, INT32_MAX};
  static const double kDoubles[] = {std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    -0.0,
                                    -0.4,
                                    -5.0,
                                    0.4,
                                    123.7,
                                    1e9 + 1,
                                    1e300};
  // dataPoints, lineWidth, the column widths, the two font heights and weights.
  static const std::size_t kIntFields[] = {657,  2888, 2820, 2824, 2828, 2832, 2836, 2844,
                                           2848, 2852, 2856, 2860, 2864, 2868, 2872, 2876,
                                           2880, 2884, 2656, 2672, 2760, 2776};
  const int rounds = 1 + static_cast<int>(rng.below(8));
  for (int r = 0; r < rounds; ++r) {
    switch (rng.below(4)) {
      case 0: {
        const std::size_t at = kIntFields[rng.below(std::size(kIntFields))];
        const auto v = static_cast<std::uint32_t>(kInts[rng.below(std::size(kInts))]);
        for (int k = 0; k < 4; ++k) file[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
        break;
      }
      case 1: {
        const std::size_t at = 630 + 8 * rng.below(3);  // a Hard Max
        const double d = kDoubles[rng.below(std::size(kDoubles))];
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        for (int k = 0; k < 8; ++k) file[at + k] = static_cast<std::uint8_t>(u >> (8 * k));
        break;
      }
      case 2: {  // a chart switch
        static const std::size_t kSwitches[] = {654, 655, 656, 685, 686, 687, 688, 689, 690};
        file[kSwitches[rng.below(std::size(kSwitches))]] = rng.byte();
        break;
      }
      default:  // an exchange switch
        file[2896 + rng.below(32)] = rng.byte();
        break;
    }
  }
}

// The chart switch behind one of the form's nine check boxes.
std::uint8_t switchOf(ExchangeCharts& charts, int id) {
  for (int c = 0; c < kChartCount; ++c) {
    const ChartControlIds& ids = kChartControlIds[c];
    if (id == ids.smartScale) return charts.smartScale(ChartId(c));
    if (id == ids.colorLegend) return charts.colorLegend(ChartId(c));
    if (id == ids.totalOnly) return charts.totalOnly(ChartId(c));
  }
  return 0xFF;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The real window started from random, mutated and damaged files: every value the form shows is
// the value it uses and the value it saves, and each lies in the range the form can show. A
// switch box clicked once shows and uses the same state afterwards.
TEST(FuzzConfigFile, TheWindowShowsWhatItUsesAndSaves) {
  test::ensureApplication();
  Rng rng(0x5E770003);
  const int n = fuzz::iterations(20);
  for (int it = 0; it < n; ++it) {
    SCOPED_TRACE("iteration " + std::to_string(it));
    std::vector<std::uint8_t> file = randomValidFile(rng);
    if (rng.chance(3)) {
      fuzz::mutate(rng, file, 4000);
    } else {
      damageShownFields(rng, file);
    }
    testing::ScratchProfile profile;
    std::ofstream(profile.configPath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    MonitorSettings used;
    {
      auto frame = std::make_unique<CMainFrame>();
      CQuillfernViewerView::Options options;
      options.dpiScale = 1.0;
      options.configPath = profile.configPath();
      auto* view = new CQuillfernViewerView(frame.get(), options);
      frame->setView(view);
      installAlerts(*view);
      view->hooks().stopClient = [] {};
      view->initialUpdate();
      MonitorSettings& s = view->settings();

      auto* dataPoints = qobject_cast<QLineEdit*>(view->control(kDataPointsEditId));
      ASSERT_EQ(dataPoints->text(), QString::number(s.dataPoints));
      ASSERT_EQ(view->charts().window().dataPoints, s.dataPoints);
      ASSERT_TRUE(s.dataPoints >= 1 && s.dataPoints <= 86400) << s.dataPoints;
      ASSERT_TRUE(s.lineWidth >= 1 && s.lineWidth <= 5) << s.lineWidth;
      for (int c = 0; c < kChartCount; ++c) {
        const double hardMax = view->charts().hardMax(ChartId(c));
        auto* edit = qobject_cast<QLineEdit*>(view->control(kChartControlIds[c].hardMaxEdit));
        ASSERT_EQ(edit->text(), QString::asprintf("%0.0f", hardMax));
        ASSERT_TRUE(hardMax >= 0.0 && hardMax <= 1e9 && hardMax == std::round(hardMax)) << hardMax;
        const ChartControlIds& ids = kChartControlIds[c];
        for (int id : {ids.smartScale, ids.colorLegend, ids.totalOnly}) {
          const std::uint8_t flag = switchOf(view->charts(), id);
          ASSERT_LE(flag, 1);
          ASSERT_EQ(qobject_cast<QCheckBox*>(view->control(id))->isChecked(), flag == 1) << id;
        }
      }
      for (std::uint8_t on : s.listingExchangeOn) ASSERT_LE(on, 1);
      for (std::uint8_t on : s.reportingExchangeOn) ASSERT_LE(on, 1);

      const int kLists[] = {IDC_RAW_LIST, IDC_SEQ_LIST, IDC_ALGO_LIST};
      const std::int32_t* widths[] = {s.rawColumnWidths.data(), s.seqColumnWidths.data(),
                                      s.algoColumnWidths.data()};
      for (int l = 0; l < 3; ++l) {
        QTableView* list = view->list(kLists[l]);
        for (int c = 0; c < list->model()->columnCount(); ++c) {
          ASSERT_EQ(list->columnWidth(c), widths[l][c]) << "list " << l << " column " << c;
          ASSERT_LE(widths[l][c], list->width());
        }
      }
      const QFont shownFonts[] = {view->list(IDC_RAW_LIST)->font(), view->chartFont()};
      const LogFontRecord* records[] = {&s.listFont, &s.chartFont};
      for (int f = 0; f < 2; ++f) {
        ASSERT_LE(std::abs(static_cast<std::int64_t>(records[f]->lfHeight)), 1000);
        if (records[f]->lfHeight < 0) {
          ASSERT_EQ(QFontInfo(shownFonts[f]).pixelSize(), -records[f]->lfHeight);
        }
        ASSERT_EQ(static_cast<int>(shownFonts[f].weight()),
                  records[f]->lfWeight == 0 ? 400 : records[f]->lfWeight);
      }

      // One switch clicked: the box and the chart agree afterwards.
      const ChartControlIds& ids = kChartControlIds[rng.below(kChartCount)];
      const int clicked = std::array{ids.smartScale, ids.colorLegend, ids.totalOnly}[rng.below(3)];
      auto* box = qobject_cast<QCheckBox*>(view->control(clicked));
      box->click();
      ASSERT_EQ(box->isChecked(), switchOf(view->charts(), clicked) == 1);
      used = s;
      frame->close();
    }

    MonitorSettings saved;
    ChartColorTable colors;
    parseConfig(readBytes(profile.configPath()), saved, colors);
    ASSERT_EQ(saved.dataPoints, used.dataPoints);
    ASSERT_EQ(saved.lineWidth, used.lineWidth);
    ASSERT_EQ(saved.hardMaxReporting, used.hardMaxReporting);
    ASSERT_EQ(saved.hardMaxListing, used.hardMaxListing);
    ASSERT_EQ(saved.hardMaxAlgo, used.hardMaxAlgo);
    ASSERT_EQ(saved.smartScaleListing, used.smartScaleListing);
    ASSERT_EQ(saved.totalOnlyAlgo, used.totalOnlyAlgo);
    ASSERT_EQ(saved.colorLegendReporting, used.colorLegendReporting);
    ASSERT_EQ(saved.listingExchangeOn, used.listingExchangeOn);
    ASSERT_EQ(saved.reportingExchangeOn, used.reportingExchangeOn);
    ASSERT_TRUE(std::equal(saved.rawColumnWidths.begin(), saved.rawColumnWidths.begin() + 5,
                           used.rawColumnWidths.begin()));
    ASSERT_EQ(saved.seqColumnWidths, used.seqColumnWidths);
    ASSERT_EQ(saved.algoColumnWidths, used.algoColumnWidths);
    // Fonts byte for byte, but for what follows the face name's NUL (written as zeros).
    for (auto [a, b] :
         {std::pair{saved.listFont, used.listFont}, {saved.chartFont, used.chartFont}}) {
      ASSERT_EQ(std::memcmp(&a, &b, offsetof(LogFontRecord, lfFaceName)), 0);
      ASSERT_EQ(std::strncmp(a.lfFaceName, b.lfFaceName, kFaceNameSize), 0);
    }
  }
}

}  // namespace
}  // namespace kestrune
