// A sequence keeps its last label map and reuses it while the propagation's inputs are
// byte-identical; anything that changes them propagates afresh; what is kept fits one budget
// shared by every sequence, and keeping never decides whether or how a frame renders.
#include "effect/SequenceCommands.h"
#include "render/KeptBlend.h"
#include "render/KeptPropagation.h"
#include "render/ParamLayout.h"
#include "render/Pipeline.h"
#include "render/RenderState.h"
#include "tests/support/CountingMemoryHandler.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using headless::HostWorld;
using zptest::RenderKind;

constexpr int W = 64;
constexpr int H = 48;

struct ReuseWatch : PipelineObserver {
    std::vector<bool> reused;
    std::vector<bool> blends;
    std::vector<int> reblended; // the labels the last frame with a kept blend blended afresh
    void labelsReused(bool r) override { reused.push_back(r); }
    void blendReused(bool r) override { blends.push_back(r); }
    void zonesReblended(const uint8_t* changed) override {
        reblended.clear();
        for (int label = 1; label < 256; ++label) { // label 0 is no label
            if (changed[label] != 0)
                reblended.push_back(label);
        }
    }
};

// The effect linked into this program, so that the observer sees its frames.
zptest::Instance instance() {
    auto inst = zptest::makeInstance(true);
    inst.masks().masks = {zptest::rectangleMask("Sky", 4, 4, 30, 20),
                          zptest::rectangleMask("Sea", 36, 26, 60, 44)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kHue), 40);
    inst.host->setPath(params::adjustMask(1), 2);
    inst.host->setSlider(params::adjustSlider(1, params::kSaturation), -30);
    inst.host->inData().height = H;
    return inst;
}

using InputChange = std::function<void(HostWorld&)>;

std::vector<uint8_t> render(zptest::Instance& inst, const InputChange& change = {}, int bpc = 1,
                            RenderKind kind = RenderKind::Smart) {
    HostWorld in(W, H, bpc), out(W, H, bpc);
    zptest::paintTestImage(in);
    if (change)
        change(in);
    EXPECT_EQ(inst.render(in, out, kind), PF_Err_NONE);
    EXPECT_TRUE(out.canariesIntact());
    return out.packedPixels();
}

class KeptPropagationTest : public ::testing::Test {
protected:
    void SetUp() override { setPipelineObserver(&watch); }
    void TearDown() override {
        setPipelineObserver(nullptr);
        KeptPropagation::setBudget(kKeptBudgetBytes);
    }
    ReuseWatch watch;
};

TEST_F(KeptPropagationTest, AColourChangeReusesTheMapAndGivesTheFreshSequencesPixels) {
    for (int bpc : {1, 2, 4}) {
        SCOPED_TRACE(bpc);
        auto inst = instance();
        render(inst, {}, bpc);
        inst.host->setSlider(params::adjustSlider(0, params::kHue), -75);
        inst.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
        inst.host->setSlider(params::kGlowAmount, 80);
        const auto again = render(inst, {}, bpc);
        auto fresh = instance();
        fresh.host->setSlider(params::adjustSlider(0, params::kHue), -75);
        fresh.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
        fresh.host->setSlider(params::kGlowAmount, 80);
        EXPECT_EQ(again, render(fresh, {}, bpc));
        EXPECT_EQ(watch.reused, (std::vector<bool>{false, true, false}));
        watch.reused.clear();
    }
}

// Slider steps as a colourist makes them, one zone at a time and back again: each frame after the
// first blends only the changed zone's pixels from the kept blend, and gives the pixels of a
// fresh sequence with the same settings. Zone k is label k + 1 (label 1 is the masks no group
// picks).
TEST_F(KeptPropagationTest, ColourStepsReblendOnlyTheirZoneAndGiveTheFreshSequencesPixels) {
    using Step = std::function<void(zptest::Instance&)>;
    struct ZoneStep {
        const char* what;
        int label;
        Step step;
    };
    const std::vector<ZoneStep> steps = {
        {"zone 1 hue", 2,
         [](zptest::Instance& i) {
             i.host->setSlider(params::adjustSlider(0, params::kHue), -75);
         }},
        {"zone 2 brightness", 3,
         [](zptest::Instance& i) {
             i.host->setSlider(params::adjustSlider(1, params::kBrightness), 35);
         }},
        {"zone 2 effects", 3,
         [](zptest::Instance& i) {
             i.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
         }},
        {"zone 1 hue back", 2,
         [](zptest::Instance& i) { i.host->setSlider(params::adjustSlider(0, params::kHue), 40); }},
    };
    for (int bpc : {1, 2, 4}) {
        SCOPED_TRACE(bpc);
        auto inst = instance();
        // A mask no group picks: its label keeps colours and gives no effects weight.
        inst.masks().masks.push_back(zptest::rectangleMask("Rock", 40, 4, 60, 16));
        render(inst, {}, bpc);
        for (const auto& [what, label, step] : steps) {
            SCOPED_TRACE(what);
            step(inst);
            const auto stepped = render(inst, {}, bpc);
            EXPECT_EQ(watch.reblended, std::vector<int>{label});
            auto alone = instance();
            alone.masks().masks = inst.masks().masks;
            for (const auto& [w, l, s] : steps) {
                s(alone);
                if (w == what)
                    break;
            }
            EXPECT_EQ(stepped, render(alone, {}, bpc));
        }
        EXPECT_EQ(watch.blends,
                  (std::vector<bool>{false, true, false, true, false, true, false, true, false}));
        watch.blends.clear();
        watch.reused.clear();
    }
}

// The blend depends on the colours, which the map does not see: a frame with other colours of
// the same brightness reuses the map but blends every pixel afresh.
TEST_F(KeptPropagationTest, OtherColoursOfTheSameBrightnessBlendAfresh) {
    // 8-bit luma (76 R + 150 G + 29 B) / 255 is 100 for both colours.
    const auto paint = [](bool recoloured) -> InputChange {
        return [recoloured](HostWorld& w) {
            for (int x = 4; x < 30; ++x) {
                uint8_t* px = w.pixel<uint8_t>(x, 10);
                px[1] = 100, px[2] = 100, px[3] = 100;
                if (recoloured && x % 2 == 0)
                    px[1] = 129, px[3] = 24;
            }
        };
    };
    const InputChange recolour = paint(true);
    auto inst = instance();
    render(inst, paint(false));
    const auto recoloured = render(inst, recolour);
    auto fresh = instance();
    EXPECT_EQ(recoloured, render(fresh, recolour));
    EXPECT_EQ(watch.reused, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(watch.blends, (std::vector<bool>{false, false, false}));
}

TEST_F(KeptPropagationTest, EveryChangeOfThePropagationsInputsPropagatesAfresh) {
    struct Change {
        const char* what;
        std::function<void(zptest::Instance&)> apply;
        InputChange input = {};
    };
    const auto none = [](zptest::Instance&) {};
    const std::vector<Change> changes = {
        {"another frame", none, [](HostWorld& w) { w.pixel<uint8_t>(50, 10)[2] ^= 0x40; }},
        {"a world origin that moves the masks", none, [](HostWorld& w) { w.world.origin_x = 2; }},
        {"a moved stroke", [](zptest::Instance& i) { i.masks().masks[0].vertices[1].x += 3; }},
        {"a mask made invisible", [](zptest::Instance& i) { i.masks().masks[1].opacity = 0; }},
        {"another link mode",
         [](zptest::Instance& i) {
             i.masks().masks.push_back(zptest::rectangleMask("Sky 2", 40, 4, 60, 16));
             i.host->setPopup(params::kLinkMasks, params::kLinkMaskColor);
         }},
        {"another mask chosen",
         [](zptest::Instance& i) { i.host->setPath(params::adjustMask(1), 1); }},
        {"another downsampling",
         [](zptest::Instance& i) {
             i.host->inData().downsample_x = PF_RationalScale{1, 2};
         }},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        auto inst = instance();
        render(inst);
        c.apply(inst);
        const auto changed = render(inst, c.input);
        auto fresh = instance();
        c.apply(fresh);
        EXPECT_EQ(changed, render(fresh, c.input));
        ASSERT_EQ(watch.reused.size(), 3u);
        EXPECT_FALSE(watch.reused[1]);
        watch.reused.clear();
    }
}

TEST_F(KeptPropagationTest, OneBudgetForEverySequenceLeastRecentlyUsedGoesFirst) {
    auto inst = instance();
    headless::Host& h = *inst.host;
    const PF_Handle first = h.sequenceHandle();
    h.setSequenceHandle(nullptr);
    ASSERT_EQ(h.send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    const PF_Handle second = h.sequenceHandle();
    const auto kept = [&](PF_Handle s) { return renderStateOf(s)->keptPropagation.holds(); };

    // Room for one frame's map (16 bytes a pixel) and not two.
    KeptPropagation::setBudget(int64_t{W} * H * 16 * 3 / 2);
    h.setSequenceHandle(first);
    render(inst);
    EXPECT_TRUE(kept(first));
    h.setSequenceHandle(second);
    render(inst);
    EXPECT_FALSE(kept(first)) << "the least recently used map made room";
    EXPECT_TRUE(kept(second));
    EXPECT_EQ(KeptPropagation::keptBytes(), int64_t{W} * H * 16);
    EXPECT_EQ(h.liveHandles(), 2 + 3);
    {
        // A frame of the second sequence is being rendered on another thread: its map is not
        // evicted from under it, and the first's frame keeps nothing.
        KeptPropagation::FrameUse rendering(renderStateOf(second)->keptPropagation);
        h.setSequenceHandle(first);
        render(inst);
        EXPECT_TRUE(kept(second)) << "a map in use stays";
        EXPECT_FALSE(kept(first));
        EXPECT_EQ(h.liveHandles(), 2 + 3);
    }

    // Room for two maps: a reuse makes a map the most recently used, and a third sequence's
    // evicts the one used least recently.
    KeptPropagation::setBudget(int64_t{W} * H * 16 * 5 / 2);
    h.setSequenceHandle(first);
    render(inst);
    h.setSequenceHandle(second);
    watch.reused.clear();
    render(inst);
    EXPECT_EQ(watch.reused, std::vector<bool>{true});
    h.setSequenceHandle(nullptr);
    ASSERT_EQ(h.send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    const PF_Handle third = h.sequenceHandle();
    render(inst);
    EXPECT_FALSE(kept(first)) << "used less recently than the second";
    EXPECT_TRUE(kept(second));
    EXPECT_TRUE(kept(third));
    ASSERT_EQ(h.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(h.liveHandles(), 2 + 3);
    h.setSequenceHandle(second);

    // Below one frame's need nothing is kept, and frames still render.
    KeptPropagation::setBudget(int64_t{W} * H * 16 - 1);
    EXPECT_FALSE(kept(second));
    const auto unkept = render(inst);
    EXPECT_FALSE(kept(second));
    EXPECT_EQ(h.liveHandles(), 2);

    ASSERT_EQ(h.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    h.setSequenceHandle(first);
    EXPECT_EQ(render(inst), unkept);
    EXPECT_EQ(KeptPropagation::keptBytes(), 0);
}

TEST_F(KeptPropagationTest, FlattenAndSetdownGiveItBackAndAResetupStartsEmpty) {
    auto inst = instance();
    render(inst);
    EXPECT_EQ(inst.host->liveHandles(), 1 + 6);
    ASSERT_EQ(inst.host->send(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    EXPECT_EQ(inst.host->liveHandles(), 1);
    EXPECT_EQ(KeptPropagation::keptBytes(), 0);
    ASSERT_EQ(inst.host->send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    render(inst);
    EXPECT_EQ(watch.reused, (std::vector<bool>{false, false}));
    ASSERT_EQ(inst.host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(inst.host->liveHandles(), 0);
    EXPECT_EQ(KeptPropagation::keptBytes(), 0);
}

TEST_F(KeptPropagationTest, MemoryForKeepingThatCannotBeHadOnlyCostsTheReuse) {
    auto reference = instance();
    const auto expected = render(reference);
    // Each handle of a frame refused in turn: the raster, the intensity, the cells, then the
    // kept blend's three. The raster and the cells are the frame's own; without any of the others
    // the frame renders as before and keeps less (no map without the intensity, no blend without
    // its blocks).
    for (int nth = 1; nth <= 6; ++nth) {
        SCOPED_TRACE(nth);
        auto inst = instance();
        const int64_t before = inst.host->faults.calls("host_new_handle");
        inst.host->faults.failCall("host_new_handle", before + nth);
        HostWorld in(W, H, 1), out(W, H, 1);
        zptest::paintTestImage(in);
        const PF_Err err = inst.render(in, out, RenderKind::Smart);
        if (nth == 1 || nth == 3) {
            EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY);
        } else {
            EXPECT_EQ(err, PF_Err_NONE);
            EXPECT_EQ(out.packedPixels(), expected);
            EXPECT_EQ(zptest::keptBlocks(*inst.host), nth == 2 ? 0 : 3);
        }
        EXPECT_EQ(inst.host->liveHandles(), 1 + zptest::keptBlocks(*inst.host));
        EXPECT_EQ(render(inst), expected) << "the next frame renders and keeps";
        EXPECT_EQ(zptest::keptBlocks(*inst.host), 6);
    }
}

// What a sequence keeps, driven as frames drive it, with blocks from a test handler.
class KeptStoreTest : public ::testing::Test {
protected:
    void TearDown() override { KeptPropagation::setBudget(kKeptBudgetBytes); }

    static PropagationInputs inputs(int32_t mapWidth, int32_t mapHeight, int32_t rasterWidth,
                                    int32_t rasterHeight, const uint8_t* raster,
                                    const uint8_t* intensity) {
        return {mapWidth, mapHeight, rasterWidth, rasterHeight, raster, intensity};
    }

    // A map of zero bytes handed over as a frame hands it: raster, intensity and cells from
    // `handler`, the store's when keep() takes them, else given back here.
    static bool keepMap(KeptPropagation& kept, fx::MemoryHandler& handler, int32_t w, int32_t h) {
        const auto n = static_cast<size_t>(w) * static_cast<size_t>(h);
        auto* raster = static_cast<uint8_t*>(handler.allocate(static_cast<int32_t>(n)));
        auto* intensity = static_cast<uint8_t*>(handler.allocate(static_cast<int32_t>(n)));
        auto* cells =
            static_cast<LabelCell*>(handler.allocate(static_cast<int32_t>(n * sizeof(LabelCell))));
        std::memset(raster, 0, n);
        std::memset(intensity, 0, n);
        std::memset(static_cast<void*>(cells), 0, n * sizeof(LabelCell));
        KeptPropagation::FrameUse use(kept);
        if (kept.keep(handler, inputs(w, h, w, h, raster, intensity), raster, intensity, cells))
            return true;
        handler.release(cells);
        handler.release(intensity);
        handler.release(raster);
        return false;
    }

    // A new blend over the kept map of a w x h 8-bit frame, in place of the kept one.
    static bool keepBlend(KeptPropagation& kept, fx::MemoryHandler& handler, int32_t w, int32_t h) {
        std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
        const PixelBuffer output = wrapPixels(pixels.data(), 0, w, h, 1, nullptr);
        KeptPropagation::FrameUse use(kept);
        return kept.keepBlend(KeptBlend::make(handler, output));
    }
};

// A kept block goes back to the host (host_unlock_handle, host_dispose_handle) through the
// memory handler; a host may call back into the effect from there, so no lock of ours may be
// held across it. Every way a block goes back is taken: a map or blend replaced by the
// sequence's next, a map evicted for another sequence's, a lower budget, clear, destruction.
TEST_F(KeptStoreTest, GivesBlocksBackOnlyOutsideItsLock) {
    struct LockCheckingHandler : zptest::CountingMemoryHandler {
        const char* step = "";
        std::vector<std::string> underLock;
        void release(void* block) override {
            if (block != nullptr) {
                bool held = false;
                std::thread([&held] { held = KeptPropagation::lockHeld(); }).join();
                if (held)
                    underLock.push_back(step);
            }
            CountingMemoryHandler::release(block);
        }
    } handler;
    constexpr int32_t w = 8, h = 4;
    const int64_t map = int64_t{w} * h * 16;
    const int64_t blend = KeptBlend::bytesFor(w, h, 4);
    {
        KeptPropagation a, b;
        ASSERT_TRUE(keepMap(a, handler, w, h));
        ASSERT_TRUE(keepBlend(a, handler, w, h));
        handler.step = "a blend replaced";
        ASSERT_TRUE(keepBlend(a, handler, w, h));
        handler.step = "a map replaced";
        ASSERT_TRUE(keepMap(a, handler, w, h));
        ASSERT_TRUE(keepBlend(a, handler, w, h));
        handler.step = "a map evicted for another sequence's";
        KeptPropagation::setBudget(map + blend);
        ASSERT_TRUE(keepMap(b, handler, w, h));
        EXPECT_FALSE(a.holds());
        handler.step = "a lower budget";
        KeptPropagation::setBudget(map - 1);
        EXPECT_FALSE(b.holds());
        KeptPropagation::setBudget(kKeptBudgetBytes);
        ASSERT_TRUE(keepMap(a, handler, w, h));
        ASSERT_TRUE(keepBlend(a, handler, w, h));
        handler.step = "clear";
        a.clear();
        EXPECT_EQ(a.blocks(), 0);
        ASSERT_TRUE(keepMap(b, handler, w, h));
        handler.step = "destruction";
    }
    EXPECT_EQ(handler.live(), 0);
    EXPECT_EQ(KeptPropagation::keptBytes(), 0);
    EXPECT_EQ(handler.underLock, std::vector<std::string>{});
}

// Planes of the same bytes at other sizes (all zero here, as a blank frame without strokes
// gives) are other inputs: the map or the raster turned on its side propagates afresh.
TEST_F(KeptStoreTest, TheSameBytesAtOtherSizesAreOtherInputs) {
    zptest::CountingMemoryHandler handler;
    KeptPropagation kept;
    ASSERT_TRUE(keepMap(kept, handler, 8, 4));
    const std::vector<uint8_t> zeros(32, 0);
    const uint8_t* z = zeros.data();
    KeptPropagation::FrameUse use(kept);
    EXPECT_NE(kept.find(inputs(8, 4, 8, 4, z, z)), nullptr);
    EXPECT_EQ(kept.find(inputs(4, 8, 4, 8, z, z)), nullptr) << "a frame turned on its side";
    EXPECT_EQ(kept.find(inputs(8, 4, 4, 8, z, z)), nullptr) << "the raster's sides swapped";
    EXPECT_EQ(kept.find(inputs(4, 8, 8, 4, z, z)), nullptr) << "the map's sides swapped";
}

} // namespace
