#include "recording/day_so_far.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace kestrune {

DaySnapshot::~DaySnapshot() {
  for (int fd : fds_) {
    if (fd >= 0) ::close(fd);
  }
}

DaySnapshot::DaySnapshot(DaySnapshot&& other) noexcept
    : date_(std::move(other.date_)), fds_(other.fds_), lengths_(other.lengths_) {
  other.fds_.fill(-1);
}

DaySnapshot& DaySnapshot::operator=(DaySnapshot&& other) noexcept {
  if (this != &other) {
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
    date_ = std::move(other.date_);
    fds_ = other.fds_;
    lengths_ = other.lengths_;
    other.fds_.fill(-1);
  }
  return *this;
}

DaySnapshot DaySnapshot::take(const std::string& baseDir, std::string_view date) {
  DaySnapshot snapshot;
  if (!isValidDataDate(date)) return snapshot;
  snapshot.date_ = std::string(date);
  for (int i = 0; i < kDataFileCount; ++i) {
    const int fd = openDataFileForReading(dataFilePath(baseDir, date, i));
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      continue;
    }
    snapshot.fds_[i] = fd;
    snapshot.lengths_[i] = static_cast<std::int64_t>(st.st_size);
  }
  return snapshot;
}

bool DaySnapshot::any() const {
  return std::any_of(fds_.begin(), fds_.end(), [](int fd) { return fd >= 0; });
}

std::int64_t DaySnapshot::length(int index) const { return has(index) ? lengths_[index] : -1; }

DataReadStats DaySnapshot::read(int index, const DataLineSink& sink,
                                const std::function<bool()>& cancelled) {
  DataLineSplitter splitter(sink);
  if (!has(index)) return splitter.stats();
  const int fd = std::exchange(fds_[index], -1);
  std::uint64_t left = static_cast<std::uint64_t>(lengths_[index]);
  off_t at = 0;
  char buffer[64 * 1024];
  while (left > 0) {
    if (cancelled && cancelled()) break;
    // By position: the file was opened at its start and nothing else moves this descriptor, but
    // reading by offset keeps the bound exact whatever happens to the file meanwhile.
    const ssize_t n = ::pread(fd, buffer, std::min<std::uint64_t>(left, sizeof buffer), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) splitter.stats().readError = true;
    if (n <= 0) break;
    splitter.feed(buffer, static_cast<std::size_t>(n));
    left -= static_cast<std::uint64_t>(n);
    at += n;
  }
  // No finish(): a piece after the last line feed is not a whole record.
  ::close(fd);
  return splitter.stats();
}

}  // namespace kestrune
