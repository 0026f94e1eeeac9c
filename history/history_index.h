// The index across days: every alert and each chart's TOTAL per second of the recorded days, in
// Data/history.sqlite beside the day files. It is only ever read from the day files and kept up
// to date incrementally, so it can be deleted at any time and is then rebuilt from them. The day
// files are only read, never changed. Plain C++ over SQLite, no Qt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kestrune {

inline constexpr const char* kHistoryIndexName = "history.sqlite";

// A day as the index keys it: YYYYMMDD, so that a larger key is a later day. 0 for a text that
// is no trading date MMDDYYYY.
int historyDayKey(std::string_view date);
// The key back as MMDDYYYY.
std::string historyDayText(int key);
// "hh:mm:ss" of a second of the day.
std::string historyTimeText(int second);

struct HistoryUpdateReport {
  int days = 0;                    // days in the index afterwards
  int daysRead = 0;                // days of which something was read in this update
  std::uint64_t linesRead = 0;     // lines read in this update, the skipped ones included
  std::uint64_t linesSkipped = 0;  // ... of which this many were damaged and left out
};

// One alert of a symbol. rest holds the record's other fields in their own order, joined by "|"
// as they stand in the file.
struct HistoryAlert {
  int day = 0;     // YYYYMMDD
  int second = 0;  // of the day
  int list = 0;    // 0 Raw, 1 Seq, 2 Algo
  std::string exchange;
  std::int32_t count = 0;
  std::string rest;
};

struct HistoryTopSymbol {
  std::string symbol;
  std::int64_t alerts = 0;
  std::int32_t highest = 0;
  int firstDay = 0;
  int lastDay = 0;
};

struct HistoryDay {
  int day = 0;
  std::int64_t alerts[3] = {};  // Raw, Seq, Algo
  int peakSecond = -1;          // of the highest Listing TOTAL; -1 without Listing samples
  double peakTotal = 0;
};

// A range of days, both ends included; 0 leaves an end open.
struct HistoryRange {
  int from = 0;
  int to = 0;
};

class HistoryIndex {
 public:
  HistoryIndex() = default;
  ~HistoryIndex();
  HistoryIndex(const HistoryIndex&) = delete;
  HistoryIndex& operator=(const HistoryIndex&) = delete;

  // Opens, or creates, Data/history.sqlite under baseDir (empty: the working directory); the
  // Data folder must exist. An index of another layout is emptied and built again. False with a
  // message for the user when the file cannot be opened or is not an index.
  bool open(const std::string& baseDir, std::string& error);
  bool isOpen() const { return db_ != nullptr; }

  // Reads what the day files hold beyond what the index has: each file from where the last
  // update stopped. A line is read only once it is whole (has its line feed), except the last
  // line of a day older than the newest day, which nobody writes any more. A file that was
  // replaced, cut short or removed is read again from its start, or dropped. Damaged lines
  // (over-long ones, which replay skips too, alerts without a symbol or a time of day, samples
  // replay cannot read) are skipped and counted. Everything is taken in one transaction: an update
  // that fails half-way leaves the index as it was. Several programs may update one index at once.
  bool update(HistoryUpdateReport& report, std::string& error);

  // Every alert of symbol (byte for byte) in range, oldest first; within one second the Raw, Seq
  // and Algo lists in turn, each in its file's order.
  std::vector<HistoryAlert> symbolAlerts(std::string_view symbol, HistoryRange range = {}) const;
  // Symbols by number of alerts in range (of one list when list is 0-2, of all when -1), then by
  // their highest count, then by name; at most limit of them (0: all).
  std::vector<HistoryTopSymbol> top(HistoryRange range = {}, int list = -1, int limit = 0) const;
  // The indexed days in range, oldest first.
  std::vector<HistoryDay> days(HistoryRange range = {}) const;
  // Every symbol that has an alert, sorted (for completion).
  std::vector<std::string> symbols() const;
  // TOTAL of chart file 3-5 (Listing, Reporting, Algo) at each second of day; NaN where the day
  // has no sample. Empty when the day has none of that chart.
  std::vector<double> totals(int day, int chartFile) const;

  // The days in the index, oldest first.
  std::vector<int> dayKeys() const;

 private:
  sqlite3* db_ = nullptr;
  std::string baseDir_;
};

}  // namespace kestrune
