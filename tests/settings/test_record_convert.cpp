#include <gtest/gtest.h>

#include <QApplication>
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
  EXPECT_EQ(f.pixelSize(), 11);
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
  EXPECT_EQ(b.pixelSize(), 20);
  EXPECT_EQ(fromQFont(b, 96, stored).lfWeight, 700);
}

TEST(RecordConvert, HostileFontFieldsGiveAUsableFont) {
  ensureApp();
  LogFontRecord f;
  std::memset(f.lfFaceName, 'Z', sizeof f.lfFaceName);  // no NUL
  f.lfHeight = INT32_MIN;
  f.lfWeight = -5;
  const QFont q = toQFont(f, 96);
  EXPECT_EQ(q.family().size(), 32);
  EXPECT_GT(q.pixelSize(), 0);
  EXPECT_EQ(q.weight(), QFont::Normal);
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
