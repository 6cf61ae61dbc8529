#include "color/FillLight.h"
#include "color/Glow.h"
#include "color/ToneLut.h"
#include "effect/SequenceCommands.h"
#include "fx/VariableBlurFilter.h"
#include "render/ParamLayout.h"
#include "render/RenderContext.h"
#include "render/RenderState.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using headless::HostWorld;
using zptest::RenderKind;

// An in-process instance with one adjust group on a mask, its "Effects" at `effects`.
zptest::Instance instanceWithZone(double effects) {
    auto inst = zptest::makeInstance(true);
    inst.masks().masks = {zptest::rectangleMask("Zone", 8, 8, 40, 40)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kBrightness), 10);
    inst.host->setSlider(params::adjustSlider(0, params::kEffects), effects);
    return inst;
}

void turnEveryEffectOn(headless::Host& h) {
    h.setSlider(params::kBlurAmount, 5);
    h.setSlider(params::kFillBrightness, 150);
    h.setSlider(params::kGlowAmount, 120);
    h.setSlider(params::kGlowBlur, 10);
}

// The context the sequence's last frame rendered with (a lone sequence has one).
RenderContext& contextOf(zptest::Instance& inst) {
    return *renderStateOf(inst.host->sequenceHandle())->contexts.nextIdle();
}

std::vector<uint8_t> renderOnce(zptest::Instance& inst, int bpc, int w = 64, int h = 48) {
    HostWorld in(w, h, bpc), out(w, h, bpc);
    zptest::paintTestImage(in);
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
    EXPECT_TRUE(out.canariesIntact());
    const int kept = zptest::keptBlocks(*inst.host);
    EXPECT_EQ(inst.host->liveHandles(), 1 + kept) << "every frame block given back";
    EXPECT_EQ(inst.host->lockedHandles(), kept);
    EXPECT_EQ(inst.host->outstandingCheckouts(), 0);
    return out.packedPixels();
}

TEST(EffectPasses, SkippedWhenNoGroupAsksForEffects) {
    for (int bpc : {1, 2, 4}) {
        auto quiet = instanceWithZone(0);
        const auto reference = renderOnce(quiet, bpc);
        auto loud = instanceWithZone(0);
        turnEveryEffectOn(*loud.host);
        loud.host->inData().height = 48;
        EXPECT_EQ(renderOnce(loud, bpc), reference) << bpc;
        EXPECT_EQ(contextOf(loud).blur_filter->radiusX(), 0.0f) << "the blur never ran";
        EXPECT_EQ(contextOf(loud).fill_light->lut->builds8() +
                      contextOf(loud).fill_light->lut->builds16(),
                  0u);
    }
}

TEST(EffectPasses, RunAtEveryDepthAndGiveEveryBlockBack) {
    for (int bpc : {1, 2, 4}) {
        auto off = instanceWithZone(100);
        const auto reference = renderOnce(off, bpc);
        auto on = instanceWithZone(100);
        turnEveryEffectOn(*on.host);
        on.host->inData().height = 48;
        const auto withEffects = renderOnce(on, bpc);
        EXPECT_NE(withEffects, reference) << bpc;
        if (bpc == 2) {
            const auto* v = reinterpret_cast<const uint16_t*>(withEffects.data());
            for (size_t i = 0; i < withEffects.size() / 2; ++i)
                ASSERT_LE(v[i], 32768);
        }
    }
}

TEST(EffectPasses, BlurRadiiFollowTheLayerHeightAndDownsampling) {
    auto inst = instanceWithZone(100);
    inst.host->setSlider(params::kBlurAmount, 10);
    inst.host->setSlider(params::kGlowAmount, 50);
    inst.host->setSlider(params::kGlowBlur, 20);
    inst.host->inData().height = 1080;
    renderOnce(inst, 1);
    EXPECT_FLOAT_EQ(contextOf(inst).blur_filter->radiusX(), 108.0f);
    EXPECT_FLOAT_EQ(contextOf(inst).blur_filter->radiusY(), 108.0f);
    // Half resolution across, full resolution down: each axis takes its own factor.
    inst.host->inData().downsample_x = PF_RationalScale{1, 2};
    inst.host->inData().downsample_y = PF_RationalScale{1, 1};
    renderOnce(inst, 1);
    EXPECT_FLOAT_EQ(contextOf(inst).blur_filter->radiusX(), 54.0f);
    EXPECT_FLOAT_EQ(contextOf(inst).blur_filter->radiusY(), 108.0f);
    const float glowRadius = 20.0f / 333.0f * 1080.0f;
    EXPECT_EQ(contextOf(inst).glow->blurX, static_cast<float>(glowRadius * 0.5));
    EXPECT_EQ(contextOf(inst).glow->blurY, glowRadius);
}

// The blur works over the whole output, not the area the host asked for: with an extent hint
// smaller than the frame, pixels outside it are blurred too.
TEST(EffectPasses, TheBlurCoversTheWholeOutput) {
    auto render = [](double amount) {
        auto inst = instanceWithZone(100);
        inst.host->inData().height = 48;
        inst.host->setSlider(params::kBlurAmount, amount);
        inst.protocol().useExtentHint = true;
        inst.protocol().extentHint = PF_Rect{16, 16, 32, 32}; // left, top, right, bottom
        HostWorld in(64, 48, 1), out(64, 48, 1);
        zptest::paintTestImage(in);
        EXPECT_EQ(inst.render(in, out, RenderKind::Plain), PF_Err_NONE);
        return out.packedPixels();
    };
    const auto sharp = render(0);
    const auto blurred = render(5);
    int changedOutside = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const size_t i = (static_cast<size_t>(y) * 64 + static_cast<size_t>(x)) * 4;
            const bool outside = x < 16 || x >= 32; // beyond the extent's columns
            changedOutside += outside && !std::equal(&sharp[i], &sharp[i] + 4, &blurred[i]);
        }
    }
    EXPECT_GT(changedOutside, 100);
}

TEST(EffectPasses, GlowTakesItsSettingsFromItsGroup) {
    auto inst = instanceWithZone(100);
    inst.host->inData().height = 1080;
    inst.host->setSlider(params::kGlowAmount, 50);
    inst.host->setSlider(params::kGlowBlur, 20);
    inst.host->setColor(params::kGlowColor, PF_Pixel{255, 255, 51, 0});
    inst.host->setPopup(params::kGlowBlend, params::kBlendAdd);
    renderOnce(inst, 1);
    const Glow& g = *contextOf(inst).glow;
    EXPECT_NEAR(g.blurX, 64.86, 0.01);
    EXPECT_EQ(g.blurX, 20.0f / 333.0f * 1080.0f);
    EXPECT_EQ(g.amount, 0.5f);
    EXPECT_EQ(g.colorGreen, 0.2f);
    EXPECT_EQ(g.blendMode, 0);
    EXPECT_EQ(g.position, 1.0f);
    EXPECT_EQ(g.range, 1.6f);
    EXPECT_EQ(g.lut->cachedPosition(), 1.0);
}

TEST(EffectPasses, ZeroStrengthsShapeNoCurveAndMakeNoWorkingImage) {
    auto inst = instanceWithZone(100);
    inst.host->setPopup(params::kGlowBlend, params::kBlendNormal);
    const int64_t before = inst.host->handlesMade();
    renderOnce(inst, 1);
    EXPECT_EQ(inst.host->handlesMade() - before, 2)
        << "raster and intensity only (kept results live on the heap)";
    EXPECT_EQ(contextOf(inst).fill_light->lut->cachedPosition(), -1.0);
    EXPECT_EQ(contextOf(inst).glow->lut->cachedPosition(), -1.0);

    inst.host->setSlider(params::kGlowAmount, 30);
    const int64_t again = inst.host->handlesMade();
    renderOnce(inst, 1);
    // The label map and the blend are the kept ones: their inputs did not change.
    EXPECT_EQ(inst.host->handlesMade() - again, 3) << "raster, intensity, the glow's image";
}

} // namespace
