// The day so far: what a day's six data files hold at one moment (the start of a session), held
// open so that exactly that much can be read back later, however much is appended meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "recording/data_files.h"
#include "recording/data_reader.h"

namespace kestrune {

class DaySnapshot {
 public:
  DaySnapshot() { fds_.fill(-1); }
  ~DaySnapshot();
  DaySnapshot(DaySnapshot&& other) noexcept;
  DaySnapshot& operator=(DaySnapshot&& other) noexcept;
  DaySnapshot(const DaySnapshot&) = delete;
  DaySnapshot& operator=(const DaySnapshot&) = delete;

  // Opens the six files of date under baseDir (empty: the working directory) for reading and
  // notes their lengths now. A missing file, or one that is no regular file, is left out. Take it
  // only while nobody of ours writes the files, so that every line counted is complete.
  static DaySnapshot take(const std::string& baseDir, std::string_view date);

  const std::string& date() const { return date_; }
  // True when at least one of the six files exists.
  bool any() const;
  bool has(int index) const { return index >= 0 && index < kDataFileCount && fds_[index] >= 0; }
  // Bytes of file index (0-5) when the snapshot was taken; -1 when it is left out.
  std::int64_t length(int index) const;

  // Hands each line of file index within its noted length to sink (as replay reads a file), then
  // closes the file. A last piece without its line feed is a line another program was still
  // writing and is not handed on. cancelled, when given, is asked between blocks; a true answer
  // ends the reading there.
  DataReadStats read(int index, const DataLineSink& sink,
                     const std::function<bool()>& cancelled = {});

 private:
  std::string date_;
  std::array<int, kDataFileCount> fds_{};
  std::array<std::int64_t, kDataFileCount> lengths_{};
};

}  // namespace kestrune
