#include "recording/data_folder_claim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "client/trading_date.h"

namespace kestrune {

namespace {

// A file of its own: replay reads only the day files, and the claim must not come and go with
// them. Its text names the holder, so that a standby can say who writes.
constexpr const char* kClaimFileName = ".kestrune-writer.lock";
constexpr std::size_t kClaimTextMax = 256;

// The lock of one replayed day: ".kestrune-replay-<date>.lock". The date is a trading date (eight
// digits), so the name stays inside the folder.
std::string replayFileName(const std::string& date) { return ".kestrune-replay-" + date + ".lock"; }

std::string dataFolder(const std::string& baseDir) {
  std::string dir = baseDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + "Data";
}

flock wholeFileWriteLock() {
  flock lock{};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return lock;
}

std::string readClaimFile(int fd) {
  char buf[kClaimTextMax];
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::string ClaimHolder::describe() const {
  if (program.empty()) return "another program";
  std::string out = program;
  if (pid > 0) out += " (pid " + std::to_string(pid) + ")";
  return out;
}

std::string claimText(const std::string& program, pid_t pid, bool replaying) {
  std::string out;
  // One word: the reader splits on blanks, and a name never spans lines.
  for (char c : program) out += (c == ' ' || c == '\n' || c == '\r' || c == '\t') ? '_' : c;
  if (out.empty()) out = "?";
  out += ' ' + std::to_string(pid);
  if (replaying) out += " replay";
  out += '\n';
  return out;
}

ClaimHolder parseClaimText(const std::string& text) {
  ClaimHolder holder;
  std::istringstream in(text);
  std::string program, pid, mode;
  if (!(in >> program)) return holder;
  holder.program = program.substr(0, 64);
  if (in >> pid) {
    char* end = nullptr;
    const long value = std::strtol(pid.c_str(), &end, 10);
    if (end && *end == '\0' && value > 0) holder.pid = static_cast<pid_t>(value);
  }
  holder.replaying = (in >> mode) && mode == "replay";
  return holder;
}

DataFolderClaim::~DataFolderClaim() { release(); }

void DataFolderClaim::release() {
  if (fd_ < 0) return;
  // Emptied first: a standby that reads the file in between names nobody rather than us.
  [[maybe_unused]] const int truncated = ::ftruncate(fd_, 0);
  ::close(fd_);
  fd_ = -1;
}

DataFolderClaim::Result DataFolderClaim::tryAcquire(const std::string& baseDir,
                                                    const std::string& program, bool replaying,
                                                    std::string& error) {
  return acquire(dataFolder(baseDir), kClaimFileName, program, replaying, error);
}

DataFolderClaim::Result DataFolderClaim::tryAcquireReplay(const std::string& dataDir,
                                                          const std::string& date,
                                                          const std::string& program,
                                                          std::string& error) {
  if (!isTradingDate(date)) {
    error = "not a trading date: " + date;
    return Result::Failed;
  }
  return acquire(dataDir, replayFileName(date), program, true, error);
}

DataFolderClaim::Result DataFolderClaim::acquire(const std::string& dataDir,
                                                 const std::string& fileName,
                                                 const std::string& program, bool replaying,
                                                 std::string& error) {
  if (fd_ >= 0) return Result::Held;
  std::string dir = dataDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  ::mkdir(dir.c_str(), 0755);  // an existing folder is fine; a real failure shows in the open
  const std::string path = dir + "/" + fileName;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot claim " + dir + ": " + std::strerror(errno);
    return Result::Failed;
  }
  flock lock = wholeFileWriteLock();
  if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) {
    const std::string text = claimText(program, ::getpid(), replaying);
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      // The claim holds without the name; a standby then says "another program".
    }
    fd_ = fd;
    holder_ = parseClaimText(text);
    return Result::Held;
  }
  const int failure = errno;
  if (failure != EACCES && failure != EAGAIN) {
    ::close(fd);
    error = "cannot claim " + dir + ": " + std::strerror(failure);
    return Result::Failed;
  }
  holder_ = parseClaimText(readClaimFile(fd));
  ::close(fd);
  return Result::Taken;
}

bool replayOfDayHeld(const std::string& baseDir, const std::string& date, ClaimHolder& holder) {
  if (!isTradingDate(date)) return false;
  const std::string path = dataFolder(baseDir) + "/" + replayFileName(date);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  flock lock = wholeFileWriteLock();
  const bool held = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  if (held) holder = parseClaimText(readClaimFile(fd));
  ::close(fd);
  return held;
}

}  // namespace kestrune
