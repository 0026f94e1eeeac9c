#include "recording/recorded_day.h"

#include <algorithm>
#include <tuple>

#include "recording/data_reader.h"

namespace kestrune {

namespace {

// Which "|"-separated field holds the time of day in a line of file 0-5.
int timeField(int file) { return file == 2 ? 4 : file < 2 ? 3 : 1; }

}  // namespace

int recordSecond(int file, std::string_view text) {
  std::size_t start = 0;
  for (int field = 1; field < timeField(file); ++field) {
    start = text.find_first_of("|\n", start);
    if (start == std::string_view::npos) return -1;
    ++start;
  }
  if (text.size() - start < 6) return -1;
  int digits[6];
  for (int i = 0; i < 6; ++i) {
    const char c = text[start + static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return -1;
    digits[i] = c - '0';
  }
  const int hour = digits[0] * 10 + digits[1];
  const int minute = digits[2] * 10 + digits[3];
  const int second = digits[4] * 10 + digits[5];
  if (hour > 23 || minute > 59 || second > 59) return -1;
  return hour * 3600 + minute * 60 + second;
}

bool RecordedDay::load(const std::string& dataDir, std::string_view date) {
  *this = RecordedDay();
  std::string folder = dataDir;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  for (int file = 0; file < kDataFileCount; ++file) {
    const int fd = openDataFileForReading(folder + dataFileName(date, file));
    if (fd < 0) continue;
    ++filesFound_;
    const std::size_t first = records_.size();
    const DataReadStats stats = readDataFile(fd, [&](const char* line, std::size_t length) {
      if (line[length - 1] == '\r') --length;  // the line end the recorder added
      records_.push_back({text_.size(), recordSecond(file, {line, length}), 0,
                          static_cast<std::uint16_t>(length), static_cast<std::uint8_t>(file)});
      text_.append(line, length);
    });
    lines_[static_cast<std::size_t>(file)] = stats.lines;
    longSkipped_ += stats.longSkipped;
    readError_ = readError_ || stats.readError;

    // Times never go back within a file: a line goes out no earlier than the one above it.
    const auto begin = records_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto timed =
        std::find_if(begin, records_.end(), [](const Entry& e) { return e.second >= 0; });
    int at = timed != records_.end() ? timed->second : 0;
    int previous = -1;
    std::uint32_t ordinal = 0;
    for (auto e = begin; e != records_.end(); ++e) {
      if (e->second < 0) ++untimed_;
      at = std::max(at, e->second);
      ordinal = at == previous ? ordinal + 1 : 0;
      previous = at;
      e->second = at;
      e->ordinal = ordinal;
    }
  }
  // Samples (files 3-5) before alerts (files 0-2) within a second, the lists taking turns.
  auto key = [](const Entry& e) {
    return std::make_tuple(e.second, e.file < 3, e.ordinal, e.file);
  };
  std::sort(records_.begin(), records_.end(),
            [&key](const Entry& a, const Entry& b) { return key(a) < key(b); });
  return filesFound_ > 0;
}

DayRecord RecordedDay::view(const Entry& e) const {
  return {e.file, e.second, std::string_view(text_).substr(e.offset, e.length)};
}

std::size_t RecordedDay::firstAt(int second) const {
  const auto it = std::lower_bound(records_.begin(), records_.end(), second,
                                   [](const Entry& e, int s) { return e.second < s; });
  return static_cast<std::size_t>(it - records_.begin());
}

std::size_t RecordedDay::dropIf(const std::function<bool(const DayRecord&)>& drop) {
  return static_cast<std::size_t>(
      std::erase_if(records_, [&](const Entry& e) { return drop(view(e)); }));
}

}  // namespace kestrune
