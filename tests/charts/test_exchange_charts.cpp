// The three exchange charts drawn into their pictures: geometry, grid, clipping, legends, the
// scale modes and the control handlers, checked on the pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "charts/chart_lock.h"
#include "charts/chart_widget.h"
#include "charts/exchange_charts.h"

namespace kestrune {
namespace {

constexpr int W = 480;
constexpr int H = 210;

QRgb rgbOf(ColorRef c) { return qRgb(colorRed(c), colorGreen(c), colorBlue(c)); }

struct RecordingHost : ChartHost {
  std::vector<ChartId> ready;
  std::vector<int> alarms;
  std::vector<std::string> times;
  void showSampleTime(const char* t) override { times.emplace_back(t); }
  void driveCollectionWindow(std::int32_t) override {}
  void playChartAlarm(int slot) override { alarms.push_back(slot); }
  void chartPictureReady(ChartId c) override { ready.push_back(c); }
};

class ExchangeChartsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chartColors() = ChartColorTable{};
    charts = std::make_unique<ExchangeCharts>(settings);
    charts->setHost(&host);
    charts->resetSeriesStore(true);
    charts->setUpCharts(W, H);
    charts->setChartsReady(true);
  }

  ChartSeriesSet& series(ChartId id) { return charts->chart(id).series; }
  QImage draw(ChartId id) {
    {
      std::lock_guard<std::mutex> lock(chartLock());
      charts->drawChart(id);
    }
    return charts->finishedPicture(id);
  }

  static int countInRow(const QImage& img, int y, int x0, int x1, QRgb color) {
    int n = 0;
    for (int x = x0; x <= x1; ++x) n += img.pixel(x, y) == color ? 1 : 0;
    return n;
  }
  static int countInRect(const QImage& img, const QRect& r, QRgb color) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) n += countInRow(img, y, r.left(), r.right(), color);
    return n;
  }
  // Pixels that are neither of the two given colours.
  static int othersInRect(const QImage& img, const QRect& r, QRgb a, QRgb b) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      for (int x = r.left(); x <= r.right(); ++x) {
        const QRgb p = img.pixel(x, y);
        n += (p != a && p != b) ? 1 : 0;
      }
    }
    return n;
  }
  static int valueRow(double v, double top) { return static_cast<int>(22 + 169 - v * 169 / top); }

  MonitorSettings settings;
  RecordingHost host;
  std::unique_ptr<ExchangeCharts> charts;
};

TEST_F(ExchangeChartsTest, PlotFrameLiesAtItsPlace) {
  const QImage img = draw(ChartId::Reporting);
  ASSERT_EQ(img.width(), W);
  ASSERT_EQ(img.height(), H);
  const QRgb frame = rgbOf(chartColors().outlineFg);
  const QRgb insets = rgbOf(chartColors().insetsBk);
  // Frame round (5, 22) .. (5 + W - 62 - 1, 22 + H - 41 - 1).
  const int right = 5 + W - 62 - 1, bottom = 22 + H - 41 - 1;
  EXPECT_EQ(img.pixel(5, 22), frame);
  EXPECT_EQ(img.pixel(right, 22), frame);
  EXPECT_EQ(img.pixel(5, bottom), frame);
  EXPECT_EQ(img.pixel(right, bottom), frame);
  EXPECT_EQ(img.pixel(5, 100), frame);
  EXPECT_EQ(img.pixel(right, 100), frame);
  EXPECT_EQ(img.pixel(4, 100), insets);
  EXPECT_EQ(img.pixel(right + 1, 100), insets);
  EXPECT_EQ(img.pixel(100, 21), insets);
  EXPECT_EQ(img.pixel(100, bottom + 1), insets);

  // The grid stops inside the frame: the minute lines (x = 6 + 410 (i - 1) / 300 for the seconds
  // 60 .. 300) leave its top and bottom rows whole, the value lines its two sides.
  EXPECT_EQ(countInRow(img, 22, 5, right, frame), right - 5 + 1);
  EXPECT_EQ(countInRow(img, bottom, 5, right, frame), right - 5 + 1);
  for (int y = 22; y <= bottom; ++y) {
    EXPECT_EQ(img.pixel(5, y), frame) << y;
    EXPECT_EQ(img.pixel(right, y), frame) << y;
  }
  // A value line (10 of 25: row 22 + 169 - 67.6) dots the inner width, x = 5 .. 5 + 410 - 1,
  // from its left end on, and leaves the 8-pixel right padding free.
  const QRgb grid = rgbOf(chartColors().gridlineFg);
  const int row = valueRow(10, 25);
  ASSERT_EQ(row, 123);
  EXPECT_EQ(img.pixel(7, row), grid);
  EXPECT_EQ(img.pixel(413, row), grid);
  EXPECT_EQ(countInRow(img, row, 415, right - 1, grid), 0);
}

TEST_F(ExchangeChartsTest, AllZerosGridAtFiveTenFifteenTwenty) {
  const QImage img = draw(ChartId::Listing);
  const ChartSeries& s0 = series(ChartId::Listing)[0];
  EXPECT_EQ(s0.axisTop, 25);
  EXPECT_EQ(s0.tickStep, 5);
  const QRgb grid = rgbOf(chartColors().gridlineFg);
  for (double v : {5.0, 10.0, 15.0, 20.0}) {
    EXPECT_GT(countInRow(img, valueRow(v, 25), 6, 420, grid), 100) << v;
  }
  // Rows between grid lines only cross the dotted minute lines.
  EXPECT_LT(countInRow(img, valueRow(7.5, 25), 6, 420, grid), 20);
  // Labels 0 .. 25 in the value strip, white on the strip's background.
  const QRgb text = rgbOf(chartColors().insetsFg);
  EXPECT_GT(countInRect(img, QRect(W - 55, 14, 60, 180), text), 20);
  // The title in the title strip.
  EXPECT_GT(countInRect(img, QRect(5, 4, 200, 14), text), 20);
}

TEST_F(ExchangeChartsTest, ValueAboveHardTopIsClippedAtThePlot) {
  settings.smartScaleReporting = 0;
  settings.hardMaxReporting = 100;
  ChartWindow& w = charts->window();
  w.windowEnd = 34200;
  series(ChartId::Reporting)[0].values[34100] = 250;
  const QImage img = draw(ChartId::Reporting);
  EXPECT_EQ(series(ChartId::Reporting)[0].axisTop, 100);
  const QRgb line = rgbOf(chartColors().NQEXColor);
  EXPECT_GT(countInRect(img, QRect(6, 22, 410, 3), line), 0);  // reaches the top of the plot
  EXPECT_EQ(countInRect(img, QRect(0, 0, W, 22), line), 0);    // and nothing above it
}

TEST_F(ExchangeChartsTest, SmartScaleKeepsLargestTopWhenWindowMovesOn) {
  ChartWindow& w = charts->window();
  series(ChartId::Algo)[3].values[1000] = 1234;
  for (int s = 2000; s < 2400; ++s) series(ChartId::Algo)[3].values[s] = 30;
  w.windowEnd = 1100;
  draw(ChartId::Algo);
  const double burstTop = series(ChartId::Algo)[0].axisTop;
  EXPECT_GE(burstTop, 1400);
  w.windowEnd = 2300;
  draw(ChartId::Algo);
  EXPECT_EQ(series(ChartId::Algo)[0].axisTop, burstTop);
  EXPECT_EQ(series(ChartId::Algo)[3].axisTop, burstTop);  // shown series share the scale
  // Automatic scale (smart off, no hard max) follows the window instead.
  settings.smartScaleAlgo = 0;
  settings.hardMaxAlgo = 0;
  draw(ChartId::Algo);
  EXPECT_EQ(series(ChartId::Algo)[0].axisTop, 30);
  // A reset forgets the exchange drawing's smart top.
  charts->resetSeriesStore(false);
  settings.smartScaleAlgo = 1;
  draw(ChartId::Algo);
  EXPECT_EQ(series(ChartId::Algo)[0].axisTop, 25);
}

TEST_F(ExchangeChartsTest, EveryExchangeOffShowsNoLinesAndNoLegend) {
  settings.reportingExchangeOn.fill(0);
  ChartWindow& w = charts->window();
  w.windowEnd = 600;
  for (int e = 0; e < 16; ++e) {
    for (int s = 300; s <= 600; ++s) series(ChartId::Reporting)[e].values[s] = 10 + e;
  }
  const QImage img = draw(ChartId::Reporting);
  // Inside the frame only the background and the dotted grid remain.
  EXPECT_EQ(othersInRect(img, QRect(6, 23, 416, 167), rgbOf(chartColors().graphAreaBk),
                         rgbOf(chartColors().gridlineFg)),
            0);
  EXPECT_EQ(series(ChartId::Reporting)[0].axisTop, 25);  // the scale still follows NQEX
}

TEST_F(ExchangeChartsTest, LegendFillsColumnsOfFour) {
  const QRgb bk = rgbOf(chartColors().graphAreaBk);
  const QRgb grid = rgbOf(chartColors().gridlineFg);
  auto slotUsed = [&](const QImage& img, int k) {
    const int xOffsets[4] = {10, 55, 100, 145};
    return othersInRect(img, QRect(7 + xOffsets[k / 4], 25 + 15 * (k % 4), 30, 12), bk, grid) > 0;
  };
  QImage img = draw(ChartId::Listing);
  for (int k = 0; k < 16; ++k) EXPECT_TRUE(slotUsed(img, k)) << k;

  settings.listingExchangeOn.fill(0);
  for (int e : {0, 3, 6, 9, 12}) settings.listingExchangeOn[e] = 1;
  img = draw(ChartId::Listing);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(slotUsed(img, k), k < 5) << k;

  settings.colorLegendListing = 0;
  img = draw(ChartId::Listing);
  for (int k = 0; k < 16; ++k) EXPECT_FALSE(slotUsed(img, k)) << k;
}

TEST_F(ExchangeChartsTest, TotalOnlyShowsOneTotalLegendAndItsOwnScale) {
  settings.totalOnlyReporting = 1;
  ChartWindow& w = charts->window();
  w.windowEnd = 900;
  for (int e = 0; e < 16; ++e) series(ChartId::Reporting)[e].values[800] = 100;
  series(ChartId::Reporting)[kTotalSeries].values[800] = 1600;
  const QImage img = draw(ChartId::Reporting);
  EXPECT_EQ(series(ChartId::Reporting)[kTotalSeries].axisTop, 1750);  // 1600 in steps of 250
  const QRgb total = rgbOf(chartColors().totalColorReporting);
  EXPECT_GT(countInRect(img, QRect(17, 25, 45, 12), total), 0);  // "TOTAL"
  const QRgb bk = rgbOf(chartColors().graphAreaBk);
  const QRgb grid = rgbOf(chartColors().gridlineFg);
  EXPECT_EQ(othersInRect(img, QRect(17, 40, 45, 12), bk, grid), 0);  // no second entry
  EXPECT_EQ(othersInRect(img, QRect(62, 25, 45, 12), bk, grid), 0);  // no second column
  // Every exchange colour is absent: only the TOTAL line is drawn.
  EXPECT_EQ(countInRect(img, QRect(6, 23, 416, 167), rgbOf(chartColors().NYSEColor)), 0);
}

TEST_F(ExchangeChartsTest, NothingIsDrawnBeforeChartsAreReady) {
  charts->setChartsReady(false);
  host.ready.clear();
  charts->redrawAllCharts();
  EXPECT_TRUE(charts->takeListingSample("093000|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|"));
  EXPECT_TRUE(host.ready.empty());
  charts->setChartsReady(true);
  charts->redrawAllCharts();
  ASSERT_EQ(host.ready.size(), 3u);
  EXPECT_EQ(host.ready[0], ChartId::Reporting);
  EXPECT_EQ(host.ready[1], ChartId::Listing);
  EXPECT_EQ(host.ready[2], ChartId::Algo);
}

TEST_F(ExchangeChartsTest, LiveSampleRedrawsItsChartAndSoundsItsSlot) {
  settings.audioAlert[2].use = 1;
  settings.audioAlert[2].threshold = 5;
  charts->refreshAlarmSlots();
  host.ready.clear();
  EXPECT_TRUE(charts->takeReportingSample("093000|9|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|"));
  ASSERT_EQ(host.ready.size(), 1u);
  EXPECT_EQ(host.ready[0], ChartId::Reporting);
  ASSERT_EQ(host.alarms.size(), 1u);
  EXPECT_EQ(host.alarms[0], 2);
  EXPECT_EQ(charts->window().windowEnd, 34500);
  EXPECT_EQ(series(ChartId::Reporting)[kTotalSeries].values[34200], 9);
  EXPECT_FALSE(charts->takeAlgoSample("250000|9|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|"));
}

TEST_F(ExchangeChartsTest, HandlersFollowTheControls) {
  charts->onHardMaxEdited(ChartId::Listing, "");
  EXPECT_EQ(settings.hardMaxListing, 100);
  charts->onHardMaxEdited(ChartId::Listing, "250abc");
  EXPECT_EQ(settings.hardMaxListing, 250);
  EXPECT_FALSE(charts->onSmartScaleClicked(ChartId::Listing));
  EXPECT_EQ(settings.smartScaleListing, 0);
  EXPECT_EQ(series(ChartId::Listing)[0].axisTop, 250);
  EXPECT_TRUE(charts->onSmartScaleClicked(ChartId::Listing));
  charts->onColorLegendClicked(ChartId::Algo);
  EXPECT_EQ(settings.colorLegendAlgo, 0);
  charts->onTotalOnlyClicked(ChartId::Reporting);
  EXPECT_EQ(settings.totalOnlyReporting, 1);
}

TEST_F(ExchangeChartsTest, AbsurdSettingsAndWindowsDrawSafely) {
  settings.smartScaleAlgo = 0;
  settings.lineWidth = 1000000;
  ChartWindow& w = charts->window();
  for (double hard : {std::numeric_limits<double>::quiet_NaN(),
                      std::numeric_limits<double>::infinity(), -5.0, 1e308}) {
    settings.hardMaxAlgo = hard;
    for (int e = 0; e < 16; ++e) series(ChartId::Algo)[e].values[86399] = 2147483647.0;
    w.dataPoints = 300;
    w.windowEnd = 86600;  // a first reporting sample late in the day ends past midnight
    draw(ChartId::Algo);
    EXPECT_TRUE(std::isfinite(series(ChartId::Algo)[0].axisTop));
    w.dataPoints = 0;
    w.windowEnd = 5;
    draw(ChartId::Algo);
    w.dataPoints = -40;
    draw(ChartId::Algo);
  }
  settings.lineWidth = -3;
  w.dataPoints = 86400;
  w.windowEnd = 86399;
  const QImage img = draw(ChartId::Algo);
  EXPECT_EQ(img.width(), W);
}

TEST_F(ExchangeChartsTest, WidgetShowsTheLastFinishedPicture) {
  series(ChartId::Listing)[2].values[200] = 20;
  const QImage picture = draw(ChartId::Listing);
  ChartWidget widget(*charts, ChartId::Listing);
  widget.resize(W, H);
  const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), picture.size());
  EXPECT_EQ(shown, picture.convertToFormat(QImage::Format_RGB32));
}

// The pointer over the real widget: the tooltip reads the stored values at the second under it,
// largest first (equal ones in legend order, a switched-off exchange left out), TOTAL last; the
// line marks that column on the surface but never in the picture; off the data both go away.
TEST_F(ExchangeChartsTest, ReadoutUnderThePointerShowsTheStoredValues) {
  ChartSeriesSet& s = series(ChartId::Listing);
  settings.listingExchangeOn[3] = 0;
  charts->window().windowEnd = 34900;  // seconds 34601..34900
  const std::int32_t seconds[] = {34601, 34700, 34877};
  for (std::int32_t t : seconds) {
    s[0].values[t] = 30 + t % 7;
    s[1].values[t] = 17;
    s[4].values[t] = 17;
    s[3].values[t] = 40;  // largest, but not drawn
    s[kTotalSeries].values[t] = s[0].values[t] + 17 + 17 + 40;
  }
  const QImage picture = draw(ChartId::Listing);
  ChartWidget widget(*charts, ChartId::Listing);
  widget.resize(W, H);
  widget.show();
  const RyxChartTemplate& t = charts->chart(ChartId::Listing);
  const ChartTimeAxis axis =
      chartTimeAxis(t.areas[kPlotArea], t.firstIndex, t.lastIndex, t.pixelsPerPoint);
  auto pointAt = [&](QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
  };
  const ChartReadoutTip* tip = widget.readoutTip();
  for (std::int32_t second : seconds) {
    const QPoint at(pixelOfSecond(axis, second), 120);
    pointAt(at);
    ASSERT_TRUE(tip->isVisible()) << second;
    const QStringList lines = tip->lines();
    ASSERT_EQ(lines.size(), 1 + 15 + 1) << lines.join('|').toStdString();
    EXPECT_EQ(lines.mid(0, 5), (QStringList{QString::fromStdString(timeOfDayText(second)),
                                            "NQEX " + QString::number(s[0].values[second]),
                                            "NYSE 17", "BATS 17", "BOST 0"}));
    EXPECT_EQ(lines.last(), "TOTAL " + QString::number(s[kTotalSeries].values[second]));
    EXPECT_FALSE(lines.join(' ').contains("PACF"));  // switched off
    EXPECT_EQ(tip->rows()[1].color.rgb(), rgbOf(chartColors().NYSEColor));
    EXPECT_EQ(tip->geometry().topLeft(), widget.mapToGlobal(at) + QPoint(16, 16));

    EXPECT_EQ(widget.markedColumn(), at.x());
    const QImage shown = widget.grab().toImage();
    EXPECT_EQ(shown.pixel(at.x(), 30), qRgb(255, 0, 0));  // the marker, from the top of the plot
    EXPECT_EQ(charts->finishedPicture(ChartId::Listing), picture);
  }
  EXPECT_EQ(tip->lines()[0], "09:41:17");
  charts->onTotalOnlyClicked(ChartId::Listing);  // only TOTAL is drawn, only TOTAL is read
  pointAt(QPoint(pixelOfSecond(axis, 34877), 120));
  EXPECT_EQ(tip->lines(), (QStringList{"09:41:17", "TOTAL 107"}));

  pointAt(QPoint(axis.right - 2, 120));  // the plot's right padding holds no second
  EXPECT_FALSE(widget.markedColumn());
  EXPECT_FALSE(tip->isVisible());
  pointAt(QPoint(pixelOfSecond(axis, 34700), 120));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&widget, &leave);
  EXPECT_FALSE(widget.markedColumn());
  EXPECT_FALSE(tip->isVisible());
}

// Seconds between the first and the newest sample that no sample covers are shaded behind the
// lines and read as "no data"; before the first sample nothing is shaded.
TEST_F(ExchangeChartsTest, SecondsWithoutASampleAreShadedAndReadNoData) {
  charts->window().windowEnd = 34900;  // seconds 34601..34900
  char text[96];
  for (int t = 34610; t <= 34900; ++t) {
    if (t > 34650 && t < 34700) continue;  // the link was down
    std::snprintf(text, sizeof text, "%02d%02d%02d|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|", t / 3600,
                  t / 60 % 60, t % 60);
    ASSERT_TRUE(charts->replayListingSample(text));
  }
  const QImage picture = draw(ChartId::Listing);
  const RyxChartTemplate& t = charts->chart(ChartId::Listing);
  const ChartTimeAxis axis =
      chartTimeAxis(t.areas[kPlotArea], t.firstIndex, t.lastIndex, t.pixelsPerPoint);
  const QRgb background = rgbOf(chartColors().graphAreaBk);
  const QRgb band = rgbOf(static_cast<ColorRef>(t.gapBandColor()));
  ASSERT_NE(band, background);
  const int y = 100;  // below the legend, above the lines
  const QRect gapColumns(pixelOfSecond(axis, 34651), y,
                         pixelOfSecond(axis, 34700) - 1 - pixelOfSecond(axis, 34651) + 1, 1);
  // The whole gap is shaded, except where a minute line crosses it.
  EXPECT_EQ(othersInRect(picture, gapColumns, band, rgbOf(chartColors().gridlineFg)), 0);
  EXPECT_GT(countInRect(picture, gapColumns, band), gapColumns.width() - 3);
  EXPECT_EQ(picture.pixel(pixelOfSecond(axis, 34650), y), background);
  EXPECT_EQ(picture.pixel(pixelOfSecond(axis, 34700), y), background);
  EXPECT_EQ(picture.pixel(pixelOfSecond(axis, 34605), y), background);  // before the first sample

  ChartWidget widget(*charts, ChartId::Listing);
  widget.resize(W, H);
  widget.show();
  auto readAt = [&](int second) {
    const QPoint at(pixelOfSecond(axis, second), 120);
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
    return widget.readoutTip()->lines();
  };
  EXPECT_EQ(readAt(34675), (QStringList{"09:37:55", "no data "}));
  EXPECT_EQ(readAt(34700).last(), "TOTAL 16");
  EXPECT_EQ(readAt(34605).last(), "TOTAL 0");  // before the day's first sample: a count

  // A new session's reset forgets the gaps with the samples.
  charts->resetSeriesStore(false);
  charts->window().windowEnd = 34900;
  EXPECT_EQ(draw(ChartId::Listing).pixel(pixelOfSecond(axis, 34675), y), background);
}

// The context menu's actions: the picture to the clipboard and to a PNG file, the drawn window's
// seconds to a CSV file; a file that cannot be written is reported, never claimed as saved.
TEST_F(ExchangeChartsTest, ChartMenuCopiesSavesAndExportsTheDrawnWindow) {
  ChartSeriesSet& s = series(ChartId::Algo);
  charts->window().dataPoints = 3;
  charts->window().windowEnd = 34202;
  for (int e = 0; e <= kTotalSeries; ++e) s[e].values[34200] = e;
  s[1].values[34202] = 250;
  s[kTotalSeries].values[34202] = 250;
  const QImage picture = draw(ChartId::Algo);
  ChartWidget widget(*charts, ChartId::Algo);
  QTemporaryDir dir;
  QString chosen;
  QStringList messages;
  widget.chooseFile = [&](QWidget*, const QString&, const QString&, const QString&) {
    return chosen;
  };
  widget.showMessage = [&](const QString&, const QString& text) { messages << text; };

  widget.copyAction()->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), picture);

  chosen = dir.filePath("algo.csv");
  widget.exportCsvAction()->trigger();
  QFile csv(chosen);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().toStdString(),
            "Time,NQEX,NYSE,BOST,PACF,BATS,ISEX,CINC,CBOE,CHIC,AMEX,EDGX,EDGE,BATY,PHIL,NQNM,NSML,"
            "TOTAL\r\n"
            "09:30:00,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\r\n"
            "09:30:01,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
            "09:30:02,0,250,0,0,0,0,0,0,0,0,0,0,0,0,0,0,250\r\n");

  chosen = dir.filePath("algo.png");
  EXPECT_EQ(widget.saveChartAsPng(), SaveOutcome::Saved);
  EXPECT_EQ(QImage(chosen).convertToFormat(QImage::Format_RGB32), picture);
  EXPECT_TRUE(messages.isEmpty());

  chosen = dir.filePath("missing/algo.png");
  EXPECT_EQ(widget.saveChartAsPng(), SaveOutcome::Failed);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Save Chart as PNG failed: could not write"))
      << messages[0].toStdString();
  chosen.clear();  // the chooser closed without a file
  EXPECT_EQ(widget.exportWindowCsv(), SaveOutcome::Cancelled);
  EXPECT_EQ(messages.size(), 1);
}

// The receive thread draws its chart while the window thread redraws and copies pictures: every
// picture a widget gets is a whole one, and nothing is torn down under anybody.
TEST_F(ExchangeChartsTest, LiveIntakeAndWindowThreadShareThePictures) {
  std::atomic<bool> done{false};
  std::thread receiver([&] {
    char text[128];
    for (int s = 34200; s < 34200 + 120; ++s) {
      std::snprintf(text, sizeof(text), "%02d%02d%02d|%d|1|1|1|1|1|1|1|1|1|1|1|1|1|1|1|", s / 3600,
                    (s / 60) % 60, s % 60, (s - 34200) % 97);
      charts->takeListingSample(text);
      charts->takeAlgoSample(text);
    }
    done = true;
  });
  int copies = 0;
  while (!done.load()) {
    charts->redrawAllCharts();
    const QImage picture = charts->finishedPicture(ChartId::Listing);
    ASSERT_EQ(picture.size(), QSize(W, H));
    ++copies;
  }
  receiver.join();
  EXPECT_GT(copies, 0);
  EXPECT_EQ(charts->window().latestSecond, 34200 + 119);
  EXPECT_EQ(series(ChartId::Listing)[0].values[34200 + 96], 96);
}

}  // namespace
}  // namespace kestrune
