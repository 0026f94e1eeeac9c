#include "recording/data_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/data_files.h"
#include "recording/day_so_far.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

using test::TempDir;

std::vector<std::string> split(const std::string& bytes, std::size_t chunk,
                               DataReadStats* stats = nullptr) {
  std::vector<std::string> lines;
  DataLineSplitter splitter([&](const char* text, std::size_t length) {
    EXPECT_EQ(text[length], '\0');
    lines.emplace_back(text, length);
  });
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    splitter.feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
  }
  splitter.finish();
  if (stats) *stats = splitter.stats();
  return lines;
}

TEST(DataLineSplitterTest, ByteRulesOfTheDataFiles) {
  using V = std::vector<std::string>;
  // CR is kept for the intake; empty lines vanish; a CR-only line is a one-character line.
  EXPECT_EQ(split("a|1\r\nb|2\r\n", 64), (V{"a|1\r", "b|2\r"}));
  EXPECT_EQ(split("\n\n\r\n\nx\n", 64), (V{"\r", "x"}));
  // The last line without a line feed still arrives.
  EXPECT_EQ(split("one\r\ntwo", 64), (V{"one\r", "two"}));
  EXPECT_EQ(split("", 64), V{});
  // NUL bytes are dropped wherever they are; a line of NULs only is empty.
  EXPECT_EQ(split(std::string("ab\0c\r\n\0\0\n\0", 10), 64), (V{"abc\r"}));
}

TEST(DataLineSplitterTest, ChunkBoundariesDoNotChangeTheLines) {
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += std::to_string(i) + std::string(i % 7, '\0') + "|z\r\n";
  bytes += "tail";
  const auto whole = split(bytes, bytes.size());
  ASSERT_EQ(whole.size(), 201u);
  for (std::size_t chunk : {1u, 2u, 3u, 7u, 255u, 256u}) EXPECT_EQ(split(bytes, chunk), whole);
}

TEST(DataLineSplitterTest, OverLongForeignLinesAreSkippedWhole) {
  const std::string fits(kMaxDataLine, 'f');
  const std::string tooLong(kMaxDataLine + 1, 'L');
  DataReadStats stats;
  const auto lines =
      split("a\n" + fits + "\n" + tooLong + "\nb\n" + std::string(5000, 'L'), 100, &stats);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", fits, "b"}));
  EXPECT_EQ(stats.longSkipped, 2u);
  EXPECT_EQ(stats.lines, 3u);
  // NULs do not count towards the length.
  EXPECT_EQ(split(fits + std::string(10, '\0') + "\n", 64), std::vector<std::string>{fits});
}

TEST(ReadDataFileTest, ReadsWhatTheWriterWroteThroughTheBuffer) {
  TempDir dir;
  DataFiles files(dir.path());
  ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
  constexpr int kLines = 50000;  // several buffers' worth
  for (int i = 0; i < kLines; ++i) files.writeDataLine(3, std::to_string(100000 + i) + "|1|2|3|");
  files.closeDataFiles();

  int next = 0;
  bool inOrder = true;
  const DataReadStats stats = readDataFile(
      openDataFileForReading(dataFilePath(dir.path(), "12062026", 3)),
      [&](const char* text, std::size_t) {
        inOrder = inOrder && std::string(text) == std::to_string(100000 + next) + "|1|2|3|\r";
        ++next;
      });
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(next, kLines);
  EXPECT_EQ(stats.lines, static_cast<std::uint64_t>(kLines));
  EXPECT_FALSE(stats.readError);

  EXPECT_EQ(openDataFileForReading(dir.file("Data/missing_hft1.txt")), -1);
  EXPECT_EQ(readDataFile(-1, nullptr).lines, 0u);
}

// The day so far reads exactly what the files held when it was taken: lines appended afterwards
// are not read, nor is a last line another program had not finished writing.
TEST(DaySnapshotTest, ReadsOnlyTheWholeLinesHeldWhenTaken) {
  TempDir dir;
  test::writeAll(dataFilePath(dir.path(), "12062026", 0), "a|1\r\nb|2\r\nc|");
  test::writeAll(dataFilePath(dir.path(), "12062026", 4), "");
  DaySnapshot day = DaySnapshot::take(dir.path(), "12062026");
  EXPECT_TRUE(day.any());
  EXPECT_EQ(day.length(0), 12);
  EXPECT_EQ(day.length(4), 0);
  EXPECT_FALSE(day.has(1));  // missing
  {
    DataFiles files(dir.path());
    ASSERT_EQ(files.openDataFiles("12062026"), OpenResult::Opened);
    files.writeDataLine(0, "late");
  }
  std::vector<std::string> lines;
  const DataReadStats stats =
      day.read(0, [&](const char* text, std::size_t length) { lines.emplace_back(text, length); });
  EXPECT_EQ(lines, (std::vector<std::string>{"a|1\r", "b|2\r"}));
  EXPECT_EQ(stats.lines, 2u);
  EXPECT_FALSE(day.has(0));  // read once, then closed
  EXPECT_FALSE(DaySnapshot::take(dir.path(), "../../x").any());
}

}  // namespace
}  // namespace kestrune
