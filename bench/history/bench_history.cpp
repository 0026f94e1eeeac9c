// The index across days over 20 full recorded days (each 3 x 86,400 samples and 300,000 alerts):
// building it against the sqlite3 command line's .import of the same files, one symbol's alerts
// from it against grep over the alert files, in the same run, and a chart's typical day.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "feedsim/market_day.h"
#include "history/history_index.h"
#include "history/typical_day.h"

namespace kestrune {
namespace {

constexpr int kDays = 20;
constexpr int kAlertsPerList = 100000;
constexpr const char* kSymbol = "NVDA";

class TwentyDays {
 public:
  TwentyDays() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kes_bench_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/Data");
    // The weekdays from Monday 11/02/2026 on.
    for (int d = 2; static_cast<int>(dates_.size()) < kDays; ++d) {
      if (d % 7 == 0 || d % 7 == 1) continue;
      char date[32];
      std::snprintf(date, sizeof date, "11%02d2026", d);
      dates_.push_back(date);
      writeDay(date, static_cast<std::uint64_t>(d));
    }
  }
  ~TwentyDays() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }
  const std::vector<std::string>& dates() const { return dates_; }

  void removeIndex() const {
    for (const char* name : {"history.sqlite", "history.sqlite-wal", "history.sqlite-shm"}) {
      std::filesystem::remove(dir_ + "/Data/" + name);
    }
  }

 private:
  // The simulator's records as the live path writes them: the decoded text and CR LF.
  void writeDay(const std::string& date, std::uint64_t seed) {
    auto open = [&](int n) {
      return std::ofstream(dir_ + "/Data/" + date + "_hft" + std::to_string(n) + ".txt",
                           std::ios::binary);
    };
    for (int kind = 1; kind <= 3; ++kind) {
      std::ofstream out = open(3 + kind);
      for (int s = 0; s < feedsim::kSecondsPerDay; ++s) {
        out << feedsim::sampleText(feedsim::chartSample(seed, kind, s)) << "\r\n";
      }
    }
    const int session = feedsim::kMarketClose - feedsim::kMarketOpen;
    for (int kind = 1; kind <= 3; ++kind) {
      std::ofstream out = open(kind);
      feedsim::SimRandom rng(seed, 1000 + kind, 0);
      for (int i = 0; i < kAlertsPerList; ++i) {
        const int second = feedsim::kMarketOpen +
                           static_cast<int>(static_cast<long long>(i) * session / kAlertsPerList);
        out << feedsim::makeAlert(seed, rng, kind, second).text() << "\r\n";
      }
    }
  }

  std::string dir_;
  std::vector<std::string> dates_;
};

const TwentyDays& days() {
  static TwentyDays recorded;
  return recorded;
}

void BM_IndexTwentyDays(benchmark::State& state) {
  const TwentyDays& d = days();
  HistoryUpdateReport report;
  for (auto _ : state) {
    state.PauseTiming();
    d.removeIndex();
    state.ResumeTiming();
    HistoryIndex index;
    std::string error;
    if (!index.open(d.dir(), error) || !index.update(report, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  state.counters["lines"] = static_cast<double>(report.linesRead);
  state.counters["skipped"] = static_cast<double>(report.linesSkipped);
  state.counters["days"] = report.days;
}
BENCHMARK(BM_IndexTwentyDays)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The same files into a fresh database by the sqlite3 command line: one plain table per file
// kind, no parsing of fields, no index.
void BM_SqliteCliImportTwentyDays(benchmark::State& state) {
  const TwentyDays& d = days();
  const std::string db = d.dir() + "/import.sqlite";
  const std::string script = d.dir() + "/import.sql";
  {
    std::ofstream sql(script);
    // As many columns as each file's lines have fields: Raw 6, Seq 6, Algo 7, samples 17 and
    // the empty one after the last "|".
    const int columns[6] = {6, 6, 7, 18, 18, 18};
    for (int f = 0; f < 6; ++f) {
      sql << "CREATE TABLE f" << f << "(";
      for (int c = 0; c < columns[f]; ++c) sql << (c ? ", " : "") << "c" << c;
      sql << ");\n";
    }
    sql << ".mode csv\n.separator |\n";
    for (const std::string& date : d.dates()) {
      for (int f = 0; f < 6; ++f) {
        sql << ".import " << d.dir() << "/Data/" << date << "_hft" << f + 1 << ".txt f" << f
            << "\n";
      }
    }
  }
  const std::string command = "sqlite3 " + db + " < " + script + " > /dev/null 2>&1";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(db);
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("sqlite3 failed (is the sqlite3 package installed?)");
      return;
    }
  }
  std::filesystem::remove(db);
}
BENCHMARK(BM_SqliteCliImportTwentyDays)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// The index of the 20 days, up to date; false (and the benchmark skipped) when it cannot be.
bool openIndexed(HistoryIndex& index, benchmark::State& state) {
  std::string error;
  HistoryUpdateReport report;
  if (index.open(days().dir(), error) && index.update(report, error)) return true;
  state.SkipWithError(error.c_str());
  return false;
}

void BM_SymbolOverTwentyDays(benchmark::State& state) {
  HistoryIndex index;
  if (!openIndexed(index, state)) return;
  std::size_t alerts = 0;
  for (auto _ : state) {
    alerts = index.symbolAlerts(kSymbol).size();
    benchmark::DoNotOptimize(alerts);
  }
  state.counters["alerts"] = static_cast<double>(alerts);
}
BENCHMARK(BM_SymbolOverTwentyDays)->Unit(benchmark::kMillisecond)->UseRealTime();

// The Listing chart's typical day over the 20 days: their TOTALs read from the index and the
// percentiles taken at each second.
void BM_TypicalBandTwentyDays(benchmark::State& state) {
  HistoryIndex index;
  if (!openIndexed(index, state)) return;
  int taken = 0;
  for (auto _ : state) {
    const TypicalBand band = typicalDayBand(index, 0, ChartId::Listing);
    taken = band.days;
    benchmark::DoNotOptimize(band.median.data());
  }
  state.counters["days"] = taken;
}
BENCHMARK(BM_TypicalBandTwentyDays)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GrepSymbolOverTwentyDays(benchmark::State& state) {
  const TwentyDays& d = days();
  // Through a pipe: grep stops at the first match when its output is /dev/null.
  const std::string command = "grep -h " + std::string(kSymbol) + " " + d.dir() +
                              "/Data/*_hft[123].txt | wc -l > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("grep failed");
      return;
    }
  }
}
BENCHMARK(BM_GrepSymbolOverTwentyDays)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kestrune

BENCHMARK_MAIN();
