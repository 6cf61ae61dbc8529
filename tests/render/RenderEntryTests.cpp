// What the two render commands hand the pipeline: the areas to work on and the mask origin.
#include "effect/RenderEntry.h"
#include "render/ParamLayout.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using headless::HostWorld;
using zptest::RenderKind;

constexpr int W = 48;
constexpr int H = 32;

// Smart render passes the input world's origin on, and the mask drawing subtracts it from mask
// coordinates: with the origin at (4, 2) two zones draw as the same zones moved by (-4, -2) do
// at (0, 0). Plain render passes (0, 0) whatever the world says.
TEST(RenderEntry, OnlySmartRenderPassesTheInputWorldsOrigin) {
    auto render = [](RenderKind kind, double x0, double y0, int ox, int oy) {
        auto inst = zptest::makeInstance();
        inst.masks().masks = {zptest::rectangleMask("A", x0, y0, x0 + 8, y0 + 8),
                              zptest::rectangleMask("B", x0 + 24, y0 + 4, x0 + 32, y0 + 12)};
        inst.host->setPath(params::adjustMask(0), 1);
        inst.host->setSlider(params::adjustSlider(0, params::kHue), 120);
        inst.host->setPath(params::adjustMask(1), 2);
        inst.host->setSlider(params::adjustSlider(1, params::kBrightness), -40);
        HostWorld in(W, H, 1), out(W, H, 1);
        zptest::paintTestImage(in);
        in.world.origin_x = ox;
        in.world.origin_y = oy;
        EXPECT_EQ(inst.render(in, out, kind), PF_Err_NONE);
        return out.packedPixels();
    };
    const auto atOrigin = render(RenderKind::Smart, 14, 12, 0, 0);
    const auto moved = render(RenderKind::Smart, 10, 10, 0, 0);
    ASSERT_NE(atOrigin, moved);
    EXPECT_EQ(render(RenderKind::Smart, 14, 12, 4, 2), moved);
    EXPECT_EQ(render(RenderKind::Plain, 14, 12, 4, 2), render(RenderKind::Plain, 14, 12, 0, 0));
}

// Plain render takes the extent hint as both rectangles: the fill light, which works over the
// output rectangle, lights the extent and nothing outside it.
TEST(RenderEntry, PlainRenderWorksOnTheExtentHint) {
    auto render = [](double brightness) {
        auto inst = zptest::makeInstance();
        inst.host->inData().height = H;
        inst.masks().masks = {zptest::rectangleMask("All", 1, 1, W - 2, H - 2)};
        inst.host->setPath(params::adjustMask(0), 1);
        inst.host->setSlider(params::adjustSlider(0, params::kEffects), 100);
        inst.host->setSlider(params::kFillBrightness, brightness);
        inst.protocol().useExtentHint = true;
        inst.protocol().extentHint = PF_Rect{8, 10, 20, 30}; // left, top, right, bottom
        HostWorld in(W, H, 1), out(W, H, 1);
        zptest::paintTestImage(in);
        EXPECT_EQ(inst.render(in, out, RenderKind::Plain), PF_Err_NONE);
        return out.packedPixels();
    };
    const auto dark = render(0);
    const auto lit = render(200);
    int litInside = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const size_t i = (static_cast<size_t>(y) * W + static_cast<size_t>(x)) * 4;
            const bool inside = x >= 8 && x < 20 && y >= 10 && y < 30;
            const bool same = std::equal(&lit[i], &lit[i] + 4, &dark[i]);
            if (inside) {
                litInside += !same;
            } else {
                ASSERT_TRUE(same) << "lit outside the extent at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(litInside, 12 * 20 / 2);
}

// A render reads nothing of the process-wide state that sequence commands on other threads make
// and destroy (the memory handler first of all): here one thread sets a sequence up and down
// while another renders. Only the thread sanitizer run can see such a read; the render itself
// has no state and is refused either way.
TEST(RenderEntry, ARenderReadsNothingThatOtherThreadsSequencesChange) {
    std::thread sequences([] {
        auto inst = zptest::makeInstance(true);
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(inst.host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
            EXPECT_EQ(inst.host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        }
    });
    HostWorld in(8, 8, 1), out(8, 8, 1);
    PF_InData inData{};
    inData.extent_hint = PF_Rect{0, 0, 8, 8};
    PF_ParamDef layer{};
    layer.u.ld = in.world;
    PF_ParamDef* params[] = {&layer};
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(renderCommand(nullptr, &inData, params, &out.world),
                  PF_Err_INTERNAL_STRUCT_DAMAGED);
    sequences.join();
}

} // namespace
