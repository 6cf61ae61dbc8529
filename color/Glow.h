// The diffusion/glow: the pixels weighted by their alpha (the effects weight the zone blend
// left there) and by a bell-shaped weight of their luma are extracted into a working image,
// blurred, and blended back over a rectangle in one of three modes.
//
// Images are four-channel PixelBuffers (alpha, red, green, blue) of 1, 2 or 4 bytes per
// channel: 8-bit 0..255, 16-bit 0..32768 (32768 is full), float with 1.0 as full (values may
// lie outside 0..1). Any other depth or channel count is left untouched. Work is spread over
// OpenMP threads by rows; on return it is complete.
#pragma once

#include "image/PixelBuffer.h"

#include <cstdint>

class ToneLut;

namespace fx {
class BlurFilter;
class MemoryHandler;
} // namespace fx

// Values of Glow::blendMode.
enum GlowBlend : int32_t { kGlowAdd = 0, kGlowNormal = 1, kGlowScreen = 2 };

struct Glow {
    float amount = 0.0f;     // "Amount" / 100, 0..5; 0 or less switches the pass off
    float blurX = 0.0f;      // blur amount along rows, pixels
    float blurY = 0.0f;      // blur amount along columns, pixels
    float colorAlpha = 0.0f; // "Color" channels / 255; the alpha is carried, not used
    float colorRed = 0.0f;
    float colorGreen = 0.0f;
    float colorBlue = 0.0f;
    int32_t blendMode = kGlowAdd;     // kGlowAdd, kGlowNormal or kGlowScreen; others blend nothing
    float position = 0.0f;            // "Position" / 100 (the pipeline shapes `lut` from it)
    float range = 0.0f;               // "Range" / 50 (likewise)
    ToneLut* lut = nullptr;           // the luma weight; not owned
    fx::BlurFilter* filter = nullptr; // blurs the working image; not owned
};

// Does nothing when `amount` is 0 or less (or NaN). Otherwise:
// 1. A working image of the image's size and depth (packed rows) is taken from `handler` and
//    given back on every way out; if it cannot be had, std::bad_alloc propagates and the image
//    is unchanged.
// 2. "Normal" copies the whole image into it. The other modes fill it with the glow source:
//    each pixel premultiplied by its weight (alpha times luma weight from `lut`), the weight as
//    its alpha; pixels with alpha 0 or luma weight 0 are all zero (all of them when `lut` is
//    null). The 8-bit member reads lut->table8(), the others table16(); a dirty table is
//    rebuilt on the calling thread.
// 3. The whole working image is blurred by `filter` (radii blurX, blurY set through setRadius,
//    so tripled in Gaussian mode; three box passes). With both radii 0 nothing is blurred, even
//    if the filter kept radii from an earlier call. A null filter blurs nothing.
// 4. Unless `blendMode` is none of the three modes, `lut` is null outside "Normal", or `rect`
//    (image pixel coordinates, bottom/right exclusive) has no part inside the image: over the
//    clipped rectangle, every pixel whose working-image alpha is not 0 is blended:
//    "Add" adds the working colour times colour * amount (integer depths truncated and capped
//    at full, float unclamped); "Normal" lays the working colour times the glow colour over
//    the pixel with opacity working alpha * min(amount, 1); "Screen" screens the working colour
//    times the glow colour over the pixel, fully once for each step the amount takes down to
//    1, then once more at the strength left (2.5: two full screens and one at 0.5; 1: one full
//    screen; 0.3: one at 0.3). Integer depths are written clamped to 0..full and truncated.
//    Alpha is never changed.
void applyGlow(Glow& glow, PixelBuffer& image, const Rect& rect, fx::MemoryHandler& handler);
