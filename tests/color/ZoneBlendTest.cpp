#include "color/ZoneBlend.h"
#include "color/ColorAdjuster.h"

#include "image/LabelMap.h"
#include "image/PixelBuffer.h"
#include "image/PixelTraits.h"

#include "tests/support/ChannelImage.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename T> using Image = zptest::Image<T>;

struct Map {
    std::vector<LabelCell> cells;
    LabelMap map;

    Map(int32_t w, int32_t h) : cells(static_cast<size_t>(w) * h, LabelCell{}) {
        map.width = map.boundsWidth = w;
        map.height = map.boundsHeight = h;
        map.cells = cells.data();
    }
    LabelCell& at(int32_t x, int32_t y) { return map.at(x, y); }
};

// What the blend must write for a weighted channel mean, at each depth.
template <typename T> T written(float v) {
    using Traits = fx::PixelTraits<T>;
    if constexpr (Traits::isFloat) {
        return v;
    } else {
        if (v < 0.0f)
            return 0;
        if (v > 1.0f)
            return static_cast<T>(Traits::fullInt);
        return static_cast<T>(std::trunc(v * Traits::full));
    }
}

template <typename T> float unit(T v) {
    return static_cast<float>(v) / fx::PixelTraits<T>::full;
}

// A channel value at each depth for a unit value that all three represent exactly enough.
template <typename T> T channel(float u) {
    using Traits = fx::PixelTraits<T>;
    if constexpr (Traits::isFloat) {
        return u;
    } else {
        return static_cast<T>(u * Traits::full);
    }
}

struct AdjustedPixel {
    float a, r, g, b;
};

AdjustedPixel applied(const ColorAdjuster* adj, float r, float g, float b) {
    float argb[4] = {0.0f, r, g, b};
    if (adj != nullptr)
        adj->apply(argb);
    return AdjustedPixel{argb[0], argb[1], argb[2], argb[3]};
}

// An adjuster that greys fully (black tint: the unclamped grey path) with effects weight 0.2,
// and one that keeps colour with effects weight 0.6.
struct Adjusters {
    ColorAdjuster grey;
    ColorAdjuster keep;
    Adjusters() {
        AdjusterSettings s;
        s.tintRed = s.tintGreen = s.tintBlue = 0.0f;
        s.tintAmount = 1.0f;
        s.effects = 0.2f;
        grey.setSettings(s);
        AdjusterSettings k;
        k.effects = 0.6f;
        keep.setSettings(k);
    }
};

} // namespace

template <typename T> class ZoneBlendDepth : public ::testing::Test {};
using Depths = ::testing::Types<uint8_t, uint16_t, float>;
TYPED_TEST_SUITE(ZoneBlendDepth, Depths);

TYPED_TEST(ZoneBlendDepth, SingleLabelAtCostZeroTakesItsAdjuster) {
    using T = TypeParam;
    Adjusters adj;
    Image<T> img(3, 2);
    Map m(3, 2);
    img.set(1, 1, channel<T>(0.5f), channel<T>(0.8f), channel<T>(0.2f), channel<T>(0.4f));
    m.at(1, 1).set(0, 1, 0);
    blendZones(img.buf, {&adj.grey}, m.map, 4.0f);

    const T* px = img.at(1, 1);
    const AdjustedPixel a =
        applied(&adj.grey, unit(channel<T>(0.8f)), unit(channel<T>(0.2f)), unit(channel<T>(0.4f)));
    EXPECT_EQ(px[0], written<T>(100.0f * a.a / 100.0f));
    EXPECT_EQ(px[1], written<T>(100.0f * a.r / 100.0f));
    EXPECT_EQ(px[2], written<T>(100.0f * a.g / 100.0f));
    EXPECT_EQ(px[3], written<T>(100.0f * a.b / 100.0f));
    EXPECT_EQ(px[1], px[2]); // really greyed
    EXPECT_NEAR(unit(px[0]), 0.2f, 1.0f / 200);
}

TYPED_TEST(ZoneBlendDepth, CostZeroAndOneBlendAtHundredToOne) {
    using T = TypeParam;
    Adjusters adj;
    Image<T> img(2, 1);
    Map m(2, 1);
    img.set(0, 0, 0, channel<T>(0.8f), channel<T>(0.2f), channel<T>(0.4f));
    m.at(0, 0).set(0, 2, 0); // keep, weight 100
    m.at(0, 0).set(1, 1, 1); // grey, weight 1
    blendZones(img.buf, {&adj.grey, &adj.keep}, m.map, 4.0f);

    const float r = unit(channel<T>(0.8f)), g = unit(channel<T>(0.2f)), b = unit(channel<T>(0.4f));
    const AdjustedPixel k = applied(&adj.keep, r, g, b);
    const AdjustedPixel q = applied(&adj.grey, r, g, b);
    const T* px = img.at(0, 0);
    EXPECT_EQ(px[0], written<T>((100.0f * k.a + 1.0f * q.a) / 101.0f));
    EXPECT_EQ(px[1], written<T>((100.0f * k.r + 1.0f * q.r) / 101.0f));
    EXPECT_EQ(px[2], written<T>((100.0f * k.g + 1.0f * q.g) / 101.0f));
    EXPECT_EQ(px[3], written<T>((100.0f * k.b + 1.0f * q.b) / 101.0f));
    EXPECT_NEAR(unit(px[0]), (60.0f + 0.2f) / 101.0f, 1.0f / 200);
}

TYPED_TEST(ZoneBlendDepth, PositiveCostsWeighByInversePower) {
    using T = TypeParam;
    Adjusters adj;
    Image<T> img(1, 1);
    Map m(1, 1);
    img.set(0, 0, 0, channel<T>(1.0f), channel<T>(0.0f), channel<T>(0.0f));
    m.at(0, 0).set(0, 1, 2); // grey: weight 1/16
    m.at(0, 0).set(1, 2, 4); // keep: weight 1/256
    m.at(0, 0).set(2, 3, 3); // no adjuster: weight 1/81, colour kept, effects 0
    blendZones(img.buf, {&adj.grey, &adj.keep}, m.map, 4.0f);
    const float w1 = 1.0f / 16, w2 = 1.0f / 256, w3 = 1.0f / 81;
    const float grey = 0.3f; // the grey path's red weight
    const float red = (w1 * grey + w2 * 1.0f + w3 * 1.0f) / (w1 + w2 + w3);
    const float effects = (w1 * 0.2f + w2 * 0.6f) / (w1 + w2 + w3);
    EXPECT_NEAR(unit(img.at(0, 0)[1]), red, 1.0f / 200);
    EXPECT_NEAR(unit(img.at(0, 0)[0]), effects, 1.0f / 200);
}

TYPED_TEST(ZoneBlendDepth, MissingAdjusterKeepsColourWithZeroEffects) {
    using T = TypeParam;
    Image<T> img(3, 1);
    Map m(3, 1);
    for (int x = 0; x < 3; ++x) {
        img.set(x, 0, channel<T>(0.9f), channel<T>(0.8f), channel<T>(0.2f), channel<T>(0.4f));
    }
    m.at(0, 0).set(0, 1, 0); // null entry
    m.at(1, 0).set(0, 7, 0); // past the end of the list
    m.at(2, 0).set(0, 2, 5);
    blendZones(img.buf, {nullptr, nullptr}, m.map, 4.0f);
    for (int x = 0; x < 3; ++x) {
        const T* px = img.at(x, 0);
        EXPECT_EQ(px[0], T(0)) << x;
        const float w = x == 2 ? std::pow(5.0f, -4.0f) : 100.0f;
        EXPECT_EQ(px[1], written<T>(w * unit(channel<T>(0.8f)) / w)) << x;
        EXPECT_EQ(px[3], written<T>(w * unit(channel<T>(0.4f)) / w)) << x;
    }
}

TYPED_TEST(ZoneBlendDepth, UnlabelledPixelsKeepColourAndAlpha) {
    using T = TypeParam;
    Adjusters adj;
    Image<T> img(2, 2);
    Map m(2, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            img.set(x, y, channel<T>(0.75f), channel<T>(0.5f), channel<T>(0.25f),
                    channel<T>(0.125f));
        }
    }
    m.at(0, 0).set(0, 1, 0);
    blendZones(img.buf, {&adj.grey}, m.map, 4.0f);
    for (int i = 1; i < 4; ++i) {
        const T* px = img.at(i % 2, i / 2);
        EXPECT_EQ(px[0], channel<T>(0.75f));
        EXPECT_EQ(px[1], channel<T>(0.5f));
        EXPECT_EQ(px[2], channel<T>(0.25f));
        EXPECT_EQ(px[3], channel<T>(0.125f));
    }
    EXPECT_NE(img.at(0, 0)[0], channel<T>(0.75f));
}

TYPED_TEST(ZoneBlendDepth, OutOfRangeResultsClampOnIntegerDepthsOnly) {
    using T = TypeParam;
    ColorAdjuster boost; // 0.8 * 1.5 = 1.2 and 0.1 through contrast x2 = -0.3
    AdjusterSettings s;
    s.redGain = 0.5f;
    s.contrast = 1.0f;
    boost.setSettings(s);
    Image<T> img(1, 1);
    Map m(1, 1);
    img.set(0, 0, 0, channel<T>(0.65f), channel<T>(0.1f), channel<T>(0.5f));
    m.at(0, 0).set(0, 1, 0);
    blendZones(img.buf, {&boost}, m.map, 4.0f);
    const T* px = img.at(0, 0);
    const AdjustedPixel a =
        applied(&boost, unit(channel<T>(0.65f)), unit(channel<T>(0.1f)), unit(channel<T>(0.5f)));
    ASSERT_GT(a.r, 1.0f);
    ASSERT_LT(a.g, 0.0f);
    if constexpr (fx::PixelTraits<T>::isFloat) {
        EXPECT_EQ(px[1], 100.0f * a.r / 100.0f);
        EXPECT_EQ(px[2], 100.0f * a.g / 100.0f);
    } else {
        EXPECT_EQ(px[1], fx::PixelTraits<T>::fullInt);
        EXPECT_EQ(px[2], 0);
    }
}

TYPED_TEST(ZoneBlendDepth, BottomUpRowsPairPixelsWithTheirCells) {
    using T = TypeParam;
    Adjusters adj;
    Image<T> img(2, 3, true);
    Map m(2, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 2; ++x) {
            img.set(x, y, channel<T>(1.0f), channel<T>(0.8f), channel<T>(0.2f), channel<T>(0.4f));
        }
    }
    m.at(1, 0).set(0, 1, 0);
    blendZones(img.buf, {&adj.grey}, m.map, 4.0f);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 2; ++x) {
            const bool labelled = x == 1 && y == 0;
            EXPECT_EQ(img.at(x, y)[0] == channel<T>(1.0f), !labelled) << x << "," << y;
        }
    }
}

TYPED_TEST(ZoneBlendDepth, MapSmallerThanImageBlendsOnlyTheCommonArea) {
    using T = TypeParam;
    Adjusters adj;
    Image<T> img(4, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            img.set(x, y, channel<T>(1.0f), channel<T>(0.8f), channel<T>(0.2f), channel<T>(0.4f));
        }
    }
    Map m(2, 2);
    for (LabelCell& c : m.cells) {
        c.set(0, 1, 0);
    }
    blendZones(img.buf, {&adj.grey}, m.map, 4.0f);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool inside = x < 2 && y < 2;
            EXPECT_EQ(img.at(x, y)[0] == channel<T>(1.0f), !inside) << x << "," << y;
        }
    }
}

TYPED_TEST(ZoneBlendDepth, IntensityOfFullWhiteIs255AndAlphaIsIgnored) {
    using T = TypeParam;
    Image<T> img(2, 1);
    const T full = channel<T>(1.0f);
    img.set(0, 0, 0, full, full, full);
    img.set(1, 0, full, 0, 0, 0);
    Map m(2, 1);
    fillLabelIntensity(m.map, img.buf, img.buf.bounds);
    EXPECT_EQ(m.at(0, 0).intensity, 255);
    EXPECT_EQ(m.at(1, 0).intensity, 0);
}

TYPED_TEST(ZoneBlendDepth, IntensityWalksOnlyWhereSourceAndMapMeet) {
    using T = TypeParam;
    const T full = channel<T>(1.0f);
    Image<T> big(5, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            big.set(x, y, full, full, full, full);
        }
    }
    Map small(3, 2);
    fillLabelIntensity(small.map, big.buf, big.buf.bounds);
    for (const LabelCell& c : small.cells) {
        EXPECT_EQ(c.intensity, 255);
    }

    Image<T> tiny(2, 1);
    tiny.set(0, 0, 0, full, full, full);
    tiny.set(1, 0, 0, full, full, full);
    Map wide(3, 2);
    for (LabelCell& c : wide.cells) {
        c.intensity = 9;
    }
    fillLabelIntensity(wide.map, tiny.buf, Rect{0, 0, 5, 5});
    EXPECT_EQ(wide.at(0, 0).intensity, 255);
    EXPECT_EQ(wide.at(1, 0).intensity, 255);
    EXPECT_EQ(wide.at(2, 0).intensity, 9);
    EXPECT_EQ(wide.at(0, 1).intensity, 9);

    // A sub-rectangle writes only its own cells.
    Map part(5, 4);
    fillLabelIntensity(part.map, big.buf, Rect{1, 2, 3, 4});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const bool inside = y >= 1 && y < 3 && x >= 2 && x < 4;
            EXPECT_EQ(part.at(x, y).intensity, inside ? 255 : 0) << x << "," << y;
        }
    }
}

// The compact plane and the cells made from it are what the fill leaves in a zero-filled map,
// byte for byte, whatever the sizes, the area and the row order; fresh cells start as junk.
TYPED_TEST(ZoneBlendDepth, IntensityPlaneGivesTheCellsTheFillGives) {
    using T = TypeParam;
    for (const bool bottomUp : {false, true}) {
        Image<T> img(5, 4, bottomUp);
        zptest::scramble(img.memory, 77);
        struct Case {
            int32_t w, h;
            Rect area;
        };
        for (const Case& c : {Case{5, 4, img.buf.bounds}, Case{3, 2, img.buf.bounds},
                              Case{7, 6, img.buf.bounds}, Case{5, 4, Rect{1, 2, 3, 4}},
                              Case{6, 5, Rect{-2, -1, 9, 9}}, Case{5, 4, Rect{3, 3, 1, 1}}}) {
            SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
            Map filled(c.w, c.h);
            fillLabelIntensity(filled.map, img.buf, c.area);
            std::vector<uint8_t> plane(static_cast<size_t>(c.w) * c.h, 0xAB);
            fillIntensityPlane(plane.data(), c.w, c.h, img.buf, c.area);
            Map made(c.w, c.h);
            std::memset(static_cast<void*>(made.cells.data()), 0x5C,
                        made.cells.size() * sizeof(LabelCell));
            initCellsFromPlane(made.map, plane.data());
            EXPECT_EQ(std::memcmp(made.cells.data(), filled.cells.data(),
                                  filled.cells.size() * sizeof(LabelCell)),
                      0);
        }
    }
}

TEST(ZoneBlendIntensity, EightBitLuma) {
    Image<uint8_t> img(3, 1);
    img.set(0, 0, 0, 1, 1, 1);
    img.set(1, 0, 0, 10, 200, 30);
    img.set(2, 0, 0, 254, 0, 255);
    Map m(3, 1);
    fillLabelIntensity(m.map, img.buf, img.buf.bounds);
    EXPECT_EQ(m.at(0, 0).intensity, 1);
    EXPECT_EQ(m.at(1, 0).intensity, (76 * 10 + 150 * 200 + 29 * 30) / 255);
    EXPECT_EQ(m.at(2, 0).intensity, (76 * 254 + 29 * 255) / 255);
}

TEST(ZoneBlendIntensity, SixteenBitLumaTruncatesTwice) {
    Image<uint16_t> img(4, 1);
    img.set(0, 0, 0, 1000, 20000, 3000);
    img.set(1, 0, 0, 129, 129, 129);
    img.set(2, 0, 0, 128, 128, 128);
    img.set(3, 0, 0, 65535, 65535, 65535); // not a valid value: saturates instead of wrapping
    Map m(4, 1);
    fillLabelIntensity(m.map, img.buf, img.buf.bounds);
    auto luma = [](int64_t r, int64_t g, int64_t b) {
        const int64_t t = (19532 * r + 38550 * g + 7453 * b) / 65535;
        return (t * 255) / 32768;
    };
    EXPECT_EQ(m.at(0, 0).intensity, luma(1000, 20000, 3000));
    EXPECT_EQ(m.at(0, 0).intensity, 96);
    EXPECT_EQ(m.at(1, 0).intensity, 1);
    EXPECT_EQ(m.at(2, 0).intensity, 0);
    EXPECT_EQ(m.at(3, 0).intensity, 255);
}

TEST(ZoneBlendIntensity, FloatLumaClampsThenTruncates) {
    Image<float> img(4, 1);
    img.set(0, 0, 0, 2.0f, 2.0f, 2.0f);
    img.set(1, 0, 0, -1.0f, 0.0f, 0.0f);
    img.set(2, 0, 0, 0.5f, 0.5f, 0.5f);
    img.set(3, 0, 0, 2.0f, -1.0f, 0.5f);
    Map m(4, 1);
    fillLabelIntensity(m.map, img.buf, img.buf.bounds);
    EXPECT_EQ(m.at(0, 0).intensity, 255);
    EXPECT_EQ(m.at(1, 0).intensity, 0);
    EXPECT_EQ(m.at(2, 0).intensity, 127);
    EXPECT_EQ(m.at(3, 0).intensity,
              static_cast<int>((0.3f * 2.0f + 0.59f * -1.0f + 0.11f * 0.5f) * 255.0f));
}

TEST(ZoneBlendSeeding, FillsFirstFreeSlotAndMarksStrokePixels) {
    Map m(4, 1);
    m.at(1, 0).set(0, 5, 30);
    m.at(2, 0).set(0, 5, 30);
    m.at(2, 0).set(1, 6, 31);
    m.at(2, 0).set(2, 7, 32);
    m.at(3, 0).cost1 = 44; // the slot's cost is left as it is
    m.at(3, 0).set(0, 8, 12);

    std::vector<uint8_t> raster = {3, 4, 9, 2};
    PixelBuffer r;
    r.width = 4;
    r.height = 1;
    r.channels = 1;
    r.bytesPerChannel = r.bytesPerPixel = 1;
    r.rowBytes = r.rowStep = 4;
    r.data = r.row0 = raster.data();
    r.bounds = Rect{0, 0, 1, 4};
    seedLabels(m.map, r, r.bounds);

    EXPECT_EQ(m.at(0, 0).label0, 3);
    EXPECT_EQ(m.at(0, 0).cost0, 0);
    EXPECT_EQ(m.at(0, 0).seed, 1);
    EXPECT_EQ(m.at(1, 0).label0, 5);
    EXPECT_EQ(m.at(1, 0).label1, 4);
    EXPECT_EQ(m.at(1, 0).seed, 0);
    EXPECT_EQ(m.at(2, 0).label0, 5); // full: the value is dropped
    EXPECT_EQ(m.at(2, 0).label1, 6);
    EXPECT_EQ(m.at(2, 0).label2, 7);
    EXPECT_EQ(m.at(2, 0).cost2, 32);
    EXPECT_EQ(m.at(3, 0).label1, 2);
    EXPECT_EQ(m.at(3, 0).cost1, 44);
}

TEST(ZoneBlendSeeding, ZeroBytesLeaveCellsAndRasterIsClippedToTheMap) {
    const int32_t w = 5, h = 3;
    std::vector<uint8_t> raster(static_cast<size_t>(w) * h, 0);
    raster[1 * w + 1] = 2;
    raster[2 * w + 4] = 9; // outside the smaller map
    PixelBuffer r;
    r.width = w;
    r.height = h;
    r.channels = 1;
    r.bytesPerChannel = r.bytesPerPixel = 1;
    r.rowBytes = r.rowStep = w;
    r.data = r.row0 = raster.data();
    r.bounds = Rect{0, 0, h, w};
    Map m(3, 2);
    seedLabels(m.map, r, r.bounds);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const LabelCell& c = m.at(x, y);
            const bool seeded = x == 1 && y == 1;
            EXPECT_EQ(c.label0, seeded ? 2 : 0);
            EXPECT_EQ(c.seed, seeded ? 1 : 0);
            EXPECT_EQ(c.label1, 0);
        }
    }
}

namespace {

// The blend as plainly described, one channel at a time: the oracle for the lane-parallel
// writer and the input table.
template <typename T>
void referenceBlend(Image<T>& img, const std::vector<ColorAdjuster*>& list, const Map& m, float p) {
    using Traits = fx::PixelTraits<T>;
    for (int32_t y = 0; y < img.buf.height; ++y) {
        for (int32_t x = 0; x < img.buf.width; ++x) {
            T* px = img.at(x, y);
            const LabelCell& cell = m.map.at(x, y);
            float in[3];
            for (int c = 0; c < 3; ++c) {
                if constexpr (Traits::isFloat) {
                    in[c] = px[c + 1];
                } else {
                    in[c] = static_cast<float>(px[c + 1]) / Traits::full;
                }
            }
            float sw = 0, sr = 0, sg = 0, sb = 0, se = 0;
            for (int k = 0; k < 3 && cell.label(k) != 0; ++k) {
                const size_t entry = cell.label(k) - 1u;
                const AdjustedPixel a =
                    applied(entry < list.size() ? list[entry] : nullptr, in[0], in[1], in[2]);
                const float cost = static_cast<float>(cell.cost(k));
                const float w = cost > 0.0f ? std::pow(cost, -p) : 100.0f;
                sw += w;
                sr += w * a.r;
                sg += w * a.g;
                sb += w * a.b;
                se += w * a.a;
            }
            if (sw > 0.0f) {
                const float out[4] = {se / sw, sr / sw, sg / sw, sb / sw};
                for (int c = 0; c < 4; ++c) {
                    if constexpr (Traits::isFloat) {
                        px[c] = out[c];
                    } else if (out[c] < 0.0f || std::isnan(out[c])) {
                        px[c] = 0;
                    } else if (out[c] > 1.0f) {
                        px[c] = static_cast<T>(Traits::fullInt);
                    } else {
                        px[c] = static_cast<T>(std::trunc(out[c] * Traits::full));
                    }
                }
            }
        }
    }
}

} // namespace

TYPED_TEST(ZoneBlendDepth, MatchesThePlainBlendOnRandomFrames) {
    using T = TypeParam;
    using Traits = fx::PixelTraits<T>;
    const int32_t w = 61, h = 23;
    Image<T> fast(w, h);
    Image<T> plain(w, h);
    Map m(w, h);
    uint32_t seed = 99;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (size_t i = 0; i < fast.memory.size(); ++i) {
        const float u = static_cast<float>(next() % 1000) / 999.0f;
        if constexpr (Traits::isFloat) {
            // Float frames carry values outside 0..1 too.
            fast.memory[i] = u * 1.6f - 0.3f;
        } else {
            fast.memory[i] = static_cast<T>(u * Traits::full);
        }
    }
    if constexpr (Traits::isFloat) {
        fast.memory[5] = NAN; // a NaN channel must not upset its neighbours
    }
    plain.memory = fast.memory;
    // Costs 0 (fixed weight), small ones, and large ones up to the 16-bit limit.
    auto cost = [&next] {
        switch (next() % 4) {
        case 0:
            return 0u;
        case 1:
            return 1u + next() % 300;
        case 2:
            return 3000u + next() % 3000;
        default:
            return next() % 65536;
        }
    };
    for (LabelCell& c : m.cells) {
        const int labels = static_cast<int>(next() % 4);
        for (int k = 0; k < labels; ++k) {
            c.set(k, static_cast<uint16_t>(1 + next() % 5), static_cast<uint16_t>(cost()));
        }
    }
    ColorAdjuster tone, tinted, everything;
    AdjusterSettings s;
    s.contrast = 0.8f;
    s.gamma = -0.4f;
    s.effects = 0.3f;
    tone.setSettings(s);
    AdjusterSettings t;
    t.tintRed = 0.2f;
    t.tintGreen = 0.7f;
    t.tintBlue = 0.9f;
    t.tintAmount = 0.8f;
    t.effects = 1.0f;
    tinted.setSettings(t);
    AdjusterSettings e = t;
    e.hue = -0.3f;
    e.saturation = 0.6f;
    e.brightness = 0.4f;
    e.cyanMagenta = 0.2f;
    everything.setSettings(e);
    // Labels 1..5: three adjusters, an empty entry and one past the end of the list.
    const std::vector<ColorAdjuster*> list = {&tone, &tinted, nullptr, &everything};

    const std::vector<T> input = fast.memory;
    blendZones(fast.buf, list, m.map, 4.0f);
    referenceBlend(plain, list, m, 4.0f);
    for (size_t i = 0; i < fast.memory.size(); ++i) {
        if constexpr (Traits::isFloat) {
            if (std::isnan(plain.memory[i])) {
                EXPECT_TRUE(std::isnan(fast.memory[i])) << i;
                continue;
            }
        }
        ASSERT_EQ(fast.memory[i], plain.memory[i]) << i;
    }

    // Reusing a kept blend: a first call with every label changed fills the kept blocks and
    // blends as the plain call does; after one adjuster changes, a call that runs only that
    // label again (the others' colours read back) still gives the plain call's bytes.
    std::vector<T> keptPixels(fast.memory.size());
    std::vector<float> keptSlots(static_cast<size_t>(w) * h * 9);
    std::array<uint8_t, 256> changed;
    changed.fill(1);
    const BlendReuse reuse{reinterpret_cast<uint8_t*>(keptPixels.data()), keptSlots.data(),
                           changed.data()};
    const auto blendAgain = [&](const BlendReuse* with) {
        Image<T> img(w, h);
        img.memory = input;
        blendZones(img.buf, list, m.map, 4.0f, with);
        return img.memory;
    };
    const auto sameBytes = [](const std::vector<T>& a, const std::vector<T>& b) {
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
    };
    EXPECT_TRUE(sameBytes(blendAgain(&reuse), fast.memory));
    changed.fill(0);
    t.tintAmount = 0.5f;
    t.effects = 0.6f;
    tinted.setSettings(t);
    changed[2] = 1;
    EXPECT_TRUE(sameBytes(blendAgain(&reuse), blendAgain(nullptr)));
    // Back again, with the kept blocks as the last call left them.
    tinted.setSettings(e);
    EXPECT_TRUE(sameBytes(blendAgain(&reuse), blendAgain(nullptr)));
}

TEST(ZoneBlendDepths, UnknownDepthOrChannelCountLeavesEverythingAlone) {
    std::vector<uint8_t> memory(2 * 2 * 12, 77);
    PixelBuffer odd = wrapPixels(memory.data(), 0, 2, 2, 3, nullptr);
    Map m(2, 2);
    for (LabelCell& c : m.cells) {
        c.set(0, 1, 0);
        c.intensity = 5;
    }
    ColorAdjuster adj;
    blendZones(odd, {&adj}, m.map, 4.0f);
    fillLabelIntensity(m.map, odd, odd.bounds);
    for (uint8_t v : memory) {
        ASSERT_EQ(v, 77);
    }
    for (const LabelCell& c : m.cells) {
        EXPECT_EQ(c.intensity, 5);
    }
    // A one-channel 8-bit raster is not an image the blend can write.
    std::vector<uint8_t> raster(4, 1);
    PixelBuffer one;
    one.width = one.height = 2;
    one.channels = one.bytesPerChannel = one.bytesPerPixel = 1;
    one.rowBytes = one.rowStep = 2;
    one.data = one.row0 = raster.data();
    one.bounds = Rect{0, 0, 2, 2};
    blendZones(one, {&adj}, m.map, 4.0f);
    EXPECT_EQ(raster, std::vector<uint8_t>(4, 1));
}

TEST(ZoneBlendIntensity, FloatNanReadsAsBlack) {
    Image<float> img(1, 1);
    img.set(0, 0, 1.0f, NAN, 0.5f, 0.5f);
    Map m(1, 1);
    m.at(0, 0).intensity = 200;
    fillLabelIntensity(m.map, img.buf, img.buf.bounds);
    EXPECT_EQ(m.at(0, 0).intensity, 0);
}
