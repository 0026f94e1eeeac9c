// Opening the files the program reads: settings, the watched symbols, alarm sounds and a day's
// data. Only a regular file is ever read. A FIFO would block the open until some writer came, a
// device such as /dev/zero never ends, and a folder is no file at all; each of these is refused
// at once, as a file that cannot be read. Plain POSIX, no Qt.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune {

enum class FileOpenStatus {
  Opened,
  CannotOpen,  // missing, no permission, ...
  NotRegular,  // a FIFO, a device, a socket or a folder
};

// What tells one version of a file from the next: a rewritten or replaced file changes at least
// one of these.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// An open regular file; closes its descriptor when it goes.
class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(RegularFile&& other) noexcept;
  RegularFile& operator=(RegularFile&& other) = delete;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  FileOpenStatus status() const { return status_; }
  int fd() const { return fd_; }
  // The file as it was when opened.
  const FileIdentity& identity() const { return identity_; }
  // Hands the descriptor over to the caller, who closes it.
  int release();

  // Reads until n bytes arrived, the file ended or a read failed; returns how many arrived.
  std::size_t read(void* dest, std::size_t n);
  // Reads from the current position to the end; nothing when there is more than maxBytes or a
  // read fails.
  std::optional<std::vector<std::uint8_t>> readAll(std::size_t maxBytes);

 private:
  friend RegularFile openRegularFile(const std::string& path);
  int fd_ = -1;
  FileOpenStatus status_ = FileOpenStatus::CannotOpen;
  FileIdentity identity_;
};

// Opens path for reading when it is a regular file (a symbolic link to one is followed). The
// open itself never waits: it is made non-blocking, the descriptor is checked, and only then
// made blocking again for the reads.
RegularFile openRegularFile(const std::string& path);

// Writes all n bytes to fd, going on after a short write or a signal; false when the file
// takes no more (a full disk, an I/O error). The one loop of its kind.
bool writeAllBytes(int fd, const void* bytes, std::size_t n);

// Puts a whole new file in place of the one at path, or creates it, so that a crash, a full disk
// or a failure halfway leaves the old contents whole: the new contents go to a file of a unique
// name beside the real one, created exclusively and never through a link (a stray file of that
// name is never written through), flushed to disk and renamed over it only when complete. A
// symbolic link stays a link and the file it points to is replaced; the file keeps its
// permissions and, where the user may give it, its owner. Nothing is written when path is not a
// regular file, is write-protected, or when no file can be made beside it.
class WholeFileWriter {
 public:
  explicit WholeFileWriter(const std::string& path);
  // Without commit() the temporary file goes and the old file stays as it was.
  ~WholeFileWriter();
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  // Whether the new file is ready to take contents (and nothing has failed since).
  bool good() const { return fd_ >= 0 && error_ == 0; }
  // Appends to the new contents; false once anything has failed.
  bool write(const void* bytes, std::size_t n);
  bool write(std::span<const std::uint8_t> bytes) { return write(bytes.data(), bytes.size()); }
  // Flushes the new file to disk and puts it in place; false (and the old file kept) on failure.
  bool commit();
  // The errno of the first failure; 0 when none. A path that is no regular file, or one that
  // is write-protected, reads as EINVAL and EACCES.
  int error() const { return error_; }

 private:
  void fail(int error);
  void discard();

  std::string target_;
  std::string folder_;
  std::string temp_;
  int fd_ = -1;
  int error_ = 0;
};

// Puts bytes in place of the file at path as WholeFileWriter does. Returns whether all of bytes
// are now the file.
bool replaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes);

// The identity of the file at path now, without opening it; nothing when it is not there.
std::optional<FileIdentity> fileIdentity(const std::string& path);

}  // namespace kestrune
