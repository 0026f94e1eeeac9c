#include "settings/record_convert.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

namespace kestrune {

QColor toQColor(ColorRef c) { return QColor(colorRed(c), colorGreen(c), colorBlue(c)); }

ColorRef fromQColor(const QColor& c) { return rgbColor(c.red(), c.green(), c.blue()); }

QFont toQFont(const LogFontRecord& f, int dpiY) {
  QFont font;
  char face[kFaceNameSize + 1] = {};
  std::copy(f.lfFaceName, f.lfFaceName + kFaceNameSize, face);  // may lack its NUL
  font.setFamily(QString::fromLatin1(face));
  if (f.lfHeight < 0) {
    font.setPixelSize(
        std::clamp(-static_cast<std::int64_t>(f.lfHeight), std::int64_t{1}, std::int64_t{1000}));
  } else if (f.lfHeight > 0) {
    // A cell height includes the internal leading; the character is about 90% of it.
    font.setPixelSize(std::clamp(f.lfHeight * 9 / 10, 1, 1000));
  } else {
    font.setPixelSize(std::max(1, mulDivRound(8, dpiY > 0 ? dpiY : 96, 72)));
  }
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
  int pixels = font.pixelSize();
  if (pixels <= 0) {
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 8.0;
    pixels = static_cast<int>(points * (dpiY > 0 ? dpiY : 96) / 72.0 + 0.5);
  }
  f.lfHeight = -pixels;
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
  p.showCmd = window.isMaximized() ? kShowMaximized : kShowNormal;
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
  if (p.showCmd == kShowMaximized) {
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
  }
}

}  // namespace kestrune
