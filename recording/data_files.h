// The six daily data files: every record of the trading day, one text line each.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "client/trading_date.h"

namespace kestrune {

inline constexpr int kDataFileCount = 6;

// Outcome of openDataFiles; the monitor turns anything but Opened/AlreadyOpen into a status text.
enum class OpenResult {
  Opened,        // all six files open
  AlreadyOpen,   // nothing done, the files were open
  BadDate,       // the date is not eight digits: nothing opened, recording stays closed
  PartlyOpened,  // the files are open, but at least one of them could not be opened
  NotRegular,    // the files are open, but one of the names is a FIFO, device, folder or link
};

// Outcome of writeDataLine. Written means the line was handed to the writer: it reaches its file
// unless the disk refuses it, which is counted and said through RecordingNotices.
enum class WriteResult {
  Written,
  FilesClosed,  // recording is off (before the date, outside the window, after Disconnect)
  NoFile,       // this file could not be opened; the line is lost and counted
  WriteFailed,  // the writer is stuck and its queue is full; lost and counted
  BadIndex,
};

// The date test that names files: isTradingDate.
inline bool isValidDataDate(std::string_view date) { return isTradingDate(date); }

// "<date>_hft<index+1>.txt", the name of file index (0-5) of a day inside the Data folder.
std::string dataFileName(std::string_view date, int index);

// "Data/<date>_hft<index+1>.txt" under baseDir (empty: the working directory).
std::string dataFilePath(const std::string& baseDir, std::string_view date, int index);

// The status-line text for an open that did not fully succeed; empty for Opened/AlreadyOpen.
// notRegularName names the refused file for NotRegular.
std::string openResultText(OpenResult result, std::string_view date,
                           std::string_view notRegularName = {});

// Where the writer says that records are being lost and when recording works again. Called on
// the writer's own thread or on the thread that closes the files, never under the files' lock.
class RecordingNotices {
 public:
  virtual ~RecordingNotices() = default;
  // One status line: "RECORDS LOST: 1,012 since 10:41:07: the disk is full", or "Recording
  // again: 1,012 records were not written between 10:41:07 and 10:44:51".
  virtual void recordingNotice(const std::string& text) = 0;
};

// The six file slots. Lines are handed over on the receive thread and written by a thread of
// the files' own, so a disk that stalls never holds the link; opening and closing happen on
// either thread. A line is in its file whole or not at all.
class DataFiles {
 public:
  // baseDir holds the "Data" folder; empty means the working directory.
  explicit DataFiles(std::string baseDir = {});
  ~DataFiles();
  DataFiles(const DataFiles&) = delete;
  DataFiles& operator=(const DataFiles&) = delete;

  // Creates "Data" and opens (or creates) the six files of date for appending. Does nothing when
  // the files are already open. A date that is not eight digits opens nothing. Only regular
  // files are opened: a FIFO, device, folder or symbolic link of a day's name is left alone and
  // its records are counted as lost.
  OpenResult openDataFiles(std::string_view date);
  // Waits until every line handed over before it is in its file, then closes the six files;
  // nothing when they are closed. A disk that takes more than about a second is not waited for:
  // the lines it has not taken are counted as lost and said.
  void closeDataFiles();
  // Hands text and CR LF to the writer for file index (0-5). A line that cannot be written while
  // the files are open is counted in lostLines(). A line feed inside text is written as a blank,
  // so one record stays one line.
  WriteResult writeDataLine(int index, std::string_view text);
  WriteResult writeDataLine(int index, const char* text);

  // Another program wrote the open files meanwhile (this one stood by): waits briefly for what
  // this one handed over, then learns each file's length again, and whether it ends inside a
  // line, so that a cut-back after a failed write never takes away what the other one wrote.
  void rereadFileLengths();
  // Has the writer write what it holds at once, without gathering more, and waits at most limit
  // for it. True when every line handed over before the call is in its file (or was lost) by
  // then. Whoever reads the files next then finds them up to the last record handed over. The
  // lines handed over after it are then held back for holdAfter (unless the files close or more
  // than a batch gathers), so that a reader who comes within that time finds the files ending
  // exactly there.
  bool waitWritten(std::chrono::milliseconds limit,
                   std::chrono::milliseconds holdAfter = std::chrono::milliseconds(0));

  bool dataFilesOpen() const;
  // Number of the six slots holding an open file.
  int openFileCount() const;
  // Records that arrived while the files were open but are not in their file.
  std::uint64_t lostLines() const;
  // The date whose files are open (empty when closed).
  std::string openDate() const;
  // The folder that holds "Data" (empty: the working directory).
  const std::string& baseDir() const { return baseDir_; }
  // The file the last open refused as not regular ("Data/<name>"), empty when none.
  std::string notRegularFile() const;

  // Where loss and recovery are said; null says nothing. Returns once no call to the old one is
  // under way, so its owner may go right after setting null.
  void setNotices(RecordingNotices* notices);

  // The writer's one system call for a line or a run of lines; tests put a disk that hangs here.
  using WriteCall = long (*)(int fd, const void* bytes, unsigned long count);
  void setWriteCallForTest(WriteCall call);

  struct Core;

 private:
  const std::string baseDir_;
  std::shared_ptr<Core> core_;
};

}  // namespace kestrune
