#include "recording/data_folder_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrune {

namespace {

// A record lock (not flock) so that the holder's process id can be asked for. It lives in a file
// of its own: replay reads only the day files, and the lock must not come and go with them.
constexpr const char* kLockFileName = ".kestrune-recorder.lock";

flock wholeFileWriteLock() {
  flock lock{};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return lock;
}

}  // namespace

DataFolderLock::~DataFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool DataFolderLock::acquire(const std::string& baseDir, std::string& error) {
  std::string dir = baseDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  dir += "Data";
  ::mkdir(dir.c_str(), 0755);  // an existing folder is fine; a real failure shows in the open
  const std::string path = dir + "/" + kLockFileName;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot lock " + dir + ": " + std::strerror(errno);
    return false;
  }
  flock lock = wholeFileWriteLock();
  if (::fcntl(fd, F_SETLK, &lock) == 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    holder_ = 0;
    return true;
  }
  const int failure = errno;
  flock probe = wholeFileWriteLock();
  holder_ = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK ? probe.l_pid : 0;
  ::close(fd);
  if (failure != EACCES && failure != EAGAIN) {
    error = "cannot lock " + dir + ": " + std::strerror(failure);
  } else if (holder_ > 0) {
    error = dir + " is being recorded by process " + std::to_string(holder_);
  } else {
    error = dir + " is being recorded by another process";
  }
  return false;
}

}  // namespace kestrune
