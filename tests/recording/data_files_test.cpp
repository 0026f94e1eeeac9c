#include "recording/data_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "recording/data_reader.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::readAll;
using test::TempDir;
using test::writeAll;

TEST(DataFilesTest, SessionDateNamesSixFilesThatAreAppendedOnReconnect) {
  TempDir dir;
  DataFiles files(dir.path());
  EXPECT_FALSE(files.dataFilesOpen());
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  EXPECT_TRUE(files.dataFilesOpen());
  EXPECT_EQ(files.openDate(), "12062026");
  for (int i = 0; i < kDataFileCount; ++i) {
    EXPECT_EQ(files.writeDataLine(i, "rec" + std::to_string(i)), WriteResult::Written);
  }
  files.closeDataFiles();
  EXPECT_FALSE(files.dataFilesOpen());

  // The link drops and comes back the same day: the same files continue.
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  EXPECT_EQ(files.writeDataLine(0, "again"), WriteResult::Written);
  files.closeDataFiles();

  for (int i = 0; i < kDataFileCount; ++i) {
    const std::string name = dir.file("Data/12062026_hft" + std::to_string(i + 1) + ".txt");
    EXPECT_EQ(dataFilePath(dir.path(), "12062026", i), name);
    std::string expected = "rec" + std::to_string(i) + "\r\n";
    if (i == 0) expected += "again\r\n";
    EXPECT_EQ(readAll(name), expected) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("Data")), fs::directory_iterator()), 6);
  EXPECT_EQ(dataFilePath("", "12062026", 5), "Data/12062026_hft6.txt");
}

TEST(DataFilesTest, RecordsOutsideOpenFilesAreNotWritten) {
  TempDir dir;
  DataFiles files(dir.path());
  EXPECT_EQ(files.writeDataLine(0, "before the date"), WriteResult::FilesClosed);
  EXPECT_FALSE(fs::exists(dir.file("Data")));

  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  EXPECT_EQ(files.writeDataLine(3, "inside"), WriteResult::Written);
  EXPECT_EQ(files.writeDataLine(6, "no such file"), WriteResult::BadIndex);
  EXPECT_EQ(files.writeDataLine(-1, "no such file"), WriteResult::BadIndex);
  EXPECT_EQ(files.writeDataLine(4, "two\nlines"), WriteResult::Written);  // stays one record
  files.closeDataFiles();
  files.closeDataFiles();  // closing twice is harmless
  EXPECT_EQ(files.writeDataLine(3, "after disconnect"), WriteResult::FilesClosed);

  EXPECT_EQ(readAll(dir.file("Data/12062026_hft4.txt")), "inside\r\n");
  EXPECT_EQ(readAll(dir.file("Data/12062026_hft5.txt")), "two lines\r\n");
  EXPECT_EQ(files.lostLines(), 0u);
}

TEST(DataFilesTest, OnlyAnEightDigitDateNamesFiles) {
  TempDir dir;
  const fs::path sub = fs::path(dir.path()) / "work";
  fs::create_directories(sub);
  DataFiles files(sub.string());
  for (const char* bad : {"", "1206202", "120620261", "../12345", "12/06/26", "..", "1206202x",
                          "12062026/..", "/tmp/x12"}) {
    EXPECT_EQ(files.openDataFiles(bad), OpenResult::BadDate) << bad;
    EXPECT_FALSE(files.dataFilesOpen()) << bad;
    EXPECT_EQ(files.writeDataLine(0, "lost?"), WriteResult::FilesClosed);
    EXPECT_EQ(openResultText(OpenResult::BadDate, bad).rfind("NOT RECORDING", 0), 0u);
  }
  // Nothing was created, neither in the working folder nor beside it.
  EXPECT_TRUE(fs::is_empty(sub));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  // A valid date arriving later starts recording.
  EXPECT_EQ(files.openDataFiles("12072026"), OpenResult::Opened);
  EXPECT_TRUE(openResultText(OpenResult::Opened, "12072026").empty());
}

TEST(DataFilesTest, StatusTextShowsAHostileDateSafely) {
  const std::string text =
      openResultText(OpenResult::BadDate, std::string("12\n06\x01") + std::string(300, 'x'));
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.find('\x01'), std::string::npos);
  EXPECT_LT(text.size(), 100u);
}

TEST(DataFilesTest, OpenWhileOpenKeepsTheFirstDate) {
  TempDir dir;
  DataFiles files(dir.path());
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  EXPECT_EQ(files.openDataFiles("12072026"), OpenResult::AlreadyOpen);
  EXPECT_EQ(files.openDate(), "12062026");
  files.writeDataLine(0, "x");
  EXPECT_FALSE(fs::exists(dir.file("Data/12072026_hft1.txt")));
}

// Only a regular file of the day's name is written: a link, a FIFO or a folder is refused at once
// (a FIFO would hold the writer for ever), the other files still record, and what was meant for
// a refused file is counted as lost.
TEST(DataFilesTest, OnlyRegularFilesAreWrittenAndLostRecordsAreCounted) {
  TempDir dir;
  fs::create_directories(dir.file("Data"));
  writeAll(dir.file("elsewhere.txt"), "keep");
  ASSERT_EQ(
      ::symlink(dir.file("elsewhere.txt").c_str(), dir.file("Data/12062026_hft1.txt").c_str()), 0);
  fs::create_directories(dir.file("Data/12062026_hft2.txt"));
  ASSERT_EQ(::mkfifo(dir.file("Data/12062026_hft3.txt").c_str(), 0644), 0);
  writeAll(dir.file("Data/12062026_hft4.txt"), "09300");  // cut short by an earlier crash

  DataFiles files(dir.path());
  const OpenResult result = files.openDataFiles("12062026");
  EXPECT_EQ(result, OpenResult::NotRegular);
  EXPECT_EQ(openResultText(result, "12062026", files.notRegularFile()),
            "NOT RECORDING: Data/12062026_hft1.txt is not a regular file");
  EXPECT_TRUE(files.dataFilesOpen());  // the other files still record
  EXPECT_EQ(files.openFileCount(), 3);

  EXPECT_EQ(files.writeDataLine(0, "through a link"), WriteResult::NoFile);
  EXPECT_EQ(files.writeDataLine(1, "into a folder"), WriteResult::NoFile);
  EXPECT_EQ(files.writeDataLine(2, "into a FIFO"), WriteResult::NoFile);
  EXPECT_EQ(files.writeDataLine(3, "093001|1"), WriteResult::Written);
  files.closeDataFiles();
  EXPECT_EQ(files.lostLines(), 3u);
  EXPECT_EQ(readAll(dir.file("elsewhere.txt")), "keep");
  // The cut line is not glued to the new record.
  EXPECT_EQ(readAll(dir.file("Data/12062026_hft4.txt")), "09300\r\n093001|1\r\n");
}

// A disk that takes half of a write and then refuses the rest.
long halfWrite(int fd, const void* bytes, unsigned long count) {
  static thread_local bool refuse = false;
  if (std::exchange(refuse, !refuse)) {
    errno = ENOSPC;
    return -1;
  }
  return static_cast<long>(::write(fd, bytes, count / 2 + 1));
}

// Who writes a folder is the writer's claim's business: a standby opens the same day's files
// too (it takes over in them), and appending keeps whatever the other one wrote.
TEST(DataFilesTest, TwoOpenersOfOneDayAppendToTheSameFiles) {
  TempDir dir;
  DataFiles first(dir.path());
  DataFiles second(dir.path());
  ASSERT_EQ(first.openDataFiles("12062026"), OpenResult::Opened);
  ASSERT_EQ(second.openDataFiles("12062026"), OpenResult::Opened);
  first.writeDataLine(0, "owner");
  first.closeDataFiles();
  // The second one stood by while the first wrote; a write of its own that the disk cuts short
  // is taken back to where the file ended, never to where it ended when it was opened.
  second.rereadFileLengths();
  second.setWriteCallForTest(&halfWrite);
  second.writeDataLine(0, "successor");
  second.closeDataFiles();
  EXPECT_EQ(readAll(dir.file("Data/12062026_hft1.txt")), "owner\r\n");
  EXPECT_EQ(second.lostLines(), 1u);
}

TEST(DataFilesTest, BurstsFromTheReceiveThreadArriveWholeAndInOrder) {
  TempDir dir;
  DataFiles files(dir.path());
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  constexpr int kLines = 20000;
  // A record as long as the protocol allows, numbered so order and completeness show.
  const std::string pad(230, 'p');
  auto burst = [&](int index) {
    for (int i = 0; i < kLines; ++i) {
      ASSERT_EQ(files.writeDataLine(index, std::to_string(i) + "|" + pad), WriteResult::Written);
    }
  };
  std::thread alerts(burst, 0);
  std::thread samples(burst, 3);
  alerts.join();
  samples.join();
  files.closeDataFiles();

  for (const char* name : {"Data/12062026_hft1.txt", "Data/12062026_hft4.txt"}) {
    std::istringstream in(readAll(dir.file(name)));
    std::string line;
    int expected = 0;
    while (std::getline(in, line)) {
      ASSERT_EQ(line, std::to_string(expected) + "|" + pad + "\r") << name;
      ++expected;
    }
    EXPECT_EQ(expected, kLines) << name;
  }
  EXPECT_EQ(files.lostLines(), 0u);
}

// Collects what the writer says.
struct SaidNotices : RecordingNotices {
  void recordingNotice(const std::string& text) override {
    std::lock_guard<std::mutex> guard(lock);
    said.push_back(text);
  }
  std::string all() {
    std::lock_guard<std::mutex> guard(lock);
    std::string out;
    for (const std::string& line : said) out += line + "\n";
    return out;
  }
  std::mutex lock;
  std::vector<std::string> said;
};

std::atomic<bool> g_diskAnswers{false};
std::atomic<bool> g_writeEntered{false};
long hangingWrite(int fd, const void* bytes, unsigned long count) {
  g_writeEntered = true;
  while (!g_diskAnswers) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return static_cast<long>(::write(fd, bytes, count));
}

// A disk that stops answering (a stalled network folder) holds neither the receive thread nor a
// close: what it did not take within about a second is counted as lost and said.
TEST(DataFilesTest, ADiskThatHangsNeverHoldsTheCloseAndTheLossIsSaid) {
  TempDir dir;
  SaidNotices notices;
  DataFiles files(dir.path());
  files.setNotices(&notices);
  files.setWriteCallForTest(&hangingWrite);
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  ASSERT_EQ(files.writeDataLine(0, "taken, then stuck"), WriteResult::Written);
  while (!g_writeEntered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(files.writeDataLine(1, "waiting"), WriteResult::Written);

  const auto start = std::chrono::steady_clock::now();
  files.closeDataFiles();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(files.dataFilesOpen());
  EXPECT_EQ(files.lostLines(), 5u);
  EXPECT_NE(notices.all().find("RECORDS LOST: 5 since "), std::string::npos) << notices.all();
  EXPECT_NE(notices.all().find(": the disk does not answer"), std::string::npos);

  // The write that was under way still ends in its file once the disk answers.
  g_diskAnswers = true;
  for (int i = 0; i < 5000 && readAll(dir.file("Data/12062026_hft1.txt")).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(readAll(dir.file("Data/12062026_hft1.txt")), "taken, then stuck\r\n");
  files.setNotices(nullptr);
}

// A disk that fills while recording and empties again (a small tmpfs, so only as root): every line
// of every file is whole, the loss and the return are said, and the day reads back.
TEST(DataFilesTest, AFullDiskCostsWholeLinesOnlyAndTheGapIsSaid) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  TempDir dir;
  if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{dir.path()};

  SaidNotices notices;
  DataFiles files(dir.path());
  files.setNotices(&notices);
  const std::string pad(90, 'p');
  int next = 0;
  auto phase = [&](int lines) {
    ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
    for (int i = 0; i < lines; ++i, ++next) {
      files.writeDataLine(next % kDataFileCount, std::to_string(next) + "|" + pad);
    }
    files.closeDataFiles();
  };
  phase(600);
  {
    // Fill the disk to the last page.
    const int fd = ::open(dir.file("filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }
  phase(600);
  EXPECT_GT(files.lostLines(), 0u);
  EXPECT_NE(notices.all().find("RECORDS LOST: "), std::string::npos) << notices.all();
  EXPECT_NE(notices.all().find(": the disk is full"), std::string::npos) << notices.all();
  fs::remove(dir.file("filler"));
  phase(600);
  EXPECT_NE(notices.all().find("Recording again: " + std::to_string(files.lostLines()) +
                               " records were not written between "),
            std::string::npos)
      << notices.all();

  std::uint64_t whole = 0;
  for (int file = 0; file < kDataFileCount; ++file) {
    int last = -1;
    readDataFile(openDataFileForReading(dataFilePath(dir.path(), "12062026", file)),
                 [&](const char* text, std::size_t) {
                   const std::string line(text);
                   const std::size_t bar = line.find('|');
                   ASSERT_NE(bar, std::string::npos) << line;
                   const int n = std::stoi(line.substr(0, bar));
                   EXPECT_EQ(line, std::to_string(n) + "|" + pad + "\r");
                   EXPECT_EQ(n % kDataFileCount, file);
                   EXPECT_GT(n, last);  // in order, none twice
                   last = n;
                   ++whole;
                 });
  }
  EXPECT_EQ(whole + files.lostLines(), 1800u);
  files.setNotices(nullptr);
}

}  // namespace
}  // namespace kestrune
