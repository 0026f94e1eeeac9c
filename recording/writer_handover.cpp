#include "recording/writer_handover.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace kestrune {

namespace {

// Lines of a file's tail: complete lines only, without their CR LF.
std::vector<std::string_view> tailLines(std::string_view tail, bool atStart) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  if (!atStart) {
    // The tail starts inside a line: only from the next line on is it whole.
    const std::size_t first = tail.find('\n');
    if (first == std::string_view::npos) return lines;
    at = first + 1;
  }
  for (;;) {
    const std::size_t end = tail.find('\n', at);
    if (end == std::string_view::npos) break;  // a last line without its end is not a record
    std::string_view line = tail.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

}  // namespace

TailMatch matchTail(std::string_view fileTail, bool atStart, const std::deque<std::string>& kept) {
  TailMatch match;
  const std::vector<std::string_view> file = tailLines(fileTail, atStart);
  const std::size_t m = file.size();
  const std::size_t n = kept.size();
  if (m == 0 || n == 0) return match;
  // How many lines before kept[j - 1] and file[q - 1] agree, themselves included.
  const auto agree = [&](std::size_t j, std::size_t q) {
    std::size_t k = 0;
    while (k < j && k < q && kept[j - 1 - k] == file[q - 1 - k]) ++k;
    return k;
  };
  std::size_t partial = 0;
  std::size_t partialLength = 0;
  // The old writer stopped within kept: the file's last line is one of kept.
  for (std::size_t j = n; j >= 1; --j) {
    const std::size_t k = agree(j, m);
    if (k == 0) continue;
    if (k == j || k == m) {
      match.written = j;
      return match;
    }
    if (k > partialLength) {
      partialLength = k;
      partial = j;
    }
  }
  // It got further: the newest of kept is inside the file.
  for (std::size_t q = m - 1; q >= 1; --q) {
    const std::size_t k = agree(n, q);
    if (k == n || k == q) {
      match.written = n;
      match.ahead.assign(file.begin() + static_cast<std::ptrdiff_t>(q), file.end());
      return match;
    }
  }
  match.written = partial;
  return match;
}

WriterHandover::WriterHandover(DataFiles& files, std::string baseDir, std::string program)
    : files_(files),
      baseDir_(std::move(baseDir)),
      program_(std::move(program)),
      standby_(&WriterHandover::standbyLoop, this) {}

WriterHandover::~WriterHandover() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  standby_.join();
  std::lock_guard<std::mutex> guard(lock_);
  claim_.release();
}

void WriterHandover::setNotice(std::function<void(const std::string&)> notice) {
  std::lock_guard<std::mutex> guard(lock_);
  notice_ = std::move(notice);
}

void WriterHandover::setRetryMs(int ms) {
  std::lock_guard<std::mutex> guard(lock_);
  retryMs_ = std::max(ms, 1);
}

void WriterHandover::say(const std::string& text) {
  if (notice_) notice_(text);
}

void WriterHandover::clearKept() {
  for (Kept& k : kept_) {
    k.lines.clear();
    k.bytes = 0;
  }
  keptDate_.clear();
}

void WriterHandover::sessionStarted() {
  std::lock_guard<std::mutex> guard(lock_);
  clearKept();
  for (Kept& k : kept_) k.ahead.clear();
  replayHolder_ = false;
  replayCheckedDate_.clear();
  wanted_ = true;
  tryTakeOver();
}

void WriterHandover::sessionEnded() {
  std::lock_guard<std::mutex> guard(lock_);
  wanted_ = false;
  replayHolder_ = false;
  replayCheckedDate_.clear();
  claimFailed_ = false;
  lastHolder_.clear();
  clearKept();
  for (Kept& k : kept_) k.ahead.clear();
  claim_.release();
}

bool WriterHandover::writing() const {
  std::lock_guard<std::mutex> guard(lock_);
  return claim_.held();
}

WriterHandover::Outcome WriterHandover::takeLine(int index, std::string_view text,
                                                 WriteResult& result) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!wanted_) {
    // Records before any session start (a server that only sent a date) still go by the claim;
    // after the end of a session nothing may take it again.
    if (!files_.dataFilesOpen()) {
      result = WriteResult::FilesClosed;
      return Outcome::Closed;
    }
    wanted_ = true;
    tryTakeOver();
  }
  if (replayHolder_) {
    result = WriteResult::FilesClosed;
    return Outcome::Kept;
  }
  if (claim_.held() || claimFailed_) {
    if (index >= 0 && index < kDataFileCount) {
      std::deque<std::string>& ahead = kept_[static_cast<std::size_t>(index)].ahead;
      if (!ahead.empty()) {
        // The old writer wrote it already; a record it did not have ends the catching up.
        if (ahead.front() == text) {
          ahead.pop_front();
          result = WriteResult::Written;
          return Outcome::Written;
        }
        ahead.clear();
      }
    }
    result = files_.writeDataLine(index, text);
    if (result == WriteResult::Written) return Outcome::Written;
    return result == WriteResult::FilesClosed ? Outcome::Closed : Outcome::Failed;
  }
  result = WriteResult::FilesClosed;
  if (index < 0 || index >= kDataFileCount) return Outcome::Failed;
  // What the writer would not write (outside the recording period) is not kept either.
  const std::string date = files_.openDate();
  if (date.empty()) return Outcome::Closed;
  if (date != keptDate_) {
    clearKept();
    keptDate_ = date;
  }
  Kept& k = kept_[static_cast<std::size_t>(index)];
  std::string line(text);
  // Kept as the file holds it: one record, one line.
  std::replace(line.begin(), line.end(), '\n', ' ');
  k.bytes += line.size() + 2;
  k.lines.push_back(std::move(line));
  while (k.bytes > kKeptBytesMax && !k.lines.empty()) {
    k.bytes -= k.lines.front().size() + 2;
    k.lines.pop_front();
  }
  return Outcome::Kept;
}

void WriterHandover::standbyLoop() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!stop_) {
    wake_.wait_for(guard, std::chrono::milliseconds(retryMs_));
    if (stop_) break;
    if (wanted_ && !claim_.held() && !claimFailed_ && !replayHolder_) tryTakeOver();
  }
}

void WriterHandover::tryTakeOver() {
  if (claim_.held() || claimFailed_) return;
  std::string error;
  const DataFolderClaim::Result result = claim_.tryAcquire(baseDir_, program_, false, error);
  if (result == DataFolderClaim::Result::Held) {
    // The files may have grown under the old writer since this program opened them.
    files_.rereadFileLengths();
    const std::string date = files_.openDate();
    if (!date.empty() && date == keptDate_) {
      for (int i = 0; i < kDataFileCount; ++i) appendMissing(i, date);
    }
    clearKept();
    if (!lastHolder_.empty()) say("Recording: " + lastHolder_ + " has stopped writing");
    lastHolder_.clear();
    return;
  }
  if (result == DataFolderClaim::Result::Failed) {
    // Without a claim file nobody can be kept out; losing the records would be worse than the
    // chance of a second writer.
    claimFailed_ = true;
    say("Recording without a writer's claim: " + error);
    return;
  }
  // A claim file read empty while locked is a writer letting go (it empties the file first) or
  // one that has only just taken it: the writer known so far stays the one named.
  if (claim_.holder().program.empty() && !lastHolder_.empty()) {
    wake_.notify_all();
    return;
  }
  const std::string who = claim_.holder().describe();
  if (who != lastHolder_) say("Recorded by " + who);
  lastHolder_ = who;
  wake_.notify_all();
}

void WriterHandover::dateArrived(const std::string& date) {
  std::lock_guard<std::mutex> guard(lock_);
  if (date != replayCheckedDate_) checkReplay(date);
}

void WriterHandover::checkReplay(const std::string& date) {
  replayCheckedDate_ = date;
  ClaimHolder holder;
  replayHolder_ = replayOfDayHeld(baseDir_, date, holder);
  if (!replayHolder_) return;
  // This session's records are that day served again: they are never written, not even after
  // the simulator has ended. The folder goes to whoever records a live feed in it meanwhile.
  clearKept();
  for (Kept& k : kept_) k.ahead.clear();
  claim_.release();
  lastHolder_.clear();
  say("NOT RECORDING: " + holder.describe() + " is replaying the day of this Data folder");
}

void WriterHandover::appendMissing(int index, const std::string& date) {
  Kept& k = kept_[static_cast<std::size_t>(index)];
  if (k.lines.empty()) return;
  const std::string path = dataFilePath(baseDir_, date, index);
  std::string tail;
  bool atStart = true;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
      const auto size = static_cast<std::size_t>(st.st_size);
      // Enough to hold every kept line, the one before them and what the old writer may have
      // written beyond them.
      const std::size_t window = std::min(size, k.bytes + 4096 + kAheadBytesMax);
      tail.resize(window);
      std::size_t got = 0;
      while (got < window) {
        const ssize_t n =
            ::pread(fd, tail.data() + got, window - got, static_cast<off_t>(size - window + got));
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      tail.resize(got);
      atStart = window == size;
    }
    ::close(fd);
  }
  TailMatch match = matchTail(tail, atStart, k.lines);
  // A line the old writer left without its end (it was killed in the middle of it) is not a
  // record: the files' writer starts the next one on a fresh line, and the record follows whole.
  for (std::size_t i = match.written; i < k.lines.size(); ++i) {
    files_.writeDataLine(index, k.lines[i]);
  }
  k.ahead.assign(std::make_move_iterator(match.ahead.begin()),
                 std::make_move_iterator(match.ahead.end()));
}

}  // namespace kestrune
