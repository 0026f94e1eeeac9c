// Pixel work on a chart picture: fills, dotted grid lines and series lines written straight into
// 32-bit pixels. Lines are rasterised here rather than by a painter so that a series reduced to
// four points per pixel column gives exactly the pixels of the series drawn point by point.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune {

struct PixelSurface {
  std::uint32_t* bits = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t stride = 0;  // pixels per row
};

// Inclusive pixel rectangle.
struct PixelClip {
  std::int32_t left = 0, top = 0, right = -1, bottom = -1;
  bool empty() const { return right < left || bottom < top; }
};

PixelClip clipRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);
PixelClip intersect(const PixelClip& a, const PixelClip& b);
PixelClip surfaceClip(const PixelSurface& s);

// 0x00BBGGRR to the surface's opaque 0xAARRGGBB.
std::uint32_t surfacePixel(std::uint32_t colorRef);

void fillRect(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y,
              std::int32_t w, std::int32_t h, std::uint32_t pixel);
// 1-pixel outline just inside the rectangle.
void frameRect(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y,
               std::int32_t w, std::int32_t h, std::uint32_t pixel);
// Dotted lines: every other pixel, from the first end on.
void dottedHLine(PixelSurface& s, const PixelClip& clip, std::int32_t x0, std::int32_t x1,
                 std::int32_t y, std::uint32_t pixel);
void dottedVLine(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y0,
                 std::int32_t y1, std::uint32_t pixel);
void solidVLine(PixelSurface& s, const PixelClip& clip, std::int32_t x, std::int32_t y0,
                std::int32_t y1, std::uint32_t pixel);

// Converts a coordinate to a pixel by truncation, kept far outside any picture when huge.
std::int32_t toPixel(double v);

// A line of lineWidth pixels between two pixel points, both ends included.
void drawLineSegment(PixelSurface& s, const PixelClip& clip, std::int32_t x0, std::int32_t y0,
                     std::int32_t x1, std::int32_t y1, std::int32_t lineWidth, std::uint32_t pixel);

struct PixelPoint {
  std::int32_t x;
  std::int32_t y;
};

// Where the points of a series lie: point i at x = dataLeft + (i - firstIndex) * pixelsPerPoint,
// y = baseY - values[i] * pixelsPerUnit.
struct SeriesMapping {
  double dataLeft = 0.0;
  double pixelsPerPoint = 0.0;
  double baseY = 0.0;
  double pixelsPerUnit = 0.0;
};

// The vertices of a series line over values[firstIndex..lastIndex], starting at point
// firstIndex - 1 when there is one. With reduce, each pixel column holding more than one point is
// cut to its first, highest, lowest and last point: the same pixels, at most four vertices per
// column. Fills out (reusing its storage) and returns the number of vertices.
std::size_t seriesVertices(const double* values, std::int32_t firstIndex, std::int32_t lastIndex,
                           const SeriesMapping& map, bool reduce, std::vector<PixelPoint>& out);

void drawPolyline(PixelSurface& s, const PixelClip& clip, const std::vector<PixelPoint>& points,
                  std::int32_t lineWidth, std::uint32_t pixel);

}  // namespace kestrune
