#include "color/FillLight.h"

#include "color/ToneLut.h"

#include <cmath>
#include <cstddef>

namespace {

template <typename T>
void fillLightRow(T* px, int32_t count, const tone::WeightEntry<T>* table, float strength) {
    using Traits = fx::PixelTraits<T>;
    for (int32_t x = 0; x < count; ++x, px += 4) {
        const T a = px[0];
        if (a == 0)
            continue;
        const uint32_t w = table[tone::lumaIndex(px)];
        // Only the integer depths skip a zero weight, where it changes nothing. Float pixels
        // are computed whatever the weight: IEEE results (0 * inf, a NaN alpha) are kept.
        if constexpr (!Traits::isFloat) {
            if (w == 0)
                continue;
        }
        float k;
        if constexpr (Traits::isFloat) {
            k = a * (static_cast<float>(w) / 65535.0f);
        } else {
            k = (static_cast<float>(w) / tone::kWeightFull<T>)*(static_cast<float>(a) /
                                                                Traits::full);
        }
        const float gain = k * strength;
        for (int c = 1; c < 4; ++c) {
            if constexpr (Traits::isFloat) {
                px[c] = px[c] + gain * px[c];
            } else {
                const float v = static_cast<float>(px[c]) / Traits::full;
                px[c] = fx::fromUnit<T>(v + gain * v);
            }
        }
    }
}

} // namespace

void applyFillLight(FillLight& light, PixelBuffer& image, const Rect& rect) {
    // A NaN strength has no meaning as a brightness; treat it like 0 rather than spreading it.
    if (light.strength == 0.0f || std::isnan(light.strength) || light.lut == nullptr)
        return;
    if (image.channels != 4 || image.row0 == nullptr)
        return;
    const Rect r = tone::clipToImage(rect, image);
    if (r.empty())
        return;
    const float strength = light.strength;
    ToneLut& lut = *light.lut;
    fx::dispatchDepth(image.bytesPerChannel, [&]<typename T>() {
        // The table is (re)built here, before the threads start reading it.
        const tone::WeightEntry<T>* table;
        if constexpr (fx::PixelTraits<T>::bytes == 1) {
            table = lut.table8();
        } else {
            table = lut.table16();
        }
        const int32_t count = r.width();
#pragma omp parallel for schedule(static)
        for (int32_t y = r.top; y < r.bottom; ++y) {
            fillLightRow(image.rowAs<T>(y) + 4 * static_cast<ptrdiff_t>(r.left), count, table,
                         strength);
        }
    });
}
