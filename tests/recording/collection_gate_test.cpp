#include "recording/collection_gate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/support/temp_dir.h"

namespace kestrune {
namespace {

using test::readAll;
using test::TempDir;

// hhmmss of a Listing sample to its minute of the day, as the live intake hands it on.
std::int32_t at(int hhmmss) { return minuteOfDay(hhmmss / 10000, hhmmss / 100 % 100); }

TEST(CollectionGateTest, RegularSessionOpensAtNineThirtyAndClosesAfterFour) {
  TempDir dir;
  DataFiles files(dir.path());
  const CollectionWindow window{minuteOfDay(9, 30), minuteOfDay(16, 0)};
  EXPECT_EQ(window.startMinuteOfDay, 570);
  EXPECT_EQ(window.stopMinuteOfDay, 960);

  EXPECT_EQ(collectionGate(at(92959), window, files, "12062026").action, GateAction::None);
  // Records arriving before the window are shown but not recorded.
  EXPECT_EQ(files.writeDataLine(0, "early alert"), WriteResult::FilesClosed);
  EXPECT_EQ(files.writeDataLine(4, "early sample"), WriteResult::FilesClosed);

  GateResult opened = collectionGate(at(93000), window, files, "12062026");
  EXPECT_EQ(opened.action, GateAction::Open);
  EXPECT_EQ(opened.openResult, OpenResult::Opened);
  files.writeDataLine(0, "alert");
  EXPECT_EQ(collectionGate(at(160059), window, files, "12062026").action, GateAction::None);
  EXPECT_TRUE(files.dataFilesOpen());
  EXPECT_EQ(collectionGate(at(160100), window, files, "12062026").action, GateAction::Close);
  EXPECT_FALSE(files.dataFilesOpen());
  // Later samples of the same day do not reopen them.
  EXPECT_EQ(collectionGate(at(170000), window, files, "12062026").action, GateAction::None);
  EXPECT_FALSE(files.dataFilesOpen());

  EXPECT_EQ(readAll(dir.file("Data/12062026_hft1.txt")), "alert\r\n");
  EXPECT_EQ(readAll(dir.file("Data/12062026_hft5.txt")), "");
}

TEST(CollectionGateTest, WholeDayLeavesTheFilesToTheSessionDate) {
  const CollectionWindow whole{0, 0};
  EXPECT_TRUE(isWholeDayCollection(whole));
  for (std::int32_t m : {0, 570, 1439, 5000}) {
    EXPECT_EQ(collectionDecision(m, whole, false), GateAction::None);
    EXPECT_EQ(collectionDecision(m, whole, true), GateAction::None);
  }
}

TEST(CollectionGateTest, OneEndAtMidnightRunsFromOrUntilMidnight) {
  // 0:0 to 16:0 records from midnight until 16:00.
  const CollectionWindow untilFour{0, 960};
  EXPECT_FALSE(isWholeDayCollection(untilFour));
  EXPECT_EQ(collectionDecision(0, untilFour, false), GateAction::Open);
  EXPECT_EQ(collectionDecision(600, untilFour, false), GateAction::Open);
  EXPECT_EQ(collectionDecision(960, untilFour, true), GateAction::None);
  EXPECT_EQ(collectionDecision(961, untilFour, true), GateAction::Close);
  EXPECT_EQ(collectionDecision(961, untilFour, false), GateAction::None);
  // 9:30 to 0:0 records from 09:30 to the end of the day.
  const CollectionWindow fromOpen{570, 0};
  EXPECT_EQ(collectionDecision(569, fromOpen, false), GateAction::None);
  EXPECT_EQ(collectionDecision(570, fromOpen, false), GateAction::Open);
  EXPECT_EQ(collectionDecision(1439, fromOpen, true), GateAction::None);
  // A stop before the start never opens.
  const CollectionWindow backwards{960, 570};
  for (std::int32_t m : {0, 570, 700, 960, 1439}) {
    EXPECT_EQ(collectionDecision(m, backwards, false), GateAction::None) << m;
  }
}

TEST(CollectionGateTest, NoSessionDateKeepsRecordingClosed) {
  TempDir dir;
  DataFiles files(dir.path());
  const CollectionWindow window{570, 960};
  const GateResult result = collectionGate(600, window, files, "");
  EXPECT_EQ(result.action, GateAction::Open);
  EXPECT_EQ(result.openResult, OpenResult::BadDate);
  EXPECT_FALSE(files.dataFilesOpen());
  EXPECT_FALSE(std::filesystem::exists(dir.file("Data")));
  // The next sample tries again once the date has come.
  EXPECT_EQ(collectionGate(601, window, files, "12062026").openResult, OpenResult::Opened);
}

TEST(CollectionGateTest, MinuteOfDayTakesAnyTypedValueWithoutOverflow) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(minuteOfDay(9, 30), 570);
  EXPECT_EQ(minuteOfDay(25, 99), 1599);  // no range is enforced
  EXPECT_EQ(minuteOfDay(kMax, 59), kMax);
  EXPECT_EQ(minuteOfDay(40000000, 0), kMax);
  EXPECT_EQ(minuteOfDay(0, kMax), kMax);
}

}  // namespace
}  // namespace kestrune
