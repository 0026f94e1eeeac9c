// The per-second store: reading samples, storing them, moving the window, the chart alarm and
// the reset.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "charts/chart_intake.h"

namespace kestrune {
namespace {

struct RecordingEffects : ChartIntakeEffects {
  std::vector<std::string> times;
  std::vector<int> gateMinutes;
  std::vector<int> alarms;
  std::vector<ChartId> redraws;
  void showSampleTime(const char* t) override { times.emplace_back(t); }
  void driveCollectionWindow(std::int32_t m) override { gateMinutes.push_back(m); }
  void playChartAlarm(int slot) override { alarms.push_back(slot); }
  void redrawChart(ChartId c) override { redraws.push_back(c); }
};

std::string sample(const char* time, std::vector<int> counts, bool trailingBar = true) {
  std::string s = time;
  for (int c : counts) s += "|" + std::to_string(c);
  if (trailingBar) s += "|";
  return s;
}

std::vector<int> allCounts(int v) { return std::vector<int>(16, v); }

class ChartStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<ChartSeriesSet> series = std::make_unique<ChartSeriesSet>();
  ChartWindow window;
  RecordingEffects fx;
  ChartAlarmRule noAlarm;

  bool live(ChartId id, const std::string& text, const ChartAlarmRule& rule) {
    return takeLiveSample(id, text.c_str(), *series, window, rule, fx);
  }
  bool live(ChartId id, const std::string& text) { return live(id, text, noAlarm); }
};

TEST(ChartSampleParse, ReadsTimeAndCountsLikeTheExample) {
  ChartSample s;
  ASSERT_EQ(parseChartSample("093000|12|7|0|0|3|0|0|1|0|0|2|1|0|0|5|0|", s), SampleParse::Ok);
  EXPECT_EQ(s.secondOfDay, 34200);
  EXPECT_STREQ(s.timeText, "09:30:00");
  EXPECT_EQ(s.counts[0], 12);
  EXPECT_EQ(s.counts[1], 7);
  EXPECT_EQ(s.counts[14], 5);
  EXPECT_EQ(s.counts[15], 0);
}

TEST(ChartSampleParse, CountsReadLikeAtoiAndFieldsEndAtLineFeed) {
  ChartSample s;
  // Empty and non-numeric counts are 0; "12abc" is 12; the line feed ends the last field and
  // anything after it is not a field; a carriage return from a file does not matter.
  ASSERT_EQ(parseChartSample("120000|12abc||x|4|5|6|7|8|9|10|11|12|13|14|15|16\r\n|99|", s),
            SampleParse::Ok);
  EXPECT_EQ(s.counts[0], 12);
  EXPECT_EQ(s.counts[1], 0);
  EXPECT_EQ(s.counts[2], 0);
  EXPECT_EQ(s.counts[15], 16);
  // Extra characters after hhmmss are ignored.
  ASSERT_EQ(parseChartSample((std::string("235959xyz") + sample("", allCounts(1))).c_str(), s),
            SampleParse::Ok);
  EXPECT_EQ(s.secondOfDay, 86399);
}

TEST(ChartSampleParse, RejectsTimesOutsideTheDayAndShortSamples) {
  ChartSample s;
  EXPECT_EQ(parseChartSample(sample("240000", allCounts(1)).c_str(), s), SampleParse::BadTime);
  EXPECT_EQ(parseChartSample(sample("236000", allCounts(1)).c_str(), s), SampleParse::BadTime);
  EXPECT_EQ(parseChartSample(sample("235960", allCounts(1)).c_str(), s), SampleParse::BadTime);
  EXPECT_EQ(parseChartSample(sample("-10000", allCounts(1)).c_str(), s), SampleParse::BadTime);
  EXPECT_EQ(parseChartSample(sample("0930", allCounts(1)).c_str(), s), SampleParse::BadTime);
  EXPECT_EQ(parseChartSample("", s), SampleParse::BadTime);
  EXPECT_EQ(parseChartSample(nullptr, s), SampleParse::BadTime);
  std::vector<int> fifteen(15, 1);
  EXPECT_EQ(parseChartSample(sample("093000", fifteen, false).c_str(), s),
            SampleParse::TooFewCounts);
  EXPECT_EQ(parseChartSample("093000", s), SampleParse::TooFewCounts);
}

TEST(ChartSampleParse, HugeCountsSaturateAndLongFieldsAreCut) {
  ChartSample s;
  std::string text = "100000|99999999999999999999999999";
  for (int i = 0; i < 15; ++i) text += "|1";
  ASSERT_EQ(parseChartSample(text.c_str(), s), SampleParse::Ok);
  EXPECT_EQ(s.counts[0], 2147483647.0);
  // A field is cut to its limit before it is read: 16 digits read as 14 in algo replay.
  text = "100000|1234567890123456";
  for (int i = 0; i < 15; ++i) text += "|1";
  ASSERT_EQ(parseChartSample(text.c_str(), s, kReplayAlgoCountChars), SampleParse::Ok);
  EXPECT_EQ(s.counts[0], 2147483647.0);
  text = "100000|000000000000012345";
  for (int i = 0; i < 15; ++i) text += "|1";
  ASSERT_EQ(parseChartSample(text.c_str(), s, kReplayAlgoCountChars), SampleParse::Ok);
  EXPECT_EQ(s.counts[0], 1.0);  // the 14 kept characters are "00000000000001"
}

TEST_F(ChartStoreTest, FirstAndLastSecondOfTheDay) {
  ASSERT_TRUE(live(ChartId::Reporting, sample("000000", allCounts(3))));
  ASSERT_TRUE(live(ChartId::Reporting, sample("235959", allCounts(4))));
  EXPECT_EQ((*series)[0].values[0], 3);
  EXPECT_EQ((*series)[kTotalSeries].values[0], 48);
  EXPECT_EQ((*series)[15].values[86399], 4);
  EXPECT_EQ((*series)[kTotalSeries].values[86399], 64);
}

TEST_F(ChartStoreTest, SecondReceivedTwiceKeepsLaterCountsAndRecomputesTotal) {
  std::vector<int> first = allCounts(10);
  std::vector<int> second = allCounts(0);
  second[1] = 7;
  ASSERT_TRUE(live(ChartId::Algo, sample("093000", first)));
  ASSERT_TRUE(live(ChartId::Algo, sample("093000", second)));
  EXPECT_EQ((*series)[0].values[34200], 0);
  EXPECT_EQ((*series)[1].values[34200], 7);
  EXPECT_EQ((*series)[kTotalSeries].values[34200], 7);
}

TEST_F(ChartStoreTest, RejectedSampleChangesNothing) {
  ChartAlarmRule rule;
  rule.use = true;
  rule.threshold = 1;
  EXPECT_FALSE(live(ChartId::Listing, sample("250000", allCounts(500)), rule));
  EXPECT_FALSE(live(ChartId::Listing, "093000|1|2|3", rule));
  EXPECT_TRUE(fx.times.empty());
  EXPECT_TRUE(fx.gateMinutes.empty());
  EXPECT_TRUE(fx.alarms.empty());
  EXPECT_TRUE(fx.redraws.empty());
  EXPECT_TRUE(window.resetWindowOnNextSample);
  EXPECT_EQ(window.windowEnd, 300);
}

TEST_F(ChartStoreTest, ListingSampleShowsTimeDrivesCollectionAndRedraws) {
  ASSERT_TRUE(live(ChartId::Listing, sample("093512", allCounts(1))));
  ASSERT_TRUE(live(ChartId::Reporting, sample("093513", allCounts(1))));
  ASSERT_EQ(fx.times.size(), 1u);
  EXPECT_EQ(fx.times[0], "09:35:12");
  ASSERT_EQ(fx.gateMinutes.size(), 1u);
  EXPECT_EQ(fx.gateMinutes[0], 9 * 60 + 35);
  ASSERT_EQ(fx.redraws.size(), 2u);
  EXPECT_EQ(fx.redraws[0], ChartId::Listing);
  EXPECT_EQ(fx.redraws[1], ChartId::Reporting);
}

TEST_F(ChartStoreTest, FirstListingSamplePlacesWindowEndingAtIt) {
  ASSERT_TRUE(live(ChartId::Listing, sample("093000", allCounts(1))));
  EXPECT_EQ(window.windowStart, 33900);
  EXPECT_EQ(window.windowEnd, 34200);
  EXPECT_EQ(window.latestSecond, 34200);
  EXPECT_FALSE(window.resetWindowOnNextSample);
}

TEST_F(ChartStoreTest, FirstReportingSamplePlacesWindowStartingAtIt) {
  ASSERT_TRUE(live(ChartId::Reporting, sample("093000", allCounts(1))));
  EXPECT_EQ(window.windowStart, 34200);
  EXPECT_EQ(window.windowEnd, 34500);
  EXPECT_EQ(window.latestSecond, 0);  // only listing samples move the newest second
  // A listing sample inside the window leaves both window and latestSecond alone.
  ASSERT_TRUE(live(ChartId::Listing, sample("093100", allCounts(1))));
  EXPECT_EQ(window.windowEnd, 34500);
  EXPECT_EQ(window.latestSecond, 0);
  ASSERT_TRUE(live(ChartId::Listing, sample("093501", allCounts(1))));
  EXPECT_EQ(window.windowEnd, 34501);
  EXPECT_EQ(window.windowStart, 34201);
  EXPECT_EQ(window.latestSecond, 34501);
}

TEST_F(ChartStoreTest, FirstListingSampleNearMidnightKeepsStartAtZero) {
  ASSERT_TRUE(live(ChartId::Listing, sample("000100", allCounts(1))));
  EXPECT_EQ(window.windowStart, 0);
  EXPECT_EQ(window.windowEnd, 300);
}

TEST_F(ChartStoreTest, AfterLaterResetFirstSampleFollowsWhicheverChart) {
  ASSERT_TRUE(live(ChartId::Listing, sample("080000", allCounts(1))));
  std::array<ChartSeriesSet*, kChartCount> sets = {series.get(), nullptr, nullptr};
  resetSeriesStore(sets, window, false);
  EXPECT_EQ(window.windowStart, 0);
  EXPECT_EQ(window.windowEnd, 300);
  EXPECT_EQ(window.latestSecond, 28800);  // a reset keeps the newest second
  ASSERT_TRUE(live(ChartId::Algo, sample("093000", allCounts(1))));
  EXPECT_EQ(window.windowStart, 33900);
  EXPECT_EQ(window.windowEnd, 34200);
}

TEST_F(ChartStoreTest, ParkedWindowStaysWhileSamplesStore) {
  ASSERT_TRUE(live(ChartId::Listing, sample("093000", allCounts(1))));
  window.followLive = false;
  ASSERT_TRUE(live(ChartId::Listing, sample("100000", allCounts(9))));
  EXPECT_EQ(window.windowEnd, 34200);
  EXPECT_EQ(window.latestSecond, 34200);
  EXPECT_EQ((*series)[3].values[36000], 9);
}

TEST_F(ChartStoreTest, AlarmFiresAtThresholdAndTotalOnlyUsesTotal) {
  ChartAlarmRule rule;
  rule.use = true;
  rule.threshold = 200;
  std::vector<int> counts = allCounts(0);
  counts[1] = 200;  // NYSE exactly at the threshold
  ASSERT_TRUE(live(ChartId::Listing, sample("093000", counts), rule));
  ASSERT_EQ(fx.alarms.size(), 1u);
  EXPECT_EQ(fx.alarms[0], 1);

  counts = allCounts(0);
  counts[0] = 100;
  counts[5] = 99;  // total 199
  rule.totalOnly = true;
  ASSERT_TRUE(live(ChartId::Algo, sample("093001", counts), rule));
  EXPECT_EQ(fx.alarms.size(), 1u);
  counts[5] = 100;  // total 200
  ASSERT_TRUE(live(ChartId::Algo, sample("093002", counts), rule));
  ASSERT_EQ(fx.alarms.size(), 2u);
  EXPECT_EQ(fx.alarms[1], 0);

  rule.use = false;
  ASSERT_TRUE(live(ChartId::Reporting, sample("093003", allCounts(1000)), rule));
  EXPECT_EQ(fx.alarms.size(), 2u);
}

TEST_F(ChartStoreTest, ReplayStoresWithoutWindowAlarmOrDrawing) {
  ChartAlarmRule rule;
  rule.use = true;
  rule.threshold = 1;
  ASSERT_TRUE(
      takeReplaySample(ChartId::Listing, sample("093000", allCounts(5)).c_str(), *series, &fx));
  ASSERT_TRUE(
      takeReplaySample(ChartId::Algo, sample("093001", allCounts(5)).c_str(), *series, &fx));
  EXPECT_EQ((*series)[kTotalSeries].values[34200], 80);
  EXPECT_EQ(fx.times.size(), 1u);
  EXPECT_TRUE(fx.gateMinutes.empty());
  EXPECT_TRUE(fx.alarms.empty());
  EXPECT_TRUE(fx.redraws.empty());
  EXPECT_TRUE(window.resetWindowOnNextSample);
}

TEST_F(ChartStoreTest, ResetClearsAllSeriesAndSeriesZeroSmartMaxOnly) {
  auto other = std::make_unique<ChartSeriesSet>();
  (*series)[7].values[100] = 4;
  (*other)[kTotalSeries].values[86399] = 9;
  (*series)[0].smartMax = 500;
  (*series)[kTotalSeries].smartMax = 600;
  window.dataPoints = 120;
  window.windowStart = 5000;
  window.followLive = false;
  resetSeriesStore({series.get(), other.get(), nullptr}, window, false);
  EXPECT_EQ((*series)[7].values[100], 0);
  EXPECT_EQ((*other)[kTotalSeries].values[86399], 0);
  EXPECT_EQ((*series)[0].smartMax, 0);
  EXPECT_EQ((*series)[kTotalSeries].smartMax, 600);
  EXPECT_EQ(window.windowStart, 0);
  EXPECT_EQ(window.windowEnd, 120);
  EXPECT_TRUE(window.followLive);
  resetSeriesStore({series.get(), other.get(), nullptr}, window, true);
  EXPECT_EQ(window.dataPoints, 300);
  EXPECT_EQ(window.windowEnd, 300);
}

}  // namespace
}  // namespace kestrune
