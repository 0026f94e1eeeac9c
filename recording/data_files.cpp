#include "recording/data_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrune {

namespace {

constexpr std::size_t kDateLength = 8;
// A date shown in a status text is cut to the size of the session date field.
constexpr std::size_t kShownDateMax = 26;

std::string shownDate(std::string_view date) {
  std::string out(date.substr(0, kShownDateMax));
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  if (date.size() > kShownDateMax) out += "...";
  return out;
}

// Writes the whole line, continuing after a short write; a record is either complete in its file
// or reported as lost.
bool writeLine(int fd, std::string_view text) {
  static const char kLineEnd[2] = {'\r', '\n'};
  iovec parts[2];
  parts[0].iov_base = const_cast<char*>(text.data());
  parts[0].iov_len = text.size();
  parts[1].iov_base = const_cast<char*>(kLineEnd);
  parts[1].iov_len = sizeof kLineEnd;
  iovec* part = parts;
  int count = 2;
  while (count > 0) {
    const ssize_t n = ::writev(fd, part, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    auto left = static_cast<std::size_t>(n);
    while (count > 0 && left >= part->iov_len) {
      left -= part->iov_len;
      ++part;
      --count;
    }
    if (count > 0) {
      part->iov_base = static_cast<char*>(part->iov_base) + left;
      part->iov_len -= left;
    }
  }
  return true;
}

}  // namespace

bool isValidDataDate(std::string_view date) {
  if (date.size() != kDateLength) return false;
  for (char c : date) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string dataFileName(std::string_view date, int index) {
  std::string name(date);
  name += "_hft";
  name += std::to_string(index + 1);
  name += ".txt";
  return name;
}

std::string dataFilePath(const std::string& baseDir, std::string_view date, int index) {
  std::string path = baseDir;
  if (!path.empty() && path.back() != '/') path += '/';
  path += "Data/";
  path += dataFileName(date, index);
  return path;
}

std::string openResultText(OpenResult result, std::string_view date) {
  switch (result) {
    // The status box shows only the start of a long text: what is at stake comes first.
    case OpenResult::BadDate:
      return "NOT RECORDING: invalid session date \"" + shownDate(date) + "\"";
    case OpenResult::PartlyOpened:
      return "RECORDS LOST: data files for " + shownDate(date) + " could not all be opened";
    case OpenResult::Opened:
    case OpenResult::AlreadyOpen:
      break;
  }
  return {};
}

DataFiles::DataFiles(std::string baseDir) : baseDir_(std::move(baseDir)) { fds_.fill(-1); }

DataFiles::~DataFiles() {
  std::lock_guard<std::mutex> guard(lock_);
  closeLocked();
}

OpenResult DataFiles::openDataFiles(std::string_view date) {
  std::lock_guard<std::mutex> guard(lock_);
  if (open_) return OpenResult::AlreadyOpen;
  if (!isValidDataDate(date)) return OpenResult::BadDate;

  std::string dir = baseDir_;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  dir += "Data";
  ::mkdir(dir.c_str(), 0755);  // an existing folder is fine; a real failure shows in the opens

  int opened = 0;
  for (int i = 0; i < kDataFileCount; ++i) {
    const std::string path = dataFilePath(baseDir_, date, i);
    // Appending keeps what the file holds: a reconnection on the same day continues it.
    // Who may write the folder is decided by its writer's claim, not here.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    fds_[static_cast<std::size_t>(i)] = fd;
    if (fd >= 0) ++opened;
  }
  open_ = true;
  date_ = std::string(date);
  return opened == kDataFileCount ? OpenResult::Opened : OpenResult::PartlyOpened;
}

void DataFiles::closeDataFiles() {
  std::lock_guard<std::mutex> guard(lock_);
  closeLocked();
}

void DataFiles::closeLocked() {
  if (!open_) return;
  for (int& fd : fds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  open_ = false;
  date_.clear();
}

WriteResult DataFiles::writeDataLine(int index, const char* text) {
  return writeDataLine(index, text ? std::string_view(text) : std::string_view());
}

WriteResult DataFiles::writeDataLine(int index, std::string_view text) {
  if (index < 0 || index >= kDataFileCount) return WriteResult::BadIndex;
  std::lock_guard<std::mutex> guard(lock_);
  if (!open_) return WriteResult::FilesClosed;
  const int fd = fds_[static_cast<std::size_t>(index)];
  if (fd < 0) {
    ++lostLines_;
    return WriteResult::NoFile;
  }
  // A line feed inside a record would split it into two lines on replay; the file keeps one
  // record per line.
  std::string flattened;
  if (text.find('\n') != std::string_view::npos) {
    flattened.assign(text);
    for (char& c : flattened) {
      if (c == '\n') c = ' ';
    }
    text = flattened;
  }
  if (!writeLine(fd, text)) {
    ++lostLines_;
    return WriteResult::WriteFailed;
  }
  return WriteResult::Written;
}

bool DataFiles::dataFilesOpen() const {
  std::lock_guard<std::mutex> guard(lock_);
  return open_;
}

int DataFiles::openFileCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  int n = 0;
  for (int fd : fds_) n += fd >= 0 ? 1 : 0;
  return n;
}

std::uint64_t DataFiles::lostLines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lostLines_;
}

std::string DataFiles::openDate() const {
  std::lock_guard<std::mutex> guard(lock_);
  return date_;
}

}  // namespace kestrune
