#include "history/history_index.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <unordered_map>

#include "alerts/alert_record.h"
#include "charts/chart_intake.h"
#include "charts/chart_sample.h"
#include "client/trading_date.h"
#include "recording/data_files.h"
#include "recording/data_reader.h"
#include "recording/day_scan.h"
#include "recording/recorded_day.h"
#include "settings/regular_file.h"

namespace kestrune {

namespace {

// Raised whenever the tables below change: an index of another layout is built again.
constexpr int kLayoutVersion = 2;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS files("
    " day INTEGER, file INTEGER, device INTEGER, inode INTEGER,"
    " offset INTEGER,"   // bytes read: where the next update goes on
    " lines INTEGER,"    // lines read, the damaged ones included
    " records INTEGER,"  // of which indexed
    " tail INTEGER,"     // bytes of a last line without a line feed that was read, else 0
    " PRIMARY KEY(day, file)) WITHOUT ROWID;"
    // The alerts of one symbol in one list of one day, packed in file order (packAlert): a symbol
    // over a month is a few dozen rows, and a day is written as one row per symbol rather than
    // one per alert.
    "CREATE TABLE IF NOT EXISTS alert_packs("
    " symbol TEXT, day INTEGER, list INTEGER, packed BLOB, UNIQUE(symbol, day, list));"
    "CREATE TABLE IF NOT EXISTS symbol_days("
    " day INTEGER, list INTEGER, symbol TEXT, alerts INTEGER, highest INTEGER,"
    " PRIMARY KEY(day, list, symbol)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS totals("
    " day INTEGER, chart INTEGER, peak_second INTEGER, peak_total REAL, seconds BLOB,"
    " PRIMARY KEY(day, chart)) WITHOUT ROWID;";

constexpr const char* kDropAll =
    "DROP TABLE IF EXISTS files; DROP TABLE IF EXISTS alerts; DROP TABLE IF EXISTS alert_packs;"
    "DROP TABLE IF EXISTS symbol_days; DROP TABLE IF EXISTS totals;";

// Which "|"-separated field (from 0) holds the exchange, time and count of a list's records.
struct AlertFields {
  int exchange;
  int time;
  int count;
};
constexpr AlertFields kAlertFields[3] = {{1, 2, 3}, {1, 2, 3}, {1, 3, 4}};

constexpr ChartId kChartOfFile[3] = {ChartId::Listing, ChartId::Reporting, ChartId::Algo};

// A prepared statement, finalised when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  Statement& bind(int i, std::int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& bind(int i, double v) {
    sqlite3_bind_double(stmt_, i, v);
    return *this;
  }
  Statement& bind(int i, std::string_view v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bindBlob(int i, const void* bytes, std::size_t n) {
    sqlite3_bind_blob64(stmt_, i, bytes, n, SQLITE_TRANSIENT);
    return *this;
  }
  // True while a row is there.
  bool row() { return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_ROW; }
  // Runs a statement that returns no rows; true when it did.
  bool run() {
    if (stmt_ == nullptr) return false;
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    return rc == SQLITE_DONE;
  }
  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  bool isNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  std::int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
  double real(int col) const { return sqlite3_column_double(stmt_, col); }
  std::string text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return p == nullptr ? std::string() : std::string(p, sqlite3_column_bytes(stmt_, col));
  }
  const void* blob(int col, std::size_t& n) const {
    n = static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col));
    return sqlite3_column_blob(stmt_, col);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool exec(sqlite3* db, const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

// How far one day file was read.
struct FileState {
  std::int64_t device = 0;
  std::int64_t inode = 0;
  std::int64_t offset = 0;
  std::int64_t lines = 0;
  std::int64_t records = 0;
  std::int64_t tail = 0;
};

using FileKey = std::pair<int, int>;  // day, file

struct SymbolDay {
  std::int64_t alerts = 0;
  std::int32_t highest = std::numeric_limits<std::int32_t>::min();
  std::string packed;  // the alerts, packAlert after packAlert
};

// One day's TOTAL per second of one chart, NaN where no sample was read.
std::vector<double> emptyTotals() {
  return std::vector<double>(kSecondsPerDay, std::numeric_limits<double>::quiet_NaN());
}

// The fields of a record line, split at "|".
void splitFields(std::string_view text, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = text.find('|', pos);
    if (end == std::string_view::npos) {
      fields.push_back(text.substr(pos));
      return;
    }
    fields.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
}

// The packed form of an alert: second, line of its file, count, then exchange and the rest of
// the fields, each text with its length first; numbers as base-128 varints, the count zigzagged.
void putVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

bool getVarint(const unsigned char*& p, const unsigned char* end, std::uint64_t& v) {
  v = 0;
  for (int shift = 0; p < end && shift < 64; shift += 7) {
    const unsigned char b = *p++;
    v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

void packAlert(std::string& out, int second, std::int64_t line, std::int32_t count,
               std::string_view exchange, std::string_view rest) {
  putVarint(out, static_cast<std::uint64_t>(second));
  putVarint(out, static_cast<std::uint64_t>(line));
  const auto c = static_cast<std::uint32_t>(count);
  putVarint(out, (c << 1) ^ (count < 0 ? 0xFFFFFFFFu : 0u));
  putVarint(out, exchange.size());
  out.append(exchange);
  putVarint(out, rest.size());
  out.append(rest);
}

// One packed alert; false at the end or on bytes that are no pack (the index was damaged).
bool unpackAlert(const unsigned char*& p, const unsigned char* end, HistoryAlert& a) {
  std::uint64_t second = 0, line = 0, count = 0, n = 0;
  if (!getVarint(p, end, second) || !getVarint(p, end, line) || !getVarint(p, end, count)) {
    return false;
  }
  a.second = static_cast<int>(second % kSecondsPerDay);
  const auto c = static_cast<std::uint32_t>(count);
  a.count = static_cast<std::int32_t>((c >> 1) ^ (0u - (c & 1u)));
  for (std::string* text : {&a.exchange, &a.rest}) {
    if (!getVarint(p, end, n) || n > static_cast<std::uint64_t>(end - p)) return false;
    text->assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
    p += n;
  }
  return true;
}

// One day file's part of an update. Reading and parsing it (parse) touches no database, so that
// several files are parsed at once; what it found is stored afterwards, in file order.
struct FileWork {
  int day = 0;
  int file = 0;
  bool known = false;  // the index held some of it before
  bool takeLastPiece = false;
  FileState state;
  RegularFile in;
  std::int64_t size = 0;
  std::vector<double> totals;  // of a chart file: what the index held, then the samples read

  // What parse found.
  std::int64_t lines = 0;
  std::int64_t records = 0;
  std::uint64_t skippedLong = 0;
  std::unordered_map<std::string, SymbolDay> symbolDays;  // of an alert file

  explicit FileWork(RegularFile file) : in(std::move(file)) {}
  void parse();

 private:
  // One line; false when it was damaged and is skipped.
  bool takeAlert(std::int64_t line, std::string_view text);
  bool takeSample(std::string_view text);
  std::vector<std::string_view> fields;
  std::string rest;
};

bool FileWork::takeAlert(std::int64_t line, std::string_view text) {
  const int list = file;
  const auto kind = static_cast<AlertKind>(list);
  AlertCells cells;
  splitAlertRecord(kind, text, cells);
  const std::string_view symbol = cells.cell(1);
  const int second = recordSecond(list, text);
  if (symbol.empty() || second < 0) return false;
  const std::int32_t count = parseAlertCount(cells.cell(alertCountColumn(kind)));

  splitFields(text, fields);
  const AlertFields& at = kAlertFields[list];
  rest.clear();
  bool first = true;
  for (std::size_t f = 1; f < fields.size(); ++f) {
    const auto i = static_cast<int>(f);
    if (i == at.exchange || i == at.time || i == at.count) continue;
    if (!first) rest += '|';
    rest.append(fields[f]);
    first = false;
  }
  std::string_view exchange;
  if (fields.size() > static_cast<std::size_t>(at.exchange)) {
    exchange = fields[static_cast<std::size_t>(at.exchange)].substr(0, kAlertFieldMax);
  }
  auto it = symbolDays.find(std::string(symbol));
  if (it == symbolDays.end()) it = symbolDays.emplace(std::string(symbol), SymbolDay{}).first;
  SymbolDay& agg = it->second;
  ++agg.alerts;
  agg.highest = std::max(agg.highest, count);
  packAlert(agg.packed, second, line, count, exchange, rest);
  return true;
}

bool FileWork::takeSample(std::string_view text) {
  // The splitter's lines are NUL-terminated; the carriage return stops the last count as atoi.
  ChartSample sample;
  if (!parseReplaySample(kChartOfFile[file - 3], text.data(), sample)) return false;
  // The TOTAL the chart store keeps: the sum of the 16 counts; a later sample of the same
  // second replaces an earlier one, as in replay.
  double total = 0;
  for (double c : sample.counts) total += c;
  totals[static_cast<std::size_t>(sample.secondOfDay)] = total;
  return true;
}

void FileWork::parse() {
  DataLineSplitter splitter([&](const char* text, std::size_t length) {
    std::string_view line(text, length);
    if (line.back() == '\r') line.remove_suffix(1);  // the line end the recorder added
    const bool taken = file < 3 ? takeAlert(state.lines + lines, line)
                                : takeSample(std::string_view(text, length));
    ++lines;
    if (taken) ++records;
  });

  // Only up to the size seen now: whatever is appended meanwhile waits for the next update.
  std::int64_t pos = state.offset;
  std::int64_t lastLineEnd = state.offset;  // just past the last line feed read
  static constexpr std::size_t kChunk = 1 << 20;
  std::vector<char> buffer(kChunk);
  bool readError = false;
  while (pos < size) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, size - pos));
    const ssize_t n = ::pread(in.fd(), buffer.data(), want, pos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      readError = n < 0;
      break;
    }
    for (ssize_t i = n; i > 0; --i) {
      if (buffer[static_cast<std::size_t>(i - 1)] == '\n') {
        lastLineEnd = pos + i;
        break;
      }
    }
    splitter.feed(buffer.data(), static_cast<std::size_t>(n));
    pos += n;
  }
  // A last piece without its line feed is a line still being written, unless nobody writes this
  // day any more; then it is read as replay reads it.
  state.tail = 0;
  if (readError) {
    state.offset = lastLineEnd;  // the rest is tried again next time
  } else if (takeLastPiece && pos > lastLineEnd) {
    splitter.finish();
    state.offset = pos;
    state.tail = pos - lastLineEnd;
  } else {
    state.offset = lastLineEnd;
  }
  skippedLong = splitter.stats().longSkipped;
}

// Everything one update does inside its transaction.
class Updater {
 public:
  Updater(sqlite3* db, std::string baseDir)
      : db_(db),
        baseDir_(std::move(baseDir)),
        insertPack_(db, "INSERT INTO alert_packs VALUES(?, ?, ?, ?)"),
        findPack_(
            db, "SELECT rowid, packed FROM alert_packs WHERE symbol = ? AND day = ? AND list = ?"),
        extendPack_(db, "UPDATE alert_packs SET packed = ? WHERE rowid = ?"),
        upSymbolDay_(db,
                     "INSERT INTO symbol_days VALUES(?, ?, ?, ?, ?) ON CONFLICT(day, list, symbol) "
                     "DO UPDATE SET alerts = alerts + excluded.alerts,"
                     " highest = max(highest, excluded.highest)") {}

  bool run(HistoryUpdateReport& report, std::string& error);

 private:
  bool loadStates();
  // Takes a file's rows out of the index.
  bool dropFile(int day, int file);
  // Opens file (0-5) of day and decides where reading goes on; work stays null when there is
  // nothing new to read.
  bool prepareFile(int day, int file, bool takeLastPiece, std::unique_ptr<FileWork>& work);
  // Stores what was read.
  bool storeFile(FileWork& work, HistoryUpdateReport& report);
  // Parses the files, on two threads when there are several, then stores them in order.
  bool readBatch(std::vector<std::unique_ptr<FileWork>>& batch, HistoryUpdateReport& report);
  // The alerts read from a file, one pack per symbol; appended to what an earlier update stored
  // when the file was read on from where it stopped.
  bool storeSymbolDays(int day, int list, bool appended,
                       std::unordered_map<std::string, SymbolDay>& symbolDays);
  bool loadTotals(int day, int file, std::vector<double>& totals);
  bool storeTotals(int day, int file, const std::vector<double>& totals);
  bool storeState(const FileKey& key, const FileState& state);

  sqlite3* db_;
  std::string baseDir_;
  Statement insertPack_;
  Statement findPack_;
  Statement extendPack_;
  Statement upSymbolDay_;
  std::map<FileKey, FileState> states_;
};

bool Updater::loadStates() {
  Statement q(db_, "SELECT day, file, device, inode, offset, lines, records, tail FROM files");
  if (!q.ok()) return false;
  while (q.row()) {
    FileState s{q.integer(2), q.integer(3), q.integer(4), q.integer(5), q.integer(6), q.integer(7)};
    states_[{static_cast<int>(q.integer(0)), static_cast<int>(q.integer(1))}] = s;
  }
  return true;
}

bool Updater::dropFile(int day, int file) {
  const auto d = std::int64_t{day};
  const auto f = std::int64_t{file};
  if (file < 3) {
    // The alerts are kept by symbol: the day's symbols say where its rows are.
    Statement del(db_,
                  "DELETE FROM alert_packs WHERE day = ? AND list = ? AND symbol IN"
                  " (SELECT symbol FROM symbol_days WHERE day = ? AND list = ?)");
    if (!del.bind(1, d).bind(2, f).bind(3, d).bind(4, f).run()) return false;
    Statement delDays(db_, "DELETE FROM symbol_days WHERE day = ? AND list = ?");
    if (!delDays.bind(1, d).bind(2, f).run()) return false;
  } else {
    Statement del(db_, "DELETE FROM totals WHERE day = ? AND chart = ?");
    if (!del.bind(1, d).bind(2, f).run()) return false;
  }
  Statement del(db_, "DELETE FROM files WHERE day = ? AND file = ?");
  return del.bind(1, d).bind(2, f).run();
}

bool Updater::storeSymbolDays(int day, int list, bool appended,
                              std::unordered_map<std::string, SymbolDay>& symbolDays) {
  const auto d = std::int64_t{day};
  const auto l = std::int64_t{list};
  for (auto& [symbol, agg] : symbolDays) {
    const std::string_view name(symbol);
    if (!upSymbolDay_.bind(1, d)
             .bind(2, l)
             .bind(3, name)
             .bind(4, agg.alerts)
             .bind(5, std::int64_t{agg.highest})
             .run()) {
      return false;
    }
    if (appended) {
      findPack_.bind(1, name).bind(2, d).bind(3, l);
      if (findPack_.row()) {
        std::size_t n = 0;
        const void* bytes = findPack_.blob(1, n);
        std::string whole(static_cast<const char*>(bytes), n);
        const std::int64_t rowid = findPack_.integer(0);
        findPack_.reset();
        whole += agg.packed;
        if (!extendPack_.bindBlob(1, whole.data(), whole.size()).bind(2, rowid).run()) return false;
        continue;
      }
      findPack_.reset();
    }
    if (!insertPack_.bind(1, name)
             .bind(2, d)
             .bind(3, l)
             .bindBlob(4, agg.packed.data(), agg.packed.size())
             .run()) {
      return false;
    }
  }
  symbolDays.clear();
  return true;
}

bool Updater::loadTotals(int day, int file, std::vector<double>& totals) {
  totals = emptyTotals();
  Statement q(db_, "SELECT seconds FROM totals WHERE day = ? AND chart = ?");
  q.bind(1, std::int64_t{day}).bind(2, std::int64_t{file});
  if (!q.ok()) return false;
  if (q.row()) {
    std::size_t n = 0;
    const void* bytes = q.blob(0, n);
    if (n == totals.size() * sizeof(double)) std::memcpy(totals.data(), bytes, n);
  }
  return true;
}

bool Updater::storeTotals(int day, int file, const std::vector<double>& totals) {
  // The highest TOTAL of the day and its first second, kept for the per-day table.
  int peak = -1;
  for (int s = 0; s < kSecondsPerDay; ++s) {
    const double v = totals[static_cast<std::size_t>(s)];
    if (!std::isnan(v) && (peak < 0 || v > totals[static_cast<std::size_t>(peak)])) peak = s;
  }
  Statement up(db_, "INSERT OR REPLACE INTO totals VALUES(?, ?, ?, ?, ?)");
  up.bind(1, std::int64_t{day}).bind(2, std::int64_t{file}).bind(3, std::int64_t{peak});
  up.bind(4, peak < 0 ? 0.0 : totals[static_cast<std::size_t>(peak)]);
  up.bindBlob(5, totals.data(), totals.size() * sizeof(double));
  return up.run();
}

bool Updater::storeState(const FileKey& key, const FileState& s) {
  Statement up(db_, "INSERT OR REPLACE INTO files VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
  return up.bind(1, std::int64_t{key.first})
      .bind(2, std::int64_t{key.second})
      .bind(3, s.device)
      .bind(4, s.inode)
      .bind(5, s.offset)
      .bind(6, s.lines)
      .bind(7, s.records)
      .bind(8, s.tail)
      .run();
}

bool Updater::prepareFile(int day, int file, bool takeLastPiece, std::unique_ptr<FileWork>& work) {
  work.reset();
  const FileKey key{day, file};
  RegularFile in = openRegularFile(dataFilePath(baseDir_, historyDayText(day), file));
  if (!in.isOpen()) {
    // Gone, or no longer a regular file: what the index held of it goes too.
    if (states_.count(key) != 0 && !dropFile(day, file)) return false;
    return true;
  }
  const FileIdentity id = in.identity();
  const auto it = states_.find(key);
  bool known = it != states_.end();
  FileState state = known ? it->second : FileState{};
  const auto size = static_cast<std::int64_t>(id.size);
  // Another file under the name, one cut short, or one that grew after its last line was taken
  // without a line feed (so that piece was only the start of a line): read it all again.
  const bool replaced = state.device != static_cast<std::int64_t>(id.device) ||
                        state.inode != static_cast<std::int64_t>(id.inode);
  if (known && (replaced || size < state.offset || (state.tail > 0 && size > state.offset))) {
    if (!dropFile(day, file)) return false;
    state = FileState{};
    known = false;
  }
  state.device = static_cast<std::int64_t>(id.device);
  state.inode = static_cast<std::int64_t>(id.inode);
  if (size == state.offset) return known || storeState(key, state);

  work = std::make_unique<FileWork>(std::move(in));
  work->day = day;
  work->file = file;
  work->known = known;
  work->takeLastPiece = takeLastPiece;
  work->state = state;
  work->size = size;
  return file < 3 || loadTotals(day, file, work->totals);
}

bool Updater::storeFile(FileWork& w, HistoryUpdateReport& report) {
  w.state.lines += w.lines;
  w.state.records += w.records;
  report.linesRead += static_cast<std::uint64_t>(w.lines) + w.skippedLong;
  report.linesSkipped += static_cast<std::uint64_t>(w.lines - w.records) + w.skippedLong;
  if (w.lines > 0 || w.skippedLong > 0) ++report.daysRead;  // counted once per day by the caller
  if (w.file < 3 &&
      !storeSymbolDays(w.day, w.file, w.known && w.state.lines > w.lines, w.symbolDays)) {
    return false;
  }
  if (w.file >= 3 && w.records > 0 && !storeTotals(w.day, w.file, w.totals)) return false;
  return storeState({w.day, w.file}, w.state);
}

bool Updater::readBatch(std::vector<std::unique_ptr<FileWork>>& batch,
                        HistoryUpdateReport& report) {
  // The files are shared out between this thread and one more: parsing is what a first build
  // of many days spends its time on, and the database work stays on this thread.
  std::atomic<std::size_t> next{0};
  auto parseSome = [&] {
    for (std::size_t i = next++; i < batch.size(); i = next++) batch[i]->parse();
  };
  if (batch.size() > 1) {
    std::thread helper(parseSome);
    parseSome();
    helper.join();
  } else {
    parseSome();
  }
  for (auto& w : batch) {
    if (!storeFile(*w, report)) return false;
  }
  batch.clear();
  return true;
}

bool Updater::run(HistoryUpdateReport& report, std::string& error) {
  report = HistoryUpdateReport{};
  if (!insertPack_.ok() || !findPack_.ok() || !extendPack_.ok() || !upSymbolDay_.ok() ||
      !loadStates()) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  const std::vector<RecordedDayFiles> found = scanRecordedDays(baseDir_);
  int newest = 0;
  std::set<int> days;
  for (const RecordedDayFiles& d : found) {
    const int key = historyDayKey(d.date);
    newest = std::max(newest, key);
    days.insert(key);
  }
  // Days that are no longer there at all.
  for (const auto& [key, state] : states_) {
    if (days.count(key.first) == 0 && !dropFile(key.first, key.second)) {
      error = sqlite3_errmsg(db_);
      return false;
    }
  }
  // A day at a time, its six files parsed together.
  std::vector<std::unique_ptr<FileWork>> batch;
  for (const RecordedDayFiles& d : found) {
    const int day = historyDayKey(d.date);
    const int before = report.daysRead;
    for (int file = 0; file < kDataFileCount; ++file) {
      if (!d.hasFile(file) && states_.count({day, file}) == 0) continue;
      std::unique_ptr<FileWork> work;
      if (!prepareFile(day, file, day != newest, work)) {
        error = sqlite3_errmsg(db_);
        return false;
      }
      if (work) batch.push_back(std::move(work));
    }
    if (!readBatch(batch, report)) {
      error = sqlite3_errmsg(db_);
      return false;
    }
    report.daysRead = before + (report.daysRead > before ? 1 : 0);
  }
  Statement count(db_, "SELECT COUNT(DISTINCT day) FROM files");
  report.days = count.row() ? static_cast<int>(count.integer(0)) : 0;
  return true;
}

// The range as a WHERE clause's two bounds.
std::int64_t lowerBound(const HistoryRange& r) { return r.from; }
std::int64_t upperBound(const HistoryRange& r) { return r.to == 0 ? 99999999 : r.to; }

}  // namespace

int historyDayKey(std::string_view date) {
  if (!isTradingDate(date)) return 0;
  int key = 0;
  for (int i : {4, 5, 6, 7, 0, 1, 2, 3}) key = key * 10 + (date[static_cast<std::size_t>(i)] - '0');
  return key;
}

std::string historyDayText(int key) {
  char out[16];
  std::snprintf(out, sizeof out, "%02d%02d%04d", key / 100 % 100, key % 100, key / 10000 % 10000);
  return out;
}

std::string historyTimeText(int second) {
  char out[16];
  std::snprintf(out, sizeof out, "%02d:%02d:%02d", second / 3600 % 100, second / 60 % 60,
                second % 60);
  return out;
}

HistoryIndex::~HistoryIndex() { sqlite3_close_v2(db_); }

bool HistoryIndex::open(const std::string& baseDir, std::string& error) {
  sqlite3_close_v2(db_);
  db_ = nullptr;
  baseDir_ = baseDir;
  const std::string path =
      (baseDir.empty() ? std::string("Data/") : baseDir + "/Data/") + kHistoryIndexName;
  sqlite3* db = nullptr;
  // One index object is used by one thread at a time: SQLite's own locking would only cost.
  const int rc = sqlite3_open_v2(
      path.c_str(), &db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
      nullptr);
  if (rc != SQLITE_OK) {
    error = "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close_v2(db);
    return false;
  }
  // Another program updating the index holds it for a moment; wait for it rather than fail.
  sqlite3_busy_timeout(db, 30000);
  std::string why;
  // The index is rebuilt from the day files at will: a lost last transaction costs nothing.
  // A large page cache: a first build writes every day at once, and a small cache would write
  // the same pages to the log again and again.
  bool ok = exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-262144;"
                 " PRAGMA temp_store=MEMORY;",
                 why);
  int version = -1;
  if (ok) {
    Statement q(db, "PRAGMA user_version");
    ok = q.row();
    if (ok) version = static_cast<int>(q.integer(0));
  }
  if (ok && version != kLayoutVersion) {
    const std::string sql = std::string("BEGIN IMMEDIATE;") + kDropAll + kSchema +
                            "PRAGMA user_version=" + std::to_string(kLayoutVersion) + "; COMMIT;";
    ok = exec(db, sql.c_str(), why);
  }
  if (!ok) {
    error = path + " is not a history index (" + (why.empty() ? sqlite3_errmsg(db) : why) +
            "); remove it and it is built again from the day files";
    sqlite3_close_v2(db);
    return false;
  }
  db_ = db;
  return true;
}

bool HistoryIndex::update(HistoryUpdateReport& report, std::string& error) {
  if (db_ == nullptr) {
    error = "the history index is not open";
    return false;
  }
  if (!exec(db_, "BEGIN IMMEDIATE", error)) return false;
  bool ok = false;
  {
    Updater updater(db_, baseDir_);
    ok = updater.run(report, error);
  }
  if (ok) ok = exec(db_, "COMMIT", error);
  if (!ok) {
    std::string ignored;
    exec(db_, "ROLLBACK", ignored);
  }
  return ok;
}

std::vector<HistoryAlert> HistoryIndex::symbolAlerts(std::string_view symbol,
                                                     HistoryRange range) const {
  std::vector<HistoryAlert> out;
  if (db_ == nullptr) return out;
  {
    // Room for all of them at once: the merges below move them about enough as it is.
    Statement n(db_,
                "SELECT SUM(alerts) FROM symbol_days WHERE symbol = ? AND day BETWEEN ? AND ?");
    n.bind(1, symbol).bind(2, lowerBound(range)).bind(3, upperBound(range));
    if (n.row())
      out.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(n.integer(0), 0, 1 << 24)));
  }
  Statement q(db_,
              "SELECT day, list, packed FROM alert_packs WHERE symbol = ? AND day BETWEEN ? AND ?"
              " ORDER BY day, list");
  q.bind(1, symbol).bind(2, lowerBound(range)).bind(3, upperBound(range));
  auto bySecond = [](const HistoryAlert& a, const HistoryAlert& b) { return a.second < b.second; };
  // A day's lists, each in file order, become one run by second; within a second Raw, Seq and
  // Algo stay in turn, since the merges and the sort keep equal seconds in their order.
  std::size_t dayStart = 0;
  std::vector<std::size_t> listStarts;
  auto finishDay = [&] {
    listStarts.push_back(out.size());
    for (std::size_t k = 0; k + 1 < listStarts.size(); ++k) {
      const auto b = out.begin() + static_cast<std::ptrdiff_t>(listStarts[k]);
      const auto e = out.begin() + static_cast<std::ptrdiff_t>(listStarts[k + 1]);
      if (!std::is_sorted(b, e, bySecond)) std::stable_sort(b, e, bySecond);
      if (k > 0) {
        std::inplace_merge(out.begin() + static_cast<std::ptrdiff_t>(dayStart), b, e, bySecond);
      }
    }
    listStarts.clear();
    dayStart = out.size();
  };
  int day = -1;
  HistoryAlert a;
  while (q.row()) {
    const int rowDay = static_cast<int>(q.integer(0));
    if (rowDay != day) {
      if (day >= 0) finishDay();
      day = rowDay;
    }
    listStarts.push_back(out.size());
    a.day = day;
    a.list = static_cast<int>(q.integer(1));
    std::size_t n = 0;
    const auto* p = static_cast<const unsigned char*>(q.blob(2, n));
    const unsigned char* end = p + n;
    while (p != nullptr && p < end && unpackAlert(p, end, a)) out.push_back(a);
  }
  if (day >= 0) finishDay();
  return out;
}

std::vector<HistoryTopSymbol> HistoryIndex::top(HistoryRange range, int list, int limit) const {
  std::vector<HistoryTopSymbol> out;
  if (db_ == nullptr) return out;
  Statement q(db_,
              "SELECT symbol, SUM(alerts) AS n, MAX(highest) AS h, MIN(day), MAX(day) FROM "
              "symbol_days WHERE day BETWEEN ? AND ? AND (? < 0 OR list = ?) GROUP BY symbol "
              "ORDER BY n DESC, h DESC, symbol LIMIT ?");
  q.bind(1, lowerBound(range)).bind(2, upperBound(range)).bind(3, std::int64_t{list});
  q.bind(4, std::int64_t{list}).bind(5, std::int64_t{limit > 0 ? limit : -1});
  while (q.row()) {
    out.push_back({q.text(0), q.integer(1), static_cast<std::int32_t>(q.integer(2)),
                   static_cast<int>(q.integer(3)), static_cast<int>(q.integer(4))});
  }
  return out;
}

std::vector<HistoryDay> HistoryIndex::days(HistoryRange range) const {
  std::vector<HistoryDay> out;
  if (db_ == nullptr) return out;
  Statement q(db_,
              "SELECT f.day,"
              " SUM(CASE WHEN f.file = 0 THEN f.records ELSE 0 END),"
              " SUM(CASE WHEN f.file = 1 THEN f.records ELSE 0 END),"
              " SUM(CASE WHEN f.file = 2 THEN f.records ELSE 0 END),"
              " (SELECT peak_second FROM totals t WHERE t.day = f.day AND t.chart = 3),"
              " (SELECT peak_total FROM totals t WHERE t.day = f.day AND t.chart = 3)"
              " FROM files f WHERE f.day BETWEEN ? AND ? GROUP BY f.day ORDER BY f.day");
  q.bind(1, lowerBound(range)).bind(2, upperBound(range));
  while (q.row()) {
    HistoryDay d;
    d.day = static_cast<int>(q.integer(0));
    for (int i = 0; i < 3; ++i) d.alerts[i] = q.integer(1 + i);
    d.peakSecond = q.isNull(4) ? -1 : static_cast<int>(q.integer(4));
    d.peakTotal = q.real(5);
    out.push_back(d);
  }
  return out;
}

std::vector<std::string> HistoryIndex::symbols() const {
  std::vector<std::string> out;
  if (db_ == nullptr) return out;
  Statement q(db_, "SELECT DISTINCT symbol FROM symbol_days ORDER BY symbol");
  while (q.row()) out.push_back(q.text(0));
  return out;
}

std::vector<double> HistoryIndex::totals(int day, int chartFile) const {
  std::vector<double> out;
  if (db_ == nullptr) return out;
  Statement q(db_, "SELECT seconds FROM totals WHERE day = ? AND chart = ?");
  q.bind(1, std::int64_t{day}).bind(2, std::int64_t{chartFile});
  if (q.row()) {
    std::size_t n = 0;
    const void* bytes = q.blob(0, n);
    if (n == kSecondsPerDay * sizeof(double)) {
      out.resize(kSecondsPerDay);
      std::memcpy(out.data(), bytes, n);
    }
  }
  return out;
}

std::vector<int> HistoryIndex::dayKeys() const {
  std::vector<int> out;
  if (db_ == nullptr) return out;
  Statement q(db_, "SELECT DISTINCT day FROM files ORDER BY day");
  while (q.row()) out.push_back(static_cast<int>(q.integer(0)));
  return out;
}

}  // namespace kestrune
