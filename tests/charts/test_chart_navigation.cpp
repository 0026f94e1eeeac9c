// Moving the chart window: Data Points, Goto and the step buttons.
#include <gtest/gtest.h>

#include "charts/chart_navigation.h"

namespace kestrune {
namespace {

ChartWindow windowAt(std::int32_t start, std::int32_t end, std::int32_t latest) {
  ChartWindow w;
  w.resetWindowOnNextSample = false;
  w.windowStart = start;
  w.windowEnd = end;
  w.latestSecond = latest;
  return w;
}

TEST(ChartNavigationDataPoints, WidthIsHeldInsideTheDay) {
  ChartWindow w = windowAt(86200, 86500, 86399);
  ASSERT_TRUE(applyDataPointsText(w, "500"));
  EXPECT_EQ(w.dataPoints, 500);
  EXPECT_EQ(w.windowEnd, 86399);
  EXPECT_EQ(w.windowStart, 85899);
}

TEST(ChartNavigationDataPoints, TypingDigitsAppliesEachValueInTurn) {
  ChartWindow w = windowAt(1000, 1300, 5000);
  ASSERT_TRUE(applyDataPointsText(w, "1"));
  EXPECT_EQ(w.windowEnd, 1001);
  ASSERT_TRUE(applyDataPointsText(w, "12"));
  EXPECT_EQ(w.windowEnd, 1012);
  ASSERT_TRUE(applyDataPointsText(w, "120"));
  EXPECT_EQ(w.dataPoints, 120);
  EXPECT_EQ(w.windowEnd, 1120);
}

TEST(ChartNavigationDataPoints, EmptyZeroNegativeAndHugeWidths) {
  ChartWindow w = windowAt(1000, 1300, 5000);
  EXPECT_FALSE(applyDataPointsText(w, ""));
  EXPECT_FALSE(applyDataPointsText(w, "0"));
  EXPECT_FALSE(applyDataPointsText(w, "-40"));
  EXPECT_FALSE(applyDataPointsText(w, "abc"));
  EXPECT_EQ(w.dataPoints, 300);
  EXPECT_EQ(w.windowEnd, 1300);
  ASSERT_TRUE(applyDataPointsText(w, "99999999999999"));
  EXPECT_EQ(w.dataPoints, kMaxDataPoints);
  EXPECT_EQ(w.windowEnd, 86399);
  EXPECT_EQ(w.windowStart, 0);
}

TEST(ChartNavigationGoto, IntoThePastParks) {
  ChartWindow w = windowAt(43000, 43200, 43200);  // newest second 12:00:00
  gotoTime(w, 9, 30, 0);
  EXPECT_EQ(w.windowStart, 34200);
  EXPECT_EQ(w.windowEnd, 34500);
  EXPECT_FALSE(w.followLive);
}

TEST(ChartNavigationGoto, BeyondTheNewestSecondFollowsAgain) {
  ChartWindow w = windowAt(100, 400, 43200);
  w.followLive = false;
  gotoTime(w, 13, 0, 0);
  EXPECT_EQ(w.windowEnd, 43200);
  EXPECT_EQ(w.windowStart, 43200 - 300 + 1);
  EXPECT_TRUE(w.followLive);
  // A window that reaches the newest second without starting past it follows where it is.
  gotoTime(w, 11, 58, 0);
  EXPECT_EQ(w.windowStart, 43080);
  EXPECT_EQ(w.windowEnd, 43380);
  EXPECT_TRUE(w.followLive);
}

TEST(ChartNavigationGoto, TimeIsHeldInsideTheDay) {
  ChartWindow w = windowAt(0, 300, 86399);
  gotoTime(w, 99, 99, 99);
  EXPECT_LE(w.windowEnd, 86399);
  EXPECT_GE(w.windowStart, 0);
  gotoTime(w, -5, 0, 0);
  EXPECT_EQ(w.windowStart, 0);
  EXPECT_EQ(w.windowEnd, 300);
  EXPECT_FALSE(w.followLive);
  gotoTime(w, 2147483647, 2147483647, 2147483647);
  EXPECT_EQ(w.windowEnd, 86399);
  EXPECT_EQ(gotoFieldValue("12x"), 12);
  EXPECT_EQ(gotoFieldValue(""), 0);
}

TEST(ChartNavigationSteps, BackStopsAboveZeroAndParks) {
  ChartWindow w = windowAt(0, 3000, 5000);
  EXPECT_FALSE(stepBack(w, 3600));
  EXPECT_EQ(w.windowEnd, 3000);
  EXPECT_TRUE(w.followLive);
  w.windowEnd = 3601;
  EXPECT_TRUE(stepBack(w, 3600));
  EXPECT_EQ(w.windowEnd, 1);
  EXPECT_FALSE(w.followLive);
  EXPECT_EQ(w.windowStart, 0);  // the start is not moved by steps
  EXPECT_FALSE(stepBack(w, 1));
}

TEST(ChartNavigationSteps, ForwardReachingNewestSecondFollowsAgain) {
  ChartWindow w = windowAt(0, 4999, 5000);
  w.followLive = false;
  stepForward(w, 1);
  EXPECT_EQ(w.windowEnd, 5000);
  EXPECT_TRUE(w.followLive);
  w.windowEnd = 1000;
  w.followLive = false;
  stepForward(w, 60);
  EXPECT_EQ(w.windowEnd, 1060);
  EXPECT_FALSE(w.followLive);
  stepForward(w, 3600);
  EXPECT_EQ(w.windowEnd, 4660);
  EXPECT_FALSE(w.followLive);
  stepForward(w, 3600);  // never beyond the newest second
  EXPECT_EQ(w.windowEnd, 5000);
  EXPECT_TRUE(w.followLive);
}

}  // namespace
}  // namespace kestrune
