// The one-writer rule of a Data folder: the claim, and a standby's takeover that leaves every
// record in the files once.
#include "recording/writer_handover.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recording/data_folder_claim.h"
#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

std::deque<std::string> kept(std::initializer_list<const char*> lines) {
  return std::deque<std::string>(lines.begin(), lines.end());
}

std::size_t written(std::string_view tail, bool atStart, const std::deque<std::string>& k) {
  return matchTail(tail, atStart, k).written;
}

TEST(MatchTail, FindsWhereTheFilesTailMeetsWhatWasKept) {
  const auto k = kept({"c", "d", "e", "f"});
  // The old writer got as far as d, e, f, or none of what the standby kept.
  EXPECT_EQ(written("a\r\nb\r\nc\r\nd\r\n", true, k), 2u);
  EXPECT_EQ(written("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n", true, k), 4u);
  EXPECT_EQ(written("a\r\nb\r\n", true, k), 0u);
  EXPECT_EQ(written("", true, k), 0u);
  // A tail read from inside a line skips that piece; a last line without its end was not
  // written whole.
  EXPECT_EQ(written("x|c\r\nd\r\n", false, k), 2u);
  EXPECT_EQ(written("c\r\nd\r\ne", true, k), 2u);
  // A tail shorter than what was kept matches over its whole length.
  EXPECT_EQ(written("e\r\n", true, k), 3u);
  // A repeated line is not mistaken for the end: the alignment must hold back to the start.
  EXPECT_EQ(written("p\r\nq\r\nc\r\n", true, kept({"q", "c", "q", "c", "r"})), 2u);
  // The old writer had a record this one was not sent: the longest match still places the end.
  EXPECT_EQ(written("c\r\nd\r\nX\r\ne\r\n", true, k), 3u);
}

TEST(MatchTail, AWriterAheadOfTheStandbyLeavesWhatIsStillToComeToBeSkipped) {
  const TailMatch match = matchTail("b\r\nc\r\nd\r\ne\r\nf\r\ng\r\n", true, kept({"c", "d"}));
  EXPECT_EQ(match.written, 2u);
  EXPECT_EQ(match.ahead, (std::vector<std::string>{"e", "f", "g"}));
  EXPECT_TRUE(matchTail("c\r\nd\r\n", true, kept({"c", "d"})).ahead.empty());
}

TEST(DataFolderClaim, OneWriterNamedByProgramAndPidAndAReplayedDayKeptFromWriters) {
  test::TempDir dir;
  std::string error;
  DataFolderClaim first, second;
  ASSERT_EQ(first.tryAcquire(dir.path(), "kestrune-recorder", false, error),
            DataFolderClaim::Result::Held);
  ASSERT_EQ(second.tryAcquire(dir.path(), "kestrune", false, error),
            DataFolderClaim::Result::Taken);
  EXPECT_EQ(second.holder().describe(),
            "kestrune-recorder (pid " + std::to_string(::getpid()) + ")");
  EXPECT_FALSE(second.holder().replaying);
  first.release();
  ASSERT_EQ(second.tryAcquire(dir.path(), "kestrune", false, error), DataFolderClaim::Result::Held);
  second.release();

  // A simulator serving a day of the folder keeps writers from that day only: a monitor sent
  // the replay writes none of it and leaves the folder to a live writer; another day is written.
  DataFolderClaim replay;
  ASSERT_EQ(replay.tryAcquireReplay(dir.path() + "/Data/", "12062026", "kestrune-feedsim", error),
            DataFolderClaim::Result::Held);
  ClaimHolder holder;
  EXPECT_TRUE(replayOfDayHeld(dir.path(), "12062026", holder));
  EXPECT_EQ(holder.describe(), "kestrune-feedsim (pid " + std::to_string(::getpid()) + ")");
  EXPECT_FALSE(replayOfDayHeld(dir.path(), "12072026", holder));
  for (const char* date : {"12062026", "12072026"}) {
    DataFiles files(dir.path());
    WriterHandover handover(files, dir.path(), "kestrune");
    handover.sessionStarted();
    handover.dateArrived(date);
    ASSERT_EQ(files.openDataFiles(date), OpenResult::Opened);
    WriteResult result;
    const bool replayed = std::string(date) == "12062026";
    EXPECT_EQ(handover.takeLine(0, "served again", result),
              replayed ? WriterHandover::Outcome::Kept : WriterHandover::Outcome::Written);
    EXPECT_EQ(handover.writing(), !replayed);
    EXPECT_EQ(first.tryAcquire(dir.path(), "kestrune-recorder", false, error),
              replayed ? DataFolderClaim::Result::Held : DataFolderClaim::Result::Taken);
    first.release();
    files.closeDataFiles();
    EXPECT_EQ(test::readAll(dataFilePath(dir.path(), date, 0)), replayed ? "" : "served again\r\n");
  }
}

// Two programs on one folder, given the same stream: the writer ends part way, the standby
// takes over and each file holds every record once, whether the standby had received more than
// the writer wrote (file 1) or fewer (file 2: what the writer wrote beyond them is not written
// again when they arrive).
TEST(WriterHandover, AStandbyTakesOverAndAppendsOnlyWhatTheWriterMissed) {
  test::TempDir dir;
  DataFiles writerFiles(dir.path()), standbyFiles(dir.path());
  WriterHandover writer(writerFiles, dir.path(), "kestrune-recorder");
  WriterHandover standby(standbyFiles, dir.path(), "kestrune");
  std::mutex noticeLock;
  std::vector<std::string> notices;
  standby.setNotice([&](const std::string& text) {
    std::lock_guard<std::mutex> guard(noticeLock);
    notices.push_back(text);
  });
  standby.setRetryMs(20);

  writer.sessionStarted();
  ASSERT_EQ(writerFiles.openDataFiles("12062026"), OpenResult::Opened);
  WriteResult result;
  EXPECT_EQ(writer.takeLine(0, "before the standby", result), WriterHandover::Outcome::Written);
  standby.sessionStarted();
  ASSERT_EQ(standbyFiles.openDataFiles("12062026"), OpenResult::Opened);
  EXPECT_TRUE(writer.writing());
  EXPECT_FALSE(standby.writing());
  for (int i = 1; i <= 10; ++i) {
    const std::string line = "record " + std::to_string(i);
    // The writer ends after record 6; the standby goes on receiving.
    if (i <= 6) {
      EXPECT_EQ(writer.takeLine(0, line, result), WriterHandover::Outcome::Written);
    }
    EXPECT_EQ(standby.takeLine(0, line, result), WriterHandover::Outcome::Kept);
    EXPECT_EQ(standby.takeLine(3, "sample " + std::to_string(i), result),
              WriterHandover::Outcome::Kept);
  }
  for (int i = 1; i <= 8; ++i) writer.takeLine(1, "r" + std::to_string(i), result);
  for (int i = 1; i <= 3; ++i) standby.takeLine(1, "r" + std::to_string(i), result);
  writerFiles.closeDataFiles();
  writer.sessionEnded();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!standby.writing() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(standby.writing());
  EXPECT_EQ(standby.takeLine(0, "record 11", result), WriterHandover::Outcome::Written);
  for (int i = 4; i <= 10; ++i) standby.takeLine(1, "r" + std::to_string(i), result);
  standbyFiles.closeDataFiles();

  std::string expected = "before the standby\r\n";
  for (int i = 1; i <= 11; ++i) expected += "record " + std::to_string(i) + "\r\n";
  EXPECT_EQ(test::readAll(dataFilePath(dir.path(), "12062026", 0)), expected);
  // A file the old writer never wrote gets all the standby kept.
  std::string samples;
  for (int i = 1; i <= 10; ++i) samples += "sample " + std::to_string(i) + "\r\n";
  EXPECT_EQ(test::readAll(dataFilePath(dir.path(), "12062026", 3)), samples);
  std::string behind;
  for (int i = 1; i <= 10; ++i) behind += "r" + std::to_string(i) + "\r\n";
  EXPECT_EQ(test::readAll(dataFilePath(dir.path(), "12062026", 1)), behind);
  std::lock_guard<std::mutex> guard(noticeLock);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0], "Recorded by kestrune-recorder (pid " + std::to_string(::getpid()) + ")");
  EXPECT_EQ(notices[1].rfind("Recording: ", 0), 0u);
}

}  // namespace
}  // namespace kestrune
