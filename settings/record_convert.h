// The file keeps colours, fonts and the frame placement in their fixed binary records; these
// helpers turn them into Qt's colours, fonts and window geometry and back, only at the edge.
#pragma once

#include <QColor>
#include <QFont>

#include "settings/monitor_settings.h"

class QScreen;
class QWidget;

namespace kestrune {

QColor toQColor(ColorRef c);
ColorRef fromQColor(const QColor& c);

// Vertical dots per inch of the screen in its own device pixels: the toolkit's logical
// resolution times the scaling it applies on high-resolution screens (120 on a screen the toolkit
// scales by 1.25). Stored font heights are measured in these pixels. 96 without a screen.
int screenFontDpi(const QScreen* screen = nullptr);  // null: the primary screen

// A font from its stored description on a screen of dpiY device pixels per inch: a negative
// height is the character height in those pixels, a positive one the cell height; 0 means the
// 8-point default. The font is sized in points, so it looks the same wherever the toolkit draws
// it, scaled or not.
QFont toQFont(const LogFontRecord& f, int dpiY);

// The description of a Qt font at dpiY device pixels per inch. Fields Qt has no notion of
// (escapement, orientation, character set, precisions, quality, pitch) are taken from base, so a
// font that was only read and shown is stored back unchanged.
LogFontRecord fromQFont(const QFont& font, int dpiY, const LogFontRecord& base);

// The frame's placement as the file keeps it: its normal rectangle and whether it is maximised
// or minimised (and then whether it comes back maximised).
WindowPlacementRecord placementOf(const QWidget& window);

// Applies a stored placement. A rectangle without area is ignored, and one that lies on no
// screen is moved onto the primary screen so the window can never be lost off-screen.
void applyPlacement(QWidget& window, const WindowPlacementRecord& p);

}  // namespace kestrune
