#include "color/FillLight.h"
#include "color/ToneLut.h"

#include "image/PixelBuffer.h"
#include "image/PixelTraits.h"

#include "tests/support/ChannelImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

template <typename T> using Image = zptest::Image<T>;

using zptest::scramble;

template <typename T> T full() {
    return static_cast<T>(fx::PixelTraits<T>::fullInt);
}

// The luma of the 16-bit and float depths reads the 65536-entry table, 8-bit the small one.
template <typename T> uint64_t builds(const ToneLut& lut) {
    return sizeof(T) == 1 ? lut.builds8() : lut.builds16();
}

template <typename T> class FillLightDepth : public ::testing::Test {};
using Depths = ::testing::Types<uint8_t, uint16_t, float>;
TYPED_TEST_SUITE(FillLightDepth, Depths);

TYPED_TEST(FillLightDepth, StrengthZeroTouchesNothingAndBuildsNoTable) {
    using T = TypeParam;
    Image<T> img(7, 5);
    scramble(img.memory, 11);
    const std::vector<T> before = img.memory;
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.5, 1.6);
    FillLight light{0.0f, 0.5f, 1.6f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    EXPECT_EQ(img.memory, before);
    EXPECT_EQ(lut->builds8(), 0u);
    EXPECT_EQ(lut->builds16(), 0u);
    EXPECT_TRUE(lut->dirty8());
    EXPECT_TRUE(lut->dirty16());
}

TYPED_TEST(FillLightDepth, BuildsOnlyItsOwnDepthsTableOnce) {
    using T = TypeParam;
    Image<T> img(4, 4);
    scramble(img.memory, 5);
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.3, 1.0);
    FillLight light{1.0f, 0.3f, 1.0f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    applyFillLight(light, img.buf, img.buf.bounds);
    EXPECT_EQ(builds<T>(*lut), 1u);
    EXPECT_EQ(lut->builds8() + lut->builds16(), 1u);
}

TYPED_TEST(FillLightDepth, AlphaZeroPixelsGetNoLightAndAlphaNeverChanges) {
    using T = TypeParam;
    Image<T> img(6, 3);
    scramble(img.memory, 21);
    for (int32_t x = 0; x < 6; ++x) {
        img.at(x, 1)[0] = T(0);
    }
    const std::vector<T> before = img.memory;
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.0, 1.6); // weight everywhere below luma 1.6
    FillLight light{5.0f, 0.0f, 1.6f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    int32_t changed = 0;
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 6; ++x) {
            const T* now = img.at(x, y);
            const T* was = &before[static_cast<size_t>(y * 6 + x) * 4];
            EXPECT_EQ(now[0], was[0]) << x << "," << y;
            for (int c = 1; c < 4; ++c) {
                if (y == 1) {
                    EXPECT_EQ(now[c], was[c]) << "alpha-0 pixel " << x << " channel " << c;
                } else if (now[c] != was[c]) {
                    ++changed;
                }
            }
        }
    }
    EXPECT_GT(changed, 0); // the other rows did receive light
}

TYPED_TEST(FillLightDepth, OnlyTheClippedRectangleChanges) {
    using T = TypeParam;
    for (bool bottomUp : {false, true}) {
        Image<T> img(8, 6, bottomUp);
        const T half = sizeof(T) == 4 ? T(0.25f) : static_cast<T>(full<T>() / 4);
        img.fill(full<T>(), half, half, half);
        auto lut = std::make_unique<ToneLut>();
        lut->setBump(0.25, 1.6);
        FillLight light{1.0f, 0.25f, 1.6f, lut.get()};
        // Reaches past the right and bottom edges and starts left of the image: only
        // columns 0..2 of rows 4..5 lie inside.
        applyFillLight(light, img.buf, Rect{4, -5, 100, 3});
        for (int32_t y = 0; y < 6; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                const bool inside = y >= 4 && x < 3;
                EXPECT_EQ(img.at(x, y)[1] != half, inside) << x << "," << y << " " << bottomUp;
            }
        }
        // Wholly outside, or inverted: nothing.
        const std::vector<T> before = img.memory;
        applyFillLight(light, img.buf, Rect{6, 0, 9, 8});
        applyFillLight(light, img.buf, Rect{-4, -4, 0, 0});
        applyFillLight(light, img.buf, Rect{5, 5, 2, 2});
        EXPECT_EQ(img.memory, before);
    }
}

TEST(FillLight, StrengthFiveOnHalfGreyWithFullWeightSaturates) {
    Image<uint8_t> img(1, 1);
    img.set(0, 0, 255, 128, 128, 128); // luma (76 + 150 + 29) * 128 / 255 = 128
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(128.0 / 255.0, 0.5);
    ASSERT_EQ(lut->table8()[128], 255);
    FillLight light{5.0f, 0.0f, 0.0f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    EXPECT_EQ(img.at(0, 0)[0], 255);
    EXPECT_EQ(img.at(0, 0)[1], 255);
    EXPECT_EQ(img.at(0, 0)[2], 255);
    EXPECT_EQ(img.at(0, 0)[3], 255);
}

// A ToneLut that never saw setBump has identity tables: the weight is the table index itself.
TEST(FillLight, HandComputedValuesAtEachDepth) {
    auto lut = std::make_unique<ToneLut>();
    FillLight light{1.0f, 0.0f, 0.0f, lut.get()};
    {
        // luma 100, w = 100, k = 100/255; y = x (1 + k) = 0.5459439 -> 139.
        // Half alpha: k = 100/255 * 128/255 = 0.1968...; y = 0.3921569 * 1.1968473 = 0.46935
        // -> 119.
        Image<uint8_t> img(2, 1);
        img.set(0, 0, 255, 100, 100, 100);
        img.set(1, 0, 128, 100, 100, 100);
        applyFillLight(light, img.buf, img.buf.bounds);
        EXPECT_EQ(img.at(0, 0)[1], 139);
        EXPECT_EQ(img.at(1, 0)[3], 119);
        EXPECT_EQ(img.at(1, 0)[0], 128);
    }
    {
        // luma 16384, index 16384 * 65535 / 32768 = 32767, w = 32767, k = 0.4999924;
        // y = 0.5 * 1.4999924 = 0.7499962 -> 24575.
        Image<uint16_t> img(1, 1);
        img.set(0, 0, 32768, 16384, 16384, 16384);
        applyFillLight(light, img.buf, img.buf.bounds);
        EXPECT_EQ(img.at(0, 0)[1], 24575);
        EXPECT_EQ(img.at(0, 0)[0], 32768);
    }
    {
        // Float, strength 5, alpha 0.8: luma 0.808, w = trunc(0.808 * 65535) / 65535,
        // k = 0.8 w = 0.6463967; red 0.9 -> 0.9 (1 + 5 k) = 3.80878, unclamped.
        Image<float> img(1, 1);
        img.set(0, 0, 0.8f, 0.9f, 0.8f, 0.6f);
        light.strength = 5.0f;
        applyFillLight(light, img.buf, img.buf.bounds);
        const float luma = 0.3f * 0.9f + 0.59f * 0.8f + 0.11f * 0.6f;
        const float w = std::trunc(luma * 65535.0f) / 65535.0f;
        const float k = 0.8f * w;
        EXPECT_NEAR(img.at(0, 0)[1], 0.9f * (1.0f + 5.0f * k), 1e-5f);
        EXPECT_NEAR(img.at(0, 0)[1], 3.80878f, 1e-4f);
        EXPECT_NEAR(img.at(0, 0)[3], 0.6f * (1.0f + 5.0f * k), 1e-5f);
        EXPECT_EQ(img.at(0, 0)[0], 0.8f);
    }
}

// Integer pixels with weight 0 are skipped; float ones are computed, so IEEE arithmetic
// decides what non-finite values become.
TEST(FillLight, ZeroWeightSkipsOnlyIntegerPixels) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.9, 0.1); // weight 0 below luma 0.8
    Image<uint8_t> img(1, 1);
    img.set(0, 0, 255, 20, 30, 40);
    FillLight light{5.0f, 0.9f, 0.1f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    EXPECT_EQ(img.at(0, 0)[1], 20);
    EXPECT_EQ(img.at(0, 0)[3], 40);

    Image<float> f(3, 1);
    f.set(0, 0, 1.0f, inf, -inf, 0.25f); // NaN luma: table entry 0, weight 0
    f.set(1, 0, nan, 0.2f, 0.2f, 0.2f);  // weight 0 times a NaN alpha
    f.set(2, 0, 1.0f, 0.2f, 0.3f, 0.4f);
    applyFillLight(light, f.buf, f.buf.bounds);
    EXPECT_TRUE(std::isnan(f.at(0, 0)[1])) << "inf + 0 * 5 * inf";
    EXPECT_TRUE(std::isnan(f.at(0, 0)[2]));
    EXPECT_EQ(f.at(0, 0)[3], 0.25f);
    EXPECT_TRUE(std::isnan(f.at(1, 0)[1]));
    EXPECT_EQ(f.at(2, 0)[2], 0.3f) << "a finite pixel with weight 0 keeps its value";
}

// Straight from the integer formulas, one pixel at a time.
template <typename T>
void referenceFill(T* p, const uint8_t* t8, const uint16_t* t16, float strength) {
    const int64_t a = p[0];
    if (a == 0)
        return;
    float k;
    if constexpr (sizeof(T) == 1) {
        const int64_t luma = (76 * p[1] + 150 * p[2] + 29 * p[3]) / 255;
        const int64_t w = t8[luma];
        if (w == 0)
            return;
        k = (static_cast<float>(w) / 255.0f) * (static_cast<float>(a) / 255.0f);
    } else {
        const int64_t luma =
            (19532 * int64_t{p[1]} + 38550 * int64_t{p[2]} + 7453 * int64_t{p[3]}) / 65535;
        const int64_t w = t16[(luma * 65535) / 32768];
        if (w == 0)
            return;
        k = (static_cast<float>(w) / 65535.0f) * (static_cast<float>(a) / 32768.0f);
    }
    const float max = fx::PixelTraits<T>::full;
    for (int c = 1; c < 4; ++c) {
        const float x = static_cast<float>(p[c]) / max;
        const float y = x + k * strength * x;
        p[c] = y < 0.0f   ? T(0)
               : y > 1.0f ? static_cast<T>(max)
                          : static_cast<T>(std::trunc(y * max));
    }
}

template <typename T> class FillLightInteger : public ::testing::Test {};
using IntegerDepths = ::testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(FillLightInteger, IntegerDepths);

TYPED_TEST(FillLightInteger, MatchesTheFormulaOnEveryPixel) {
    using T = TypeParam;
    Image<T> img(61, 37, true);
    scramble(img.memory, 1234);
    std::vector<T> expected = img.memory;
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.45, 1.2);
    const uint8_t* t8 = lut->table8();
    const uint16_t* t16 = lut->table16();
    for (size_t i = 0; i < expected.size(); i += 4) {
        referenceFill(&expected[i], t8, t16, 2.3f);
    }
    FillLight light{2.3f, 0.45f, 1.2f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    EXPECT_EQ(img.memory, expected);
}

TYPED_TEST(FillLightInteger, IntegerDepthsStayWithinTheirRange) {
    using T = TypeParam;
    Image<T> img(16, 16);
    scramble(img.memory, 77);
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.2, 2.0);
    FillLight light{5.0f, 0.2f, 2.0f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    int32_t saturated = 0;
    for (T v : img.memory) {
        EXPECT_LE(v, full<T>());
        saturated += v == full<T>() ? 1 : 0;
    }
    EXPECT_GT(saturated, 0);
}

TEST(FillLightLuma, IndexPerDepth) {
    const uint8_t p8[4] = {255, 10, 200, 30};
    EXPECT_EQ(tone::lumaIndex(p8), (76u * 10 + 150u * 200 + 29u * 30) / 255u);
    const uint8_t white8[4] = {0, 255, 255, 255};
    EXPECT_EQ(tone::lumaIndex(white8), 255u);

    const uint16_t white16[4] = {0, 32768, 32768, 32768};
    EXPECT_EQ(tone::lumaIndex(white16), 65535u);
    const uint16_t one16[4] = {0, 1, 1, 1}; // luma 1 -> 65535 / 32768 = 1
    EXPECT_EQ(tone::lumaIndex(one16), 1u);
    const uint16_t grey16[4] = {0, 3000, 3000, 3000}; // luma 3000 -> 5999
    EXPECT_EQ(tone::lumaIndex(grey16), 5999u);
    // Storable but not valid: saturates instead of reading past the table.
    const uint16_t over16[4] = {0, 65535, 65535, 65535};
    EXPECT_EQ(tone::lumaIndex(over16), 65535u);

    const float grey[4] = {0.0f, 0.5f, 0.5f, 0.5f};
    EXPECT_EQ(tone::lumaIndex(grey),
              static_cast<uint32_t>((0.3f * 0.5f + 0.59f * 0.5f + 0.11f * 0.5f) * 65535.0f));
    const float bright[4] = {0.0f, 2.0f, 2.0f, 2.0f};
    EXPECT_EQ(tone::lumaIndex(bright), 65535u);
    const float dark[4] = {0.0f, -0.5f, 0.1f, 0.1f};
    EXPECT_EQ(tone::lumaIndex(dark), 0u);
}

TEST(FillLightLuma, NonFiniteFloatsGiveAValidIndex) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float pNan[4] = {1.0f, nan, 0.5f, 0.5f};
    const float pInf[4] = {1.0f, inf, 0.5f, 0.5f};
    const float pNegInf[4] = {1.0f, -inf, 0.5f, 0.5f};
    const float pMixed[4] = {1.0f, inf, -inf, 0.5f}; // inf - inf is NaN
    EXPECT_EQ(tone::lumaIndex(pNan), 0u);
    EXPECT_EQ(tone::lumaIndex(pInf), 65535u);
    EXPECT_EQ(tone::lumaIndex(pNegInf), 0u);
    EXPECT_EQ(tone::lumaIndex(pMixed), 0u);
}

TEST(FillLight, NonFiniteFloatPixelsLeaveTheirNeighboursCorrect) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.0, 1.6); // entry 0 is full weight, so NaN luma pixels are lit too
    Image<float> img(4, 1);
    img.set(0, 0, 1.0f, nan, 0.2f, 0.2f);
    img.set(1, 0, 1.0f, inf, 0.2f, 0.2f);
    img.set(2, 0, nan, 0.2f, 0.2f, 0.2f);
    img.set(3, 0, 1.0f, 0.2f, 0.2f, 0.2f);
    Image<float> ref(1, 1);
    ref.set(0, 0, 1.0f, 0.2f, 0.2f, 0.2f);
    FillLight light{1.0f, 0.0f, 1.6f, lut.get()};
    applyFillLight(light, img.buf, img.buf.bounds);
    applyFillLight(light, ref.buf, ref.buf.bounds);
    EXPECT_TRUE(std::isnan(img.at(0, 0)[1]));
    EXPECT_GT(img.at(0, 0)[2], 0.2f); // the finite channels of that pixel are lit
    EXPECT_EQ(img.at(3, 0)[1], ref.at(0, 0)[1]);
    EXPECT_GT(ref.at(0, 0)[1], 0.2f);
}

TEST(FillLight, UnsupportedBuffersAndMissingTableAreLeftAlone) {
    auto lut = std::make_unique<ToneLut>();
    FillLight light{1.0f, 0.0f, 0.0f, lut.get()};

    Image<uint8_t> img(3, 3);
    img.fill(255, 100, 100, 100);
    const std::vector<uint8_t> before = img.memory;
    PixelBuffer odd = img.buf;
    odd.bytesPerChannel = 3;
    applyFillLight(light, odd, odd.bounds);
    PixelBuffer single = img.buf;
    single.channels = 1;
    applyFillLight(light, single, single.bounds);
    FillLight noTable{1.0f, 0.0f, 0.0f, nullptr};
    applyFillLight(noTable, img.buf, img.buf.bounds);
    FillLight nanStrength{std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f, lut.get()};
    applyFillLight(nanStrength, img.buf, img.buf.bounds);
    EXPECT_EQ(img.memory, before);
    EXPECT_EQ(lut->builds8() + lut->builds16(), 0u);
}

} // namespace
