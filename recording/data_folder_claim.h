// One writer per Data folder. Every program that appends to a folder's day files (the monitor,
// the recorder) takes this claim first, and the simulator takes it for a folder whose day it
// replays; whoever holds it writes, anybody else waits as a standby.
#pragma once

#include <sys/types.h>

#include <string>

namespace kestrune {

// Who holds a claim, as its claim file names it.
struct ClaimHolder {
  std::string program;  // empty when the file does not say (yet)
  pid_t pid = 0;
  bool replaying = false;  // the holder serves this folder's day to others: nobody may write it
  // "kestrune-recorder (pid 4242)", or "another program" when the file does not say.
  std::string describe() const;
};

class DataFolderClaim {
 public:
  DataFolderClaim() = default;
  ~DataFolderClaim();
  DataFolderClaim(const DataFolderClaim&) = delete;
  DataFolderClaim& operator=(const DataFolderClaim&) = delete;

  enum class Result { Held, Taken, Failed };

  // Tries once, without waiting, to take the claim on baseDir's Data folder (empty: the working
  // directory), creating the folder when missing. Held: ours now (or already). Taken: someone
  // else holds it; holder() names them. Failed: the claim file cannot be made; error says why.
  // The lock belongs to this object's open file, not to the process: two claims in one process
  // exclude each other as two programs do, and the system drops it when the holder dies.
  Result tryAcquire(const std::string& baseDir, const std::string& program, bool replaying,
                    std::string& error);
  // A simulator serving day date of the Data folder dataDir takes this one instead: it keeps
  // writers from appending the replay to that day only, never from recording another day.
  Result tryAcquireReplay(const std::string& dataDir, const std::string& date,
                          const std::string& program, std::string& error);
  void release();
  bool held() const { return fd_ >= 0; }
  const ClaimHolder& holder() const { return holder_; }

 private:
  Result acquire(const std::string& dataDir, const std::string& fileName,
                 const std::string& program, bool replaying, std::string& error);

  int fd_ = -1;
  ClaimHolder holder_;
};

// Whether a live program serves day date of baseDir's Data folder (empty: the working
// directory); holder names it.
bool replayOfDayHeld(const std::string& baseDir, const std::string& date, ClaimHolder& holder);

// "<program> <pid>[ replay]" as the claim file holds it; parseClaimText reads it back.
std::string claimText(const std::string& program, pid_t pid, bool replaying);
ClaimHolder parseClaimText(const std::string& text);

}  // namespace kestrune
