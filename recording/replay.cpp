#include "recording/replay.h"

#include <cstdio>

#include "recording/data_files.h"
#include "recording/data_reader.h"

namespace kestrune {

namespace {

// The typed text as it may appear in a status line: cut, control characters replaced.
std::string shownText(std::string_view text) {
  constexpr std::size_t kMax = 64;
  std::string out(text.substr(0, kMax));
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  if (text.size() > kMax) out += "...";
  return out;
}

std::string displayDate(std::string_view date) {
  char out[16];
  std::snprintf(out, sizeof out, "%c%c/%c%c/%c%c%c%c", date[0], date[1], date[2], date[3], date[4],
                date[5], date[6], date[7]);
  return out;
}

void addStats(ReplayReport& report, const DataReadStats& stats) {
  report.lines += stats.lines;
  report.longSkipped += stats.longSkipped;
  report.readError = report.readError || stats.readError;
  ++report.filesRead;
}

}  // namespace

void ViewDate::edited(std::string_view text) {
  constexpr std::size_t kViewDateMax = 255;
  if (!text.empty()) text_ = std::string(text.substr(0, kViewDateMax));
}

bool retrieveDay(ReplayHost& host, const ViewDate& viewDate, const std::string& baseDir) {
  if (viewDate.text().empty()) return false;
  replayDay(host, viewDate.text(), baseDir);
  return true;
}

void replayWindow(int dataPoints, int& windowStart, int& windowEnd) {
  windowEnd = kReplayWindowEnd;
  windowStart = kReplayWindowEnd - dataPoints;
  if (windowStart < 0) {
    windowStart = 0;
    windowEnd = dataPoints;
  }
}

ReplayReport replayDay(ReplayHost& host, std::string_view date, const std::string& baseDir) {
  ReplayReport report;
  // Only the eight digits our own files are named by: a typed "/" or ".." must never reach a path.
  if (!isValidDataDate(date)) {
    host.showStatus("INVALID DATE \"" + shownText(date) + "\"! Type it as MMDDYYYY.");
    return report;
  }
  host.showStatus("Retrieving Historical Data...");

  // A FIFO, a device or a folder named like a data file is never read: it would hang or flood
  // the window. The status line says which file it was.
  std::string notRegular;
  auto openFile = [&](int file) {
    const std::string path = dataFilePath(baseDir, date, file - 1);
    FileOpenStatus status = FileOpenStatus::CannotOpen;
    const int fd = openDataFileForReading(path, &status);
    if (status == FileOpenStatus::NotRegular) {
      notRegular += (notRegular.empty() ? "" : ", ") + path + " is not a regular file";
    }
    return fd;
  };
  const int first = openFile(1);
  if (first < 0) {
    host.showStatus(std::string(date) + " - FILES NOT FOUND!" +
                    (notRegular.empty() ? "" : " (" + notRegular + ")"));
    report.outcome = ReplayOutcome::FilesNotFound;
    return report;
  }
  report.outcome = ReplayOutcome::Viewing;
  host.resetMonitorData();

  auto readInto = [&](int fd, int file) {
    addStats(report, readDataFile(fd, [&host, file](const char* text, std::size_t) {
               host.replayLine(file, text);
             }));
  };
  readInto(first, 1);

  const std::string shown = displayDate(date);
  host.showDate(shown);
  auto progress = [&](int file) {
    host.showStatus("Retrieving Data for " + shown + ", H" + std::to_string(file));
    return openFile(file);
  };
  for (int file = 2; file <= 3; ++file) {
    const int fd = progress(file);
    if (fd >= 0) readInto(fd, file);
  }

  host.resetSeriesStore();
  int windowStart = 0;
  int windowEnd = 0;
  replayWindow(host.dataPoints(), windowStart, windowEnd);
  host.setChartWindow(windowStart, windowEnd, kReplayLatestSecond);

  for (int file = 4; file <= 6; ++file) {
    const int fd = progress(file);
    if (fd >= 0) {
      readInto(fd, file);
      host.drawChart(file);
    }
  }

  // A foreign or damaged file must not pass for a complete day, and the status box shows only
  // the start of a long text: the warning comes first.
  std::string problems;
  if (report.readError) problems = "read error";
  if (report.longSkipped > 0) {
    if (!problems.empty()) problems += ", ";
    problems += std::to_string(report.longSkipped) + " over-long lines skipped";
  }
  if (!notRegular.empty()) problems += (problems.empty() ? "" : ", ") + notRegular;
  const std::string viewing = "Viewing Historical Data for " + shown;
  host.showStatus(problems.empty() ? viewing : "INCOMPLETE DAY (" + problems + "): " + viewing);
  return report;
}

}  // namespace kestrune
