#include "charts/exchange_charts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "charts/chart_lock.h"
#include "charts/chart_scale.h"
#include "settings/record_convert.h"

namespace kestrune {

void SecondOfDayTables::build() {
  for (std::int32_t s = 0; s < kSecondsPerDay; ++s) {
    hourOf[s] = s / 3600;
    minuteOf[s] = (s / 60) % 60;
    secondOf[s] = s % 60;
  }
}

const char* chartTitle(ChartId chart) {
  switch (chart) {
    case ChartId::Reporting:
      return "#Stocks with HFT Quotes / Per Second / Per Reporting Exg";
    case ChartId::Listing:
      return "#Stocks with HFT Quotes / Per Second / Per Listing Exg";
    case ChartId::Algo:
      return "#Stocks with HFT Algo Sequences / Per Second / Per Reporting Exg";
  }
  return "";
}

namespace {

constexpr ChartId kDrawOrder[kChartCount] = {ChartId::Reporting, ChartId::Listing, ChartId::Algo};

ChartTemplateColors templateColors(const ChartColorTable& c) {
  ChartTemplateColors t;
  t.insetsBk = static_cast<std::uint32_t>(c.insetsBk);
  t.insetsFg = static_cast<std::uint32_t>(c.insetsFg);
  t.graphAreaBk = static_cast<std::uint32_t>(c.graphAreaBk);
  t.outlineFg = static_cast<std::uint32_t>(c.outlineFg);
  t.chartAuxFg = static_cast<std::uint32_t>(c.chartAuxFg);
  t.chartDotLineColor = static_cast<std::uint32_t>(c.chartDotLineColor);
  t.gridlineFg = static_cast<std::uint32_t>(c.gridlineFg);
  return t;
}

std::uint32_t totalColor(ChartId chart) {
  const ChartColorTable& c = chartColors();
  switch (chart) {
    case ChartId::Reporting:
      return static_cast<std::uint32_t>(c.totalColorReporting);
    case ChartId::Listing:
      return static_cast<std::uint32_t>(c.totalColorListing);
    case ChartId::Algo:
      return static_cast<std::uint32_t>(c.totalColorAlgo);
  }
  return 0;
}

}  // namespace

ExchangeCharts::ExchangeCharts(MonitorSettings& settings) : settings_(settings) {
  tables_.build();
  refreshAlarmSlots();
}

void ExchangeCharts::refreshAlarmSlots() {
  auto fresh = std::make_shared<ChartAlarmSlots>();
  for (int i = 0; i < kChartCount; ++i) {
    const AudioAlertSlot& from = settings_.audioAlert[static_cast<std::size_t>(i)];
    ChartAlarmSlot& to = (*fresh)[static_cast<std::size_t>(i)];
    to.use = from.use != 0;
    to.loop = from.loop != 0;
    to.threshold = from.threshold;
    to.fileName.assign(from.fileName, ::strnlen(from.fileName, sizeof from.fileName));
  }
  std::lock_guard<std::mutex> lock(alarmLock_);
  alarmSlots_ = std::move(fresh);
}

std::shared_ptr<const ChartAlarmSlots> ExchangeCharts::alarmSlots() const {
  std::lock_guard<std::mutex> lock(alarmLock_);
  return alarmSlots_;
}

double& ExchangeCharts::hardMax(ChartId chart) {
  switch (chart) {
    case ChartId::Reporting:
      return settings_.hardMaxReporting;
    case ChartId::Listing:
      return settings_.hardMaxListing;
    case ChartId::Algo:
      break;
  }
  return settings_.hardMaxAlgo;
}

std::uint8_t& ExchangeCharts::smartScale(ChartId chart) {
  switch (chart) {
    case ChartId::Reporting:
      return settings_.smartScaleReporting;
    case ChartId::Listing:
      return settings_.smartScaleListing;
    case ChartId::Algo:
      break;
  }
  return settings_.smartScaleAlgo;
}

std::uint8_t& ExchangeCharts::colorLegend(ChartId chart) {
  switch (chart) {
    case ChartId::Reporting:
      return settings_.colorLegendReporting;
    case ChartId::Listing:
      return settings_.colorLegendListing;
    case ChartId::Algo:
      break;
  }
  return settings_.colorLegendAlgo;
}

std::uint8_t& ExchangeCharts::totalOnly(ChartId chart) {
  switch (chart) {
    case ChartId::Reporting:
      return settings_.totalOnlyReporting;
    case ChartId::Listing:
      return settings_.totalOnlyListing;
    case ChartId::Algo:
      break;
  }
  return settings_.totalOnlyAlgo;
}

const std::array<std::uint8_t, kExchangeCount>& ExchangeCharts::exchangeOn(ChartId chart) const {
  return chart == ChartId::Listing ? settings_.listingExchangeOn : settings_.reportingExchangeOn;
}

void ExchangeCharts::applySettings() {
  const ChartTemplateColors colors = templateColors(chartColors());
  const QFont font = toQFont(settings_.chartFont, screenFontDpi());
  for (ChartId id : kDrawOrder) {
    RyxChartTemplate& t = chart(id);
    t.font = font;
    t.applyColors(colors);
    for (int e = 0; e < kChartExchangeCount; ++e) {
      t.setSeriesLabel(t.series[e], kExchangeSeriesNames[e],
                       static_cast<std::uint32_t>(chartColors().exchangeColor(e)));
    }
    t.setSeriesLabel(t.series[kTotalSeries], kTotalSeriesName, totalColor(id));
  }
}

void ExchangeCharts::setUpCharts(std::int32_t width, std::int32_t height) {
  std::lock_guard<std::mutex> lock(chartLock());
  for (ChartId id : kDrawOrder) {
    RyxChartTemplate& t = chart(id);
    t.init(width, height);
    t.geometry.marginLeft = 5;
    t.geometry.marginTop = 5;
    t.geometry.titleHeight = 15;
    t.geometry.timeAxisHeight = 15;
    t.geometry.gap = 2;
    t.geometry.plotVerticalPadding = 0;
    t.geometry.plotRightPadding = 8;
    t.geometry.valueAxisWidth = 60;
    t.layoutPlot();
  }
  applySettings();
  refreshAlarmSlots();
  for (ChartId id : kDrawOrder) {
    RyxChartTemplate& t = chart(id);
    t.clear();
    t.drawFrames();
    t.drawCaption(t.titleArea());
    t.copyTo();
  }
  tables_.build();
  if (host_ != nullptr) {
    for (ChartId id : kDrawOrder) host_->chartPictureReady(id);
  }
}

void ExchangeCharts::prepareDrawing(RyxChartTemplate& t) {
  t.clear();
  t.drawFrames();
  t.lastIndex = window_.windowEnd;
  t.firstIndex = std::max(0, window_.windowEnd - window_.dataPoints + 1);
  t.layoutPlot();
  t.drawGapBands(t.coverage);
}

void ExchangeCharts::finishDrawing(ChartId chart) {
  RyxChartTemplate& t = this->chart(chart);
  t.drawTitle(chartTitle(chart));
  t.copyTo();
  if (host_ != nullptr) host_->chartPictureReady(chart);
}

void ExchangeCharts::drawExchanges(ChartId id) {
  RyxChartTemplate& t = chart(id);
  prepareDrawing(t);
  const auto& on = exchangeOn(id);
  ChartSeries& s0 = t.series[0];
  const double hard = hardMax(id);
  const bool smart = smartScale(id) != 0;
  // An automatic scale (neither fixed nor smart, which remembers its top) shows the band whole.
  const TypicalBand* band = typicalBand(id);
  const double bandTop =
      band != nullptr && !smart ? typicalBandTop(*band, t.firstIndex, t.lastIndex) : 0.0;
  if (!smart && hard > 0.0) {
    t.scaleFixed(s0, hard);
  } else {
    t.scaleFirstSeries(s0, bandTop);
    for (int e = 1; e < kChartExchangeCount; ++e) {
      if (on[e]) t.scaleNextSeries(t.series[e], s0);
    }
    if (smart) {
      // The smart top only grows while the day's data lives; quiet seconds keep the scale.
      s0.smartMax = std::max(s0.smartMax, s0.axisTop);
      t.scaleFixed(s0, s0.smartMax);
    }
  }
  for (int e = 1; e < kChartExchangeCount; ++e) {
    if (on[e]) shareScale(s0, t.series[e]);
  }
  const std::int32_t lineWidth = settings_.lineWidth;
  const std::uint32_t totalLine = t.series[kTotalSeries].color;
  if (band != nullptr) t.drawTypicalBand(*band, s0, totalLine);
  t.drawValueGrid(s0);
  if (band != nullptr) t.drawTypicalMedian(*band, s0, totalLine);
  for (int e = 0; e < kChartExchangeCount; ++e) {
    if (on[e]) t.drawSeries(t.series[e], lineWidth);
  }
  t.drawValueLabels(s0);
  t.drawTimeGrid(tables_.secondOf.data(), tables_.minuteOf.data());
  t.drawTimeLabels(tables_.hourOf.data(), tables_.minuteOf.data(), tables_.secondOf.data());
  if (colorLegend(id)) {
    static constexpr std::int32_t kColumnX[4] = {10, 55, 100, 145};
    int k = 0;
    for (int e = 0; e < kChartExchangeCount; ++e) {
      if (!on[e]) continue;
      t.drawLegendEntry(t.series[e], 25 + 15 * (k % 4), kColumnX[k / 4]);
      ++k;
    }
  }
  finishDrawing(id);
}

void ExchangeCharts::drawTotal(ChartId id) {
  RyxChartTemplate& t = chart(id);
  prepareDrawing(t);
  ChartSeries& total = t.series[kTotalSeries];
  const double hard = hardMax(id);
  const TypicalBand* band = typicalBand(id);
  if (smartScale(id)) {
    t.scaleFirstSeries(total);
    total.smartMax = std::max(total.smartMax, total.axisTop);
    t.scaleFixed(total, total.smartMax);
  } else if (hard > 0.0) {
    t.scaleFixed(total, hard);
  } else {
    t.scaleFirstSeries(total,
                       band != nullptr ? typicalBandTop(*band, t.firstIndex, t.lastIndex) : 0.0);
  }
  if (band != nullptr) t.drawTypicalBand(*band, total, total.color);
  t.drawValueGrid(total);
  if (band != nullptr) t.drawTypicalMedian(*band, total, total.color);
  t.drawSeries(total, settings_.lineWidth);
  t.drawValueLabels(total);
  t.drawTimeGrid(tables_.secondOf.data(), tables_.minuteOf.data());
  t.drawTimeLabels(tables_.hourOf.data(), tables_.minuteOf.data(), tables_.secondOf.data());
  if (colorLegend(id)) t.drawLegendEntry(total, 25, 10);
  finishDrawing(id);
}

void ExchangeCharts::drawChart(ChartId chart) {
  if (!chartsReady()) return;
  if (totalOnly(chart)) {
    drawTotal(chart);
  } else {
    drawExchanges(chart);
  }
}

void ExchangeCharts::redrawAllCharts() {
  if (!chartsReady()) return;
  std::lock_guard<std::mutex> lock(chartLock());
  for (ChartId id : kDrawOrder) drawChart(id);
}

void ExchangeCharts::drawAndNotify(ChartId chart) {
  std::lock_guard<std::mutex> lock(chartLock());
  drawChart(chart);
}

void ExchangeCharts::clearPictures() {
  std::lock_guard<std::mutex> lock(chartLock());
  for (ChartId id : kDrawOrder) chart(id).clear();
}

bool ExchangeCharts::takeLive(ChartId id, const char* text) {
  const std::shared_ptr<const ChartAlarmSlots> alarms = alarmSlots();
  const ChartAlarmSlot& slot = (*alarms)[static_cast<std::size_t>(chartAlarmSlot(id))];
  ChartAlarmRule rule;
  rule.use = slot.use;
  rule.threshold = slot.threshold;
  {
    // The switch is flipped on the window thread under the same lock.
    std::lock_guard<std::mutex> lock(chartLock());
    rule.totalOnly = totalOnly(id) != 0;
  }
  return takeLiveSample(id, text, chart(id).series, window_, rule, *this, &chartLock(),
                        &chart(id).coverage);
}

bool ExchangeCharts::replayListingSample(const char* text) {
  return takeReplaySample(ChartId::Listing, text, chart(ChartId::Listing).series, this,
                          &chart(ChartId::Listing).coverage);
}
bool ExchangeCharts::replayReportingSample(const char* text) {
  return takeReplaySample(ChartId::Reporting, text, chart(ChartId::Reporting).series, this,
                          &chart(ChartId::Reporting).coverage);
}
bool ExchangeCharts::replayAlgoSample(const char* text) {
  return takeReplaySample(ChartId::Algo, text, chart(ChartId::Algo).series, this,
                          &chart(ChartId::Algo).coverage);
}

void ExchangeCharts::resetSeriesStore(bool resetDataPoints) {
  std::lock_guard<std::mutex> lock(chartLock());
  kestrune::resetSeriesStore({&chart(ChartId::Reporting).series, &chart(ChartId::Listing).series,
                              &chart(ChartId::Algo).series},
                             window_, resetDataPoints);
  for (ChartId id : kDrawOrder) chart(id).coverage.clear();
}

void ExchangeCharts::storeLoadedSamples(ChartId id, std::span<const ChartSample> samples) {
  std::lock_guard<std::mutex> lock(chartLock());
  RyxChartTemplate& t = chart(id);
  for (const ChartSample& sample : samples) {
    storeChartSample(sample, t.series, &t.coverage);
    moveWindowForSample(id, sample.secondOfDay, window_);
  }
}

// The receive thread draws with these settings under the chart lock: they change under it too.
void ExchangeCharts::onHardMaxEdited(ChartId chart, const char* text) {
  if (text == nullptr || text[0] == '\0') return;
  std::lock_guard<std::mutex> lock(chartLock());
  hardMax(chart) = std::atof(text);
  drawChart(chart);
}

bool ExchangeCharts::onSmartScaleClicked(ChartId chart) {
  return flipAndDraw(chart, smartScale(chart));
}

void ExchangeCharts::onColorLegendClicked(ChartId chart) { flipAndDraw(chart, colorLegend(chart)); }

void ExchangeCharts::onTotalOnlyClicked(ChartId chart) { flipAndDraw(chart, totalOnly(chart)); }

bool ExchangeCharts::flipAndDraw(ChartId chart, std::uint8_t& flag) {
  std::lock_guard<std::mutex> lock(chartLock());
  flag = flag ? 0 : 1;
  drawChart(chart);
  return flag != 0;
}

void ExchangeCharts::setTypicalBand(ChartId id, std::shared_ptr<const TypicalBand> band) {
  std::lock_guard<std::mutex> lock(chartLock());
  typical_[static_cast<std::size_t>(chartIndex(id))] =
      band != nullptr && !band->empty() ? std::move(band) : nullptr;
  drawChart(id);
}

const TypicalBand* ExchangeCharts::typicalBand(ChartId id) const {
  return typical_[static_cast<std::size_t>(chartIndex(id))].get();
}

QImage ExchangeCharts::finishedPicture(ChartId id) const {
  std::lock_guard<std::mutex> lock(chartLock());
  return chart(id).finishedImage();
}

void ExchangeCharts::showSampleTime(const char* hhmmss) {
  if (host_ != nullptr) host_->showSampleTime(hhmmss);
}
void ExchangeCharts::driveCollectionWindow(std::int32_t minuteOfDay) {
  if (host_ != nullptr) host_->driveCollectionWindow(minuteOfDay);
}
void ExchangeCharts::playChartAlarm(int slot) {
  if (host_ != nullptr) host_->playChartAlarm(slot);
}
void ExchangeCharts::redrawChart(ChartId chart) { drawAndNotify(chart); }

}  // namespace kestrune
