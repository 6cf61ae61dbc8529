// The fill light: brightens each colour channel in proportion to itself, scaled per pixel by
// the pixel's alpha (the effects weight the zone blend left there) and by a bell-shaped weight
// of its luma read from the light's own ToneLut. Also holds the luma lookup that the glow
// shares.
//
// Images are four-channel PixelBuffers (alpha, red, green, blue) of 1, 2 or 4 bytes per
// channel: 8-bit 0..255, 16-bit 0..32768 (32768 is full), float with 1.0 as full (values may
// lie outside 0..1). Any other depth or channel count is left untouched. Work is spread over
// OpenMP threads by rows; on return it is complete.
#pragma once

#include "image/PixelBuffer.h"
#include "image/PixelTraits.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

class ToneLut;

struct FillLight {
    float strength = 0.0f;  // "Brightness" / 100, 0..5; 0 switches the pass off
    float position = 0.0f;  // "Position" / 100 (the pipeline shapes `lut` from it)
    float range = 0.0f;     // "Range" / 50 (likewise)
    ToneLut* lut = nullptr; // the luma weight; not owned
};

// For each pixel of `rect` (image pixel coordinates, bottom/right exclusive; clipped to the
// image) whose alpha A is not 0 and, in the integer depths, whose luma weight w is not 0 (a
// float pixel is computed whatever its weight, non-finite values included), each colour
// channel x
// (integer depths taken as x / full) becomes x + k * strength * x, with k = weight * alpha on
// the 0..1 scale. Integer depths are written clamped to 0..full and truncated, float as
// computed. Alpha is never changed. Strength 0 (or NaN) returns at once without touching the
// table; so does a null `lut`. The 8-bit member reads lut->table8(), the others table16();
// a dirty table is rebuilt on the calling thread.
void applyFillLight(FillLight& light, PixelBuffer& image, const Rect& rect);

namespace tone {

// The weight table a depth reads: 256 bytes (255 = weight 1) for 8-bit images, 65536 16-bit
// values (65535 = weight 1) for 16-bit and float images.
template <typename T>
using WeightEntry = std::conditional_t<fx::PixelTraits<T>::bytes == 1, uint8_t, uint16_t>;

template <typename T>
inline constexpr float kWeightFull = fx::PixelTraits<T>::bytes == 1 ? 255.0f : 65535.0f;

// Index into the weight table for the pixel `px` (alpha, red, green, blue):
//   8-bit  (76 R + 150 G + 29 B) / 255
//   16-bit l = (19532 R + 38550 G + 7453 B) / 65535, then (l * 65535) / 32768
//   float  l = 0.3 R + 0.59 G + 0.11 B; 0 if l < 0, 65535 if l > 1, else trunc(l * 65535)
// (integer divisions truncate). Always a valid index: a NaN float luma gives 0, and 16-bit
// channels above 32768 (storable, not valid) saturate at the last entry.
template <typename T> inline uint32_t lumaIndex(const T* px) {
    if constexpr (fx::PixelTraits<T>::isFloat) {
        const float l = 0.3f * px[1] + 0.59f * px[2] + 0.11f * px[3];
        if (l > 1.0f)
            return 65535u;
        if (!(l >= 0.0f)) // below 0, or NaN
            return 0u;
        return static_cast<uint32_t>(l * 65535.0f);
    } else if constexpr (fx::PixelTraits<T>::bytes == 1) {
        return (76u * px[1] + 150u * px[2] + 29u * px[3]) / 255u;
    } else {
        // Unsigned: the weighted sum of 16-bit values past 32768 would overflow signed 32 bits.
        const uint32_t l = (19532u * px[1] + 38550u * px[2] + 7453u * px[3]) / 65535u;
        return std::min<uint32_t>((l * 65535u) / 32768u, 65535u);
    }
}

// The part of `rect` inside the image: the passes never reach outside the image, whatever
// rectangle they are given.
inline Rect clipToImage(const Rect& rect, const PixelBuffer& image) {
    return Rect{std::max<int32_t>(rect.top, 0), std::max<int32_t>(rect.left, 0),
                std::min<int32_t>(rect.bottom, image.height),
                std::min<int32_t>(rect.right, image.width)};
}

} // namespace tone
