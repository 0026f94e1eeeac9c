// Reading a full recorded day back: the buffered reader against one read call per byte.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "recording/data_files.h"
#include "recording/data_reader.h"
#include "recording/replay.h"

namespace kestrune {
namespace {

constexpr const char* kDate = "12062026";

// A full day written through the live path: 86,400 samples for each chart, 300,000 alerts.
class RecordedDay {
 public:
  RecordedDay() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kes_bench_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    DataFiles files(dir_);
    if (files.openDataFiles(kDate) != OpenResult::Opened) std::abort();
    char line[256];
    for (int file = 3; file < 6; ++file) {
      for (int s = 0; s < 86400; ++s) {
        std::snprintf(line, sizeof line, "%02d%02d%02d|%d|%d|0|0|%d|0|0|1|0|0|2|1|0|0|%d|0|",
                      s / 3600, s / 60 % 60, s % 60, s % 97, s % 31, s % 13, s % 7);
        files.writeDataLine(file, line);
      }
    }
    for (int i = 0; i < 300000; ++i) {
      std::snprintf(line, sizeof line, "%02d%02d%02d|SYM%05d|NQEX|%d|%d|%d|1.%04d|ALGO-%d",
                    9 + i / 30000, i / 500 % 60, i % 60, i % 50000, 100 + i % 900, i % 37, i % 5,
                    i % 10000, i % 4);
      files.writeDataLine(i % 3, line);
    }
    files.closeDataFiles();
  }
  ~RecordedDay() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

const RecordedDay& day() {
  static RecordedDay recorded;
  return recorded;
}

void BM_ReadDayBuffered(benchmark::State& state) {
  const std::string& dir = day().dir();
  for (auto _ : state) {
    std::uint64_t lines = 0;
    for (int i = 0; i < kDataFileCount; ++i) {
      lines += readDataFile(openDataFileForReading(dataFilePath(dir, kDate, i)), nullptr).lines;
    }
    benchmark::DoNotOptimize(lines);
    state.counters["lines"] = static_cast<double>(lines);
  }
}
BENCHMARK(BM_ReadDayBuffered)->Unit(benchmark::kMillisecond);

// The same rules with one read call per byte, for comparison.
void BM_ReadDayOneBytePerRead(benchmark::State& state) {
  const std::string& dir = day().dir();
  for (auto _ : state) {
    std::uint64_t lines = 0;
    for (int i = 0; i < kDataFileCount; ++i) {
      const int fd = openDataFileForReading(dataFilePath(dir, kDate, i));
      DataLineSplitter splitter(nullptr);
      char c;
      while (::read(fd, &c, 1) == 1) splitter.feed(&c, 1);
      splitter.finish();
      ::close(fd);
      lines += splitter.stats().lines;
    }
    benchmark::DoNotOptimize(lines);
    state.counters["lines"] = static_cast<double>(lines);
  }
}
BENCHMARK(BM_ReadDayOneBytePerRead)->Unit(benchmark::kMillisecond)->Iterations(1);

// replayDay over a host that only counts: the share of the replay budget spent in the files.
class CountingHost : public ReplayHost {
 public:
  void showStatus(const std::string&) override {}
  void resetMonitorData() override {}
  void showDate(const std::string&) override {}
  void replayLine(int, const char* text) override { bytes += text[0] != '\0'; }
  void resetSeriesStore() override {}
  int dataPoints() const override { return 300; }
  void setChartWindow(int, int, int) override {}
  void drawChart(int) override {}
  std::uint64_t bytes = 0;
};

void BM_ReplayDayFilesOnly(benchmark::State& state) {
  const std::string& dir = day().dir();
  for (auto _ : state) {
    CountingHost host;
    const ReplayReport report = replayDay(host, kDate, dir);
    benchmark::DoNotOptimize(host.bytes);
    state.counters["lines"] = static_cast<double>(report.lines);
  }
}
BENCHMARK(BM_ReplayDayFilesOnly)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrune

BENCHMARK_MAIN();
