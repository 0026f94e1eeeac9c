// Fuzzing the chart sample reader and the live and replay intakes: no sample lands outside the
// day, and every sample read agrees with a plain reference reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "charts/chart_intake.h"
#include "charts/chart_sample.h"
#include "tests/fuzz/fuzz_support.h"

namespace kestrune {
namespace {

using fuzz::Rng;

// The reader written the long way: the record ends at its first NUL or line feed, fields are
// split at '|', the time is three two-character numbers, counts read like strtoll clamped to
// 32 bits after the cut to countChars.
struct RefSample {
  bool ok = false;
  int secondOfDay = 0;
  std::string time;
  std::vector<double> counts;
};

long long ref2(const std::string& s) { return std::strtoll(s.c_str(), nullptr, 10); }

RefSample referenceParse(const std::string& text, int countChars) {
  RefSample r;
  std::string record = text.substr(0, text.find('\0'));
  record = record.substr(0, record.find('\n'));
  std::vector<std::string> fields;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t bar = record.find('|', pos);
    fields.push_back(record.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos));
    if (bar == std::string::npos) break;
    pos = bar + 1;
  }
  const std::string& time = fields[0];
  if (time.size() < 6) return r;
  const long long h = ref2(time.substr(0, 2)), m = ref2(time.substr(2, 2)),
                  s = ref2(time.substr(4, 2));
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return r;
  if (fields.size() < 1 + static_cast<std::size_t>(kChartExchangeCount)) return r;
  r.ok = true;
  r.secondOfDay = static_cast<int>(h * 3600 + m * 60 + s);
  r.time = time.substr(0, 2) + ":" + time.substr(2, 2) + ":" + time.substr(4, 2);
  for (int e = 0; e < kChartExchangeCount; ++e) {
    const std::string f = fields[1 + e].substr(0, static_cast<std::size_t>(countChars));
    r.counts.push_back(static_cast<double>(
        std::clamp<long long>(std::strtoll(f.c_str(), nullptr, 10), -INT_MAX, INT_MAX)));
  }
  return r;
}

// A sample as the server writes it, then maybe damaged.
std::string makeSampleText(Rng& rng) {
  if (rng.chance(4)) return fuzz::randomText(rng, rng.chance(10) ? 2000 : 200);
  char time[16];
  std::snprintf(time, sizeof time, "%02d%02d%02d", static_cast<int>(rng.range(0, 25)),
                static_cast<int>(rng.range(0, 61)), static_cast<int>(rng.range(0, 61)));
  std::string text = time;
  for (int e = 0; e < kChartExchangeCount; ++e) {
    text.push_back('|');
    if (rng.chance(10))
      text += std::string(1 + rng.below(30), static_cast<char>('0' + rng.below(10)));
    else
      text += std::to_string(rng.range(-5, 5000));
  }
  text.push_back('|');
  std::vector<char> v(text.begin(), text.end());
  if (rng.chance(2)) fuzz::mutate(rng, v, 4000);
  return std::string(v.begin(), v.end());
}

TEST(FuzzChartSample, ParseMatchesReference) {
  Rng rng(0xC4A70001);
  const int n = fuzz::iterations(8000);
  int ok = 0;
  for (int it = 0; it < n; ++it) {
    const std::string text = makeSampleText(rng);
    const int countChars = rng.chance(2) ? kSampleCountChars : kReplayAlgoCountChars;
    // An exact-size, NUL-terminated heap copy: the reader must stop at the terminator.
    auto exact = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(exact.get(), text.c_str(), text.size() + 1);
    ChartSample sample;
    const SampleParse result = parseChartSample(exact.get(), sample, countChars);
    const RefSample ref = referenceParse(text, countChars);
    ASSERT_EQ(result == SampleParse::Ok, ref.ok) << "'" << text << "'";
    if (!ref.ok) continue;
    ++ok;
    ASSERT_GE(sample.secondOfDay, 0);
    ASSERT_LE(sample.secondOfDay, kLastSecondOfDay);
    ASSERT_EQ(sample.secondOfDay, ref.secondOfDay);
    ASSERT_EQ(sample.secondOfDay, sample.hour * 3600 + sample.minute * 60 + sample.second);
    ASSERT_EQ(std::string(sample.timeText), ref.time);
    for (int e = 0; e < kChartExchangeCount; ++e)
      ASSERT_EQ(sample.counts[e], ref.counts[static_cast<std::size_t>(e)]) << "count " << e;
  }
  EXPECT_GT(ok, n / 10);
}

class RecordingEffects : public ChartIntakeEffects {
 public:
  void showSampleTime(const char* hhmmss) override { times.emplace_back(hhmmss); }
  void driveCollectionWindow(std::int32_t minuteOfDay) override { minutes.push_back(minuteOfDay); }
  void playChartAlarm(int slot) override { slots.push_back(slot); }
  void redrawChart(ChartId chart) override { redraws.push_back(chart); }
  std::vector<std::string> times;
  std::vector<std::int32_t> minutes;
  std::vector<int> slots;
  std::vector<ChartId> redraws;
};

// The live and replay intakes over a stream of arbitrary samples: only the seconds of samples
// that read well are written, each with its counts and their total; nothing around the per-second
// store is touched; the window stays inside sensible bounds.
TEST(FuzzChartIntake, OnlyGoodSamplesReachTheStore) {
  Rng rng(0xC4A70002);
  auto series = std::make_unique<ChartSeriesSet>();
  for (ChartSeries& s : *series) {
    s.windowMax = 11;
    s.smartMax = 13;
    s.color = 0xABCDEF;
  }
  ChartWindow window;
  std::set<int> written;
  RecordingEffects effects;
  std::mutex lock;
  const int n = fuzz::iterations(6000);
  for (int it = 0; it < n; ++it) {
    const std::string text = makeSampleText(rng);
    const auto chart = static_cast<ChartId>(rng.below(kChartCount));
    const bool live = rng.chance(2);
    if (rng.chance(50)) window.resetWindowOnNextSample = true;
    if (rng.chance(50)) window.dataPoints = static_cast<std::int32_t>(rng.range(1, 86400));
    ChartAlarmRule alarm;
    alarm.use = rng.chance(2);
    alarm.threshold = static_cast<std::int32_t>(rng.range(0, 6000));
    alarm.totalOnly = rng.chance(2);
    effects = RecordingEffects{};

    const int countChars =
        !live && chart == ChartId::Algo ? kReplayAlgoCountChars : kSampleCountChars;
    const RefSample ref = referenceParse(text, countChars);
    const bool taken =
        live ? takeLiveSample(chart, text.c_str(), *series, window, alarm, effects,
                              rng.chance(2) ? &lock : nullptr)
             : takeReplaySample(chart, text.c_str(), *series, rng.chance(2) ? &effects : nullptr);
    ASSERT_EQ(taken, ref.ok) << "'" << text << "'";
    if (!taken) {
      ASSERT_TRUE(effects.times.empty() && effects.minutes.empty() && effects.slots.empty() &&
                  effects.redraws.empty());
      continue;
    }
    written.insert(ref.secondOfDay);
    double total = 0;
    for (int e = 0; e < kChartExchangeCount; ++e) {
      ASSERT_EQ((*series)[e].values[ref.secondOfDay], ref.counts[static_cast<std::size_t>(e)]);
      total += ref.counts[static_cast<std::size_t>(e)];
    }
    ASSERT_EQ((*series)[kTotalSeries].values[ref.secondOfDay], total);
    for (const std::string& t : effects.times) ASSERT_EQ(t, ref.time);
    for (std::int32_t m : effects.minutes) ASSERT_EQ(m, ref.secondOfDay / 60);
    for (int slot : effects.slots) ASSERT_EQ(slot, chartAlarmSlot(chart));
    if (live) {
      ASSERT_GE(window.windowStart, 0);
      ASSERT_LE(window.windowStart, window.windowEnd);
      ASSERT_LE(window.windowStart, kLastSecondOfDay);
      ASSERT_EQ(effects.redraws.size(), 1u);
    }
  }
  // One pass over the whole store at the end: only written seconds hold anything.
  for (const ChartSeries& s : *series) {
    ASSERT_EQ(s.windowMax, 11);
    ASSERT_EQ(s.smartMax, 13);
    ASSERT_EQ(s.color, 0xABCDEFu);
    for (int sec = 0; sec < kSecondsPerDay; ++sec) {
      if (s.values[sec] != 0) {
        ASSERT_TRUE(written.count(sec)) << "second " << sec;
      }
    }
  }
}

// leadingInteger never reads past its length and agrees with strtoll clamped to 32 bits.
TEST(FuzzChartSample, LeadingIntegerMatchesClampedStrtoll) {
  Rng rng(0xC4A70003);
  const int n = fuzz::iterations(50000);
  for (int it = 0; it < n; ++it) {
    std::string text = fuzz::randomText(rng, 40);
    if (rng.chance(3))
      text = std::string(rng.below(3), ' ') + (rng.chance(2) ? "-" : "+") +
             std::string(1 + rng.below(25), static_cast<char>('1' + rng.below(9)));
    const int len = static_cast<int>(rng.below(text.size() + 1));
    std::unique_ptr<char[]> exact(new char[static_cast<std::size_t>(len) + 1]);
    std::memcpy(exact.get(), text.data(), static_cast<std::size_t>(len));
    const std::string cut = text.substr(0, static_cast<std::size_t>(len));
    // strtoll also skips a line feed, which never reaches leadingInteger inside a field.
    if (cut.find_first_not_of(" \t\r\v\f") < cut.size() &&
        cut[cut.find_first_not_of(" \t\r\v\f")] == '\n')
      continue;
    const long long ref =
        std::clamp<long long>(std::strtoll(cut.c_str(), nullptr, 10), -INT_MAX, INT_MAX);
    ASSERT_EQ(leadingInteger(exact.get(), len), ref) << "'" << cut << "'";
  }
}

}  // namespace
}  // namespace kestrune
