// Hostile pixels through every stage with the effects on: float frames full of NaN, infinities,
// huge, denormal and negative values, every 16-bit value 0..32768 (and the storable values
// above full), every 8-bit value. The sanitizer build proves that no stage does anything
// undefined with them; these tests check what comes out.
#include "render/ParamLayout.h"
#include "tests/reliability/Scenario.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using headless::HostWorld;
using zptest::RenderKind;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The float classes, one per pixel in turn; each channel of a pixel starts at a different
// class so every class meets every channel, alpha included.
const float kFloatClasses[] = {kNaN,   kInf,    -kInf, 1e30f, -1e30f,
                               1e-40f, -1e-40f, -0.5f, -0.0f, std::numeric_limits<float>::max(),
                               0.25f,  0.8f,    1.0f,  0.0f,  2.5f,
                               -kNaN,  0.5f,    0.6f,  0.7f,  0.1f};
constexpr int kClasses = static_cast<int>(sizeof kFloatClasses / sizeof kFloatClasses[0]);

void paintHostileFloat(HostWorld& w) {
    for (int y = 0; y < w.height(); ++y)
        for (int x = 0; x < w.width(); ++x)
            for (int c = 0; c < 4; ++c)
                w.pixel<float>(x, y)[c] = kFloatClasses[(x + 3 * y + 7 * c) % kClasses];
}

// Every value 0..32768 appears in each colour channel and in alpha.
void paintEvery16(HostWorld& w) {
    int v = 0;
    for (int y = 0; y < w.height(); ++y) {
        for (int x = 0; x < w.width(); ++x, ++v) {
            uint16_t* p = w.pixel<uint16_t>(x, y);
            p[0] = static_cast<uint16_t>((v * 3) % 32769);
            p[1] = static_cast<uint16_t>(v % 32769);
            p[2] = static_cast<uint16_t>((v * 7 + 11) % 32769);
            p[3] = static_cast<uint16_t>((v * 13 + 5) % 32769);
        }
    }
}

void paintEvery8(HostWorld& w) {
    int v = 0;
    for (int y = 0; y < w.height(); ++y) {
        for (int x = 0; x < w.width(); ++x, ++v) {
            uint8_t* p = w.pixel<uint8_t>(x, y);
            p[0] = static_cast<uint8_t>((v * 91) & 255);
            p[1] = static_cast<uint8_t>(v & 255);
            p[2] = static_cast<uint8_t>(255 - (v & 255));
            p[3] = static_cast<uint8_t>((v * 37) & 255);
        }
    }
}

// Every stage on, on a frame of the given size: zones over most of it, strong effects.
zptest::Instance hostileInstance(int w, int h) {
    auto inst = zptest::makeInstance(true);
    headless::Host& host = *inst.host;
    reliability::armEveryStage(host, params::kBlendAdd);
    const double sx = w / 24.0, sy = h / 16.0;
    inst.masks().masks = {
        zptest::rectangleMask("Face", 2 * sx, 2 * sy, 10 * sx, 9 * sy),
        reliability::openStroke("Sky", 13 * sx, 2 * sy, 18 * sx, 6 * sy, 22 * sx, 3 * sy),
        reliability::openStroke("Sky edge", 14 * sx, 12 * sy, 20 * sx, 13 * sy, 23 * sx, 15 * sy),
        zptest::rectangleMask("Unused", 3 * sx, 11 * sy, 8 * sx, 14 * sy)};
    host.setSlider(params::adjustSlider(0, params::kContrast), 60);
    host.setSlider(params::adjustSlider(0, params::kTemperature), -40);
    host.setSlider(params::adjustSlider(1, params::kCyanMagenta), 50);
    host.setSlider(params::adjustSlider(1, params::kRed), 80);
    host.setSlider(params::kFillBrightness, 400);
    host.setSlider(params::kGlowAmount, 450);
    host.inData().height = h;
    return inst;
}

// Renders `in` with each glow blend; returns the three outputs.
std::vector<std::vector<uint8_t>> renderEachBlend(zptest::Instance& inst, HostWorld& in) {
    std::vector<std::vector<uint8_t>> outs;
    for (int blend : {params::kBlendAdd, params::kBlendNormal, params::kBlendScreen}) {
        SCOPED_TRACE(blend);
        inst.host->setPopup(params::kGlowBlend, blend);
        HostWorld out(in.width(), in.height(), in.bytesPerChannel(), 0);
        out.fillBytes(0xEE);
        EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
        EXPECT_TRUE(out.canariesIntact());
        EXPECT_EQ(reliability::alphaBytes(out), reliability::alphaBytes(in))
            << "the input's alpha comes back bit for bit";
        EXPECT_EQ(inst.host->liveHandles(), 1 + zptest::keptBlocks(*inst.host));
        outs.push_back(out.packedPixels());
    }
    return outs;
}

TEST(HostilePixels, FloatSpecialValuesPassEveryStage) {
    auto inst = hostileInstance(40, 30);
    HostWorld in(40, 30, 4);
    paintHostileFloat(in);
    const auto first = renderEachBlend(inst, in);
    // The same frame gives the same bytes again: no stage reads memory it did not write, and
    // no NaN takes a different path from one run to the next.
    EXPECT_EQ(renderEachBlend(inst, in), first);
    EXPECT_NE(first[0], in.packedPixels());
}

TEST(HostilePixels, EverySixteenBitValueStaysWithinFull) {
    auto inst = hostileInstance(182, 181); // 32942 pixels: every value 0..32768 at least once
    HostWorld in(182, 181, 2);
    paintEvery16(in);
    for (const auto& out : renderEachBlend(inst, in)) {
        const auto* v = reinterpret_cast<const uint16_t*>(out.data());
        for (size_t i = 0; i < out.size() / 2; ++i)
            ASSERT_LE(v[i], 32768) << "channel " << i % 4 << " of pixel " << i / 4;
    }
}

// Values above full fit the storage but mean nothing; they must not break any stage.
TEST(HostilePixels, SixteenBitValuesAboveFullAreSurvived) {
    auto inst = hostileInstance(64, 48);
    HostWorld in(64, 48, 2);
    int v = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x, ++v)
            for (int c = 0; c < 4; ++c)
                in.pixel<uint16_t>(x, y)[c] =
                    static_cast<uint16_t>(65535 - ((v * 11 + c * 97) % 4096));
    renderEachBlend(inst, in);
}

TEST(HostilePixels, EveryEightBitValuePassesEveryStage) {
    auto inst = hostileInstance(32, 24);
    HostWorld in(32, 24, 1);
    paintEvery8(in);
    const auto outs = renderEachBlend(inst, in);
    EXPECT_NE(outs[0], in.packedPixels()) << "the stages did change the frame";
}

// --- NaN and infinity stay where they are --------------------------------------------------

struct Isolation {
    const char* name;
    bool effects;   // the group asks for effects
    bool fillLight; // only the per-pixel fill light among them
};

// A frame with one labelled zone at the left and a non-finite pixel far right; returns the
// rendered float pixels.
std::vector<float> renderWithLonePixel(const Isolation& c, float value, int channel) {
    constexpr int W = 48, H = 32;
    auto inst = zptest::makeInstance(true);
    headless::Host& h = *inst.host;
    inst.masks().masks = {zptest::rectangleMask("Zone", 2, 2, 12, 12)};
    h.setPath(params::adjustMask(0), 1);
    h.setSlider(params::adjustSlider(0, params::kBrightness), 30);
    h.setSlider(params::adjustSlider(0, params::kHue), 50);
    h.setSlider(params::adjustSlider(0, params::kGamma), -30);
    h.setSlider(params::adjustSlider(0, params::kEffects), c.effects ? 100 : 0);
    h.setSlider(params::kFillBrightness, c.fillLight ? 300 : 0);
    h.setSlider(params::kGlowAmount, 0);
    h.setSlider(params::kBlurAmount, 0);
    h.inData().height = H;
    HostWorld in(W, H, 4), out(W, H, 4);
    reliability::paint(in);
    in.pixel<float>(44, 28)[channel] = value;
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
    std::vector<float> px(static_cast<size_t>(W * H * 4));
    const auto bytes = out.packedPixels();
    std::memcpy(px.data(), bytes.data(), bytes.size());
    return px;
}

TEST(HostilePixels, ALoneNonFinitePixelStaysAlone) {
    const Isolation cases[] = {{"effects off", false, false}, {"fill light", true, true}};
    for (const Isolation& c : cases) {
        for (float value : {kNaN, kInf, -kInf}) {
            for (int channel = 0; channel < 4; ++channel) {
                SCOPED_TRACE(std::string(c.name) + ", value " + std::to_string(value) +
                             ", channel " + std::to_string(channel));
                const auto px = renderWithLonePixel(c, value, channel);
                const size_t lone = (28 * 48 + 44) * 4;
                for (size_t i = 0; i < px.size(); ++i) {
                    if (i / 4 == lone / 4)
                        continue;
                    ASSERT_TRUE(std::isfinite(px[i])) << "pixel " << i / 4 << " channel " << i % 4;
                }
                // The pixel keeps its own value where nothing computes it.
                if (channel == 0) {
                    EXPECT_TRUE(std::isnan(value) ? std::isnan(px[lone]) : px[lone] == value);
                }
            }
        }
    }
}

} // namespace
