#include "recording/replay.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "recording/data_files.h"
#include "recording/day_scan.h"
#include "recording/recorded_day.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

using test::TempDir;
using test::writeAll;

// Records every call in order, the way the view would see them.
class FakeHost : public ReplayHost {
 public:
  void showStatus(const std::string& text) override { log.push_back("status " + text); }
  void resetMonitorData() override { log.push_back("reset"); }
  void showDate(const std::string& text) override { log.push_back("date " + text); }
  void replayLine(int file, const char* text) override {
    lines[static_cast<std::size_t>(file - 1)].push_back(text);
  }
  void resetSeriesStore() override { log.push_back("series"); }
  int dataPoints() const override { return points; }
  void setChartWindow(int start, int end, int latest) override {
    log.push_back("window " + std::to_string(start) + " " + std::to_string(end) + " " +
                  std::to_string(latest));
  }
  void drawChart(int file) override {
    log.push_back("draw " + std::to_string(file) + " after " +
                  std::to_string(lines[static_cast<std::size_t>(file - 1)].size()) + " lines");
  }

  int points = 300;
  std::vector<std::string> log;
  std::vector<std::string> lines[6];
};

void writeDay(const TempDir& dir, const std::string& date, int fileCount) {
  for (int i = 0; i < fileCount; ++i) {
    writeAll(dataFilePath(dir.path(), date, i),
             "f" + std::to_string(i + 1) + "a\r\nf" + std::to_string(i + 1) + "b\r\n");
  }
}

TEST(ReplayDayTest, AFullDayInTheFixedOrder) {
  TempDir dir;
  writeDay(dir, "12062026", 6);
  FakeHost host;
  const ReplayReport report = replayDay(host, "12062026", dir.path());
  EXPECT_EQ(report.outcome, ReplayOutcome::Viewing);
  EXPECT_EQ(report.lines, 12u);
  EXPECT_EQ(report.filesRead, 6);
  const std::vector<std::string> expected = {
      "status Retrieving Historical Data...",
      "reset",
      "date 12/06/2026",
      "status Retrieving Data for 12/06/2026, H2",
      "status Retrieving Data for 12/06/2026, H3",
      "series",
      "window 34200 34500 86399",
      "status Retrieving Data for 12/06/2026, H4",
      "draw 4 after 2 lines",
      "status Retrieving Data for 12/06/2026, H5",
      "draw 5 after 2 lines",
      "status Retrieving Data for 12/06/2026, H6",
      "draw 6 after 2 lines",
      "status Viewing Historical Data for 12/06/2026",
  };
  EXPECT_EQ(host.log, expected);
  for (int i = 0; i < 6; ++i) {
    const std::string f = "f" + std::to_string(i + 1);
    EXPECT_EQ(host.lines[i], (std::vector<std::string>{f + "a\r", f + "b\r"}));
  }
}

TEST(ReplayDayTest, MissingFirstFileLeavesTheViewsUntouched) {
  TempDir dir;
  writeDay(dir, "12062026", 6);
  const std::string first = dataFilePath(dir.path(), "12062026", 0);
  std::filesystem::remove(first);
  FakeHost host;
  EXPECT_EQ(replayDay(host, "12062026", dir.path()).outcome, ReplayOutcome::FilesNotFound);
  EXPECT_EQ(host.log, (std::vector<std::string>{"status Retrieving Historical Data...",
                                                "status 12062026 - FILES NOT FOUND!"}));
  for (const auto& l : host.lines) EXPECT_TRUE(l.empty());

  // A FIFO in its place would hold the window until some writer came: it is not read, and the
  // status line names it.
  ASSERT_EQ(::mkfifo(first.c_str(), 0644), 0);
  FakeHost fifoHost;
  EXPECT_EQ(replayDay(fifoHost, "12062026", dir.path()).outcome, ReplayOutcome::FilesNotFound);
  EXPECT_EQ(fifoHost.log.back(),
            "status 12062026 - FILES NOT FOUND! (" + first + " is not a regular file)");
}

// A FIFO, an endless device and a folder named like later files are skipped and named at the
// end; the day's other files load.
TEST(ReplayDayTest, LaterFilesThatAreNoRegularFilesAreSkippedAndNamed) {
  TempDir dir;
  writeDay(dir, "12062026", 3);
  const std::string fourth = dataFilePath(dir.path(), "12062026", 3);
  const std::string fifth = dataFilePath(dir.path(), "12062026", 4);
  const std::string sixth = dataFilePath(dir.path(), "12062026", 5);
  ASSERT_EQ(::mkfifo(fourth.c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", fifth);
  std::filesystem::create_directory(sixth);
  FakeHost host;
  const ReplayReport report = replayDay(host, "12062026", dir.path());
  EXPECT_EQ(report.outcome, ReplayOutcome::Viewing);
  EXPECT_EQ(report.filesRead, 3);
  EXPECT_EQ(host.lines[2].size(), 2u);
  EXPECT_EQ(host.log.back(), "status INCOMPLETE DAY (" + fourth + " is not a regular file, " +
                                 fifth + " is not a regular file, " + sixth +
                                 " is not a regular file): Viewing Historical Data for 12/06/2026");
}

TEST(ReplayDayTest, ListsOnlyDayShowsEveryProgressTextAndDrawsNoChart) {
  TempDir dir;
  writeDay(dir, "12062026", 3);
  FakeHost host;
  replayDay(host, "12062026", dir.path());
  std::vector<std::string> statuses;
  for (const auto& entry : host.log) {
    EXPECT_EQ(entry.rfind("draw", 0), std::string::npos) << entry;
    if (entry.rfind("status ", 0) == 0) statuses.push_back(entry.substr(7));
  }
  EXPECT_EQ(statuses,
            (std::vector<std::string>{
                "Retrieving Historical Data...", "Retrieving Data for 12/06/2026, H2",
                "Retrieving Data for 12/06/2026, H3", "Retrieving Data for 12/06/2026, H4",
                "Retrieving Data for 12/06/2026, H5", "Retrieving Data for 12/06/2026, H6",
                "Viewing Historical Data for 12/06/2026"}));
  EXPECT_EQ(host.lines[2].size(), 2u);
  EXPECT_TRUE(host.lines[3].empty());
}

TEST(ReplayDayTest, RetrieveUsesTheLastTextTypedIntoTheViewDateBox) {
  TempDir dir;
  writeDay(dir, "12062026", 1);
  ViewDate box;
  FakeHost untouched;
  EXPECT_FALSE(retrieveDay(untouched, box, dir.path()));  // never filled: nothing at all
  EXPECT_TRUE(untouched.log.empty());

  box.edited("1206");
  box.edited("12062026");
  box.edited("");  // emptied afterwards: the earlier text still counts
  EXPECT_EQ(box.text(), "12062026");
  FakeHost host;
  EXPECT_TRUE(retrieveDay(host, box, dir.path()));
  EXPECT_EQ(host.log.back(), "status Viewing Historical Data for 12/06/2026");
  EXPECT_EQ(host.lines[0].size(), 2u);

  box.edited(std::string(1000, '1'));
  EXPECT_EQ(box.text().size(), 255u);
}

TEST(ReplayDayTest, WindowOpensTheDayAtNineThirtyFive) {
  int start = -1;
  int end = -1;
  replayWindow(300, start, end);
  EXPECT_EQ(start, 34200);
  EXPECT_EQ(end, 34500);
  replayWindow(34500, start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 34500);
  replayWindow(34501, start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 34501);
  replayWindow(86400, start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 86400);
}

TEST(ReplayDayTest, ATypedDateNeverReachesOutsideTheDataFolder) {
  TempDir dir;
  // Files that a path-like date could otherwise reach.
  writeAll(dir.file("outside_hft1.txt"), "secret\r\n");
  writeAll(dir.file("Data/1206_hft1.txt"), "short\r\n");
  for (const char* typed : {"../outside", "1206", "12/06/2026", "120620261", "..", "/etc/pass"}) {
    FakeHost host;
    EXPECT_EQ(replayDay(host, typed, dir.path()).outcome, ReplayOutcome::InvalidDate) << typed;
    ASSERT_EQ(host.log.size(), 1u) << typed;
    EXPECT_EQ(host.log[0],
              std::string("status INVALID DATE \"") + typed + "\"! Type it as MMDDYYYY.");
    for (const auto& l : host.lines) EXPECT_TRUE(l.empty());
  }
}

TEST(ReplayDayTest, ForeignLinesAndOddBytesAreToldNotHidden) {
  TempDir dir;
  writeAll(dataFilePath(dir.path(), "12062026", 0),
           std::string("a\r\n") + std::string(400, 'x') + std::string("\r\n\r\nb\0c\r\nlast", 13));
  FakeHost host;
  const ReplayReport report = replayDay(host, "12062026", dir.path());
  EXPECT_EQ(report.longSkipped, 1u);
  EXPECT_EQ(host.lines[0], (std::vector<std::string>{"a\r", "\r", "bc\r", "last"}));
  EXPECT_EQ(host.log.back(),
            "status INCOMPLETE DAY (1 over-long lines skipped): Viewing Historical Data for "
            "12/06/2026");
}

TEST(ReplayDayTest, ReplaysExactlyWhatTheLiveDayRecorded) {
  TempDir dir;
  DataFiles files(dir.path());
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  const std::string record(246, '7');  // the longest decoded record
  files.writeDataLine(0, record);
  files.writeDataLine(3, "093000|12|7|0|0|3|0|0|1|0|0|2|1|0|0|5|0|");
  files.closeDataFiles();
  FakeHost host;
  replayDay(host, "12062026", dir.path());
  EXPECT_EQ(host.lines[0], std::vector<std::string>{record + "\r"});
  EXPECT_EQ(host.lines[3], std::vector<std::string>{"093000|12|7|0|0|3|0|0|1|0|0|2|1|0|0|5|0|\r"});
}

// The days File > Open lists: every date that may name files (the same test the writer uses, so a
// day a server dated 13012026 is found again), newest first, a missing file marked -1.
TEST(DayScanTest, ListsTheDaysTheWriterCanNameNewestFirstWithTheirSixFiles) {
  TempDir dir;
  writeAll(dataFilePath(dir.path(), "12062026", 0), "abc");
  writeAll(dataFilePath(dir.path(), "12062026", 3), "");
  writeAll(dataFilePath(dir.path(), "01022027", 1), "12345");
  writeAll(dataFilePath(dir.path(), "02292028", 5), "x");  // a leap day
  writeAll(dir.file("Data/13012026_hft1.txt"), "xy");      // no day of the calendar
  for (const char* other : {"1301202x_hft1.txt", "12062026_hft0.txt", "12062026_hft7.txt",
                            "12062026_hft1.txt.bak", "1206202_hft1.txt", "notes.txt"}) {
    writeAll(dir.file(std::string("Data/") + other), "x");
  }
  std::filesystem::create_directories(dir.file("Data/03032026_hft1.txt"));  // not a file
  const std::vector<RecordedDayFiles> days = scanRecordedDays(dir.path());
  ASSERT_EQ(days.size(), 3u);
  EXPECT_EQ(days[0].date, "02292028");
  EXPECT_EQ(days[0].sizes, (std::array<std::int64_t, 6>{-1, -1, -1, -1, -1, 1}));
  EXPECT_EQ(days[1].date, "01022027");
  EXPECT_EQ(days[1].sizes, (std::array<std::int64_t, 6>{-1, 5, -1, -1, -1, -1}));
  EXPECT_EQ(days[2].date, "12062026");
  EXPECT_EQ(days[2].sizes, (std::array<std::int64_t, 6>{3, -1, -1, 0, -1, -1}));
  EXPECT_TRUE(scanRecordedDays(dir.file("nowhere")).empty());
}

// A recorded day served again: by time across the files, each file's own order kept; samples
// first in a second, then the lists in turn; lines without a usable time ride with their
// neighbours.
TEST(RecordedDayTest, ServesByTimeAcrossFilesKeepingEachFilesOrder) {
  TempDir dir;
  const std::string sample = "|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|";
  writeAll(dataFilePath(dir.path(), "12062026", 0),
           "A|x|093001|1\r\nB|x|093000|2\r\n\r\n");  // B is late, the empty line has no time
  writeAll(dataFilePath(dir.path(), "12062026", 1),
           "C|Q|093001|5|1-2\r\nD|Q|093001|6|1-2\r\nG|Q|246000|1|1\r\n");
  writeAll(dataFilePath(dir.path(), "12062026", 2), "E|Q|Sweep|093000|7");
  writeAll(dataFilePath(dir.path(), "12062026", 3),
           "junk\r\n093000" + sample + "\r\n093001" + sample + "\r\n");
  writeAll(dataFilePath(dir.path(), "12062026", 5), "093001" + sample + "\r\n");

  RecordedDay day;
  ASSERT_TRUE(day.load(dir.file("Data"), "12062026"));
  EXPECT_EQ(day.filesFound(), 5);
  EXPECT_EQ(day.untimed(), 3u);
  EXPECT_EQ(day.linesOf(0), 3u);
  const std::vector<std::pair<int, std::string>> expected = {{3, "junk"},
                                                             {3, "093000" + sample},
                                                             {2, "E|Q|Sweep|093000|7"},
                                                             {3, "093001" + sample},
                                                             {5, "093001" + sample},
                                                             {0, "A|x|093001|1"},
                                                             {1, "C|Q|093001|5|1-2"},
                                                             {0, "B|x|093000|2"},
                                                             {1, "D|Q|093001|6|1-2"},
                                                             {0, ""},
                                                             {1, "G|Q|246000|1|1"}};
  ASSERT_EQ(day.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(day.record(i).file, expected[i].first) << i;
    EXPECT_EQ(day.record(i).text, expected[i].second) << i;
    EXPECT_EQ(day.record(i).second, i < 3 ? 34200 : 34201) << i;
  }
  EXPECT_EQ(day.firstAt(34201), 3u);
  EXPECT_EQ(day.firstAt(40000), day.size());
  EXPECT_EQ(day.dropIf([](const DayRecord& r) { return r.file == 3; }), 3u);
  EXPECT_EQ(day.record(0).text, "E|Q|Sweep|093000|7");

  EXPECT_FALSE(day.load(dir.file("Data"), "12072026"));
}

}  // namespace
}  // namespace kestrune
