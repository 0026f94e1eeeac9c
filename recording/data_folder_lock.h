// One writer per Data folder: an advisory lock that a recorder holds for as long as it runs, so
// that two recorders never append the same day's files.
#pragma once

#include <sys/types.h>

#include <string>

namespace kestrune {

class DataFolderLock {
 public:
  DataFolderLock() = default;
  ~DataFolderLock();
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

  // Takes the lock on baseDir's Data folder (empty: the working directory), creating the folder
  // when missing. False when another process holds it (holder() then names it, 0 when the system
  // cannot tell) or the lock file cannot be made; error says which, for the user.
  bool acquire(const std::string& baseDir, std::string& error);
  pid_t holder() const { return holder_; }

 private:
  int fd_ = -1;
  pid_t holder_ = 0;
};

}  // namespace kestrune
