#include "charts/ryx_chart_template.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "charts/chart_scale.h"

namespace kestrune {

namespace {

QColor qColorOf(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Pictures larger than this are refused: a surface comes from a widget, never from data.
constexpr std::int32_t kMaxSurfaceSide = 16384;

}  // namespace

RyxChartTemplate::RyxChartTemplate() {
  struct Defaults {
    std::uint32_t outer, inner, text, frame;
  };
  static constexpr Defaults kDefaults[kChartAreaCount] = {
      {0xFAFAFA, 0xF0F0F0, 0x2D2D2D, 0x2D2D2D},  // plot
      {0xFAFAFA, 0xFAFAFA, 0x2D2D2D, 0x282828},  // time strip
      {0xFAFAFA, 0xFAFAFA, 0x2D2D2D, 0x282828},  // value strip
      {0xF0F0F0, 0xF0F0F0, 0x2D2D2D, 0x2D2D2D},  // title strip
      {0xF0F0F0, 0xF0F0F0, 0x2D2D2D, 0x000000},  // right half of the title strip
  };
  for (int i = 0; i < kChartAreaCount; ++i) {
    areas[i].outerColor = kDefaults[i].outer;
    areas[i].innerColor = kDefaults[i].inner;
    areas[i].textColor = kDefaults[i].text;
    areas[i].frameColor = kDefaults[i].frame;
  }
  colors.chartDotLineColor = 0xFFFFFF;
}

void RyxChartTemplate::init(std::int32_t width, std::int32_t height) { resize(width, height); }

void RyxChartTemplate::resize(std::int32_t width, std::int32_t height) {
  geometry.width = std::clamp(width, 0, kMaxSurfaceSide);
  geometry.height = std::clamp(height, 0, kMaxSurfaceSide);
  image_ = QImage(std::max(geometry.width, 1), std::max(geometry.height, 1), QImage::Format_RGB32);
  image_.fill(qColorOf(areas[kPlotArea].outerColor));
  finished_ = image_.copy();
  computeAreas();
}

void RyxChartTemplate::computeAreas() {
  layoutChartAreas(geometry, areas);
  pixelsPerPoint = pixelsPerPointFor(areas[kPlotArea].innerW, firstIndex, lastIndex);
}

void RyxChartTemplate::layoutPlot() { computeAreas(); }

void RyxChartTemplate::applyColors(const ChartTemplateColors& c) {
  colors = c;
  copyColorsToAreas();
}

void RyxChartTemplate::copyColorsToAreas() {
  for (ChartArea& a : areas) {
    a.outerColor = colors.insetsBk;
    a.innerColor = colors.insetsBk;
    a.frameColor = colors.outlineFg;
  }
  areas[kPlotArea].innerColor = colors.graphAreaBk;
  areas[kPlotArea].textColor = colors.graphAreaBk;
  areas[kTimeAxisArea].textColor = colors.insetsFg;
  areas[kValueAxisArea].textColor = colors.insetsFg;
  areas[kTitleArea].textColor = colors.chartAuxFg;
  areas[kTitleRightArea].textColor = colors.chartAuxFg;
}

void RyxChartTemplate::setSeriesLabel(ChartSeries& s, const char* name, std::uint32_t color) {
  setSeriesName(s, name);
  s.color = color;
}

PixelSurface RyxChartTemplate::surface() {
  PixelSurface s;
  s.bits = reinterpret_cast<std::uint32_t*>(image_.bits());
  s.width = image_.width();
  s.height = image_.height();
  s.stride = static_cast<std::int32_t>(image_.bytesPerLine() / 4);
  return s;
}

PixelClip RyxChartTemplate::plotClip() const {
  const ChartArea& p = areas[kPlotArea];
  return clipRect(p.x + p.insetLeft, p.y + p.insetTop, p.w - p.insetLeft - p.insetRight,
                  p.h - p.insetTop - p.insetBottom);
}

PixelClip RyxChartTemplate::gridClip() const {
  // The frame is drawn on the edge of the plot's inner rectangle; grid lines stay inside it.
  PixelClip c = plotClip();
  if (areas[kPlotArea].drawFrame) {
    ++c.left;
    ++c.top;
    --c.right;
    --c.bottom;
  }
  return c;
}

void RyxChartTemplate::clear() { image_.fill(qColorOf(areas[kPlotArea].outerColor)); }

void RyxChartTemplate::drawFrames() {
  drawAreaFrame(areas[kTimeAxisArea]);
  drawAreaFrame(areas[kValueAxisArea]);
  drawAreaFrame(areas[kTitleArea]);
  drawAreaFrame(areas[kTitleRightArea]);
  drawAreaFrame(areas[kPlotArea]);
}

void RyxChartTemplate::drawArea(int index) {
  if (index < 0 || index >= kChartAreaCount) return;
  drawAreaFrame(areas[index]);
}

void RyxChartTemplate::drawAreaFrame(const ChartArea& a) {
  PixelSurface s = surface();
  const PixelClip all = surfaceClip(s);
  fillRect(s, all, a.x, a.y, a.w, a.h, surfacePixel(a.outerColor));
  const std::int32_t ix = a.x + a.insetLeft, iy = a.y + a.insetTop;
  const std::int32_t iw = a.w - a.insetLeft - a.insetRight, ih = a.h - a.insetTop - a.insetBottom;
  fillRect(s, all, ix, iy, iw, ih, surfacePixel(a.innerColor));
  if (a.drawFrame) frameRect(s, all, ix, iy, iw, ih, surfacePixel(a.frameColor));
}

void RyxChartTemplate::drawText(int x, int y, const char* text, std::uint32_t color,
                                std::uint32_t background, const PixelClip* clip) {
  if (text == nullptr || text[0] == '\0') return;
  const QString s = QString::fromLatin1(text);
  QPainter p(&image_);
  QFont f = font ? *font : QFont();
  // Solid glyphs in exactly the text colour, as the rest of the chart is drawn.
  f.setStyleStrategy(QFont::NoAntialias);
  p.setFont(f);
  if (clip != nullptr) {
    if (clip->empty()) return;
    p.setClipRect(
        QRect(clip->left, clip->top, clip->right - clip->left + 1, clip->bottom - clip->top + 1));
  }
  const QFontMetrics fm(f);
  const QRect box(x, y, fm.horizontalAdvance(s), fm.height());
  p.fillRect(box, qColorOf(background));  // text is drawn opaque, on its cell
  p.setPen(qColorOf(color));
  p.drawText(QPoint(x, y + fm.ascent()), s);
}

void RyxChartTemplate::drawCaption(const ChartArea& a) {
  if (a.innerY < 3) {
    drawText(a.x + a.insetLeft + 4, a.y + 4, caption, a.textColor, a.outerColor);
  } else {
    drawText(a.x + a.insetLeft, a.y + 1, caption, a.textColor, a.outerColor);
  }
}

void RyxChartTemplate::scaleFirstSeries(ChartSeries& s, double startMax) {
  kestrune::scaleFirstSeries(s, firstIndex, lastIndex, areas[kPlotArea].innerH, startMax);
  pixelsPerPoint = pixelsPerPointFor(areas[kPlotArea].innerW, firstIndex, lastIndex);
}

void RyxChartTemplate::scaleNextSeries(ChartSeries& s, ChartSeries& first) {
  kestrune::scaleNextSeries(s, first, firstIndex, lastIndex, areas[kPlotArea].innerH);
  pixelsPerPoint = pixelsPerPointFor(areas[kPlotArea].innerW, firstIndex, lastIndex);
}

void RyxChartTemplate::scaleFixed(ChartSeries& s, double maximum) {
  kestrune::scaleFixed(s, maximum, areas[kPlotArea].innerH);
  pixelsPerPoint = pixelsPerPointFor(areas[kPlotArea].innerW, firstIndex, lastIndex);
}

std::int32_t RyxChartTemplate::valueY(const ChartSeries& s, double v) const {
  const ChartArea& p = areas[kPlotArea];
  return toPixel(p.innerY + p.innerH - v * s.pixelsPerUnit);
}

void RyxChartTemplate::drawValueGrid(const ChartSeries& s) {
  if (!(s.windowMax > 0.0) || !(s.tickStep > 0.0)) return;
  const ChartArea& p = areas[kPlotArea];
  PixelSurface surf = surface();
  const PixelClip clip = gridClip();
  const std::uint32_t pixel = surfacePixel(colors.gridlineFg);
  const std::int32_t top = p.innerY, bottom = p.innerY + p.innerH;
  // Across the inner width only: the right padding stays free of lines.
  const std::int32_t left = p.x + p.insetLeft, right = left + p.innerW - 1;
  // The step is at least 5 and the top at most a few steps above 10,000: a short loop.
  for (double v = 0.0; v <= s.windowMax; v += s.tickStep) {
    const std::int32_t y = valueY(s, v);
    if (y > top && y < bottom) dottedHLine(surf, clip, left, right, y, pixel);
  }
}

namespace {

// a moved parts/4 of the way to b, channel by channel (0x00BBGGRR).
std::uint32_t mixColor(std::uint32_t a, std::uint32_t b, std::uint32_t parts) {
  std::uint32_t out = 0;
  for (int shift : {0, 8, 16}) {
    const std::uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= ((ca * (4 - parts) + cb * parts) / 4) << shift;
  }
  return out;
}

}  // namespace

std::uint32_t RyxChartTemplate::gapBandColor() const {
  return mixColor(colors.graphAreaBk, colors.outlineFg, 1);
}

std::uint32_t RyxChartTemplate::typicalBandColor(std::uint32_t lineColor) const {
  return mixColor(colors.graphAreaBk, lineColor, 1);
}

std::uint32_t RyxChartTemplate::typicalMedianColor(std::uint32_t lineColor) const {
  return mixColor(colors.graphAreaBk, lineColor, 2);
}

bool RyxChartTemplate::typicalSpan(const TypicalBand& band, std::int32_t& first,
                                   std::int32_t& last) const {
  first = std::max(firstIndex, 0);
  last = std::min(lastIndex, kLastSecondOfDay);
  return !band.empty() && last >= first;
}

void RyxChartTemplate::drawTypicalBand(const TypicalBand& band, const ChartSeries& scale,
                                       std::uint32_t lineColor) {
  std::int32_t first = 0, last = 0;
  if (!typicalSpan(band, first, last)) return;
  const ChartArea& p = areas[kPlotArea];
  PixelSurface surf = surface();
  const PixelClip clip = gridClip();
  const std::uint32_t pixel = surfacePixel(typicalBandColor(lineColor));
  auto xOf = [&](std::int32_t i) {
    return toPixel(p.dataLeft + (i - firstIndex) * pixelsPerPoint);
  };
  // The seconds that share a pixel column make one span there, from their lowest 10th to their
  // highest 90th percentile; a second wider than a column fills up to the next second's.
  bool any = false;
  std::int32_t left = 0, right = 0;
  double lo = 0.0, hi = 0.0;
  auto fill = [&] {
    if (!any) return;
    const std::int32_t top = valueY(scale, hi), bottom = valueY(scale, lo);
    fillRect(surf, clip, left, top, right - left + 1, bottom - top + 1, pixel);
  };
  for (std::int32_t s = first; s <= last; ++s) {
    const std::int32_t x0 = xOf(s);
    const std::int32_t x1 = std::max(x0, xOf(s + 1) - 1);
    if (s == first || x0 > right) {
      fill();
      any = false;
      left = x0;
      right = x1;
    } else {
      right = std::max(right, x1);
    }
    const double l = band.low[static_cast<std::size_t>(s)];
    const double h = band.high[static_cast<std::size_t>(s)];
    if (!std::isfinite(l) || !std::isfinite(h)) continue;
    lo = any ? std::min(lo, l) : l;
    hi = any ? std::max(hi, h) : h;
    any = true;
  }
  fill();
}

void RyxChartTemplate::drawTypicalMedian(const TypicalBand& band, const ChartSeries& scale,
                                         std::uint32_t lineColor) {
  std::int32_t first = 0, last = 0;
  if (!typicalSpan(band, first, last)) return;
  const ChartArea& p = areas[kPlotArea];
  PixelSurface surf = surface();
  const std::uint32_t pixel = surfacePixel(typicalMedianColor(lineColor));
  SeriesMapping map;
  map.pixelsPerPoint = pixelsPerPoint;
  map.baseY = p.innerY + p.innerH;
  map.pixelsPerUnit = scale.pixelsPerUnit;
  // One line per run of seconds that have a median: none is drawn across seconds no day knows.
  const double* median = band.median.data();
  for (std::int32_t s = first; s <= last; ++s) {
    if (!std::isfinite(median[s])) continue;
    std::int32_t end = s;
    while (end < last && std::isfinite(median[end + 1])) ++end;
    map.dataLeft = p.dataLeft + (s - firstIndex) * pixelsPerPoint;
    seriesVertices(median + s, 0, end - s, map, reduceColumns_, vertices_);
    drawPolyline(surf, plotClip(), vertices_, 1, pixel);
    s = end;
  }
}

void RyxChartTemplate::drawGapBands(const SecondCoverage& cover) {
  if (cover.first() < 0) return;
  const std::int32_t first = std::max({firstIndex, 0, cover.first() + 1});
  const std::int32_t last = std::min({lastIndex, kLastSecondOfDay, cover.last() - 1});
  if (last < first) return;
  const ChartArea& p = areas[kPlotArea];
  PixelSurface surf = surface();
  const PixelClip clip = gridClip();
  const std::uint32_t pixel = surfacePixel(gapBandColor());
  auto xOf = [&](std::int32_t i) {
    return toPixel(p.dataLeft + (i - firstIndex) * pixelsPerPoint);
  };
  // Second i owns the columns from its own up to the next second's; runs of uncovered seconds
  // that meet in a column are filled as one band, so a full day costs at most one fill a column.
  bool open = false;
  std::int32_t bandLeft = 0, bandRight = 0;
  auto fill = [&] {
    fillRect(surf, clip, bandLeft, clip.top, bandRight - bandLeft + 1, clip.bottom - clip.top + 1,
             pixel);
  };
  for (std::int32_t s = first; s <= last; ++s) {
    if (cover.covered(s)) continue;
    const std::int32_t runStart = s;
    while (s < last && !cover.covered(s + 1)) ++s;
    const std::int32_t x0 = xOf(runStart);
    const std::int32_t x1 = std::max(x0, xOf(s + 1) - 1);
    if (open && x0 <= bandRight + 1) {
      bandRight = std::max(bandRight, x1);
      continue;
    }
    if (open) fill();
    bandLeft = x0;
    bandRight = x1;
    open = true;
  }
  if (open) fill();
}

void RyxChartTemplate::drawSeries(const ChartSeries& s, std::int32_t lineWidth) {
  const std::int32_t first = std::max(firstIndex, 0);
  const std::int32_t last = std::min(lastIndex, kLastSecondOfDay);
  if (last < first) return;
  const ChartArea& p = areas[kPlotArea];
  SeriesMapping map;
  // Point i lies at dataLeft + (i - firstIndex) * pixelsPerPoint; measure from firstIndex even
  // when the window was cut at the start of the day.
  map.dataLeft = p.dataLeft + (first - firstIndex) * pixelsPerPoint;
  map.pixelsPerPoint = pixelsPerPoint;
  map.baseY = p.innerY + p.innerH;
  map.pixelsPerUnit = s.pixelsPerUnit;
  seriesVertices(s.values, first, last, map, reduceColumns_, vertices_);
  PixelSurface surf = surface();
  drawPolyline(surf, plotClip(), vertices_, std::clamp(lineWidth, 1, 16), surfacePixel(s.color));
}

void RyxChartTemplate::drawValueLabels(const ChartSeries& s) {
  if (!(s.tickStep > 0.0)) return;
  const ChartArea& va = areas[kValueAxisArea];
  char text[32];
  for (double v = 0.0; v <= s.windowMax + 0.02; v += s.tickStep) {
    std::snprintf(text, sizeof(text), "%0.0f", v);
    const int x = va.innerX + (v >= 10000.0 ? 8 : 12);
    drawText(x, valueY(s, v) - 6, text, va.textColor, va.outerColor);
  }
}

void RyxChartTemplate::drawTimeGrid(const std::int32_t* secondOf, const std::int32_t* minuteOf) {
  const std::int32_t first = std::max(firstIndex, 0);
  const std::int32_t last = std::min(lastIndex, kLastSecondOfDay);
  if (last < first || secondOf == nullptr || minuteOf == nullptr) return;
  const std::int32_t n = lastIndex - firstIndex + 1;
  const ChartArea& p = areas[kPlotArea];
  PixelSurface surf = surface();
  const PixelClip clip = gridClip();
  const std::uint32_t pixel = surfacePixel(colors.gridlineFg);
  const std::int32_t k = timeGridMinuteStep(n);
  const bool seconds = timeAxisUsesSeconds(n);
  for (std::int32_t i = first; i <= last; ++i) {
    const bool line = seconds ? secondOf[i] % 10 == 0 : secondOf[i] == 0 && minuteOf[i] % k == 0;
    if (!line) continue;
    const std::int32_t x = toPixel(p.dataLeft + (i - firstIndex) * pixelsPerPoint);
    dottedVLine(surf, clip, x, p.y + p.insetTop, p.y + p.h - p.insetBottom - 1, pixel);
  }
}

void RyxChartTemplate::drawTimeLabels(const std::int32_t* hourOf, const std::int32_t* minuteOf,
                                      const std::int32_t* secondOf) {
  const std::int32_t first = std::max(firstIndex, 0);
  const std::int32_t last = std::min(lastIndex, kLastSecondOfDay);
  if (last < first || hourOf == nullptr || minuteOf == nullptr || secondOf == nullptr) return;
  const std::int32_t n = lastIndex - firstIndex + 1;
  const ChartArea& t = areas[kTimeAxisArea];
  const PixelClip clip =
      clipRect(t.x + t.insetLeft, t.y + t.insetTop, t.w - t.insetLeft - t.insetRight,
               t.h - t.insetTop - t.insetBottom);
  const bool seconds = timeAxisUsesSeconds(n);
  const std::int32_t secondStep = timeLabelSecondStep(n);
  const std::int32_t minuteStep = timeGridMinuteStep(n);
  char text[16];
  for (std::int32_t i = first; i <= last; ++i) {
    const bool label =
        seconds ? secondOf[i] % secondStep == 0 : secondOf[i] == 0 && minuteOf[i] % minuteStep == 0;
    if (!label) continue;
    const double x = t.dataLeft + (i - firstIndex) * pixelsPerPoint;
    if (x < 0.0) continue;
    const std::int32_t tickX = toPixel(x + pixelsPerPoint);
    PixelSurface surf = surface();
    solidVLine(surf, clip, tickX, t.y + 1, t.y + t.h - 2, 0xFF000000u);
    if (seconds) {
      std::snprintf(text, sizeof(text), "%02d:%02d:%02d", hourOf[i] % 100, minuteOf[i] % 100,
                    secondOf[i] % 100);
    } else {
      std::snprintf(text, sizeof(text), "%02d:%02d", hourOf[i] % 100, minuteOf[i] % 100);
    }
    drawText(toPixel(x) - 16, t.y + 2, text, t.textColor, t.outerColor, &clip);
  }
}

void RyxChartTemplate::drawLegendEntry(const ChartSeries& s, std::int32_t y, std::int32_t xOffset) {
  drawText(areas[kPlotArea].innerX + xOffset, y, s.name, s.color, colors.graphAreaBk);
}

void RyxChartTemplate::drawTitle(const char* text) {
  drawText(5, 4, text, colors.insetsFg, areas[kPlotArea].outerColor);
}

void RyxChartTemplate::copyTo() { finished_ = image_; }

}  // namespace kestrune
