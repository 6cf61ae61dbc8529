#include "color/Glow.h"
#include "color/ToneLut.h"

#include "fx/BlurFilter.h"
#include "image/PixelBuffer.h"
#include "image/PixelTraits.h"
#include "tests/support/CountingMemoryHandler.h"

#include "tests/support/ChannelImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

template <typename T> using Image = zptest::Image<T>;

using zptest::scramble;

// The pass's collaborators, owned the way the sequence state owns them.
struct Rig {
    std::unique_ptr<ToneLut> lut = std::make_unique<ToneLut>();
    std::unique_ptr<fx::BlurFilter> filter = std::make_unique<fx::BlurFilter>();
    zptest::CountingMemoryHandler handler;

    Glow glow(float amount, int32_t mode, float blur = 0.0f) {
        Glow g;
        g.amount = amount;
        g.blurX = g.blurY = blur;
        g.colorAlpha = 1.0f;
        g.colorRed = g.colorGreen = g.colorBlue = 1.0f;
        g.blendMode = mode;
        g.lut = lut.get();
        g.filter = filter.get();
        return g;
    }
};

template <typename T> class GlowDepth : public ::testing::Test {};
using Depths = ::testing::Types<uint8_t, uint16_t, float>;
TYPED_TEST_SUITE(GlowDepth, Depths);

TYPED_TEST(GlowDepth, WorkingImageIsGivenBackInEveryMode) {
    using T = TypeParam;
    for (int32_t mode : {kGlowAdd, kGlowNormal, kGlowScreen}) {
        Rig rig;
        rig.lut->setBump(0.5, 1.6);
        Image<T> img(23, 17, true);
        scramble(img.memory, 3);
        Glow g = rig.glow(1.5f, mode, 3.0f);
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        EXPECT_EQ(rig.handler.allocations(), 1) << mode;
        EXPECT_EQ(rig.handler.live(), 0) << mode;
    }
}

TYPED_TEST(GlowDepth, RefusedWorkingImageThrowsAndLeavesEverythingAsItWas) {
    using T = TypeParam;
    for (int32_t mode : {kGlowAdd, kGlowNormal, kGlowScreen}) {
        Rig rig;
        rig.lut->setBump(0.5, 1.6);
        rig.handler.failAt = 1;
        Image<T> img(9, 7);
        scramble(img.memory, 8);
        const std::vector<T> before = img.memory;
        Glow g = rig.glow(1.0f, mode, 2.0f);
        EXPECT_THROW(applyGlow(g, img.buf, img.buf.bounds, rig.handler), std::bad_alloc);
        EXPECT_EQ(rig.handler.live(), 0);
        for (size_t i = 0; i < before.size(); ++i) {
            // Bitwise: the scrambled floats hold no NaN, so == compares them exactly.
            ASSERT_EQ(img.memory[i], before[i]) << "mode " << mode << " value " << i;
        }
    }
}

TYPED_TEST(GlowDepth, NoAmountMakesNoWorkingImage) {
    using T = TypeParam;
    for (float amount : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        for (int32_t mode : {kGlowAdd, kGlowNormal, kGlowScreen}) {
            Rig rig;
            Image<T> img(5, 5);
            scramble(img.memory, 4);
            const std::vector<T> before = img.memory;
            Glow g = rig.glow(amount, mode, 2.0f);
            applyGlow(g, img.buf, img.buf.bounds, rig.handler);
            EXPECT_EQ(rig.handler.allocations(), 0) << amount << " " << mode;
            EXPECT_EQ(img.memory, before);
            EXPECT_EQ(rig.lut->builds8() + rig.lut->builds16(), 0u);
        }
    }
}

TYPED_TEST(GlowDepth, AlphaZeroGivesNothingButReceivesNeighboursGlow) {
    using T = TypeParam;
    using Traits = fx::PixelTraits<T>;
    const T full = static_cast<T>(Traits::fullInt);
    const auto value = [](float u) {
        return Traits::isFloat ? static_cast<T>(u) : static_cast<T>(u * Traits::full);
    };
    for (float blur : {0.0f, 4.0f}) {
        Rig rig;
        rig.lut->setBump(0.0, 1.6); // weight everywhere in 0..1
        Image<T> img(20, 1);
        // Pixel 2: bright but alpha 0. Pixel 14: the only weighted pixel. The rest: dark, alpha
        // 0. The blur reaches about 6 pixels far.
        img.set(2, 0, T(0), value(0.6f), value(0.6f), value(0.6f));
        img.set(14, 0, full, value(0.6f), value(0.6f), value(0.6f));
        const std::vector<T> before = img.memory;
        Glow g = rig.glow(1.0f, kGlowAdd, blur);
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        for (int32_t x = 0; x < 20; ++x) {
            EXPECT_EQ(img.at(x, 0)[0], before[static_cast<size_t>(x) * 4]) << x;
        }
        // The alpha-0 bright pixel's own glow would have spread to pixel 1 and 3.
        EXPECT_EQ(img.at(1, 0)[1], T(0)) << blur;
        EXPECT_EQ(img.at(3, 0)[1], T(0)) << blur;
        EXPECT_EQ(img.at(2, 0)[1], value(0.6f)) << blur;
        EXPECT_GT(img.at(14, 0)[1], value(0.6f));
        if (blur == 0.0f) {
            EXPECT_EQ(img.at(13, 0)[1], T(0));
            EXPECT_EQ(img.at(15, 0)[1], T(0));
        } else {
            // Alpha 0 neighbours receive the glow of pixel 14 and keep alpha 0.
            EXPECT_GT(img.at(13, 0)[1], T(0));
            EXPECT_GT(img.at(15, 0)[1], T(0));
            EXPECT_EQ(img.at(15, 0)[0], T(0));
        }
    }
}

TYPED_TEST(GlowDepth, BothRadiiZeroBlurNothingEvenWithRadiiLeftFromBefore) {
    using T = TypeParam;
    Image<T> a(21, 9);
    scramble(a.memory, 42);
    Image<T> b = a;
    b.buf = wrapPixels(b.memory.data(), 0, 21, 9, sizeof(T), nullptr);

    Rig withFilter;
    withFilter.lut->setBump(0.4, 1.6);
    withFilter.filter->setRadius(6.0f, 6.0f); // an earlier frame's blur
    Glow ga = withFilter.glow(1.0f, kGlowScreen, 0.0f);
    applyGlow(ga, a.buf, a.buf.bounds, withFilter.handler);
    EXPECT_EQ(withFilter.filter->radiusX, 0.0f);
    EXPECT_EQ(withFilter.filter->radiusY, 0.0f);

    Rig noFilter;
    noFilter.lut->setBump(0.4, 1.6);
    Glow gb = noFilter.glow(1.0f, kGlowScreen, 0.0f);
    gb.filter = nullptr;
    applyGlow(gb, b.buf, b.buf.bounds, noFilter.handler);
    EXPECT_EQ(a.memory, b.memory);

    // With a radius the same frame does come out differently.
    Image<T> c(21, 9);
    scramble(c.memory, 42);
    Rig blurred;
    blurred.lut->setBump(0.4, 1.6);
    Glow gc = blurred.glow(1.0f, kGlowScreen, 5.0f);
    applyGlow(gc, c.buf, c.buf.bounds, blurred.handler);
    EXPECT_NE(c.memory, b.memory);
    EXPECT_EQ(blurred.filter->extraPasses, 2);
}

TYPED_TEST(GlowDepth, NormalUsesNoLumaWeightAndCapsTheAmountAtOne) {
    using T = TypeParam;
    Image<T> three(15, 11);
    scramble(three.memory, 99);
    Image<T> one(15, 11);
    one.memory = three.memory;
    const std::vector<T> before = three.memory;

    Rig r3;
    r3.lut->setBump(0.05, 0.02); // weight 0 nearly everywhere: must not matter for "Normal"
    Glow g3 = r3.glow(3.0f, kGlowNormal, 2.0f);
    g3.colorGreen = 0.5f;
    applyGlow(g3, three.buf, three.buf.bounds, r3.handler);

    Rig r1;
    Glow g1 = r1.glow(1.0f, kGlowNormal, 2.0f);
    g1.colorGreen = 0.5f;
    applyGlow(g1, one.buf, one.buf.bounds, r1.handler);

    EXPECT_EQ(r3.lut->builds8() + r3.lut->builds16(), 0u);
    EXPECT_NE(three.memory, before);
    for (size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(three.memory[i], one.memory[i]) << i;
    }
}

// With nothing to blend back (a mode that is none of the three, no table, a rectangle
// outside the image) the working image is still made and blurred: only the blend is left out,
// and a float image still switches the filter to Gaussian mode for good.
TYPED_TEST(GlowDepth, WithoutABlendTheWorkingImageIsStillMadeAndBlurred) {
    using T = TypeParam;
    Image<T> img(6, 6);
    scramble(img.memory, 17);
    const std::vector<T> before = img.memory;
    Rig rig;
    rig.lut->setBump(0.5, 1.6);
    Glow unknown = rig.glow(1.0f, 3, 2.0f);
    Glow noTable = rig.glow(1.0f, kGlowAdd, 2.0f);
    noTable.lut = nullptr;
    Glow add = rig.glow(1.0f, kGlowAdd, 2.0f);
    const std::pair<Glow*, Rect> cases[] = {{&unknown, img.buf.bounds},
                                            {&noTable, img.buf.bounds},
                                            {&add, Rect{6, 0, 10, 6}},
                                            {&add, Rect{3, 3, 1, 1}}};
    int32_t made = 0;
    for (const auto& [g, rect] : cases) {
        applyGlow(*g, img.buf, rect, rig.handler);
        EXPECT_EQ(rig.handler.allocations(), ++made);
        EXPECT_EQ(rig.handler.live(), 0);
    }
    EXPECT_EQ(img.memory, before);
    EXPECT_EQ(rig.lut->builds8() + rig.lut->builds16(), 1u) << "the source was weighed";
    const bool isFloat = fx::PixelTraits<T>::isFloat;
    EXPECT_EQ(rig.filter->mode, isFloat ? 1 : 0);
    EXPECT_EQ(rig.filter->radiusX, isFloat ? 6.0f : 2.0f);
}

TYPED_TEST(GlowDepth, GlowFromOutsideTheRectangleReachesIntoIt) {
    using T = TypeParam;
    using Traits = fx::PixelTraits<T>;
    Rig rig;
    rig.lut->setBump(0.8, 1.6); // the source pixel at the peak: weight 1
    Image<T> img(16, 3);
    const T bright = Traits::isFloat ? T(0.8f) : static_cast<T>(Traits::full * 0.8f);
    img.set(1, 1, static_cast<T>(Traits::fullInt), bright, bright, bright);
    const std::vector<T> before = img.memory;
    Glow g = rig.glow(5.0f, kGlowAdd, 8.0f);
    // Columns 3..6, all rows; the source pixel lies outside, left of it.
    applyGlow(g, img.buf, Rect{-2, 3, 5, 7}, rig.handler);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            const size_t i = (static_cast<size_t>(y) * 16 + x) * 4;
            if (x >= 3 && x < 7 && y == 1) {
                EXPECT_GT(img.at(x, y)[1], before[i + 1]) << x << "," << y;
            } else if (x < 3 || x >= 7) {
                EXPECT_EQ(img.at(x, y)[1], before[i + 1]) << x << "," << y;
            }
        }
    }
}

// Hand computations. A pixel at the bump's peak with full alpha has weight 1, so its glow
// source is the pixel itself: 8-bit (255, 128, 128, 128) with the 8-bit peak at luma 128;
// 16-bit (32768, 16384 x3) and float (1, 0.5 x3) with the 16-bit peak at index 32767.
// Glow colour (1, 0.6, 0.2), no blur. Screen: d = 1 - (1 - d0) * product of (1 - s_i).

TEST(GlowScreen, EightBitAmounts) {
    struct Case {
        float amount;
        uint8_t r, g, b;
    };
    // u = 128/255. 2.5: two full screens of s = u c and one of s/2.
    //   red 1 - (1-u)^3 (1-u/2) = 0.90747 -> 231; green (s = 0.30118) 0.79341 -> 202;
    //   blue (s = 0.10039) 0.61717 -> 157.
    // 1: 1 - (1-u)(1-s): 0.75196 -> 191, 0.65196 -> 166, 0.55196 -> 140.
    // 0.3: 1 - (1-u)(1-0.3 s): 0.57696 -> 147, 0.54696 -> 139, 0.51696 -> 131.
    for (const Case& c :
         {Case{2.5f, 231, 202, 157}, Case{1.0f, 191, 166, 140}, Case{0.3f, 147, 139, 131}}) {
        Rig rig;
        rig.lut->setBump(128.0 / 255.0, 0.5);
        ASSERT_EQ(rig.lut->table8()[128], 255);
        Image<uint8_t> img(1, 1);
        img.set(0, 0, 255, 128, 128, 128);
        Glow g = rig.glow(c.amount, kGlowScreen);
        g.colorGreen = 153.0f / 255.0f;
        g.colorBlue = 51.0f / 255.0f;
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        EXPECT_EQ(img.at(0, 0)[0], 255) << c.amount;
        EXPECT_EQ(img.at(0, 0)[1], c.r) << c.amount;
        EXPECT_EQ(img.at(0, 0)[2], c.g) << c.amount;
        EXPECT_EQ(img.at(0, 0)[3], c.b) << c.amount;
    }
}

TEST(GlowScreen, SixteenBitAndFloatAmounts) {
    struct Case {
        float amount;
        float r, g, b; // exact results on the 0..1 scale
    };
    // d0 = 0.5, s = 0.5 c with c = (1, 0.6, 0.2):
    //   2.5: 1 - 0.5 (1-s)^2 (1-s/2): 0.90625, 0.79175, 0.61525
    //   1:   0.5 + 0.5 s:             0.75, 0.65, 0.55
    //   0.3: 0.5 + 0.15 s:            0.575, 0.545, 0.515
    for (const Case& c : {Case{2.5f, 0.90625f, 0.79175f, 0.61525f}, Case{1.0f, 0.75f, 0.65f, 0.55f},
                          Case{0.3f, 0.575f, 0.545f, 0.515f}}) {
        Rig rig;
        rig.lut->setBump(32767.0 / 65535.0, 0.5);
        ASSERT_EQ(rig.lut->table16()[32767], 65535);
        Glow g = rig.glow(c.amount, kGlowScreen);
        g.colorGreen = 153.0f / 255.0f;
        g.colorBlue = 51.0f / 255.0f;

        Image<uint16_t> deep(1, 1);
        deep.set(0, 0, 32768, 16384, 16384, 16384);
        applyGlow(g, deep.buf, deep.buf.bounds, rig.handler);
        EXPECT_EQ(deep.at(0, 0)[0], 32768);
        // 29696, 25944.06, 20160.51 / 24576, 21299.2, 18022.4 / 18841.6, 17858.56, 16875.52
        EXPECT_EQ(deep.at(0, 0)[1], static_cast<uint16_t>(c.r * 32768.0f)) << c.amount;
        EXPECT_EQ(deep.at(0, 0)[2], static_cast<uint16_t>(c.g * 32768.0f)) << c.amount;
        EXPECT_EQ(deep.at(0, 0)[3], static_cast<uint16_t>(c.b * 32768.0f)) << c.amount;

        Image<float> flt(1, 1);
        flt.set(0, 0, 1.0f, 0.5f, 0.5f, 0.5f);
        applyGlow(g, flt.buf, flt.buf.bounds, rig.handler);
        EXPECT_EQ(flt.at(0, 0)[0], 1.0f);
        EXPECT_NEAR(flt.at(0, 0)[1], c.r, 1e-6f) << c.amount;
        EXPECT_NEAR(flt.at(0, 0)[2], c.g, 1e-6f) << c.amount;
        EXPECT_NEAR(flt.at(0, 0)[3], c.b, 1e-6f) << c.amount;
    }
}

TEST(GlowNormal, EightBitHandValues) {
    // Working image = the image. Pixel (128, 200, 100, 50), colour (1, 0.6, 0):
    //   amount 0.5: k = trunc(128 * 0.5) = 64; v = (200, 60, 0);
    //     ((255 - 64) c + 64 v) / 255 = 200, (19100 + 3840) / 255 = 89, 9550 / 255 = 37.
    //   amount 3 (as 1): k = 128: 200, (12700 + 7680) / 255 = 79, 6350 / 255 = 24.
    // Pixel (255, ...) with amount >= 1: k = 255, the colour becomes v.
    struct Case {
        float amount;
        uint8_t r, g, b, fr, fg, fb;
    };
    for (const Case& c : {Case{0.5f, 200, 89, 37, 200, 79, 37}, Case{3.0f, 200, 79, 24, 200, 60, 0},
                          Case{1.0f, 200, 79, 24, 200, 60, 0}}) {
        Rig rig;
        Image<uint8_t> img(2, 1);
        img.set(0, 0, 128, 200, 100, 50);
        img.set(1, 0, 255, 200, 100, 50);
        Glow g = rig.glow(c.amount, kGlowNormal);
        g.colorGreen = 153.0f / 255.0f;
        g.colorBlue = 0.0f;
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        EXPECT_EQ(img.at(0, 0)[0], 128);
        EXPECT_EQ(img.at(0, 0)[1], c.r) << c.amount;
        EXPECT_EQ(img.at(0, 0)[2], c.g) << c.amount;
        EXPECT_EQ(img.at(0, 0)[3], c.b) << c.amount;
        if (c.amount >= 1.0f) {
            EXPECT_EQ(img.at(1, 0)[1], c.fr) << c.amount;
            EXPECT_EQ(img.at(1, 0)[2], c.fg) << c.amount;
            EXPECT_EQ(img.at(1, 0)[3], c.fb) << c.amount;
        } else {
            // k = trunc(255 * 0.5) = 127: (128 * 100 + 127 * 60) / 255 = 80.
            EXPECT_EQ(img.at(1, 0)[2], 80);
        }
    }
}

TEST(GlowNormal, SixteenBitAndFloatHandValues) {
    Rig rig;
    Glow g = rig.glow(0.5f, kGlowNormal);
    g.colorGreen = 0.5f;
    g.colorBlue = 0.0f;
    // k = trunc(16384 * 0.5) = 8192; v = (20000, 10000, 0):
    //   ((32768 - 8192) c + 8192 v) / 32768 = 20000, 17500, 15000.
    Image<uint16_t> deep(1, 1);
    deep.set(0, 0, 16384, 20000, 20000, 20000);
    applyGlow(g, deep.buf, deep.buf.bounds, rig.handler);
    EXPECT_EQ(deep.at(0, 0)[0], 16384);
    EXPECT_EQ(deep.at(0, 0)[1], 20000);
    EXPECT_EQ(deep.at(0, 0)[2], 17500);
    EXPECT_EQ(deep.at(0, 0)[3], 15000);
    // Float: k = 0.25; 0.25 v + 0.75 c with c = 0.8, v = (0.8, 0.4, 0): 0.8, 0.7, 0.6.
    Image<float> flt(1, 1);
    flt.set(0, 0, 0.5f, 0.8f, 0.8f, 0.8f);
    applyGlow(g, flt.buf, flt.buf.bounds, rig.handler);
    EXPECT_EQ(flt.at(0, 0)[0], 0.5f);
    EXPECT_NEAR(flt.at(0, 0)[1], 0.8f, 1e-6f);
    EXPECT_NEAR(flt.at(0, 0)[2], 0.7f, 1e-6f);
    EXPECT_NEAR(flt.at(0, 0)[3], 0.6f, 1e-6f);
}

TEST(GlowAdd, EightBitTruncatesAndCaps) {
    // Identity table (no bump yet): pixel (255, 200, 100, 10) has luma 30490 / 255 = 119 and
    // weight 119: source (119, 23800/255 = 93, 11900/255 = 46, 1190/255 = 4).
    //   amount 0.5: 200 + 46.5 = 246, 100 + 23 = 123, 10 + 2 = 12.
    //   amount 2:   386 -> 255, 192, 18.
    struct Case {
        float amount;
        uint8_t r, g, b;
    };
    for (const Case& c : {Case{0.5f, 246, 123, 12}, Case{2.0f, 255, 192, 18}}) {
        Rig rig;
        Image<uint8_t> img(1, 1);
        img.set(0, 0, 255, 200, 100, 10);
        Glow g = rig.glow(c.amount, kGlowAdd);
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        EXPECT_EQ(img.at(0, 0)[0], 255);
        EXPECT_EQ(img.at(0, 0)[1], c.r) << c.amount;
        EXPECT_EQ(img.at(0, 0)[2], c.g) << c.amount;
        EXPECT_EQ(img.at(0, 0)[3], c.b) << c.amount;
        EXPECT_EQ(rig.lut->builds8(), 1u);
        EXPECT_EQ(rig.lut->builds16(), 0u);
    }
}

TEST(GlowAdd, SixteenBitCapsAtFull) {
    Rig rig;
    rig.lut->setBump(32767.0 / 65535.0, 0.5);
    Image<uint16_t> img(1, 1);
    img.set(0, 0, 32768, 16384, 16384, 16384);
    Glow g = rig.glow(1.5f, kGlowAdd);
    g.colorGreen = 0.5f;
    g.colorBlue = 51.0f / 255.0f;
    applyGlow(g, img.buf, img.buf.bounds, rig.handler);
    // 16384 + 16384 * (1.5, 0.75, 0.3): 40960 -> 32768, 28672, 21299.2 -> 21299.
    EXPECT_EQ(img.at(0, 0)[1], 32768);
    EXPECT_EQ(img.at(0, 0)[2], 28672);
    EXPECT_EQ(img.at(0, 0)[3], 21299);
}

TEST(GlowAdd, FloatIsNotClamped) {
    Rig rig; // identity table: the weight is the luma, 0.9
    Image<float> img(1, 1);
    img.set(0, 0, 1.0f, 0.9f, 0.9f, 0.9f);
    Glow g = rig.glow(2.0f, kGlowAdd);
    applyGlow(g, img.buf, img.buf.bounds, rig.handler);
    // 0.9 + (0.9 * 0.9) * 2 = 2.52
    EXPECT_NEAR(img.at(0, 0)[1], 2.52f, 1e-3f);
    EXPECT_EQ(img.at(0, 0)[0], 1.0f);
}

TEST(Glow, SixteenBitValuesStayWithinRange) {
    for (int32_t mode : {kGlowAdd, kGlowNormal, kGlowScreen}) {
        Rig rig;
        rig.lut->setBump(0.3, 2.0);
        Image<uint16_t> img(40, 30);
        scramble(img.memory, 5 + static_cast<uint32_t>(mode));
        Glow g = rig.glow(5.0f, mode, 3.0f);
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        int32_t atFull = 0;
        for (uint16_t v : img.memory) {
            ASSERT_LE(v, 32768) << mode;
            atFull += v == 32768 ? 1 : 0;
        }
        if (mode == kGlowAdd) { // the one mode that saturates; the others approach full
            EXPECT_GT(atFull, 0) << mode;
        }
    }
}

TEST(Glow, NonFiniteFloatPixelsStayLocalWithoutBlur) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int32_t mode : {kGlowAdd, kGlowNormal, kGlowScreen}) {
        Rig rig;
        rig.lut->setBump(0.0, 1.6);
        Image<float> img(4, 1);
        img.set(0, 0, 1.0f, nan, 0.3f, 0.3f);
        img.set(1, 0, 1.0f, inf, -inf, 0.3f);
        img.set(2, 0, nan, 0.3f, 0.3f, 0.3f);
        img.set(3, 0, 1.0f, 0.3f, 0.3f, 0.3f);
        Image<float> ref(1, 1);
        ref.set(0, 0, 1.0f, 0.3f, 0.3f, 0.3f);
        Glow g = rig.glow(1.5f, mode);
        applyGlow(g, img.buf, img.buf.bounds, rig.handler);
        applyGlow(g, ref.buf, ref.buf.bounds, rig.handler);
        EXPECT_EQ(img.at(3, 0)[1], ref.at(0, 0)[1]) << mode;
        EXPECT_EQ(img.at(3, 0)[3], ref.at(0, 0)[3]) << mode;
        if (mode != kGlowNormal) { // "Normal" at full opacity and white lays 0.3 on 0.3
            EXPECT_NE(ref.at(0, 0)[1], 0.3f) << mode;
        }
        EXPECT_EQ(rig.handler.live(), 0);
    }
}

TEST(Glow, FloatImageSwitchesTheFilterToGaussian) {
    Rig rig;
    rig.lut->setBump(0.0, 1.6);
    Image<float> img(32, 8);
    scramble(img.memory, 6);
    Glow g = rig.glow(1.0f, kGlowAdd, 2.0f);
    applyGlow(g, img.buf, img.buf.bounds, rig.handler);
    EXPECT_EQ(rig.filter->mode, 1);
    EXPECT_EQ(rig.filter->radiusX, 6.0f);
    // From now on setRadius triples the radii itself.
    Image<uint8_t> small(8, 8);
    applyGlow(g, small.buf, small.buf.bounds, rig.handler);
    EXPECT_EQ(rig.filter->radiusX, 6.0f);
}

} // namespace
