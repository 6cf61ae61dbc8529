// The per-pixel operations around the label map: the intensity fill and the seeding that
// prepare it for the label spreading, and the zone blend that turns its labels into colour.
//
// Images are four-channel PixelBuffers (alpha, red, green, blue) of 1, 2 or 4 bytes per
// channel (8-bit 255 = full, 16-bit 32768 = full, float 1.0 = full); any other depth, or a
// buffer that is not four-channel, leaves everything untouched. Pixel (x, y) of an image
// always pairs with cell (x, y) of the map. Work is spread over OpenMP threads by rows; on
// return it is complete.
#pragma once

#include "image/LabelMap.h"
#include "image/PixelBuffer.h"

#include <vector>

class ColorAdjuster;

// Writes each cell's `intensity`, the luma of the source pixel as 0..255:
//   8-bit  (76 R + 150 G + 29 B) / 255
//   16-bit t = (19532 R + 38550 G + 7453 B) / 65535, then (t * 255) / 32768 (at most 255)
//   float  0.3 R + 0.59 G + 0.11 B clamped to 0..1, times 255, truncated
// (integer divisions truncate). `area` is in source pixel coordinates (normally the source's
// bounds (0, 0, height, width)); only its part inside both the source and the map is walked.
// Alpha is not read.
void fillLabelIntensity(LabelMap& map, const PixelBuffer& src, Rect area);

// The same luma, written into `plane` instead (width x height bytes, packed rows, cell (x, y)
// at y * width + x) for a map of that size: the bytes fillLabelIntensity would leave in the
// cells' `intensity` of a zero-filled map, 0 where `area` does not reach. Compact, so that a
// frame's propagation inputs can be compared with a kept frame's cheaply.
void fillIntensityPlane(uint8_t* plane, int32_t width, int32_t height, const PixelBuffer& src,
                        Rect area);

// Gives every cell of the map the state fillLabelIntensity leaves in a zero-filled map: all
// fields 0 but `intensity`, taken from `plane` (as fillIntensityPlane writes it). One pass
// over fresh cells, row by row on all threads.
void initCellsFromPlane(LabelMap& map, const uint8_t* plane);

// Copies the label raster (one 8-bit channel; the first byte of each pixel is read) into the
// map: each non-zero byte v goes into the first empty slot of its cell as label v (cost left
// as it is) and, when that slot is the first, sets `seed`. A cell with all three slots taken
// drops the value. `area` is clipped to the raster and the map like fillLabelIntensity's.
void seedLabels(LabelMap& map, const PixelBuffer& raster, Rect area);

// An earlier blend to reuse, over the same pixels (as they were before that blend) and the same
// map. Both blocks are packed rows of img.width pixels (row y at y * img.width pixels) and only
// labelled pixels are read or written: `pixels` holds the blend's result in img's depth and
// channel layout; `slots` holds, per pixel, the red, green and blue each of its three label
// slots' adjusters made of it (nine floats, slot by slot). changed[L] is non-zero when label L's
// adjuster would now give other colours or another effects weight than when they were made
// (labels past 255 always count as changed).
struct BlendReuse {
    uint8_t* pixels = nullptr;
    float* slots = nullptr;
    const uint8_t* changed = nullptr; // 256 entries
};

// For every pixel with at least one label, runs the adjuster of each label (label L uses
// adjusters[L - 1]) on the pixel's colour and writes the weighted mean of the results, the
// adjusters' effects weights going to alpha. A label's weight is cost^-p, or 100 at cost 0.
// A label whose entry is null or past the end of the list counts as "no adjuster": colour
// unchanged, effects weight 0. Integer depths are written clamped to 0..1 and truncated; float
// is written as computed. Pixels without a label keep colour and alpha. Covers the part of the
// image inside the map. The adjusters must have their settings before the call; they are only
// read, from all threads at once.
//
// With `reuse`, an earlier call's work is reused where it still holds: a labelled pixel none of
// whose labels is marked changed takes its kept result; in the others only the changed labels'
// adjusters run, the unchanged slots' colours being read back, and the mean is taken afresh in
// the same order. What is computed is written back, so the kept blocks then stand for the
// adjusters as they are now. With every label marked changed this fills them on a first call.
// The result is exactly the plain call's.
void blendZones(PixelBuffer& img, const std::vector<ColorAdjuster*>& adjusters, const LabelMap& map,
                float p, const BlendReuse* reuse = nullptr);
