#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QScreen>
#include <QWidget>
#include <cstring>

#include "settings/record_convert.h"
#include "tests/support/qt_application.h"

namespace kestrune {
namespace {

void ensureApp() { test::ensureApplication(); }

TEST(RecordConvert, ColoursKeepRedInTheLowByte) {
  const QColor c = toQColor(0x00FF9A00);
  EXPECT_EQ(c, QColor(0, 154, 255));
  EXPECT_EQ(fromQColor(QColor(255, 154, 0)), 0x00009AFF);
  EXPECT_EQ(rgbColor(148, 0, 0), 0x00000094);
}

TEST(RecordConvert, DefaultFontRoundTripsByteForByte) {
  ensureApp();
  const LogFontRecord stored = defaultLogFont(96);
  const QFont f = toQFont(stored, 96);
  EXPECT_EQ(f.family(), "Arial");
  EXPECT_EQ(QFontInfo(f).pixelSize(), 11);  // on the 96-dpi test screen
  EXPECT_EQ(f.weight(), QFont::Normal);
  const LogFontRecord back = fromQFont(f, 96, stored);
  EXPECT_EQ(std::memcmp(&back, &stored, sizeof stored), 0);

  LogFontRecord bold = stored;
  bold.lfWeight = 700;
  bold.lfItalic = 1;
  bold.lfHeight = -20;
  const QFont b = toQFont(bold, 96);
  EXPECT_TRUE(b.bold());
  EXPECT_TRUE(b.italic());
  EXPECT_EQ(QFontInfo(b).pixelSize(), 20);
  EXPECT_EQ(fromQFont(b, 96, stored).lfWeight, 700);
}

// Heights are pixels of the screen that wrote them. The 8-point default is -11 at 96 dots per
// inch and -13 at 120 (a screen the toolkit scales by 1.25); read and written back on a screen of
// the same resolution every height is the same bytes, and it means the same size in points.
TEST(RecordConvert, FontHeightsRoundTripAtTheScreensResolution) {
  ensureApp();
  for (int dpi : {96, 120}) {
    const LogFontRecord stored = defaultLogFont(dpi);
    EXPECT_EQ(stored.lfHeight, dpi == 96 ? -11 : -13);
    for (std::int32_t height : {stored.lfHeight, std::int32_t{-7}, std::int32_t{-29}}) {
      LogFontRecord f = stored;
      f.lfHeight = height;
      const LogFontRecord back = fromQFont(toQFont(f, dpi), dpi, f);
      EXPECT_EQ(std::memcmp(&back, &f, sizeof f), 0) << dpi << " dpi, height " << height;
    }
  }
  EXPECT_DOUBLE_EQ(toQFont(defaultLogFont(120), 120).pointSizeF(), 7.8);  // 13 x 72 / 120
  EXPECT_DOUBLE_EQ(toQFont(defaultLogFont(96), 96).pointSizeF(), 8.25);   // 11 x 72 / 96

  // This program runs its tests once on a plain screen and once scaled by 1.25: the screen's
  // resolution counts the toolkit's scaling, so the defaults it stores are those of its pixels.
  const bool scaled = qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("1.25");
  EXPECT_EQ(screenFontDpi(), scaled ? 120 : 96);
}

TEST(RecordConvert, HostileFontFieldsGiveAUsableFont) {
  ensureApp();
  LogFontRecord f;
  std::memset(f.lfFaceName, 'Z', sizeof f.lfFaceName);  // no NUL
  f.lfHeight = INT32_MIN;
  f.lfWeight = -5;
  const QFont q = toQFont(f, 96);
  EXPECT_EQ(q.family().size(), 32);
  EXPECT_EQ(q.pointSizeF(), 750.0);  // held at 1000 pixels
  EXPECT_EQ(q.weight(), QFont::Normal);
  f.lfHeight = INT32_MAX;  // a cell height: 90% of the 1000 it is held at
  EXPECT_EQ(toQFont(f, 96).pointSizeF(), 675.0);
  f.lfHeight = -12;
  EXPECT_EQ(toQFont(f, -5).pointSizeF(), 9.0);  // no usable resolution: 96
}

TEST(RecordConvert, PlacementRoundTripsAndNeverLosesTheWindow) {
  ensureApp();
  QWidget w;
  w.setGeometry(40, 50, 700, 400);
  const WindowPlacementRecord p = placementOf(w);
  EXPECT_EQ(p.length, 44u);
  EXPECT_EQ(p.showCmd, kShowNormal);
  EXPECT_EQ(p.rcNormalPosition.right, 740);
  EXPECT_EQ(p.rcNormalPosition.bottom, 450);

  QWidget v;
  v.setGeometry(0, 0, 300, 200);
  applyPlacement(v, p);
  EXPECT_EQ(v.geometry(), QRect(40, 50, 700, 400));
  EXPECT_FALSE(v.isMinimized());

  // Minimised it is stored minimised and comes back so; minimised from maximised, it also comes
  // back maximised once restored.
  for (const Qt::WindowStates state :
       {Qt::WindowStates(Qt::WindowMinimized), Qt::WindowMinimized | Qt::WindowMaximized}) {
    QWidget m;
    m.setGeometry(40, 50, 700, 400);
    m.setWindowState(state);
    const WindowPlacementRecord stored = placementOf(m);
    EXPECT_EQ(stored.showCmd, kShowMinimized);
    EXPECT_EQ(stored.flags, (state & Qt::WindowMaximized) ? 2u : 0u);
    EXPECT_EQ(stored.rcNormalPosition.right, 740);
    QWidget back;
    applyPlacement(back, stored);
    EXPECT_EQ(back.windowState(), state);
    EXPECT_EQ(placementOf(back).showCmd, kShowMinimized);
  }

  WindowPlacementRecord empty = p;
  empty.rcNormalPosition = {100, 100, 100, 50};  // no area: ignored
  applyPlacement(v, empty);
  EXPECT_EQ(v.geometry(), QRect(40, 50, 700, 400));

  WindowPlacementRecord far = p;
  far.rcNormalPosition = {-90000, -90000, -89000, -89500};
  applyPlacement(v, far);
  EXPECT_EQ(v.size(), QSize(1000, 500));
  bool visible = false;
  for (QScreen* s : QGuiApplication::screens()) visible |= s->geometry().intersects(v.geometry());
  EXPECT_TRUE(visible);
}

}  // namespace
}  // namespace kestrune
