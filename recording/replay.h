// Loading a past trading day from its six data files into the lists and charts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

// The second of the day the chart window ends at after a replay (09:35:00).
inline constexpr int kReplayWindowEnd = 34500;
inline constexpr int kReplayLatestSecond = 86399;

// What replay needs from the monitor view. Every call comes on the window thread.
class ReplayHost {
 public:
  virtual ~ReplayHost() = default;
  virtual void showStatus(const std::string& text) = 0;
  // Empties the three lists and the three charts.
  virtual void resetMonitorData() = 0;
  // The Date box, as MM/DD/YYYY.
  virtual void showDate(const std::string& text) = 0;
  // One line of file 1-6 to its replay intake: 1-3 the Raw, Seq and Algo lists, 4-6 the
  // Listing, Reporting and Algo charts. text is NUL-terminated and may end in a carriage return.
  virtual void replayLine(int file, const char* text) = 0;
  // Zeroes the chart data without touching the data-point count.
  virtual void resetSeriesStore() = 0;
  virtual int dataPoints() const = 0;
  virtual void setChartWindow(int windowStart, int windowEnd, int latestSecond) = 0;
  // Draws the chart of file 4, 5 or 6 once, under the chart lock, honouring its Total Only switch.
  virtual void drawChart(int file) = 0;
};

enum class ReplayOutcome {
  Viewing,        // the day is shown
  FilesNotFound,  // the first file is missing; the views are untouched
  InvalidDate,    // not eight digits; nothing was read and the views are untouched
};

struct ReplayReport {
  ReplayOutcome outcome = ReplayOutcome::InvalidDate;
  std::uint64_t lines = 0;        // lines handed to the intakes, all six files
  std::uint64_t longSkipped = 0;  // over-long lines skipped
  int filesRead = 0;
  bool readError = false;
};

// Replays the day date (MMDDYYYY as typed) from "Data" under baseDir (empty: working directory).
ReplayReport replayDay(ReplayHost& host, std::string_view date, const std::string& baseDir = {});

// The View Date box: it remembers the last non-empty text typed, so emptying the box and pressing
// Retrieve replays the earlier date.
class ViewDate {
 public:
  // The text is kept to the 255 characters of the field.
  void edited(std::string_view text);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Retrieve: replays the remembered date; false (nothing done) when the box was never filled.
bool retrieveDay(ReplayHost& host, const ViewDate& viewDate, const std::string& baseDir = {});

// The chart window after a replay: it ends at 09:35:00 unless dataPoints reaches back past
// midnight, in which case it covers 0 to dataPoints.
void replayWindow(int dataPoints, int& windowStart, int& windowEnd);

}  // namespace kestrune
