#include "charts/chart_raster.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrune {

namespace {

// Pixel coordinates stay within this range so that line arithmetic never overflows; anything
// beyond lies far outside every picture and is clipped anyway.
constexpr double kCoordLimit = 67108864.0;  // 2^26

std::int64_t roundDiv(std::int64_t num, std::int64_t den) {
  if (den < 0) {
    num = -num;
    den = -den;
  }
  if (num >= 0) return (2 * num + den) / (2 * den);
  return -((-2 * num + den) / (2 * den));
}

inline void plot(PixelSurface& s, std::int32_t x, std::int32_t y, std::uint32_t pixel) {
  s.bits[static_cast<std::size_t>(y) * static_cast<std::size_t>(s.stride) + x] = pixel;
}

inline void stamp(PixelSurface& s, const PixelClip& c, std::int32_t x, std::int32_t y,
                  std::int32_t w, std::uint32_t pixel) {
  if (w <= 1) {
    if (x >= c.left && x <= c.right && y >= c.top && y <= c.bottom) plot(s, x, y, pixel);
    return;
  }
  const std::int32_t x0 = x - (w - 1) / 2;
  const std::int32_t y0 = y - (w - 1) / 2;
  const std::int32_t xa = std::max(x0, c.left), xb = std::min(x0 + w - 1, c.right);
  const std::int32_t ya = std::max(y0, c.top), yb = std::min(y0 + w - 1, c.bottom);
  for (std::int32_t yy = ya; yy <= yb; ++yy) {
    for (std::int32_t xx = xa; xx <= xb; ++xx) plot(s, xx, yy, pixel);
  }
}

}  // namespace

PixelClip clipRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  return PixelClip{x, y, x + w - 1, y + h - 1};
}

PixelClip intersect(const PixelClip& a, const PixelClip& b) {
  return PixelClip{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom)};
}

PixelClip surfaceClip(const PixelSurface& s) { return clipRect(0, 0, s.width, s.height); }

std::uint32_t surfacePixel(std::uint32_t c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

void fillRect(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y,
              std::int32_t w, std::int32_t h, std::uint32_t pixel) {
  const PixelClip r = intersect(intersect(clip, surfaceClip(s)), clipRect(x, y, w, h));
  if (r.empty()) return;
  for (std::int32_t yy = r.top; yy <= r.bottom; ++yy) {
    std::uint32_t* row = s.bits + static_cast<std::size_t>(yy) * s.stride;
    std::fill(row + r.left, row + r.right + 1, pixel);
  }
}

void frameRect(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y,
               std::int32_t w, std::int32_t h, std::uint32_t pixel) {
  if (w <= 0 || h <= 0) return;
  fillRect(s, clip, x, y, w, 1, pixel);
  fillRect(s, clip, x + w - 1, y, 1, h, pixel);
  fillRect(s, clip, x, y + h - 1, w, 1, pixel);
  fillRect(s, clip, x, y, 1, h, pixel);
}

void dottedHLine(PixelSurface& s, const PixelClip& clip, std::int32_t x0, std::int32_t x1,
                 std::int32_t y, std::uint32_t pixel) {
  const PixelClip c = intersect(clip, surfaceClip(s));
  if (y < c.top || y > c.bottom) return;
  if (x1 < x0) std::swap(x0, x1);
  std::int32_t x = std::max(x0, c.left);
  if ((x - x0) & 1) ++x;
  for (const std::int32_t end = std::min(x1, c.right); x <= end; x += 2) plot(s, x, y, pixel);
}

void dottedVLine(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y0,
                 std::int32_t y1, std::uint32_t pixel) {
  const PixelClip c = intersect(clip, surfaceClip(s));
  if (x < c.left || x > c.right) return;
  if (y1 < y0) std::swap(y0, y1);
  std::int32_t y = std::max(y0, c.top);
  if ((y - y0) & 1) ++y;
  for (const std::int32_t end = std::min(y1, c.bottom); y <= end; y += 2) plot(s, x, y, pixel);
}

void solidVLine(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y0,
                std::int32_t y1, std::uint32_t pixel) {
  if (y1 < y0) std::swap(y0, y1);
  fillRect(s, clip, x, y0, 1, y1 - y0 + 1, pixel);
}

std::int32_t toPixel(double v) {
  if (!(v > -kCoordLimit)) return static_cast<std::int32_t>(-kCoordLimit);  // also NaN
  if (v > kCoordLimit) return static_cast<std::int32_t>(kCoordLimit);
  return static_cast<std::int32_t>(v);
}

void drawLineSegment(PixelSurface& s, const PixelClip& clip, std::int32_t x0, std::int32_t y0,
                     std::int32_t x1, std::int32_t y1, std::int32_t lineWidth,
                     std::uint32_t pixel) {
  const PixelClip c = intersect(clip, surfaceClip(s));
  if (c.empty()) return;
  const std::int32_t w = std::max(lineWidth, 1);
  const std::int32_t reach = w;  // a stamp reaches this far from its centre
  const std::int64_t dx = static_cast<std::int64_t>(x1) - x0;
  const std::int64_t dy = static_cast<std::int64_t>(y1) - y0;
  if (dx == 0 && w == 1) {
    if (x0 < c.left || x0 > c.right) return;
    const std::int32_t ya = std::max(std::min(y0, y1), c.top);
    const std::int32_t yb = std::min(std::max(y0, y1), c.bottom);
    for (std::int32_t y = ya; y <= yb; ++y) plot(s, x0, y, pixel);
    return;
  }
  if (dx == 0 && dy == 0) {
    stamp(s, c, x0, y0, w, pixel);
    return;
  }
  if (std::llabs(dy) >= std::llabs(dx)) {
    // Steep: one pixel per row, only over the rows that can show.
    std::int64_t ya = std::min(y0, y1), yb = std::max(y0, y1);
    ya = std::max<std::int64_t>(ya, c.top - reach);
    yb = std::min<std::int64_t>(yb, c.bottom + reach);
    for (std::int64_t y = ya; y <= yb; ++y) {
      const std::int64_t x = x0 + roundDiv((y - y0) * dx, dy);
      stamp(s, c, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), w, pixel);
    }
  } else {
    std::int64_t xa = std::min(x0, x1), xb = std::max(x0, x1);
    xa = std::max<std::int64_t>(xa, c.left - reach);
    xb = std::min<std::int64_t>(xb, c.right + reach);
    for (std::int64_t x = xa; x <= xb; ++x) {
      const std::int64_t y = y0 + roundDiv((x - x0) * dy, dx);
      stamp(s, c, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), w, pixel);
    }
  }
}

namespace {

// Widens [lo, hi] by values[first..last].
void rangeMinMax(const double* values, std::int32_t first, std::int32_t last, double& lo,
                 double& hi) {
  std::int32_t k = first;
#if defined(__SSE2__)
  if (last - first >= 7) {
    __m128d l0 = _mm_set1_pd(lo), l1 = l0, h0 = _mm_set1_pd(hi), h1 = h0;
    for (; k + 3 <= last; k += 4) {
      const __m128d v0 = _mm_loadu_pd(values + k);
      const __m128d v1 = _mm_loadu_pd(values + k + 2);
      l0 = _mm_min_pd(l0, v0);
      h0 = _mm_max_pd(h0, v0);
      l1 = _mm_min_pd(l1, v1);
      h1 = _mm_max_pd(h1, v1);
    }
    double l[2], h[2];
    _mm_storeu_pd(l, _mm_min_pd(l0, l1));
    _mm_storeu_pd(h, _mm_max_pd(h0, h1));
    lo = std::min(l[0], l[1]);
    hi = std::max(h[0], h[1]);
  }
#endif
  for (; k <= last; ++k) {
    lo = values[k] < lo ? values[k] : lo;
    hi = values[k] > hi ? values[k] : hi;
  }
}

inline std::int32_t pointX(const SeriesMapping& m, std::int32_t k) {
  return toPixel(m.dataLeft + k * m.pixelsPerPoint);
}
inline std::int32_t pointY(const SeriesMapping& m, double v) {
  return toPixel(m.baseY - v * m.pixelsPerUnit);
}

}  // namespace

std::size_t seriesVertices(const double* values, std::int32_t firstIndex, std::int32_t lastIndex,
                           const SeriesMapping& map, bool reduce, std::vector<PixelPoint>& out) {
  out.clear();
  if (lastIndex < firstIndex || lastIndex < 0) return 0;
  const std::int32_t start = std::max(firstIndex - 1, 0);
  // k is the point's offset from firstIndex (-1 for the point left of the window).
  const bool columnsShared = map.pixelsPerPoint < 1.0 && map.pixelsPerPoint > 0.0;
  if (!reduce || !columnsShared) {
    for (std::int32_t i = start; i <= lastIndex; ++i) {
      out.push_back(PixelPoint{pointX(map, i - firstIndex), pointY(map, values[i])});
    }
    return out.size();
  }
  std::int32_t i = start;
  while (i <= lastIndex) {
    const std::int32_t column = pointX(map, i - firstIndex);
    // Last index still in this column: estimate, then settle with the same formula that
    // places every point, so the runs match the point-by-point drawing exactly.
    double estimate = std::ceil((column + 1 - map.dataLeft) / map.pixelsPerPoint) + firstIndex - 1;
    if (!(estimate < lastIndex)) estimate = lastIndex;
    std::int32_t j = std::max(static_cast<std::int32_t>(estimate), i);
    while (j > i && pointX(map, j - firstIndex) != column) --j;
    while (j < lastIndex && pointX(map, j + 1 - firstIndex) == column) ++j;
    if (j == i) {
      out.push_back(PixelPoint{column, pointY(map, values[i])});
    } else {
      double lo = values[i], hi = values[i];
      rangeMinMax(values, i + 1, j, lo, hi);
      // Every point between lies on the vertical run from the highest to the lowest, so these
      // four vertices cover the same pixels as all of them.
      out.push_back(PixelPoint{column, pointY(map, values[i])});
      out.push_back(PixelPoint{column, pointY(map, hi)});
      out.push_back(PixelPoint{column, pointY(map, lo)});
      out.push_back(PixelPoint{column, pointY(map, values[j])});
    }
    i = j + 1;
  }
  return out.size();
}

void drawPolyline(PixelSurface& s, const PixelClip& clip, const std::vector<PixelPoint>& points,
                  std::int32_t lineWidth, std::uint32_t pixel) {
  for (std::size_t k = 1; k < points.size(); ++k) {
    drawLineSegment(s, clip, points[k - 1].x, points[k - 1].y, points[k].x, points[k].y, lineWidth,
                    pixel);
  }
}

}  // namespace kestrune
