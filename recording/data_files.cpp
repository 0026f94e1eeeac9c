#include "recording/data_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrune {

namespace {

using Clock = std::chrono::steady_clock;

// A date shown in a status text is cut to the size of the session date field.
constexpr std::size_t kShownDateMax = 26;
// Lines waiting for the writer: about a minute of the busiest day. Beyond that the receive thread
// waits a moment for room, then counts what does not fit as lost.
constexpr std::size_t kQueueBytesMax = 16u << 20;
constexpr auto kRoomWait = std::chrono::milliseconds(500);
// The writer gathers lines for this long, or until this many bytes wait.
constexpr auto kGatherWait = std::chrono::milliseconds(10);
constexpr std::size_t kBatchBytes = 64u << 10;
// How long closing waits for the disk to take what was handed over.
constexpr auto kCloseWait = std::chrono::seconds(1);
// While records are being lost the count is said again at most this often.
constexpr auto kLossNoticeEvery = std::chrono::seconds(5);
constexpr const char* kStalled = "the disk does not answer";

std::string shownDate(std::string_view date) {
  std::string out(date.substr(0, kShownDateMax));
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  if (date.size() > kShownDateMax) out += "...";
  return out;
}

// 1012 as "1,012".
std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string clockText(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::string failureText(int error) {
  switch (error) {
    case ENOSPC:
      return "the disk is full";
    case EDQUOT:
      return "the disk quota is used up";
    case EFBIG:
      return "a data file is too large";
    case EIO:
      return "the disk reported an error";
    default: {
      char buffer[128];
      const char* text = ::strerror_r(error, buffer, sizeof buffer);
      return text ? text : "the write failed";
    }
  }
}

long systemWrite(int fd, const void* bytes, unsigned long count) {
  return static_cast<long>(::write(fd, bytes, count));
}

// The pending lines of one file: their bytes, CR LF included, and where each one ends.
struct PendingLines {
  std::string bytes;
  std::vector<std::uint32_t> ends;
};

// One file as the writer knows it: its length, and whether what it holds ends inside a line (a cut
// that could not be taken back), so that the next line has to start a fresh one.
struct FileSlot {
  int fd = -1;
  std::uint64_t size = 0;
  bool cut = false;
};

// Records lost in a row, from the first until a write works again.
struct LossSpan {
  bool active = false;
  std::uint64_t count = 0;
  std::time_t since = 0;
  Clock::time_point said{};
};

}  // namespace

struct DataFiles::Core {
  std::mutex lock;
  std::condition_variable work;      // the writer waits for lines
  std::condition_variable progress;  // closers and a full queue wait for the writer
  std::array<FileSlot, kDataFileCount> slots;
  bool open = false;
  std::uint64_t generation = 0;  // one per open; a batch belongs to the one it was taken in
  std::string date;
  std::string notRegular;
  std::array<PendingLines, kDataFileCount> queue;
  std::size_t queuedBytes = 0;
  bool busy = false;  // the writer holds a batch
  bool idle = false;  // the writer waits for work
  bool stalled = false;
  bool stop = false;
  int hurry = 0;                     // callers of waitWritten waiting: the writer does not gather
  Clock::time_point holdUntil{};     // what comes after a waitWritten waits until then
  std::vector<int> closeAfterBatch;  // left by a close that could not wait for the batch
  std::uint64_t lostLines = 0;
  LossSpan loss;
  WriteCall write = &systemWrite;
  std::thread writer;

  std::mutex noticeLock;
  RecordingNotices* notices = nullptr;

  // Counts n lost records; the text to say, if any (lock held).
  std::string lost(std::uint64_t n, const std::string& why, bool force) {
    lostLines += n;
    const Clock::time_point now = Clock::now();
    bool say = force;
    if (!loss.active) {
      loss = LossSpan{true, 0, std::time(nullptr), now};
      say = true;
    }
    loss.count += n;
    if (!say && now - loss.said < kLossNoticeEvery) return {};
    loss.said = now;
    return "RECORDS LOST: " + grouped(loss.count) + " since " + clockText(loss.since) + ": " + why;
  }

  // A record reached its file (lock held).
  std::string wroteAgain() {
    if (!loss.active) return {};
    loss.active = false;
    return "Recording again: " + grouped(loss.count) + " records were not written between " +
           clockText(loss.since) + " and " + clockText(std::time(nullptr));
  }

  void say(const std::string& text) {
    if (text.empty()) return;
    std::lock_guard<std::mutex> guard(noticeLock);
    if (notices) notices->recordingNotice(text);
  }

  void writerLoop();
};

namespace {

// Writes all of bytes; 0, or the errno of the write that failed.
int writeAll(DataFiles::WriteCall call, int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const long n = call(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return 0;
}

struct BatchResult {
  std::uint64_t written = 0;
  std::uint64_t lost = 0;
  int error = 0;
  bool endedWell = true;  // the last write of the batch worked
};

// Writes bytes (whole lines) to slot; on a failure the file is cut back to its length before,
// so no part of a line stays. Returns 0 or the failure's errno.
int writeWhole(DataFiles::WriteCall call, FileSlot& slot, const char* bytes, std::size_t count) {
  std::string joined;
  if (slot.cut) {
    // The file ends inside a line we could not take back: this one starts a fresh line.
    joined.reserve(count + 2);
    joined.append("\r\n").append(bytes, count);
    bytes = joined.data();
    count = joined.size();
  }
  const int error = writeAll(call, slot.fd, bytes, count);
  if (error == 0) {
    slot.size += count;
    slot.cut = false;
    return 0;
  }
  if (::ftruncate(slot.fd, static_cast<off_t>(slot.size)) != 0) {
    struct stat st {};
    if (::fstat(slot.fd, &st) == 0) {
      slot.cut = static_cast<std::uint64_t>(st.st_size) != slot.size;
      slot.size = static_cast<std::uint64_t>(st.st_size);
    } else {
      slot.cut = true;
    }
  }
  return error;
}

void writeFile(DataFiles::WriteCall call, FileSlot& slot, const PendingLines& lines,
               BatchResult& result) {
  if (lines.ends.empty()) return;
  // All lines of the file in one write; only when that fails, one by one, so that every line
  // that fits is kept.
  const FileSlot before = slot;
  int error = writeWhole(call, slot, lines.bytes.data(), lines.bytes.size());
  if (error == 0) {
    result.written += lines.ends.size();
    result.endedWell = true;
    return;
  }
  if (lines.ends.size() == 1 || slot.size != before.size || slot.cut != before.cut) {
    // A single line is simply lost; so are lines of which an unknown part stayed in the file.
    result.lost += lines.ends.size();
    result.error = error;
    result.endedWell = false;
    return;
  }
  std::uint32_t start = 0;
  for (const std::uint32_t end : lines.ends) {
    error = writeWhole(call, slot, lines.bytes.data() + start, end - start);
    start = end;
    if (error == 0) {
      ++result.written;
      result.endedWell = true;
    } else {
      ++result.lost;
      result.error = error;
      result.endedWell = false;
    }
  }
}

}  // namespace

void DataFiles::Core::writerLoop() {
  std::unique_lock<std::mutex> guard(lock);
  std::array<PendingLines, kDataFileCount> batch;
  for (;;) {
    idle = true;
    work.wait(guard, [this] { return stop || queuedBytes > 0; });
    idle = false;
    if (queuedBytes == 0) return;  // stopped with nothing left
    // A few more milliseconds gather the next lines into the same writes: a live feed hands
    // over a line at a time, and one wake-up per line cost more than the writes.
    if (!stop && open && hurry == 0 && queuedBytes < kBatchBytes) {
      const Clock::time_point until = std::max(Clock::now() + kGatherWait, holdUntil);
      work.wait_until(guard, until,
                      [this] { return stop || !open || hurry > 0 || queuedBytes >= kBatchBytes; });
    }
    if (queuedBytes == 0) continue;  // a close that gave up took them
    for (std::size_t i = 0; i < batch.size(); ++i) {
      batch[i].bytes.clear();
      batch[i].ends.clear();
      batch[i].bytes.swap(queue[i].bytes);
      batch[i].ends.swap(queue[i].ends);
    }
    queuedBytes = 0;
    busy = true;
    const std::uint64_t taken = generation;
    std::array<FileSlot, kDataFileCount> files = slots;
    const WriteCall call = write;
    progress.notify_all();  // room in the queue
    guard.unlock();

    BatchResult result;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (files[i].fd >= 0) writeFile(call, files[i], batch[i], result);
    }

    guard.lock();
    stalled = false;
    if (taken == generation) slots = files;
    std::string first;
    std::string second;
    if (result.lost > 0) first = lost(result.lost, failureText(result.error), false);
    if (result.written > 0 && result.endedWell) second = wroteAgain();
    if (!first.empty() || !second.empty()) {
      // Said before the batch counts as done, so a close that returns has said it too.
      guard.unlock();
      say(first);
      say(second);
      guard.lock();
    }
    busy = false;
    // A close that gave up waiting for this batch left its files to be closed here.
    for (const int fd : closeAfterBatch) ::close(fd);
    closeAfterBatch.clear();
    progress.notify_all();
  }
}

std::string dataFileName(std::string_view date, int index) {
  std::string name(date);
  name += "_hft";
  name += std::to_string(index + 1);
  name += ".txt";
  return name;
}

std::string dataFilePath(const std::string& baseDir, std::string_view date, int index) {
  std::string path = baseDir;
  if (!path.empty() && path.back() != '/') path += '/';
  path += "Data/";
  path += dataFileName(date, index);
  return path;
}

std::string openResultText(OpenResult result, std::string_view date,
                           std::string_view notRegularName) {
  switch (result) {
    // The status box shows only the start of a long text: what is at stake comes first.
    case OpenResult::BadDate:
      return "NOT RECORDING: invalid session date \"" + shownDate(date) + "\"";
    case OpenResult::PartlyOpened:
      return "RECORDS LOST: data files for " + shownDate(date) + " could not all be opened";
    case OpenResult::NotRegular:
      return "NOT RECORDING: " + shownDate(notRegularName) + " is not a regular file";
    case OpenResult::Opened:
    case OpenResult::AlreadyOpen:
      break;
  }
  return {};
}

DataFiles::DataFiles(std::string baseDir)
    : baseDir_(std::move(baseDir)), core_(std::make_shared<Core>()) {}

DataFiles::~DataFiles() {
  closeDataFiles();
  setNotices(nullptr);
  std::unique_lock<std::mutex> guard(core_->lock);
  core_->stop = true;
  core_->work.notify_all();
  const bool stuck = core_->busy;
  guard.unlock();
  if (!core_->writer.joinable()) return;
  // A writer stuck in a write that never returns is left behind; it holds the shared state.
  if (stuck) {
    core_->writer.detach();
  } else {
    core_->writer.join();
  }
}

OpenResult DataFiles::openDataFiles(std::string_view date) {
  Core& c = *core_;
  std::lock_guard<std::mutex> guard(c.lock);
  if (c.open) return OpenResult::AlreadyOpen;
  if (!isValidDataDate(date)) return OpenResult::BadDate;

  std::string dir = baseDir_;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  dir += "Data";
  ::mkdir(dir.c_str(), 0755);  // an existing folder is fine; a real failure shows in the opens

  int opened = 0;
  c.notRegular.clear();
  for (int i = 0; i < kDataFileCount; ++i) {
    const std::string path = dataFilePath(baseDir_, date, i);
    // Appending keeps what the file holds: a reconnection on the same day continues it. Only a
    // regular file is written: a FIFO would hold the writer until a reader came, a device or a
    // link would put the day somewhere else. The open itself never waits.
    int fd =
        ::open(path.c_str(),
               O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
    // A link ends the open at once; a folder cannot be opened for writing.
    bool notRegular = fd < 0 && (errno == ELOOP || errno == EISDIR);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      notRegular = st.st_mode != 0;
      ::close(fd);
      fd = -1;
    }
    if (notRegular && c.notRegular.empty()) c.notRegular = "Data/" + dataFileName(date, i);
    if (fd >= 0) {
      const int flags = ::fcntl(fd, F_GETFL);
      if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    // Who may write the folder is decided by its writer's claim, not here.
    FileSlot& slot = c.slots[static_cast<std::size_t>(i)];
    slot = FileSlot{};
    slot.fd = fd;
    if (fd >= 0) {
      ++opened;
      slot.size = static_cast<std::uint64_t>(st.st_size);
      // A file left ending inside a line (a crash, an older cut) gets its next line on a fresh
      // one, so the cut line is not glued to a record.
      char last = '\n';
      if (slot.size > 0 && ::pread(fd, &last, 1, static_cast<off_t>(slot.size - 1)) == 1) {
        slot.cut = last != '\n';
      }
    }
  }
  c.open = true;
  ++c.generation;
  c.date = std::string(date);
  if (!c.writer.joinable()) c.writer = std::thread([core = core_] { core->writerLoop(); });
  if (opened == kDataFileCount) return OpenResult::Opened;
  return c.notRegular.empty() ? OpenResult::PartlyOpened : OpenResult::NotRegular;
}

void DataFiles::closeDataFiles() {
  Core& c = *core_;
  std::unique_lock<std::mutex> guard(c.lock);
  if (!c.open) return;
  c.open = false;           // no more lines are taken
  c.progress.notify_all();  // a line waiting for room gives up
  c.work.notify_all();      // the writer stops gathering
  const bool done =
      c.progress.wait_for(guard, kCloseWait, [&c] { return c.queuedBytes == 0 && !c.busy; });
  std::string text;
  if (!done) {
    std::uint64_t dropped = 0;
    for (PendingLines& lines : c.queue) {
      dropped += lines.ends.size();
      lines.bytes.clear();
      lines.ends.clear();
    }
    c.queuedBytes = 0;
    if (dropped > 0) text = c.lost(dropped, kStalled, true);
  }
  for (FileSlot& slot : c.slots) {
    if (slot.fd >= 0) {
      if (c.busy) {
        c.closeAfterBatch.push_back(slot.fd);
      } else {
        ::close(slot.fd);
      }
    }
    slot = FileSlot{};
  }
  ++c.generation;
  c.date.clear();
  guard.unlock();
  c.say(text);
}

void DataFiles::rereadFileLengths() {
  Core& c = *core_;
  std::unique_lock<std::mutex> guard(c.lock);
  if (!c.open) return;
  const bool settled =
      c.progress.wait_for(guard, kCloseWait, [&c] { return c.queuedBytes == 0 && !c.busy; });
  for (FileSlot& slot : c.slots) {
    if (slot.fd < 0) continue;
    struct stat st {};
    if (::fstat(slot.fd, &st) != 0) continue;
    slot.size = static_cast<std::uint64_t>(st.st_size);
    char last = '\n';
    slot.cut = slot.size > 0 &&
               ::pread(slot.fd, &last, 1, static_cast<off_t>(slot.size - 1)) == 1 && last != '\n';
  }
  // A batch still on its way keeps its own idea of the files out of these.
  if (!settled) ++c.generation;
}

bool DataFiles::waitWritten(std::chrono::milliseconds limit, std::chrono::milliseconds holdAfter) {
  Core& c = *core_;
  std::unique_lock<std::mutex> guard(c.lock);
  ++c.hurry;
  c.work.notify_all();
  const bool done =
      c.progress.wait_for(guard, limit, [&c] { return c.queuedBytes == 0 && !c.busy; });
  --c.hurry;
  if (done) c.holdUntil = Clock::now() + holdAfter;
  return done;
}

WriteResult DataFiles::writeDataLine(int index, const char* text) {
  return writeDataLine(index, text ? std::string_view(text) : std::string_view());
}

WriteResult DataFiles::writeDataLine(int index, std::string_view text) {
  if (index < 0 || index >= kDataFileCount) return WriteResult::BadIndex;
  Core& c = *core_;
  std::unique_lock<std::mutex> guard(c.lock);
  if (!c.open) return WriteResult::FilesClosed;
  const auto slot = static_cast<std::size_t>(index);
  if (c.slots[slot].fd < 0) {
    ++c.lostLines;
    return WriteResult::NoFile;
  }
  const std::size_t size = text.size() + 2;
  if (c.queuedBytes + size > kQueueBytesMax) {
    // The disk is slower than the feed: wait a moment for the writer, but never for a disk that
    // has stopped answering.
    if (!c.stalled) {
      c.progress.wait_for(guard, kRoomWait,
                          [&] { return !c.open || c.queuedBytes + size <= kQueueBytesMax; });
    }
    if (!c.open) {
      ++c.lostLines;  // it came while the files were open
      return WriteResult::FilesClosed;
    }
    if (c.queuedBytes + size > kQueueBytesMax) {
      c.stalled = true;
      const std::string notice = c.lost(1, kStalled, false);
      guard.unlock();
      c.say(notice);
      return WriteResult::WriteFailed;
    }
  }
  PendingLines& lines = c.queue[slot];
  const std::size_t at = lines.bytes.size();
  lines.bytes.append(text);
  // A line feed inside a record would split it into two lines on replay; the file keeps one
  // record per line.
  for (std::size_t i = at; i < lines.bytes.size(); ++i) {
    if (lines.bytes[i] == '\n') lines.bytes[i] = ' ';
  }
  lines.bytes.append("\r\n", 2);
  lines.ends.push_back(static_cast<std::uint32_t>(lines.bytes.size()));
  const bool wake = (c.queuedBytes == 0 && c.idle) ||
                    (c.queuedBytes < kBatchBytes && c.queuedBytes + size >= kBatchBytes);
  c.queuedBytes += size;
  guard.unlock();
  if (wake) c.work.notify_one();
  return WriteResult::Written;
}

bool DataFiles::dataFilesOpen() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  return core_->open;
}

int DataFiles::openFileCount() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  int n = 0;
  for (const FileSlot& slot : core_->slots) n += slot.fd >= 0 ? 1 : 0;
  return n;
}

std::uint64_t DataFiles::lostLines() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  return core_->lostLines;
}

std::string DataFiles::openDate() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  return core_->date;
}

std::string DataFiles::notRegularFile() const {
  std::lock_guard<std::mutex> guard(core_->lock);
  return core_->notRegular;
}

void DataFiles::setNotices(RecordingNotices* notices) {
  std::lock_guard<std::mutex> guard(core_->noticeLock);
  core_->notices = notices;
}

void DataFiles::setWriteCallForTest(WriteCall call) {
  std::lock_guard<std::mutex> guard(core_->lock);
  core_->write = call ? call : &systemWrite;
}

}  // namespace kestrune
