#include "recording/monitor_replay.h"

#include <mutex>

#include "alerts/alert_lists.h"
#include "charts/chart_lock.h"
#include "charts/exchange_charts.h"

namespace kestrune {

namespace {

// Files 4, 5 and 6 hold the Listing, Reporting and Algo charts.
ChartId chartOfFile(int file) {
  switch (file) {
    case 4:
      return ChartId::Listing;
    case 5:
      return ChartId::Reporting;
    default:
      return ChartId::Algo;
  }
}

}  // namespace

MonitorReplayHost::MonitorReplayHost(AlertLists& lists, ExchangeCharts& charts, ViewPart view)
    : lists_(lists), charts_(charts), view_(std::move(view)) {}

void MonitorReplayHost::showStatus(const std::string& text) {
  if (view_.showStatus) view_.showStatus(text);
}

void MonitorReplayHost::resetMonitorData() {
  if (view_.resetMonitorData) view_.resetMonitorData();
}

void MonitorReplayHost::showDate(const std::string& text) {
  if (view_.showDate) view_.showDate(text);
}

void MonitorReplayHost::replayLine(int file, const char* text) {
  switch (file) {
    case 1:
      lists_.replayRawAlert(text);
      break;
    case 2:
      lists_.replaySeqAlert(text);
      break;
    case 3:
      lists_.replayAlgoAlert(text);
      break;
    case 4:
      charts_.replayListingSample(text);
      break;
    case 5:
      charts_.replayReportingSample(text);
      break;
    case 6:
      charts_.replayAlgoSample(text);
      break;
    default:
      break;
  }
}

void MonitorReplayHost::resetSeriesStore() { charts_.resetSeriesStore(false); }

int MonitorReplayHost::dataPoints() const { return charts_.window().dataPoints; }

void MonitorReplayHost::setChartWindow(int windowStart, int windowEnd, int latestSecond) {
  ChartWindow& window = charts_.window();
  window.windowStart = windowStart;
  window.windowEnd = windowEnd;
  window.latestSecond = latestSecond;
}

void MonitorReplayHost::drawChart(int file) {
  if (file < 4 || file > 6) return;
  std::lock_guard<std::mutex> lock(chartLock());
  charts_.drawChart(chartOfFile(file));
}

}  // namespace kestrune
