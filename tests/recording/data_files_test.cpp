#include "recording/data_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::readAll;
using test::TempDir;

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

TEST(DataFilesTest, LostRecordsAreReportedNotIgnored) {
  TempDir dir;
  fs::create_directories(dir.file("Data"));
  // File 1 lands on a full device; file 2 cannot be opened at all.
  ASSERT_EQ(::symlink("/dev/full", dir.file("Data/12062026_hft1.txt").c_str()), 0);
  fs::create_directories(dir.file("Data/12062026_hft2.txt"));

  DataFiles files(dir.path());
  const OpenResult result = files.openDataFiles("12062026");
  EXPECT_EQ(result, OpenResult::PartlyOpened);
  EXPECT_EQ(openResultText(result, "12062026").rfind("RECORDS LOST", 0), 0u);
  EXPECT_TRUE(files.dataFilesOpen());  // the other files still record
  EXPECT_EQ(files.openFileCount(), 5);

  EXPECT_EQ(files.writeDataLine(0, "full disk"), WriteResult::WriteFailed);
  EXPECT_EQ(files.writeDataLine(1, "no file"), WriteResult::NoFile);
  EXPECT_EQ(files.writeDataLine(2, "fine"), WriteResult::Written);
  EXPECT_EQ(files.lostLines(), 2u);
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
  second.writeDataLine(0, "successor");
  first.writeDataLine(0, "owner again");
  EXPECT_EQ(readAll(dir.file("Data/12062026_hft1.txt")), "owner\r\nsuccessor\r\nowner again\r\n");
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

}  // namespace
}  // namespace kestrune
