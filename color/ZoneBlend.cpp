#include "color/ZoneBlend.h"

#include "color/ColorAdjuster.h"
#include "image/PixelTraits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// ZP_BLEND_SSE2=0 builds the portable scalar writer on x86 too.
#ifndef ZP_BLEND_SSE2
#if defined(__SSE2__) || defined(_M_X64)
#define ZP_BLEND_SSE2 1
#else
#define ZP_BLEND_SSE2 0
#endif
#endif
#if ZP_BLEND_SSE2
#include <emmintrin.h>
#endif

namespace {

// Rows and columns of `area` that lie inside the image and the map. A source or map of a
// different size than the other (not something the pipeline makes) is thus walked only where
// both exist, never past either.
Rect commonArea(Rect area, int32_t imageWidth, int32_t imageHeight, int32_t mapWidth,
                int32_t mapHeight) {
    Rect r;
    r.top = std::max<int32_t>(area.top, 0);
    r.left = std::max<int32_t>(area.left, 0);
    r.bottom = std::min({area.bottom, imageHeight, mapHeight});
    r.right = std::min({area.right, imageWidth, mapWidth});
    return r;
}

Rect commonArea(Rect area, int32_t imageWidth, int32_t imageHeight, const LabelMap& map) {
    if (map.cells == nullptr)
        return Rect{}; // no cells: nothing to walk
    return commonArea(area, imageWidth, imageHeight, map.width, map.height);
}

// Luma weights of the integer depths; each set sums to the divisor, so the weighted sum
// divided by it stays on the channel's own scale (0..255 or 0..32768).
template <typename T> struct LumaWeights;
template <> struct LumaWeights<uint8_t> {
    static constexpr uint32_t r = 76, g = 150, b = 29, sum = 255;
};
template <> struct LumaWeights<uint16_t> {
    static constexpr uint32_t r = 19532, g = 38550, b = 7453, sum = 65535;
};

template <typename T> uint8_t lumaOf(const T* px) {
    using Traits = fx::PixelTraits<T>;
    if constexpr (Traits::isFloat) {
        float v = 0.3f * px[1] + 0.59f * px[2] + 0.11f * px[3];
        // Written so that NaN lands on 0 instead of reaching the integer conversion.
        if (!(v > 0.0f))
            v = 0.0f;
        if (v > 1.0f)
            v = 1.0f;
        return static_cast<uint8_t>(v * 255.0f);
    } else {
        using W = LumaWeights<T>;
        // Unsigned 32 bits: a 16-bit channel past 32768 (not a valid value, but storable)
        // would overflow the signed sum. The 8-bit second step is exact ((t * 255) / 255 = t).
        const uint32_t t = (W::r * px[1] + W::g * px[2] + W::b * px[3]) / W::sum;
        const uint32_t l = (t * 255u) / static_cast<uint32_t>(Traits::fullInt);
        // Only such out-of-range 16-bit values can exceed 255; they saturate instead of wrapping.
        return static_cast<uint8_t>(std::min<uint32_t>(l, 255u));
    }
}

template <typename T> void intensityRow(LabelCell* cells, const T* px, int32_t count) {
    for (int32_t x = 0; x < count; ++x) {
        cells[x].intensity = lumaOf(px + 4 * static_cast<ptrdiff_t>(x));
    }
}

template <typename T> void planeRow(uint8_t* plane, const T* px, int32_t count) {
    for (int32_t x = 0; x < count; ++x) {
        plane[x] = lumaOf(px + 4 * static_cast<ptrdiff_t>(x));
    }
}

void seedRow(LabelCell* cells, const uint8_t* raster, int32_t stride, int32_t count) {
    for (int32_t x = 0; x < count; ++x) {
        const uint8_t v = raster[static_cast<ptrdiff_t>(x) * stride];
        if (v == 0)
            continue;
        LabelCell& c = cells[x];
        int k = 0;
        while (k < 3 && c.label(k) != 0) {
            ++k;
        }
        if (k == 3)
            continue;
        c.set(k, v, c.cost(k));
        if (k == 0)
            c.seed = 1;
    }
}

using fx::fromUnit;
using fx::toUnit;

// A label's weight: cost^-p, or 100 at cost 0 (a stroke pixel's own label). The weights of the
// low costs, which most labels carry, are taken once per call from the same powf, so a table
// entry is the very value the call would give.
class CostWeights {
public:
    static constexpr int32_t tableSize = 4096;

    explicit CostWeights(float p) : p_(p), table_(tableSize) {
        table_[0] = 100.0f;
        for (int32_t c = 1; c < tableSize; ++c) {
            table_[static_cast<size_t>(c)] = std::pow(static_cast<float>(c), -p);
        }
    }
    float operator()(uint16_t cost) const {
        if (cost < tableSize)
            return table_[cost];
        return std::pow(static_cast<float>(cost), -p_);
    }

private:
    float p_;
    std::vector<float> table_;
};

// px[c] = fromUnit(sum[c] / sw) for the four channels. With SSE2 (every x64 build) the four
// divisions, the clamps and the conversions each run as one instruction over the four lanes,
// which is the same IEEE single-precision arithmetic per lane and, unlike the compiler's
// branchy scalar code, costs the same whether a value is clamped or not.
template <typename T> void writeMean(T* px, const float* sum, float sw) {
#if ZP_BLEND_SSE2
    using Traits = fx::PixelTraits<T>;
    const __m128 mean = _mm_div_ps(_mm_loadu_ps(sum), _mm_set1_ps(sw));
    if constexpr (Traits::isFloat) {
        _mm_storeu_ps(px, mean);
    } else {
        const __m128 full = _mm_set1_ps(Traits::full);
        // maxps returns its second operand when the first is NaN: NaN lands on 0 as in
        // fromUnit; minps then sees no NaN.
        const __m128 clamped =
            _mm_min_ps(_mm_max_ps(_mm_mul_ps(mean, full), _mm_setzero_ps()), full);
        const __m128i v = _mm_cvttps_epi32(clamped);
        if constexpr (Traits::bytes == 1) {
            // 0..255 in every lane, so the saturating packs are plain narrowings.
            const __m128i b = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
            const int32_t four = _mm_cvtsi128_si32(b);
            std::memcpy(px, &four, sizeof four);
        } else {
            // 32768 does not survive the signed 16-bit pack: store lane by lane.
            alignas(16) int32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
            for (int c = 0; c < 4; ++c) {
                px[c] = static_cast<T>(lanes[c]);
            }
        }
    }
#else
    for (int c = 0; c < 4; ++c) {
        px[c] = fromUnit<T>(sum[c] / sw);
    }
#endif
}

// What a reusing row needs besides the plain row's arguments.
struct RowReuse {
    const uint8_t* changed; // per label
    const float* effects;   // per label: the alpha its adjuster gives (0 without one)
};

// The four channel sums are kept in pixel order (alpha, red, green, blue) so that the
// accumulation and the final divisions can run four lanes at a time; each lane is still the
// same single-precision operation in the same order.
//
// With Reusing, `slots` holds the pixel's nine kept floats: a label not marked changed takes
// its colours from there (and its alpha, the adjuster's effects setting, from the table)
// instead of running its adjuster; a changed one runs it and leaves its colours there. An
// adjuster gives the same colours for the same pixel every time, so the sums, taken in the same
// order, are the plain blend's.
template <bool Reusing, typename T>
void blendPixel(T* px, const LabelCell& cell, const ColorAdjuster* const* adjusters,
                size_t adjusterCount, const CostWeights& weights, float* slots = nullptr,
                const RowReuse* reuse = nullptr) {
    const float r = toUnit(px[1]);
    const float g = toUnit(px[2]);
    const float b = toUnit(px[3]);
    float sw = 0.0f;
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 3; ++k) {
        const uint16_t label = cell.label(k);
        if (label == 0)
            break;
        float argb[4] = {0.0f, r, g, b};
        bool run = true;
        if constexpr (Reusing) {
            run = label > 255 || reuse->changed[label] != 0;
            if (!run) {
                argb[0] = reuse->effects[label];
                std::memcpy(argb + 1, slots + 3 * k, 3 * sizeof(float));
            }
        }
        if (run) {
            const size_t entry = static_cast<size_t>(label) - 1;
            if (entry < adjusterCount && adjusters[entry] != nullptr) {
                adjusters[entry]->apply(argb);
            }
            if constexpr (Reusing)
                std::memcpy(slots + 3 * k, argb + 1, 3 * sizeof(float));
        }
        const float w = weights(cell.cost(k));
        sw += w;
        for (int c = 0; c < 4; ++c) {
            sum[c] += w * argb[c];
        }
    }
    if (sw > 0.0f)
        writeMean(px, sum, sw);
}

// Whether any label of a labelled cell is marked changed.
inline bool anyChanged(const LabelCell& cell, const uint8_t* changed) {
    for (int k = 0; k < 3; ++k) {
        const uint16_t label = cell.label(k);
        if (label == 0)
            return false;
        if (label > 255 || changed[label] != 0)
            return true;
    }
    return false;
}

template <typename T>
void blendRow(T* px, const LabelCell* cells, int32_t count, const ColorAdjuster* const* adjusters,
              size_t adjusterCount, const CostWeights& weights) {
    for (int32_t x = 0; x < count; ++x, px += 4) {
        if (cells[x].label0 != 0)
            blendPixel<false>(px, cells[x], adjusters, adjusterCount, weights);
    }
}

// The row with the kept blocks' row at hand: `kept` its result pixels, `slots` its slot colours.
template <typename T>
void blendRowReusing(T* px, T* kept, float* slots, const LabelCell* cells, int32_t count,
                     const ColorAdjuster* const* adjusters, size_t adjusterCount,
                     const CostWeights& weights, const RowReuse& reuse) {
    for (int32_t x = 0; x < count; ++x, px += 4, kept += 4, slots += 9) {
        const LabelCell& cell = cells[x];
        if (cell.label0 == 0)
            continue;
        if (anyChanged(cell, reuse.changed)) {
            blendPixel<true>(px, cell, adjusters, adjusterCount, weights, slots, &reuse);
            std::memcpy(kept, px, 4 * sizeof(T));
        } else {
            std::memcpy(px, kept, 4 * sizeof(T));
        }
    }
}

} // namespace

void fillLabelIntensity(LabelMap& map, const PixelBuffer& src, Rect area) {
    if (src.channels != 4)
        return;
    const Rect r = commonArea(area, src.width, src.height, map);
    if (r.empty())
        return;
    fx::dispatchDepth(src.bytesPerChannel, [&]<typename T>() {
        const int32_t count = r.width();
#pragma omp parallel for schedule(static)
        for (int32_t y = r.top; y < r.bottom; ++y) {
            intensityRow(&map.at(r.left, y), src.rowAs<const T>(y) + 4 * r.left, count);
        }
    });
}

void fillIntensityPlane(uint8_t* plane, int32_t width, int32_t height, const PixelBuffer& src,
                        Rect area) {
    if (plane == nullptr || width <= 0 || height <= 0)
        return;
    const size_t w = static_cast<size_t>(width);
    Rect r = commonArea(area, src.width, src.height, width, height);
    if (r.empty())
        r = Rect{0, 0, 0, 0};
    // Like the cells of a source fillLabelIntensity cannot read, the plane stays 0.
    const bool read =
        src.channels == 4 && fx::dispatchDepth(src.bytesPerChannel, [&]<typename T>() {
#pragma omp parallel for schedule(static)
            for (int32_t y = 0; y < height; ++y) {
                uint8_t* row = plane + static_cast<size_t>(y) * w;
                if (y < r.top || y >= r.bottom) {
                    std::memset(row, 0, w);
                    continue;
                }
                std::memset(row, 0, static_cast<size_t>(r.left));
                planeRow(row + r.left, src.rowAs<const T>(y) + 4 * r.left, r.width());
                std::memset(row + r.right, 0, w - static_cast<size_t>(r.right));
            }
        });
    if (!read)
        std::memset(plane, 0, w * static_cast<size_t>(height));
}

void initCellsFromPlane(LabelMap& map, const uint8_t* plane) {
    if (map.cells == nullptr || plane == nullptr || map.width <= 0 || map.height <= 0)
        return;
    const int32_t width = map.width;
#pragma omp parallel for schedule(static)
    for (int32_t y = 0; y < map.height; ++y) {
        LabelCell* cells = &map.at(0, y);
        const uint8_t* in = plane + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            LabelCell c{};
            c.intensity = in[x];
            cells[x] = c;
        }
    }
}

void seedLabels(LabelMap& map, const PixelBuffer& raster, Rect area) {
    const Rect r = commonArea(area, raster.width, raster.height, map);
    if (r.empty() || raster.bytesPerPixel < 1)
        return;
    const int32_t count = r.width();
    const int32_t stride = raster.bytesPerPixel;
#pragma omp parallel for schedule(static)
    for (int32_t y = r.top; y < r.bottom; ++y) {
        seedRow(&map.at(r.left, y), raster.row(y) + static_cast<ptrdiff_t>(r.left) * stride, stride,
                count);
    }
}

void blendZones(PixelBuffer& img, const std::vector<ColorAdjuster*>& adjusters, const LabelMap& map,
                float p, const BlendReuse* reuse) {
    if (img.channels != 4)
        return;
    const Rect r = commonArea(Rect{0, 0, img.height, img.width}, img.width, img.height, map);
    if (r.empty())
        return;
    const CostWeights weights(p);
    const ColorAdjuster* const* list = adjusters.data();
    const size_t listSize = adjusters.size();
    fx::dispatchDepth(img.bytesPerChannel, [&]<typename T>() {
        const int32_t count = r.width();
        if (reuse != nullptr && reuse->pixels != nullptr && reuse->slots != nullptr &&
            reuse->changed != nullptr) {
            // The alpha apply() gives is the adjuster's effects setting, whatever the pixel.
            std::array<float, 256> effects{};
            for (size_t label = 1; label < effects.size() && label - 1 < listSize; ++label) {
                if (list[label - 1] != nullptr)
                    effects[label] = list[label - 1]->settings().effects;
            }
            const RowReuse rowReuse{reuse->changed, effects.data()};
            const auto w = static_cast<size_t>(img.width);
            T* const kept = reinterpret_cast<T*>(reuse->pixels);
            // The work lies where the changed zones are, often one band of the frame: rows are
            // dealt out eight at a time in turn rather than in one block per thread.
#pragma omp parallel for schedule(static, 8)
            for (int32_t y = r.top; y < r.bottom; ++y) {
                const size_t first = static_cast<size_t>(y) * w + static_cast<size_t>(r.left);
                blendRowReusing(img.rowAs<T>(y) + 4 * r.left, kept + 4 * first,
                                reuse->slots + 9 * first, &map.at(r.left, y), count, list, listSize,
                                weights, rowReuse);
            }
            return;
        }
#pragma omp parallel for schedule(static)
        for (int32_t y = r.top; y < r.bottom; ++y) {
            blendRow(img.rowAs<T>(y) + 4 * r.left, &map.at(r.left, y), count, list, listSize,
                     weights);
        }
    });
}
