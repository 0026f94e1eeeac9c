// The six daily data files: every record of the trading day, one text line each.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace kestrune {

inline constexpr int kDataFileCount = 6;

// Outcome of openDataFiles; the monitor turns anything but Opened/AlreadyOpen into a status text.
enum class OpenResult {
  Opened,        // all six files open
  AlreadyOpen,   // nothing done, the files were open
  BadDate,       // the date is not eight digits: nothing opened, recording stays closed
  PartlyOpened,  // the files are open, but at least one of them could not be opened
};

// Outcome of writeDataLine. Only Written means the record is in its file.
enum class WriteResult {
  Written,
  FilesClosed,  // recording is off (before the date, outside the window, after Disconnect)
  NoFile,       // this file could not be opened; the line is lost and counted
  WriteFailed,  // the system refused the write (full disk, I/O error); lost and counted
  BadIndex,
};

// True only for exactly eight decimal digits (MMDDYYYY). Anything else could name a file outside
// the Data folder or mix several days into one file.
bool isValidDataDate(std::string_view date);

// "<date>_hft<index+1>.txt", the name of file index (0-5) of a day inside the Data folder.
std::string dataFileName(std::string_view date, int index);

// "Data/<date>_hft<index+1>.txt" under baseDir (empty: the working directory).
std::string dataFilePath(const std::string& baseDir, std::string_view date, int index);

// The status-line text for an open that did not fully succeed; empty for Opened/AlreadyOpen.
std::string openResultText(OpenResult result, std::string_view date);

// The six file slots behind one lock. Lines are written on the receive thread; opening and
// closing happen on either thread.
class DataFiles {
 public:
  // baseDir holds the "Data" folder; empty means the working directory.
  explicit DataFiles(std::string baseDir = {});
  ~DataFiles();
  DataFiles(const DataFiles&) = delete;
  DataFiles& operator=(const DataFiles&) = delete;

  // Creates "Data" and opens (or creates) the six files of date for appending. Does nothing when
  // the files are already open. A date that is not eight digits opens nothing.
  OpenResult openDataFiles(std::string_view date);
  // Closes the six files; nothing when they are closed.
  void closeDataFiles();
  // Appends text and CR LF to file index (0-5) in one write. A line that cannot be written while
  // the files are open is counted in lostLines(). A line feed inside text is written as a blank,
  // so one record stays one line.
  WriteResult writeDataLine(int index, std::string_view text);
  WriteResult writeDataLine(int index, const char* text);

  bool dataFilesOpen() const;
  // Number of the six slots holding an open file.
  int openFileCount() const;
  // Records that arrived while the files were open but are not in their file.
  std::uint64_t lostLines() const;
  // The date whose files are open (empty when closed).
  std::string openDate() const;
  // The folder that holds "Data" (empty: the working directory).
  const std::string& baseDir() const { return baseDir_; }

 private:
  void closeLocked();

  const std::string baseDir_;
  mutable std::mutex lock_;
  std::array<int, kDataFileCount> fds_;
  bool open_ = false;
  std::string date_;
  std::uint64_t lostLines_ = 0;
};

}  // namespace kestrune
