// Taking chart samples into the per-second store, live from the server link and from a replayed
// day, and resetting the store.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "charts/chart_sample.h"
#include "charts/chart_series.h"
#include "charts/chart_window.h"

namespace kestrune {

// What a live sample does beyond the store. The live intake runs on the receive thread: an
// implementation routes the window effects (time box, widget update, sound) to the window thread.
class ChartIntakeEffects {
 public:
  virtual ~ChartIntakeEffects() = default;
  // The "Time:" box, "hh:mm:ss"; listing samples only (live and replayed).
  virtual void showSampleTime(const char* hhmmss) = 0;
  // Opens or closes the day's data files by the collection window; live listing samples only.
  virtual void driveCollectionWindow(std::int32_t minuteOfDay) = 0;
  // Plays the chart's alarm slot (0 Algo, 1 Listing, 2 Reporting).
  virtual void playChartAlarm(int slot) = 0;
  // Draws the chart under the chart lock and lets its widget show the new picture.
  virtual void redrawChart(ChartId chart) = 0;
};

// The chart alarm as the settings give it for one chart.
struct ChartAlarmRule {
  bool use = false;
  std::int32_t threshold = 200;
  bool totalOnly = false;  // the chart's "Total Only:" switch
};

// Alarm slot of each chart: 0 Algo, 1 Listing, 2 Reporting.
int chartAlarmSlot(ChartId chart);

// Writes the 16 counts at the sample's second and recomputes TOTAL there; marks the second as
// covered when coverage is given.
void storeChartSample(const ChartSample& sample, ChartSeriesSet& series,
                      SecondCoverage* coverage = nullptr);

// Moves the window for a live sample at second s of the given chart.
void moveWindowForSample(ChartId chart, std::int32_t s, ChartWindow& window);

// True if the alarm fires for the values now held at second s.
bool chartAlarmDue(const ChartSeriesSet& series, std::int32_t s, const ChartAlarmRule& rule);

// Live intake of one sample: time box and collection window (listing only), store, window,
// alarm, redraw. A sample that cannot be read (time outside the day, fewer than 16 counts)
// changes nothing; returns whether it was taken. When `dataLock` is given, the store and the
// window move happen under it, so a drawing or a navigation step on the window thread never
// sees them half done; the effects run outside it.
bool takeLiveSample(ChartId chart, const char* text, ChartSeriesSet& series, ChartWindow& window,
                    const ChartAlarmRule& alarm, ChartIntakeEffects& effects,
                    std::mutex* dataLock = nullptr, SecondCoverage* coverage = nullptr);

// Reads one data-file line of the given chart as replay does (the Algo chart's file may hold
// wider counts).
bool parseReplaySample(ChartId chart, const char* text, ChartSample& sample);

// Replay intake: the time box (listing only) and the store; no window, alarm or drawing.
bool takeReplaySample(ChartId chart, const char* text, ChartSeriesSet& series,
                      ChartIntakeEffects* effects, SecondCoverage* coverage = nullptr);

// Zeroes every per-second value of the given charts and the smart maximum of their series 0,
// and puts the window back to its start, following. The TOTAL smart maximum, latestSecond and
// resetWindowOnNextSample are kept.
void resetSeriesStore(const std::array<ChartSeriesSet*, kChartCount>& charts, ChartWindow& window,
                      bool resetDataPoints);

}  // namespace kestrune
