// Masks drawn as label strokes: each outline is flattened into integer pixel segments and
// every segment is drawn with a square pen three pixels wide into a one-channel 8-bit label
// raster. The stroke pixels later seed the label propagation.
//
// Pixel coordinates are signed 32-bit, x to the right and y downward, (0, 0) the raster's
// top-left pixel. Rectangles are (top, left, bottom, right) with bottom and right exclusive.
// The raster is a one-channel, one-byte-per-pixel PixelBuffer (makeRaster8) whose bounds are
// (0, 0, height, width). A raster without pixels (width or height below 1, or no memory)
// receives nothing. No function here writes a byte outside the raster.
#pragma once

#include "image/PixelBuffer.h"

#include <cstdint>

class Mask;

// The pen every stroke is drawn with. It only ever sets: each covered pixel takes `value`,
// whatever it held, so where strokes cross the one drawn last wins.
struct StrokePen {
    PixelBuffer* raster = nullptr;
    uint8_t value = 0;
    // Side of the square the pen covers around a centre pixel (x, y): columns x - width/2 to
    // x - width/2 + width - 1, rows likewise (width/2 rounded toward zero). 3 for masks.
    int32_t width = 3;
};

// Draws one mask's outline with the low byte of its `label`. Vertex positions and tangents
// are in layer pixels at full resolution; a point (px, py) lands on pixel
// (trunc(scaleX * px + 0.5) - originX, trunc(scaleY * py + 0.5) - originY), trunc toward
// zero, in double precision. scaleX/scaleY are the frame's downsampling factors; the origin
// is (0, 0) for the plain render and the input world's origin for smart render.
// A piece whose start out-tangent and end in-tangent are both exactly (0, 0) is one straight
// segment; any other piece is a cubic Bezier flattened in 50 equal parameter steps. Fewer
// than two vertices draw nothing; a closed outline carries its closing point as last vertex.
// Coordinates that are infinite or whose pixel position does not fit 32 bits are held at the
// edge of the 32-bit range (so the segment is clipped to where it crosses the raster); a
// segment with a NaN end is not drawn.
void drawMaskOutline(PixelBuffer& raster, const Mask& mask, double scaleX, double scaleY,
                     int32_t originX, int32_t originY);

// Draws the segment (x0, y0)-(x1, y1), ends in raster coordinates, clipped to the raster.
// Vertical segments (x0 == x1, a single point included) and horizontal ones are filled as
// pen-wide spans that are half-open at the far end: for width 3 the span from lo to hi
// covers lo - 1 to hi across the segment (hi + 1 is left alone). Any other segment goes to
// drawLine. Any 32-bit coordinates are accepted.
void drawSegment(const StrokePen& pen, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Cohen-Sutherland clip of the segment to columns 0..width - 1 and rows 0..height - 1 of
// `raster`, in place. Intersections are truncated toward zero from exact products, so any
// 32-bit ends are accepted; accepted ends always lie inside the raster. Returns false (ends
// unspecified) when nothing of the segment lies inside, or the raster has no pixels.
bool clipSegment(const PixelBuffer& raster, int32_t& x0, int32_t& y0, int32_t& x1, int32_t& y1);

// Clips the segment, then walks it pixel by pixel (Bresenham, both ends included) and stamps
// the pen at each pixel. A segment that clips away draws nothing.
void drawLine(const StrokePen& pen, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Covers the pen's square around (x, y), clipped to the raster; a square wholly outside the
// raster covers nothing.
void stamp(const StrokePen& pen, int32_t x, int32_t y);

// Covers rows top..bottom - 1 and columns left..right - 1 of `rect`, clipped to the raster;
// an empty rectangle covers nothing.
void fillRect(const StrokePen& pen, const Rect& rect);
