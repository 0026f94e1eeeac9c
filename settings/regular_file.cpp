#include "settings/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

namespace kestrune {
namespace {

FileIdentity identityOf(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = static_cast<std::uint64_t>(st.st_size);
  id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

// The file a chain of symbolic links ends at; path itself when it is no link. The end need not
// exist yet. Nothing when a link cannot be read or the chain does not end.
std::optional<std::string> linkTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return path;
      return std::nullopt;
    }
    if (!S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
      if (n >= 0) errno = ENAMETOOLONG;  // or changed while being read
      return std::nullopt;
    }
    target.resize(static_cast<std::size_t>(n));
    if (target.front() != '/') {
      // Relative to the folder that holds the link.
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
    }
    path = std::move(target);
  }
  errno = ELOOP;
  return std::nullopt;
}

// Creates a file of a new name in folder with the given stem; -1 when the folder takes none.
int createUniqueFile(const std::string& folder, const std::string& stem, std::string& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "." + stem + "." + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + ".tmp";
    // 0666 before the user's umask, as any new file of the program gets.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), status_(other.status_), identity_(other.identity_) {}

int RegularFile::release() { return std::exchange(fd_, -1); }

std::size_t RegularFile::read(void* dest, std::size_t n) {
  std::size_t got = 0;
  while (fd_ >= 0 && got < n) {
    const ssize_t r = ::read(fd_, static_cast<char*>(dest) + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

std::optional<std::vector<std::uint8_t>> RegularFile::readAll(std::size_t maxBytes) {
  if (fd_ < 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  // The size seen at open is only a hint: the file may have changed since.
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(identity_.size, maxBytes)));
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return out;
    if (static_cast<std::size_t>(n) > maxBytes - out.size()) return std::nullopt;
    out.insert(out.end(), buffer, buffer + n);
  }
}

RegularFile openRegularFile(const std::string& path) {
  RegularFile file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return file;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.status_ = FileOpenStatus::NotRegular;
    ::close(fd);
    return file;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return file;
  }
  file.fd_ = fd;
  file.status_ = FileOpenStatus::Opened;
  file.identity_ = identityOf(st);
  return file;
}

bool writeAllBytes(int fd, const void* bytes, std::size_t n) {
  const auto* from = static_cast<const char*>(bytes);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t written = ::write(fd, from + done, n - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

WholeFileWriter::WholeFileWriter(const std::string& path) {
  const std::optional<std::string> target = linkTarget(path);
  if (!target) {
    fail(errno != 0 ? errno : ELOOP);
    return;
  }
  target_ = *target;
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) {
    fail(errno);
    return;
  }
  // A FIFO or a device is not ours to replace, and a file the user made read-only stays as it is.
  if (exists && !S_ISREG(old.st_mode)) {
    fail(EINVAL);
    return;
  }
  if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    fail(errno);
    return;
  }
  const std::size_t slash = target_.rfind('/');
  folder_ = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string stem = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  fd_ = createUniqueFile(folder_, stem, temp_);
  if (fd_ < 0) {
    // Rewriting the file in place instead would break the promise that the old contents stay
    // whole until the new ones are complete.
    fail(errno);
    return;
  }
  if (exists) {
    // Only an administrator may give the file back to another owner; the mode is what matters,
    // and it is set last since a change of owner clears its set-id bits.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      [[maybe_unused]] const int owned = ::fchown(fd_, old.st_uid, old.st_gid);
    }
    if (::fchmod(fd_, old.st_mode & 07777) != 0) fail(errno);
  }
}

WholeFileWriter::~WholeFileWriter() { discard(); }

void WholeFileWriter::fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

void WholeFileWriter::discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
}

bool WholeFileWriter::write(const void* bytes, std::size_t n) {
  if (!good()) return false;
  if (!writeAllBytes(fd_, bytes, n)) fail(errno);
  return good();
}

bool WholeFileWriter::commit() {
  if (!good()) {
    discard();
    return false;
  }
  if (::fsync(fd_) != 0) fail(errno);
  // close() may be the first to report a write the disk could not take.
  if (::close(fd_) != 0) fail(errno);
  fd_ = -1;
  if (error_ == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
  if (error_ != 0) {
    ::unlink(temp_.c_str());
    return false;
  }
  // The rename itself reaches the disk with its folder.
  const int dir =
      ::open(folder_.empty() ? "." : folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool replaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes) {
  WholeFileWriter file(path);
  return file.write(bytes) && file.commit();
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return identityOf(st);
}

}  // namespace kestrune
