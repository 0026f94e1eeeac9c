// The vertical scale, the area layout and the time-axis rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "charts/chart_layout.h"
#include "charts/chart_scale.h"

namespace kestrune {
namespace {

class ChartScaleTest : public ::testing::Test {
 protected:
  std::unique_ptr<ChartSeries> a = std::make_unique<ChartSeries>();
  std::unique_ptr<ChartSeries> b = std::make_unique<ChartSeries>();
  static constexpr std::int32_t kInnerH = 169;
};

TEST_F(ChartScaleTest, RoundsTheWindowMaximumUpToWholeSteps) {
  struct Case {
    double max, step, top;
  };
  const Case cases[] = {{37, 5, 40}, {1234, 200, 1400},   {60000, 1000, 10000},
                        {0, 5, 25},  {1000, 200, 1000},   {25, 5, 25},
                        {26, 5, 30}, {9999, 1000, 10000}, {250, 50, 250}};
  for (const Case& c : cases) {
    a->values[500] = c.max;
    scaleFirstSeries(*a, 400, 600, kInnerH);
    EXPECT_EQ(a->tickStep, c.step) << c.max;
    EXPECT_EQ(a->axisTop, c.top) << c.max;
    EXPECT_EQ(a->windowMax, c.top) << c.max;
    EXPECT_EQ(a->axisBottom, 0.0);
    EXPECT_DOUBLE_EQ(a->pixelsPerUnit, kInnerH / c.top);
  }
}

TEST_F(ChartScaleTest, LooksOnlyInsideTheWindow) {
  a->values[399] = 5000;
  a->values[601] = 5000;
  a->values[400] = 30;
  scaleFirstSeries(*a, 400, 600, kInnerH);
  EXPECT_EQ(a->axisTop, 30);
  // A window reaching past the end of the day reads no slot beyond it.
  a->values[86399] = 900;
  scaleFirstSeries(*a, 86300, 86600, kInnerH);
  EXPECT_EQ(a->axisTop, 900);
}

TEST_F(ChartScaleTest, NextSeriesCoversBothAndHandsScaleToFirst) {
  a->values[10] = 37;
  b->values[11] = 1234;
  scaleFirstSeries(*a, 0, 100, kInnerH);
  scaleNextSeries(*b, *a, 0, 100, kInnerH);
  EXPECT_EQ(a->axisTop, 1400);
  EXPECT_EQ(a->tickStep, 200);
  EXPECT_EQ(a->windowMax, 1400);
  EXPECT_DOUBLE_EQ(a->pixelsPerUnit, kInnerH / 1400.0);
  // A quieter further series never lowers the first one's top.
  b->values[11] = 3;
  scaleNextSeries(*b, *a, 0, 100, kInnerH);
  EXPECT_GE(a->axisTop, 1400);
}

TEST_F(ChartScaleTest, FixedMaximumIsClampedNotRounded) {
  scaleFixed(*a, 100, kInnerH);
  EXPECT_EQ(a->axisTop, 100);
  EXPECT_EQ(a->tickStep, 20);
  scaleFixed(*a, 7, kInnerH);
  EXPECT_EQ(a->axisTop, 25);
  EXPECT_EQ(a->tickStep, 5);
  scaleFixed(*a, 123, kInnerH);
  EXPECT_EQ(a->axisTop, 123);  // not rounded up to a whole step
  EXPECT_EQ(a->tickStep, 20);
  scaleFixed(*a, 1e300, kInnerH);
  EXPECT_EQ(a->axisTop, 10000);
}

TEST_F(ChartScaleTest, NonFiniteMaximaStayInsideTheClamp) {
  scaleFixed(*a, std::numeric_limits<double>::quiet_NaN(), kInnerH);
  EXPECT_EQ(a->axisTop, 25);
  scaleFixed(*a, std::numeric_limits<double>::infinity(), kInnerH);
  EXPECT_EQ(a->axisTop, 10000);
  scaleFixed(*a, -std::numeric_limits<double>::infinity(), kInnerH);
  EXPECT_EQ(a->axisTop, 25);
  EXPECT_TRUE(std::isfinite(a->pixelsPerUnit));
}

TEST(ChartLayout, StandardChartGeometry) {
  ChartGeometry g;
  g.marginLeft = 5;
  g.marginTop = 5;
  g.plotRightPadding = 8;
  g.width = 480;
  g.height = 210;
  std::array<ChartArea, kChartAreaCount> areas;
  layoutChartAreas(g, areas);
  const ChartArea& plot = areas[kPlotArea];
  EXPECT_EQ(plot.x, 5);
  EXPECT_EQ(plot.y, 22);
  EXPECT_EQ(plot.w, 480 - 62);
  EXPECT_EQ(plot.h, 210 - 41);
  EXPECT_EQ(plot.innerW, 480 - 70);
  EXPECT_EQ(plot.innerH, 169);
  EXPECT_EQ(plot.innerX, 7);
  EXPECT_EQ(plot.dataLeft, 6.0);
  EXPECT_TRUE(plot.drawFrame);
  const ChartArea& value = areas[kValueAxisArea];
  EXPECT_EQ(value.x, 480 - 55);
  EXPECT_EQ(value.w, 60);
  EXPECT_EQ(value.h, 169);
  EXPECT_FALSE(value.drawFrame);
  const ChartArea& time = areas[kTimeAxisArea];
  EXPECT_EQ(time.y, 210 - 17);
  EXPECT_EQ(time.h, 15);
  EXPECT_EQ(time.innerW, 480 - 70);
  EXPECT_EQ(areas[kTitleArea].w, 480);
  EXPECT_EQ(areas[kTitleRightArea].x, 241);
  EXPECT_EQ(areas[kTitleRightArea].w, 239);
  EXPECT_DOUBLE_EQ(pixelsPerPointFor(plot.innerW, 33901, 34200), 410.0 / 300.0);
  EXPECT_EQ(pixelsPerPointFor(plot.innerW, 10, 9), 0.0);
}

TEST(ChartLayout, VerticalPaddingIsSplitAboveAndBelow) {
  ChartGeometry g;
  g.width = 300;
  g.height = 200;
  g.plotVerticalPadding = 7;
  std::array<ChartArea, kChartAreaCount> areas;
  layoutChartAreas(g, areas);
  EXPECT_EQ(areas[kPlotArea].innerY, areas[kPlotArea].y + 3);
  EXPECT_EQ(areas[kPlotArea].innerH, areas[kPlotArea].h - 7);
  EXPECT_EQ(areas[kValueAxisArea].innerY, areas[kValueAxisArea].y + 3);
  EXPECT_EQ(areas[kTimeAxisArea].innerY, areas[kTimeAxisArea].y);
}

TEST(ChartTimeAxis, LabelAndGridRulesByWindowWidth) {
  EXPECT_TRUE(timeAxisUsesSeconds(149));
  EXPECT_EQ(timeLabelSecondStep(149), 30);
  EXPECT_FALSE(timeAxisUsesSeconds(150));
  EXPECT_EQ(timeGridMinuteStep(150), 1);
  EXPECT_EQ(timeGridMinuteStep(300), 1);
  EXPECT_EQ(timeLabelSecondStep(19), 5);
  EXPECT_EQ(timeLabelSecondStep(20), 10);
  EXPECT_EQ(timeLabelSecondStep(79), 20);
  EXPECT_EQ(timeGridMinuteStep(699), 1);
  EXPECT_EQ(timeGridMinuteStep(700), 5);
  EXPECT_EQ(timeGridMinuteStep(2500), 15);
  EXPECT_EQ(timeGridMinuteStep(5000), 30);
  EXPECT_EQ(timeGridMinuteStep(86400), 30);
}

}  // namespace
}  // namespace kestrune
