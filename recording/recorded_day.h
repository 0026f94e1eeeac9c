// A recorded day's six data files as one stream of records in the order a server sends them:
// by time of day across the files, each file's own order kept.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/data_files.h"

namespace kestrune {

// The second of the day of a record line's time, or -1 when it has none that reads as hhmmss
// 00:00:00-23:59:59. The time is field 3 of Raw and Seq alerts, field 4 of Algo alerts and field
// 1 of chart samples; file is 0-5 (the Raw, Seq and Algo lists, then the Listing, Reporting and
// Algo charts).
int recordSecond(int file, std::string_view text);

struct DayRecord {
  int file = 0;           // 0-5, as above
  int second = 0;         // the second of the day it goes out at
  std::string_view text;  // the record text, without its line end
};

class RecordedDay {
 public:
  // Reads the six files of date from dataDir, the Data folder itself. Lines are read as replay
  // reads them. A missing file counts as empty; false when none of the six can be opened.
  //
  // Serving order: a record goes out at the second its time field gives. A line without a
  // readable time, or one whose time lies before the line above it in its file, goes out with
  // that line above (at the top of a file: with the first line below that has a time), so that no
  // file's own order ever changes. Within one second the three chart samples come first (Listing,
  // Reporting, Algo), as the server sends them at the start of a second, then the alerts, one from
  // each list in turn (Raw, Seq, Algo) while a list has more of that second.
  bool load(const std::string& dataDir, std::string_view date);

  std::size_t size() const { return records_.size(); }
  DayRecord record(std::size_t i) const { return view(records_[i]); }
  // The first record that goes out at or after second (size() when none does).
  std::size_t firstAt(int second) const;

  // Takes out every record drop() says cannot be served; returns how many.
  std::size_t dropIf(const std::function<bool(const DayRecord&)>& drop);

  int filesFound() const { return filesFound_; }
  std::uint64_t linesOf(int file) const { return lines_[static_cast<std::size_t>(file)]; }
  std::uint64_t untimed() const { return untimed_; }  // lines without a readable time
  std::uint64_t longSkipped() const {
    return longSkipped_;
  }  // over-long lines, not records of ours
  bool readError() const { return readError_; }

 private:
  struct Entry {
    std::size_t offset;     // into text_
    std::int32_t second;    // its own time while loading, then the second it goes out at
    std::uint32_t ordinal;  // place among its file's records of that second
    std::uint16_t length;
    std::uint8_t file;
  };

  DayRecord view(const Entry& e) const;

  std::string text_;
  std::vector<Entry> records_;
  std::array<std::uint64_t, kDataFileCount> lines_{};
  int filesFound_ = 0;
  std::uint64_t untimed_ = 0;
  std::uint64_t longSkipped_ = 0;
  bool readError_ = false;
};

}  // namespace kestrune
