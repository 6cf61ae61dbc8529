#include "color/ColorAdjuster.h"
#include "effect/RenderEntry.h"
#include "effect/SequenceCommands.h"
#include "headless/ComputeCache.h"
#include "image/LabelMap.h"
#include "render/ParamLayout.h"
#include "render/Pipeline.h"
#include "render/RenderContext.h"
#include "render/RenderState.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

using headless::HostWorld;
using zptest::RenderKind;

struct DepthKind {
    int bpc;
    RenderKind kind;
};

std::string name(const DepthKind& d) {
    return std::to_string(8 * d.bpc) + (d.kind == RenderKind::Plain ? "-plain" : "-smart");
}

class EndToEnd : public ::testing::TestWithParam<DepthKind> {
protected:
    static constexpr int W = 96;
    static constexpr int H = 64;

    // Renders with the current host settings into a junk-filled output; checks the guards
    // and that the host got everything back.
    std::vector<uint8_t> render(zptest::Instance& inst, int rowBytesIn = 0, int rowBytesOut = 0) {
        HostWorld in(W, H, GetParam().bpc, rowBytesIn);
        zptest::paintTestImage(in);
        HostWorld out(W, H, GetParam().bpc, rowBytesOut);
        out.fillBytes(0xA7);
        EXPECT_EQ(inst.render(in, out, GetParam().kind), PF_Err_NONE);
        EXPECT_TRUE(in.canariesIntact());
        EXPECT_TRUE(out.canariesIntact());
        const int kept = zptest::keptBlocks(*inst.host);
        EXPECT_EQ(inst.host->computeCache().cachedValues(), 1) << "the frame's label map is kept";
        EXPECT_EQ(inst.host->computeCache().checkedOut(), 0);
        EXPECT_EQ(inst.host->liveHandles(), 1 + kept) << "the sequence record and what is kept";
        EXPECT_EQ(inst.host->lockedHandles(), kept);
        EXPECT_EQ(inst.host->outstandingCheckouts(), 0);
        EXPECT_EQ(inst.masks().outstanding(), 0);
        input = in.packedPixels();
        return out.packedPixels();
    }
    std::vector<uint8_t> input;

    // Alpha bytes of every pixel (the first channel).
    std::vector<uint8_t> alphas(const std::vector<uint8_t>& px) const {
        std::vector<uint8_t> a;
        const size_t bpc = static_cast<size_t>(GetParam().bpc);
        for (size_t i = 0; i < px.size(); i += 4 * bpc)
            a.insert(a.end(), &px[i], &px[i] + bpc);
        return a;
    }
};

TEST_P(EndToEnd, NoMasksGiveTheInputBack) {
    auto inst = zptest::makeInstance();
    inst.host->setSlider(params::adjustSlider(0, params::kBrightness), 50);
    const auto out = render(inst);
    EXPECT_EQ(out, input);
}

TEST_P(EndToEnd, AGroupCorrectsItsZoneAndKeepsTheInputAlpha) {
    auto inst = zptest::makeInstance();
    inst.masks().masks = {zptest::rectangleMask("Left", 10, 10, 30, 50)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kBrightness), 40);
    inst.host->setSlider(params::adjustSlider(0, params::kEffects), 100);
    const auto out = render(inst);
    EXPECT_NE(out, input);
    EXPECT_EQ(alphas(out), alphas(input)) << "the effects weight never reaches the host";
}

TEST_P(EndToEnd, AnOpacityZeroMaskSeedsNothing) {
    auto inst = zptest::makeInstance();
    auto m = zptest::rectangleMask("Left", 10, 10, 30, 50);
    m.opacity = 0;
    inst.masks().masks = {m};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kHue), 120);
    EXPECT_EQ(render(inst), input);
}

TEST_P(EndToEnd, AColorizeSlotOnAGroupThatLinksNothingChangesNothing) {
    auto inst = zptest::makeInstance();
    inst.masks().masks = {zptest::rectangleMask("A", 10, 10, 30, 50)};
    // The layer's mask feeds no group (label 1): its zone is only read and written back.
    const auto plain = render(inst);
    // Group 3 names a path the layer does not have; the slot names the same one.
    inst.host->setPath(params::adjustMask(2), 7);
    inst.host->setSlider(params::adjustSlider(2, params::kHue), 90);
    inst.host->setPath(params::colorizeMask(0), 7);
    inst.host->setColor(params::colorizeColor(0), PF_Pixel{255, 255, 0, 0});
    inst.host->setSlider(params::colorizeOpacity(0), 100);
    EXPECT_EQ(render(inst), plain);
}

TEST_P(EndToEnd, RowLayoutsGiveTheSamePixels) {
    auto inst = zptest::makeInstance();
    inst.masks().masks = {zptest::rectangleMask("A", 10, 10, 30, 50),
                          zptest::rectangleMask("B", 60, 5, 90, 60)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kSaturation), -80);
    inst.host->setPath(params::colorizeMask(4), 2);
    inst.host->setColor(params::colorizeColor(4), PF_Pixel{255, 40, 120, 250});
    inst.host->setSlider(params::colorizeOpacity(4), 60);
    const int packed = W * 4 * GetParam().bpc;
    const auto reference = render(inst);
    EXPECT_NE(reference, input);
    EXPECT_EQ(render(inst, packed + 64, packed + 64), reference) << "padded";
    const int bpc = GetParam().bpc;
    EXPECT_EQ(render(inst, packed + 3 * bpc, packed + 5 * bpc), reference) << "odd";
    EXPECT_EQ(render(inst, -packed, -(packed + 16)), reference) << "bottom-up";
}

INSTANTIATE_TEST_SUITE_P(Depths, EndToEnd,
                         ::testing::Values(DepthKind{1, RenderKind::Plain},
                                           DepthKind{2, RenderKind::Plain},
                                           DepthKind{1, RenderKind::Smart},
                                           DepthKind{2, RenderKind::Smart},
                                           DepthKind{4, RenderKind::Smart}),
                         [](const auto& p) {
                             std::string n = name(p.param);
                             n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                             return n;
                         });

// Watches the label raster of in-process renders.
struct RasterWatch : PipelineObserver {
    std::set<int> labels;
    void strokes(const PixelBuffer& raster) override {
        labels.clear();
        for (int y = 0; y < raster.height; ++y)
            for (int x = 0; x < raster.width; ++x)
                if (raster.row(y)[x] != 0)
                    labels.insert(raster.row(y)[x]);
    }
};

// A colorize slot naming the mask of two adjust groups tints through the first of them: its
// colour joins that group's adjuster and it takes no label of its own.
TEST(PipelineLabels, AColorizeSlotSharingAGroupsMaskTintsTheFirstSuchGroup) {
    auto inst = zptest::makeInstance(true);
    RasterWatch watch;
    setPipelineObserver(&watch);
    inst.masks().masks = {zptest::rectangleMask("Face", 10, 10, 30, 40),
                          zptest::rectangleMask("Sky", 40, 5, 60, 20),
                          zptest::rectangleMask("Tree", 70, 30, 80, 50)};
    inst.host->setPath(params::adjustMask(2), 1);
    inst.host->setSlider(params::adjustSlider(2, params::kHue), 30);
    inst.host->setPath(params::adjustMask(4), 1);
    inst.host->setPath(params::colorizeMask(0), 1); // shares groups 3 and 5's mask
    inst.host->setColor(params::colorizeColor(0), PF_Pixel{255, 255, 0, 0});
    inst.host->setSlider(params::colorizeOpacity(0), 80);
    inst.host->setPath(params::colorizeMask(1), 2); // a mask of its own
    HostWorld in(96, 64, 1), out(96, 64, 1);
    zptest::paintTestImage(in);
    ASSERT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
    setPipelineObserver(nullptr);
    // Group 3 takes label 2 and group 5 label 3, whose strokes cover group 3's; the second
    // slot takes label 4, the unused "Tree" label 1.
    EXPECT_EQ(watch.labels, (std::set<int>{1, 3, 4}));
    const RenderContext& context = *renderStateOf(inst.host->sequenceHandle())->contexts.nextIdle();
    const AdjusterSettings& first = context.slots[2].adjuster->settings();
    EXPECT_EQ(first.tintRed, 1.0f);
    EXPECT_EQ(first.tintGreen, 0.0f);
    EXPECT_EQ(first.tintAmount, 0.8f);
    EXPECT_EQ(first.hue, 30.0f / 360.0f) << "the group's own correction stays";
    const AdjusterSettings& later = context.slots[4].adjuster->settings();
    EXPECT_EQ(later.tintGreen, 1.0f) << "the later group carries no tint";
    EXPECT_EQ(later.tintAmount, 1.0f);
}

TEST(RenderEntry, AFlattenedSequenceRefusesToRender) {
    auto inst = zptest::makeInstance();
    ASSERT_EQ(inst.host->send(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    HostWorld in(16, 16, 1), out(16, 16, 1);
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(inst.render(in, out, RenderKind::Plain), PF_Err_INTERNAL_STRUCT_DAMAGED);
    ASSERT_EQ(inst.host->send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
}

TEST(RenderEntry, AMissingOutputWorldReturnsTheCheckoutsCode) {
    auto inst = zptest::makeInstance();
    HostWorld in(16, 16, 1), out(16, 16, 1);
    out.fillBytes(0x11);
    inst.protocol().withholdOutput = true;
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(out.packedPixels(), std::vector<uint8_t>(16 * 16 * 4, 0x11));
    inst.protocol().withholdOutput = false;
    inst.protocol().withholdInput = true;
    EXPECT_NE(inst.render(in, out, RenderKind::Smart), PF_Err_NONE)
        << "no input: an error, not an unwritten output reported as done";
}

TEST(RenderEntry, PreRenderAsksForExactlyTheOutputAndMergesTheResult) {
    PF_LRect dst{0, 0, 0, 0};
    unionRect(PF_LRect{1, 2, 30, 40}, dst);
    EXPECT_EQ(dst.left, 1);
    EXPECT_EQ(dst.bottom, 40);
    unionRect(PF_LRect{-5, 4, 20, 50}, dst);
    EXPECT_EQ(dst.left, -5);
    EXPECT_EQ(dst.top, 2);
    EXPECT_EQ(dst.right, 30);
    EXPECT_EQ(dst.bottom, 50);
    unionRect(PF_LRect{100, 100, 100, 200}, dst); // empty source
    EXPECT_EQ(dst.right, 30);

    auto inst = zptest::makeInstance();
    // A layer larger than the output: the host can give the requested part, at most all of it.
    HostWorld in(50, 35, 1), out(40, 30, 1);
    ASSERT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
    EXPECT_EQ(inst.protocol().lastRequest.preserve_rgb_of_zero_alpha, 1);
    EXPECT_EQ(inst.protocol().lastRequest.rect.right, 40);
    EXPECT_EQ(inst.protocol().preRenderResult.result_rect.right, 40);
    EXPECT_EQ(inst.protocol().preRenderResult.result_rect.bottom, 30);
    EXPECT_EQ(inst.protocol().preRenderResult.max_result_rect.right, 50);
    EXPECT_EQ(inst.protocol().preRenderResult.max_result_rect.bottom, 35);
    // A refused checkout is the pre-render's answer.
    inst.host->faults.clear();
    inst.host->faults.failCall("checkout_layer", 1);
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_OUT_OF_MEMORY);
}

TEST(RenderEntry, SmartRectanglesStayInsideBothWorlds) {
    std::vector<uint8_t> a(40 * 30 * 4), b(40 * 30 * 4);
    PixelBuffer in = wrapPixels(a.data(), 0, 40, 30, 1, nullptr);
    PixelBuffer out = wrapPixels(b.data(), 0, 40, 30, 1, nullptr);
    Rect ir, orr;
    smartRenderRects(0, 0, in, out, ir, orr);
    EXPECT_EQ(ir, (Rect{0, 0, 30, 40}));
    EXPECT_EQ(orr, ir);
    for (auto [ox, oy] : {std::pair{3, 5}, {-7, 2}, {100000, -3}, {-40000, 40000}}) {
        smartRenderRects(ox, oy, in, out, ir, orr);
        EXPECT_GE(ir.top, 0);
        EXPECT_GE(ir.left, 0);
        EXPECT_LE(ir.bottom, 30);
        EXPECT_LE(ir.right, 40);
        EXPECT_GE(orr.top, 0);
        EXPECT_GE(orr.left, 0);
        EXPECT_LE(orr.bottom, 30);
        EXPECT_LE(orr.right, 40);
        EXPECT_EQ(orr.height(), ir.height());
        EXPECT_EQ(orr.width(), ir.width());
    }
}

// Worlds of two sizes (smart render): the area both hold comes out as the same frame of that
// size would.
TEST(RenderEntry, DifferentSizesWorkOnTheCommonArea) {
    HostWorld picture(40, 50, 2);
    zptest::paintTestImage(picture);
    auto render = [&picture](int iw, int ih, int ow, int oh) {
        auto inst = zptest::makeInstance();
        inst.masks().masks = {zptest::rectangleMask("A", 2, 2, 20, 20)};
        inst.host->setPath(params::adjustMask(0), 1);
        inst.host->setSlider(params::adjustSlider(0, params::kBrightness), 30);
        HostWorld in(iw, ih, 2), out(ow, oh, 2);
        for (int y = 0; y < ih; ++y)
            std::copy_n(picture.pixel<uint16_t>(0, y), 4 * iw, in.pixel<uint16_t>(0, y));
        EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
        EXPECT_TRUE(in.canariesIntact());
        EXPECT_TRUE(out.canariesIntact());
        std::vector<uint16_t> common; // 24 x 30, row by row
        for (int y = 0; y < 30; ++y)
            common.insert(common.end(), out.pixel<uint16_t>(0, y), out.pixel<uint16_t>(24, y));
        return common;
    };
    const auto reference = render(24, 30, 24, 30);
    EXPECT_EQ(render(40, 30, 24, 50), reference);
    EXPECT_EQ(render(24, 50, 40, 30), reference);
}

TEST(RenderEntry, PlainWorldsOfTwoDepthsAreRefusedUntouched) {
    auto inst = zptest::makeInstance();
    inst.masks().masks = {zptest::rectangleMask("A", 2, 2, 12, 12)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kEffects), 100);
    for (auto [inDepth, outDepth] : {std::pair{1, 2}, {2, 1}}) {
        HostWorld in(16, 16, inDepth), out(16, 16, outDepth);
        zptest::paintTestImage(in);
        out.fillBytes(0x5A);
        const auto before = out.packedPixels();
        EXPECT_EQ(inst.render(in, out, RenderKind::Plain), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(out.packedPixels(), before);
        EXPECT_TRUE(out.canariesIntact());
    }
}

TEST(RenderEntry, FramesBeyondSixteenBitPositionsAreRefused) {
    auto inst = zptest::makeInstance();
    HostWorld in(65536, 1, 1), out(65536, 1, 1);
    EXPECT_EQ(inst.render(in, out, RenderKind::Smart), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(out.canariesIntact());
    EXPECT_EQ(inst.host->liveHandles(), 1);
}

} // namespace

namespace {

// With an output origin or an extent that leaves part of the frame out, the effects weight
// the blend stored in alpha must still never reach the host.
TEST(RenderEntry, NoEffectsWeightSurvivesOutsideTheRestoredArea) {
    for (RenderKind kind : {RenderKind::Smart, RenderKind::Plain}) {
        auto inst = zptest::makeInstance();
        inst.masks().masks = {zptest::rectangleMask("A", 4, 4, 40, 30)};
        inst.host->setPath(params::adjustMask(0), 1);
        inst.host->setSlider(params::adjustSlider(0, params::kEffects), 50);
        const int ox = 6, oy = 3;
        inst.host->inData().output_origin_x = ox;
        inst.host->inData().output_origin_y = oy;
        inst.protocol().useExtentHint = true;
        inst.protocol().extentHint = PF_Rect{10, 8, 30, 20};
        HostWorld in(48, 32, 1), out(48, 32, 1);
        zptest::paintTestImage(in);
        ASSERT_EQ(inst.render(in, out, kind), PF_Err_NONE);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 48; ++x) {
                // Smart render restores its input area at twice the origin's offset; what lies
                // outside it, and everything in the plain render, takes the alpha in place.
                const bool shifted = kind == RenderKind::Smart && x >= 2 * ox && y >= 2 * oy;
                const int sx = shifted ? x - 2 * ox : x;
                const int sy = shifted ? y - 2 * oy : y;
                ASSERT_EQ(out.pixel<uint8_t>(x, y)[0], in.pixel<uint8_t>(sx, sy)[0])
                    << "alpha at " << x << "," << y;
            }
        }
    }
}

} // namespace
