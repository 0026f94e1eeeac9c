// The writer's and the standby's side of one Data folder. While its link is up a program wants
// the folder's claim: holding it, it writes each record to the day files; without it, it keeps
// the records of its session per file (bounded) and tries the claim again every fraction of a
// second. When the writer ends (closes, crashes, is killed, loses its link) the claim is free:
// the standby takes it, finds where each file's tail matches what it kept, appends what follows
// and writes from then on, so that across the handover each record is in the files once.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "recording/data_files.h"
#include "recording/data_folder_claim.h"

namespace kestrune {

// Where a file's tail (its last bytes: complete lines only, from the first line feed on unless
// atStart) meets kept (the standby's records, oldest first). Either the old writer stopped
// within kept: the file ends with kept[0..written-1] (or the newest part of it), and the rest
// is to be appended. Or it got further than this program has taken in yet: all of kept is in
// the file and `ahead` holds the lines written after it, which this program is still to receive
// and must not write again. An alignment counts when it runs back to the start of kept or of
// the tail; failing one (the old writer had records this one was not sent), the longest match.
struct TailMatch {
  std::size_t written = 0;
  std::vector<std::string> ahead;
};
TailMatch matchTail(std::string_view fileTail, bool atStart, const std::deque<std::string>& kept);

class WriterHandover {
 public:
  enum class Outcome { Written, Kept, Failed, Closed };

  // files: the program's day files (its own recording period opens and closes them); baseDir
  // holds the Data folder; program names this program to the others.
  WriterHandover(DataFiles& files, std::string baseDir, std::string program);
  ~WriterHandover();
  WriterHandover(const WriterHandover&) = delete;
  WriterHandover& operator=(const WriterHandover&) = delete;

  // What the standby and the takeover have to say (any thread, the standby's own included).
  void setNotice(std::function<void(const std::string&)> notice);
  // Tests take the folder sooner; the program keeps the default.
  void setRetryMs(int ms);

  // Receive thread: a session started (what was kept belongs to the last one and is dropped) and
  // the claim is wanted from now on.
  void sessionStarted();
  // Receive thread: the session's date (a valid trading date), at the session start and at
  // every type 9. A simulator serving that day from this folder keeps this session from
  // writing it.
  void dateArrived(const std::string& date);
  // After the files are closed at the end of a link (lost, Disconnect, teardown): gives the
  // claim back so that a standby can take over at once.
  void sessionEnded();
  // Receive thread: the record for file index, written when this program holds the claim, kept
  // when another does. Closed: the recording period is off (nothing to write or keep).
  Outcome takeLine(int index, std::string_view text, WriteResult& result);

  bool writing() const;
  // Bytes kept per file at most; the oldest go first (they are long in the files by then).
  static constexpr std::size_t kKeptBytesMax = 4u << 20;
  // How far the old writer may have got ahead of this program (bytes of a file read beyond
  // what was kept).
  static constexpr std::size_t kAheadBytesMax = 4u << 20;

 private:
  struct Kept {
    std::deque<std::string> lines;
    std::size_t bytes = 0;
    // After a takeover: records the old writer wrote that are still on their way here.
    std::deque<std::string> ahead;
  };

  void standbyLoop();
  // Under lock_: tries the claim; on success appends what each file misses.
  void tryTakeOver();
  void appendMissing(int index, const std::string& date);
  // Under lock_, once per date of a session: whether a simulator serves that day of this folder.
  void checkReplay(const std::string& date);
  void clearKept();
  void say(const std::string& text);

  DataFiles& files_;
  const std::string baseDir_;
  const std::string program_;
  std::function<void(const std::string&)> notice_;
  int retryMs_ = 200;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  DataFolderClaim claim_;
  bool wanted_ = false;
  // A simulator serves this session's day from this folder: its records are a replay, never
  // written nor kept, and the folder's claim is left to others.
  bool replayHolder_ = false;
  std::string replayCheckedDate_;
  // The claim file cannot be made: this program writes without one.
  bool claimFailed_ = false;
  std::string lastHolder_;
  std::string keptDate_;
  std::array<Kept, kDataFileCount> kept_;
  bool stop_ = false;
  std::thread standby_;
};

}  // namespace kestrune
