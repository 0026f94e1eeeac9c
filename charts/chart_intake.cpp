#include "charts/chart_intake.h"

#include <algorithm>

namespace kestrune {

int chartAlarmSlot(ChartId chart) {
  switch (chart) {
    case ChartId::Algo:
      return 0;
    case ChartId::Listing:
      return 1;
    case ChartId::Reporting:
      return 2;
  }
  return 0;
}

void storeChartSample(const ChartSample& sample, ChartSeriesSet& series, SecondCoverage* coverage) {
  const std::int32_t s = sample.secondOfDay;
  if (s < 0 || s > kLastSecondOfDay) return;  // parseChartSample never lets this through
  double total = 0.0;
  for (int e = 0; e < kChartExchangeCount; ++e) {
    series[e].values[s] = sample.counts[e];
    total += sample.counts[e];
  }
  series[kTotalSeries].values[s] = total;
  if (coverage != nullptr) coverage->mark(s);
}

void moveWindowForSample(ChartId chart, std::int32_t s, ChartWindow& window) {
  if (window.resetWindowOnNextSample) {
    window.resetWindowOnNextSample = false;
    if (chart == ChartId::Listing) {
      window.windowStart = std::max(0, s - window.dataPoints);
    } else {
      window.windowStart = s;
    }
    window.windowEnd = window.windowStart + window.dataPoints;
  } else if (window.followLive && s > window.windowEnd) {
    window.windowEnd = s;
    window.windowStart = std::max(0, s - window.dataPoints);
  } else {
    return;
  }
  if (chart == ChartId::Listing) window.latestSecond = window.windowEnd;
}

bool chartAlarmDue(const ChartSeriesSet& series, std::int32_t s, const ChartAlarmRule& rule) {
  if (!rule.use || s < 0 || s > kLastSecondOfDay) return false;
  const double threshold = rule.threshold;
  if (rule.totalOnly) return series[kTotalSeries].values[s] >= threshold;
  for (int e = 0; e < kChartExchangeCount; ++e) {
    if (series[e].values[s] >= threshold) return true;
  }
  return false;
}

bool takeLiveSample(ChartId chart, const char* text, ChartSeriesSet& series, ChartWindow& window,
                    const ChartAlarmRule& alarm, ChartIntakeEffects& effects, std::mutex* dataLock,
                    SecondCoverage* coverage) {
  ChartSample sample;
  if (parseChartSample(text, sample) != SampleParse::Ok) return false;
  if (chart == ChartId::Listing) {
    effects.showSampleTime(sample.timeText);
    effects.driveCollectionWindow(sample.hour * 60 + sample.minute);
  }
  bool alarmDue = false;
  {
    std::unique_lock<std::mutex> guard;
    if (dataLock != nullptr) guard = std::unique_lock<std::mutex>(*dataLock);
    storeChartSample(sample, series, coverage);
    moveWindowForSample(chart, sample.secondOfDay, window);
    alarmDue = chartAlarmDue(series, sample.secondOfDay, alarm);
  }
  if (alarmDue) effects.playChartAlarm(chartAlarmSlot(chart));
  effects.redrawChart(chart);
  return true;
}

bool parseReplaySample(ChartId chart, const char* text, ChartSample& sample) {
  const int countChars = chart == ChartId::Algo ? kReplayAlgoCountChars : kSampleCountChars;
  return parseChartSample(text, sample, countChars) == SampleParse::Ok;
}

bool takeReplaySample(ChartId chart, const char* text, ChartSeriesSet& series,
                      ChartIntakeEffects* effects, SecondCoverage* coverage) {
  ChartSample sample;
  if (!parseReplaySample(chart, text, sample)) return false;
  if (chart == ChartId::Listing && effects != nullptr) effects->showSampleTime(sample.timeText);
  storeChartSample(sample, series, coverage);
  return true;
}

void resetSeriesStore(const std::array<ChartSeriesSet*, kChartCount>& charts, ChartWindow& window,
                      bool resetDataPoints) {
  for (ChartSeriesSet* set : charts) {
    if (set == nullptr) continue;
    // All 17 series: a new day must never show an old day's counts between its own samples.
    for (ChartSeries& series : *set)
      std::fill(std::begin(series.values), std::end(series.values), 0.0);
    (*set)[0].smartMax = 0.0;
  }
  window.windowStart = 0;
  if (resetDataPoints) window.dataPoints = 300;
  window.windowEnd = window.dataPoints;
  window.followLive = true;
}

}  // namespace kestrune
