// Reading a day's data file back, line by line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "settings/regular_file.h"

namespace kestrune {

// A line holds at most this many characters (our own lines are at most 248 bytes with their
// line end).
inline constexpr std::size_t kMaxDataLine = 255;

// Called once per line: text is NUL-terminated, length characters long (at least one), and keeps
// a carriage return before the line feed.
using DataLineSink = std::function<void(const char* text, std::size_t length)>;

struct DataReadStats {
  std::uint64_t lines = 0;        // lines handed to the sink
  std::uint64_t longSkipped = 0;  // lines over kMaxDataLine characters, skipped whole
  bool readError = false;         // the file ended early on a read error
};

// Splits bytes into lines: a NUL byte is dropped, a line feed ends a line, every other byte (a
// carriage return too) belongs to the line, and empty lines are skipped. A line longer than
// kMaxDataLine characters cannot be a record of ours; it is skipped whole rather than handed on
// cut, so no record is ever replayed with a truncated field.
class DataLineSplitter {
 public:
  explicit DataLineSplitter(DataLineSink sink) : sink_(std::move(sink)) {}
  void feed(const char* bytes, std::size_t count);
  // The end of the file: a last line without a line feed is still delivered.
  void finish();
  const DataReadStats& stats() const { return stats_; }
  DataReadStats& stats() { return stats_; }

 private:
  void endLine();

  DataLineSink sink_;
  char line_[kMaxDataLine + 1] = {};
  std::size_t length_ = 0;
  bool tooLong_ = false;
  DataReadStats stats_;
};

// Opens a data file for replay (read only, existing regular files only); -1 when it cannot be
// opened. status, when given, tells a missing file from one that is there but is no regular file
// (a FIFO, a device or a folder of that name, which is never read).
int openDataFileForReading(const std::string& path, FileOpenStatus* status = nullptr);

// Reads the open file fd in one buffered pass, hands each line to sink, then closes fd.
DataReadStats readDataFile(int fd, const DataLineSink& sink);

}  // namespace kestrune
