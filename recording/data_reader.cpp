#include "recording/data_reader.h"

#include <unistd.h>

#include <cerrno>

namespace kestrune {

void DataLineSplitter::feed(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      endLine();
    } else if (c != '\0') {
      if (length_ < kMaxDataLine) {
        line_[length_++] = c;
      } else {
        tooLong_ = true;
      }
    }
  }
}

void DataLineSplitter::finish() { endLine(); }

void DataLineSplitter::endLine() {
  if (tooLong_) {
    ++stats_.longSkipped;
  } else if (length_ > 0) {
    line_[length_] = '\0';
    ++stats_.lines;
    if (sink_) sink_(line_, length_);
  }
  length_ = 0;
  tooLong_ = false;
}

int openDataFileForReading(const std::string& path, FileOpenStatus* status) {
  RegularFile file = openRegularFile(path);
  if (status != nullptr) *status = file.status();
  return file.release();
}

DataReadStats readDataFile(int fd, const DataLineSink& sink) {
  DataLineSplitter splitter(sink);
  if (fd < 0) return splitter.stats();
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) splitter.stats().readError = true;
    if (n <= 0) break;
    splitter.feed(buffer, static_cast<std::size_t>(n));
  }
  // What was read before an error stays, the partial last line included.
  splitter.finish();
  ::close(fd);
  return splitter.stats();
}

}  // namespace kestrune
