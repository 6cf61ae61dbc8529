#include "color/ColorAdjuster.h"
#include "color/ColorSpace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

struct Px {
    float a, r, g, b;
};

Px run(const ColorAdjuster& adj, Px in) {
    float argb[4] = {in.a, in.r, in.g, in.b};
    adj.apply(argb);
    return Px{argb[0], argb[1], argb[2], argb[3]};
}

// What an identity tone table gives for an in-range value: quantised down to 1/15999 steps.
float quantised(float x) {
    return static_cast<float>(static_cast<int>(x * 15999.0f)) / 15999.0f;
}

float grey359(float r, float g, float b) {
    return 0.59f * g + 0.3f * r + 0.11f * b;
}

AdjusterSettings tone(float AdjusterSettings::*field, float value) {
    AdjusterSettings s;
    s.*field = value;
    return s;
}

AdjusterSettings tint(float a, float r, float g, float b, float amount) {
    AdjusterSettings s;
    s.tintAlpha = a;
    s.tintRed = r;
    s.tintGreen = g;
    s.tintBlue = b;
    s.tintAmount = amount;
    return s;
}

} // namespace

TEST(ColorAdjusterNeutral, FreshAdjusterOnlyStampsAlpha) {
    ColorAdjuster adj;
    EXPECT_FALSE(adj.tintActive());
    EXPECT_FALSE(adj.toneActive());
    const Px out = run(adj, {0.7f, 0.25f, 0.5f, 0.75f});
    EXPECT_EQ(out.a, 0.0f);
    EXPECT_EQ(out.r, 0.25f);
    EXPECT_EQ(out.g, 0.5f);
    EXPECT_EQ(out.b, 0.75f);
}

TEST(ColorAdjusterNeutral, OutOfRangeFloatsPassAndAlphaTakesEffects) {
    ColorAdjuster adj;
    AdjusterSettings s;
    s.effects = 0.4f;
    adj.setSettings(s);
    EXPECT_FALSE(adj.tintActive());
    EXPECT_FALSE(adj.toneActive());
    const Px out = run(adj, {0.9f, 1.5f, -0.25f, 0.123456f});
    EXPECT_EQ(out.a, 0.4f);
    EXPECT_EQ(out.r, 1.5f);
    EXPECT_EQ(out.g, -0.25f);
    EXPECT_EQ(out.b, 0.123456f);
    EXPECT_EQ(adj.tableBuilds(), 0u);
}

TEST(ColorAdjusterNeutral, OpaqueWhiteTintAtAnyOpacityStaysOff) {
    ColorAdjuster adj;
    adj.setSettings(tint(1, 1, 1, 1, 0.6f));
    EXPECT_FALSE(adj.tintActive());
    const Px out = run(adj, {1, 0.8f, 0.2f, 0.4f});
    EXPECT_EQ(out.r, 0.8f);
    EXPECT_EQ(out.g, 0.2f);
    EXPECT_EQ(out.b, 0.4f);
    // A coloured tint at opacity 0 is off too.
    adj.setSettings(tint(1, 1, 0, 0, 0.0f));
    EXPECT_FALSE(adj.tintActive());
}

TEST(ColorAdjusterTables, AnyToneSliderQuantisesInRangeValues) {
    // Saturation on grey pixels and a red gain on the green/blue channels change nothing by
    // themselves, yet those channels still go through the tables.
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::saturation, 0.5f));
    EXPECT_TRUE(adj.toneActive());
    const float x = 0.123456f;
    const Px grey = run(adj, {0, x, x, x});
    EXPECT_EQ(grey.r, quantised(x));
    EXPECT_EQ(grey.g, quantised(x));
    EXPECT_EQ(grey.b, quantised(x));
    EXPECT_NE(grey.r, x);

    adj.setSettings(tone(&AdjusterSettings::redGain, 0.5f));
    const Px out = run(adj, {0, 0.3f, 0.777777f, 1.0f});
    EXPECT_EQ(out.g, quantised(0.777777f));
    EXPECT_EQ(out.b, 1.0f);
}

TEST(ColorAdjusterTables, IndexTruncatesTowardZero) {
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::brightness, 0.3f));
    const float* red = adj.redTable();
    EXPECT_EQ(run(adj, {0, 1.0f, 0, 0}).r, red[15999]);
    EXPECT_EQ(run(adj, {0, 0.99999f, 0, 0}).r, red[15998]);
    EXPECT_NE(red[15998], red[15999]);
    EXPECT_EQ(run(adj, {0, 0.0f, 0, 0}).r, red[0]);
    EXPECT_FLOAT_EQ(red[15999], 1.3f);
}

TEST(ColorAdjusterTables, ChannelFactorsMoveTheRightWay) {
    ColorAdjuster adj;
    AdjusterSettings s;
    s.temperature = 0.2f; // towards blue
    adj.setSettings(s);
    EXPECT_FLOAT_EQ(adj.redTable()[15999], 0.8f);
    EXPECT_FLOAT_EQ(adj.greenTable()[15999], 1.0f);
    EXPECT_FLOAT_EQ(adj.blueTable()[15999], 1.2f);

    s.temperature = 0.0f;
    s.cyanMagenta = -0.3f; // red down, green up, blue up for either sign
    adj.setSettings(s);
    EXPECT_FLOAT_EQ(adj.redTable()[15999], 0.7f);
    EXPECT_FLOAT_EQ(adj.greenTable()[15999], 1.3f);
    EXPECT_FLOAT_EQ(adj.blueTable()[15999], 1.3f);

    s.cyanMagenta = 0.0f;
    s.brightness = 0.5f;
    s.contrast = 1.0f; // brightness first: (1.5 - 0.5) * 2 + 0.5
    s.greenGain = -0.5f;
    adj.setSettings(s);
    EXPECT_FLOAT_EQ(adj.redTable()[15999], 2.5f);
    EXPECT_FLOAT_EQ(adj.greenTable()[15999], 1.25f);
    EXPECT_FLOAT_EQ(adj.redTable()[0], -0.5f); // not clamped
}

TEST(ColorAdjusterTables, GammaCurvesAtFullStrength) {
    ColorAdjuster up;
    up.setSettings(tone(&AdjusterSettings::gamma, 1.0f));
    ColorAdjuster down;
    down.setSettings(tone(&AdjusterSettings::gamma, -1.0f));
    for (int i = 0; i < 16000; i += 533) {
        const double x = i / 15999.0;
        EXPECT_NEAR(up.redTable()[i], 2 * std::sqrt(x) - x, 2e-6) << i;
        EXPECT_NEAR(down.blueTable()[i], 2 - x - 2 * std::sqrt(1 - x), 2e-6) << i;
    }
    EXPECT_NEAR(up.greenTable()[15999], 1.0f, 1e-6f);
    EXPECT_EQ(up.greenTable()[0], 0.0f);
    EXPECT_NEAR(down.greenTable()[15999], 1.0f, 1e-6f);
    EXPECT_NEAR(down.greenTable()[0], 0.0f, 1e-6f);
}

TEST(ColorAdjusterTables, GammaCurvesForOppositeStrengthsAreInverse) {
    for (float k : {0.25f, 0.6f, -0.4f}) {
        for (float x : {0.05f, 0.3f, 0.5f, 0.9f}) {
            EXPECT_NEAR(gammaCurve(gammaCurve(x, k), -k), x, 1e-5f) << k << " " << x;
        }
        EXPECT_GT(gammaCurve(0.5f, std::fabs(k)), 0.5f);
    }
}

TEST(ColorAdjusterTables, OutOfRangeFloatsTakeTheRecipeDirectly) {
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::redGain, 0.5f));
    const Px out = run(adj, {0, 1.5f, -0.5f, 2.0f});
    EXPECT_EQ(out.r, 2.25f);
    EXPECT_EQ(out.g, -0.5f);
    EXPECT_EQ(out.b, 2.0f);

    // The direct recipe runs every non-zero stage, like the tables do.
    AdjusterSettings s;
    s.brightness = 1.0f;
    s.gamma = 0.5f;
    adj.setSettings(s);
    const Px curved = run(adj, {0, 1.25f, 0, 0});
    EXPECT_FLOAT_EQ(curved.r, gammaCurve(2.5f, 0.5f));
}

TEST(ColorAdjusterHueSaturation, FullDesaturationTakesTheInputGrey) {
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::saturation, -1.0f));
    const Px hued = run(adj, {0, 0.8f, 0.2f, 0.4f});
    const float g = quantised(grey359(0.8f, 0.2f, 0.4f));
    EXPECT_EQ(hued.r, g);
    EXPECT_EQ(hued.g, g);
    EXPECT_EQ(hued.b, g);

    const Px grey = run(adj, {0, 0.4f, 0.4f, 0.4f});
    EXPECT_EQ(grey.r, quantised(0.4f));
    EXPECT_EQ(grey.b, quantised(0.4f));
}

TEST(ColorAdjusterHueSaturation, DesaturationGreyComesFromBeforeTheTint) {
    ColorAdjuster adj;
    AdjusterSettings s = tint(1, 0.9f, 0.1f, 0.1f, 1.0f);
    s.saturation = -1.0f;
    adj.setSettings(s);
    ASSERT_TRUE(adj.tintActive());
    const Px out = run(adj, {0, 0.2f, 0.6f, 0.3f});
    const float g = quantised(grey359(0.2f, 0.6f, 0.3f));
    EXPECT_EQ(out.r, g);
    EXPECT_EQ(out.g, g);
    EXPECT_EQ(out.b, g);
}

TEST(ColorAdjusterHueSaturation, HalfDesaturationMixesWithGrey) {
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::saturation, -0.5f));
    const Px out = run(adj, {0, 0.8f, 0.2f, 0.4f});
    const float g = grey359(0.8f, 0.2f, 0.4f);
    EXPECT_NEAR(out.r, 0.5f * 0.8f + 0.5f * g, 2e-4f);
    EXPECT_NEAR(out.g, 0.5f * 0.2f + 0.5f * g, 2e-4f);
    EXPECT_NEAR(out.b, 0.5f * 0.4f + 0.5f * g, 2e-4f);
}

TEST(ColorAdjusterHueSaturation, BoostClampsAndSparesGrey) {
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::saturation, 1.0f));
    // s = 0.75 doubled clamps to 1: the smallest channel goes to 0, the largest stays.
    const Px out = run(adj, {0, 0.8f, 0.2f, 0.4f});
    EXPECT_EQ(out.r, quantised(0.8f));
    EXPECT_EQ(out.g, 0.0f);
    EXPECT_NEAR(out.b, 0.8f * (1.0f - (1.0f - 1.0f / 3.0f)), 2e-4f);
    const Px grey = run(adj, {0, 0.6f, 0.6f, 0.6f});
    EXPECT_EQ(grey.g, quantised(0.6f));
}

TEST(ColorAdjusterHueSaturation, HueTurnsAndFullTurnsKeepColour) {
    ColorAdjuster third;
    third.setSettings(tone(&AdjusterSettings::hue, 120.0f / 360.0f));
    const Px red = run(third, {0, 1.0f, 0.0f, 0.0f});
    EXPECT_NEAR(red.r, 0.0f, 1e-4f);
    EXPECT_NEAR(red.g, 1.0f, 1e-4f);
    EXPECT_NEAR(red.b, 0.0f, 1e-4f);

    for (float turn : {1.0f, -1.0f}) {
        ColorAdjuster adj;
        adj.setSettings(tone(&AdjusterSettings::hue, turn));
        for (Px in : {Px{0, 0.8f, 0.2f, 0.4f}, Px{0, 0.1f, 0.9f, 0.35f}, Px{0, 0.3f, 0.2f, 0.7f}}) {
            const Px out = run(adj, in);
            EXPECT_NEAR(out.r, in.r, 2.0f / 15999) << turn;
            EXPECT_NEAR(out.g, in.g, 2.0f / 15999) << turn;
            EXPECT_NEAR(out.b, in.b, 2.0f / 15999) << turn;
        }
    }
}

TEST(ColorAdjusterHueSaturation, ShiftThatRoundsTo360ActsAsZero) {
    const float hue = -1e-8f;
    // Precondition: on a hue of 0 this shift lands exactly on 360 after wrapping.
    ASSERT_EQ(std::fmod(hue * 360.0f + 0.0f, 360.0f) + 360.0f, 360.0f);
    ColorAdjuster adj;
    adj.setSettings(tone(&AdjusterSettings::hue, hue));
    const Px out = run(adj, {0, 1.0f, 0.0f, 0.0f});
    EXPECT_EQ(out.r, 1.0f);
    EXPECT_EQ(out.g, 0.0f);
    EXPECT_EQ(out.b, 0.0f);
    const Rgb a = hsvToRgb(360.0f, 0.5f, 0.8f);
    const Rgb b = hsvToRgb(0.0f, 0.5f, 0.8f);
    EXPECT_EQ(a.r, b.r);
    EXPECT_EQ(a.g, b.g);
    EXPECT_EQ(a.b, b.b);
}

TEST(ColorSpaceConversions, HsvRoundTripAndSentinel) {
    const Hsv grey = rgbToHsv(0.3f, 0.3f, 0.3f);
    EXPECT_EQ(grey.h, -1.0f);
    EXPECT_EQ(grey.s, 0.0f);
    EXPECT_EQ(grey.v, 0.3f);
    EXPECT_EQ(rgbToHsv(0, 0, 0).h, -1.0f);
    // Ties go to red, then green.
    EXPECT_EQ(rgbToHsv(1.0f, 1.0f, 0.0f).h, 60.0f);
    EXPECT_EQ(rgbToHsv(0.0f, 1.0f, 1.0f).h, 180.0f);
    EXPECT_EQ(rgbToHsv(1.0f, 0.0f, 0.5f).h, 330.0f);
    for (Rgb in : {Rgb{0.8f, 0.2f, 0.4f}, Rgb{0.1f, 0.9f, 0.35f}, Rgb{0.3f, 0.2f, 0.7f},
                   Rgb{0.5f, 0.5f, 0.1f}}) {
        const Hsv hsv = rgbToHsv(in.r, in.g, in.b);
        const Rgb out = hsvToRgb(hsv.h, hsv.s, hsv.v);
        EXPECT_NEAR(out.r, in.r, 1e-6f);
        EXPECT_NEAR(out.g, in.g, 1e-6f);
        EXPECT_NEAR(out.b, in.b, 1e-6f);
    }
}

TEST(ColorAdjusterTint, ExactGreyTintsTakeTheUnclampedGreyPath) {
    for (float v : {0.0f, 1.0f, 0.5f}) {
        ColorAdjuster adj;
        adj.setSettings(tint(0.5f, v, v, v, 1.0f));
        ASSERT_TRUE(adj.tintActive()) << v;
        EXPECT_EQ(adj.tintI(), 0.0f) << v;
        EXPECT_EQ(adj.tintQ(), 0.0f) << v;
        const Px out = run(adj, {1, 2.0f, 1.5f, 1.2f});
        const float g = grey359(2.0f, 1.5f, 1.2f);
        EXPECT_GT(g, 1.0f);
        EXPECT_EQ(out.r, g) << v;
        EXPECT_EQ(out.g, g) << v;
        EXPECT_EQ(out.b, g) << v;
    }
}

TEST(ColorAdjusterTint, OtherGreysTakeTheClampedYiqPath) {
    // Find an 8-bit grey whose I or Q keeps a rounding residue.
    int found = -1;
    for (int k = 1; k < 255 && found < 0; ++k) {
        const float v = k / 255.0f;
        const Yiq yiq = rgbToYiq(v, v, v);
        if (yiq.i != 0.0f || yiq.q != 0.0f)
            found = k;
    }
    ASSERT_GE(found, 0);
    const float v = found / 255.0f;
    ColorAdjuster adj;
    adj.setSettings(tint(1.0f, v, v, v, 1.0f));
    ASSERT_TRUE(adj.tintActive());
    const Px bright = run(adj, {1, 2.0f, 1.5f, 1.2f});
    EXPECT_EQ(bright.r, 1.0f);
    EXPECT_EQ(bright.g, 1.0f);
    EXPECT_EQ(bright.b, 1.0f);
    const Px mid = run(adj, {1, 0.8f, 0.2f, 0.4f});
    const float y = 0.299f * 0.8f + 0.587f * 0.2f + 0.114f * 0.4f;
    EXPECT_NEAR(mid.r, y, 1e-6f);
    EXPECT_NEAR(mid.g, y, 1e-6f);
    EXPECT_NEAR(mid.b, y, 1e-6f);
}

TEST(ColorAdjusterTint, TranslucentWhiteGreysByTheAmount) {
    ColorAdjuster adj;
    adj.setSettings(tint(128.0f / 255.0f, 1, 1, 1, 0.25f));
    ASSERT_TRUE(adj.tintActive());
    const Px out = run(adj, {1, 0.8f, 0.2f, 0.4f});
    const float g = grey359(0.8f, 0.2f, 0.4f);
    EXPECT_FLOAT_EQ(out.r, 0.8f * 0.75f + 0.25f * g);
    EXPECT_FLOAT_EQ(out.g, 0.2f * 0.75f + 0.25f * g);
    EXPECT_FLOAT_EQ(out.b, 0.4f * 0.75f + 0.25f * g);
}

TEST(ColorAdjusterTint, ColourTintKeepsLumaAndTakesChroma) {
    ColorAdjuster adj;
    adj.setSettings(tint(1, 0.6f, 0.5f, 0.45f, 1.0f));
    const Yiq want = rgbToYiq(0.6f, 0.5f, 0.45f);
    for (Px in : {Px{0, 0.3f, 0.4f, 0.5f}, Px{0, 0.7f, 0.2f, 0.6f}}) {
        const Px out = run(adj, in);
        const Yiq before = rgbToYiq(in.r, in.g, in.b);
        const Yiq after = rgbToYiq(out.r, out.g, out.b);
        EXPECT_NEAR(after.y, before.y, 1e-3f);
        EXPECT_NEAR(after.i, want.i, 1e-3f);
        EXPECT_NEAR(after.q, want.q, 1e-3f);
    }
}

TEST(ColorAdjusterRebuilds, TablesRebuildOnlyOnRealToneChanges) {
    ColorAdjuster adj;
    AdjusterSettings s;
    s.brightness = 0.2f;
    s.gamma = -0.3f;
    adj.setSettings(s);
    EXPECT_EQ(adj.tableBuilds(), 1u);
    const float before = adj.redTable()[8000];

    adj.setSettings(s); // scrubbing with constant settings
    EXPECT_EQ(adj.tableBuilds(), 1u);

    AdjusterSettings t = s;
    t.tintRed = 0.2f;
    t.tintAmount = 0.5f;
    t.effects = 0.7f;
    adj.setSettings(t);
    EXPECT_EQ(adj.tableBuilds(), 1u);
    EXPECT_TRUE(adj.tintActive());
    EXPECT_EQ(run(adj, {0, 0.5f, 0.5f, 0.5f}).a, 0.7f);

    AdjusterSettings zero = t;
    zero.brightness = 0.0f;
    zero.gamma = 0.0f;
    adj.setSettings(zero);
    EXPECT_FALSE(adj.toneActive());
    EXPECT_EQ(adj.tableBuilds(), 1u);
    // With the tone stage off a float value outside 0..1 passes the tint-free path unchanged.
    AdjusterSettings plain;
    adj.setSettings(plain);
    EXPECT_EQ(run(adj, {0, 1.7f, 0.2f, 0.3f}).r, 1.7f);

    adj.setSettings(s); // back to the earlier tone values
    EXPECT_TRUE(adj.toneActive());
    EXPECT_EQ(adj.tableBuilds(), 2u);
    EXPECT_EQ(adj.redTable()[8000], before);
}

TEST(ColorAdjusterRebuilds, TintCacheFollowsTheLastActiveTint) {
    ColorAdjuster adj;
    adj.setSettings(tint(1, 0.9f, 0.1f, 0.2f, 1.0f));
    const float i = adj.tintI();
    adj.setSettings(tint(1, 0.2f, 0.3f, 0.9f, 0.0f)); // off: the cached chroma stays
    EXPECT_FALSE(adj.tintActive());
    EXPECT_EQ(adj.tintI(), i);
    adj.setSettings(tint(1, 0.2f, 0.3f, 0.9f, 1.0f));
    EXPECT_TRUE(adj.tintActive());
    EXPECT_EQ(adj.tintI(), rgbToYiq(0.2f, 0.3f, 0.9f).i);
}

TEST(ColorSpaceConversions, WrapDegreesMatchesFmodBitForBit) {
    auto bits = [](float f) {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return u;
    };
    auto check = [&](float x) {
        const float want = std::fmod(x, 360.0f);
        const float got = wrapDegrees(x);
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(got)) << x;
        } else {
            ASSERT_EQ(bits(got), bits(want)) << x;
        }
    };
    for (float x :
         {0.0f, -0.0f, 360.0f, -360.0f, 720.0f, -720.0f, 1080.5f, -1e9f, 1e30f,
          std::nextafter(360.0f, 0.0f), std::nextafter(720.0f, 0.0f), std::nextafter(-360.0f, 0.0f),
          std::nextafter(-720.0f, 0.0f), INFINITY, -INFINITY, NAN}) {
        check(x);
    }
    // Every float bit pattern in -800..800 with a stride that visits all exponents.
    for (uint32_t u = 0; u < 0x44480000u; u += 97) {
        float f;
        std::memcpy(&f, &u, sizeof f);
        check(f);
        check(-f);
    }
}

namespace {

// The sector rule written out as a plain switch: the oracle for the indexed pick.
Rgb plainHsvToRgb(float h, float s, float v) {
    if (s == 0.0f)
        return Rgb{v, v, v};
    if (h == 360.0f)
        h = 0.0f;
    h = h / 60.0f;
    float sector = std::floor(h);
    if (!(sector >= 0.0f))
        sector = 0.0f;
    const int i = sector < 6.0f ? static_cast<int>(sector) : 6;
    const float f = h - sector;
    const float p = (1.0f - s) * v;
    const float q = (1.0f - f * s) * v;
    const float t = (1.0f - (1.0f - f) * s) * v;
    switch (i) {
    case 1:
        return Rgb{q, v, p};
    case 2:
        return Rgb{p, v, t};
    case 3:
        return Rgb{p, q, v};
    case 4:
        return Rgb{t, p, v};
    case 5:
        return Rgb{v, p, q};
    default:
        return Rgb{v, t, p};
    }
}

} // namespace

TEST(ColorSpaceConversions, SectorPickMatchesThePlainSwitch) {
    for (float h = -30.0f; h <= 400.0f; h += 0.37f) {
        for (float s : {0.0f, 0.3f, 1.0f, 1.4f, -0.2f}) {
            for (float v : {0.0f, 0.6f, 1.0f, 2.5f, -0.5f}) {
                const Rgb a = hsvToRgb(h, s, v);
                const Rgb b = plainHsvToRgb(h, s, v);
                ASSERT_EQ(a.r, b.r) << h << " " << s << " " << v;
                ASSERT_EQ(a.g, b.g) << h << " " << s << " " << v;
                ASSERT_EQ(a.b, b.b) << h << " " << s << " " << v;
            }
        }
    }
    for (float h : {0.0f, 60.0f, 300.0f, 359.99997f, 360.0f, 360.5f, NAN}) {
        const Rgb a = hsvToRgb(h, 0.5f, 0.8f);
        const Rgb b = plainHsvToRgb(h, 0.5f, 0.8f);
        EXPECT_TRUE(a.r == b.r || (std::isnan(a.r) && std::isnan(b.r))) << h;
        EXPECT_TRUE(a.g == b.g || (std::isnan(a.g) && std::isnan(b.g))) << h;
        EXPECT_TRUE(a.b == b.b || (std::isnan(a.b) && std::isnan(b.b))) << h;
    }
}
