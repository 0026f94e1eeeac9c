#include "recording/day_scan.h"

#include <filesystem>
#include <map>

#include "client/trading_date.h"

namespace kestrune {

namespace {

// "MMDDYYYY" as YYYYMMDD, so that a larger key is a later day.
std::string sortKey(std::string_view date) {
  return std::string(date.substr(4, 4)) + std::string(date.substr(0, 4));
}

// The date and file index of a data file's name; false for any other name.
bool parseDataFileName(std::string_view name, std::string& date, int& index) {
  constexpr std::string_view kMiddle = "_hft";
  constexpr std::string_view kEnd = ".txt";
  if (name.size() != 8 + kMiddle.size() + 1 + kEnd.size()) return false;
  if (name.substr(8, kMiddle.size()) != kMiddle || name.substr(13) != kEnd) return false;
  const char n = name[12];
  if (n < '1' || n > '0' + kDataFileCount || !isTradingDate(name.substr(0, 8))) return false;
  date.assign(name.substr(0, 8));
  index = n - '1';
  return true;
}

}  // namespace

std::vector<RecordedDayFiles> scanRecordedDays(const std::string& baseDir) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(baseDir.empty() ? "." : baseDir) / "Data";
  std::map<std::string, RecordedDayFiles> days;  // by YYYYMMDD
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string date;
    int index = 0;
    if (!parseDataFileName(it->path().filename().string(), date, index)) continue;
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    const std::uintmax_t size = it->file_size(fileError);
    if (fileError) continue;
    auto [day, added] = days.try_emplace(sortKey(date));
    if (added) {
      day->second.date = date;
      day->second.sizes.fill(-1);
    }
    day->second.sizes[static_cast<std::size_t>(index)] = static_cast<std::int64_t>(size);
  }
  std::vector<RecordedDayFiles> out;
  out.reserve(days.size());
  for (auto it = days.rbegin(); it != days.rend(); ++it) out.push_back(std::move(it->second));
  return out;
}

}  // namespace kestrune
