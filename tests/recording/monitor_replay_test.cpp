// A recorded day replayed into the real lists and charts.
#include "recording/monitor_replay.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <vector>

#include "alerts/alert_lists.h"
#include "alerts/symbol_filter_table.h"
#include "charts/exchange_charts.h"
#include "recording/data_files.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

class PictureHost : public ChartHost {
 public:
  void showSampleTime(const char* hhmmss) override { times.emplace_back(hhmmss); }
  void driveCollectionWindow(std::int32_t) override { ++gateCalls; }
  void playChartAlarm(int) override { ++alarms; }
  void chartPictureReady(ChartId chart) override { ready.push_back(chart); }
  std::vector<std::string> times;
  std::vector<ChartId> ready;
  int gateCalls = 0;
  int alarms = 0;
};

TEST(MonitorReplayTest, ARecordedDayComesBackIntoListsAndCharts) {
  test::TempDir dir;
  {
    DataFiles files(dir.path());
    ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
    files.writeDataLine(0, "IBM|7|093015|3200|X|45");
    files.writeDataLine(0, "MSFT|7|093016|10|Y|2");
    files.writeDataLine(3, "093000|12|7|0|0|3|0|0|1|0|0|2|1|0|0|5|0|");
    files.writeDataLine(4, "093001|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|");
    files.writeDataLine(5, "100000|9|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|");
  }

  MonitorSettings settings;
  settings.audioAlert[1].use = 1;  // replay never sounds, even over a threshold
  settings.audioAlert[1].threshold = 1;
  SymbolFilterTable table(dir.file("SymbolFilter.txt"));
  AlertLists lists(settings, table);
  auto charts = std::make_unique<ExchangeCharts>(settings);
  PictureHost pictures;
  charts->setHost(&pictures);
  charts->resetSeriesStore(true);
  charts->setUpCharts();
  charts->setChartsReady(true);
  pictures.ready.clear();

  std::vector<std::string> statuses;
  std::string shownDate;
  int resets = 0;
  MonitorReplayHost host(lists, *charts,
                         {[&](const std::string& t) { statuses.push_back(t); },
                          [&](const std::string& t) { shownDate = t; },
                          [&] {
                            ++resets;
                            lists.clearAll();
                          }});
  const ReplayReport report = replayDay(host, "12062026", dir.path());
  EXPECT_EQ(report.outcome, ReplayOutcome::Viewing);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(shownDate, "12/06/2026");
  EXPECT_EQ(statuses.back(), "Viewing Historical Data for 12/06/2026");

  // Newest on top, the carriage return of the file gone from the last cell; the rows show on
  // the next turn of the event loop.
  QCoreApplication::processEvents();
  AlertListModel* raw = lists.model(AlertKind::Raw);
  ASSERT_EQ(raw->rowCount(), 2);
  EXPECT_EQ(raw->data(raw->index(0, 1)).toString(), "MSFT");
  EXPECT_EQ(raw->data(raw->index(1, 3)).toString(), "45");

  const int s = 9 * 3600 + 30 * 60;
  const ChartSeriesSet& listing = charts->chart(ChartId::Listing).series;
  EXPECT_EQ(listing[0].values[s], 12);
  EXPECT_EQ(listing[kSeriesPerChart - 1].values[s], 31);  // the total of all 16
  EXPECT_EQ(charts->chart(ChartId::Reporting).series[kSeriesPerChart - 1].values[s + 1], 16);
  EXPECT_EQ(charts->chart(ChartId::Algo).series[0].values[36000], 9);

  const ChartWindow& window = charts->window();
  EXPECT_EQ(window.windowStart, 34200);
  EXPECT_EQ(window.windowEnd, 34500);
  EXPECT_EQ(window.latestSecond, 86399);
  EXPECT_EQ(pictures.ready,
            (std::vector<ChartId>{ChartId::Listing, ChartId::Reporting, ChartId::Algo}));
  EXPECT_EQ(pictures.times, std::vector<std::string>{"09:30:00"});
  EXPECT_EQ(pictures.alarms, 0);
  EXPECT_EQ(pictures.gateCalls, 0);
}

}  // namespace
}  // namespace kestrune
