// Replay into the monitor's own lists and charts. The view supplies only what is its own: the
// status line, the Date box and the reset of the lists and charts.
#pragma once

#include <functional>
#include <string>

#include "recording/replay.h"

namespace kestrune {

class AlertLists;
class ExchangeCharts;

class MonitorReplayHost : public ReplayHost {
 public:
  struct ViewPart {
    std::function<void(const std::string&)> showStatus;
    std::function<void(const std::string&)> showDate;
    std::function<void()> resetMonitorData;
  };

  MonitorReplayHost(AlertLists& lists, ExchangeCharts& charts, ViewPart view);

  void showStatus(const std::string& text) override;
  void resetMonitorData() override;
  void showDate(const std::string& text) override;
  void replayLine(int file, const char* text) override;
  void resetSeriesStore() override;
  int dataPoints() const override;
  void setChartWindow(int windowStart, int windowEnd, int latestSecond) override;
  void drawChart(int file) override;

 private:
  AlertLists& lists_;
  ExchangeCharts& charts_;
  ViewPart view_;
};

}  // namespace kestrune
