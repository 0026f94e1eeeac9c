// The index across days against what a plain reading of the day files gives: a generated month
// with damaged lines, today's files growing between updates, and the command's printed tables.
#include "history/history_index.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <tuple>

#include "history/history_cli.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

using test::TempDir;

constexpr const char* kSymbols[] = {"NVDA", "AAPL", "MSFT", "IBM", "TSLA", "AMD", "QQQ"};

// One alert as it was written, for the expected answers.
struct Written {
  int day = 0;
  int second = 0;
  int list = 0;
  int line = 0;  // of its file
  std::string symbol;
  std::string exchange;
  int count = 0;
  std::string rest;
};

class Month {
 public:
  explicit Month(const std::string& base) : base_(base) {
    std::filesystem::create_directories(base + "/Data");
  }

  std::string path(int day, int file) const {
    return base_ + "/Data/" + historyDayText(day) + "_hft" + std::to_string(file + 1) + ".txt";
  }
  void append(int day, int file, const std::string& bytes) {
    std::ofstream(path(day, file), std::ios::binary | std::ios::app) << bytes;
  }

  // An alert line of list at second, in the layout the server sends.
  std::string alert(int day, int list, int second, const std::string& symbol, int count) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d%02d%02d", second / 3600, second / 60 % 60, second % 60);
    const std::string exg(1, static_cast<char>('A' + count % 7));
    Written w{day, second, list, lines_[{day, list}]++, symbol, exg, count, ""};
    std::string text;
    if (list == 0) {
      w.rest = "1.25x2.50|" + std::to_string(count / 3);
      text = symbol + "|" + exg + "|" + time + "|" + std::to_string(count) + "|" + w.rest;
    } else if (list == 1) {
      w.rest = "1.25x2.50";
      text = symbol + "|" + exg + "|" + time + "|" + std::to_string(count) + "|" + w.rest;
    } else {
      w.rest = "Layering|1.25x2.50|7";
      text =
          symbol + "|" + exg + "|Layering|" + time + "|" + std::to_string(count) + "|1.25x2.50|7";
    }
    written.push_back(w);
    return text + "\r\n";
  }
  // A damaged line still takes its place among its file's lines.
  std::string damaged(int day, int list, const std::string& text) {
    ++lines_[{day, list}];
    ++skipped;
    return text;
  }

  // A sample line; the TOTAL is the sum of the 16 counts.
  std::string sample(int day, int file, int second, int base) {
    std::string text;
    char time[16];
    std::snprintf(time, sizeof time, "%02d%02d%02d", second / 3600, second / 60 % 60, second % 60);
    text = time;
    double total = 0;
    for (int e = 0; e < 16; ++e) {
      text += "|" + std::to_string(base + e);
      total += base + e;
    }
    totals[{day, file}][second] = total;
    return text + "|\r\n";
  }

  // Days, oldest first, each with alerts over the trading hours and a few damaged lines.
  void generate(const std::vector<int>& days) {
    std::mt19937 rng(7);
    for (int day : days) {
      for (int list = 0; list < 3; ++list) {
        std::string bytes;
        for (int i = 0; i < 60; ++i) {
          const int second = 34200 + i * 390 + static_cast<int>(rng() % 300);
          const std::string symbol = kSymbols[rng() % std::size(kSymbols)];
          bytes += alert(day, list, second, symbol, 200 + static_cast<int>(rng() % 5000));
          if (i == 20 && list == 0) bytes += damaged(day, list, std::string(300, 'X') + "\r\n");
          if (i == 30 && list == 1) bytes += damaged(day, list, "NVDA|Q|9:30|100|x\r\n");
          if (i == 40 && list == 2) bytes += damaged(day, list, "\r\n");
        }
        append(day, list, bytes);
      }
      for (int file = 3; file < 6; ++file) {
        std::string bytes;
        for (int s = 34200; s < 34200 + 600; s += 3) {
          bytes += sample(day, file, s, static_cast<int>((s * 31 + day + file) % 97));
        }
        bytes += "093001|1|2|3\r\n";  // too few counts
        ++skipped;
        append(day, file, bytes);
      }
    }
  }

  std::vector<Written> alertsOf(const std::string& symbol) const {
    std::vector<Written> out;
    for (const Written& w : written) {
      if (w.symbol == symbol) out.push_back(w);
    }
    std::sort(out.begin(), out.end(), [](const Written& a, const Written& b) {
      return std::tie(a.day, a.second, a.list, a.line) < std::tie(b.day, b.second, b.list, b.line);
    });
    return out;
  }

  std::vector<Written> written;
  std::map<std::pair<int, int>, std::map<int, double>> totals;  // (day, file) -> second -> TOTAL
  int skipped = 0;

 private:
  std::string base_;
  std::map<std::pair<int, int>, int> lines_;
};

std::vector<int> novemberDays() {
  std::vector<int> days;
  for (int d = 2; d <= 30; ++d) {
    if (d % 7 != 0 && d % 7 != 1) days.push_back(20261100 + d);
  }
  return days;
}

void expectSameAlerts(const Month& month, const HistoryIndex& index, const std::string& symbol) {
  const std::vector<Written> expected = month.alertsOf(symbol);
  const std::vector<HistoryAlert> got = index.symbolAlerts(symbol);
  ASSERT_EQ(got.size(), expected.size()) << symbol;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const Written& w = expected[i];
    EXPECT_EQ(std::tie(got[i].day, got[i].second, got[i].list, got[i].exchange, got[i].count,
                       got[i].rest),
              std::tie(w.day, w.second, w.list, w.exchange, w.count, w.rest))
        << symbol << " #" << i;
  }
}

TEST(HistoryIndex, AMonthWithDamagedLinesAnswersAsThePlainReading) {
  TempDir dir;
  Month month(dir.path());
  const std::vector<int> days = novemberDays();
  month.generate(days);
  // An old day whose last line never got its line feed: replay still reads it, so does the index.
  month.append(days[3], 0, month.alert(days[3], 0, 57000, "NVDA", 9999).substr(0, 20));
  month.written.back().rest = "1";  // the last field as it stands, cut there
  // The same on the newest day: a line still being written, not read yet.
  month.append(days.back(), 1, "NVDA|Q|155000|12");
  const std::map<std::string, std::string> before = [&] {
    std::map<std::string, std::string> files;
    for (const auto& f : std::filesystem::directory_iterator(dir.path() + "/Data")) {
      files[f.path().string()] = test::readAll(f.path().string());
    }
    return files;
  }();

  HistoryIndex index;
  std::string error;
  ASSERT_TRUE(index.open(dir.path(), error)) << error;
  HistoryUpdateReport report;
  ASSERT_TRUE(index.update(report, error)) << error;
  EXPECT_EQ(report.days, static_cast<int>(days.size()));
  EXPECT_EQ(report.linesRead,
            month.written.size() + static_cast<std::size_t>(month.skipped) + days.size() * 3 * 200);
  EXPECT_EQ(report.linesSkipped, static_cast<std::uint64_t>(month.skipped));

  for (const char* symbol : kSymbols) expectSameAlerts(month, index, symbol);
  EXPECT_TRUE(index.symbolAlerts("nvda").empty());  // symbols match byte for byte

  // top: by alerts, then highest count, within a range and a list.
  const HistoryRange week{days[5], days[9]};
  for (int list : {-1, 2}) {
    std::map<std::string, HistoryTopSymbol> expected;
    for (const Written& w : month.written) {
      if (w.day < week.from || w.day > week.to || (list >= 0 && w.list != list)) continue;
      HistoryTopSymbol& t = expected[w.symbol];
      if (t.alerts++ == 0) t = {w.symbol, 1, w.count, w.day, w.day};
      t.highest = std::max(t.highest, w.count);
      t.firstDay = std::min(t.firstDay, w.day);
      t.lastDay = std::max(t.lastDay, w.day);
    }
    std::vector<HistoryTopSymbol> ranked;
    for (auto& [symbol, t] : expected) ranked.push_back(t);
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
      return std::tie(b.alerts, b.highest, a.symbol) < std::tie(a.alerts, a.highest, b.symbol);
    });
    ranked.resize(3);
    const std::vector<HistoryTopSymbol> got = index.top(week, list, 3);
    ASSERT_EQ(got.size(), 3u);
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(
          std::tie(got[i].symbol, got[i].alerts, got[i].highest, got[i].firstDay, got[i].lastDay),
          std::tie(ranked[i].symbol, ranked[i].alerts, ranked[i].highest, ranked[i].firstDay,
                   ranked[i].lastDay));
    }
  }

  // days: alerts per list and the first second of the highest Listing TOTAL.
  const std::vector<HistoryDay> got = index.days();
  ASSERT_EQ(got.size(), days.size());
  for (std::size_t i = 0; i < days.size(); ++i) {
    std::int64_t alerts[3] = {};
    for (const Written& w : month.written) alerts[w.list] += w.day == days[i];
    const auto& listing = month.totals[{days[i], 3}];
    const auto peak =
        std::max_element(listing.begin(), listing.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_EQ(got[i].day, days[i]);
    EXPECT_EQ(std::vector<std::int64_t>(got[i].alerts, got[i].alerts + 3),
              std::vector<std::int64_t>(alerts, alerts + 3));
    EXPECT_EQ(got[i].peakSecond, peak->first);
    EXPECT_EQ(got[i].peakTotal, peak->second);
  }
  const std::vector<double> totals = index.totals(days[0], 4);
  ASSERT_EQ(totals.size(), 86400u);
  EXPECT_TRUE(std::isnan(totals[34201]));
  EXPECT_EQ(totals[34203], (month.totals[{days[0], 4}][34203]));

  // The day files are as they were.
  for (const auto& [path, bytes] : before) EXPECT_EQ(test::readAll(path), bytes) << path;
}

TEST(HistoryIndex, TodaysGrowingFilesAddExactlyTheNewLinesAndARebuildAgrees) {
  TempDir dir;
  Month month(dir.path());
  const std::vector<int> days = {20261124, 20261125};
  month.generate(days);
  const int today = days.back();
  auto index = std::make_unique<HistoryIndex>();
  std::string error;
  HistoryUpdateReport report;
  ASSERT_TRUE(index->open(dir.path(), error)) << error;
  ASSERT_TRUE(index->update(report, error)) << error;
  const std::size_t nvdaBefore = index->symbolAlerts("NVDA").size();

  // The recorder appends two alerts and two samples, and is half-way through a third alert.
  const std::string first = month.alert(today, 0, 49000, "NVDA", 4100);
  const std::string second = month.alert(today, 0, 49002, "AMD", 4300);
  const std::string third = month.alert(today, 0, 50000, "NVDA", 4444);
  month.append(today, 0, first + second + third.substr(0, 9));
  month.append(today, 3, month.sample(today, 3, 50000, 900) + month.sample(today, 3, 34203, 1));
  ASSERT_TRUE(index->update(report, error)) << error;
  EXPECT_EQ(report.linesRead, 4u);
  EXPECT_EQ(report.linesSkipped, 0u);
  EXPECT_EQ(report.daysRead, 1);
  EXPECT_EQ(index->symbolAlerts("NVDA").size(), nvdaBefore + 1);

  // Its line feed arrives: the third alert is read whole, once.
  month.append(today, 0, third.substr(9));
  ASSERT_TRUE(index->update(report, error)) << error;
  EXPECT_EQ(report.linesRead, 1u);
  ASSERT_TRUE(index->update(report, error)) << error;
  EXPECT_EQ(report.linesRead, 0u);
  const std::vector<HistoryAlert> nvda = index->symbolAlerts("NVDA");
  ASSERT_EQ(nvda.size(), nvdaBefore + 2);
  EXPECT_EQ(std::count_if(nvda.begin(), nvda.end(), [](const auto& a) { return a.count == 4444; }),
            1);
  EXPECT_EQ(index->days().back().peakSecond, 50000);
  EXPECT_EQ(index->days().back().peakTotal, 900 * 16 + 120);
  EXPECT_EQ(index->totals(today, 3)[34203], 1 * 16 + 120);  // the later sample of a second wins

  // A file of yesterday replaced by a shorter one is read again from its start.
  const std::string replaced = month.path(days[0], 1);
  std::filesystem::remove(replaced);
  test::writeAll(replaced, "NVDA|Q|100000|77|b\r\n");
  ASSERT_TRUE(index->update(report, error)) << error;
  EXPECT_EQ(report.linesRead, 1u);
  std::vector<HistoryAlert> seq;
  for (const HistoryAlert& a : index->symbolAlerts("NVDA", {days[0], days[0]})) {
    if (a.list == 1) seq.push_back(a);
  }
  ASSERT_EQ(seq.size(), 1u);
  EXPECT_EQ(seq[0].count, 77);

  // Deleting the index and building it again gives the same answers.
  const std::vector<HistoryAlert> kept = index->symbolAlerts("NVDA");
  const std::vector<HistoryTopSymbol> top = index->top();
  index.reset();
  for (const char* name : {"history.sqlite", "history.sqlite-wal", "history.sqlite-shm"}) {
    std::filesystem::remove(dir.path() + "/Data/" + name);
  }
  HistoryIndex rebuilt;
  ASSERT_TRUE(rebuilt.open(dir.path(), error)) << error;
  ASSERT_TRUE(rebuilt.update(report, error)) << error;
  const std::vector<HistoryAlert> again = rebuilt.symbolAlerts("NVDA");
  ASSERT_EQ(again.size(), kept.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(std::tie(again[i].day, again[i].second, again[i].list, again[i].count, again[i].rest),
              std::tie(kept[i].day, kept[i].second, kept[i].list, kept[i].count, kept[i].rest));
  }
  const std::vector<HistoryTopSymbol> topAgain = rebuilt.top();
  ASSERT_EQ(topAgain.size(), top.size());
  for (std::size_t i = 0; i < top.size(); ++i) {
    EXPECT_EQ(std::tie(topAgain[i].symbol, topAgain[i].alerts, topAgain[i].highest),
              std::tie(top[i].symbol, top[i].alerts, top[i].highest));
  }
}

// The command's tables as printed, in the folder it was started in.
TEST(HistoryCommand, PrintsTabSeparatedTablesWithAHeadingLine) {
  TempDir dir;
  Month month(dir.path());
  month.append(20261124, 2, "NVDA|Q|Spoof\ting|093015|812|1.25x2.50|7\r\n");
  month.append(20261124, 3, month.sample(20261124, 3, 34215, 10));
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  auto run = [](const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const HistoryOptions options = parseHistoryOptions(args);
    EXPECT_EQ(answerHistoryOptions(options, out, err), -1) << err.str();
    EXPECT_EQ(runHistoryCommand(options, out, err), kHistoryDone) << err.str();
    return out.str();
  };
  EXPECT_EQ(run({"index"}), "days\tlines_read\tlines_skipped\n1\t2\t0\n");
  // A tab inside a field of a foreign file must not make a column of its own.
  EXPECT_EQ(run({"symbol", "NVDA", "--from", "11242026", "--to=11242026"}),
            "date\ttime\tlist\texchange\tcount\tfields\n"
            "11242026\t09:30:15\tAlgo\tQ\t812\tSpoof?ing|1.25x2.50|7\n");
  EXPECT_EQ(run({"top", "--list", "Algo", "--limit", "5"}),
            "symbol\talerts\thighest\tfirst_date\tlast_date\nNVDA\t1\t812\t11242026\t11242026\n");
  EXPECT_EQ(run({"days"}),
            "date\traw\tseq\talgo\tpeak_time\tpeak_total\n"
            "11242026\t0\t0\t1\t09:30:15\t280\n");
  EXPECT_EQ(parseHistoryOptions({"top", "--from", "11312026"}).action,
            ProgramOptions::Action::Fail);
}

}  // namespace
}  // namespace kestrune
