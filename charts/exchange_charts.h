// The three exchange charts of the monitor view: their set-up, the exchange and TOTAL drawings
// with their scale modes, the live and replay intakes, and the handlers of the chart controls.
#pragma once

#include <QImage>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "charts/chart_intake.h"
#include "charts/chart_lock.h"
#include "charts/chart_series.h"
#include "charts/chart_window.h"
#include "charts/ryx_chart_template.h"
#include "charts/typical_band.h"
#include "settings/monitor_settings.h"

namespace kestrune {

// Where the charts reach the window. The intake calls these on the receive thread, the
// handlers on the window thread; an implementation must not paint synchronously (it may be
// called with the chart lock held): it queues the effect for the window thread.
class ChartHost {
 public:
  virtual ~ChartHost() = default;
  virtual void showSampleTime(const char* hhmmss) = 0;
  virtual void driveCollectionWindow(std::int32_t minuteOfDay) = 0;
  virtual void playChartAlarm(int slot) = 0;
  // A chart has a new finished picture for its widget.
  virtual void chartPictureReady(ChartId chart) = 0;
};

// A chart alarm slot (0 Algo, 1 Listing, 2 Reporting) as the live intake reads it.
struct ChartAlarmSlot {
  bool use = false;
  bool loop = false;
  std::int32_t threshold = 200;
  std::string fileName;
};
using ChartAlarmSlots = std::array<ChartAlarmSlot, kChartCount>;

// Hour, minute and second of every second of the day, for the time axis.
struct SecondOfDayTables {
  std::array<std::int32_t, kSecondsPerDay> hourOf{};
  std::array<std::int32_t, kSecondsPerDay> minuteOf{};
  std::array<std::int32_t, kSecondsPerDay> secondOf{};
  void build();
};

const char* chartTitle(ChartId chart);

// One large object (the three charts' per-second data); make it once, on the heap.
class ExchangeCharts : private ChartIntakeEffects {
 public:
  explicit ExchangeCharts(MonitorSettings& settings);

  void setHost(ChartHost* host) { host_ = host; }

  // Geometry, font, colours and series labels of the three charts, each cleared, framed and
  // published once, then the second-of-day tables. width x height is the chart surface size.
  void setUpCharts(std::int32_t width = 480, std::int32_t height = 210);
  // Takes the chart colours and font from the settings again (after the preferences change).
  void applySettings();
  // Takes the chart alarm slots from the settings again (window thread, after they changed). The
  // live intake reads a copy made here, never the settings a dialog writes.
  void refreshAlarmSlots();
  std::shared_ptr<const ChartAlarmSlots> alarmSlots() const;

  void setChartsReady(bool ready) { chartsReady_.store(ready); }
  bool chartsReady() const { return chartsReady_.load(); }

  // The TOTAL drawing if the chart's Total Only switch is on, else the exchange drawing.
  // The caller holds chartLock().
  void drawChart(ChartId chart);
  // Takes the chart lock once and draws Reporting, Listing and Algo; nothing before set-up ends.
  void redrawAllCharts();
  // Fills each chart's picture with its background (a new session).
  void clearPictures();

  // Live intake, receive thread.
  bool takeListingSample(const char* text) { return takeLive(ChartId::Listing, text); }
  bool takeReportingSample(const char* text) { return takeLive(ChartId::Reporting, text); }
  bool takeAlgoSample(const char* text) { return takeLive(ChartId::Algo, text); }
  // Replay intake, window thread: store only (and the time box for listing samples).
  bool replayListingSample(const char* text);
  bool replayReportingSample(const char* text);
  bool replayAlgoSample(const char* text);
  void resetSeriesStore(bool resetDataPoints);
  // The day so far, any thread but the window's: stores samples read as replay reads them and
  // moves the window as live samples do, under the chart lock once for the lot; no time box,
  // alarm or drawing.
  void storeLoadedSamples(ChartId chart, std::span<const ChartSample> samples);

  // Chart control handlers; each draws the chart under the chart lock.
  void onHardMaxEdited(ChartId chart, const char* text);  // an empty text changes nothing
  bool onSmartScaleClicked(ChartId chart);  // returns the new switch; Hard Max is editable when off
  void onColorLegendClicked(ChartId chart);
  void onTotalOnlyClicked(ChartId chart);

  RyxChartTemplate& chart(ChartId id) { return charts_[chartIndex(id)]; }
  const RyxChartTemplate& chart(ChartId id) const { return charts_[chartIndex(id)]; }
  // The window as the receive thread also moves it: read or change it on the window thread
  // only through editWindow, which holds the chart lock (never call it with the lock held).
  ChartWindow& window() { return window_; }
  template <class F>
  auto editWindow(F&& change) {
    std::lock_guard<std::mutex> lock(chartLock());
    return change(window_);
  }
  MonitorSettings& settings() { return settings_; }

  // The typical day drawn behind a chart's lines, or none (null or empty): set under the chart
  // lock, and the chart is drawn again. typicalBand is read with the lock held.
  void setTypicalBand(ChartId chart, std::shared_ptr<const TypicalBand> band);
  const TypicalBand* typicalBand(ChartId chart) const;

  // A copy of the chart's last finished picture, taken under the chart lock.
  QImage finishedPicture(ChartId chart) const;

  // Per-chart settings, by chart.
  double& hardMax(ChartId chart);
  std::uint8_t& smartScale(ChartId chart);
  std::uint8_t& colorLegend(ChartId chart);
  std::uint8_t& totalOnly(ChartId chart);
  const std::array<std::uint8_t, kExchangeCount>& exchangeOn(ChartId chart) const;

 private:
  bool takeLive(ChartId chart, const char* text);
  void drawExchanges(ChartId chart);
  void drawTotal(ChartId chart);
  void prepareDrawing(RyxChartTemplate& t);
  void finishDrawing(ChartId chart);
  void drawAndNotify(ChartId chart);
  bool flipAndDraw(ChartId chart, std::uint8_t& flag);

  // ChartIntakeEffects
  void showSampleTime(const char* hhmmss) override;
  void driveCollectionWindow(std::int32_t minuteOfDay) override;
  void playChartAlarm(int slot) override;
  void redrawChart(ChartId chart) override;

  MonitorSettings& settings_;
  ChartHost* host_ = nullptr;
  mutable std::mutex alarmLock_;  // guards the pointer, not the slots
  std::shared_ptr<const ChartAlarmSlots> alarmSlots_;
  std::atomic<bool> chartsReady_{false};
  std::array<RyxChartTemplate, kChartCount> charts_;
  ChartWindow window_;
  SecondOfDayTables tables_;
  std::array<std::shared_ptr<const TypicalBand>, kChartCount> typical_;
};

}  // namespace kestrune
