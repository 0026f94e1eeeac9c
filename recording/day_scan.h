// Which trading days the Data folder holds: the days a user may open.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recording/data_files.h"

namespace kestrune {

// One day found in the Data folder: the size in bytes of each of its six files, -1 where that
// file is missing.
struct RecordedDayFiles {
  std::string date;  // MMDDYYYY
  std::array<std::int64_t, kDataFileCount> sizes{};
  bool hasFile(int index) const { return sizes[static_cast<std::size_t>(index)] >= 0; }
};

// The days of "Data" under baseDir (empty: the working directory), newest first. A day is listed
// when at least one of its six files is a regular file named "<MMDDYYYY>_hft<1-6>.txt" with a
// trading date (isTradingDate); every other name is ignored. A missing or unreadable folder lists
// nothing.
std::vector<RecordedDayFiles> scanRecordedDays(const std::string& baseDir = {});

}  // namespace kestrune
