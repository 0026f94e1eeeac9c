#include "settings/record_convert.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrune {

QColor toQColor(ColorRef c) { return QColor(colorRed(c), colorGreen(c), colorBlue(c)); }

ColorRef fromQColor(const QColor& c) { return rgbColor(c.red(), c.green(), c.blue()); }

int screenFontDpi(const QScreen* screen) {
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 96;
  const double dpi = screen->logicalDotsPerInchY() * screen->devicePixelRatio();
  return dpi >= 1.0 && dpi <= 10000.0 ? static_cast<int>(std::lround(dpi)) : 96;
}

namespace {

int usableDpi(int dpiY) { return dpiY > 0 ? dpiY : 96; }

}  // namespace

QFont toQFont(const LogFontRecord& f, int dpiY) {
  QFont font;
  char face[kFaceNameSize + 1] = {};
  std::copy(f.lfFaceName, f.lfFaceName + kFaceNameSize, face);  // may lack its NUL
  font.setFamily(QString::fromLatin1(face));
  double points = 8.0;
  if (f.lfHeight != 0) {
    const std::int64_t height = f.lfHeight;
    // A cell height includes the internal leading; the character is about 90% of it.
    const double pixels = height < 0 ? static_cast<double>(std::min<std::int64_t>(-height, 1000))
                                     : std::min<std::int64_t>(height, 1000) * 0.9;
    points = std::max(pixels, 1.0) * 72.0 / usableDpi(dpiY);
  }
  font.setPointSizeF(points);
  // Stored weights run 0..1000 with 0 meaning the default (400).
  const int weight = f.lfWeight <= 0 ? 400 : std::clamp(f.lfWeight, 1, 1000);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(f.lfItalic != 0);
  font.setUnderline(f.lfUnderline != 0);
  font.setStrikeOut(f.lfStrikeOut != 0);
  return font;
}

LogFontRecord fromQFont(const QFont& font, int dpiY, const LogFontRecord& base) {
  LogFontRecord f = base;
  // A font sized in pixels has its size in points worked out on the screen it would be shown on.
  double points = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
  if (!(points > 0)) points = 8.0;
  f.lfHeight =
      -static_cast<std::int32_t>(std::lround(std::min(points * usableDpi(dpiY) / 72.0, 1000000.0)));
  f.lfWidth = 0;
  f.lfWeight = static_cast<std::int32_t>(font.weight());
  f.lfItalic = font.italic() ? 1 : 0;
  f.lfUnderline = font.underline() ? 1 : 0;
  f.lfStrikeOut = font.strikeOut() ? 1 : 0;
  copyFixedText(f.lfFaceName, sizeof f.lfFaceName, font.family().toLatin1().constData());
  return f;
}

WindowPlacementRecord placementOf(const QWidget& window) {
  WindowPlacementRecord p;
  const QRect r = window.isMaximized() || window.isMinimized() || window.isFullScreen()
                      ? window.normalGeometry()
                      : window.geometry();
  p.length = sizeof(WindowPlacementRecord);
  p.flags = 0;
  if (window.isMinimized()) {
    p.showCmd = kShowMinimized;
    // Minimised from maximised: it comes back maximised.
    if (window.windowState() & Qt::WindowMaximized) p.flags = kRestoreToMaximized;
  } else {
    p.showCmd = window.isMaximized() ? kShowMaximized : kShowNormal;
  }
  p.ptMinPosition = {-1, -1};
  p.ptMaxPosition = {-1, -1};
  p.rcNormalPosition = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  return p;
}

void applyPlacement(QWidget& window, const WindowPlacementRecord& p) {
  const RectRecord& rc = p.rcNormalPosition;
  const std::int64_t w = static_cast<std::int64_t>(rc.right) - rc.left;
  const std::int64_t h = static_cast<std::int64_t>(rc.bottom) - rc.top;
  if (w > 0 && h > 0 && w <= 100000 && h <= 100000) {
    QRect r(rc.left, rc.top, static_cast<int>(w), static_cast<int>(h));
    bool onScreen = false;
    for (QScreen* s : QGuiApplication::screens()) onScreen |= s->availableGeometry().intersects(r);
    if (!onScreen) {
      if (QScreen* primary = QGuiApplication::primaryScreen()) {
        r.moveTopLeft(primary->availableGeometry().topLeft());
      }
    }
    window.setGeometry(r);
  }
  switch (p.showCmd) {
    case kShowMaximized:
      window.setWindowState(window.windowState() | Qt::WindowMaximized);
      break;
    case kShowMinimized:
    case kShowMinimize:
    case kShowMinNoActive: {
      Qt::WindowStates state = window.windowState() | Qt::WindowMinimized;
      if (p.flags & kRestoreToMaximized) state |= Qt::WindowMaximized;
      window.setWindowState(state);
      break;
    }
    default:
      break;
  }
}

}  // namespace kestrune
