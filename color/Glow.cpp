#include "color/Glow.h"

#include "color/FillLight.h"
#include "color/ToneLut.h"
#include "fx/BlurFilter.h"
#include "image/MemoryHandler.h"
#include "image/PixelTraits.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

// The glow source for one row: each pixel premultiplied by its weight, the weight as alpha.
template <typename T>
void sourceRow(T* dst, const T* src, int32_t count, const tone::WeightEntry<T>* table) {
    using Traits = fx::PixelTraits<T>;
    for (int32_t x = 0; x < count; ++x, dst += 4, src += 4) {
        const T a = src[0];
        const uint32_t w = a == 0 ? 0u : table[tone::lumaIndex(src)];
        if (w == 0) {
            dst[0] = dst[1] = dst[2] = dst[3] = T(0);
            continue;
        }
        if constexpr (Traits::isFloat) {
            const float m = (static_cast<float>(w) / 65535.0f) * a;
            dst[0] = m;
            dst[1] = src[1] * m;
            dst[2] = src[2] * m;
            dst[3] = src[3] * m;
        } else {
            // Unsigned 32 bits hold every product, also for 16-bit values past 32768 (storable,
            // not valid); those are capped at full so that the working image stays valid.
            constexpr uint32_t full = Traits::fullInt;
            constexpr uint32_t weightFull = static_cast<uint32_t>(tone::kWeightFull<T>);
            const uint32_t k = std::min((static_cast<uint32_t>(a) * w) / weightFull, full);
            dst[0] = static_cast<T>(k);
            for (int c = 1; c < 4; ++c) {
                dst[c] = static_cast<T>(std::min((k * src[c]) / full, full));
            }
        }
    }
}

// Everything the blends need, worked out once on the calling thread.
struct BlendSettings {
    int32_t mode = kGlowAdd;
    float addFactor[3] = {}; // "Add": colour * amount
    float colour[3] = {};    // "Normal" and "Screen"
    float opacity = 0.0f;    // "Normal": min(amount, 1)
    int32_t fullScreens = 0; // "Screen": full screen steps
    float lastScreen = 0.0f; // "Screen": strength of the last step (none if not above 0)
};

// The amount counts down by whole units while above 1, each unit one full screen; what is
// left is the last screen's strength. The count does not depend on the pixel, so it is taken
// once here. The cap only bounds the work for amounts far outside the parameter's 0..5 (an
// infinite amount would never count down).
constexpr int32_t kMaxFullScreens = 1000;

BlendSettings blendSettings(const Glow& glow) {
    BlendSettings b;
    b.mode = glow.blendMode;
    const float colour[3] = {glow.colorRed, glow.colorGreen, glow.colorBlue};
    for (int c = 0; c < 3; ++c) {
        b.addFactor[c] = colour[c] * glow.amount;
        b.colour[c] = colour[c];
    }
    b.opacity = std::min(glow.amount, 1.0f);
    float n = glow.amount;
    while (n > 1.0f && b.fullScreens < kMaxFullScreens) {
        n = n - 1.0f;
        ++b.fullScreens;
    }
    b.lastScreen = std::min(n, 1.0f);
    return b;
}

using fx::toUnit;

template <typename T> void addRow(T* px, const T* glow, int32_t count, const BlendSettings& b) {
    using Traits = fx::PixelTraits<T>;
    for (int32_t x = 0; x < count; ++x, px += 4, glow += 4) {
        if (glow[0] == 0)
            continue;
        for (int c = 1; c < 4; ++c) {
            const float sum =
                static_cast<float>(px[c]) + static_cast<float>(glow[c]) * b.addFactor[c - 1];
            if constexpr (Traits::isFloat) {
                px[c] = sum;
            } else {
                // Truncated and capped at full; never below 0, NaN included.
                const float capped = std::min(Traits::full, std::max(0.0f, sum));
                px[c] = static_cast<T>(static_cast<int32_t>(capped));
            }
        }
    }
}

template <typename T> void normalRow(T* px, const T* glow, int32_t count, const BlendSettings& b) {
    using Traits = fx::PixelTraits<T>;
    for (int32_t x = 0; x < count; ++x, px += 4, glow += 4) {
        if (glow[0] == 0)
            continue;
        if constexpr (Traits::isFloat) {
            const float k = glow[0] * b.opacity;
            if (k == 0.0f)
                continue;
            for (int c = 1; c < 4; ++c) {
                const float v = glow[c] * b.colour[c - 1];
                px[c] = k == 1.0f ? v : k * v + (1.0f - k) * px[c];
            }
        } else {
            constexpr int32_t full = Traits::fullInt;
            // The opacity is at most 1 and the working alpha a channel value, so k stays in
            // 0..65535 and the conversion is defined.
            const int32_t k = static_cast<int32_t>(static_cast<float>(glow[0]) * b.opacity);
            if (k == 0 || k > full)
                continue;
            for (int c = 1; c < 4; ++c) {
                // The colour is 0..1 in a filled record; the clamp keeps a stray value from
                // reaching an undefined conversion.
                const float scaled = static_cast<float>(glow[c]) * b.colour[c - 1];
                const uint32_t v = static_cast<uint32_t>(
                    static_cast<int32_t>(std::min(Traits::full, std::max(0.0f, scaled))));
                if (k == full) {
                    px[c] = static_cast<T>(v);
                } else {
                    const uint32_t ku = static_cast<uint32_t>(k);
                    px[c] = static_cast<T>(((full - ku) * px[c] + v * ku) / full);
                }
            }
        }
    }
}

template <typename T> void screenRow(T* px, const T* glow, int32_t count, const BlendSettings& b) {
    for (int32_t x = 0; x < count; ++x, px += 4, glow += 4) {
        if (glow[0] == 0)
            continue;
        for (int c = 1; c < 4; ++c) {
            float d = toUnit(px[c]);
            const float s = toUnit(glow[c]) * b.colour[c - 1];
            for (int32_t i = 0; i < b.fullScreens; ++i) {
                d = s + d - s * d;
            }
            if (b.lastScreen > 0.0f) {
                const float sn = s * b.lastScreen;
                d = sn + d - sn * d;
            }
            px[c] = fx::fromUnit<T>(d);
        }
    }
}

template <typename T> void blendRow(T* px, const T* glow, int32_t count, const BlendSettings& b) {
    switch (b.mode) {
    case kGlowAdd:
        addRow(px, glow, count, b);
        break;
    case kGlowNormal:
        normalRow(px, glow, count, b);
        break;
    case kGlowScreen:
        screenRow(px, glow, count, b);
        break;
    default:
        break;
    }
}

} // namespace

void applyGlow(Glow& glow, PixelBuffer& image, const Rect& rect, fx::MemoryHandler& handler) {
    if (!(glow.amount > 0.0f)) // 0 or less, or NaN
        return;
    if (image.channels != 4 || image.row0 == nullptr || image.width < 1 || image.height < 1)
        return;
    // The working image is made and blurred even when nothing will be blended back (a mode
    // that is none of the three, no table to weigh the source with, a rectangle outside the
    // image), so the filter meets every frame alike: a float image switches it to Gaussian
    // mode for good whether or not this frame blends. Without a table every weight is 0.
    const bool plainCopy = glow.blendMode == kGlowNormal;
    const bool known = plainCopy || glow.blendMode == kGlowAdd || glow.blendMode == kGlowScreen;
    const bool weighed = plainCopy || glow.lut != nullptr;
    const Rect r = tone::clipToImage(rect, image);
    const bool blend = known && weighed && !r.empty();
    const BlendSettings settings = blendSettings(glow);

    fx::dispatchDepth(image.bytesPerChannel, [&]<typename T>() {
        // Taken before anything else, so that a refused block leaves everything as it was.
        ScopedPixels work(
            wrapPixels(nullptr, 0, image.width, image.height, image.bytesPerChannel, &handler),
            &handler);
        PixelBuffer& t = work.get();

        if (plainCopy) {
            const size_t rowSize = static_cast<size_t>(image.width) * 4 * sizeof(T);
            for (int32_t y = 0; y < image.height; ++y) {
                std::memcpy(t.row(y), image.row(y), rowSize);
            }
        } else if (!weighed) {
            const size_t rowSize = static_cast<size_t>(image.width) * 4 * sizeof(T);
            for (int32_t y = 0; y < image.height; ++y) {
                std::memset(t.row(y), 0, rowSize);
            }
        } else {
            // The table is (re)built here, before the threads start reading it.
            const tone::WeightEntry<T>* table;
            if constexpr (fx::PixelTraits<T>::bytes == 1) {
                table = glow.lut->table8();
            } else {
                table = glow.lut->table16();
            }
            const int32_t width = image.width;
#pragma omp parallel for schedule(static)
            for (int32_t y = 0; y < image.height; ++y) {
                sourceRow(t.rowAs<T>(y), image.rowAs<const T>(y), width, table);
            }
        }

        if (glow.filter != nullptr) {
            fx::BlurFilter& filter = *glow.filter;
            // Radii left from an earlier frame must not blur a frame that asks for none.
            if (glow.blurX != 0.0f || glow.blurY != 0.0f) {
                filter.setRadius(glow.blurX, glow.blurY);
            } else {
                filter.setRadius(0.0f, 0.0f);
            }
            filter.extraPasses = 2;
            filter.apply(t, t.bounds);
        }

        if (!blend)
            return;
        const int32_t count = r.width();
        const ptrdiff_t offset = 4 * static_cast<ptrdiff_t>(r.left);
#pragma omp parallel for schedule(static)
        for (int32_t y = r.top; y < r.bottom; ++y) {
            blendRow(image.rowAs<T>(y) + offset, t.rowAs<const T>(y) + offset, count, settings);
        }
    });
}
